#pragma once
// What the engine, the logons and the settings show in the main window, without knowing the
// window: the processing state, the commands' enabled states, the toolbar sections, the info
// grid and the status panels. The main window implements it; tests implement it with a
// recorder.
//
// Threads: the worker calls SetProcessState, RefreshTray, EnableStart, SetToolbarSection,
// SetActivityBusy, RequestClose and WorkerEnded from its own thread, the rest of the program calls
// everything from the GUI thread. An implementation carries each call to the GUI thread in
// the order made; it may return before the change is on screen, but RequestClose returns only
// once the window's close handler has run. The GUI thread never waits for the worker.
#include "engine/PassWatch.h"

#include <array>
#include <string>

namespace tvr::engine {

// The six sections of the header toolbar, by index.
enum class ToolbarSection { Start = 0, Stop = 1, Settings = 2, Help = 3, About = 4, Exit = 5 };

// The images of the toolbar's image list, by role.
namespace ToolbarImage {
inline constexpr int StartOn = 1;
inline constexpr int StopOn = 2;
inline constexpr int SettingsOn = 3;
inline constexpr int Help = 4;
inline constexpr int About = 5;
inline constexpr int Exit = 6;
inline constexpr int StartOff = 7;
inline constexpr int StopOff = 8;
inline constexpr int SettingsOff = 11;
}  // namespace ToolbarImage

// Processing states as SetProcessState shows them.
enum ProcessState : int { StateNotActive = 0, StateProcessing = 1, StateSleeping = 2 };

// The text of status panel 0 (and of the tray hint's second line) for a state; nullptr for a
// value that is not a state.
inline const char* processStateText(int state) {
    switch (state) {
        case StateNotActive:
            return "Not active...";
        case StateProcessing:
            return "Processing...";
        case StateSleeping:
            return "Sleeping...";
        default:
            return nullptr;
    }
}

// Status panel 0 between a confirmed stop and the worker's next state change.
inline constexpr const char* WaitingText = "Waiting...";

// The status bar's nine panels.
enum StatusPanel : int {
    PanelState = 0,
    PanelDumpLabel = 1,
    PanelMainServer = 2,
    PanelDumpDatabase = 3,
    PanelMainLogin = 4,
    PanelLoadLabel = 5,
    PanelReserveServer = 6,
    PanelLoadDatabase = 7,
    PanelReserveLogin = 8,
};

// One row of the info grid: role, server, database, folder.
using InfoRow = std::array<std::string, 4>;

// It also shows the watch over the standby (TWatchDisplay), called from the worker's ticker.
class TProcessDisplay : public TWatchDisplay {
public:
    virtual ~TProcessDisplay() = default;

    // 0 "Not active...", 1 "Processing...", 2 "Sleeping..." in panel 0 and the tray hint;
    // the tray image becomes the state (reloaded only when it changes).
    virtual void SetProcessState(int state) = 0;
    // Has the notification area repainted; nothing where the desktop repaints by itself.
    virtual void RefreshTray() = 0;
    // Under FLock: tray "Start", Actions/Start and Tools/Settings take `enabled`, tray "Stop"
    // and Actions/Stop the opposite. The toolbar is not touched.
    virtual void EnableStart(bool enabled) = 0;
    // A toolbar section's image and whether it takes clicks.
    virtual void SetToolbarSection(ToolbarSection section, int image, bool clickable) = 0;
    // The busy pointer over the Activity view while processing runs.
    virtual void SetActivityBusy(bool busy) = 0;
    // The worker's close request after Exit: returns once the close handler has run.
    virtual void RequestClose() = 0;
    // The worker's last call, once its run has ended: from here on it may be freed. An Exit
    // confirmed while the run was ending completes here.
    virtual void WorkerEnded() {}

    // GUI thread only: the status panels and the info grid.
    virtual void SetStatusText(int panel, const std::string& text) = 0;
    // The grid holds `rows` rows (1 or 2); rows beyond it are dropped.
    virtual void SetInfoRowCount(int rows) = 0;
    virtual void SetInfoRow(int row, const InfoRow& cells) = 0;
    // Rewrites one cell (the server name of row 0 after a main-server logon).
    virtual void SetInfoCell(int row, int column, const std::string& text) = 0;
    // Tray "Main" enabled or not (off while the settings dialog is open).
    virtual void EnableTrayMain(bool enabled) = 0;
};

}  // namespace tvr::engine
