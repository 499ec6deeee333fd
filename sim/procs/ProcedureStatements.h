#pragma once
// The statements about procedures: create procedure, drop procedure, and the test for an
// object's existence that installation scripts put before a drop:
//   if [not] exists (select ... from [db.[owner].]sysobjects where name = 'X' [and type = 'P'] ...) STATEMENT [else STATEMENT]
//   if object_id('X') is [not] null STATEMENT [else STATEMENT]
#include <optional>
#include <string>
#include <vector>

#include "sim/statements/SqlLexer.h"

namespace tvr::sim {

// "create proc[edure] [owner.]name ...": the name; nullopt for any other statement.
std::optional<std::string> createProcedureName(const std::vector<SqlToken>& tokens);

// "drop proc[edure] name [, name ...]": the names; nullopt for any other statement, and an
// empty list for a malformed one.
std::optional<std::vector<std::string>> dropProcedureNames(const std::vector<SqlToken>& tokens);

struct ObjectTest {
    bool negated = false;             // if not exists / is null
    std::optional<std::string> name;  // the object asked about
    std::optional<std::string> type;  // sysobjects type letter(s), e.g. "P" or "U"
    // Token ranges [begin, end) of the statement to run when the test holds, and of the else
    // statement (empty when there is none).
    std::size_t thenBegin = 0, thenEnd = 0, elseBegin = 0, elseEnd = 0;
};

// The test, or nullopt when the tokens are not one of the forms above (the caller then treats
// the statement as it would otherwise).
std::optional<ObjectTest> parseObjectTest(const std::vector<SqlToken>& tokens);

}  // namespace tvr::sim
