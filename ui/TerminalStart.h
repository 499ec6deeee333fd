#pragma once
// What the program answers on the terminal before it builds a window: `--help` and
// `--version` print to standard output and end the program at once, needing neither a display
// nor an Open Client installation; any other start without a display says so in one line on
// standard error instead of letting the window system's plugin abort the process.
#include <optional>
#include <ostream>

namespace tvr::ui {

// The exit code when the program ends here, or nothing when it goes on to its windows.
// `argv` is main's, before Qt has taken its own options out of it.
std::optional<int> answerOnTerminal(int argc, char** argv, std::ostream& out, std::ostream& err);

// "--service" among the parameters: the program runs without a window, and needs no display.
bool serviceRequested(int argc, char** argv);

// From now until endPlatformWatch(), a window system that cannot be opened (a display that
// does not answer) ends the program with one line on standard error and exit code 1, in
// place of Qt's report and abort. Call it just before the QApplication is built.
void watchPlatformStart();
void endPlatformWatch();

}  // namespace tvr::ui
