#pragma once
// One run of the program without a window (tvr --service): the start-up the window's makes,
// minus everything that needs someone at a screen. The instance guard, the settings of the
// profile, the two log files, the unattended logons with the passwords of ServicePasswords, and
// the start of processing; then it waits until SIGTERM or SIGINT stops the run as a confirmed
// Stop does (the pass under way finishes if it can within seconds, StopDeadline.h; the
// connections log out, exit code 0), or until the
// worker ends by itself after a failure it cannot go past (exit code 1; 4 when a server
// refused the logon, at the start or again and again later, which a restart must not retry). Boxes become error
// entries (ServicePrompts) and every error entry is echoed on standard error (ErrorEcho).
// A configuration fault ends the run before any pass with its reason on standard error and
// exit code 1.
#include "config/LiveSettings.h"
#include "config/Logons.h"
#include "engine/Connections.h"
#include "engine/ProcessingControl.h"
#include "engine/RunFlags.h"
#include "engine/WorkerRun.h"
#include "service/ErrorEcho.h"
#include "service/ServiceDisplay.h"
#include "service/ServicePasswords.h"
#include "service/ServicePrompts.h"
#include "service/StopDeadline.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tvr::platform {
class InstanceGuard;
class Registry;
class StopSignals;
}  // namespace tvr::platform
namespace tvr::config {
class TSettingsProcessingHost;
}

namespace tvr::service {

class ServiceRun {
public:
    // `err` takes the lines of the start, the stop and a fault (standard error in the program).
    // `start` is the kind of the run's start: a re-seed when the command line asked for one
    // ("--reseed"), which no one is asked about.
    explicit ServiceRun(std::ostream& err, engine::StartKind start = engine::StartKind::Normal);
    ~ServiceRun();
    ServiceRun(const ServiceRun&) = delete;
    ServiceRun& operator=(const ServiceRun&) = delete;

    // `parameters`: the command line without the program's name and the options of the run
    // (config::takeRunOptions). The exit code. Call once.
    int run(const std::vector<std::string>& parameters);

private:
    // Everything up to the running worker; throws the fault that keeps the run from starting.
    void start(const std::vector<std::string>& parameters);
    void loadSettings();
    void openLogs();
    void logOn(const ServicePasswords& passwords);
    // Waits for a stop signal or the worker's end; the exit code.
    int waitForEnd();
    void stopBySignal(int signal);
    // A pending signal, taken and acted on; true when there was one.
    bool takeSignal();

    std::ostream& err_;
    engine::StartKind startKind_;
    ServicePrompts prompts_;
    platform::Prompts* previousPrompts_ = nullptr;
    ErrorEcho echo_;
    ClientMessageEcho clientMessages_{echo_};
    client::LogSink* previousErrorView_ = nullptr;
    client::LogSink* previousView_ = nullptr;
    std::unique_ptr<platform::StopSignals> signals_;
    std::unique_ptr<platform::InstanceGuard> guard_;
    std::unique_ptr<platform::Registry> registry_;
    config::LiveSettings live_;
    config::LogFileNames logFiles_;
    // The run-time state a window would hold; the worker, which uses all of it, is freed first.
    engine::TConnections connections_;
    engine::TRunFlags flags_;
    ServiceDisplay display_;
    engine::TWorkerRun worker_;
    std::unique_ptr<config::LogonDialogs> dialogs_;
    std::unique_ptr<config::TLogons> logons_;
    std::unique_ptr<config::TSettingsProcessingHost> host_;
    std::unique_ptr<engine::TProcessingControl> control_;
    int stopSignal_ = 0;
    // From the first stop signal: the end within seconds that the signal promises.
    std::unique_ptr<StopDeadline> deadline_;
};

}  // namespace tvr::service
