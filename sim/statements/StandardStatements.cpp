// The statements every emulated server understands. Further statements are added by
// registering handlers on the CommandSet this returns (see StatementHandlers.h).
#include "sim/statements/BatchRunner.h"
#include "sim/statements/BulkCopy.h"
#include "sim/statements/DatabaseSizeClause.h"
#include "sim/statements/DateTime.h"
#include "sim/statements/GlobalVariables.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlRunner.h"
#include "sim/statements/SqlTranslator.h"
#include "sim/statements/StatementHandlers.h"
#include "sim/statements/SystemInformation.h"
#include "sim/statements/TextCommands.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>
#include <variant>

namespace tvr::sim {

const StatementHandler* CommandSet::find(const Statement& statement) const {
    for (const StatementHandler& handler : handlers_)
        if (handler.matches(statement)) return &handler;
    return nullptr;
}

StatementOutcome failStatement(ExecutionContext& context, const Statement& statement,
                               ServerMessage message, bool endBatch) {
    message.line = statement.line;
    context.sink().message(message);
    return StatementOutcome::failed(endBatch);
}

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

StatementOutcome syntaxErrorAt(ExecutionContext& context, const Statement& statement,
                               std::size_t index) {
    const std::vector<SqlToken>& tokens = statement.tokens;
    std::string near = index < tokens.size() ? tokens[index].text : tokens.back().text;
    return failStatement(context, statement, messages::syntaxError(near), true);
}

// A name as written: a word, a [bracketed] name or a string.
std::optional<std::string> nameAt(const Statement& statement, std::size_t index) {
    if (index >= statement.tokens.size()) return std::nullopt;
    const SqlToken& token = statement.tokens[index];
    if (token.kind == SqlToken::Kind::Word) return token.text;
    if (token.kind == SqlToken::Kind::BracketName || token.kind == SqlToken::Kind::String)
        return token.value;
    return std::nullopt;
}

// --- use DB -----------------------------------------------------------------------------

StatementOutcome runUse(ExecutionContext& context, const Statement& statement) {
    std::optional<std::string> name = nameAt(statement, 1);
    if (!name || statement.tokens.size() != 2)
        return syntaxErrorAt(context, statement, name ? 2 : 1);
    std::string previous = context.currentDatabase();
    if (previous != *name && context.inTransaction())
        return failStatement(context, statement, messages::useInTransaction());
    if (std::optional<ServerMessage> refusal = context.useDatabase(*name))
        return failStatement(context, statement, *refusal);
    if (previous != *name) context.sink().environmentChange(EnvDatabase, *name, previous);
    ServerMessage changed = messages::databaseChanged(*name);
    changed.line = statement.line;
    context.sink().message(changed);
    return {};
}

// --- print "text %1!", arg ----------------------------------------------------------------

std::optional<std::string> literalText(ExecutionContext& context, const SqlToken& token) {
    switch (token.kind) {
        case SqlToken::Kind::String:
            return token.value;
        case SqlToken::Kind::Number:
            return token.text;
        case SqlToken::Kind::Variable: {
            std::optional<std::string> literal = globalVariable(context, token.text);
            if (!literal) return std::nullopt;
            if (literal->size() >= 2 && literal->front() == '\'')
                return literal->substr(1, literal->size() - 2);
            return literal;
        }
        default:
            return std::nullopt;
    }
}

// The text of a print or raiserror from its format and arguments, the tokens from `first` on:
// the text, or the outcome of a statement that cannot give one.
std::variant<std::string, StatementOutcome> messageText(ExecutionContext& context,
                                                        const Statement& statement,
                                                        std::size_t first) {
    const std::vector<SqlToken>& tokens = statement.tokens;
    std::vector<std::string> values;
    for (std::size_t i = first; i < tokens.size(); ++i) {
        if (i > first) {
            if (!tokens[i].isSymbol(",") || i + 1 >= tokens.size())
                return syntaxErrorAt(context, statement, i);
            ++i;
        }
        std::optional<std::string> value = literalText(context, tokens[i]);
        if (!value) {
            if (tokens[i].kind == SqlToken::Kind::Variable)
                return failStatement(context, statement,
                                     messages::undeclaredVariable(tokens[i].text), true);
            return syntaxErrorAt(context, statement, i);
        }
        values.push_back(*value);
    }
    if (values.empty()) return std::string();
    return formatPrintText(values.front(), {values.begin() + 1, values.end()});
}

StatementOutcome runPrint(ExecutionContext& context, const Statement& statement) {
    if (statement.tokens.size() < 2) return syntaxErrorAt(context, statement, 1);
    auto text = messageText(context, statement, 1);
    if (auto* outcome = std::get_if<StatementOutcome>(&text)) return *outcome;
    ServerMessage message = messages::print(std::get<std::string>(text));
    message.line = statement.line;
    context.sink().message(message);
    return {};
}

// raiserror N [text [, argument]...]: a message of the caller's number (17000 and above, the
// numbers the server leaves to users) at severity 16, which @@error then holds; the batch or
// procedure goes on.
StatementOutcome runRaiserror(ExecutionContext& context, const Statement& statement) {
    const std::vector<SqlToken>& tokens = statement.tokens;
    if (tokens.size() < 2 || tokens[1].kind != SqlToken::Kind::Number)
        return syntaxErrorAt(context, statement, 1);
    const long number = std::atol(tokens[1].text.c_str());
    if (number < 17000 || number > 2147483647L) return syntaxErrorAt(context, statement, 1);
    std::size_t first = 2;
    if (first < tokens.size() && tokens[first].isSymbol(",")) ++first;
    auto text = messageText(context, statement, first);
    if (auto* outcome = std::get_if<StatementOutcome>(&text)) return *outcome;
    return failStatement(
        context, statement,
        messages::systemMessage(static_cast<int>(number), 16, 1, std::get<std::string>(text)));
}

// --- transactions ---------------------------------------------------------------------------

StatementOutcome runTransaction(ExecutionContext& context, const Statement& statement) {
    SqliteDatabase& db = context.database();
    std::string verb = statement.keyword();
    if (verb == "begin") {
        if (!db.inTransaction()) db.execute("BEGIN");
    } else {
        const bool commit = verb == "commit";
        if (!db.inTransaction())
            return failStatement(context, statement, messages::noTransaction(commit));
        db.execute(commit ? "COMMIT" : "ROLLBACK");
    }
    return {};
}

bool isTransactionStatement(const Statement& statement) {
    const std::vector<SqlToken>& tokens = statement.tokens;
    if (statement.startsWith({"begin", "tran"}) || statement.startsWith({"begin", "transaction"}))
        return true;
    if (tokens.empty() || !(tokens[0].isWord("commit") || tokens[0].isWord("rollback")))
        return false;
    return tokens.size() == 1 || tokens[1].isWord("tran") || tokens[1].isWord("transaction") ||
           tokens[1].isWord("work");
}

// --- waitfor delay 'hh:mm:ss' ---------------------------------------------------------------

StatementOutcome runWaitfor(ExecutionContext& context, const Statement& statement) {
    const std::vector<SqlToken>& tokens = statement.tokens;
    if (tokens.size() != 3 || !tokens[1].isWord("delay") ||
        tokens[2].kind != SqlToken::Kind::String)
        return syntaxErrorAt(context, statement,
                             tokens.size() > 1 && tokens[1].isWord("delay") ? 2 : 1);
    // hh:mm:ss[.mmm], below 24 hours as on the server.
    const std::string& text = tokens[2].value;
    std::size_t position = 0;
    auto field = [&](std::size_t digitsMin, std::size_t digitsMax, int limit) {
        std::size_t start = position;
        int value = 0;
        while (position < text.size() && position - start < digitsMax &&
               std::isdigit(static_cast<unsigned char>(text[position])))
            value = value * 10 + (text[position++] - '0');
        return (position - start < digitsMin || value > limit) ? -1 : value;
    };
    int hours = field(1, 2, 23);
    bool valid = hours >= 0 && position < text.size() && text[position++] == ':';
    int minutes = valid ? field(1, 2, 59) : -1;
    valid = valid && minutes >= 0 && position < text.size() && text[position++] == ':';
    int seconds = valid ? field(1, 2, 59) : -1;
    valid = valid && seconds >= 0;
    int milliseconds = 0;
    if (valid && position < text.size() && text[position] == '.') {
        ++position;
        milliseconds = field(1, 3, 999);
        valid = milliseconds >= 0;
    }
    if (!valid || position != text.size()) return syntaxErrorAt(context, statement, 2);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::hours(hours) +
                    std::chrono::minutes(minutes) + std::chrono::seconds(seconds) +
                    std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (context.sink().cancelRequested()) {
            StatementOutcome outcome;
            outcome.cancelled = true;
            return outcome;
        }
        if (context.server().stopping()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

// --- create database NAME -----------------------------------------------------------------

StatementOutcome runCreateDatabase(ExecutionContext& context, const Statement& statement) {
    std::optional<std::string> name = nameAt(statement, 2);
    if (!name || !isValidObjectName(*name)) return syntaxErrorAt(context, statement, 2);
    if (context.server().findDatabase(*name))
        return failStatement(context, statement, messages::databaseExists(*name));
    // Without "log on" the log shares the data's device.
    std::size_t offending = 0;
    const auto clause = parseDatabaseSizeClause(statement.tokens, 3, offending);
    if (!clause) return syntaxErrorAt(context, statement, offending);
    context.server().createDatabase(*name, !clause->logOn, clause->size);
    // As the server marks it: "for load" (status 32) and offline until a load and online
    // database.
    if (clause->forLoad) context.server().setDatabaseState(*name, DatabaseState::Loading);
    return {};
}

// --- execute PROCEDURE args -----------------------------------------------------------------

// The caller's variables named for output parameters get their values.
void receiveOutputs(ExecutionContext& context, const std::vector<OutputParameter>& outputs) {
    if (context.variables == nullptr) return;
    for (const OutputParameter& output : outputs)
        if (!output.callerVariable.empty())
            if (Variable* variable = context.variables->find(output.callerVariable))
                context.variables->assign(*variable, output.value);
}

StatementOutcome runExecute(ExecutionContext& context, const Statement& statement) {
    const std::vector<SqlToken>& tokens = statement.tokens;
    std::size_t i = (tokens[0].isWord("exec") || tokens[0].isWord("execute")) ? 1 : 0;
    // exec @status = name: the status is not kept in a variable here.
    if (i + 2 < tokens.size() && tokens[i].kind == SqlToken::Kind::Variable &&
        tokens[i + 1].isSymbol("="))
        i += 2;
    // execute ('text' [+ 'text' | + @variable]...): the text runs as a batch of its own.
    if (i < tokens.size() && tokens[i].isSymbol("(")) {
        std::string text;
        std::size_t k = i + 1;
        for (bool part = true; k < tokens.size() && !tokens[k].isSymbol(")"); ++k, part = !part) {
            if (!part) {
                if (!tokens[k].isSymbol("+")) return syntaxErrorAt(context, statement, k);
                continue;
            }
            std::optional<std::string> piece;
            if (tokens[k].kind == SqlToken::Kind::String ||
                tokens[k].kind == SqlToken::Kind::Variable)
                piece = literalText(context, tokens[k]);
            if (!piece) return syntaxErrorAt(context, statement, k);
            text += *piece;
        }
        if (k + 1 != tokens.size())
            return syntaxErrorAt(context, statement, std::min(k, tokens.size() - 1));
        return runNestedBatch(context, text);
    }
    std::optional<std::string> name = nameAt(statement, i);
    if (!name || tokens[i].kind == SqlToken::Kind::String)
        return syntaxErrorAt(context, statement, i);
    ++i;
    // Qualified names: db..name, db.owner.name, owner.name.
    while (i < tokens.size() && tokens[i].isSymbol(".")) {
        ++i;
        if (i < tokens.size() && tokens[i].isSymbol(".")) ++i;
        std::optional<std::string> part = nameAt(statement, i);
        if (!part) return syntaxErrorAt(context, statement, i);
        name = part;
        ++i;
    }
    ProcedureArguments arguments;
    while (i < tokens.size()) {
        if (!arguments.positional.empty() || !arguments.named.empty()) {
            if (!tokens[i].isSymbol(",")) return syntaxErrorAt(context, statement, i);
            ++i;
        }
        std::string parameter;
        if (i + 1 < tokens.size() && tokens[i].kind == SqlToken::Kind::Variable &&
            tokens[i + 1].isSymbol("=")) {
            parameter = lower(tokens[i].text);
            i += 2;
        }
        if (i >= tokens.size()) return syntaxErrorAt(context, statement, i);
        std::optional<std::string> value;
        bool negative = false;
        if (tokens[i].isSymbol("-") && i + 1 < tokens.size() &&
            tokens[i + 1].kind == SqlToken::Kind::Number) {
            negative = true;
            ++i;
        }
        const SqlToken& token = tokens[i];
        if (token.isWord("null")) {
            value = std::nullopt;
        } else if (token.kind == SqlToken::Kind::Word) {
            value = token.text;
        } else if (token.kind == SqlToken::Kind::Variable && isLocalVariable(token) &&
                   context.variables != nullptr) {
            // A variable left in place for an output parameter: its value goes in, and the
            // parameter's value comes back into it.
            const Variable* variable = context.variables->find(token.text);
            if (variable == nullptr)
                return failStatement(context, statement, messages::undeclaredVariable(token.text),
                                     true);
            value = variable->value;
        } else if (token.kind == SqlToken::Kind::Variable) {
            std::optional<std::string> text = literalText(context, token);
            if (!text)
                return failStatement(context, statement, messages::undeclaredVariable(token.text),
                                     true);
            value = text;
        } else if (auto text = literalText(context, token)) {
            value = negative ? "-" + *text : *text;
        } else {
            return syntaxErrorAt(context, statement, i);
        }
        ++i;
        if (i < tokens.size() && (tokens[i].isWord("output") || tokens[i].isWord("out"))) {
            const std::string key =
                parameter.empty() ? "#" + std::to_string(arguments.positional.size()) : parameter;
            arguments.outputs[key] =
                token.kind == SqlToken::Kind::Variable ? lower(token.text) : std::string();
            ++i;
        }
        if (parameter.empty())
            arguments.positional.push_back(value);
        else
            arguments.named[parameter] = value;
    }
    // Only the call the RPC stands for returns its parameters, not the calls it makes.
    const bool returnOutputs = std::exchange(context.returnOutputParameters, false);
    const NativeProcedure* procedure = context.commands().findProcedure(*name);
    if (procedure == nullptr && context.commands().storedProcedures)
        if (std::optional<StatementOutcome> outcome =
                context.commands().storedProcedures(context, *name, arguments, statement)) {
            receiveOutputs(context, outcome->outputs);
            if (!returnOutputs) outcome->outputs.clear();
            return *outcome;
        }
    if (procedure == nullptr)
        return failStatement(context, statement, messages::procedureNotFound(*name));
    StatementOutcome outcome;
    outcome.procedure = true;
    outcome.returnStatus = (*procedure)(context, arguments, statement);
    return outcome;
}

bool isExecute(const Statement& statement) {
    if (statement.tokens.empty()) return false;
    if (statement.tokens[0].isWord("exec") || statement.tokens[0].isWord("execute")) return true;
    // The first statement of a batch may call a procedure without execute.
    return statement.firstInBatch && statement.tokens[0].kind == SqlToken::Kind::Word &&
           !statement.startsWithKeyword;
}

// --- sp_helpdb [name] -----------------------------------------------------------------------

std::int32_t spHelpdb(ExecutionContext& context, const ProcedureArguments& arguments,
                      const Statement& statement) {
    std::optional<std::string> wanted = arguments.get("@dbname", 0);
    std::vector<DatabaseInfo> databases = context.server().databases();
    if (wanted) {
        std::erase_if(databases, [&](const DatabaseInfo& info) { return info.name != *wanted; });
        if (databases.empty()) {
            ServerMessage message;
            message.number = 15010;
            message.severity = 16;
            message.text = "The specified database does not exist.\n";
            message.procedure = "sp_helpdb";
            message.line = 1;
            (void)statement;
            context.sink().message(message);
            return 1;
        }
    }
    std::vector<Column> columns = {
        {"name", ColumnKind::VarChar, 30, false},   {"db_size", ColumnKind::VarChar, 13, true},
        {"owner", ColumnKind::VarChar, 30, true},   {"dbid", ColumnKind::SmallInt, 0, false},
        {"created", ColumnKind::VarChar, 11, true}, {"status", ColumnKind::VarChar, 100, true},
    };
    context.sink().rowFormat(columns);
    for (const DatabaseInfo& info : databases) {
        // The options set and the states, in the order of their status bits.
        std::vector<std::string> parts;
        if (info.selectIntoBulkcopy) parts.emplace_back(kSelectIntoBulkcopy);
        if (info.truncLogOnCheckpoint) parts.emplace_back(kTruncLogOnCheckpoint);
        if (info.state == DatabaseState::Loading) parts.emplace_back("offline, for load");
        if (info.state == DatabaseState::Offline) parts.emplace_back("offline");
        if (info.suspect) parts.emplace_back("suspect");
        if (info.mixedLog) parts.emplace_back("mixed log and data");
        std::string status = parts.empty() ? "no options set" : parts.front();
        for (std::size_t i = 1; i < parts.size(); ++i) status += ", " + parts[i];
        // db_size as the server formats it: str(megabytes, 10, 1) + " MB".
        char size[32];
        std::snprintf(size, sizeof size, "%10.1f MB", static_cast<double>(info.sizeKB) / 1024);
        context.sink().row(Row{info.name, std::string(size), std::string("sa"),
                               static_cast<std::int64_t>(info.id), std::string(), status});
    }
    context.sink().done(TokenDoneInProc, DoneMore | DoneCount,
                        static_cast<std::int32_t>(databases.size()));
    return 0;
}

}  // namespace

std::string formatPrintText(const std::string& format, const std::vector<std::string>& arguments) {
    std::string text;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 2 < format.size() &&
            std::isdigit(static_cast<unsigned char>(format[i + 1]))) {
            std::size_t end = i + 1;
            int number = 0;
            // A placeholder number beyond any argument list stays there instead of overflowing.
            while (end < format.size() && std::isdigit(static_cast<unsigned char>(format[end]))) {
                if (number < 100000) number = number * 10 + (format[end] - '0');
                ++end;
            }
            if (end < format.size() && format[end] == '!') {
                if (number >= 1 && static_cast<std::size_t>(number) <= arguments.size())
                    text += arguments[static_cast<std::size_t>(number - 1)];
                i = end;
                continue;
            }
        }
        text += format[i];
    }
    return text;
}

