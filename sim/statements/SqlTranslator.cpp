#include "sim/statements/SqlTranslator.h"

#include <sqlite3.h>

#include <cctype>

#include "sim/statements/ColumnLengths.h"
#include "sim/statements/ConvertFunction.h"
#include "sim/statements/DivisionCheck.h"
#include "sim/statements/ExactStorage.h"
#include "sim/statements/SystemCatalogs.h"

namespace tvr::sim {

namespace {

// The text between two `quote` characters, each inner one doubled.
std::string quoteWith(const std::string& text, char quote) {
    std::string quoted(1, quote);
    for (char c : text) {
        quoted += c;
        if (c == quote) quoted += quote;
    }
    return quoted + quote;
}

std::string quoteName(const std::string& name) { return quoteSqlName(name); }

bool isName(const SqlToken& token) {
    return token.kind == SqlToken::Kind::Word || token.kind == SqlToken::Kind::BracketName;
}

std::string nameOf(const SqlToken& token) {
    return token.kind == SqlToken::Kind::BracketName ? token.value : token.text;
}

// Whether the table named by tokens [.., end] is given an alias after it.
bool aliasFollows(const std::vector<SqlToken>& tokens, std::size_t end) {
    if (end + 1 >= tokens.size()) return false;
    const SqlToken& next = tokens[end + 1];
    if (next.isWord("as")) return true;
    if (next.kind == SqlToken::Kind::BracketName) return true;
    return next.kind == SqlToken::Kind::Word &&
           sqlite3_keyword_check(next.text.data(), static_cast<int>(next.text.size())) == 0 &&
           !next.isWord("holdlock") && !next.isWord("noholdlock") && !next.isWord("readpast");
}

// The index of the parenthesis that closes the one at `open`; tokens.size() when none does.
std::size_t closingParenthesis(const std::vector<SqlToken>& tokens, std::size_t open) {
    int depth = 0;
    for (std::size_t i = open; i < tokens.size(); ++i) {
        if (tokens[i].isSymbol("(")) ++depth;
        if (tokens[i].isSymbol(")") && --depth == 0) return i;
    }
    return tokens.size();
}

// Whether a minus at `at` is a sign rather than a subtraction: nothing, an operator, an opening
// parenthesis, a comma or a keyword (but `end`) before it.
bool signPosition(const std::vector<SqlToken>& tokens, std::size_t at) {
    if (at == 0) return true;
    const SqlToken& before = tokens[at - 1];
    if (before.kind == SqlToken::Kind::Symbol) return !before.isSymbol(")");
    return before.kind == SqlToken::Kind::Word && !before.isWord("end") &&
           sqlite3_keyword_check(before.text.data(), static_cast<int>(before.text.size())) != 0;
}

// The index of the last token of the operand that starts at `start`: a signed operand, a
// parenthesised expression, a case expression, a call, or a (qualified) name or literal;
// tokens.size() for an operand cut short.
std::size_t operandEnd(const std::vector<SqlToken>& tokens, std::size_t start) {
    const std::size_t none = tokens.size();
    std::size_t i = start;
    while (i + 1 < tokens.size() &&
           (tokens[i].isSymbol("-") || tokens[i].isSymbol("+") || tokens[i].isSymbol("~")))
        ++i;
    if (tokens[i].isSymbol("(")) return closingParenthesis(tokens, i);
    if (tokens[i].isWord("case")) {
        int depth = 0;
        for (std::size_t k = i; k < tokens.size(); ++k) {
            if (tokens[k].isWord("case")) ++depth;
            if (tokens[k].isWord("end") && --depth == 0) return k;
        }
        return none;
    }
    if (i + 1 < tokens.size() && tokens[i].kind == SqlToken::Kind::Word &&
        tokens[i + 1].isSymbol("("))
        return closingParenthesis(tokens, i + 1);
    if (tokens[i].kind == SqlToken::Kind::Symbol) return none;
    while (i + 2 < tokens.size() && tokens[i + 1].isSymbol(".") && isName(tokens[i + 2])) i += 2;
    return i;
}

// 0x0102: bytes, as the server reads a hex literal, where SQLite would read an integer; an odd
// number of digits gets a leading zero, and 0x alone is no bytes.
std::optional<std::string> hexLiteralAsBlob(const std::string& text) {
    if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    std::string digits = text.substr(2);
    for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    if (digits.size() % 2 != 0) digits.insert(digits.begin(), '0');
    return "X'" + digits + "'";
}

}  // namespace

std::string quoteSqlString(const std::string& text) { return quoteWith(text, '\''); }

std::string quoteSqlName(const std::string& name) { return quoteWith(name, '"'); }

namespace {

// One statement on its way to SQLite: the tokens are copied with the text between them, each
// through the first rewrite rule that takes it.
class Translation {
public:
    Translation(const Statement& statement, const std::string& currentDatabase,
                const VariableLookup& variables, const VariableLookup& functions)
        : statement_(statement),
          tokens_(statement.tokens),
          currentDatabase_(currentDatabase),
          variables_(variables),
          functions_(functions),
          base_(tokens_.empty() ? 0 : tokens_.front().offset),
          previousEnd_(base_) {}

