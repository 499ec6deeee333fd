#pragma once
// Loading a log file into a view and emptying a log with its view.
#include "ui/LogView.h"

#include <stdexcept>
#include <string>

namespace tvr::ui {

// A log file that cannot be read or emptied; what() is the text the user sees.
class LogViewError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Appends the lines of `path` to `view`, each coloured by its own markers, which are not
// shown; of a file longer than the view keeps, only its last lines are read. A missing file
// empties the view instead. A file that cannot be read raises
// LogViewError "Unable open Log: <path>" and "Check attribute ReadOnly" on the next line.
void LoadLogFile(const std::string& path, TLogView& view);

// Empties `view`, then `path` (created empty when missing). A file that cannot be opened for
// writing raises LogViewError "Unable open ErrorLog: <path>" ... and is left as it was.
void clearLogFile(const std::string& path, TLogView& view);

}  // namespace tvr::ui
