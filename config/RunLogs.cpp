#include "config/RunLogs.h"

#include "client/LogFileNames.h"
#include "client/LogWriter.h"
#include "platform/Directories.h"
#include "platform/Environment.h"
#include "platform/Profile.h"
#include "platform/Prompts.h"

namespace tvr::config {
namespace {

// An empty log folder setting would leave the log files in the SYBASE folder without a word
// (the log file name falls back to it); the user is told which setting to fill in.
void reportEmptyLogFolder(const std::string& folder, const char* setting, const char* log) {
    if (!folder.empty()) return;
    platform::prompts().messageBox(
        nullptr,
        std::string("The ") + log + " folder setting \"" + setting + "\" is empty: the " + log +
            " is written to the SYBASE "
            "folder \"" +
            platform::sybaseValue() + "\".",
        "Error", platform::PromptButtons::Ok, platform::PromptIcon::Error);
}

}  // namespace

LogFileNames openRunLogs(const LiveSettings& live) {
    const std::string logPath = live.read(&TDumpLoadSettings::EditLogPath);
    const std::string errorLogPath = live.read(&TDumpLoadSettings::EditErrorLogPath);
    reportEmptyLogFolder(logPath, "EditLogPath", "activity log");
    reportEmptyLogFolder(errorLogPath, "EditErrorLogPath", "error log");
    if (!logPath.empty()) platform::forceDirectories(logPath);
    if (!errorLogPath.empty()) platform::forceDirectories(errorLogPath);

    const std::string database = live.read(&TDumpLoadSettings::ComboDump);
    LogFileNames names;
    names.activity = client::MakeLogFileName(logPath, platform::profileQualified(database));
    names.error =
        client::MakeLogFileName(errorLogPath, platform::profileQualified("err" + database));
    client::setLogFileNames(names.activity, names.error);
    return names;
}

}  // namespace tvr::config
