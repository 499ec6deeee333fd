#include "sim/statements/TextCommands.h"

#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlRunner.h"
#include "sim/statements/WireLiterals.h"

namespace tvr::sim {
namespace {

// A writetext or readtext as written.
struct TextStatement {
    bool bulk = false;
    std::string table;  // "t", "db..t", "dbo.t"
    std::string column;
    std::string pointer;   // a hex literal, 0x...
    std::string value;     // writetext's value as written (a literal), empty for bulk
    long long offset = 0;  // readtext's
    long long size = 0;
};

bool isHex(const SqlToken& t) {
    return t.kind == SqlToken::Kind::Number && t.text.size() > 2 &&
           (t.text[1] == 'x' || t.text[1] == 'X');
}

std::optional<TextStatement> parseText(const Statement& statement) {
    const auto& tokens = statement.tokens;
    const bool write = statement.keyword() == "writetext";
    TextStatement parsed;
    std::size_t i = 1;
    if (write && i < tokens.size() && tokens[i].isWord("bulk")) {
        parsed.bulk = true;
        ++i;
    }
    // The name: words and dots up to the pointer; the last word is the column.
    std::string name;
    while (i < tokens.size() &&
           (tokens[i].kind == SqlToken::Kind::Word ||
            tokens[i].kind == SqlToken::Kind::BracketName || tokens[i].isSymbol(".")))
        name += tokens[i++].text;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return std::nullopt;
    parsed.table = name.substr(0, dot);
    parsed.column = name.substr(dot + 1);
    if (i >= tokens.size() || !isHex(tokens[i])) return std::nullopt;
    parsed.pointer = tokens[i++].text;
    if (!write) {
        if (i + 1 >= tokens.size() || tokens[i].kind != SqlToken::Kind::Number ||
            tokens[i + 1].kind != SqlToken::Kind::Number)
            return std::nullopt;
        parsed.offset = std::atoll(tokens[i].text.c_str());
        parsed.size = std::atoll(tokens[i + 1].text.c_str());
        i += 2;
        if (i < tokens.size() && tokens[i].isWord("holdlock")) ++i;
        if (i != tokens.size() || parsed.offset < 0 || parsed.size < 0) return std::nullopt;
        return parsed;
    }
    if (i < tokens.size() && tokens[i].isWord("readpast")) ++i;
    if (i + 2 < tokens.size() && tokens[i].isWord("timestamp") && tokens[i + 1].isSymbol("=") &&
        isHex(tokens[i + 2]))
        i += 3;  // the value's timestamp: not checked
    if (i + 1 < tokens.size() && tokens[i].isWord("with") && tokens[i + 1].isWord("log")) i += 2;
    if (parsed.bulk) return i == tokens.size() ? std::optional(parsed) : std::nullopt;
    if (i + 1 != tokens.size() || (tokens[i].kind != SqlToken::Kind::String && !isHex(tokens[i])))
        return std::nullopt;
    parsed.value = tokens[i].text;
    return parsed;
}

// The row of the table whose value in the column has the pointer, as SQL.
std::string rowOf(const TextStatement& text) {
    return "rowid = (select min(rowid) from " + text.table + " where textptr([" + text.column +
           "]) = " + text.pointer + ")";
}

ServerMessage invalidPointer(const std::string& pointer) {
    return messages::systemMessage(7123, 16, 1, "Invalid text pointer value " + pointer + ".");
}

// The update that writes `literal` where the pointer points; fails with 7123 when it points
// nowhere.
StatementOutcome writeValue(ExecutionContext& context, const TextStatement& text,
                            const std::string& literal, const Statement& origin) {
    const auto update = makeStatement(context,
                                      "update " + text.table + " set [" + text.column +
                                          "] = " + literal + " where " + rowOf(text),
                                      origin.line);
    if (!update) return failStatement(context, origin, messages::syntaxError(text.table));
    StatementOutcome outcome = runSqlStatement(context, *update);
    if (outcome.error || outcome.cancelled) return outcome;
    if (outcome.rowCount.value_or(0) == 0)
        return failStatement(context, origin, invalidPointer(text.pointer));
    outcome.rowCount.reset();
    return outcome;
}

// The value of a bulk writetext: its length in 4 bytes, then the bytes, written as text for a
// text column (as the bytes for an image one).
StatementOutcome writeBulkValue(ExecutionContext& context, const TextStatement& text, bool image,
                                const std::vector<std::uint8_t>& data, const Statement& origin) {
    if (data.size() < 4)
        return failStatement(context, origin,
                             messages::unsupportedRequest("a writetext value without its length"));
    const std::size_t size =
        static_cast<std::size_t>(data[0]) | (static_cast<std::size_t>(data[1]) << 8) |
        (static_cast<std::size_t>(data[2]) << 16) | (static_cast<std::size_t>(data[3]) << 24);
    const std::size_t present = std::min(size, data.size() - 4);
    std::string literal;
    if (image) {
        literal = hexLiteral(data.data() + 4, present);
    } else {
        literal = "'";
        for (std::size_t i = 0; i < present; ++i) {
            literal += static_cast<char>(data[4 + i]);
            if (data[4 + i] == '\'') literal += '\'';
        }
        literal += "'";
    }
    return writeValue(context, text, literal, origin);
}

StatementOutcome runWritetext(ExecutionContext& context, const Statement& statement) {
    const auto text = parseText(statement);
    if (!text)
        return failStatement(context, statement, messages::syntaxError(statement.keyword()), true);
    if (!text->bulk) return writeValue(context, *text, text->value, statement);
    // The pointer is checked now; the value comes in the bulk packet after the answer, as
    // bytes for an image column, whatever the value it replaces (an image may hold '').
    const auto probe = makeStatement(
        context, "select [" + text->column + "] from " + text->table + " where " + rowOf(*text),
        statement.line);
    if (!probe) return failStatement(context, statement, messages::syntaxError(text->table));
    const auto found = queryValues(context, *probe);
    if (const auto* failed = std::get_if<StatementOutcome>(&found)) return *failed;
    if (std::get<std::vector<std::vector<RawValue>>>(found).empty())
        return failStatement(context, statement, invalidPointer(text->pointer));
    const auto described = queryColumns(context, *probe);
    if (const auto* failed = std::get_if<StatementOutcome>(&described)) return *failed;
    const auto& columns = std::get<std::vector<Column>>(described);
    const bool image = !columns.empty() && columns.front().kind == ColumnKind::Image;
    context.bulkData = [target = *text, image, statement](ExecutionContext& c,
                                                          const std::vector<std::uint8_t>& data) {
        return writeBulkValue(c, target, image, data, statement);
    };
    return {};
}

StatementOutcome runReadtext(ExecutionContext& context, const Statement& statement) {
    const auto text = parseText(statement);
    if (!text) return failStatement(context, statement, messages::syntaxError("readtext"), true);
    const std::string piece = "substr([" + text->column + "], " + std::to_string(text->offset + 1) +
                              (text->size > 0 ? ", " + std::to_string(text->size) : std::string()) +
                              ")";
    const auto query = makeStatement(context,
                                     "select " + piece + " as [" + text->column + "] from " +
                                         text->table + " where " + rowOf(*text),
                                     statement.line);
    if (!query) return failStatement(context, statement, messages::syntaxError(text->table));
    return runSqlStatement(context, *query);
}

}  // namespace

void addTextCommands(CommandSet& commands) {
    commands.splitter.addStatementKeyword("writetext");
    commands.splitter.addStatementKeyword("readtext");
    commands.add({"writetext", [](const Statement& s) { return s.startsWith({"writetext"}); },
                  runWritetext});
    commands.add(
        {"readtext", [](const Statement& s) { return s.startsWith({"readtext"}); }, runReadtext});
}

}  // namespace tvr::sim
