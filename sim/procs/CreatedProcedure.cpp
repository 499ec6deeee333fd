#include "sim/procs/CreatedProcedure.h"

#include <cctype>
#include <cstdlib>
#include <map>

#include "sim/statements/BatchRunner.h"
#include "sim/statements/SqlTranslator.h"

namespace tvr::sim {
namespace {

bool isProcedureWord(const SqlToken& t) { return t.isWord("proc") || t.isWord("procedure"); }
bool isTransactionWord(const SqlToken& t) { return t.isWord("tran") || t.isWord("transaction"); }

bool isNumericType(const std::string& type) {
    static const char* const numeric[] = {"int",     "integer", "smallint",  "tinyint", "bigint",
                                          "bit",     "float",   "real",      "double",  "numeric",
                                          "decimal", "money",   "smallmoney"};
    for (const char* name : numeric)
        if (type == name) return true;
    return false;
}

bool isNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0' &&
           !std::isspace(static_cast<unsigned char>(text.front()));
}

// The value a default is written as: a string's content, a number (with its sign), a word;
// nothing for NULL. False when it is none of those.
bool defaultValue(const std::vector<SqlToken>& tokens, std::size_t& i,
                  std::optional<std::string>& value) {
    if (i >= tokens.size()) return false;
    bool negative = false;
    if (tokens[i].isSymbol("-") && i + 1 < tokens.size() &&
        tokens[i + 1].kind == SqlToken::Kind::Number) {
        negative = true;
        ++i;
    }
    const SqlToken& token = tokens[i++];
    if (token.isWord("null")) {
        value.reset();
    } else if (token.kind == SqlToken::Kind::String) {
        value = token.value;
    } else if (token.kind == SqlToken::Kind::Number) {
        value = (negative ? "-" : "") + token.text;
    } else if (token.kind == SqlToken::Kind::Word) {
        value = token.text;
    } else {
        return false;
    }
    return true;
}

// Why a statement of the body cannot run here; nothing when it can.
std::optional<std::string> unsupported(const Statement& statement, const CommandSet& commands) {
    const std::string head = statement.keyword();
    if (head == "return") {
        const auto& t = statement.tokens;
        const bool plain =
            t.size() == 1 || (t.size() == 2 && t[1].kind == SqlToken::Kind::Number) ||
            (t.size() == 3 && t[1].isSymbol("-") && t[2].kind == SqlToken::Kind::Number);
        if (!plain) return std::string("it returns an expression");
        return std::nullopt;
    }
    if (head == "begin" && !(statement.tokens.size() > 1 && isTransactionWord(statement.tokens[1])))
        return std::string("it uses begin ... end blocks");
    static const char* const flow[] = {"declare",  "while",     "goto", "break",
                                       "continue", "raiserror", "else", "end"};
    for (const char* word : flow)
        if (head == word) return "it uses " + head;
    for (const SqlToken& token : statement.tokens)
        if (token.kind == SqlToken::Kind::Variable && token.text.rfind("@@", 0) != 0)
            return "it uses the local variable " + token.text;
    if (commands.find(statement) == nullptr)
        return "it uses " + head + ", which this emulator does not know";
    return std::nullopt;
}

int returnValue(const Statement& statement) {
    const auto& t = statement.tokens;
    if (t.size() == 1) return 0;
    const int value = std::atoi(t.back().text.c_str());
    return t[1].isSymbol("-") ? -value : value;
}

// Messages of the procedure's statements carry its name, as the server's do.
class ProcedureSink : public ResultSink {
public:
    ProcedureSink(ResultSink& to, std::string name) : to_(to), name_(std::move(name)) {}
    void message(const ServerMessage& message) override {
        ServerMessage marked = message;
        if (marked.procedure.empty()) marked.procedure = name_;
        to_.message(marked);
    }
    void rowFormat(const std::vector<Column>& columns) override { to_.rowFormat(columns); }
    void row(const Row& row) override { to_.row(row); }
    void returnStatus(std::int32_t status) override { to_.returnStatus(status); }
    void environmentChange(EnvChangeType type, const std::string& now,
                           const std::string& before) override {
        to_.environmentChange(type, now, before);
    }
    void done(ServerToken token, std::uint16_t status, std::int32_t count) override {
        to_.done(token, status, count);
    }
    bool cancelRequested() override { return to_.cancelRequested(); }

private:
    ResultSink& to_;
    std::string name_;
};

// How deep procedures call procedures on this connection's thread; the server stops at 16.
thread_local int nesting = 0;
constexpr int kMaxNesting = 16;

}  // namespace

