// A run left alone against servers that fail: a failed first dump is not loaded and is
// followed by a full pass, a server restarted between passes is shipped to again while the
// lag shown grows and falls, a log truncated behind the program's back is named (and, when so
// set, healed by a full pass), and two passes in one second write two files.
#include "engine/PassHistory.h"
#include "tests/engine/ProcessingFixture.h"
#include "tests/support/StandbyCompare.h"

#include <csignal>
#include <map>
#include <sstream>

using namespace tvr::engine;
using namespace tvr::engine::testing;

namespace {

class WatchRun : public ProcessingFixture {
protected:
    void expectReserveEqualsMain() { tvr::testing::expectReserveEqualsMain(kMain, kReserve, 3); }
    bool errorLogHas(const std::string& text) const {
        return fileText(errorLogFile()).find(text) != std::string::npos;
    }
    void runUntilPasses(int passes) {
        ASSERT_TRUE(waitFor([&] { return runPasses() > passes; }));
        stopNow();
        ASSERT_TRUE(waitUntilEnded());
    }
};

TEST_F(WatchRun, AFailedFirstDumpIsNotLoadedItsFileIsDeletedAndTheNextPassIsFullAgain) {
    struct Case {
        std::string name;
        std::vector<std::string> mainArgs;
        std::function<void()> inject;
        std::string outcome;
    };
    const Case cases[] = {
        // The procedure's return status says so.
        {"error", {"--fault", "error:8009"}, [] {}, "failed (8009)"},
        // The main server dies half way through the dump and comes back.
        {"killed",
         {"--io-rate", "0.008"},
         [this] {
             ASSERT_TRUE(waitFor([&] { return !fs::is_empty(dumps); }));
             main->signal(SIGKILL);
             main->start();
         },
         "failed (connection lost)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startServers(c.mainArgs);
        newRun();
        host.setPassSettings(TPassSettings{false, true, "00:00:01"});
        control.StartProcessing();
        c.inject();
        runUntilPasses(3);

        const std::string first = "sales06.12.2026140512.db";
        EXPECT_TRUE(
            errorLogHas("The dump of sales " + c.outcome + ": the file " + first +
                        " is not loaded and is deleted; the next pass is a full one again"));
        EXPECT_FALSE(fs::exists(dumps / first));
        const auto loaded = spTvrCalls(reserveCommands());
        ASSERT_FALSE(loaded.empty());
        EXPECT_EQ(loaded.front().first, 0);  // the first load is a full one, of a later file
        EXPECT_NE(loaded.front().second, first);
        expectReserveEqualsMain();
        const auto views = display.watchViews();
        ASSERT_FALSE(views.empty());
        EXPECT_EQ(views.back().mainOutcome, "dump: ok");
        dropServers();
    }
}

TEST_F(WatchRun, AMainRestartedBetweenPassesIsShippedToAgainAndTheLagShownGrowsThenFalls) {
    startServers();
    realSleep = true;
    host.setPassSettings(TPassSettings{false, true, "00:00:01"});
    onSleep = [&] {
        if (runPasses() == 2 && main->running()) main->signal(SIGKILL);
    };
    control.StartProcessing();
    // Two tries, one and two seconds apart, fail before the server is back.
    ASSERT_TRUE(waitFor([&] {
        return fileText(logFile()).find("Connecting to TVRMAIN again, try 2") != std::string::npos;
    }));
    main->start();
    const int passesBack = runPasses();
    runUntilPasses(passesBack + 2);

    EXPECT_TRUE(errorLogHas("Connection to TVRMAIN lost; it is opened again before the next pass"));
    EXPECT_TRUE(errorLogHas("Connection to TVRMAIN opened again after "));
    // The lag grew while the main was away and fell once a load went through.
    const auto views = display.watchViews();
    std::string highest;
    bool fell = false;
    for (const TWatchView& view : views) {
        if (view.lag > highest) highest = view.lag;
        if (highest >= "lag 00:00:03" && view.lag < highest && view.mainOutcome == "dump: ok")
            fell = true;
    }
    EXPECT_GE(highest, "lag 00:00:03");
    EXPECT_TRUE(fell);
}

TEST_F(WatchRun, ALogTruncatedBehindTheProgramsBackIsNamedAndWithTheSettingShippedInFull) {
    for (const bool fullOnBreak : {false, true}) {
        SCOPED_TRACE(fullOnBreak);
        startServers();
        newRun();
        TPassSettings settings{false, true, "00:00:01"};
        settings.IsFullOnBreak = fullOnBreak;
        host.setPassSettings(settings);
        tvr::client::TSybaseConnect writer(kMain, "sa", "", "", "");
        ASSERT_EQ(main->logOn([&] { return writer.Connect(); }), CS_SUCCEED);
        writer.Execute("use sales");
        bool truncated = false;
        onSleep = [&] {
            if (runPasses() != 2 || truncated) return;
            truncated = true;
            writer.Execute("insert into orders values (4, 'after the break')");
            writer.Execute("dump transaction sales with truncate_only");
        };
        control.StartProcessing();
        runUntilPasses(5);

        // Named once, in plain words, within the next pass.
        const std::string named =
            "The log of sales cannot be dumped: its log was truncated "
            "since the last database dump (tran_dumpable_status 32)";
        const std::string log = fileText(errorLogFile());
        ASSERT_NE(log.find(named), std::string::npos);
        EXPECT_EQ(log.find(named, log.find(named) + 1), std::string::npos);
        const auto loaded = spTvrCalls(reserveCommands());
        const auto fullLoads = std::count_if(loaded.begin(), loaded.end(),
                                             [](const auto& call) { return call.first == 0; });
        EXPECT_EQ(fullLoads, fullOnBreak ? 2 : 1);
        if (fullOnBreak) expectReserveEqualsMain();
        // The refused log dumps are critical at once; the full pass mends the chain.
        const auto views = display.watchViews();
        ASSERT_FALSE(views.empty());
        EXPECT_EQ(views.back().level, fullOnBreak ? AlertLevel::None : AlertLevel::Critical);
        EXPECT_EQ(views.back().chainBreak.starts_with("4221: "), !fullOnBreak)
            << views.back().chainBreak;
        EXPECT_TRUE(errorLogHas("Log chain broken: "));
        EXPECT_EQ(errorLogHas("Log chain whole again"), fullOnBreak);
        dropServers();
    }
}

TEST_F(WatchRun, EachPassLeavesOneHistoryLineWithItsOutcome) {
    struct Case {
        std::vector<std::string> mainArgs, reserveArgs;
        std::string outcome;
        int error;
    } cases[] = {
        {{}, {}, "ok", 0},
        {{"--fault", "error:8009"}, {}, "dump failed", 8009},
        {{}, {"--fault", "error:3105"}, "load failed", 3105},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outcome);
        startServers(c.mainArgs, c.reserveArgs);
        newRun();
        control.StartProcessing();
        runUntilPasses(2);
        const auto history =
            readPassHistory(dir.string(), WatchClock::now() - std::chrono::hours(24));
        ASSERT_GE(history.size(), 2u);
        const TPassRecord& first = history.front();
        EXPECT_EQ(first.outcome, c.outcome);
        EXPECT_EQ(first.error, c.error);
        EXPECT_EQ(first.kind, PassKind::Full);
        EXPECT_EQ(first.file, "sales06.12.2026140512.db");
        EXPECT_EQ(first.loadSeconds.has_value(), c.outcome != "dump failed");
        // A good pass measured its file before anything deleted it.
        const TPassRecord& last = history.back();
        EXPECT_EQ(last.outcome, "ok");
        EXPECT_GT(last.bytes.value_or(0), 0u);
        EXPECT_EQ(spTvrCalls(mainCommands()).size(), history.size());
        dropServers();
    }
}

// The metrics file in Prometheus' text format: each sample's value by its name and labels,
// and each name's type from its # TYPE line.
struct ParsedMetrics {
    std::map<std::string, double> values;
    std::map<std::string, std::string> types;
};

ParsedMetrics parseMetrics(const std::string& text) {
    ParsedMetrics parsed;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first, second, third;
        words >> first >> second >> third;
        if (first == "#" && second == "TYPE") {
            parsed.types[third] = line.substr(line.rfind(' ') + 1);
        } else if (!first.empty() && first != "#") {
            parsed.values[first] = std::stod(second);
        }
    }
    return parsed;
}