    TranslatedSql run() {
        for (i_ = 0; i_ < tokens_.size(); ++i_) step();
        out() += std::string(divisorEnds_.size(), ')');
        if (inList_) closeItem();
        if (!limit_.empty()) out() += " LIMIT " + limit_;
        return std::move(result_);
    }

private:
    std::string& out() { return result_.sql; }
    const SqlToken& token() const { return tokens_[i_]; }
    const SqlToken* next(std::size_t k) const {
        return i_ + k < tokens_.size() ? &tokens_[i_ + k] : nullptr;
    }
    std::string gapBefore(const SqlToken& token) const {
        if (token.offset > previousEnd_)
            return statement_.text.substr(previousEnd_ - base_, token.offset - previousEnd_);
        return std::string();
    }
    // Takes the tokens up to `last` as written already; the loop goes on after it.
    void consumeThrough(std::size_t last) {
        previousEnd_ = tokens_[last].offset + tokens_[last].text.size();
        i_ = last;
    }

    void step() {
        closeDivisors();
        if (skipCastType() || selectListAlias()) return;
        out() += gapBefore(token());
        previousEnd_ = token().offset + token().text.size();
        if (token().isSymbol("("))
            ++depth_;
        else if (token().isSymbol(")"))
            --depth_;
        if (qualifiedName()) return;
        switch (token().kind) {
            case SqlToken::Kind::String:
                out() += quoteSqlString(token().value);
                break;
            case SqlToken::Kind::BracketName:
                out() += quoteName(token().value);
                break;
            case SqlToken::Kind::Number:
                out() += hexLiteralAsBlob(token().text).value_or(sqliteNumberLiteral(token().text));
                break;
            case SqlToken::Kind::Variable:
                variable();
                break;
            case SqlToken::Kind::Symbol:
                symbol();
                break;
            default:
                word();
                break;
        }
    }

    void word() {
        if (connectionFunction() || convertCall() || forBrowse() || castCall() ||
            temporaryTable() || exactColumn() || dateTimeColumn() || characterColumn() ||
            identityColumn())
            return;
        // isnull(a, b) is the server's name for SQLite's ifnull; SQLite reads "isnull" as an
        // operator.
        if (token().isWord("isnull") && next(1) && next(1)->isSymbol("(")) {
            out() += "ifnull";
            return;
        }
        out() += token().text;
        statementHead();
    }

    // The right operands of / and % that have ended get their closing parenthesis.
    void closeDivisors() {
        while (!divisorEnds_.empty() && divisorEnds_.back() < i_) {
            out() += ")";
            divisorEnds_.pop_back();
        }
    }

    // The `as type` of a cast, already given to the conversion: nothing of it is written.
    bool skipCastType() {
        if (castTypes_.empty() || castTypes_.back().first != i_) return false;
        consumeThrough(castTypes_.back().second - 1);
        castTypes_.pop_back();
        return true;
    }