std::variant<ProcedureDefinition, std::string> readProcedure(const std::string& text) {
    std::vector<SqlToken> tokens;
    try {
        tokens = tokenizeSql(text);
    } catch (const SqlLexError&) {
        return std::string("its text has an unclosed quote or comment");
    }
    const std::size_t n = tokens.size();
    if (n < 3 || !tokens[0].isWord("create") || !isProcedureWord(tokens[1]))
        return std::string("its text does not begin with create procedure");
    std::size_t i = 2;
    // [owner.]name[;number]
    while (i < n &&
           (tokens[i].kind == SqlToken::Kind::Word ||
            tokens[i].kind == SqlToken::Kind::BracketName || tokens[i].isSymbol(".")) &&
           !tokens[i].isWord("as") && !tokens[i].isWord("with"))
        ++i;
    if (i + 1 < n && tokens[i].isSymbol(";") && tokens[i + 1].kind == SqlToken::Kind::Number)
        i += 2;

    ProcedureDefinition definition;
    const bool parenthesized = i < n && tokens[i].isSymbol("(");
    if (parenthesized) ++i;
    while (i < n && tokens[i].kind == SqlToken::Kind::Variable) {
        ProcedureParameter parameter;
        parameter.name = tokens[i].lower();
        ++i;
        if (i >= n || tokens[i].kind != SqlToken::Kind::Word)
            return "parameter " + parameter.name + " has no type";
        parameter.type = tokens[i].lower();
        ++i;
        if (i < n && tokens[i].isSymbol("(")) {
            ++i;
            if (i < n && tokens[i].kind == SqlToken::Kind::Number)
                parameter.length = std::atoi(tokens[i].text.c_str());
            while (i < n && !tokens[i].isSymbol(")")) ++i;
            if (i >= n) return "the type of parameter " + parameter.name + " is not closed";
            ++i;
        }
        if (i < n && tokens[i].isSymbol("=")) {
            ++i;
            parameter.hasDefault = true;
            if (!defaultValue(tokens, i, parameter.fallback))
                return "parameter " + parameter.name + " has a default of no known form";
        }
        if (i < n && (tokens[i].isWord("output") || tokens[i].isWord("out"))) ++i;
        definition.parameters.push_back(parameter);
        if (i < n && tokens[i].isSymbol(",")) {
            ++i;
            continue;
        }
        break;
    }
    if (parenthesized) {
        if (i >= n || !tokens[i].isSymbol(")"))
            return std::string("its parameter list is not closed");
        ++i;
    }
    if (i + 1 < n && tokens[i].isWord("with") && tokens[i + 1].isWord("recompile")) i += 2;
    if (i >= n || !tokens[i].isWord("as"))
        return std::string("its parameters are not followed by as");
    ++i;

    std::size_t first = i, last = n;
    const bool block = first < last && tokens[first].isWord("begin") &&
                       !(first + 1 < last && isTransactionWord(tokens[first + 1])) &&
                       tokens[last - 1].isWord("end");
    // Everything but the body becomes blanks; line ends stay where they are.
    definition.body = text;
    auto blank = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to && k < definition.body.size(); ++k)
            if (definition.body[k] != '\n') definition.body[k] = ' ';
    };
    blank(0, tokens[i - 1].offset + tokens[i - 1].text.size());
    if (block) {
        blank(tokens[first].offset, tokens[first].offset + tokens[first].text.size());
        blank(tokens[last - 1].offset, definition.body.size());
    }
    return definition;
}

