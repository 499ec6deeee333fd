#include "engine/FailoverControl.h"

#include "client/LogFileNames.h"
#include "client/LogWriter.h"
#include "engine/PassHistory.h"
#include "platform/RegionalSettings.h"

#include <chrono>
#include <filesystem>

namespace tvr::engine {
namespace {

// Read by a stop's deadline on its own thread, which may outlive every window and control.
std::atomic<int> failoversUnderWay{0};

}  // namespace

bool failoverUnderWay() { return failoversUnderWay.load() > 0; }

TFailoverServices programFailoverServices(const std::string& ledgerFile,
                                          const TFailoverPlan& plan) {
    const std::string pair = shippingPairOf(plan).key();
    return {
        [](const std::string& text) {
            client::PrintToLog(text + "  " + client::logTimeNow(), client::LogFileName());
        },
        [](const std::string& text) {
            client::writeProgramError(text, {client::LogFileName(), client::ErrorLogFileName()},
                                      true);
        },
        [ledgerFile, pair](const std::string& database) {
            TShippingLedger ledger(ledgerFile);
            ledger.Read();
            auto dumps = shippedDumpsFromLedger(ledger.Entries(), pair);
            if (!dumps.empty()) return dumps;
            // A log folder from before the ledger: the pass history and the activity logs
            // (<database>DDMMYYYY.log, one a day) lie beside the run's log file.
            const std::string folder =
                std::filesystem::path(client::LogFileName()).parent_path().string();
            return recordedShippedDumps(
                folder, database, [&] { return activityLogsText(folder, database); },
                std::chrono::system_clock::now());
        },
        [ledgerFile, pair, plan](const TPassRecord& record) {
            TShippingLedger ledger(ledgerFile);
            recordTailInLedger(ledger, pair, record, plan.dumpFolder, plan.loadFolder);
            // Where the worker writes it; a log file without a folder has no history, as there.
            const auto folder = std::filesystem::path(client::LogFileName()).parent_path();
            if (!folder.empty()) appendPassRecord(folder.string(), record);
        },
        [](const std::string& path) {
            std::error_code error;
            return std::filesystem::exists(path, error);
        },
        [] { return platform::localNow(); },
        [] { return std::chrono::system_clock::now(); },
        [ledgerFile](const TFailoverPlan& done) {
            TShippingLedger ledger(ledgerFile);
            recordPromoted(ledger, done.planned, std::chrono::system_clock::now());
        },
    };
}

TFailoverControl::TFailoverControl(TConnections& connections, TWorkerRun& worker,
                                   TProcessingControl& control, TProcessingHost& host,
                                   platform::PromptOwner owner)
    : connections_(connections), worker_(worker), control_(control), host_(host), owner_(owner) {}

TFailoverControl::~TFailoverControl() {
    if (thread_.joinable()) thread_.join();
}

TFailoverPlan TFailoverControl::Plan(bool planned) const {
    const TStartSettings s = host_.StartSettings();
    const auto [mainName, reserveName] = host_.ServerNames();
    const auto server = [](const std::shared_ptr<client::TSybaseConnect>& session,
                           const std::string& stored) {
        return session ? session->ServerName() : stored;
    };
    return {server(connections_.MainConnection, mainName),
            s.ComboDump,
            s.EditPathDump,
            server(connections_.ReserveConnection, reserveName),
            s.ComboLoad,
            s.EditPathLoad,
            planned,
            planned};
}

bool TFailoverControl::RequestStop() {
    if (!running_ || stopRequested_.exchange(true)) return running_;
    activityLine_(
        "Failover: the program is ending: the failover stops before anything is sent to the main "
        "server, or, past that point, runs to its end; the program ends with its report");
    return true;
}

bool TFailoverControl::Start(bool planned, Finished finished) {
    if (running_) return false;
    auto& prompts = platform::prompts();
    if (!prompts.askYesNoDefaultNo(owner_, failoverQuestion(Plan(planned)), "Message"))
        return false;
    // The failover needs the reserve, and asks the main server before it counts it as lost:
    // a session of it that went away opens again with its own password (runFailover), and
    // with none the logon is asked for. The logons run only while no worker does: sessions
    // are not replaced under a pass.
    if (worker_.Ended()) {
        if (!connections_.MainConnection) host_.LogonMain();
        if (!connections_.ReserveConnected) host_.LogonReserve();
    }
    if (!connections_.ReserveConnected) return false;
    TFailoverPlan plan = Plan(planned);
    if (!connections_.MainConnection) {
        if (planned) return false;
        if (!prompts.askYesNoDefaultNo(owner_,
                                       "The main server " + plan.mainServer +
                                           " is not logged on. Fail over without it? The tail "
                                           "of the log of " +
                                           plan.mainDatabase +
                                           " is not saved, and it is not fenced.",
                                       "Message"))
            return false;
    } else if (!planned) {
        plan.fence = prompts.askYesNoDefaultNo(owner_, fenceQuestion(plan), "Message");
    }
    // The stop a confirmed Stop makes: the pass under way finishes, no other starts.
    if (control_.Running()) control_.Stop();

    if (thread_.joinable()) thread_.join();  // the last one has reported: it has ended
    running_ = true;
    ++failoversUnderWay;
    done_ = false;
    stopRequested_ = false;
    // A share of the worker: the GUI thread may let it go once it has ended.
    std::shared_ptr<const TDumpLoadThread> worker = worker_.Share();
    // The thread's own share of each session: a logon that replaces a slot meanwhile
    // never frees a session under it.
    const auto main = connections_.MainConnection;
    const auto reserve = connections_.ReserveConnection;
    TFailoverServices services =
        services_ ? *services_ : programFailoverServices(host_.LedgerFile(), plan);
    services.stopRequested = [this] { return stopRequested_.load(); };
    activityLine_ = services.activityLine;
    thread_ =
        std::thread([this, worker = std::move(worker), plan, main, reserve,
                     services = std::move(services), finished = std::move(finished)]() mutable {
            // Until the worker has ended it may still use the sessions (its last pass).
            while (worker && !worker->Finished())
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            worker.reset();
            TFailoverReport report;
            try {
                report = runFailover(TPassSessions{main.get(), reserve.get()}, plan, services);
            } catch (const std::exception& error) {
                report.stopped = error.what();
            }
            done_ = report.done;
            running_ = false;
            --failoversUnderWay;
            if (finished) finished(plan, report);
        });
    return true;
}

}  // namespace tvr::engine