std::optional<std::string> ProcedureArguments::get(const std::string& name,
                                                   std::size_t index) const {
    auto found = named.find(name);
    if (found != named.end()) return found->second;
    if (index < positional.size()) return positional[index];
    return std::nullopt;
}

void CommandSet::addProcedure(const std::string& name, NativeProcedure procedure) {
    procedures_[lower(name)] = std::move(procedure);
}

const NativeProcedure* CommandSet::findProcedure(const std::string& name) const {
    auto found = procedures_.find(lower(name));
    return found == procedures_.end() ? nullptr : &found->second;
}

CommandSet makeStandardCommands() {
    CommandSet commands;
    auto keyword = [](const char* word) {
        return [word](const Statement& s) { return s.startsWith({word}); };
    };
    commands.add({"use", keyword("use"), runUse});
    commands.add({"print", keyword("print"), runPrint});
    commands.add({"raiserror", keyword("raiserror"), runRaiserror});
    commands.add({"transaction", isTransactionStatement, runTransaction});
    commands.add({"waitfor", keyword("waitfor"), runWaitfor});
    commands.add({"set option",
                  [](const Statement& s) {
                      return s.startsWith({"set"}) && s.tokens.size() > 1 &&
                             s.tokens[1].kind == SqlToken::Kind::Word;
                  },
                  [](ExecutionContext& context, const Statement& s) {
                      // Others (nocount, textsize, ...) are accepted and change nothing.
                      if (s.tokens[1].isWord("fmtonly") && s.tokens.size() > 2)
                          context.formatOnly = s.tokens[2].isWord("on");
                      if (s.tokens[1].isWord("string_rtruncation") && s.tokens.size() > 2)
                          context.refuseTruncation = s.tokens[2].isWord("on");
                      return StatementOutcome{};
                  }});
    commands.add({"create database",
                  [](const Statement& s) {
                      return s.startsWith({"create", "database"});
                  },
                  runCreateDatabase});
    commands.add({"execute", isExecute, runExecute});
    commands.add({"sql",
                  [](const Statement& s) {
                      static const char* const verbs[] = {"select", "insert", "update", "delete",
                                                          "create", "drop",   "alter",  "truncate"};
                      for (const char* verb : verbs)
                          if (s.startsWith({verb})) return true;
                      return false;
                  },
                  runSqlStatement});
    commands.addProcedure("sp_helpdb", spHelpdb);
    addSystemInformation(commands);
    addBulkCopyCommands(commands);
    addTextCommands(commands);
    return commands;
}

}  // namespace tvr::sim
