#include "config/Logons.h"

#include "client/LogWriter.h"
#include "client/Sybase.h"
#include "client/TextLines.h"
#include "config/CommandLine.h"
#include "config/ServerList.h"
#include "config/SettingsKeys.h"
#include "engine/DumpLoadThread.h"
#include "platform/ComputerName.h"
#include "platform/Prompts.h"

namespace tvr::config {
namespace {

using client::TSybaseConnect;

constexpr const char* kMainCaption = "Main Server Logon";
constexpr const char* kReserveCaption = "Reserve Server Logon";

// The main window's receiver accepts every event and does nothing with it.
class IgnoringReceiver final : public client::TEventReceiver {
public:
    void ReceiveEvent(const client::TEventCT&) override {}
};
IgnoringReceiver ignoringReceiver;

}  // namespace

std::vector<std::string> databaseList(const std::vector<std::string>& colTexts) {
    if (colTexts.empty() || colTexts.front().empty()) return {};
    std::string text = colTexts.front();
    text.pop_back();
    std::vector<std::string> names = client::splitLines(text);
    if (!names.empty()) names.erase(names.begin());
    return names;
}

TLogons::TLogons(engine::TConnections& connections, const engine::TRunFlags& flags,
                 engine::TWorkerRun& worker, engine::TProcessDisplay& display, LiveSettings& live,
                 platform::Registry& registry, LogonDialogs& dialogs, const LogFileNames& logFiles)
    : connections_(connections),
      flags_(flags),
      worker_(worker),
      display_(display),
      live_(live),
      registry_(registry),
      dialogs_(dialogs),
      logFiles_(logFiles) {}

bool TLogons::Connect(std::shared_ptr<TSybaseConnect>& slot, const ConnectForm& form) {
    slot.reset();
    slot = std::make_shared<TSybaseConnect>(form.Server, form.User, form.Password, "", "");
    slot->SetLogFile(logFiles_.activity);
    slot->SetErrorLogFile(logFiles_.error);
    client::setEventReceiver(receiver_ ? receiver_ : &ignoringReceiver);
    slot->SetProperty(CS_HOSTNAME, platform::computerName());
    slot->SetProperty(CS_APPNAME, kApplicationName);
    try {
        slot->Connect();
    } catch (const std::exception&) {
        platform::prompts().messageBox(nullptr, "Unable establish connection", "Error",
                                       platform::PromptButtons::Ok, platform::PromptIcon::None);
        return false;
    }
    return slot->RetCode() == CS_SUCCEED;
}

void TLogons::ActivateWithoutDialog(ConnectForm& form) {
    try {
        form.LoadServerList();
    } catch (const ServerListError& e) {
        // Nobody watches an automatic logon: the error log keeps the reason.
        client::writeProgramError(e.what(), {logFiles_.error}, false);
    }
    form.LoadRememberedNames();
}

void TLogons::ShowServerName(ServerRole role, const std::string& name) {
    live_.edit([&](TDumpLoadSettings& s) {
        (role == ServerRole::Main ? s.MainServerName : s.ReservServerName) = name;
    });
    if (form_) form_->ShowServerName(role, name);
}

void TLogons::FillDatabaseList(ServerRole role, TSybaseConnect& connection) {
    connection.Execute(kDatabaseListQuery);
    const std::vector<std::string> names = databaseList(connection.ColTexts());
    if (form_) form_->SetDatabaseList(role, names);
}

void TLogons::ResetReserveInfo() {
    if (!connections_.ReserveConnected) {
        if (flags_.UseReserve && worker_.ReleaseEnded()) display_.SetActivityBusy(false);
        for (int panel :
             {engine::PanelReserveServer, engine::PanelLoadDatabase, engine::PanelReserveLogin})
            display_.SetStatusText(panel, "");
        connections_.ReserveConnection.reset();
    }
    if (resetReserveInfo_) resetReserveInfo_();
}

namespace {

// What differs between the two logons: the dialog, the panels, the database shown.
struct RoleLogon {
    const char* caption;
    int serverPanel;
    int databasePanel;
    int loginPanel;
    std::string TDumpLoadSettings::*database;
};

const RoleLogon& roleLogon(ServerRole role) {
    static const RoleLogon kMain{kMainCaption, engine::PanelMainServer, engine::PanelDumpDatabase,
                                 engine::PanelMainLogin, &TDumpLoadSettings::ComboDump};
    static const RoleLogon kReserve{kReserveCaption, engine::PanelReserveServer,
                                    engine::PanelLoadDatabase, engine::PanelReserveLogin,
                                    &TDumpLoadSettings::ComboLoad};
    return role == ServerRole::Main ? kMain : kReserve;
}

}  // namespace

void TLogons::Logon(ServerRole role) {
    const bool main = role == ServerRole::Main;
    const RoleLogon& logon = roleLogon(role);
    std::shared_ptr<TSybaseConnect>& slot =
        main ? connections_.MainConnection : connections_.ReserveConnection;
    std::atomic<bool>& connected =
        main ? connections_.MainConnected : connections_.ReserveConnected;
    slot.reset();
    ConnectForm form(registry_, main ? std::string(kSettingsBaseKey) : reserveKeyPath(),
                     logon.caption);
    std::unique_ptr<LogonDialog> dialog = dialogs_.MakeLogonDialog(form);
    for (;;) {
        bool ok = true;
        // The main server's logon without a dialog is the start-up's own (StartupLogon).
        if (!main && connections_.AutoLogon) {
            ActivateWithoutDialog(form);
            form.Password = connections_.ReservePassword;
        } else {
            ok = dialog->ShowModal();
        }
        if (!ok) {
            slot.reset();
            return;
        }
        if (Connect(slot, form)) break;
        connected = false;
        connections_.AutoLogon = false;
    }
    TSybaseConnect& connection = *slot;
    display_.SetStatusText(logon.serverPanel, form.Server);
    display_.SetStatusText(logon.databasePanel, live_.read(logon.database));
    display_.SetStatusText(logon.loginPanel, form.User);
    FillDatabaseList(role, connection);
    connected = true;
    ShowServerName(role, connection.ServerName());
    if (!main) return;
    ResetReserveInfo();
    ShowServerName(ServerRole::Main, form.Server);
    display_.SetInfoCell(0, 1, form.Server);
}

namespace {

class NoLogonDialog final : public LogonDialog {
public:
    bool ShowModal() override { return false; }
};

}  // namespace

std::unique_ptr<LogonDialog> NoLogonDialogs::MakeLogonDialog(ConnectForm&) {
    return std::make_unique<NoLogonDialog>();
}

void TLogons::StartupLogon(const std::vector<std::string>& parameters) {
    ConnectForm form(registry_, std::string(kSettingsBaseKey), kMainCaption);
    std::unique_ptr<LogonDialog> dialog = dialogs_.MakeLogonDialog(form);
    connections_.LogonPending = true;
    connections_.ReserveConnected = false;
    connections_.MainConnected = false;
    connections_.AutoLogon = false;
    connections_.AutoStart = false;
    if (storeCommandLine(parameters, connections_) == kAutomaticLogon) {
        connections_.AutoLogon = true;
        ActivateWithoutDialog(form);
        form.Password = connections_.MainPassword;
    }
    while (connections_.LogonPending) {
        if (!connections_.AutoLogon && !dialog->ShowModal()) break;
        if (Connect(connections_.MainConnection, form)) {
            connections_.MainConnection->Execute("use master");
            connections_.LogonPending = false;
            connections_.MainConnected = true;
            display_.SetStatusText(engine::PanelMainServer, form.Server);
            display_.SetStatusText(engine::PanelMainLogin, form.User);
        } else {
            connections_.AutoLogon = false;
        }
    }
    if (connections_.LogonPending) {
        // Cancelled: no connection is left behind, not even a refused one.
        connections_.MainConnection.reset();
        return;
    }
    ResetReserveInfo();
    ShowServerName(ServerRole::Main, form.Server);
    display_.SetInfoCell(0, 1, form.Server);
    if (!connections_.AutoLogon) return;

    if (flags_.UseReserve) LogonReserve();
    if (connections_.AutoStart) {
        mainWindowHidden_ = true;
        // Before the worker exists: afterwards the connection is the worker's.
        RefreshMainDatabases();
        if (automaticStart_) automaticStart_();
    }
}

void TLogons::RefreshMainDatabases() {
    if (!connections_.MainConnection) return;
    if (flags_.FProcessing || flags_.FWorkerRunning) return;
    TSybaseConnect& connection = *connections_.MainConnection;
    connection.Execute(kDatabaseListQuery);
    display_.SetStatusText(engine::PanelMainServer, connection.ServerName());
    if (form_) form_->SetDatabaseList(ServerRole::Main, databaseList(connection.ColTexts()));
    ShowServerName(ServerRole::Main, connection.ServerName());
}

}  // namespace tvr::config
