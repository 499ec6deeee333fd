#include "config/InstallProcedure.h"

#include "client/RunQuery.h"
#include "engine/ProcedureScript.h"
#include "platform/Prompts.h"

#include <optional>

namespace tvr::config {
namespace {

void showError(const std::string& text, platform::PromptIcon icon) {
    platform::prompts().messageBox(nullptr, text, "Error", platform::PromptButtons::Ok, icon);
}

// Runs the script; true when the runner reports a failure or cannot even write it.
bool installFailed(client::TRunQuery& runner) {
    try {
        return runner.RunInstallScript(std::string(engine::SpTvrInstallScript));
    } catch (const std::exception&) {
        return true;
    }
}

}  // namespace

std::string installFailedText(const std::string& server) {
    return "The procedure sp_TVR was not installed on server " + server +
           ".\r\nThe Activity log holds the server's messages.";
}

bool InstallProcedure(const engine::TConnections& connections, bool useReserve) {
    std::string error;
    std::optional<client::TRunQuery> mainRunner;
    std::optional<client::TRunQuery> reserveRunner;
    if (connections.MainConnection)
        mainRunner.emplace(*connections.MainConnection);
    else
        error = "unable to establish connection with Main Server";
    if (useReserve) {
        if (connections.ReserveConnection)
            reserveRunner.emplace(*connections.ReserveConnection);
        else
            error += "\r\nunable to establish connection with Reserve Server";
    }
    if (!error.empty()) {
        showError(error, platform::PromptIcon::None);
        return true;
    }

    std::string failedOn;
    if (installFailed(*mainRunner)) failedOn = connections.MainConnection->ServerName();
    if (reserveRunner && installFailed(*reserveRunner))
        failedOn += (failedOn.empty() ? "" : ", ") + connections.ReserveConnection->ServerName();
    if (failedOn.empty()) return false;
    showError(installFailedText(failedOn), platform::PromptIcon::Error);
    return true;
}

}  // namespace tvr::config
