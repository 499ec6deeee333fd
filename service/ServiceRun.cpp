#include "service/ServiceRun.h"

#include "client/LogBacklog.h"
#include "client/LogWriter.h"
#include "client/MessageHandlers.h"
#include "config/ProcedureMarker.h"
#include "config/RunLogs.h"
#include "config/SettingsProcessingHost.h"
#include "config/SettingsStore.h"
#include "engine/ProcessingControl.h"
#include "platform/Environment.h"
#include "platform/InstanceGuard.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/StopSignals.h"
#include "service/ServiceFault.h"

#include <poll.h>

#include <cerrno>

namespace tvr::service {
namespace {

// What loading the settings does beyond them: only the run's UseReserve, since there is
// nothing to show.
class ServiceSettingsHost final : public config::SettingsHost {
public:
    explicit ServiceSettingsHost(engine::TRunFlags& flags) : flags_(flags) {}
    void setUseReserve(bool useReserve) override { flags_.UseReserve = useReserve; }
    void showIntervalField(bool) override {}
    void ApplySettings() override {}
    void setFolderPickerStarts(const config::FolderPickerStarts&) override {}

private:
    engine::TRunFlags& flags_;
};

std::string profileWords() {
    const std::string& profile = platform::profileName();
    return profile.empty() ? "the default profile" : "profile " + profile;
}

// Creates the file when missing; the writes of the run would otherwise fail pass after pass
// with nobody to see it.
void requireWritable(const std::string& file, const char* what) {
    try {
        client::AppendToLog("", file, false);
    } catch (const client::LogFileError&) {
        throw ServiceFault(std::string("cannot write the ") + what + " \"" + file +
                           "\": check its folder setting and the folder's permissions");
    }
}

}  // namespace

ServiceRun::ServiceRun(std::ostream& err, engine::StartKind start) : err_(err), startKind_(start) {
    previousPrompts_ = platform::setPrompts(&prompts_);
    previousErrorView_ = client::setErrorLogView(&echo_);
    previousView_ = client::setLogView(nullptr);
}

ServiceRun::~ServiceRun() {
    // The worker first: it uses everything below. It has normally ended already.
    control_.reset();
    worker_.StopAndFree();
    client::setLogView(previousView_);
    client::setErrorLogView(previousErrorView_);
    platform::setPrompts(previousPrompts_);
}

int ServiceRun::run(const std::vector<std::string>& parameters) {
    try {
        start(parameters);
    } catch (const ServiceFault& fault) {
        err_ << "tvr: " << fault.what() << "\n" << std::flush;
        return fault.code();
    } catch (const std::exception& fault) {
        err_ << "tvr: " << fault.what() << "\n" << std::flush;
        return kConfigurationFault;
    }
    return waitForEnd();
}

void ServiceRun::start(const std::vector<std::string>& parameters) {
    // From the first moment: a stop during the logons is taken once they are done.
    signals_ = std::make_unique<platform::StopSignals>();
    const ServicePasswords passwords = servicePasswords(parameters);
    if (!passwords.main)
        throw ServiceFault(
            "no password for the main server: give --password-file FILE with a line "
            "P1:<password>, or set TVR_P1");
    if (passwords.metricsFile) connections_.MetricsFile = *passwords.metricsFile;
    if (!platform::sybaseInstalled())
        throw ServiceFault("SYBASE is not set: it names the Open Client folder");

    guard_ = std::make_unique<platform::InstanceGuard>();
    if (guard_->state() == platform::InstanceGuard::State::HeldElsewhere)
        throw ServiceFault("another Travenor runs " + profileWords() + " (its guard is \"" +
                           platform::InstanceGuard::defaultLockFile().string() + "\")");
    if (guard_->state() == platform::InstanceGuard::State::Failed)
        err_ << "tvr: no single-instance guard: " << guard_->error() << "\n";

    loadSettings();
    if (startKind_ == engine::StartKind::Reseed && !flags_.UseReserve)
        throw ServiceFault("--reseed needs a reserve server, and " + profileWords() +
                           " uses none (Use Reserve Server is off)");
    if (flags_.UseReserve && !passwords.reserve)
        throw ServiceFault(
            "no password for the reserve server: give --password-file FILE with a line "
            "P2:<password>, or set TVR_P2");
    openLogs();
    logOn(passwords);
}

void ServiceRun::loadSettings() {
    registry_ = std::make_unique<platform::Registry>();
    // Before anything is written: a missing file is a profile never set up, not one to make.
    if (!config::readProcedureInstalled(*registry_))
        throw ServiceFault("the first setup of " + profileWords() +
                           " is not done (registry file \"" + registry_->file().string() +
                           "\"): run tvr on a desktop once and save its settings, or use "
                           "tvr_first_setup");
    ServiceSettingsHost host(flags_);
    config::LoadSettings(*registry_, live_, host);
}

void ServiceRun::openLogs() {
    logFiles_ = config::openRunLogs(live_);
    requireWritable(logFiles_.activity, "activity log");
    requireWritable(logFiles_.error, "error log");
    // A log that stops taking entries later is told to tvr --check through this file.
    client::setLogFaultFile(client::logFaultFileBeside(registry_->file()));
}

void ServiceRun::logOn(const ServicePasswords& passwords) {
    dialogs_ = std::make_unique<config::NoLogonDialogs>();
    logons_ = std::make_unique<config::TLogons>(connections_, flags_, worker_, display_, live_,
                                                *registry_, *dialogs_, logFiles_);
    host_ = std::make_unique<config::TSettingsProcessingHost>(*logons_, live_, *registry_);
    // The worker's own error entries are echoed as the client layer's are; no activity view.
    control_ = std::make_unique<engine::TProcessingControl>(
        connections_, flags_, worker_, display_, *host_, client::LogViews{nullptr, &echo_});
    logons_->SetAutomaticStart([this] {
        if (!takeSignal()) control_->StartProcessing(startKind_);
    });

    const config::TDumpLoadSettings s = live_.snapshot();
    err_ << "tvr: " << profileWords() << ": " << s.MainServerName << "." << s.ComboDump;
    if (flags_.UseReserve) err_ << " to " << s.ReservServerName << "." << s.ComboLoad;
    if (startKind_ == engine::StartKind::Reseed)
        err_ << ", re-seeding " << s.ReservServerName << "." << s.ComboLoad << " first";
    err_ << ", activity log \"" << logFiles_.activity << "\"\n" << std::flush;

    std::vector<std::string> logon{"P1:" + *passwords.main};
    if (passwords.reserve) logon.push_back("P2:" + *passwords.reserve);
    logon.push_back("-A");
    client::setLogView(&clientMessages_);
    logons_->StartupLogon(logon);
    client::setLogView(nullptr);

    const std::string seeLog = " (the reason is above and in \"" + logFiles_.activity + "\")";
    // A refusal is not tried again by a restart a minute later: that would lock the login.
    const bool refused = client::LastServerMessage().msgnumber == client::kLoginFailed;
    const int code = refused ? kLogonRefused : kConfigurationFault;
    if (connections_.LogonPending)
        throw ServiceFault((refused ? "the main server refused the logon to \""
                                    : "cannot log on to the main server \"") +
                               s.MainServerName + "\"" + seeLog,
                           code);
    if (stopSignal_ || worker_) return;
    if (flags_.UseReserve && !connections_.ReserveConnected)
        throw ServiceFault((refused ? "the reserve server refused the logon to \""
                                    : "cannot log on to the reserve server \"") +
                               s.ReservServerName + "\"" + seeLog,
                           code);
    throw ServiceFault("processing did not start" + seeLog);
}

bool ServiceRun::takeSignal() {
    const int signal = signals_->take();
    if (signal) stopBySignal(signal);
    return signal != 0;
}

void ServiceRun::stopBySignal(int signal) {
    if (!stopSignal_) {
        try {
            client::PrintToLog(
                "Stopped by " + platform::signalName(signal) + "  " + client::logTimeNow(),
                logFiles_.activity);
        } catch (const client::LogFileError&) {
            // The stop goes on; the log's trouble is the worker's to report.
        }
        err_ << "tvr: stopping on " << platform::signalName(signal)
             << ": the pass under way finishes first if it can\n"
             << std::flush;
        deadline_ = std::make_unique<StopDeadline>(reportStopDeadline, 0);
    }
    stopSignal_ = signal;
    control_->Stop();
}

int ServiceRun::waitForEnd() {
    while (!worker_.Ended()) {
        pollfd watched[2] = {{signals_->descriptor(), POLLIN, 0},
                             {display_.descriptor(), POLLIN, 0}};
        // The timeout only guards against a wake-up lost in a way not foreseen.
        if (::poll(watched, 2, 1000) < 0 && errno != EINTR) break;
        takeSignal();
        display_.drain();
    }
    worker_.ReleaseEnded();
    // The sessions log out here, not at the process's end.
    connections_.MainConnection.reset();
    connections_.ReserveConnection.reset();
    if (stopSignal_) {
        err_ << "tvr: stopped\n" << std::flush;
        return 0;
    }
    err_ << "tvr: processing stopped by itself (the reason is above and in \"" << logFiles_.error
         << "\")\n"
         << std::flush;
    return flags_.FLogonRefused ? kLogonRefused : kConfigurationFault;
}

}  // namespace tvr::service
