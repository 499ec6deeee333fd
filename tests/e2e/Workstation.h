#pragma once
// A workstation prepared for two emulated servers the way the demo prepares one: MAIN with the
// database sales and its sample rows, RESERVE with the empty sales_copy, an Open Client folder
// that lists both, and a registry file of its own holding the first setup done by
// tvr_first_setup (the settings pairing the two databases, sp_TVR installed on both servers,
// the marker set). The environment of the test process points there while the object lives,
// and every process the test starts inherits it.
#include "tests/e2e/ProgramProcess.h"
#include "tests/support/Emulator.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tvr::e2e {

inline const std::string kMainPassword = "main-secret";
inline const std::string kReservePassword = "reserve-secret";

// The command line of the unattended start.
std::vector<std::string> unattendedArguments();

// The folders and environment of a workstation, without servers.
class WorkstationFolders {
public:
    WorkstationFolders();
    const std::filesystem::path& root() const { return root_.path(); }
    std::filesystem::path sybase() const { return root() / "sybase"; }
    std::filesystem::path registryFile() const { return root() / "registry.reg"; }
    std::filesystem::path logFolder() const { return root() / "log"; }
    std::filesystem::path dumpFolder() const { return root() / "dumps"; }
    tvr::testing::ScopedEnvironment& environment() { return env_; }

    // The activity log of the sample database (today's) of a profile (empty: the default),
    // CR removed; empty when there is none.
    std::string activityLog(const std::string& profile = "") const;
    // Every file below the root with its content, as one text to compare before and after.
    std::string snapshot() const;

private:
    tvr::testing::TempFolder root_{"tvr-e2e"};
    tvr::testing::ScopedEnvironment env_;
};

struct WorkstationOptions {
    std::string interval = "00:00:01";     // between passes
    std::vector<std::string> reserveArgs;  // more aseemu arguments for RESERVE
    std::vector<std::string> setupArgs;    // more tvr_first_setup arguments
};

class Workstation : public WorkstationFolders {
public:
    // Starts both servers and runs the first setup with passes `interval` apart.
    explicit Workstation(const std::string& interval = "00:00:01");
    explicit Workstation(const WorkstationOptions& options);

    testing::Emulator& mainServer() { return *servers_.at(0); }
    testing::Emulator& reserveServer() { return *servers_.at(1); }

    // A second pair of servers, MAIN_<profile> and RESERVE_<profile>, with the same databases
    // and rows, set up as `profile` with the same folders. The functions below take the
    // profile's name for its pair; empty is the default profile's.
    void addProfile(const std::string& profile);
    static std::string mainName(const std::string& profile);
    static std::string reserveName(const std::string& profile);

    // Runs statements in MAIN's sales, each in a batch of its own; fails the test on an error.
    void changeRows(const std::vector<std::string>& statements, const std::string& profile = "");
    // True once the activity log, past its first `offset` characters, shows a pass that began
    // there (sp_TVR's "Start Dump") and whose load has completed.
    bool passCompletedAfter(std::size_t offset) const;
    // Changes a row, has MAIN hold the next statement sent to it a little and waits until
    // `program`'s next pass has sent it, then sends `signal`: the signal comes while a pass is
    // under way. Where the activity log ended just before the signal.
    std::size_t signalInMidPass(ProgramProcess& program, int signal);
    // True when the last pass the activity log shows begun (sp_TVR's "Start Dump") has loaded.
    bool lastPassLoaded(const std::string& profile = "") const;
    // The rows of sales on MAIN, and of sales_copy on RESERVE brought online first.
    std::vector<std::string> mainRows(const std::string& profile = "");
    std::vector<std::string> reserveRowsOnline(const std::string& profile = "");

private:
    void startPair(const std::string& profile, const std::vector<std::string>& reserveArgs);

    std::string interval_;
    std::vector<std::string> setupArgs_;
    std::vector<std::unique_ptr<testing::Emulator>> servers_;  // main, reserve, main, ...
};

}  // namespace tvr::e2e
