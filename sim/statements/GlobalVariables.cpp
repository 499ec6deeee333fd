#include "sim/statements/GlobalVariables.h"

#include "sim/statements/SqlLexer.h"
#include "sim/statements/SqlTranslator.h"

namespace tvr::sim {

std::optional<std::string> globalVariable(ExecutionContext& context, const std::string& name) {
    std::string lower = asciiLower(name);
    if (lower == "@@servername") return quoteSqlString(context.server().serverName());
    if (lower == "@@version")
        return quoteSqlString("Adaptive Server Enterprise/15.7/aseemu/" +
                              context.server().serverName());
    if (lower == "@@spid") return std::to_string(context.connectionId());
    if (lower == "@@rowcount") return std::to_string(context.lastRowCount);
    if (lower == "@@identity") return std::to_string(context.lastIdentity);
    if (lower == "@@error") return std::to_string(context.lastError);
    if (lower == "@@trancount") return context.inTransaction() ? "1" : "0";
    return std::nullopt;
}

std::optional<std::string> connectionFunction(ExecutionContext& context, const std::string& name) {
    if (name == "db_name") return quoteSqlString(context.currentDatabase());
    if (name == "user_name" || name == "suser_name") return quoteSqlString(context.userName);
    if (name == "host_name") return quoteSqlString(context.hostName);
    if (name == "app_name") return quoteSqlString(context.applicationName);
    return std::nullopt;
}

}  // namespace tvr::sim