    // The select list of the outer select: `name = expr` items become `expr AS name`.
    bool selectListAlias() {
        if (!inList_ || depth_ != 0) return false;
        static const char* const ends[] = {"from",   "where", "group", "order",
                                           "having", "union", "into",  "for"};
        bool end = token().isSymbol(";");
        for (const char* word : ends) end = end || token().isWord(word);
        if (end || token().isSymbol(",")) {
            closeItem();
            itemStart_ = token().isSymbol(",");
            inList_ = !end;
            return false;
        }
        if (!itemStart_) return false;
        itemStart_ = false;
        const bool named = token().kind == SqlToken::Kind::Word ||
                           token().kind == SqlToken::Kind::BracketName ||
                           token().kind == SqlToken::Kind::String;
        if (!named || !next(1) || !next(1)->isSymbol("=") || !next(2)) return false;
        alias_ = token().kind == SqlToken::Kind::Word ? token().text : token().value;
        out() += gapBefore(token());
        consumeThrough(i_ + 1);
        return true;
    }
    void closeItem() {
        if (!alias_.empty()) out() += " AS " + quoteName(alias_);
        alias_.clear();
    }

    // Qualified names: db..table, db.owner.table, dbo.table, and the catalogs.
    bool qualifiedName() {
        if (!isName(token()) || (i_ > 0 && tokens_[i_ - 1].isSymbol("."))) return false;
        const SqlToken* dot1 = next(1);
        const SqlToken* second = next(2);
        const bool twoDots = dot1 && dot1->isSymbol(".") && second && second->isSymbol(".") &&
                             next(3) && isName(*next(3));
        const bool withOwner = dot1 && dot1->isSymbol(".") && second && isName(*second) &&
                               next(3) && next(3)->isSymbol(".") && next(4) && isName(*next(4));
        const bool dboOnly =
            token().isWord("dbo") && dot1 && dot1->isSymbol(".") && second && isName(*second);
        const std::size_t last = twoDots ? i_ + 3 : withOwner ? i_ + 4 : dboOnly ? i_ + 2 : i_;
        const std::string database = (twoDots || withOwner) ? nameOf(token()) : currentDatabase_;
        if (catalog(database, last)) return true;
        if (!twoDots && !withOwner && !dboOnly) return false;
        if (twoDots || withOwner) {
            out() += (database == currentDatabase_ ? std::string("main") : quoteName(database)) +
                     "." + quoteName(nameOf(tokens_[last]));
            if (database != currentDatabase_) result_.databases.insert(database);
        } else {
            out() += quoteName(nameOf(*second));
        }
        consumeThrough(last);
        return true;
    }

    // A catalog: the temporary table that holds it, under the catalog's own name unless the
    // statement gives it another.
    bool catalog(const std::string& database, std::size_t last) {
        const std::string name = asciiLower(nameOf(tokens_[last]));
        const bool followed = last + 1 < tokens_.size() &&
                              (tokens_[last + 1].isSymbol(".") || tokens_[last + 1].isSymbol("("));
        if (!isCatalogName(name) || followed) return false;
        out() += catalogTable(database, name);
        if (!aliasFollows(tokens_, last)) out() += " AS " + quoteName(name);
        result_.catalogs.insert({database, name});
        if (database != currentDatabase_) result_.databases.insert(database);
        consumeThrough(last);
        return true;
    }

    void variable() {
        std::optional<std::string> value = variables_ ? variables_(token().text) : std::nullopt;
        if (!value) throw UnknownVariable(token().text);
        out() += *value;
    }

    // + next to a string literal concatenates; the right operand of / and % is wrapped in the
    // zero check.
    void symbol() {
        // A negative number SQLite would read as a float keeps its digits inside the literal.
        if (token().isSymbol("-") && next(1) && next(1)->kind == SqlToken::Kind::Number &&
            needsTextLiteral(next(1)->text) && signPosition(tokens_, i_)) {
            out() += sqliteNumberLiteral(next(1)->text, true);
            consumeThrough(i_ + 1);
            return;
        }
        if (token().isSymbol("+") && ((i_ > 0 && tokens_[i_ - 1].kind == SqlToken::Kind::String) ||
                                      (next(1) && next(1)->kind == SqlToken::Kind::String)))
            out() += "||";
        else
            out() += token().text;
        if ((token().isSymbol("/") || token().isSymbol("%")) && next(1)) {
            // An operand cut short is left alone, for SQLite to name in its 102.
            const std::size_t end = operandEnd(tokens_, i_ + 1);
            if (end < tokens_.size()) {
                out() += std::string(kDivisorFunction) + "(";
                divisorEnds_.push_back(end);
            }
        }
    }

