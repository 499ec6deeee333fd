#include "engine/ProcessingControl.h"

#include "client/LogWriter.h"
#include "engine/BackupServerCheck.h"
#include "engine/DumpFileName.h"
#include "engine/ReserveChecks.h"
#include "engine/StartDecision.h"
#include "platform/CommandError.h"
#include "platform/Profile.h"
#include "platform/RegionalSettings.h"
#include "platform/RegistryError.h"

#include <exception>
#include <stdexcept>

namespace tvr::engine {
namespace {

// A connection closed by force after a failure is no logon: the next start logs on again
// instead of sending every pass into a dead connection.
bool usable(const std::shared_ptr<client::TSybaseConnect>& connection) {
    return connection && !connection->Failed() && connection->Connection() != nullptr;
}

}  // namespace

TProcessingControl::TProcessingControl(TConnections& connections, TRunFlags& flags,
                                       TWorkerRun& worker, TProcessDisplay& display,
                                       TProcessingHost& host, client::LogViews views,
                                       platform::PromptOwner owner, TWorkerClock clock)
    : connections_(connections),
      flags_(flags),
      worker_(worker),
      display_(display),
      host_(host),
      views_(views),
      owner_(owner),
      clock_(std::move(clock)) {}

bool TProcessingControl::Running() const { return flags_.FProcessing || !worker_.Ended(); }

std::string reseedQuestion(const std::string& mainServer, const std::string& mainDatabase,
                           const std::string& reserveServer, const std::string& reserveDatabase) {
    return "Re-seed the reserve? Database " + reserveDatabase + " on server " + reserveServer +
           " is replaced by a full dump of " + mainDatabase + " from " + mainServer +
           "; whatever was written there since its last load is lost.";
}

void TProcessingControl::Reseed() {
    if (Running()) return;
    const TStartSettings settings = host_.StartSettings();
    const auto names = host_.ServerNames();
    if (!platform::prompts().askYesNoDefaultNo(
            owner_,
            reseedQuestion(names.first, settings.ComboDump, names.second, settings.ComboLoad),
            "Message"))
        return;
    StartProcessing(StartKind::Reseed);
}

void TProcessingControl::StartProcessing(StartKind kind) {
    if (flags_.FProcessing) return;
    // A stopped worker may still be inside its last dump; freeing it would make this start
    // wait for it, so the start is refused until it has ended.
    if (!worker_.Ended()) return;

    if (connections_.MainConnected && !usable(connections_.MainConnection)) {
        connections_.MainConnected = false;
    }
    if (connections_.ReserveConnected && !usable(connections_.ReserveConnection)) {
        connections_.ReserveConnected = false;
    }
    if (!connections_.MainConnected) host_.LogonMain();
    if (!connections_.ReserveConnected) {
        connections_.AutoLogon = false;  // the reserve logon shows its dialog
        if (flags_.UseReserve) host_.LogonReserve();
    }
    if (connections_.MainConnected && (connections_.ReserveConnected || !flags_.UseReserve)) {
        StartWorker(kind);
    }
}

void TProcessingControl::StartWorker(StartKind kind) {
    flags_.FExitRequested = false;
    flags_.FProcessing = true;
    // At once, not when the worker gets going: a Start and Settings queued right behind this
    // one must find them off.
    display_.EnableStart(false);
    try {
        const TStartSettings settings = host_.StartSettings();
        RefuseNamesTooLong(settings);
        RefuseFoldersTooLong(settings);
        try {
            host_.SaveSettings();
        } catch (const platform::RegistryError& error) {
            // The worker works from the values in memory; only the stored copy is behind.
            ShowError(error.what());
        }
        display_.SetToolbarSection(ToolbarSection::Start, ToolbarImage::StartOff, false);
        display_.SetToolbarSection(ToolbarSection::Stop, ToolbarImage::StopOn, true);
        display_.SetToolbarSection(ToolbarSection::Settings, ToolbarImage::SettingsOff, false);
        worker_.ReleaseEnded();

        CheckBackupServer(owner_, *connections_.MainConnection);
        if (flags_.UseReserve) CheckBackupServer(owner_, *connections_.ReserveConnection);
        bool full = true;
        if (!DecideFirstPass(kind, settings, full)) {
            ReturnToIdle();
            return;
        }

        auto worker = std::make_unique<TDumpLoadThread>(flags_, display_, host_, views_, clock_);
        worker->UseReserve = flags_.UseReserve;
        worker->MetricsFile = connections_.MetricsFile;
        // The worker's own shares: a logon that replaces a slot during the run leaves these.
        worker->MainConnection = connections_.MainConnection;
        if (worker->UseReserve) worker->ReserveConnection = connections_.ReserveConnection;
        worker->StopRequested = false;
        worker->Ledger = ledger_;
        worker->Reseed = kind == StartKind::Reseed;
        worker->DumpRS =
            TRS_dump_load{full ? 0 : 1, settings.ComboDump, 1, 0, settings.EditPathDump, {}};
        worker->LoadRS = TRS_dump_load{
            worker->DumpRS.TypeTrans, settings.ComboLoad, 0, 1, settings.EditPathLoad, {}};
        worker_.Take(std::move(worker));
    } catch (const std::exception& error) {
        // Nothing runs yet: without this the window would stay "processing" with no worker,
        // and Start would never work again.
        worker_.ReleaseEnded();
        ReturnToIdle();
        ShowError(error.what());
        return;
    }
    display_.SetActivityBusy(true);
    worker_->Resume();
}

void TProcessingControl::RefuseNamesTooLong(const TStartSettings& settings) const {
    // The server would cut a longer name to the procedure's parameter without a word, and
    // every pass would work on another database or none.
    for (const std::string* name : {&settings.ComboDump, &settings.ComboLoad}) {
        if (name == &settings.ComboLoad && !flags_.UseReserve) continue;
        if (name->size() <= kProcedureNameLimit) continue;
        throw std::runtime_error(
            "Database name \"" + *name + "\" has " + std::to_string(name->size()) +
            " characters; sp_TVR takes at most " + std::to_string(kProcedureNameLimit) +
            ". Processing is not started");
    }
}

void TProcessingControl::RefuseFoldersTooLong(const TStartSettings& settings) const {
    // The server cuts a longer device path without a word: the name loses its extension, then
    // its seconds, and passes end up writing and loading one another's files.
    const std::size_t longestName = longestDumpFileName(
        platform::profileQualified(settings.ComboDump), platform::regionalFormats());
    for (const std::string* folder : {&settings.EditPathDump, &settings.EditPathLoad}) {
        if (folder == &settings.EditPathLoad && !flags_.UseReserve) continue;
        const std::size_t length = folder->size() + 1 + longestName;
        if (length <= kProcedureDeviceLimit) continue;
        throw std::runtime_error(
            "The folder \"" + *folder + "\" makes device paths of up to " + std::to_string(length) +
            " characters (the folder, a separator and a file name of " + "up to " +
            std::to_string(longestName) + "); sp_TVR takes at most " +
            std::to_string(kProcedureDeviceLimit) + ". Processing is not started");
    }
}

bool TProcessingControl::DecideFirstPass(StartKind kind, const TStartSettings& settings,
                                         bool& full) {
    const std::string file = host_.LedgerFile();
    if (!ledger_ || ledger_->File() != file) {
        ledger_ = std::make_shared<TShippingLedger>(file);
        ledgerSkippedShown_ = 0;
    }
    ledger_->Read();
    if (ledger_->Skipped() > ledgerSkippedShown_) {
        ErrorEntry("The shipping ledger " + file + " has " + std::to_string(ledger_->Skipped()) +
                   " line(s) that are no entry (a write cut short); they are left out");
    }
    ledgerSkippedShown_ = ledger_->Skipped();
    try {
        ledger_->CompactIfLarge();
    } catch (const std::exception& error) {
        // The ledger stays as it is, only larger than it needs to be.
        ErrorEntry("The shipping ledger " + file + " cannot be compacted (" + error.what() + ")");
    }

    TStartFacts facts;
    facts.kind = kind;
    facts.useReserve = flags_.UseReserve;
    facts.isDumLoadBD = settings.IsDumLoadBD;
    facts.isResumeChain = settings.IsResumeChain;
    facts.reserveDatabase = settings.ComboLoad;
    TShippingPair pair;
    pair.mainServer = connections_.MainConnection->ServerName();
    pair.mainDatabase = settings.ComboDump;
    if (flags_.UseReserve) {
        client::TSybaseConnect& reserve = *connections_.ReserveConnection;
        facts.reserveServer = pair.reserveServer = reserve.ServerName();
        pair.reserveDatabase = settings.ComboLoad;
        facts.reserve = databaseState(reserve, settings.ComboLoad);
    }
    const TStartDecision decision =
        decideFirstPass(ledgerState(ledger_->Entries(), pair.key()), facts);
    if (!decision.refusal.empty()) {
        ErrorEntry(decision.refusal);
        // Unattended, the entry is all: nobody would answer a box.
        if (!connections_.AutoStart) ShowError(decision.refusal);
        return false;
    }
    if (!decision.activity.empty()) ActivityLine(decision.activity);
    full = decision.full;
    return true;
}

void TProcessingControl::ErrorEntry(const std::string& text) {
    const auto& main = connections_.MainConnection;
    client::writeProgramError(
        text, {main ? main->LogFile() : std::string(), main ? main->ErrorLogFile() : std::string()},
        views_);
}

void TProcessingControl::ActivityLine(const std::string& text) {
    const auto& main = connections_.MainConnection;
    if (main)
        client::PrintToLog(text + "  " + client::logTimeNow(), main->LogFile(), views_.activity);
}

void TProcessingControl::ReturnToIdle() {
    flags_.FProcessing = false;
    display_.SetToolbarSection(ToolbarSection::Start, ToolbarImage::StartOn, true);
    display_.SetToolbarSection(ToolbarSection::Stop, ToolbarImage::StopOff, false);
    display_.SetToolbarSection(ToolbarSection::Settings, ToolbarImage::SettingsOn, true);
    display_.EnableStart(true);
    display_.SetActivityBusy(false);
    display_.SetProcessState(StateNotActive);
}

void TProcessingControl::ShowError(const std::string& text) {
    platform::reportCommandError(text, owner_);
}

bool TProcessingControl::ConfirmStop(const std::string& question) {
    if (!flags_.FProcessing) return true;
    if (!platform::prompts().askYesNo(owner_, question, "Message")) return false;
    Stop();
    return true;
}

void TProcessingControl::Stop() {
    if (!flags_.FProcessing) return;
    std::lock_guard lock(flags_.FLock);
    flags_.FProcessing = false;
    flags_.FExitRequested = false;
    display_.SetToolbarSection(ToolbarSection::Stop, ToolbarImage::StopOff, false);
    RequestStop();
}

void TProcessingControl::RequestStop() {
    std::lock_guard lock(flags_.FLock);
    if (!worker_) return;
    // A run that ended by itself while the question was open has shown its end already;
    // "Waiting..." would stay for ever.
    if (flags_.FWorkerRunning) display_.SetStatusText(PanelState, WaitingText);
    worker_.AskToStop();
}

bool TProcessingControl::ConfirmExit() {
    if (!ConfirmStop(ExitQuestion)) return false;
    flags_.FExitRequested = true;
    return true;
}

TProcessingControl::CloseAction TProcessingControl::CloseAfterExit() {
    RequestStop();
    if (flags_.FCloseFromWorker) return CloseAction::Accept;
    // Until the worker has finished, including its own close request: freeing it earlier
    // would wait for a thread that waits for this one. Its WorkerEnded asks again.
    if (flags_.FWorkerRunning || !worker_.Ended()) return CloseAction::Refuse;
    if (worker_) {
        try {
            host_.SaveSettings();
        } catch (const std::exception& error) {
            // The program ends all the same; the user learns that the settings were not kept.
            ShowError(error.what());
        }
        worker_.ReleaseEnded();
        connections_.ReserveConnection.reset();
    }
    return CloseAction::Accept;
}

}  // namespace tvr::engine
