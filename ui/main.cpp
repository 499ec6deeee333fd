// Travenor: one instance per user, started where an Open Client installation is visible, by
// hand or unattended ("P1:<main password> P2:<reserve password> -A", "--reseed" to replace
// the reserve database at that start).
#include "client/LogWriter.h"
#include "config/CommandLine.h"
#include "config/FailoverCommand.h"
#include "config/PasswordSources.h"
#include "config/RunOptions.h"
#include "config/StandbyCheck.h"
#include "platform/CommandError.h"
#include "platform/Profile.h"
#include "platform/Prompts.h"
#include "service/ServiceRun.h"
#include "ui/FormDumpLoad.h"
#include "ui/ProgramStart.h"
#include "ui/QtPrompts.h"
#include "ui/StopOnSignal.h"
#include "ui/TerminalStart.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

// Qt's message boxes answer every prompt of the process while main runs. With TVR_PROMPTS
// set to "stderr" they are written to standard error and answered with their default button
// instead, for runs where nobody could ever answer a box (the tests of the whole program).
class InstalledPrompts {
public:
    InstalledPrompts() {
        const char* choice = std::getenv("TVR_PROMPTS");
        if (!choice || std::strcmp(choice, "stderr") != 0)
            previous_ = tvr::platform::setPrompts(&prompts_);
    }
    ~InstalledPrompts() { tvr::platform::setPrompts(previous_); }
    InstalledPrompts(const InstalledPrompts&) = delete;
    InstalledPrompts& operator=(const InstalledPrompts&) = delete;

private:
    tvr::ui::QtPrompts prompts_;
    tvr::platform::Prompts* previous_ = nullptr;
};

// SIGTERM or SIGINT (systemd, a shutdown, Ctrl+C) stops as a confirmed Exit does: the pass
// under way finishes, the connections log out, and the program ends with exit code 0 instead
// of dying in the middle of a dump.
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
    if (options->reseed && !tvr::config::parseCommandLine(parameters).autoStart) {
        std::cerr << "tvr: " << tvr::config::kReseedOption
                  << " goes with -A or --service; with the window use Actions, Re-seed the "
                     "reserve...\n"
                  << std::flush;
        return 1;
    }
    const InstalledPrompts prompts;
    try {
        tvr::ui::ProgramStart start(std::move(parameters));
        start.setAutomaticStartKind(firstStartKind(*options));
        if (start.begin() != tvr::ui::ProgramStart::Outcome::Ready) return 0;
        const tvr::ui::StopOnSignal stopping([&start](int signal) { stopBySignal(start, signal); });
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
