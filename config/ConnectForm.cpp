#include "config/ConnectForm.h"

#include "config/ServerList.h"
#include "platform/Environment.h"

namespace tvr::config {

using platform::RegStatus;

ConnectForm::ConnectForm(platform::Registry& registry, std::string regKey, std::string caption)
    : registry_(registry), regKey_(std::move(regKey)), caption_(std::move(caption)) {}

void ConnectForm::LoadServerList() { Servers = readServerList(platform::sybaseValue()); }

void ConnectForm::LoadRememberedNames() {
    // Registry trouble here only costs the prefilled names.
    try {
        registry_.createKey(regKey_);
        std::string server;
        std::string user;
        RegStatus status = registry_.readText(regKey_, "ServerName", server);
        if (status == RegStatus::Ok || status == RegStatus::NotFound) {
            Server = server;
            status = registry_.readText(regKey_, "UserName", user);
            if (status == RegStatus::Ok || status == RegStatus::NotFound) User = user;
        }
    } catch (const std::exception&) {
    }
}

void ConnectForm::FormActivate() {
    LoadServerList();
    LoadRememberedNames();
}

void ConnectForm::BtnEnterClick(const std::string& server, const std::string& user,
                                const std::string& password) {
    Server = server;
    User = user;
    Password = password;
    registry_.createKey(regKey_);
    registry_.writeText(regKey_, "ServerName", Server);
    registry_.writeText(regKey_, "UserName", User);
}

}  // namespace tvr::config