TEST_F(WatchRun, TheMetricsFileIsRewrittenAfterEachPassAndReadsBack) {
    startServers();
    const std::string metricsFile = (dir / "metrics" / "tvr.prom").string();
    window.connections.MetricsFile = metricsFile;
    host.setPassSettings(TPassSettings{false, true, "00:00:01"});
    std::vector<double> passesSeen;  // at each wait, the passes the file counts
    onSleep = [&] {
        const auto parsed = parseMetrics(fileText(metricsFile));
        passesSeen.push_back(parsed.values.count("tvr_passes_total{kind=\"transaction\"}")
                                 ? parsed.values.at("tvr_passes_total{kind=\"full\"}") +
                                       parsed.values.at("tvr_passes_total{kind=\"transaction\"}")
                                 : -1);
    };
    control.StartProcessing();
    runUntilPasses(3);

    ASSERT_GE(passesSeen.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(passesSeen[i], static_cast<double>(i + 1));
    const auto parsed = parseMetrics(fileText(metricsFile));
    const std::map<std::string, std::string> types = {
        {"tvr_lag_seconds", "gauge"},
        {"tvr_last_good_load_timestamp_seconds", "gauge"},
        {"tvr_passes_total", "counter"},
        {"tvr_pass_failures_total", "counter"},
        {"tvr_shipped_bytes_total", "counter"},
        {"tvr_processing", "gauge"},
        {"tvr_alert_level", "gauge"},
        {"tvr_chain_broken", "gauge"},
        {"tvr_up", "gauge"},
        {"tvr_server_connected", "gauge"},
        {"tvr_pending_loads", "gauge"},
        {"tvr_log_write_failures_total", "counter"},
    };
    EXPECT_EQ(parsed.types, types);
    const auto history = readPassHistory(dir.string(), WatchClock::now() - std::chrono::hours(24));
    const auto& v = parsed.values;
    EXPECT_EQ(v.at("tvr_passes_total{kind=\"full\"}"), 1);
    EXPECT_EQ(v.at("tvr_passes_total{kind=\"transaction\"}"),
              static_cast<double>(history.size() - 1));
    EXPECT_EQ(v.at("tvr_pass_failures_total{kind=\"transaction\"}"), 0);
    double bytes = 0;
    for (const TPassRecord& r : history) bytes += static_cast<double>(r.bytes.value_or(0));
    EXPECT_EQ(v.at("tvr_shipped_bytes_total"), bytes);
    EXPECT_GT(bytes, 0);
    EXPECT_NEAR(v.at("tvr_last_good_load_timestamp_seconds"),
                static_cast<double>(WatchClock::to_time_t(history.back().start)), 2);
    EXPECT_EQ(v.at("tvr_processing"), 0);  // the run has ended
    EXPECT_EQ(v.at("tvr_alert_level"), 0);
    EXPECT_EQ(v.at("tvr_chain_broken"), 0);
}

// A server down between passes: the failed pass is counted, the lost session shows at once,
// and the file goes on changing while no pass ends (the lag grows in it); once the server is
// back the session shows open again.
TEST_F(WatchRun, TheMetricsFileFollowsAnOutageWhileNoPassEnds) {
    startServers();
    const std::string metricsFile = (dir / "tvr.prom").string();
    window.connections.MetricsFile = metricsFile;
    host.setPassSettings(TPassSettings{false, true, "00:00:01"});
    realSleep = true;
    control.StartProcessing();
    const auto value = [&](const std::string& name) {
        const auto values = parseMetrics(fileText(metricsFile)).values;
        return values.count(name) ? values.at(name) : -1.0;
    };
    const std::string mainSession = "tvr_server_connected{role=\"main\"}";
    ASSERT_TRUE(waitFor([&] { return value(mainSession) == 1 && runPasses() >= 2; }));
    main->stop();
    ASSERT_TRUE(waitFor([&] { return value(mainSession) == 0; }));
    EXPECT_EQ(value("tvr_pass_failures_total{kind=\"transaction\"}"), 1);
    EXPECT_EQ(value("tvr_up"), 1);
    // The window and the metrics warn of the lost session at once, not only once the lag grows.
    EXPECT_TRUE(waitFor([&] {
        const auto views = display.watchViews();
        return !views.empty() &&
               views.back().alert == std::string("Connection to ") + kMain + " lost (warning)";
    }));
    EXPECT_TRUE(waitFor([&] { return value("tvr_alert_level") == 1; })) << fileText(metricsFile);
    const double lagAtLoss = value("tvr_lag_seconds");
    ASSERT_TRUE(waitFor([&] { return value("tvr_lag_seconds") > lagAtLoss; }))
        << fileText(metricsFile);
    main->start();
    ASSERT_TRUE(waitFor([&] { return value(mainSession) == 1; })) << fileText(metricsFile);
    prompts.scriptReply(tvr::platform::PromptReply::Yes);
    ASSERT_TRUE(control.ConfirmStop(StopQuestion));
    ASSERT_TRUE(waitUntilEnded());
}

TEST_F(WatchRun, TwoPassesInOneSecondWriteTwoFiles) {
    startServers();
    sameSecond = true;
    control.StartProcessing();
    runUntilPasses(3);
    const auto calls = spTvrCalls(mainCommands());
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[1].second, "sales06.12.2026140512.tr");
    EXPECT_EQ(calls[2].second, "sales06.12.2026140512-2.tr");
    for (const auto& [type, file] : calls) EXPECT_TRUE(fs::exists(dumps / file)) << file;
}

}  // namespace

