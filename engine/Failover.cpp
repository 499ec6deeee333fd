#include "engine/Failover.h"

#include "engine/DumpFileName.h"
#include "engine/PassRecorder.h"
#include "engine/PassSteps.h"
#include "engine/ProcedureCall.h"
#include "engine/WatchRules.h"
#include "platform/Profile.h"
#include "platform/RegionalSettings.h"

#include <exception>

namespace tvr::engine {
namespace {

constexpr const char* kPrefix = "Failover: ";
constexpr std::int32_t kLoginFailed = 4002;

std::string timeText(ChainClock::time_point when) {
    const std::time_t seconds = ChainClock::to_time_t(when);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// A statement of our own (not sp_TVR): failed when the server sent an error or the
// connection went while it ran.
StepResult runStatement(client::TSybaseConnect& connection, const std::string& statement) {
    if (connection.ConnectionDead()) return {StepOutcome::NotReached, 0, true};
    connection.Execute("use master");
    const auto errors = connection.ServerErrors();
    connection.Execute(statement);
    const bool alive = !connection.ConnectionDead();
    if (connection.ServerErrors() == errors && alive) return {StepOutcome::Ok, 0, false};
    const int error = connection.ServerErrors() != errors ? connection.LastServerErrorNumber() : 0;
    return {StepOutcome::Failed, error, !alive};
}

// The library sees a server gone only when a call fails, so the session is asked something
// first; a dead one is opened again once.
bool answers(client::TSybaseConnect* session) {
    if (!session) return false;
    if (!session->ConnectionDead()) session->Execute("use master");
    return !session->ConnectionDead() || session->Reconnect();
}

class Sequence {
public:
    Sequence(const TPassSessions& sessions, const TFailoverPlan& plan,
             const TFailoverServices& services)
        : sessions_(sessions), plan_(plan), services_(services) {}

    TFailoverReport Run() {
        // The records are read before anything is sent, so that a chain already broken
        // keeps the tail off the reserve (its load would only be refused).
        step("1: processing is stopped");
        try {
            // The dump files are named after the database as the profile qualifies it.
            dumps_ = services_.shippedDumps(platform::profileQualified(plan_.mainDatabase));
        } catch (const std::exception& error) {
            stop("the records of the passes cannot be read (" + std::string(error.what()) + ")",
                 {"check which dumps " + plan_.reserveDatabase + " holds", remainingOnline()});
            return report_;
        }
        chain_ = checkShippedChain(dumps_);
        if (!sessions_.reserve || !answers(sessions_.reserve)) {
            stop("the reserve server " + plan_.reserveServer + " does not answer",
                 {"online database " + plan_.reserveDatabase + " (on " + plan_.reserveServer +
                  ", once every dump is loaded)"});
            return report_;
        }
        if (services_.stopRequested && services_.stopRequested()) {
            stop("the program is ending; nothing was changed on either server",
                 {"fail over again"});
            return report_;
        }
        if (!SaveTail()) return report_;
        if (!CheckChain()) return report_;
        step("4: " + onlineStatement(plan_.reserveDatabase) + " on " + plan_.reserveServer);
        const StepResult online =
            runStatement(*sessions_.reserve, onlineStatement(plan_.reserveDatabase));
        if (online.outcome != StepOutcome::Ok) {
            stop(onlineStatement(plan_.reserveDatabase) + " " + stepResultText(online),
                 {onlineStatement(plan_.reserveDatabase)});
            return report_;
        }
        report_.done = true;
        if (services_.promoted) {
            try {
                services_.promoted(plan_);
            } catch (const std::exception& error) {
                services_.errorEntry(kPrefix + std::string("the ledger cannot be written (") +
                                     error.what() + "); a start will not know that " +
                                     plan_.reserveDatabase + " is online");
            }
        }
        const ChainClock::time_point now = services_.now();
        if (!report_.tailSaved && report_.lastDumpStarted)
            report_.lossWindow =
                std::chrono::duration_cast<std::chrono::seconds>(now - *report_.lastDumpStarted);
        services_.activityLine(kPrefix + std::string("5: ") + failoverReportText(plan_, report_));
        return report_;
    }

private:
    // Step 2. False when the failover stopped.
    bool SaveTail() {
        if (EarlierTail()) return true;
        if (!answers(sessions_.main)) {
            // A server that answers and refuses the logon is up: its tail would be lost to a
            // wrong password.
            if (sessions_.main && sessions_.main->LastServerErrorNumber() == kLoginFailed) {
                stop("the main server " + plan_.mainServer +
                         " refused the logon (Login failed); nothing was sent",
                     {"log on to " + plan_.mainServer + " and fail over again"});
                return false;
            }
            if (plan_.fence) report_.notFenced = "its server did not answer";
            if (plan_.planned) {
                stop("the main server " + plan_.mainServer +
                         " does not answer; a switchover needs both servers",
                     {});
                return false;
            }
            services_.errorEntry(kPrefix + std::string("step 2 skipped: the main server ") +
                                 plan_.mainServer + " does not answer; the tail of the log of " +
                                 plan_.mainDatabase + " is not saved");
            return true;
        }
        if (plan_.fence) Fence();
        // The dump files are named after the database as the profile qualifies it.
        TPassRecord record;
        record.file = freeDumpFileName(
            platform::profileQualified(plan_.mainDatabase), true, services_.localNow(),
            platform::regionalFormats(), [&](const std::string& name) {
                return services_.fileExists(plan_.dumpFolder + DumpPathSeparator + name) ||
                       services_.fileExists(plan_.loadFolder + DumpPathSeparator + name);
            });
        record.start = services_.now();
        record.kind = PassKind::Tail;
        const std::string dump = tailDumpStatement(plan_, record.file, report_.fenced.has_value());
        step("2: " + dump + " on " + plan_.mainServer);
        const StepResult dumped =
            timed(record.dumpSeconds, [&] { return runStatement(*sessions_.main, dump); });
        if (dumped.outcome != StepOutcome::Ok) {
            RecordTail(record, dumped, {StepOutcome::NotReached, 0, false});
            stop("the last transaction dump " + stepResultText(dumped),
                 {dump + " (on " + plan_.mainServer + ")", tailLoad(record.file),
                  remainingOnline()});
            return false;
        }
        report_.tailStarted = record.start;
        dumps_.push_back({record.file, false, true, false, record.start, true});
        // Loading the tail after a gap would only be refused; the chain check names the gap.
        if (chain_.missing || !chain_.fullLoaded) {
            RecordTail(record, dumped, {StepOutcome::NotReached, 0, false});
            return true;
        }
        return LoadTail(record, dumped);
    }

    // The fence: from here on no login, sa included, can change the main database, so the tail
    // dump holds all it will ever commit. A fence that cannot be set leaves it writable, and
    // the report says so; the failover goes on.
    void Fence() {
        const std::string fence = fenceStatement(plan_.mainDatabase, true);
        step("2: " + fence + " on " + plan_.mainServer + " (the fence)");
        const auto at = services_.now();
        const StepResult fenced = runStatement(*sessions_.main, fence);
        if (fenced.outcome == StepOutcome::Ok) {
            report_.fenced = at;
            return;
        }
        report_.notFenced = fence + " " + stepResultText(fenced);
        services_.errorEntry(kPrefix + std::string("the fence was not set: ") + report_.notFenced +
                             "; " + plan_.mainDatabase + " still accepts writes");
    }

    // The second half of step 2: the tail dumped, loaded on the reserve through sp_TVR.
    bool LoadTail(TPassRecord& record, const StepResult& dumped) {
        const std::string& file = record.file;
        const std::string load = tailLoad(file);
        step("2: " + load + " on " + plan_.reserveServer + " (through sp_TVR)");
        const TRS_dump_load call{1, plan_.reserveDatabase, 0, 1, plan_.loadFolder, file};
        const StepResult loaded = timed(record.loadSeconds.emplace(), [&] {
            return runProcedureStep(*sessions_.reserve, spTvrCallStatement(call));
        });
        RecordTail(record, dumped, loaded);
        if (loaded.outcome != StepOutcome::Ok) {
            std::string why =
                "the load of the last transaction dump " + file + " " + stepResultText(loaded);
            std::string byHand = load;
            if (isOutOfSequenceLoad(loaded.error)) {
                // Most often a failover made before this one brought the reserve online.
                why += ": " + plan_.reserveDatabase +
                       " takes no further transaction dump; it is online already, or its load "
                       "sequence was broken since the last pass";
                byHand = "sp_helpdb " + plan_.reserveDatabase + " (on " + plan_.reserveServer +
                         ") tells whether it is online; if not, " + load;
            }
            stop(why, {byHand, remainingOnline()});
            return false;
        }
        dumps_.back().loaded = true;
        chain_ = checkShippedChain(dumps_);
        report_.tailSaved = true;
        return true;
    }

    // An earlier failover's tail is the reserve's last load: a log dump after it could not
    // follow it (`with no_truncate` kept the log, so it would repeat the tail's records), and
    // a reserve brought online takes no further load. Nothing is sent to the main server.
    bool EarlierTail() {
        if (!chain_.fullLoaded || chain_.missing || !dumps_[*chain_.lastLoaded].tail) return false;
        const TShippedDump& tail = dumps_[*chain_.lastLoaded];
        report_.tailSaved = report_.earlierTail = true;
        report_.tailStarted = tail.started;
        step("2: skipped: an earlier failover saved the tail of the log of " + plan_.mainDatabase +
             " in " + tail.file + (tail.started ? " at " + timeText(*tail.started) : "") +
             ", and the reserve loaded it; nothing is sent to the main server");
        return true;
    }

    // The tail's dump and load in the pass history; a history that cannot be written does
    // not stop the failover, but a later one will not know the tail.
    void RecordTail(TPassRecord& record, const StepResult& dumped, const StepResult& loaded) {
        if (!services_.recordTail) return;
        record.bytes = dumpFileBytes({plan_.dumpFolder + DumpPathSeparator + record.file,
                                      plan_.loadFolder + DumpPathSeparator + record.file});
        record.outcome = passOutcomeText(dumped, loaded, true);
        record.error = passErrorNumber(dumped, loaded);
        const auto now = services_.now();
        const std::optional<ChainClock::time_point> applied =
            loaded.outcome == StepOutcome::Ok
                ? std::optional(record.start)
                : (chain_.lastLoaded ? dumps_[*chain_.lastLoaded].started : std::nullopt);
        if (applied) record.lag = std::chrono::duration_cast<std::chrono::seconds>(now - *applied);
        try {
            services_.recordTail(record);
        } catch (const std::exception& error) {
            services_.errorEntry(kPrefix + std::string("the pass history cannot be written (") +
                                 error.what() + "); a later failover will not know of the tail " +
                                 record.file);
        }
    }

    template <typename Step>
    static StepResult timed(double& seconds, Step run) {
        const auto from = std::chrono::steady_clock::now();
        const StepResult result = run();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
        return result;
    }

    // Step 3. False when the failover stopped.
    bool CheckChain() {
        if (!chain_.fullLoaded)
            return stop(
                "no full load of " + plan_.reserveDatabase +
                    " is recorded (pass history or activity logs), so the dumps it "
                    "holds cannot be checked",
                {"check which dumps " + plan_.reserveDatabase + " holds", remainingOnline()});
        if (chain_.missing) {
            const TShippedDump& gap = dumps_[*chain_.missing];
            std::vector<std::string> byHand;
            for (std::size_t i = *chain_.missing; i < dumps_.size(); ++i) {
                if (!dumps_[i].dumped || dumps_[i].full) continue;
                byHand.push_back(loadTransactionStatement(
                    plan_.reserveDatabase, plan_.loadFolder + DumpPathSeparator + dumps_[i].file));
            }
            byHand.push_back(remainingOnline());
            const bool present =
                services_.fileExists(plan_.dumpFolder + DumpPathSeparator + gap.file) ||
                services_.fileExists(plan_.loadFolder + DumpPathSeparator + gap.file);
            return stop("the dump " + gap.file +
                            (gap.started ? " written at " + timeText(*gap.started) : "") +
                            " is not loaded on the reserve" +
                            (present ? "" : ", and its file is gone"),
                        byHand);
        }
        const TShippedDump& last = dumps_[*chain_.lastLoaded];
        std::size_t first = *chain_.lastLoaded;
        while (first > 0 && !(dumps_[first].full && dumps_[first].loaded)) --first;
        for (std::size_t i = first; i <= *chain_.lastLoaded; ++i) {
            if (!dumps_[i].loaded) continue;
            report_.loaded.push_back(dumps_[i].file +
                                     (dumps_[i].sequenceNew.empty() ? "" : ", header checked"));
        }
        report_.lastDump = last.file;
        report_.lastDumpStarted = last.started;
        step(
            "3: every dump since the last full load is loaded on the reserve, in order; the "
            "last is " +
            last.file);
        return true;
    }

    std::string tailLoad(const std::string& file) const {
        return loadTransactionStatement(plan_.reserveDatabase,
                                        plan_.loadFolder + DumpPathSeparator + file);
    }

    std::string remainingOnline() const {
        return onlineStatement(plan_.reserveDatabase) + " (on " + plan_.reserveServer + ")";
    }

    void step(const std::string& text) { services_.activityLine(kPrefix + text); }

    bool stop(const std::string& why, const std::vector<std::string>& byHand) {
        report_.done = false;
        report_.stopped = why;
        for (const std::string& statement : byHand) {
            if (!report_.byHand.empty()) report_.byHand += "; ";
            report_.byHand += statement;
        }
        services_.errorEntry(kPrefix + failoverReportText(plan_, report_));
        return false;
    }

    TPassSessions sessions_;
    const TFailoverPlan& plan_;
    const TFailoverServices& services_;
    std::vector<TShippedDump> dumps_;
    TChainState chain_;
    TFailoverReport report_;
};

}  // namespace

TShippingPair shippingPairOf(const TFailoverPlan& plan) {
    return {plan.mainServer, plan.mainDatabase, plan.reserveServer, plan.reserveDatabase};
}

std::string failoverQuestion(const TFailoverPlan& plan) {
    const std::string main = plan.mainDatabase + " on " + plan.mainServer;
    const std::string reserve = plan.reserveDatabase + " on " + plan.reserveServer;
    if (plan.planned)
        return "Switchover: the main server is kept, and the roles are reversed. " + main +
               " is made read only, its last transaction dump is loaded into " + reserve +
               ", and " + reserve + " is brought online as the new main database. Processing " +
               "stops. Switch over?";
    return "Failover: the main server is taken as lost. " + reserve +
           " is brought online in place of " + main +
           "; the tail of the log is saved first if the main server still answers. Processing "
           "stops. Fail over?";
}

std::string fenceQuestion(const TFailoverPlan& plan) {
    return "Fence " + plan.mainDatabase + " on " + plan.mainServer +
           " before the tail of its log is saved? Yes: it is made read only, so that no login, "
           "sa included, can change it afterwards, and nothing committed there is lost. No: it "
           "keeps taking writes, and whatever is committed there after the tail dump never "
           "reaches " +
           plan.reserveDatabase + " on " + plan.reserveServer + ".";
}

namespace {

// Whether the old main still takes writes, and how to undo the fence.
std::string fenceText(const TFailoverPlan& plan, const TFailoverReport& report) {
    const std::string main = plan.mainDatabase + " on " + plan.mainServer;
    if (report.fenced)
        return " " + main + " is read only since " + timeText(*report.fenced) +
               " (the fence): no login, sa included, can change it. To let it take writes "
               "again: " +
               fenceStatement(plan.mainDatabase, false) + " (in master on " + plan.mainServer +
               ").";
    std::string text = " " + main + " was not fenced";
    if (!report.notFenced.empty()) text += " (" + report.notFenced + ")";
    text += ": it still accepts writes";
    if (report.tailStarted)
        return text + ", and anything committed there after " + timeText(*report.tailStarted) +
               " is not on the reserve.";
    return text +
           " if its server runs, and nothing committed there after the last loaded dump "
           "began is on the reserve.";
}

}  // namespace

std::string failoverReportText(const TFailoverPlan& plan, const TFailoverReport& report) {
    if (!report.done) {
        std::string text = "stopped: " + report.stopped + ". Nothing after this step was changed.";
        if (!report.byHand.empty()) text += " Left to do by hand: " + report.byHand + ".";
        if (report.fenced) text += fenceText(plan, report);
        return text;
    }
    std::string text = plan.reserveDatabase + " on " + plan.reserveServer + " is online";
    text += report.earlierTail
                ? " (an earlier failover had saved and loaded the tail of the log; nothing was "
                  "sent to the main server). "
                : ". ";
    if (!report.loaded.empty()) {
        text += "Loaded since the last full load, in order: ";
        for (std::size_t i = 0; i < report.loaded.size(); ++i)
            text += (i ? "; " : "") + report.loaded[i];
        text += ". ";
    }
    text +=
        "Last transaction dump applied: " + (report.lastDump.empty() ? "none" : report.lastDump);
    if (report.lastDumpStarted) text += ", begun " + timeText(*report.lastDumpStarted);
    text += ". Loss window: ";
    if (report.tailSaved && report.fenced)
        text += "none (the tail of the log was saved after the fence).";
    else if (report.tailSaved && report.tailStarted)
        text += "none up to " + timeText(*report.tailStarted) + " (the tail dump).";
    else if (report.tailSaved)
        text += "none up to the tail dump (its time is not recorded).";
    else if (report.lossWindow && report.lastDumpStarted)
        text += "everything committed after " + timeText(*report.lastDumpStarted) +
                " (when the last loaded dump began), " + lagText(*report.lossWindow) + ".";
    else
        text += "unknown (the time of the last loaded dump is not recorded).";
    if (!report.earlierTail) text += fenceText(plan, report);
    return text;
}

TFailoverReport runFailover(const TPassSessions& sessions, const TFailoverPlan& plan,
                            const TFailoverServices& services) {
    return Sequence(sessions, plan, services).Run();
}

std::string tailDumpStatement(const TFailoverPlan& plan, const std::string& file, bool fenced) {
    return "dump transaction " + plan.mainDatabase + " to \"" +
           quotedConstantText(plan.dumpFolder + DumpPathSeparator + file) + "\" with " +
           (plan.planned && !fenced ? "standby_access" : "no_truncate");
}

std::string fenceStatement(const std::string& database, bool on) {
    return "sp_dboption " + database + ", \"read only\", " + (on ? "true" : "false");
}

std::string onlineStatement(const std::string& database) { return "online database " + database; }

std::string loadTransactionStatement(const std::string& database, const std::string& path) {
    return "load transaction " + database + " from \"" + quotedConstantText(path) + "\"";
}

}  // namespace tvr::engine
