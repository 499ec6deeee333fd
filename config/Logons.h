#pragma once
// The logons to the main and the reserve server: with the logon dialog, or without it with
// the passwords of the command line, and the start-up logon that reads that command line.
// A successful logon leaves the open connection and its flag in the window state, shows the
// server, database and login in the status panels and fills the settings dialog's database
// list and server name. Everything here runs on the GUI thread while no worker uses the
// connections.
#include "client/Events.h"
#include "config/ConnectForm.h"
#include "config/LiveSettings.h"
#include "engine/Connections.h"
#include "engine/ProcessDisplay.h"
#include "engine/RunFlags.h"
#include "engine/WorkerRun.h"
#include "platform/Registry.h"

#include <functional>
#include <string>
#include <vector>

namespace tvr::config {

// The application name every connection sends to the server.
inline constexpr const char* kApplicationName = "Ulmaris";
// The statement whose single column lists a server's databases.
inline constexpr const char* kDatabaseListQuery =
    "select name from master..sysdatabases order by name";

// The two log files of the run, fixed by program start before any logon.
struct LogFileNames {
    std::string activity;
    std::string error;
};

enum class ServerRole { Main, Reserve };

// The logon dialogs of a run nobody watches (the service, an unattended start): never shown,
// always cancelled, so that a logon that fails with the unattended passwords ends instead of
// waiting for a user.
class NoLogonDialogs final : public LogonDialogs {
public:
    std::unique_ptr<LogonDialog> MakeLogonDialog(ConnectForm& form) override;
};

// What a logon changes in the settings dialog beyond the live settings.
class SettingsFormView {
public:
    virtual ~SettingsFormView() = default;
    // The drop-down list of ComboDump (main) or ComboLoad (reserve); the typed name stays.
    virtual void SetDatabaseList(ServerRole role, const std::vector<std::string>& names) = 0;
    // MainServerName or ReservServerName shows `name` (the live settings already hold it).
    virtual void ShowServerName(ServerRole role, const std::string& name) = 0;
};

// The database names in the result of kDatabaseListQuery as the connection keeps it: the
// first column's text without its last character, in lines, the heading line removed.
std::vector<std::string> databaseList(const std::vector<std::string>& colTexts);

class TLogons {
public:
    // Nothing is owned; all must outlive the object. `logFiles` is read at each connection,
    // so program start may fill it after construction.
    TLogons(engine::TConnections& connections, const engine::TRunFlags& flags,
            engine::TWorkerRun& worker, engine::TProcessDisplay& display, LiveSettings& live,
            platform::Registry& registry, LogonDialogs& dialogs, const LogFileNames& logFiles);

    // The settings dialog, once it exists (may stay none in tests of the logons alone).
    void SetSettingsForm(SettingsFormView* form) { form_ = form; }
    // The main window as the receiver of the client layer's events; without one, an
    // receiver that ignores every event is installed.
    void SetEventReceiver(client::TEventReceiver* receiver) { receiver_ = receiver; }
    // What the main window adds to ResetReserveInfo (binding its views); nothing when empty.
    void SetResetReserveInfo(std::function<void()> reset) { resetReserveInfo_ = std::move(reset); }
    // What the automatic start does once the logons and the database list are done:
    // start processing (TProcessingControl::StartProcessing). Program start wires it.
    void SetAutomaticStart(std::function<void()> start) { automaticStart_ = std::move(start); }

    // Logon dialog "Main Server Logon" or "Reserve Server Logon" until a connection is made
    // or the user cancels; for the reserve with AutoLogon set the first attempt uses
    // ReservePassword without the dialog. A log file that cannot be written while the
    // database list is read raises LogFileError.
    void Logon(ServerRole role);
    void LogonMain() { Logon(ServerRole::Main); }
    void LogonReserve() { Logon(ServerRole::Reserve); }
    // Once at program start with its parameters (see takeCommandLine). Afterwards
    // LogonPending tells whether the main server is still not logged on (the user
    // cancelled). With one to three parameters including "P1:" the logons run without the
    // dialog, the reserve logon follows when a reserve server is in use, and with "-A" the
    // automatic start runs: the main window stays hidden (MainWindowHidden) and processing
    // is started through SetAutomaticStart.
    void StartupLogon(const std::vector<std::string>& parameters);
    // Re-reads the main server's database list into ComboDump. Does nothing without a main
    // connection, and while processing runs, when the worker may be using the connection.
    void RefreshMainDatabases();
    // When no reserve server is logged on: panels 6 to 8 emptied and ReserveConnection
    // dropped; with a reserve server in use also the busy pointer and a worker whose run has
    // ended (a running one keeps its own share of the connection and is left alone). Then
    // the hook of SetResetReserveInfo.
    void ResetReserveInfo();

    // True once the automatic start has run: program start does not show the main window.
    bool MainWindowHidden() const { return mainWindowHidden_; }

private:
    // The connection procedure; true when the connection is made.
    bool Connect(std::shared_ptr<client::TSybaseConnect>& slot, const ConnectForm& form);
    // The form's activation outside a shown dialog: an unreadable server list goes to the
    // error log and the remembered names are read all the same.
    void ActivateWithoutDialog(ConnectForm& form);
    void ShowServerName(ServerRole role, const std::string& name);
    void FillDatabaseList(ServerRole role, client::TSybaseConnect& connection);

    engine::TConnections& connections_;
    const engine::TRunFlags& flags_;
    engine::TWorkerRun& worker_;
    engine::TProcessDisplay& display_;
    LiveSettings& live_;
    platform::Registry& registry_;
    LogonDialogs& dialogs_;
    const LogFileNames& logFiles_;
    SettingsFormView* form_ = nullptr;
    client::TEventReceiver* receiver_ = nullptr;
    std::function<void()> resetReserveInfo_;
    std::function<void()> automaticStart_;
    bool mainWindowHidden_ = false;
};

}  // namespace tvr::config