TEST_F(WatchRun, ANewRunOfTheSameDatabasesGoesOnFromTheLastGoodLoadAndOfOthersStartsAfresh) {
    startServers();
    host.setPassSettings(TPassSettings{false, true, "00:00:01"});
    control.StartProcessing();
    runUntilPasses(2);
    const std::string lastGood = display.watchViews().back().lastGood;
    ASSERT_EQ(lastGood.rfind("good load ", 0), 0u) << lastGood;

    // From here on every dump fails (the fault is armed for each pass), so no run below has a
    // good load of its own.
    tvr::client::TSybaseConnect faults(kMain, "sa", "", "", "");
    ASSERT_EQ(faults.Connect(), CS_SUCCEED);
    onSleep = [&] { faults.Execute("emulator fault error 8009"); };
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const struct Case {
        bool useReserve;
        std::string lastGood;
    } cases[] = {{true, lastGood}, {false, "no good dump yet"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.useReserve);
        window.flags.UseReserve = c.useReserve;
        const std::size_t before = display.watchViews().size();
        faults.Execute("emulator fault error 8009");
        newRun();
        control.StartProcessing();
        runUntilPasses(1);
        const auto views = display.watchViews();
        ASSERT_GT(views.size(), before);
        for (std::size_t i = before; i < views.size(); ++i)
            EXPECT_EQ(views[i].lastGood, c.lastGood) << i;
        // The reserve is as old as the last good load, not as the new run.
        if (c.useReserve) {
            EXPECT_GE(views[before].lag, "lag 00:00:03");
        }
    }
}
