// Reading a dump's header through libct, as the program checks that every dump is loaded once
// and in order: load ... with headeronly answers with the header's lines, leaves the database
// named as it was, and chains each log dump to the dump before it by its sequence dates.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "tests/support/DumpTestSupport.h"
#include "tests/support/Emulator.h"

using namespace tvr::testing;

namespace {

// The server's datetimes: to the minute in the first line, to the millisecond in the dates.
const std::string kMinute = R"([A-Z][a-z]{2} [ \d]\d \d{4} [ \d]\d:\d\d[AP]M)";
const std::string kMillisecond = R"([A-Z][a-z]{2} [ \d]\d \d{4} [ \d]\d:\d\d:\d\d:\d{3}[AP]M)";

// What a client reads from the answer.
struct Header {
    std::string kind;  // "database" or "log"
    std::string id;
    std::string name;
    std::string from;
    std::string oldDate;
    std::string newDate;
};

Header headerOf(const CtBatch& batch) {
    const std::regex first(
        "This is a (database|log) dump of database ID (\\d+), name '([^']*)', "
        "from (" +
        kMinute + ")\\. ");
    const std::regex dates("sequence dates: \\(old=(" + kMillisecond + "), new=(" + kMillisecond +
                           ")\\)");
    Header header;
    std::smatch m;
    for (const CtMessage& message : batch.messages()) {
        if (std::regex_search(message.text, m, first)) {
            header.kind = m[1];
            header.id = m[2];
            header.name = m[3];
            header.from = m[4];
        }
        if (std::regex_search(message.text, m, dates)) {
            header.oldDate = m[1];
            header.newDate = m[2];
        }
    }
    return header;
}

// "Dec  8 2026  7:10:12:345AM" as the first line writes it: "Dec  8 2026  7:10AM".
std::string toMinute(const std::string& date) {
    return std::regex_replace(date, std::regex(":\\d\\d:\\d{3}([AP]M)$"), "$1");
}

class HeaderOnly : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(client_.connect("HDRONLY"));
        for (const char* sql : {"use copy", "create table c (i int)", "insert c values (7)",
                                "use sales", "create table t (i int)", "insert t values (1)"})
            ASSERT_FALSE(client_.execute(sql).failed()) << sql;
    }
    CtBatch run(const std::string& statement, const std::string& file,
                const std::string& options = "") {
        return client_.execute(statement + " " + dumps_.quoted(file) + options);
    }
    Header header(const std::string& file) {
        CtBatch answer = run("load tran copy from", file, " with headeronly");
        EXPECT_FALSE(answer.failed()) << file;
        return headerOf(answer);
    }

    Emulator server_{"HDRONLY", {"sales", "copy"}};
    DumpFolder dumps_;
    CtClient client_;
};

TEST_F(HeaderOnly, ADatabaseDumpsHeaderIsReadWithoutTouchingTheDatabaseNamed) {
    ASSERT_FALSE(run("dump database sales to", "full.db").failed());
    CtClient inside;  // a real load would refuse a database in use
    ASSERT_TRUE(inside.connect("HDRONLY"));
    ASSERT_FALSE(inside.execute("use copy").failed());

    for (const char* statement : {"load database copy from", "load transaction copy from"}) {
        CtBatch answer = run(statement, "full.db", " with headeronly");
        EXPECT_FALSE(answer.failed()) << statement;
        EXPECT_FALSE(saysSomething(answer, "LOAD is complete")) << statement;
        const Header header = headerOf(answer);
        EXPECT_EQ(header.kind, "database") << statement;
        EXPECT_EQ(header.name, "sales");
        EXPECT_EQ(header.id + "|\n",
                  rowsText(client_, "select dbid from master..sysdatabases where name = 'sales'"));
    }
    EXPECT_EQ(rowsText(inside, "select count(*) from c"), "1|\n");
    EXPECT_EQ(rowsText(client_,
                       "select status & 32, status2 & 16 from master..sysdatabases "
                       "where name = \"copy\""),
              "0|0|\n");
}

TEST_F(HeaderOnly, EachLogDumpsOldSequenceDateIsTheNewOfTheDumpBeforeIt) {
    ASSERT_FALSE(run("dump database sales to", "full1.db").failed());
    ASSERT_FALSE(client_.execute("insert t values (2)").failed());
    ASSERT_FALSE(run("dump tran sales to", "one.tr").failed());
    ASSERT_FALSE(client_.execute("insert t values (3)").failed());
    ASSERT_FALSE(run("dump tran sales to", "two.tr").failed());
    ASSERT_FALSE(run("dump database sales to", "full2.db").failed());
    ASSERT_FALSE(run("dump tran sales to", "three.tr").failed());

    const Header full1 = header("full1.db"), one = header("one.tr"), two = header("two.tr");
    const Header full2 = header("full2.db"), three = header("three.tr");
    EXPECT_EQ(one.kind, "log");
    EXPECT_EQ(one.name, "sales");
    EXPECT_EQ(one.id, full1.id);
    EXPECT_EQ(toMinute(one.oldDate), full1.from);
    EXPECT_NE(one.oldDate, one.newDate);
    EXPECT_EQ(toMinute(one.newDate), one.from);
    EXPECT_EQ(two.oldDate, one.newDate);
    // The first log dump after a database dump follows that database dump.
    EXPECT_EQ(toMinute(three.oldDate), full2.from);
    EXPECT_NE(three.oldDate, two.newDate);

    // Read in the middle of a load sequence, the header leaves it where it was.
    ASSERT_FALSE(run("load database copy from", "full1.db").failed());
    EXPECT_EQ(header("two.tr").oldDate, one.newDate);
    EXPECT_FALSE(run("load tran copy from", "one.tr").failed());
    EXPECT_FALSE(run("load tran copy from", "two.tr").failed());
}

TEST_F(HeaderOnly, AFileThatIsNoUsableDumpGivesTheErrorsOfALoad) {
    ASSERT_FALSE(run("dump database sales to", "full.db").failed());
    std::filesystem::copy_file(dumps_.file("full.db"), dumps_.file("short.db"));
    std::filesystem::resize_file(dumps_.file("short.db"), 6000);
    std::ofstream(dumps_.file("text.db")) << "not a dump\n";
    // Everything but the session line, whose id grows with each dump or load.
    auto errors = [](const CtBatch& batch) {
        std::string out;
        for (const CtMessage& m : batch.messages())
            if (m.number != 3216)
                out += std::to_string(m.number) + " " + std::to_string(m.severity) + " " + m.text;
        return out;
    };
    for (const char* file : {"missing.db", "text.db", "short.db"}) {
        CtBatch refused = run("load database copy from", file);
        CtBatch answer = run("load database copy from", file, " with headeronly");
        EXPECT_TRUE(answer.failed()) << file;
        EXPECT_TRUE(hasMessage(answer, 8009)) << file;
        EXPECT_EQ(errors(answer), errors(refused)) << file;
    }
    EXPECT_EQ(rowsText(client_, "select count(*) from copy..c"), "1|\n");
}

}  // namespace
