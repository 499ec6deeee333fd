// Log entries as files and views receive them: exact bytes, markers, colours, failures.
#include "tests/support/ClientFixture.h"

#include "client/LogWriter.h"
#include "client/TextLines.h"
#include "tests/support/ScopedEnvironment.h"

#include <cstdlib>
#include <cstring>
#include <thread>

using namespace tvr::client;
using namespace tvr::client::testing;

namespace {

const LogLine redBoldUnderlined(const std::string& t) { return {t, LogColour::Red, true, true}; }

}  // namespace

using LogWriter = ClientFixture;

TEST_F(LogWriter, ErrorRecordOfAFailedLoginReadsByteForByte) {
    const std::string file = path("act.log");
    WriteErrorRecord(serverMessage(4002, 14, "Login failed.\n"), file, true);
    EXPECT_EQ(readFile(file),
              "\r\n$Err$"
              "\r\n$Err$Error: Time: 12:00:01;  number 4002;  severity 14;  state 1;  line 1"
              "\r\n$Err$Login failed.");
    const std::vector<LogLine> expected{
        {"", LogColour::Red, true, false},
        redBoldUnderlined("Error: Time: 12:00:01;  number 4002;  severity 14;  state 1;  line 1"),
        {"Login failed.", LogColour::Red, true, false}};
    EXPECT_EQ(activityView.lines(), expected);
    EXPECT_EQ(errorView.lines(), expected);
    EXPECT_EQ(prompts.beeps(), 1);
    ASSERT_EQ(events.textsOf(EventErrorHeading).size(), 1u);
    EXPECT_EQ(events.textsOf(EventErrorHeading)[0],
              "\r\nError: Time: 12:00:01;  number 4002;  severity 14;  state 1;  line 1\r\n"
              "Login failed.\n");
}

TEST_F(LogWriter, ProcedureNoticeIsGreenWithMessMarkersAndNoBeep) {
    const std::string file = path("act.log");
    WriteErrorRecord(
        serverMessage(2007, 11, "Cannot add rows to sysdepends\nError is harmless\nan error", 1, 3),
        file, true);
    EXPECT_EQ(readFile(file),
              "\r\n$Mess$"
              "\r\n$Mess$Error: Time: 12:00:01;  number 2007;  severity 11;  state 1;  line 3"
              "\r\n$Mess$Cannot add rows to sysdepends"
              "\r\n$Mess$Error is harmless"
              "\r\n$Mess$an error");
    const std::vector<LogLine> lines = activityView.lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], (LogLine{"", LogColour::Green, false, false}));
    EXPECT_EQ(lines[1].colour, LogColour::Green);
    EXPECT_TRUE(lines[1].bold && lines[1].underline);
    EXPECT_EQ(lines[2], (LogLine{"Cannot add rows to sysdepends", LogColour::Green, false, false}));
    // "Error" anywhere in a line, case-sensitive, gives the emphasis.
    EXPECT_EQ(lines[3], (LogLine{"Error is harmless", LogColour::Green, true, true}));
    EXPECT_EQ(lines[4], (LogLine{"an error", LogColour::Green, false, false}));
    EXPECT_EQ(prompts.beeps(), 0);
}

TEST_F(LogWriter, HiddenRecordAndMissingViewsStillWriteTheFile) {
    setErrorLogView(nullptr);
    const std::string file = path("err.log");
    WriteErrorRecord(serverMessage(911, 16, "no such database", 2, 7), file, false);
    EXPECT_TRUE(activityView.lines().empty());
    EXPECT_NE(readFile(file).find("$Err$no such database"), std::string::npos);
    setLogView(nullptr);
    WriteErrorRecord(serverMessage(911, 16, "again", 2, 7), file, true);
    EXPECT_NE(readFile(file).find("$Err$again"), std::string::npos);
    EXPECT_EQ(prompts.beeps(), 2);
}

TEST_F(LogWriter, PrintToLogEndsEntriesWithCrLfUnlessTheyEndWithLf) {
    const std::string file = path("act.log");
    PrintToLog("first", file);
    PrintToLog("second\n", file);
    PrintToLog(std::string("cut\0here", 8), file);
    PrintToLog("", file);
    EXPECT_EQ(readFile(file), "first\r\nsecond\ncut\r\n\r\n");
}

TEST_F(LogWriter, AShownEntryTakesOneStyleFromWhatFollowsItsFirstMarker) {
    const std::string file = path("act.log");
    const struct {
        std::string entry;
        std::vector<LogLine> shown;
    } cases[] = {
        {"plain\r\nsecond$\r\n", {{"plain"}, {"second$"}}},
        {"head\r\n$Err$query: select 1\nselect 2\r\n",
         {{"query: select 1", LogColour::Red, true}, {"select 2", LogColour::Red, true}}},
        {"x$Mess$notice\r\nError seen$Mess$\r\n",
         {{"notice", LogColour::Green}, {"Error seen$Mess$", LogColour::Green}}},
        // An error marker after the message marker wins; one before it is cut away with it.
        {"$Mess$a\r\nb$Err$c\r\nd\r\n", {{"c", LogColour::Red, true}, {"d", LogColour::Red, true}}},
        {"$Err$a$Mess$b\r\n", {{"b", LogColour::Green}}},
        {"$Err$\r\n", {{"", LogColour::Red, true}}},
        {"$err$ and $MESS$ are not markers\n", {{"$err$ and $MESS$ are not markers"}}},
    };
    for (const auto& c : cases) {
        activityView.clear();
        AppendToLog(c.entry, file, true);
        EXPECT_EQ(activityView.lines(), c.shown) << c.entry;
    }
    AppendToLog("not shown\r\n", file, false);
    EXPECT_TRUE(errorView.lines().empty());
    // The file keeps the text exactly as given, markers included.
    std::string all;
    for (const auto& c : cases) all += c.entry;
    EXPECT_EQ(readFile(file), all + "not shown\r\n");
}