    // name(): the connection's value in its place, when the caller gives one.
    bool connectionFunction() {
        if (!functions_ || token().kind != SqlToken::Kind::Word || !next(1) ||
            !next(1)->isSymbol("(") || !next(2) || !next(2)->isSymbol(")"))
            return false;
        std::optional<std::string> literal = functions_(asciiLower(token().text));
        if (!literal) return false;
        out() += *literal;
        consumeThrough(i_ + 2);
        return true;
    }

    // convert(type[(n)], value[, style]): the type becomes the conversion's first argument, a
    // text.
    bool convertCall() {
        if (!token().isWord("convert") || !next(1) || !next(1)->isSymbol("(") || !next(2) ||
            next(2)->kind != SqlToken::Kind::Word)
            return false;
        std::size_t k = 3;
        std::string type = next(2)->lower();
        if (next(k) && next(k)->isSymbol("(")) {
            while (next(k) && !next(k)->isSymbol(")")) type += next(k++)->text;
            if (next(k)) type += next(k++)->text;
        }
        if (!next(k) || !next(k)->isSymbol(",")) return false;
        out() += std::string(kConvertFunction) + "(" + quoteSqlString(type) + ",";
        ++depth_;  // its parenthesis, consumed here
        consumeThrough(i_ + k);
        return true;
    }

    // select ... for browse: the rows as any select gives them; the client's browse functions
    // find no table to update in them.
    bool forBrowse() {
        if (!token().isWord("for") || depth_ != 0 || !next(1) || !next(1)->isWord("browse"))
            return false;
        result_.browse = true;
        consumeThrough(i_ + 1);
        return true;
    }

    // cast(value as type): the same conversion, so that a type the server does not know is
    // refused as convert refuses it, not left to SQLite's loose affinity.
    bool castCall() {
        if (!token().isWord("cast") || !next(1) || !next(1)->isSymbol("(")) return false;
        const std::optional<std::size_t> as = castTypeStart(tokens_, i_ + 1);
        const std::size_t close = closingParenthesis(tokens_, i_ + 1);
        if (!as || *as + 1 >= close || close >= tokens_.size()) return false;
        std::string type = tokens_[*as + 1].lower();
        for (std::size_t k = *as + 2; k < close; ++k) type += tokens_[k].text;
        out() += std::string(kConvertFunction) + "(" + quoteSqlString(type) + ",";
        ++depth_;  // its parenthesis, consumed here
        castTypes_.emplace_back(*as, close);
        consumeThrough(i_ + 1);
        return true;
    }

    // The token is a column's type in a create or alter table (a name before it).
    bool atColumnType() const {
        return tokens_.size() > 1 && tokens_[1].isWord("table") &&
               (tokens_[0].isWord("create") || tokens_[0].isWord("alter")) && i_ >= 3 &&
               isName(tokens_[i_ - 1]);
    }

    // The type's arguments as written ("(10,2)", or empty) and the last token they take.
    std::optional<std::pair<std::string, std::size_t>> typeArguments() const {
        if (!next(1) || !next(1)->isSymbol("(")) return std::make_pair(std::string(), i_);
        const std::size_t last = closingParenthesis(tokens_, i_ + 1);
        if (last >= tokens_.size()) return std::nullopt;
        std::string arguments;
        for (std::size_t k = i_ + 1; k <= last; ++k) arguments += tokens_[k].text;
        return std::make_pair(arguments, last);
    }

    // A numeric, decimal, money or smallmoney column of a table being created or altered: the
    // SQLite type that keeps its values exactly.
    bool exactColumn() {
        if (!atColumnType() || !isExactTypeName(token().lower())) return false;
        const auto arguments = typeArguments();
        if (!arguments) return false;
        out() += exactColumnType(token().text, arguments->first);
        consumeThrough(arguments->second);
        return true;
    }

    // A character column of a table being created or altered: compared without its trailing
    // blanks, as the server compares character data ('a' = 'a  ').
    bool characterColumn() {
        static const char* const types[] = {"char",    "varchar",    "nchar",  "nvarchar",
                                            "unichar", "univarchar", "sysname"};
        bool character = false;
        for (const char* type : types) character = character || token().isWord(type);
        if (!character || !atColumnType()) return false;
        const auto arguments = typeArguments();
        if (!arguments) return false;
        out() += token().text + arguments->first + " COLLATE RTRIM";
        consumeThrough(arguments->second);
        return true;
    }

