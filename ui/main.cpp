// Travenor: one instance per user, started where an Open Client installation is visible, by
// hand or unattended ("P1:<main password> P2:<reserve password> -A", "--reseed" to replace
// the reserve database at that start).
#include "client/LogFileNames.h"
#include "client/LogWriter.h"
#include "client/MessageHandlers.h"
#include "config/CommandLine.h"
#include "config/FailoverCommand.h"
#include "config/Logons.h"
#include "config/PasswordSources.h"
#include "config/RunOptions.h"
#include "config/StandbyCheck.h"
#include "config/StandbyStatus.h"
#include "engine/FailoverControl.h"
#include "platform/CommandError.h"
#include "platform/Profile.h"
#include "platform/Prompts.h"
#include "service/ServiceFault.h"
#include "service/ServiceRun.h"
#include "service/StopDeadline.h"
#include "ui/FormDumpLoad.h"
#include "ui/ProgramStart.h"
#include "ui/QtPrompts.h"
#include "ui/StopOnSignal.h"
#include "ui/TerminalStart.h"
#include "ui/UnattendedPrompts.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

// Qt's message boxes answer every prompt of the process while main runs; with "-A" only those
// a person at the window is there for, the others becoming error entries and notifications
// (UnattendedPrompts). With TVR_PROMPTS set to "stderr" they are written to standard error
// and answered with their default button instead, for runs where nobody could ever answer a
// box (the tests of the whole program).
class InstalledPrompts {
public:
    explicit InstalledPrompts(bool unattended) {
        const char* choice = std::getenv("TVR_PROMPTS");
        if (choice && std::strcmp(choice, "stderr") == 0) return;
        previous_ = tvr::platform::setPrompts(
            unattended ? static_cast<tvr::platform::Prompts*>(&unattended_) : &prompts_);
    }
    ~InstalledPrompts() { tvr::platform::setPrompts(previous_); }
    InstalledPrompts(const InstalledPrompts&) = delete;
    InstalledPrompts& operator=(const InstalledPrompts&) = delete;

private:
    tvr::ui::QtPrompts prompts_;
    tvr::ui::UnattendedPrompts unattended_{prompts_};
    tvr::platform::Prompts* previous_ = nullptr;
};

// An unattended start that cannot ship ends as the service does: an error entry (and its line
// on standard error) and an exit code, instead of a window nobody looks at.
int unattendedFault(const std::string& text, int code) {
    tvr::client::writeProgramError(
        text, {tvr::client::LogFileName(), tvr::client::ErrorLogFileName()}, true);
    std::cerr << "tvr: " << text << "\n" << std::flush;
    return code;
}

// The exit code of an unattended start whose logon did not succeed: its own when the server
// refused the login, so that whatever restarts the program does not lock the login.
int logonFault() {
    const bool refused = tvr::client::LastServerMessage().msgnumber == tvr::client::kLoginFailed;
    return unattendedFault(
        refused ? "the main server refused the logon; nothing is tried again until tvr is "
                  "started again"
                : "cannot log on to the main server (the reason is in the activity log)",
        refused ? tvr::service::kLogonRefused : tvr::service::kConfigurationFault);
}

// SIGTERM or SIGINT (systemd, a shutdown, Ctrl+C) stops as a confirmed Exit does: the pass
// under way finishes if it can within seconds (StopDeadline.h: a box or a server that does not
// answer does not hold the end up), the connections log out, and the program ends with exit
// code 0.
void stopBySignal(tvr::ui::ProgramStart& start, int signal) {
    try {
        tvr::client::PrintToLog(
            "Stopped by " + tvr::platform::signalName(signal) + "  " + tvr::client::logTimeNow(),
            start.logFileName());
    } catch (const tvr::client::LogFileError&) {
        // The stop goes on; the log's trouble shows with its next entry.
    }
    start.formDumpLoad()->ExitWithoutQuestion();
}

// The options of the run taken out of `parameters` and applied (the profile); nothing, with
// the reason on standard error, when one cannot be used.
std::optional<tvr::config::RunOptions> applyRunOptions(std::vector<std::string>& parameters) {
    try {
        const tvr::config::RunOptions options = tvr::config::takeRunOptions(parameters);
        if (options.profile) tvr::platform::setProfile(*options.profile);
        return options;
    } catch (const std::runtime_error& error) {
        std::cerr << "tvr: " << error.what() << "\n" << std::flush;
        return std::nullopt;
    }
}

