#pragma once
// The activity and error log files: their names, their entries, and the echo of each entry
// in the log views (LogSink.h). An entry is appended with one open, write and close, so no
// file stays open between entries and other programs may read or clear the logs meanwhile.
#include "client/LogSink.h"

#include <cstypes.h>

#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

namespace tvr::client {

// The server's message of a procedure's own print: a notice, logged green and without a beep.
inline constexpr CS_INT kProcedureNotice = 2007;

// A log file that cannot be opened for writing. Its text names the file.
class LogFileError : public std::runtime_error {
public:
    explicit LogFileError(const std::string& file);
};

// The text of LogFileError for `file`.
std::string unableOpenLogText(const std::string& file);

// Appends `text` to `file` as it is, and shows it in LogView when `show` is true. An empty
// file name does nothing at all. A file that cannot be opened raises LogFileError; a write
// that fails shows the "Unable save message(print)" box. Either way the entry is kept and
// written, in its order, once the file takes writes again (LogBacklog.h).
void AppendToLog(const std::string& text, const std::string& file, bool show);
// The same, shown in `view` (none: not shown).
void AppendToLog(const std::string& text, const std::string& file, LogSink* view);

// One activity entry: `text` up to its first zero character, with CR LF added unless it
// already ends with LF; shown in LogView.
void PrintToLog(const std::string& text, const std::string& file);
// The same, shown in `view` (none: not shown).
void PrintToLog(const std::string& text, const std::string& file, LogSink* view);

// The error record of one server message, written to `file`; shown in both views when `show`.
// Beeps unless the message is kProcedureNotice.
void WriteErrorRecord(const CS_SERVERMSG& message, const std::string& file, bool show);

// An error of the program's own (not a server's): the lines of "Error: Time: ", the current
// time, ";  " and `text`, written as an error record's lines are (each after CR LF and
// "$Err$") to each of `files`, and shown in both `views` like an error record. A file that
// cannot be opened (or an empty name) loses the entry; the others still take it.
void writeProgramError(const std::string& text, const std::vector<std::string>& files,
                       const LogViews& views);
// The same, shown in the process's two views when `show`.
void writeProgramError(const std::string& text, const std::vector<std::string>& files, bool show);

// Creates `path` when missing and cuts it to length 0. A file that cannot be opened for
// writing raises LogFileError and is left as it was. An empty name does nothing.
void emptyLogFile(const std::string& path);

// The text of a server message: up to its first zero character, at most CS_MAX_MSG bytes.
std::string serverMessageText(const CS_SERVERMSG& message);

// folder + "/" + base name + DDMMYYYY + ".log", the date being `day`; an empty folder is
// replaced by the value of SYBASE.
std::string MakeLogFileName(const std::string& folder, const std::string& baseName,
                            const std::tm& day);
// The same for today.
std::string MakeLogFileName(const std::string& folder, const std::string& baseName);

// The current time in the user's long time format, as every log entry stamps it.
std::string logTimeNow();

}  // namespace tvr::client