    // `identity` after a column's type in a create table: SQLite has no such column, so the
    // word goes and the column is noted; the statement's runner numbers its rows.
    bool identityColumn() {
        if (!token().isWord("identity") || tokens_.size() < 2 || !tokens_[0].isWord("create") ||
            !tokens_[1].isWord("table") || i_ < 3)
            return false;
        std::size_t type = i_ - 1;
        if (tokens_[type].isSymbol(")")) {
            while (type > 0 && !tokens_[type].isSymbol("(")) --type;
            --type;
        }
        if (type < 1 || !isName(tokens_[type - 1])) return false;
        const SqlToken& name = tokens_[type - 1];
        result_.identityColumn = name.kind == SqlToken::Kind::BracketName ? name.value : name.text;
        // Its value comes after the row is in: SQLite must take the row without it first.
        if (next(2) && next(1)->isWord("not") && next(2)->isWord("null")) consumeThrough(i_ + 2);
        return true;
    }

    // A datetime or smalldatetime column of a table being created or altered: compared as the
    // times its texts name, whichever way they are written.
    bool dateTimeColumn() {
        if (!atColumnType() || !(token().isWord("datetime") || token().isWord("smalldatetime")))
            return false;
        out() += token().text + " COLLATE " + kDateTimeCollation;
        return true;
    }

    // #name: a temporary table of the session, SQLite's temp schema of the connection.
    bool temporaryTable() {
        if (token().isWord("table") && i_ > 0 && tokens_[i_ - 1].isWord("create") && next(1) &&
            next(1)->kind == SqlToken::Kind::Word && next(1)->text.front() == '#') {
            out() += "temp " + token().text;
            return true;
        }
        if (token().text.front() != '#') return false;
        out() += quoteName(token().text);
        return true;
    }

    // The statement's first word: insert gets its into, delete its from, truncate table
    // becomes delete; a select's top N becomes a LIMIT and its list is read for aliases.
    void statementHead() {
        if (i_ == 0 && token().isWord("insert") && !(next(1) && next(1)->isWord("into"))) {
            out() += " into";
        } else if (i_ == 0 && token().isWord("delete") && !(next(1) && next(1)->isWord("from"))) {
            out() += " from";
        } else if (i_ == 0 && token().isWord("truncate") && next(1) && next(1)->isWord("table")) {
            out().resize(out().size() - token().text.size());
            out() += "delete from";
            consumeThrough(i_ + 1);
        } else if (token().isWord("select") && depth_ == 0 && limit_.empty()) {
            inList_ = true;
            itemStart_ = true;
            std::size_t k = 1;
            if (next(k) && (next(k)->isWord("distinct") || next(k)->isWord("all"))) {
                out() += gapBefore(*next(k)) + next(k)->text;
                previousEnd_ = next(k)->offset + next(k)->text.size();
                ++k;
            }
            if (next(k) && next(k)->isWord("top") && next(k + 1) &&
                next(k + 1)->kind == SqlToken::Kind::Number) {
                limit_ = next(k + 1)->text;
                consumeThrough(i_ + k + 1);
            } else {
                i_ += k - 1;
            }
        }
    }

    const Statement& statement_;
    const std::vector<SqlToken>& tokens_;
    const std::string& currentDatabase_;
    const VariableLookup& variables_;
    const VariableLookup& functions_;
    TranslatedSql result_;
    std::size_t base_;
    std::size_t previousEnd_;
    std::size_t i_ = 0;
    int depth_ = 0;
    std::string limit_;
    bool inList_ = false;
    bool itemStart_ = false;
    std::string alias_;
    // The right operands of / and %, each wrapped in the zero check: where each one ends.
    std::vector<std::size_t> divisorEnds_;
    // The casts open: where the `as` of each one's type is and where its parenthesis closes.
    std::vector<std::pair<std::size_t, std::size_t>> castTypes_;
};

}  // namespace

TranslatedSql translateToSqlite(const Statement& statement, const std::string& currentDatabase,
                                const VariableLookup& variables, const VariableLookup& functions) {
    if (statement.tokens.empty()) return {};
    return Translation(statement, currentDatabase, variables, functions).run();
}

}  // namespace tvr::sim
