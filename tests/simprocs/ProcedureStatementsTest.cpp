#include "sim/procs/BackupStatements.h"
#include "sim/procs/ProcedureStatements.h"

#include <gtest/gtest.h>

using namespace tvr::sim;

namespace {

std::optional<ObjectTest> test(const std::string& sql) { return parseObjectTest(tokenizeSql(sql)); }

TEST(ProcedureStatementsTest, ExistenceTestOfTheInstallationScriptAndItsVariations) {
    const char* script =
        "\r\nIf Exists(Select name\r\n           From sysobjects\r\n           Where name='sp_TVR'\r\n"
        "           And type='P'\r\n  )     -- And uid = User_id())\r\n  Drop Procedure sp_TVR\r\n";
    const auto t = tokenizeSql(script);
    auto parsed = parseObjectTest(t);
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->negated);
    EXPECT_EQ(parsed->name, "sp_TVR");
    EXPECT_EQ(parsed->type, "P");
    EXPECT_TRUE(t[parsed->thenBegin].isWord("drop"));
    EXPECT_EQ(parsed->thenEnd, t.size());

    for (
        const char* variant : {
            "if exists (select * from sysobjects where name = 'sp_TVR' and type = 'P') drop proc sp_TVR",
            "IF EXISTS(SELECT 1 FROM sybsystemprocs..sysobjects WHERE type='P' AND name='sp_TVR') DROP PROCEDURE sp_TVR",
            "if exists (select name from dbo.sysobjects where 'sp_TVR' = name and type in ('P') and uid = user_id()) drop proc sp_TVR",
            "if exists (select id from sysobjects where id = object_id('sp_TVR')) drop procedure sp_TVR",
        }) {
        parsed = test(variant);
        ASSERT_TRUE(parsed) << variant;
        EXPECT_EQ(parsed->name, "sp_TVR") << variant;
    }
    parsed = test(
        "if not exists (select 1 from sysobjects where name = 'x') print 'none' else drop proc x");
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->negated);
    EXPECT_LT(parsed->elseBegin, parsed->elseEnd);
    parsed = test("if object_id('sp_TVR') is not null drop proc sp_TVR");
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->negated);

    // Other tests are not this statement.
    EXPECT_FALSE(test("if exists (select 1 from t where a = 1) drop proc x"));
    EXPECT_FALSE(test("if exists (select 1 from sysobjects where crdate > getdate()) drop proc x"));
    EXPECT_FALSE(test("if exists (select 1 from sysobjects where name = 'x')"));
}

TEST(ProcedureStatementsTest, CreateAndDropNames) {
    EXPECT_EQ(createProcedureName(tokenizeSql("Create Proc sp_TVR (@a int) as select 1")),
              "sp_TVR");
    EXPECT_EQ(createProcedureName(tokenizeSql("create procedure dbo.p as select 1")), "p");
    EXPECT_FALSE(createProcedureName(tokenizeSql("create table p (a int)")));
    EXPECT_EQ(*dropProcedureNames(tokenizeSql("Drop Procedure sp_TVR")),
              std::vector<std::string>{"sp_TVR"});
    EXPECT_EQ(*dropProcedureNames(tokenizeSql("drop proc a, dbo.b")),
              (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(dropProcedureNames(tokenizeSql("drop proc a b"))->empty());
}

TEST(ProcedureStatementsTest, DumpAndLoadStatements) {
    std::string near;
    auto s = parseBackupStatement(tokenizeSql("dump database sales to \"/d/x.db\""), near);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->kind, BackupStatement::Kind::DumpDatabase);
    EXPECT_EQ(s->device, "/d/x.db");
    s = parseBackupStatement(tokenizeSql("DUMP TRAN sales WITH TRUNCATE_ONLY"), near);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->kind, BackupStatement::Kind::TruncateLog);
    s = parseBackupStatement(tokenizeSql("dump transaction sales to '/d/x.tr' with init"), near);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->kind, BackupStatement::Kind::DumpTransaction);
    s = parseBackupStatement(tokenizeSql("load tran reserve from \"/d/x.tr\""), near);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->kind, BackupStatement::Kind::LoadTransaction);
    s = parseBackupStatement(tokenizeSql("Load Database reserve From \"/d/x.db\""), near);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->kind, BackupStatement::Kind::LoadDatabase);
    s = parseBackupStatement(tokenizeSql("online database reserve"), near);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->kind, BackupStatement::Kind::Online);
    EXPECT_FALSE(parseBackupStatement(tokenizeSql("dump database sales from \"x\""), near));
    EXPECT_EQ(near, "from");
    EXPECT_FALSE(parseBackupStatement(tokenizeSql("load tran reserve with truncate_only"), near));
    EXPECT_FALSE(parseBackupStatement(tokenizeSql("dump database"), near));
}

}  // namespace
