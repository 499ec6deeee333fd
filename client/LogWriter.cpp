#include "client/LogWriter.h"

#include "client/Events.h"
#include "client/LogLineStyle.h"
#include "client/LogSink.h"
#include "client/TextLines.h"
#include "platform/Environment.h"
#include "platform/FileWrite.h"
#include "platform/Prompts.h"
#include "platform/RegionalSettings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tvr::client {
namespace {

constexpr const char* kErrMarker = "$Err$";
constexpr const char* kMessMarker = "$Mess$";
constexpr CS_INT kProcedureNotice = 2007;

// The lines of an activity entry as the view shows them: each line styled by its own
// markers, exactly as the view styles the same lines when the file is loaded again.
std::vector<LogLine> activityLines(const std::string& text) {
    std::vector<LogLine> out;
    for (const std::string& line : SplitLines(text)) out.push_back(StyleLogLine(line));
    return out;
}

}  // namespace

std::string UnableOpenLogText(const std::string& file) {
    return "Unable open ErrorLog: " + file + "\n                       Check attribute ReadOnly";
}

LogFileError::LogFileError(const std::string& file) : std::runtime_error(UnableOpenLogText(file)) {}

std::string LogTimeNow() { return platform::formatLongTime(platform::localNow()); }

std::string ServerMessageText(const CS_SERVERMSG& message) {
    return std::string(message.text, ::strnlen(message.text, sizeof message.text));
}

void AppendToLog(const std::string& text, const std::string& file, bool show) {
    if (file.empty()) return;
    // Appending keeps every writer's entries whole: other programs (and a second instance
    // reading the same log) may hold the file open at the same time.
    const platform::AppendResult appended = platform::appendEntryToFile(file, text);
    if (appended == platform::AppendResult::OpenFailed) throw LogFileError(file);
    if (appended == platform::AppendResult::WriteFailed)
        platform::prompts().messageBox(nullptr, "Unable save message(print)", "Error",
                                       platform::PromptButtons::Ok, platform::PromptIcon::None);
    if (show) {
        if (LogSink* view = LogView()) {
            const std::vector<LogLine> lines = activityLines(text);
            if (!lines.empty()) view->addLines(lines);
        }
    }
}

void PrintToLog(const std::string& text, const std::string& file) {
    std::string entry(text.c_str());
    if (entry.empty() || entry.back() != '\n') entry += "\r\n";
    AppendToLog(entry, file, true);
}

void WriteErrorRecord(const CS_SERVERMSG& message, const std::string& file, bool show) {
    const bool notice = message.msgnumber == kProcedureNotice;
    if (!notice) platform::prompts().beep();

    const std::string heading =
        "\r\nError: Time: " + LogTimeNow() + ";  number " + std::to_string(message.msgnumber) +
        ";  severity " + std::to_string(message.severity) + ";  state " +
        std::to_string(message.state) + ";  line " + std::to_string(message.line);
    const std::string messageText = ServerMessageText(message);
    const std::vector<std::string> recordLines = SplitLines(heading + "\r\n" + messageText);

    const char* marker = notice ? kMessMarker : kErrMarker;
    std::string fileText;
    for (const std::string& line : recordLines) {
        fileText += "\r\n";
        fileText += marker;
        fileText += line;
    }

    if (show) {
        std::vector<LogLine> shown;
        shown.reserve(recordLines.size());
        for (const std::string& line : recordLines) {
            const bool holdsError = line.find("Error") != std::string::npos;
            LogLine l{line, notice ? LogColour::Green : LogColour::Red, false, false};
            l.bold = holdsError || !notice;
            l.underline = holdsError;
            shown.push_back(std::move(l));
        }
        if (LogSink* view = LogView()) view->addLines(shown);
        if (LogSink* view = ErrorLogView()) view->addLines(shown);
    }

    SendEvent(EventErrorHeading, heading + "\r\n" + messageText);
    AppendToLog(fileText, file, false);
}

std::string MakeLogFileName(const std::string& folder, const std::string& baseName,
                            const std::tm& day) {
    const std::string base = folder.empty() ? platform::sybaseValue() : folder;
    char date[16];
    std::snprintf(date, sizeof date, "%02d%02d%04d", day.tm_mday % 100, (day.tm_mon + 1) % 100,
                  (day.tm_year + 1900) % 10000);
    return base + "/" + baseName + date + ".log";
}

std::string MakeLogFileName(const std::string& folder, const std::string& baseName) {
    return MakeLogFileName(folder, baseName, platform::localNow());
}

}  // namespace tvr::client
