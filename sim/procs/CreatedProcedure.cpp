#include "sim/procs/CreatedProcedure.h"

#include <cctype>
#include <cstdlib>
#include <map>

#include "platform/ScopeExit.h"
#include "sim/statements/BatchRunner.h"
#include "sim/statements/ColumnTyping.h"
#include "sim/statements/Interpreter.h"
#include "sim/statements/SqlTranslator.h"

namespace tvr::sim {
namespace {

bool isProcedureWord(const SqlToken& t) { return t.isWord("proc") || t.isWord("procedure"); }
bool isTransactionWord(const SqlToken& t) { return t.isWord("tran") || t.isWord("transaction"); }

// The value a default is written as: a string's content (N'...' too), a number (with its sign),
// a word;
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
    // N'text', a national character literal, is its text.
    if ((tokens[i].isWord("n")) && i + 1 < tokens.size() &&
        tokens[i + 1].kind == SqlToken::Kind::String &&
        tokens[i + 1].offset == tokens[i].offset + 1)
        ++i;
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

// Messages of the procedure's statements carry its name, as the server's do; those relayed from
// the Backup Server keep the routine they came with.
class ProcedureSink : public ResultSink {
public:
    ProcedureSink(ResultSink& to, std::string name) : to_(to), name_(std::move(name)) {}
    void message(const ServerMessage& message) override {
        ServerMessage marked = message;
        if (marked.procedure.empty() && marked.server.empty()) marked.procedure = name_;
        to_.message(marked);
    }
    void rowFormat(const std::vector<Column>& columns) override { to_.rowFormat(columns); }
    void browseInformation(const BrowseInformation& information) override {
        to_.browseInformation(information);
    }
    void row(const Row& row) override { to_.row(row); }
    void returnStatus(std::int32_t status) override { to_.returnStatus(status); }
    void parameters(const std::vector<Column>& columns, const Row& values) override {
        to_.parameters(columns, values);
    }
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
        parameter.declared = parameter.type;
        ++i;
        if (i < n && tokens[i].isSymbol("(")) {
            parameter.declared += tokens[i].text;
            ++i;
            if (i < n && tokens[i].kind == SqlToken::Kind::Number)
                parameter.length = std::atoi(tokens[i].text.c_str());
            while (i < n && !tokens[i].isSymbol(")")) parameter.declared += tokens[i++].text;
            if (i >= n) return "the type of parameter " + parameter.name + " is not closed";
            parameter.declared += tokens[i].text;
            ++i;
        }
        if (i < n && tokens[i].isSymbol("=")) {
            ++i;
            parameter.hasDefault = true;
            if (!defaultValue(tokens, i, parameter.fallback))
                return "parameter " + parameter.name + " has a default of no known form";
        }
        if (i < n && (tokens[i].isWord("output") || tokens[i].isWord("out"))) {
            parameter.output = true;
            ++i;
        }
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

std::variant<VariableScope, ServerError> bindArguments(const ProcedureDefinition& definition,
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

    VariableScope variables;
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
        const std::size_t comma = parameter.declared.find(',');
        variables.declare(
            parameter.name, parameter.type, parameter.length,
            comma == std::string::npos ? 0 : std::atoi(parameter.declared.c_str() + comma + 1));
        if (!variables.assignLiteral(*variables.find(parameter.name), value))
            return errors::badConversion();
    }
    return variables;
}

std::optional<std::string> unrunnableReason(ExecutionContext& context, const std::string& text) {
    const auto read = readProcedure(text);
    if (const auto* why = std::get_if<std::string>(&read)) return *why;
    const std::string& body = std::get<ProcedureDefinition>(read).body;
    try {
        const auto parsed = parseProgram(body, 0, body.size(), context.commands(), false);
        if (const auto* refusal = std::get_if<ProgramRefusal>(&parsed))
            return "it uses " + refusal->reason;
    } catch (const SqlLexError&) {
        return std::string("its text has an unclosed quote or comment");
    }
    return std::nullopt;
}

namespace {

// The parameters declared output that the call marked output too, with their values at the end.
std::vector<OutputParameter> outputsOf(const ProcedureDefinition& definition,
                                       const ProcedureArguments& arguments,
                                       VariableScope& variables) {
    std::vector<OutputParameter> outputs;
    for (std::size_t k = 0; k < definition.parameters.size(); ++k) {
        const ProcedureParameter& parameter = definition.parameters[k];
        auto marked = arguments.outputs.find(parameter.name);
        if (marked == arguments.outputs.end())
            marked = arguments.outputs.find("#" + std::to_string(k));
        if (!parameter.output || marked == arguments.outputs.end()) continue;
        OutputParameter output;
        output.callerVariable = marked->second;
        output.column = columnForDeclaredType(parameter.declared.c_str()).value_or(Column{});
        output.column.name = parameter.name;
        if (const Variable* variable = variables.find(parameter.name))
            output.value = variable->value;
        outputs.push_back(std::move(output));
    }
    return outputs;
}

}  // namespace

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
    const ProcedureDefinition& definition = std::get<ProcedureDefinition>(read);
    auto bound = bindArguments(definition, name, arguments);
    if (const auto* error = std::get_if<ServerError>(&bound)) return refuse(*error, 1);
    std::variant<Program, ProgramRefusal> parsed;
    try {
        parsed =
            parseProgram(definition.body, 0, definition.body.size(), context.commands(), false);
    } catch (const SqlLexError&) {
        return refuse(errors::procedureNotRun(name, "its text has an unclosed quote or comment"),
                      1);
    }
    if (const auto* refusal = std::get_if<ProgramRefusal>(&parsed))
        return refuse(errors::procedureNotRun(name, "it uses " + refusal->reason),
                      refusal->message.line);

    ProcedureSink marked(context.sink(), name);
    ResultSink* previous = context.redirectSink(&marked);
    ++nesting;
    const auto restore = onScopeExit([&] {
        context.redirectSink(previous);
        --nesting;
    });

    const ProgramOutcome ran = runProgram(context, std::get<Program>(parsed), DoneStyle::Procedure,
                                          std::get<VariableScope>(bound));
    StatementOutcome outcome;
    outcome.procedure = true;
    outcome.cancelled = ran.cancelled;
    // An error that ends a batch ends the procedure; the server's status for it.
    outcome.returnStatus = ran.endedByError ? -6 : ran.returnStatus.value_or(0);
    outcome.outputs = outputsOf(definition, arguments, std::get<VariableScope>(bound));
    return outcome;
}

}  // namespace tvr::sim
