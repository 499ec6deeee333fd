#pragma once
// `tvr --status`: one line for each profile of this user on this machine, for an administrator
// who keeps several pairs: whether its program runs, the check's verdict with the lag and the
// last good load, and how many dumps wait for their load (the ledger's). Reads only; needs no
// display, no server and no running program.
//   default: running, OK: lag 42 s, last load 2026-12-08 16:02:11, pending loads 0
//   east: not running, WARNING: lag 1000 s (warning at 900 s), ..., pending loads 2
#include <optional>
#include <ostream>

namespace tvr::config {

// The exit code of `tvr --status` (0, or 3 when no profile is set up) when `argv` holds
// --status, having printed its lines on `out`; nothing when it does not.
std::optional<int> answerStatus(int argc, char** argv, std::ostream& out);

}  // namespace tvr::config