// "--reseed" asks for the start itself: with the window it goes with "-A", the start that
// asks no question; without one the user would get no start to re-seed.
tvr::engine::StartKind firstStartKind(const tvr::config::RunOptions& options) {
    return options.reseed ? tvr::engine::StartKind::Reseed : tvr::engine::StartKind::Normal;
}

// Without a window and without Qt's application: nothing here may need a display.
int runService(int argc, char** argv) {
    std::vector<std::string> parameters = tvr::config::takeCommandLine(argc, argv);
    const auto options = applyRunOptions(parameters);
    if (!options) return 1;
    tvr::service::ServiceRun service(std::cerr, firstStartKind(*options));
    return service.run(parameters);
}

}  // namespace

int main(int argc, char* argv[]) {
    // The failover needs no display: it runs before anything of the windows.
    if (tvr::config::isFailoverCommand(std::vector<std::string>(argv + 1, argv + argc)))
        return tvr::config::runFailoverCommand(tvr::config::takeCommandLine(argc, argv), std::cout,
                                               std::cerr);
    // The check a monitoring system runs needs no display and opens no window.
    if (const auto code = tvr::config::answerCheck(argc, argv, std::cout)) return *code;
    if (const auto code = tvr::config::answerStatus(argc, argv, std::cout)) return *code;
    if (const auto code = tvr::ui::answerOnTerminal(argc, argv, std::cout, std::cerr)) return *code;
    if (tvr::ui::serviceRequested(argc, argv)) return runService(argc, argv);
    // Qt takes its own options (-platform, -style) out of argv first; the rest is ours, and
    // the passwords leave the process list as soon as they are copied.
    tvr::ui::watchPlatformStart();
    QApplication app(argc, argv);
    tvr::ui::endPlatformWatch();
    std::vector<std::string> parameters = tvr::config::takeCommandLine(argc, argv);
    const auto options = applyRunOptions(parameters);
    if (!options) return 1;
    try {
        parameters = tvr::config::withPasswordSources(parameters);
    } catch (const tvr::config::PasswordSourceError& error) {
        std::cerr << "tvr: " << error.what() << "\n" << std::flush;
        return 1;
    }
    const bool unattended = tvr::config::parseCommandLine(parameters).autoStart;
    if (options->reseed && !unattended) {
        std::cerr << "tvr: " << tvr::config::kReseedOption
                  << " goes with -A or --service; with the window use Actions, Re-seed the "
                     "reserve...\n"
                  << std::flush;
        return 1;
    }
    const InstalledPrompts prompts(unattended);
    // Before the start, so that it also covers the windows' end (which waits for the worker).
    std::unique_ptr<tvr::service::StopDeadline> deadline;
    try {
        tvr::ui::ProgramStart start(std::move(parameters));
        start.setAutomaticStartKind(firstStartKind(*options));
        start.setUnattended(unattended);
        const auto outcome = start.begin();
        if (unattended && outcome == tvr::ui::ProgramStart::Outcome::LogonCancelled)
            return logonFault();
        if (unattended && outcome == tvr::ui::ProgramStart::Outcome::OpenClientMissing)
            return tvr::service::kConfigurationFault;
        if (outcome != tvr::ui::ProgramStart::Outcome::Ready) return 0;
        if (unattended && !start.formDumpLoad()->flags().FProcessing)
            return unattendedFault("processing did not start (the reason is in the error log)",
                                   tvr::service::kConfigurationFault);
        const tvr::ui::StopOnSignal stopping([&start, &deadline](int signal) {
            if (!deadline)
                deadline = std::make_unique<tvr::service::StopDeadline>(
                    tvr::service::reportStopDeadline, 0,
                    std::chrono::seconds(tvr::service::kStopGraceSeconds),
                    tvr::engine::failoverUnderWay);
            stopBySignal(start, signal);
        });
        return start.run();
    } catch (const std::exception& error) {
        // What no command caught, shown as the application shows an error that escapes.
        std::string text = error.what();
        if (text.empty() || text.back() != '.') text += '.';
        tvr::platform::prompts().messageBox(nullptr, text, tvr::platform::kApplicationTitle,
                                            tvr::platform::PromptButtons::Ok,
                                            tvr::platform::PromptIcon::Error);
        return 1;
    }
}
