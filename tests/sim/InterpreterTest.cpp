// Local variables and control flow in batches, seen through libct as a client sees them: the
// texts printed, the errors sent, and the statements that ran.
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

using tvr::testing::CtBatch;
using tvr::testing::CtClient;
using tvr::testing::Emulator;

namespace {

// The print texts of a batch, one a line, and the numbers of its errors.
std::string printed(const CtBatch& batch) {
    std::string out;
    for (const auto& m : batch.messages())
        out += m.number == 0 ? m.text + "\n" : "error " + std::to_string(m.number) + "\n";
    return out;
}

TEST(Interpreter, BatchesRunTheirVariablesAndControlFlowAsTheServerDoes) {
    struct Case {
        const char* batch;
        const char* expected;
    };
    const Case cases[] = {
        // Values are cut to the declared length; print takes a variable as its text.
        {"declare @s varchar(3)\nselect @s = 'abcdef'\nprint @s", "abc\n"},
        // while with continue and break; if without else.
        {"declare @i int\nselect @i = 0\nwhile @i < 5 begin\n select @i = @i + 1\n"
         " if @i = 2 continue\n if @i = 4 break\n print '%1!', @i\nend",
         "1\n3\n"},
        // Comparisons with NULL as the server makes them by default.
        {"declare @n varchar(5)\nif @n = NULL print 'null' else print 'not null'\n"
         "if @n != NULL print 'x' else print 'y'",
         "null\ny\n"},
        // @@error holds the last error, @@rowcount the rows of the last statement.
        {"select * from no_such_table\nprint '%1!', @@error", "error 208\n208\n"},
        {"select 1 union select 2\nprint '%1!', @@rowcount", "2\n"},
        // Both comment forms; set and select assignments; begin ... end in both branches.
        {"/* a block\n comment */ declare @a int, @b varchar(10) -- a line comment\n"
         "set @a = 3\nselect @b = 'v' + convert(varchar(5), @a)\n"
         "if @a > 2 begin print 'big' print @b end else begin print 'small' end",
         "big\nv3\n"},
        // return ends a batch.
        {"print 'a'\nreturn\nprint 'b'", "a\n"},
        // An undeclared variable ends the batch; a second declaration of a name too.
        {"print 'a'\nselect @nope = 1\nprint 'b'", "a\nerror 137\n"},
        {"declare @x int\ndeclare @x int\nprint 'b'", "error 134\n"},
        // A statement the server cannot compile: nothing of the batch runs.
        {"print 'a'\nfrobnicate the table", "error 102\n"},
    };
    Emulator server("INTERP");
    CtClient client;
    ASSERT_TRUE(client.connect("INTERP"));
    for (const Case& c : cases) EXPECT_EQ(printed(client.execute(c.batch)), c.expected) << c.batch;
}

}  // namespace