TEST_F(LogWriter, TheProgramsOwnErrorIsAnErrorEntryInEveryFileAndBothViews) {
    const std::string activity = path("act.log"), errors = path("err.log");
    std::filesystem::create_directory(path("refusing.log"));
    writeProgramError("Unable open ErrorLog: x\n   Check", {activity, path("refusing.log"), errors},
                      true);
    const std::string written =
        "\r\n$Err$Error: Time: 12:00:01;  Unable open ErrorLog: x"
        "\r\n$Err$   Check";
    EXPECT_EQ(readFile(activity), written);
    EXPECT_EQ(readFile(errors), written);
    const std::vector<LogLine> shown{
        redBoldUnderlined("Error: Time: 12:00:01;  Unable open ErrorLog: x"),
        {"   Check", LogColour::Red, true, false}};
    // In both views, after the line that says the refusing file keeps its entries for later.
    for (const auto* view : {&activityView, &errorView}) {
        const auto lines = view->lines();
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_NE(lines[0].text.find("cannot write the log " + path("refusing.log")),
                  std::string::npos);
        EXPECT_EQ(std::vector<LogLine>(lines.begin() + 1, lines.end()), shown);
    }
    EXPECT_EQ(prompts.beeps(), 0);

    writeProgramError("quiet", {""}, false);
    EXPECT_EQ(activityView.lines().size(), 3u);
}

TEST_F(LogWriter, EmptyFileNameWritesAndShowsNothing) {
    AppendToLog("$Err$lost\r\n", "", true);
    PrintToLog("lost too", "");
    EXPECT_TRUE(activityView.lines().empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST_F(LogWriter, UnopenableFileRaisesTheReadOnlyErrorAndShowsNoBox) {
    const std::string file = path("act.log");
    std::filesystem::create_directory(file);  // stands for a file that refuses writing
    try {
        AppendToLog("entry\r\n", file, true);
        FAIL() << "no error raised";
    } catch (const LogFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable open ErrorLog: " + file +
                                             "\n                       Check attribute ReadOnly");
    }
    EXPECT_TRUE(prompts.calls().empty());
    // The view shows no entry, only that the file keeps it for later.
    ASSERT_EQ(activityView.texts().size(), 1u);
    EXPECT_NE(activityView.texts()[0].find("cannot write the log " + file), std::string::npos);
    EXPECT_THROW(AppendToLog("x", path("missing-folder/act.log"), false), LogFileError);
}

TEST_F(LogWriter, FailedWriteShowsTheSaveBoxAndGoesOn) {
    AppendToLog("entry\r\n", "/dev/full", true);
    expectOneErrorBox("Unable save message(print)");
}

TEST_F(LogWriter, LogFileNamesCarryTheDayAndFallBackToSybase) {
    std::tm day{};
    day.tm_year = 2026 - 1900;
    day.tm_mon = 11;
    day.tm_mday = 6;
    EXPECT_EQ(MakeLogFileName("/var/log/tvr", "pubs2", day), "/var/log/tvr/pubs206122026.log");
    EXPECT_EQ(MakeLogFileName("/var/log/tvr", "errpubs2", day),
              "/var/log/tvr/errpubs206122026.log");
    std::tm early{};
    early.tm_year = 987 - 1900;
    early.tm_mon = 1;
    early.tm_mday = 1;
    EXPECT_EQ(MakeLogFileName("/l", "db", early), "/l/db01020987.log");

    {
        // The value as stored: references in it are not expanded.
        tvr::testing::ScopedEnvironment env;
        env.set("TVR_LOG_TEST_PART", "expanded");
        env.set("SYBASE", "/opt/%TVR_LOG_TEST_PART%");
        EXPECT_EQ(MakeLogFileName("", "pubs2", day), "/opt/%TVR_LOG_TEST_PART%/pubs206122026.log");
    }

    // Without a date, the date of the call.
    const std::tm before = tvr::platform::localNow();
    const std::string today = MakeLogFileName("/x", "db");
    const std::tm after = tvr::platform::localNow();
    EXPECT_TRUE(today == MakeLogFileName("/x", "db", before) ||
                today == MakeLogFileName("/x", "db", after))
        << today;
}

TEST_F(LogWriter, EntriesFromSeveralThreadsStayWhole) {
    const std::string file = path("act.log");
    constexpr int kThreads = 4;
    constexpr int kEntries = 200;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&file, t] {
            const std::string entry = "thread " + std::to_string(t) + " " + std::string(100, 'x');
            for (int i = 0; i < kEntries; ++i) PrintToLog(entry, file);
        });
    for (auto& w : writers) w.join();
    const std::vector<std::string> lines = splitLines(readFile(file));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kEntries));
    for (const std::string& line : lines) EXPECT_EQ(line.size(), 109u) << line;
    EXPECT_EQ(activityView.entries(), kThreads * kEntries);
}
