#include "client/LogWriter.h"

#include "client/Events.h"
#include "client/LogBacklog.h"
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

// The text of an error entry in a log file: for each line, CR LF, the marker and the line.
std::string errorEntryText(const std::vector<std::string>& lines, bool notice) {
    const std::string_view marker = notice ? kMessMarker : kErrMarker;
    std::string text;
    for (const std::string& line : lines) {
        text += "\r\n";
        text += marker;
        text += line;
    }
    return text;
}

// The lines of an error entry in both views.
void showErrorEntry(const std::vector<std::string>& lines, bool notice, const LogViews& views) {
    if (!views.activity && !views.errors) return;
    std::vector<LogLine> shown;
    shown.reserve(lines.size());
    for (const std::string& line : lines) shown.push_back(styleErrorRecordLine(line, notice));
    if (views.activity) views.activity->addLines(shown);
    if (views.errors) views.errors->addLines(shown);
}

LogViews processViews() { return {LogView(), ErrorLogView()}; }

}  // namespace

std::string unableOpenLogText(const std::string& file) {
    return "Unable open ErrorLog: " + file + "\n                       Check attribute ReadOnly";
}

LogFileError::LogFileError(const std::string& file) : std::runtime_error(unableOpenLogText(file)) {}

std::string logTimeNow() { return platform::formatLongTime(platform::localNow()); }

std::string serverMessageText(const CS_SERVERMSG& message) {
    return std::string(message.text, ::strnlen(message.text, sizeof message.text));
}

void AppendToLog(const std::string& text, const std::string& file, bool show) {
    if (file.empty()) return;
    AppendToLog(text, file, show ? LogView() : nullptr);
}

void AppendToLog(const std::string& text, const std::string& file, LogSink* view) {
    if (file.empty()) return;
    // Appending keeps every writer's entries whole: other programs (and a second instance
    // reading the same log) may hold the file open at the same time.
    // An entry the file does not take is kept and written before the next one it takes.
    const platform::AppendResult appended = appendKeeping(file, text);
    if (appended == platform::AppendResult::OpenFailed) throw LogFileError(file);
    if (appended == platform::AppendResult::WriteFailed)
        platform::prompts().messageBox(nullptr, "Unable save message(print)", "Error",
                                       platform::PromptButtons::Ok, platform::PromptIcon::None);
    if (view) {
        const std::vector<LogLine> lines = styleLogEntry(text);
        if (!lines.empty()) view->addLines(lines);
    }
}

void PrintToLog(const std::string& text, const std::string& file) {
    PrintToLog(text, file, LogView());
}

void PrintToLog(const std::string& text, const std::string& file, LogSink* view) {
    std::string entry(text.c_str());
    if (entry.empty() || entry.back() != '\n') entry += "\r\n";
    AppendToLog(entry, file, view);
}

void WriteErrorRecord(const CS_SERVERMSG& message, const std::string& file, bool show) {
    const bool notice = message.msgnumber == kProcedureNotice;
    if (!notice) platform::prompts().beep();

    const std::string heading =
        "\r\nError: Time: " + logTimeNow() + ";  number " + std::to_string(message.msgnumber) +
        ";  severity " + std::to_string(message.severity) + ";  state " +
        std::to_string(message.state) + ";  line " + std::to_string(message.line);
    const std::string messageText = serverMessageText(message);
    const std::vector<std::string> recordLines = splitLines(heading + "\r\n" + messageText);
    if (show) showErrorEntry(recordLines, notice, processViews());
    sendEvent(EventErrorHeading, heading + "\r\n" + messageText);
    AppendToLog(errorEntryText(recordLines, notice), file, false);
}

void writeProgramError(const std::string& text, const std::vector<std::string>& files, bool show) {
    writeProgramError(text, files, show ? processViews() : LogViews{});
}

void writeProgramError(const std::string& text, const std::vector<std::string>& files,
                       const LogViews& views) {
    const std::vector<std::string> lines =
        splitLines("Error: Time: " + logTimeNow() + ";  " + text);
    const std::string entry = errorEntryText(lines, false);
    for (const std::string& file : files) {
        try {
            AppendToLog(entry, file, false);
        } catch (const LogFileError&) {
            // The entry is lost for this file only; the other files and the views still get it.
        }
    }
    showErrorEntry(lines, false, views);
}

void emptyLogFile(const std::string& path) {
    if (path.empty()) return;
    // Opened for writing without O_TRUNC first, so that a file that refuses writing is left
    // exactly as it was; then cut to nothing.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw LogFileError(path);
    const int cut = ::ftruncate(fd, 0);
    ::close(fd);
    if (cut != 0) throw LogFileError(path);
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
