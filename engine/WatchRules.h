#pragma once
// How the worker judges what happened to a pass and how far the standby is behind: the
// outcome of a step from its return status, the lag and its alert level, the waits between
// attempts after a failure, and the plain words for a log chain that cannot be dumped. Free
// functions, so that the rules are tested without a server, a thread or a clock.
#include <chrono>
#include <optional>
#include <string>

namespace tvr::engine {

// What became of one step of a pass, the dump or the load.
enum class StepOutcome { NotReached, Ok, Failed };

struct StepResult {
    StepOutcome outcome = StepOutcome::NotReached;
    int error = 0;  // the server error number of a failed step; 0 when none is known
    bool connectionLost = false;
    bool operator==(const StepResult&) const = default;
};

// The outcome of a step that was sent: sp_TVR returns 1 when the statement ran and the
// negated server error number when it failed. Without a return status (the procedure did
// not run, or the connection went while it ran) the step failed with the last server error
// the connection reported, 0 when there was none.
StepResult stepResultOf(std::optional<int> returnStatus, bool connectionAlive, int lastServerError);

// "ok", "failed (4306)", "failed (connection lost)", "failed", "not reached".
std::string stepResultText(const StepResult& result);

// Whether a failed load means that the file does not follow the last one loaded, so that
// only a full pass can bring the reserve back into step (4305 out of sequence, 4306 activity
// since the last load).
bool isOutOfSequenceLoad(int error);

// Whether a server error of a dump or a load means that the log chain from the main database
// to the reserve is broken, so that no transaction pass can advance the standby until a full
// dump and load: the two out-of-sequence loads above, and the main server's refusals to dump
// the log, 4207 (a non-logged operation since the last database dump) and 4221 (a truncated
// log, or no database dump at all). Each is a known critical state at once: waiting for the
// lag thresholds would only tell the same thing later.
bool isChainBreakError(int serverError);

// The reason of a chain-break error after its number, as the watch, the history's check and
// the alerts name it: "4305: the dump does not follow the last one loaded". Empty for an
// error that does not break the chain.
std::string chainBreakErrorText(int serverError);

// Seconds to wait before attempt `failures` + 1 after `failures` failures in a row: 1, 2, 4
// ... up to 60. No wait before the first attempt (failures 0).
int backoffSeconds(int failures);

// Alert levels of the lag, in order of gravity.
enum class AlertLevel { None = 0, Warning = 1, Critical = 2 };

// The level of a lag against the warning and critical thresholds (minutes; a threshold of 0
// is off). A lag equal to a threshold has reached it.
AlertLevel lagLevel(std::chrono::seconds lag, int warningMinutes, int criticalMinutes);

// "none", "warning", "critical".
const char* alertLevelName(AlertLevel level);

// A lag as "hh:mm:ss", with "N d " in front from a day on; never negative.
std::string lagText(std::chrono::seconds lag);

// The reasons a non-zero answer of tran_dumpable_status gives, in plain words joined by "; "
// (unknown bits as their number).
std::string chainBreakText(int status);

// The minutes of a threshold setting: a whole number from 0 to 100000 as typed, blanks
// around it allowed; anything else gives `fallback`.
int minutesSetting(const std::string& text, int fallback);

}  // namespace tvr::engine
