#pragma once
// Procedures created by clients, run the simple way: a body that is a plain sequence of
// statements the emulator knows (after `as`, optionally inside one begin ... end), with the
// parameters put in as constants and `return N` giving the status. Control flow, local
// variables and the like are refused with a reason before anything runs.
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "sim/backup/ServerErrors.h"
#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

struct ProcedureParameter {
    std::string name;  // in lower case, with the @
    std::string type;  // in lower case, without its length
    int length = -1;   // char(n), varchar(n): n
    bool hasDefault = false;
    std::optional<std::string> fallback;  // the default's value; nothing for NULL
};

struct ProcedureDefinition {
    std::vector<ProcedureParameter> parameters;
    // The procedure text with everything but the body blanked out (line ends kept, so that
    // statements keep the lines they have in the text).
    std::string body;
};

// Reads the text a procedure was created with; a reason when it is not of the form above.
std::variant<ProcedureDefinition, std::string> readProcedure(const std::string& text);

// The body with each parameter replaced by the SQL literal of its argument (cut to the
// declared length, NULL for nothing), or the error of the call: a missing argument (201), a
// value that is no number for a numeric parameter (257), a name that is no parameter (8145).
std::variant<std::string, ServerError> bindArguments(const ProcedureDefinition& definition,
                                                     const std::string& name,
                                                     const ProcedureArguments& arguments);

// Runs a created procedure for `call`: its statements end with done-in-proc tokens and its
// messages carry its name; the outcome is the call's, with the return status.
StatementOutcome runCreatedProcedure(ExecutionContext& context, const std::string& name,
                                     const std::string& text, const ProcedureArguments& arguments,
                                     const Statement& call);

}  // namespace tvr::sim
