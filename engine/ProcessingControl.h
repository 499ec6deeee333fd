#pragma once
// The control side of the engine, run by the main window on the GUI thread: the start of
// processing (logons where needed, the settings saved, the Backup Server checks, the worker
// created, filled and started), the stop after a question, and the close handler's part of
// an Exit while a worker may still be inside a pass.
#include "engine/ProcessDisplay.h"
#include "engine/ProcessingHost.h"
#include "engine/WindowState.h"
#include "platform/Prompts.h"

#include <string>

namespace tvr::engine {

class TProcessingControl {
public:
    // `owner` owns the message boxes (the main window); nothing is owned here.
    TProcessingControl(TWindowState& window, TProcessDisplay& display, TProcessingHost& host,
                       platform::PromptOwner owner = nullptr);

    void StartProcessing();
    // True when processing is not running or the user agreed to stop it.
    bool ConfirmStop(const std::string& question);
    void RequestStop();

    // What the window's close handler does once Exit was confirmed (FExitRequested set):
    // Refuse while the worker's run goes on (it asks again when it ends), Accept otherwise,
    // after saving the settings and freeing the last worker when there was one.
    enum class CloseAction { Refuse, Accept };
    CloseAction CloseAfterExit();

private:
    TWindowState& window_;
    TProcessDisplay& display_;
    TProcessingHost& host_;
    platform::PromptOwner owner_;
};

}  // namespace tvr::engine
