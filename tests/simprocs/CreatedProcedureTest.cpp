// Reading the text of a procedure created by a client, and binding its arguments to its
// parameters as variables of their types.
#include "sim/procs/CreatedProcedure.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tvr::sim;

namespace {

ProcedureDefinition read(const std::string& text) {
    auto result = readProcedure(text);
    if (const auto* why = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << *why;
        return {};
    }
    return std::get<ProcedureDefinition>(result);
}

// The parameters' values as SQL literals, "@n=42 @s='abc' ...", or the error of the call.
std::string bound(const ProcedureDefinition& definition, const ProcedureArguments& arguments) {
    auto result = bindArguments(definition, "p", arguments);
    if (const auto* error = std::get_if<ServerError>(&result))
        return "error " + std::to_string(error->number);
    VariableScope& scope = std::get<VariableScope>(result);
    std::string text;
    for (const ProcedureParameter& parameter : definition.parameters)
        text += parameter.name + "=" + variableLiteral(*scope.find(parameter.name)) + " ";
    return text;
}

TEST(CreatedProcedure, ParametersDefaultsAndTheBodyOnItsLines) {
    const std::string text =
        "-- adds one\ncreate procedure dbo.p_add (@Id int, @name varchar(5) = 'none',\n  @at datetime = NULL output)\n"
        "as\nbegin\n  insert t values (@id, @name)\n  return 3\nend\n";
    const ProcedureDefinition definition = read(text);
    ASSERT_EQ(definition.parameters.size(), 3u);
    EXPECT_EQ(definition.parameters[0].name, "@id");
    EXPECT_EQ(definition.parameters[0].type, "int");
    EXPECT_FALSE(definition.parameters[0].hasDefault);
    EXPECT_EQ(definition.parameters[1].type, "varchar");
    EXPECT_EQ(definition.parameters[1].length, 5);
    EXPECT_EQ(definition.parameters[1].fallback, "none");
    EXPECT_TRUE(definition.parameters[2].hasDefault);
    EXPECT_FALSE(definition.parameters[2].fallback.has_value());
    // The header and the outer begin ... end are blanks; every line stays where it was.
    EXPECT_EQ(definition.body.size(), text.size());
    EXPECT_EQ(std::count(definition.body.begin(), definition.body.end(), '\n'),
              std::count(text.begin(), text.end(), '\n'));
    EXPECT_EQ(definition.body.find("create"), std::string::npos);
    EXPECT_EQ(definition.body.find("begin"), std::string::npos);
    EXPECT_EQ(definition.body.find("end"), std::string::npos);
    EXPECT_EQ(definition.body.find("insert"), text.find("insert"));

    EXPECT_TRUE(read("create proc p as select 1").parameters.empty());
    EXPECT_EQ(read("CREATE PROC p @a char(3), @b int = -2 WITH RECOMPILE AS select @a")
                  .parameters.at(1)
                  .fallback,
              "-2");
    // A transaction is no block to take apart.
    EXPECT_NE(
        read("create proc p as begin tran insert t values (1) commit").body.find("begin tran"),
        std::string::npos);
}

TEST(CreatedProcedure, TextsOfAnotherFormAreRefusedWithTheReason) {
    for (const char* text : {"create view v as select 1", "create proc p @x as select 1",
                             "create proc p (@x int as select 1", "create proc p @x int select 1",
                             "create proc p @x int = (1) as select 1"}) {
        EXPECT_TRUE(std::holds_alternative<std::string>(readProcedure(text))) << text;
    }
}

TEST(CreatedProcedure, ArgumentsBecomeVariablesOfTheParametersTypes) {
    const ProcedureDefinition definition =
        read("create proc p @n int, @s char(3), @d varchar(10) = 'x' as select @n, @s, @d");
    ProcedureArguments arguments;
    arguments.positional = {"42"};
    arguments.named["@s"] = "it's long";
    EXPECT_EQ(bound(definition, arguments), "@n=42 @s='it''' @d='x' ");

    ProcedureArguments nulls;
    nulls.positional = {std::nullopt, std::nullopt, std::nullopt};
    EXPECT_EQ(bound(definition, nulls), "@n=NULL @s=NULL @d=NULL ");

    ProcedureArguments missing;
    missing.named["@n"] = "1";
    EXPECT_EQ(bound(definition, missing), "error 201");
    ProcedureArguments notANumber;
    notANumber.positional = {"ten", "abc"};
    EXPECT_EQ(bound(definition, notANumber), "error 257");
    ProcedureArguments unknown;
    unknown.positional = {"1", "a"};
    unknown.named["@nn"] = "1";
    EXPECT_EQ(bound(definition, unknown), "error 8145");
    ProcedureArguments tooMany;
    tooMany.positional = {"1", "a", "b", "c"};
    EXPECT_EQ(bound(definition, tooMany), "error 8144");
}

}  // namespace
