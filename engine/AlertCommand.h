#pragma once
// The command an administrator sets to be told of each change of the alert level (to mail,
// page or open a ticket). It is started without a shell, its words split at blanks (double
// quotes keep blanks in a word), with the program's environment plus
//   TVR_ALERT_LEVEL   ok, warning or critical
//   TVR_LAG_SECONDS   the lag at the change
//   TVR_PROFILE       the profile's name (empty for the default one)
// The worker never waits for it: a command that cannot be started, or that ends with an exit
// code other than 0, is one error entry, found when it is reaped at a later tick.
#include "engine/WatchRules.h"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tvr::engine {

// The words of a command text; none for a text of blanks.
std::vector<std::string> commandWords(const std::string& text);

// "ok", "warning", "critical".
const char* alertLevelWord(AlertLevel level);

class TAlertCommand {
public:
    // `errorEntry` writes one error entry in both logs and both views.
    explicit TAlertCommand(std::function<void(const std::string&)> errorEntry);
    // Children still running are reaped by the next object's ticks (or by nobody once the
    // process ends): never waited for here.
    ~TAlertCommand();
    TAlertCommand(const TAlertCommand&) = delete;
    TAlertCommand& operator=(const TAlertCommand&) = delete;

    // Called at every tick with the level shown: starts `command` when the level differs from
    // the one before (the first call compares with "ok"), and reaps the commands that ended.
    void LevelNow(AlertLevel level, std::chrono::seconds lag, const std::string& command,
                  const std::string& profile);

private:
    void start(AlertLevel level, std::chrono::seconds lag, const std::string& command,
               const std::string& profile);
    void reap();

    std::function<void(const std::string&)> errorEntry_;
    AlertLevel level_ = AlertLevel::None;
    struct Child {
        pid_t pid;
        std::string command;
    };
    std::vector<Child> children_;
};

}  // namespace tvr::engine
