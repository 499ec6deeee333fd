#pragma once
// Procedures created by clients, run as written by the interpreter: the parameters become
// local variables holding the arguments, the body (after `as`) runs with its control flow,
// and `return` gives the status.
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "sim/backup/ServerErrors.h"
#include "sim/statements/StatementHandlers.h"
#include "sim/statements/Variables.h"

namespace tvr::sim {

struct ProcedureParameter {
    std::string name;      // in lower case, with the @
    std::string type;      // in lower case, without its length
    int length = -1;       // char(n), varchar(n): n
    std::string declared;  // the type as declared, numeric(10,2)
    bool hasDefault = false;
    std::optional<std::string> fallback;  // the default's value; nothing for NULL
    bool output = false;                  // declared output
};

struct ProcedureDefinition {
    std::vector<ProcedureParameter> parameters;
    // The procedure text with everything but the body blanked out (line ends kept, so that
    // statements keep the lines they have in the text).
    std::string body;
};

// Reads the text a procedure was created with; a reason when it is not of the form above.
std::variant<ProcedureDefinition, std::string> readProcedure(const std::string& text);

// The parameters as local variables holding the arguments (cut to the declared length, NULL
// for nothing), or the error of the call: a missing argument (201), a value that is no number
// for a numeric parameter (257), a name that is no parameter (8145), too many arguments (8144).
std::variant<VariableScope, ServerError> bindArguments(const ProcedureDefinition& definition,
                                                       const std::string& name,
                                                       const ProcedureArguments& arguments);

// Why the procedure text cannot run here (a statement the emulator does not know, control
// flow not closed, a header of another form); nothing when it can.
std::optional<std::string> unrunnableReason(ExecutionContext& context, const std::string& text);

// Runs a created procedure for `call`: its statements end with done-in-proc tokens and its
// messages carry its name; the outcome is the call's, with the return status.
StatementOutcome runCreatedProcedure(ExecutionContext& context, const std::string& name,
                                     const std::string& text, const ProcedureArguments& arguments,
                                     const Statement& call);

}  // namespace tvr::sim
