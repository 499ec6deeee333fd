#include "engine/PassRunner.h"

#include "engine/DumpFileName.h"
#include "engine/PassSteps.h"
#include "platform/Profile.h"
#include "platform/RegionalSettings.h"

#include <utility>

namespace tvr::engine {
namespace {

std::string stepText(const char* step, const std::string& database, const StepResult& result) {
    return std::string("The ") + step + " of " + database + " " + stepResultText(result);
}

}  // namespace

TPassRunner::TPassRunner(TPassServices services, TPassWatch* watch, const std::atomic<bool>& stop)
    : services_(std::move(services)), watch_(watch), stop_(stop) {}

TPassReport TPassRunner::Run(const TPassSessions& sessions, TRS_dump_load& dump,
                             TRS_dump_load& load, bool useReserve, const TPassSettings& settings) {
    TPassReport report;
    report.failed = true;
    // The pass never runs on a dead handle: both sessions are alive before anything is sent.
    if (!EnsureOpen(sessions.main) || (useReserve && !EnsureOpen(sessions.reserve))) return report;

    const WatchClock::time_point started = services_.now();
    if (watch_) watch_->PassStarted(started);
    const auto ended = [&] {
        if (watch_) watch_->PassEnded(services_.now(), started, report.dump, report.load);
        return report;
    };
    const bool full = dump.TypeTrans == 0;
    // The transaction dump is still sent when the chain is broken, as it always was: the
    // server's refusal is in the logs beside the entry that names the cause.
    bool fullNext = false;
    if (!full) CheckChain(*sessions.main, dump.database_name, settings, fullNext);

    // Another profile may ship a database of the same name into the same folder.
    const std::string name = freeDumpFileName(
        platform::profileQualified(dump.database_name), !full, services_.localNow(),
        platform::regionalFormats(), [&](const std::string& candidate) {
            return services_.fileExists(dump.pathname + DumpPathSeparator + candidate) ||
                   services_.fileExists(load.pathname + DumpPathSeparator + candidate);
        });
    dump.device_name = name;
    load.device_name = name;

    report.sent = true;
    report.started = started;
    report.full = full;
    report.file = name;
    const auto timed = [&](client::TSybaseConnect& session, const TRS_dump_load& call,
                           double& seconds) {
        const auto before = std::chrono::steady_clock::now();
        const StepResult result = runProcedureStep(session, spTvrCallStatement(call));
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
        return result;
    };
    report.dump = timed(*sessions.main, dump, report.dumpSeconds);
    if (report.dump.outcome != StepOutcome::Ok) {
        // A missing or partial file must not be loaded: a partial full dump would break the
        // load sequence for good.
        deleteDumpFile(dump, load);
        services_.errorEntry(stepText("dump", dump.database_name, report.dump) + ": the file " +
                             name + " is not loaded and is deleted" +
                             (full ? "; the next pass is a full one again" : ""));
        fullNext = fullNext || full;
    } else if (useReserve) {
        report.load = timed(*sessions.reserve, load, report.loadSeconds.emplace());
        if (report.load.outcome != StepOutcome::Ok) {
            const bool outOfSequence = isOutOfSequenceLoad(report.load.error);
            // A full load that failed leaves nothing a transaction load could follow.
            fullNext = fullNext || full || (outOfSequence && settings.IsFullOnBreak);
            services_.errorEntry(
                stepText("load", load.database_name, report.load) +
                (outOfSequence ? ": the file does not follow the last one loaded" : "") +
                (fullNext ? "; the next pass is a full one" : ""));
        }
    }
    report.failed = report.dump.outcome != StepOutcome::Ok ||
                    (useReserve && report.load.outcome != StepOutcome::Ok);
    dump.TypeTrans = load.TypeTrans = fullNext ? 0 : 1;
    return ended();
}

void TPassRunner::WaitAfter(const TPassReport& report, bool continuous) {
    if (!report.failed) {
        failuresInARow_ = 0;
        return;
    }
    ++failuresInARow_;
    if (continuous) waitSeconds(backoffSeconds(failuresInARow_));
}

bool TPassRunner::EnsureOpen(client::TSybaseConnect* session) {
    if (!session || !session->ConnectionDead()) return true;
    const std::string server = session->ServerName();
    services_.errorEntry("Connection to " + server +
                         " lost; it is opened again before the next pass");
    for (int attempt = 1; !stop_; ++attempt) {
        waitSeconds(backoffSeconds(attempt));
        if (stop_) break;
        services_.activityLine("Connecting to " + server + " again, try " +
                               std::to_string(attempt));
        if (session->Reconnect()) {
            services_.errorEntry("Connection to " + server + " opened again after " +
                                 std::to_string(attempt) + (attempt == 1 ? " try" : " tries"));
            return true;
        }
    }
    return false;
}

void TPassRunner::CheckChain(client::TSybaseConnect& main, const std::string& database,
                             const TPassSettings& settings, bool& fullNext) {
    if (chainUnknown_) return;
    const std::optional<int> status = tranDumpableStatus(main, database);
    if (!status) {
        // A server that does not know the question is not asked again in this run.
        if (!main.ConnectionDead()) chainUnknown_ = true;
        return;
    }
    if (*status == 0) {
        chainStatus_.reset();
        return;
    }
    fullNext = settings.IsFullOnBreak;
    // Entered once for each new answer, not at every pass while it stays.
    if (chainStatus_ == *status) return;
    chainStatus_ = *status;
    services_.errorEntry("The log of " + database +
                         " cannot be dumped: " + chainBreakText(*status) +
                         " (tran_dumpable_status " + std::to_string(*status) + "); " +
                         (fullNext ? "the next pass is a full dump and load"
                                   : "transaction passes fail until a full dump and load"));
}

void TPassRunner::waitSeconds(int seconds) {
    for (int i = 0; i < seconds && !stop_; ++i) services_.sleepSecond();
}

void TPassRunner::deleteDumpFile(const TRS_dump_load& dump, const TRS_dump_load& load) {
    for (const std::string& path : {dump.pathname + DumpPathSeparator + dump.device_name,
                                    load.pathname + DumpPathSeparator + load.device_name}) {
        if (services_.fileExists(path)) services_.deleteFile(path);
    }
}

}  // namespace tvr::engine
