#include "engine/PassRunner.h"

#include "client/MessageHandlers.h"
#include "engine/DumpFileName.h"
#include "engine/PassRecorder.h"
#include "engine/PassSteps.h"
#include "engine/ReserveChecks.h"
#include "engine/StartDecision.h"
#include "platform/Profile.h"
#include "platform/RegionalSettings.h"
#include "platform/ScopeExit.h"

#include <algorithm>
#include <utility>

namespace tvr::engine {
namespace {

std::string stepText(const char* step, const std::string& database, const StepResult& result) {
    return std::string("The ") + step + " of " + database + " " + stepResultText(result);
}

TLedgerEntry entryOf(LedgerClock::time_point time, LedgerEvent event, const std::string& pair,
                     const std::string& file, const std::string& folder, PassKind kind) {
    TLedgerEntry entry;
    entry.time = time;
    entry.event = event;
    entry.pair = pair;
    entry.file = file;
    entry.folder = folder;
    entry.kind = kind;
    return entry;
}

}  // namespace

TPassRunner::TPassRunner(TPassServices services, TPassWatch* watch, const std::atomic<bool>& stop)
    : services_(std::move(services)), watch_(watch), stop_(stop) {}

TPassReport TPassRunner::Run(const TPassSessions& sessions, TRS_dump_load& dump,
                             TRS_dump_load& load, bool useReserve, const TPassSettings& settings) {
    TPassReport report;
    report.failed = true;
    // A call the server does not answer at all is abandoned at the stall limit (a long dump
    // is no such call: the Backup Server's progress messages keep it alive).
    for (client::TSybaseConnect* session : {sessions.main, sessions.reserve})
        if (session) session->SetCallLimit(settings.StallLimitMinutes * 60);
    const auto abandoned = onScopeExit([&] {
        for (client::TSybaseConnect* session : {sessions.main, sessions.reserve})
            if (session) noteAbandonedCall(*session);
    });
    // The pass never runs on a dead handle: both sessions are alive before anything is sent.
    const int refusals = settings.LogonRefusalLimit;
    if (!EnsureOpen(sessions.main, refusals, report.logonRefused) ||
        (useReserve && !EnsureOpen(sessions.reserve, refusals, report.logonRefused)))
        return report;

    const WatchClock::time_point started = services_.now();
    if (watch_) watch_->PassStarted(started);
    const auto ended = [&] {
        if (watch_) watch_->PassEnded(services_.now(), started, report.dump, report.load);
        return report;
    };
    const bool full = dump.TypeTrans == 0;
    report.started = started;
    if (useReserve && full) {
        // Asked before the full dump, which would already truncate the main database's log.
        if (const auto state = databaseState(*sessions.reserve, load.database_name)) {
            const std::string refusal = fullLoadRefusal(
                State(), *state, reseed_, sessions.reserve->ServerName(), load.database_name);
            if (!refusal.empty()) {
                services_.errorEntry(refusal + "; processing stopped");
                report.refused = true;
                return ended();
            }
        }
    }
    // Every dump the reserve still owes is loaded, in order, before a new one is made.
    if (useReserve && !full && !LoadPending(*sessions.reserve, dump, load, settings, report)) {
        return ended();
    }
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
    report.full = full;
    report.file = name;
    const PassKind kind = full ? PassKind::Full : PassKind::Transaction;
    TLedgerEntry begun =
        entryOf(services_.now(), LedgerEvent::DumpBegun, pair_, name, dump.pathname, kind);
    Record(begun);
    const auto before = std::chrono::steady_clock::now();
    report.dump = runProcedureStep(*sessions.main, spTvrCallStatement(dump));
    report.dumpSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    TLedgerEntry made = begun;
    made.time = services_.now();
    made.event = LedgerEvent::Dump;
    made.ok = report.dump.outcome == StepOutcome::Ok;
    made.error = report.dump.error;
    made.bytes = dumpFileBytes(
        {dump.pathname + DumpPathSeparator + name, load.pathname + DumpPathSeparator + name});
    Record(made);
    report.bytes = made.bytes;
    TLedgerDump madeDump;
    madeDump.file = name;
    madeDump.folder = dump.pathname;
    madeDump.kind = kind;
    madeDump.made = begun.time;
    if (report.dump.outcome != StepOutcome::Ok) {
        // A missing or partial file must not be loaded: a partial full dump would break the
        // load sequence for good.
        DeleteDump(madeDump, {load.pathname});
        services_.errorEntry(stepText("dump", dump.database_name, report.dump) + ": the file " +
                             name + " is not loaded and is deleted" +
                             (full ? "; the next pass is a full one again" : ""));
        fullNext = fullNext || full;
    } else if (useReserve) {
        report.load = LoadDump(*sessions.reserve, madeDump, load, dump.database_name, settings,
                               report.loadSeconds.emplace());
        if (report.load.outcome != StepOutcome::Ok) {
            const bool outOfSequence = isOutOfSequenceLoad(report.load.error);
            // A full load that failed leaves nothing a transaction load could follow.
            fullNext = fullNext || full || (outOfSequence && settings.IsFullOnBreak);
            services_.errorEntry(
                stepText("load", load.database_name, report.load) +
                (outOfSequence ? ": the file does not follow the last one loaded" : "") +
                (fullNext ? "; the next pass is a full one"
                          : "; it is loaded again before any later dump"));
        } else if (full) {
            // The reserve is back in its load sequence: whatever a failover promoted is gone.
            if (reseed_ && State().promoted) {
                TLedgerEntry cleared =
                    entryOf(services_.now(), LedgerEvent::Cleared, {}, {}, {}, kind);
                cleared.detail = "a re-seed";
                Record(cleared);
            }
            reseed_ = false;
            DeleteSuperseded(settings);
        }
    } else if (settings.IsClearLog) {
        // Without a reserve server nothing is loaded: the file is deleted once made.
        DeleteDump(madeDump, {load.pathname});
    }
    report.failed = report.dump.outcome != StepOutcome::Ok ||
                    (useReserve && report.load.outcome != StepOutcome::Ok);
    dump.TypeTrans = load.TypeTrans = fullNext ? 0 : 1;
    return ended();
}

void TPassRunner::UseLedger(std::shared_ptr<TShippingLedger> ledger, std::string pair,
                            bool reseed) {
    if (ledger) ledger_ = std::move(ledger);
    pair_ = std::move(pair);
    reseed_ = reseed;
}

void TPassRunner::CleanUpPartialDumps() {
    for (const TLedgerDump& partial : State().partial) {
        const std::string path = partial.folder + DumpPathSeparator + partial.file;
        if (services_.fileExists(path)) services_.deleteFile(path);
        TLedgerEntry ended = entryOf(services_.now(), LedgerEvent::Dump, pair_, partial.file,
                                     partial.folder, partial.kind);
        ended.detail = "never completed";
        Record(ended);
        ended.event = LedgerEvent::Deleted;
        ended.detail.clear();
        Record(ended);
        services_.activityLine("The partial dump " + path +
                               " of a pass that never completed is deleted");
    }
}

bool TPassRunner::LoadPending(client::TSybaseConnect& reserve, TRS_dump_load& dump,
                              TRS_dump_load& load, const TPassSettings& settings,
                              TPassReport& report) {
    const auto pending = State().pending();
    for (std::size_t i = 0; i < pending.size(); ++i) {
        const TLedgerDump& owed = pending[i];
        if (i > 0 && stop_) {
            // A stop in the middle of a catch-up: the rest waits for the next run, and no new
            // dump is made before it.
            report.failed = false;
            return false;
        }
        // A full dump still owed is a full load: the reserve is asked first, as for a full pass.
        if (owed.kind == PassKind::Full) {
            if (const auto state = databaseState(reserve, load.database_name)) {
                const std::string refusal = fullLoadRefusal(
                    State(), *state, reseed_, reserve.ServerName(), load.database_name);
                if (!refusal.empty()) {
                    services_.errorEntry(refusal + "; processing stopped");
                    report.refused = true;
                    return false;
                }
            }
        }
        double seconds = 0;
        const StepResult result =
            LoadDump(reserve, owed, load, dump.database_name, settings, seconds);
        if (result.outcome == StepOutcome::Ok) {
            services_.activityLine("The waiting dump " + owed.file + " is loaded in its turn (" +
                                   std::to_string(i + 1) + " of " + std::to_string(pending.size()) +
                                   ")");
            continue;
        }
        // The history keeps the failed load as a pass of its own.
        report.sent = true;
        report.full = owed.kind == PassKind::Full;
        report.file = owed.file;
        report.dump = StepResult{StepOutcome::Ok, 0, false};
        report.load = result;
        report.loadSeconds = seconds;
        const bool broken = isChainBreakError(result.error);
        const bool fullNext = broken && settings.IsFullOnBreak;
        if (fullNext) dump.TypeTrans = load.TypeTrans = 0;
        services_.errorEntry(
            stepText("load", load.database_name, result) + ": the waiting dump " + owed.file +
            (fullNext ? " cannot be loaded; the next pass is a full one"
                      : " stays the next to load; no later dump is made or loaded before it"));
        return false;
    }
    return true;
}

StepResult TPassRunner::LoadDump(client::TSybaseConnect& reserve, const TLedgerDump& made,
                                 TRS_dump_load load, const std::string& mainDatabase,
                                 const TPassSettings& settings, double& seconds) {
    const bool full = made.kind == PassKind::Full;
    load.TypeTrans = full ? 0 : 1;
    load.device_name = made.file;
    const std::string path = load.pathname + DumpPathSeparator + made.file;
    TLedgerEntry tried =
        entryOf(services_.now(), LedgerEvent::Load, pair_, made.file, load.pathname, made.kind);
    if (settings.IsCheckHeader) {
        const auto header = readDumpHeader(reserve, full, load.database_name, path);
        std::string differs =
            header ? headerMismatch(*header, mainDatabase, made.kind, previousSequence(made.file))
                   : "its header cannot be read";
        if (!differs.empty()) {
            services_.errorEntry("The dump file " + path + " is not loaded: " + differs);
            tried.detail = "header: " + differs;
            Record(tried);
            return StepResult{StepOutcome::Failed, 0, reserve.ConnectionDead()};
        }
        tried.detail = header->sequenceNew;
    }
    const auto before = std::chrono::steady_clock::now();
    const StepResult result = runProcedureStep(reserve, spTvrCallStatement(load));
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    tried.time = services_.now();
    tried.ok = result.outcome == StepOutcome::Ok;
    tried.error = result.error;
    Record(tried);
    if (tried.ok && settings.IsClearLog) DeleteDump(made, {load.pathname});
    return result;
}

std::string TPassRunner::previousSequence(const std::string& file) const {
    std::string previous;
    for (const TLedgerDump& dump : State().chain) {
        if (dump.file == file) break;
        if (dump.loaded) previous = dump.sequenceNew;
    }
    return previous;
}

void TPassRunner::DeleteSuperseded(const TPassSettings& settings) {
    if (!settings.IsClearLog) return;
    for (const TLedgerDump& old : State().superseded) DeleteDump(old, {old.loadFolder});
}

void TPassRunner::DeleteDump(const TLedgerDump& made, const std::vector<std::string>& folders) {
    std::vector<std::string> paths;
    for (const std::string& folder : folders)
        if (!folder.empty()) paths.push_back(folder + DumpPathSeparator + made.file);
    // The dump folder too when it is seen from here under another name than the load folder.
    paths.push_back(made.folder + DumpPathSeparator + made.file);
    bool first = true;
    for (const std::string& path : paths) {
        // The first path (the load folder's, where the file was always deleted) is deleted
        // whatever is there; the others only when a file is there.
        if (first || services_.fileExists(path)) services_.deleteFile(path);
        first = false;
    }
    Record(
        entryOf(services_.now(), LedgerEvent::Deleted, pair_, made.file, made.folder, made.kind));
}

void TPassRunner::DeleteExpiredDumps(int days) {
    if (days <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (lastExpiry_ && now - *lastExpiry_ < std::chrono::hours(1)) return;
    lastExpiry_ = now;
    const auto before = services_.now() - std::chrono::hours(24) * days;
    // Found by what the ledger made, not by reading dates out of names: every clock format
    // works, and another profile's files in a shared folder are never touched.
    for (const TLedgerDump& old : expiredLedgerDumps(State(), before))
        DeleteDump(old, {old.loadFolder});
}

void TPassRunner::Record(TLedgerEntry entry) {
    try {
        ledger_->Append(std::move(entry));
        ledger_->CompactIfLarge();
        ledgerFailing_ = false;
    } catch (const std::exception& error) {
        if (!ledgerFailing_) {
            services_.errorEntry("The shipping ledger " + ledger_->File().string() +
                                 " cannot be written (" + error.what() + "); shipping goes on");
        }
        ledgerFailing_ = true;
    }
}

void TPassRunner::WaitAfter(const TPassReport& report, bool continuous) {
    if (!report.failed) {
        failuresInARow_ = 0;
        return;
    }
    ++failuresInARow_;
    if (continuous) waitSeconds(backoffSeconds(failuresInARow_));
}

bool TPassRunner::EnsureOpen(client::TSybaseConnect* session, int refusalLimit, bool& refused) {
    if (!session || !session->ConnectionDead()) return true;
    const std::string server = session->ServerName();
    services_.errorEntry("Connection to " + server +
                         " lost; it is opened again before the next pass");
    if (watch_) watch_->SessionLost(server);
    const auto shown = onScopeExit([&] {
        if (watch_) watch_->SessionLost({});
    });
    int refusedInARow = 0;
    for (int attempt = 1; !stop_; ++attempt) {
        waitSeconds(backoffSeconds(attempt));
        if (stop_) break;
        services_.activityLine("Connecting to " + server + " again, try " +
                               std::to_string(attempt));
        const std::uint64_t errorsBefore = session->ServerErrors();
        if (session->Reconnect()) {
            services_.errorEntry("Connection to " + server + " opened again after " +
                                 std::to_string(attempt) + (attempt == 1 ? " try" : " tries"));
            return true;
        }
        // A server that answers "login failed" is there and says no: unlike a lost server,
        // trying on changes nothing but may lock the login.
        const bool saidNo = session->ServerErrors() != errorsBefore &&
                            session->LastServerErrorNumber() == client::kLoginFailed;
        refusedInARow = saidNo ? refusedInARow + 1 : 0;
        if (refusedInARow >= std::max(refusalLimit, 1)) {
            services_.errorEntry("The logon of " + session->UserName() + " to " + server +
                                 " was refused " + std::to_string(refusedInARow) +
                                 " times in a row (" + std::to_string(client::kLoginFailed) +
                                 ": login failed); processing stopped: check the login's "
                                 "password and whether the server locked it");
            refused = true;
            return false;
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
    if (watch_) watch_->ChainBroken(chainBreakText(*status));
    // Entered once for each new answer, not at every pass while it stays.
    if (chainStatus_ == *status) return;
    chainStatus_ = *status;
    services_.errorEntry("The log of " + database +
                         " cannot be dumped: " + chainBreakText(*status) +
                         " (tran_dumpable_status " + std::to_string(*status) + "); " +
                         (fullNext ? "the next pass is a full dump and load"
                                   : "transaction passes fail until a full dump and load"));
}

void TPassRunner::noteAbandonedCall(client::TSybaseConnect& session) {
    const std::optional<std::string> statement = session.TakeAbandonedCall();
    if (!statement) return;
    services_.errorEntry("The call to " + session.ServerName() + " got no answer within " +
                         std::to_string(session.CallLimit()) +
                         " s and was abandoned; its connection is opened again: " + *statement);
}

void TPassRunner::waitSeconds(int seconds) {
    for (int i = 0; i < seconds && !stop_; ++i) services_.sleepSecond();
}

}  // namespace tvr::engine
