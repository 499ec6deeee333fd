#include "engine/BackupServerCheck.h"

#include "client/TextLines.h"
#include "platform/TextFolding.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace tvr::engine {
namespace {

constexpr const char* kBackupServerEntry = "SYB_BACKUP";

// The values of column `index` of the last row result, by position, heading left out.
std::vector<std::string> columnValues(const client::TSybaseConnect& connection, std::size_t index) {
    const std::vector<std::string>& texts = connection.ColTexts();
    if (index >= texts.size()) return {};
    std::vector<std::string> lines = client::splitLines(texts[index]);
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
}

}  // namespace

std::string backupServiceStartCommand(const std::string& networkName) {
    return "xp_cmdshell 'net start \"Sybase BCKServer _ " + networkName + "\"'";
}

void CheckBackupServer(platform::PromptOwner owner, client::TSybaseConnect& connection) {
    connection.Execute("sp_helpserver");
    const std::vector<std::string> names = columnValues(connection, 0);
    const std::vector<std::string> networkNames = columnValues(connection, 1);
    const auto found = std::find_if(names.begin(), names.end(), [](const std::string& name) {
        return platform::sameIgnoringAsciiCase(name, kBackupServerEntry);
    });
    if (found == names.end()) {
        platform::prompts().messageBox(owner, "BACKUP server not found", "Error",
                                       platform::PromptButtons::Ok, platform::PromptIcon::None);
        return;
    }
    const auto row = static_cast<std::size_t>(found - names.begin());
    const std::string networkName = row < networkNames.size() ? networkNames[row] : std::string();

    connection.Execute("sp_configure 'xp_cmdshell context'");
    std::int32_t runValue = 0;
    try {
        runValue = connection.ValueByName("Run Value").AsInteger();
    } catch (const client::ConversionError&) {
        // A server without this parameter: whether it may start services is unknown, so
        // nothing is started.
        return;
    }
    if (runValue == 0) connection.Execute(backupServiceStartCommand(networkName));
}

}  // namespace tvr::engine
