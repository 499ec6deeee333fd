#include "engine/ProcessingControl.h"

#include "engine/DumpLoadThread.h"

namespace tvr::engine {

TProcessingControl::TProcessingControl(TWindowState& window, TProcessDisplay& display,
                                       TProcessingHost& host, platform::PromptOwner owner)
    : window_(window), display_(display), host_(host), owner_(owner) {}

void TProcessingControl::StartProcessing() {
    // Filled in with the worker start, the logons and the Backup Server check.
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

TProcessingControl::CloseAction TProcessingControl::CloseAfterExit() {
    RequestStop();
    if (window_.FCloseFromWorker) return CloseAction::Accept;
    if (window_.FWorkerRunning) return CloseAction::Refuse;
    if (window_.FWorker) {
        host_.SaveSettings();
        window_.FWorker.reset();
        window_.ReserveConnection.reset();
    }
    return CloseAction::Accept;
}

}  // namespace tvr::engine