std::variant<std::string, ServerError> bindArguments(const ProcedureDefinition& definition,
                                                     const std::string& name,
                                                     const ProcedureArguments& arguments) {
    const auto& parameters = definition.parameters;
    for (const auto& named : arguments.named) {
        bool known = false;
        for (const ProcedureParameter& parameter : parameters)
            known = known || parameter.name == named.first;
        if (!known) return errors::notAParameter(named.first, name);
    }
    if (arguments.positional.size() > parameters.size()) return errors::tooManyArguments(name);

    std::map<std::string, std::string> literals;
    for (std::size_t p = 0; p < parameters.size(); ++p) {
        const ProcedureParameter& parameter = parameters[p];
        std::optional<std::string> value;
        if (auto named = arguments.named.find(parameter.name); named != arguments.named.end()) {
            value = named->second;
        } else if (p < arguments.positional.size()) {
            value = arguments.positional[p];
        } else if (parameter.hasDefault) {
            value = parameter.fallback;
        } else {
            return errors::missingParameter(name, parameter.name);
        }
        if (!value) {
            literals[parameter.name] = "NULL";
        } else if (isNumericType(parameter.type)) {
            if (!isNumber(*value)) return errors::badConversion();
            literals[parameter.name] = *value;
        } else {
            std::string text = *value;
            if (parameter.length > 0 && parameter.type.find("char") != std::string::npos &&
                text.size() > static_cast<std::size_t>(parameter.length))
                text.resize(static_cast<std::size_t>(parameter.length));
            literals[parameter.name] = quoteSqlString(text);
        }
    }

    const std::string& body = definition.body;
    std::string out;
    std::size_t previousEnd = 0;
    for (const SqlToken& token : tokenizeSql(body)) {
        out += body.substr(previousEnd, token.offset - previousEnd);
        const auto literal =
            token.kind == SqlToken::Kind::Variable ? literals.find(token.lower()) : literals.end();
        out += literal != literals.end() ? literal->second : token.text;
        previousEnd = token.offset + token.text.size();
    }
    return out + body.substr(previousEnd);
}

StatementOutcome runCreatedProcedure(ExecutionContext& context, const std::string& name,
                                     const std::string& text, const ProcedureArguments& arguments,
                                     const Statement& call) {
    auto refuse = [&](ServerMessage message, int line) {
        message.procedure = name;
        message.line = line;
        context.sink().message(message);
        StatementOutcome outcome = StatementOutcome::failed();
        outcome.procedure = true;
        return outcome;
    };
    if (nesting >= kMaxNesting) return refuse(errors::nestingTooDeep(kMaxNesting), call.line);
    const auto read = readProcedure(text);
    if (const auto* why = std::get_if<std::string>(&read))
        return refuse(errors::procedureNotRun(name, *why), 1);
    const auto bound = bindArguments(std::get<ProcedureDefinition>(read), name, arguments);
    if (const auto* error = std::get_if<ServerError>(&bound)) return refuse(*error, 1);

    const CommandSet& commands = context.commands();
    std::vector<Statement> statements;
    try {
        statements = commands.splitter.split(std::get<std::string>(bound));
    } catch (const SqlLexError&) {
        return refuse(errors::procedureNotRun(name, "an argument left a quote open"), 1);
    }
    for (Statement& statement : statements) {
        statement.firstInBatch = false;  // a procedure name alone calls nothing inside a procedure
        if (auto why = unsupported(statement, commands))
            return refuse(errors::procedureNotRun(name, *why), statement.line);
    }

    ProcedureSink marked(context.sink(), name);
    struct Scope {
        ExecutionContext& context;
        ResultSink* previous;
        ~Scope() {
            context.redirectSink(previous);
            --nesting;
        }
    } scope{context, context.redirectSink(&marked)};
    ++nesting;

    StatementOutcome outcome;
    outcome.procedure = true;
    int status = 0;
    for (const Statement& statement : statements) {
        if (marked.cancelRequested()) {
            outcome.cancelled = true;
            return outcome;
        }
        if (statement.keyword() == "return") {
            status = returnValue(statement);
            break;
        }
        const StatementOutcome step = runStatement(context, statement);
        if (step.cancelled) {
            outcome.cancelled = true;
            return outcome;
        }
        std::uint16_t done = DoneMore;
        if (step.error) done |= DoneError;
        if (step.rowCount) done |= DoneCount;
        if (context.inTransaction()) done |= DoneInTransaction;
        marked.done(TokenDoneInProc, done, static_cast<std::int32_t>(step.rowCount.value_or(0)));
        if (step.endBatch) {
            // An error that ends a batch ends the procedure; the server's status for it.
            status = -6;
            break;
        }
    }
    outcome.returnStatus = status;
    return outcome;
}

}  // namespace tvr::sim
