#include "config/FailoverCommand.h"

#include "client/LogFileNames.h"
#include "config/CommandLine.h"
#include "config/Logons.h"
#include "config/PasswordSources.h"
#include "config/RunLogs.h"
#include "config/RunOptions.h"
#include "config/SettingsError.h"
#include "config/SettingsKeys.h"
#include "config/SettingsStore.h"
#include "engine/FailoverControl.h"
#include "platform/ComputerName.h"
#include "platform/Environment.h"
#include "platform/InstanceGuard.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/StopSignals.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <stdexcept>

namespace tvr::config {
namespace {

// Loading without windows: nothing to show.
class NoWindows final : public SettingsHost {
public:
    void setUseReserve(bool) override {}
    void showIntervalField(bool) override {}
    void ApplySettings() override {}
    void setFolderPickerStarts(const FolderPickerStarts&) override {}
};

// A fault of the settings or the command line: nothing was sent.
struct ConfigFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string loginOf(const platform::Registry& registry, const std::string& key) {
    std::string user;
    registry.readText(key, "UserName", user);
    return user;
}

constexpr std::int32_t kLoginFailed = 4002;

// A session logged on without a dialog; none when the server does not answer. A server that
// answers and refuses the logon is a fault of the logon name or the password: counted as lost,
// a main server that is up would not have the tail of its log saved, and once the reserve is
// online that tail can no longer follow.
std::shared_ptr<client::TSybaseConnect> logOn(const std::string& role, const std::string& server,
                                              const std::string& user,
                                              const std::string& password) {
    auto session = std::make_shared<client::TSybaseConnect>(
        server, user, password, client::LogFileName(), client::ErrorLogFileName());
    session->SetProperty(CS_HOSTNAME, platform::computerName());
    session->SetProperty(CS_APPNAME, kApplicationName);
    try {
        session->Connect();
    } catch (const std::exception&) {
        return nullptr;
    }
    if (session->RetCode() == CS_SUCCEED) return session;
    if (session->LastServerErrorNumber() == kLoginFailed)
        throw ConfigFault("the " + role + " server " + server + " refused the logon of " + user +
                          " (Login failed); give its password and fail over again (to fail over "
                          "without the tail of the log, stop the main server first)");
    return nullptr;
}

int failOver(const std::vector<std::string>& parameters, std::ostream& out) {
    std::vector<std::string> rest;
    std::copy_if(parameters.begin(), parameters.end(), std::back_inserter(rest),
                 [](const std::string& p) { return p != kFailoverOption && p != kFenceOption; });
    const bool fence =
        std::find(parameters.begin(), parameters.end(), kFenceOption) != parameters.end();
    // The profile chooses the settings, the logs and the instance guard.
    const RunOptions options = takeRunOptions(rest);
    if (options.service) throw ConfigFault("--failover and --service do not go together");
    if (options.profile) platform::setProfile(*options.profile);
    if (!platform::sybaseInstalled()) throw ConfigFault("SYBASE is not set");
    // A running program would go on shipping beside the failover: it is stopped first, as
    // its own Exit or a SIGTERM does (the pass under way finishes).
    const platform::InstanceGuard guard;
    if (guard.state() == platform::InstanceGuard::State::HeldElsewhere)
        throw ConfigFault(
            "Travenor runs on these settings; stop it first (Exit, or SIGTERM), then fail over");

    // SIGTERM and SIGINT never cut the failover short between the fence or the tail and
    // `online database`: they are taken over from here on, and the failover asks for them
    // once, at its safe point before anything is sent to the main server.
    platform::StopSignals signals;
    int caught = 0;
    const auto stopRequested = [&] {
        if (!caught) caught = signals.take();
        return caught != 0;
    };

    const CommandLineValues passwords = parseCommandLine(withPasswordSources(rest));

    platform::Registry registry;
    LiveSettings live;
    NoWindows noWindows;
    LoadSettings(registry, live, noWindows);
    const TDumpLoadSettings s = live.snapshot();
    if (!s.IsReserv) throw ConfigFault("no reserve server is in use");
    if (s.MainServerName.empty() || s.ReservServerName.empty() || s.ComboDump.empty() ||
        s.ComboLoad.empty())
        throw ConfigFault("the settings name no pair of servers and databases; set them up first");

    openRunLogs(live);

    // A main server that does not answer the logon counts as lost; one that refuses it ends
    // the command before anything is sent.
    const auto main =
        logOn("main", s.MainServerName, loginOf(registry, std::string(kSettingsBaseKey)),
              passwords.mainPassword.value_or(""));
    const auto reserve = logOn("reserve", s.ReservServerName, loginOf(registry, reserveKeyPath()),
                               passwords.reservePassword.value_or(""));
    const engine::TFailoverPlan plan{
        s.MainServerName, s.ComboDump,    s.EditPathDump, s.ReservServerName,
        s.ComboLoad,      s.EditPathLoad, false,          fence};
    engine::TFailoverReport report;
    try {
        engine::TFailoverServices services = engine::programFailoverServices(
            engine::ledgerFileBeside(registry.file()).string(), plan);
        services.stopRequested = stopRequested;
        report =
            engine::runFailover(engine::TPassSessions{main.get(), reserve.get()}, plan, services);
    } catch (const std::exception& error) {
        // Steps may have been sent: the failover stopped, it was no fault of the settings.
        report.stopped = error.what();
    }
    out << "Failover " << engine::failoverReportText(plan, report) << "\n";
    if (stopRequested() && report.done)
        out << platform::signalName(caught)
            << " came after the failover's safe point: it ran to its end.\n";
    out << std::flush;
    return report.done ? kFailoverDone : kFailoverStopped;
}

}  // namespace

bool isFailoverCommand(const std::vector<std::string>& parameters) {
    const auto has = [&](const char* option) {
        return std::find(parameters.begin(), parameters.end(), option) != parameters.end();
    };
    // Asking for the usage or the version never fails over.
    return has(kFailoverOption) && !has("--help") && !has("--version");
}

int runFailoverCommand(const std::vector<std::string>& parameters, std::ostream& out,
                       std::ostream& err) {
    try {
        return failOver(parameters, out);
    } catch (const ConfigFault& fault) {
        err << "tvr: " << fault.what() << "\n" << std::flush;
        return kFailoverConfigFault;
    } catch (const std::exception& fault) {
        // The settings or the registry file cannot be read: nothing was sent.
        err << "tvr: " << fault.what() << "\n" << std::flush;
        return kFailoverConfigFault;
    }
}

}  // namespace tvr::config
