#pragma once
// `tvr --check [--profile NAME]`: how far behind the standby is, as monitoring checks (Nagios and its kin)
// expect it, from the pass history and the lag thresholds of the settings, without a display,
// a server or a running program. One line, with performance data, and an exit code:
//   OK: lag 42 s, last load 2026-12-08 16:02:11 | lag=42s;900;3600                        0
//   WARNING: lag 1000 s (warning at 900 s), last load 2026-12-08 15:45:31 | lag=1000s;900;3600
//   WARNING: lag 60 s, last load 2026-12-08 16:01:10, last pass dump failed | lag=60s;900;3600
//   CRITICAL: lag 4000 s (critical at 3600 s), last load ... | lag=4000s;900;3600          2
//   CRITICAL: log chain broken (4305: the dump does not follow the last one loaded),
//             last load 2026-12-08 16:02:11 | lag=...                                    2
//   UNKNOWN: no pass history in /var/log/travenor                                        3
// The lag is now minus the start of the last pass that loaded its dump; a history of passes
// none of which loaded counts from its first pass. When the last pass failed (a server down
// or refusing the logon among the reasons), the line says so after the time of the last load,
// and the answer is at least WARNING; so it is while the running program cannot write a log
// file (LogBacklog.h). A threshold that is off leaves its field of the performance data
// empty. A pass since the last good load that failed with a
// chain-break error (engine::isChainBreakError) makes the answer CRITICAL whatever the lag:
// the reserve cannot advance until a full dump and load.
#include "engine/PassHistory.h"
#include "platform/Registry.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tvr::config {

inline constexpr int kCheckOk = 0;
inline constexpr int kCheckWarning = 1;
inline constexpr int kCheckCritical = 2;
inline constexpr int kCheckUnknown = 3;

struct CheckAnswer {
    int code = kCheckUnknown;
    std::string line;
    bool operator==(const CheckAnswer&) const = default;
};

// The answer for a history (oldest first) at `now`; thresholds in minutes, 0 for off.
CheckAnswer judgeStandby(const std::vector<engine::TPassRecord>& history,
                         engine::HistoryClock::time_point now, int warningMinutes,
                         int criticalMinutes,
                         const std::optional<std::string>& logFault = std::nullopt);

// Reads the settings of `registry` (never writing it) and the history of the days the history
// is kept, and judges it; a registry or a history that cannot be read is UNKNOWN with the
// reason.
CheckAnswer standbyAnswer(const platform::Registry& registry, engine::HistoryClock::time_point now);
// The same, its line printed on `out`; its code.
int checkStandby(const platform::Registry& registry, std::ostream& out,
                 engine::HistoryClock::time_point now);

// The exit code of `tvr --check [--profile NAME]` when `argv` holds --check, having printed
// its line on `out`; nothing when it does not. Needs no display: called before any window.
std::optional<int> answerCheck(int argc, char** argv, std::ostream& out);

}  // namespace tvr::config
