#pragma once
// What the logon dialog holds and does apart from its window: the server list, the server,
// login name and password, and the registry key where it remembers the server and login
// name (never the password). The window (TFormConnect) shows these; an automatic logon uses
// them without a window.
#include "platform/Registry.h"

#include <memory>
#include <string>
#include <vector>

namespace tvr::config {

class ConnectForm {
public:
    // `regKey` below HKEY_CURRENT_USER: the base key for the main server, the reserve key
    // for the reserve server. The registry must outlive the form.
    ConnectForm(platform::Registry& registry, std::string regKey, std::string caption);

    // The first half of activation: the server list from sql.ini (or interfaces) below
    // SYBASE. Throws ServerListError and changes nothing when neither file can be read.
    void LoadServerList();
    // The second half: "ServerName" and "UserName" of RegKey (created when missing) into
    // Server and User; a missing value reads as empty, a read error keeps what is left.
    void LoadRememberedNames();
    // Both, as each activation of the dialog runs them: an unreadable list throws
    // ServerListError before the names are read.
    void FormActivate();

    // Ok: takes the three values and remembers the server and login name in RegKey. A
    // registry file that cannot be written throws RegistryError after the values are taken.
    void BtnEnterClick(const std::string& server, const std::string& user,
                       const std::string& password);

    std::string Server;
    std::string User;
    std::string Password;  // never stored
    std::vector<std::string> Servers;

    const std::string& RegKey() const { return regKey_; }
    const std::string& Caption() const { return caption_; }

private:
    platform::Registry& registry_;
    std::string regKey_;
    std::string caption_;
};

// The logon dialog as a window, one per logon call, shown as often as the logon needs.
class LogonDialog {
public:
    virtual ~LogonDialog() = default;
    // Shows the dialog modally: activation runs the form's FormActivate and fills the
    // controls; Ok runs BtnEnterClick. True for Ok, false for Cancel.
    virtual bool ShowModal() = 0;
};

// Makes the logon dialog of one logon call on `form`, which outlives it.
class LogonDialogs {
public:
    virtual ~LogonDialogs() = default;
    virtual std::unique_ptr<LogonDialog> MakeLogonDialog(ConnectForm& form) = 0;
};

}  // namespace tvr::config
