// tvr_first_setup: the first setup of a workstation done from the command line, as the
// settings dialog does it on the first start: log on to both servers, store the settings
// (the database pair, the folders, the interval, the remembered server and login names),
// install sp_TVR on both servers from the program's own script, and set the marker that the
// procedure is installed. The demo and the end-to-end tests use it to prepare a workstation
// in a registry file of their own ($TVR_REGISTRY) without clicking through the dialog.
#include "client/MessageHandlers.h"
#include "client/RunQuery.h"
#include "client/Sybase.h"
#include "config/ProcedureMarker.h"
#include "config/SettingsKeys.h"
#include "config/SettingsStore.h"
#include "engine/ProcedureScript.h"
#include "platform/ComputerName.h"
#include "platform/Profile.h"
#include "platform/Registry.h"

#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace {

using tvr::client::TSybaseConnect;

constexpr std::string_view kUsage =
    "usage: tvr_first_setup --main-server S --main-database DB --reserve-server S\n"
    "                       --reserve-database DB --dump-folder DIR --load-folder DIR\n"
    "                       --log-folder DIR [--error-log-folder DIR] [--user NAME]\n"
    "                       [--main-password P] [--reserve-password P] [--interval TEXT]\n"
    "                       [--clear-dumps] [--no-full-first-pass] [--view-lines N]\n"
    "                       [--resume-chain] [--profile NAME]\n"
    "       tvr_first_setup --help\n"
    "Writes the settings to the registry file of the program ($TVR_REGISTRY, else the\n"
    "user's own; the profile's own with --profile) and installs sp_TVR on both servers\n"
    "(found through FreeTDS). --resume-chain: a start goes on with the reserve's log chain\n"
    "where it stands instead of shipping the whole database again (for a service that\n"
    "systemd restarts).\n";

// Each option and whether it takes a value.
const std::map<std::string, bool, std::less<>> kOptions = {{"--main-server", true},
                                                           {"--main-database", true},
                                                           {"--reserve-server", true},
                                                           {"--reserve-database", true},
                                                           {"--dump-folder", true},
                                                           {"--load-folder", true},
                                                           {"--log-folder", true},
                                                           {"--error-log-folder", true},
                                                           {"--user", true},
                                                           {"--main-password", true},
                                                           {"--reserve-password", true},
                                                           {"--interval", true},
                                                           {"--clear-dumps", false},
                                                           {"--no-full-first-pass", false},
                                                           {"--view-lines", true},
                                                           {"--resume-chain", false},
                                                           {"--profile", true}};

const char* const kRequired[] = {"--main-server",      "--main-database", "--reserve-server",
                                 "--reserve-database", "--dump-folder",   "--load-folder",
                                 "--log-folder"};

// An open connection made the way the program's logons make it: host name and the
// program's application name set before connecting.
std::unique_ptr<TSybaseConnect> logon(const std::string& server, const std::string& user,
                                      const std::string& password) {
    auto connection = std::make_unique<TSybaseConnect>(server, user, password, "", "");
    connection->SetProperty(CS_HOSTNAME, tvr::platform::computerName());
    connection->SetProperty(CS_APPNAME, "Ulmaris");
    if (connection->Connect() != CS_SUCCEED) return nullptr;
    return connection;
}

bool installProcedure(TSybaseConnect& connection) {
    tvr::client::TRunQuery runner(connection);
    runner.RunScript(std::string(tvr::engine::SpTvrInstallScript));
    if (!connection.ServerError()) return true;
    std::fprintf(stderr, "tvr_first_setup: sp_TVR was not installed on %s: %s\n",
                 connection.ServerName().c_str(), tvr::client::lastServerMessageText().c_str());
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help") {
            std::fputs(kUsage.data(), stdout);
            return 0;
        }
    }
    std::map<std::string, std::string, std::less<>> values;
    for (int i = 1; i < argc; ++i) {
        const auto option = kOptions.find(std::string_view(argv[i]));
        if (option == kOptions.end() || (option->second && i + 1 >= argc)) {
            std::fprintf(stderr, "tvr_first_setup: bad argument '%s'\n%s", argv[i], kUsage.data());
            return 2;
        }
        values[option->first] = option->second ? argv[++i] : "";
    }
    for (const char* required : kRequired) {
        if (!values.contains(required)) {
            std::fprintf(stderr, "tvr_first_setup: %s is missing\n%s", required, kUsage.data());
            return 2;
        }
    }
    const auto value = [&](std::string_view name, std::string fallback = {}) {
        const auto found = values.find(name);
        return found == values.end() ? fallback : found->second;
    };
    const std::string user = value("--user", "sa");
    try {
        if (values.contains("--profile")) tvr::platform::setProfile(value("--profile"));
    } catch (const tvr::platform::ProfileError& error) {
        std::fprintf(stderr, "tvr_first_setup: %s\n", error.what());
        return 2;
    }

    const auto main = logon(value("--main-server"), user, value("--main-password"));
    const auto reserve = logon(value("--reserve-server"), user, value("--reserve-password"));
    if (!main || !reserve) {
        std::fprintf(stderr, "tvr_first_setup: cannot log on to %s\n",
                     (!main ? value("--main-server") : value("--reserve-server")).c_str());
        return 1;
    }

    try {
        tvr::config::TDumpLoadSettings settings;
        settings.MainServerName = value("--main-server");
        settings.ReservServerName = value("--reserve-server");
        settings.IsReserv = true;
        settings.IsDumLoadBD = !values.contains("--no-full-first-pass");
        settings.IsClearLog = values.contains("--clear-dumps");
        settings.IsInterval = values.contains("--interval");
        settings.EditInterval = value("--interval", "00:00");
        settings.ComboDump = value("--main-database");
        settings.EditPathDump = value("--dump-folder");
        settings.ComboLoad = value("--reserve-database");
        settings.EditPathLoad = value("--load-folder");
        settings.EditLogPath = value("--log-folder");
        settings.EditErrorLogPath = value("--error-log-folder", settings.EditLogPath);
        settings.EditLogViewLines = value("--view-lines", settings.EditLogViewLines);
        settings.IsResumeChain = values.contains("--resume-chain");

        tvr::platform::Registry registry;
        // What the two logon dialogs remember on Ok.
        const std::string base(tvr::config::kSettingsBaseKey);
        registry.writeText(base, "ServerName", settings.MainServerName);
        registry.writeText(base, "UserName", user);
        registry.writeText(tvr::config::reserveKeyPath(), "ServerName", settings.ReservServerName);
        registry.writeText(tvr::config::reserveKeyPath(), "UserName", user);
        tvr::config::SaveSettings(registry, tvr::config::LiveSettings(settings));

        if (!installProcedure(*main) || !installProcedure(*reserve)) return 1;
        tvr::config::writeProcedureInstalled(registry);
        std::printf("Workstation set up in %s: %s.%s -> %s.%s, sp_TVR installed on both.\n",
                    registry.file().c_str(), settings.MainServerName.c_str(),
                    settings.ComboDump.c_str(), settings.ReservServerName.c_str(),
                    settings.ComboLoad.c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tvr_first_setup: %s\n", error.what());
        return 1;
    }
    return 0;
}
