#pragma once
// The statements and control flow of a batch or a stored procedure, run as the server runs
// them: local variables (declare; assignment by select and set, values cut to the declared
// lengths), if/else, begin ... end, while with break and continue, return with an expression,
// and every other statement run by its handler with the variables in it put in as constants
// (so that dump and load take them as names and paths). Comparisons with NULL follow the
// server's default: `x = NULL` holds when x is NULL, `x != NULL` when it is not.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "sim/statements/StatementHandlers.h"
#include "sim/statements/Variables.h"

namespace tvr::sim {

struct ProgramNode {
    enum class Kind { Simple, Block, If, While, Declare, Assign, Return, Break, Continue };
    Kind kind = Kind::Simple;
    Statement statement;                // the statement; for if and while, the condition
    std::vector<ProgramNode> children;  // block: its statements; if: then [, else]; while: body
};

struct Program {
    std::vector<ProgramNode> nodes;
};

// Why a text cannot be run: the message a batch gets for it (102 and the like), and what a
// create procedure names in its refusal.
struct ProgramRefusal {
    ServerMessage message;
    std::string reason;
};

// Reads [from, to) of `source`; tokens keep the offsets and lines they have in the whole text.
// `batch`: the text is a batch of its own (its first statement may call a procedure by name
// alone; create procedure takes the rest). Throws SqlLexError for an unclosed quote or comment.
std::variant<Program, ProgramRefusal> parseProgram(const std::string& source, std::size_t from,
                                                   std::size_t to, const CommandSet& commands,
                                                   bool batch);

enum class DoneStyle {
    Batch,      // a done token after each statement, the last one final
    Procedure,  // done-in-proc tokens, each with more results to follow
};

struct ProgramOutcome {
    bool cancelled = false;
    bool error = false;                        // some statement failed
    bool endedByError = false;                 // an error that ends a batch ended it before its end
    std::optional<std::int32_t> returnStatus;  // return with a value
};

// Runs the program with `variables` as its local variables.
ProgramOutcome runProgram(ExecutionContext& context, const Program& program, DoneStyle style,
                          VariableScope& variables);

}  // namespace tvr::sim
