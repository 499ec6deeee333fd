#include "engine/ProcessingControl.h"

#include "engine/BackupServerCheck.h"
#include "engine/DumpFileName.h"
#include "platform/RegistryError.h"

#include <exception>
#include <stdexcept>

namespace tvr::engine {
namespace {

constexpr const char* kApplicationErrorCaption = "Travenor(TVR)";

// A connection closed by force after a failure is no logon: the next start logs on again
// instead of sending every pass into a dead connection.
bool usable(const std::unique_ptr<client::TSybaseConnect>& connection) {
    return connection && !connection->Failed() && connection->Connection() != nullptr;
}

}  // namespace

TProcessingControl::TProcessingControl(TWindowState& window, TProcessDisplay& display,
                                       TProcessingHost& host, platform::PromptOwner owner,
                                       TWorkerClock clock)
    : window_(window), display_(display), host_(host), owner_(owner), clock_(std::move(clock)) {}

void TProcessingControl::StartProcessing() {
    if (window_.FProcessing) return;
    // A stopped worker may still be inside its last dump; freeing it would make this start
    // wait for it, so the start is refused until it has ended.
    if (window_.FWorker && !window_.FWorker->Finished()) return;

    if (window_.MainConnected && !usable(window_.MainConnection)) window_.MainConnected = false;
    if (window_.ReserveConnected && !usable(window_.ReserveConnection)) {
        window_.ReserveConnected = false;
    }
    if (!window_.MainConnected) host_.LogonMain();
    if (!window_.ReserveConnected) {
        window_.AutoLogon = false;  // the reserve logon shows its dialog
        if (window_.UseReserve) host_.LogonReserve();
    }
    if (window_.MainConnected && (window_.ReserveConnected || !window_.UseReserve)) StartWorker();
}

void TProcessingControl::StartWorker() {
    window_.FExitRequested = false;
    window_.FProcessing = true;
    try {
        RefuseNamesTooLong(host_.StartSettings());
        try {
            host_.SaveSettings();
        } catch (const platform::RegistryError& error) {
            // The worker works from the values in memory; only the stored copy is behind.
            ShowError(error.what());
        }
        display_.SetToolbarSection(ToolbarSection::Start, ToolbarImage::StartOff, false);
        display_.SetToolbarSection(ToolbarSection::Stop, ToolbarImage::StopOn, true);
        display_.SetToolbarSection(ToolbarSection::Settings, ToolbarImage::SettingsOff, false);
        window_.FWorker.reset();

        CheckBackupServer(owner_, *window_.MainConnection);
        if (window_.UseReserve) CheckBackupServer(owner_, *window_.ReserveConnection);

        auto worker = std::make_unique<TDumpLoadThread>(window_, display_, host_, clock_);
        worker->UseReserve = window_.UseReserve;
        worker->MainConnection = window_.MainConnection.get();
        worker->ReserveConnection = window_.ReserveConnection.get();
        worker->StopRequested = false;
        const TStartSettings settings = host_.StartSettings();
        worker->DumpRS = TRS_dump_load{
            settings.IsDumLoadBD ? 0 : 1, settings.ComboDump, 1, 0, settings.EditPathDump, {}};
        worker->LoadRS = TRS_dump_load{
            worker->DumpRS.TypeTrans, settings.ComboLoad, 0, 1, settings.EditPathLoad, {}};
        window_.FWorker = std::move(worker);
    } catch (const std::exception& error) {
        // Nothing runs yet: without this the window would stay "processing" with no worker,
        // and Start would never work again.
        window_.FWorker.reset();
        ReturnToIdle();
        ShowError(error.what());
        return;
    }
    display_.SetActivityBusy(true);
    window_.FWorker->Resume();
}

void TProcessingControl::RefuseNamesTooLong(const TStartSettings& settings) const {
    // The server would cut a longer name to the procedure's parameter without a word, and
    // every pass would work on another database or none.
    for (const std::string* name : {&settings.ComboDump, &settings.ComboLoad}) {
        if (name == &settings.ComboLoad && !window_.UseReserve) continue;
        if (name->size() <= kProcedureNameLimit) continue;
        throw std::runtime_error(
            "Database name \"" + *name + "\" has " + std::to_string(name->size()) +
            " characters; sp_TVR takes at most " + std::to_string(kProcedureNameLimit) +
            ". Processing is not started");
    }
}

void TProcessingControl::ReturnToIdle() {
    window_.FProcessing = false;
    display_.SetToolbarSection(ToolbarSection::Start, ToolbarImage::StartOn, true);
    display_.SetToolbarSection(ToolbarSection::Stop, ToolbarImage::StopOff, false);
    display_.SetToolbarSection(ToolbarSection::Settings, ToolbarImage::SettingsOn, true);
    display_.EnableStart(true);
    display_.SetActivityBusy(false);
    display_.SetProcessState(StateNotActive);
}

void TProcessingControl::ShowError(const std::string& text) {
    std::string shown = text;
    if (!shown.empty() && shown.back() != '.') shown += '.';
    platform::prompts().messageBox(owner_, shown, kApplicationErrorCaption,
                                   platform::PromptButtons::Ok, platform::PromptIcon::Error);
}

bool TProcessingControl::ConfirmStop(const std::string& question) {
    if (!window_.FProcessing) return true;
    if (!platform::prompts().askYesNo(owner_, question, "Message")) return false;
    std::lock_guard lock(window_.FLock);
    window_.FProcessing = false;
    window_.FExitRequested = false;
    display_.SetToolbarSection(ToolbarSection::Stop, ToolbarImage::StopOff, false);
    RequestStop();
    return true;
}

void TProcessingControl::RequestStop() {
    std::lock_guard lock(window_.FLock);
    if (!window_.FWorker) return;
    display_.SetStatusText(PanelState, WaitingText);
    window_.FWorker->StopRequested = true;
}

bool TProcessingControl::ConfirmExit() {
    if (!ConfirmStop(ExitQuestion)) return false;
    window_.FExitRequested = true;
    return true;
}

TProcessingControl::CloseAction TProcessingControl::CloseAfterExit() {
    RequestStop();
    if (window_.FCloseFromWorker) return CloseAction::Accept;
    // Until the worker has finished, including its own close request: freeing it earlier
    // would wait for a thread that waits for this one.
    if (window_.FWorkerRunning || (window_.FWorker && !window_.FWorker->Finished())) {
        return CloseAction::Refuse;
    }
    if (window_.FWorker) {
        try {
            host_.SaveSettings();
        } catch (const std::exception& error) {
            // The program ends all the same; the user learns that the settings were not kept.
            ShowError(error.what());
        }
        window_.FWorker.reset();
        window_.ReserveConnection.reset();
    }
    return CloseAction::Accept;
}

}  // namespace tvr::engine
