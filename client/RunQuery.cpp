#include "client/RunQuery.h"

#include "client/LogWriter.h"
#include "client/MessageHandlers.h"
#include "client/ScriptSplit.h"
#include "platform/ScopeExit.h"

namespace tvr::client {

TRunQuery::TRunQuery(TSybaseConnect& connection) : connection_(connection) {}

void TRunQuery::SplitScript(const std::string& script) {
    batches_ = client::SplitScript(script);
    batchCount_ = static_cast<std::int32_t>(batches_.size());
}

void TRunQuery::RunScript(const std::string& script) {
    SplitScript(script);
    if (batchCount_ == 0) {
        connection_.Execute(script);
        return;
    }
    const auto empty = onScopeExit([this] { batches_.clear(); });
    for (const std::string& batch : batches_) connection_.Execute(batch);
}

bool TRunQuery::RunInstallScript(const std::string& script) {
    try {
        RunScript(script);
        if (!connection_.ServerError()) return false;
        AppendToLog("Ошибка: Процедура не установилась\n", connection_.LogFile(), true);
        AppendToLog(lastServerMessageText() + "\n", connection_.LogFile(), true);
    } catch (const std::exception&) {
        AppendToLog("Поцедура не установилась ", connection_.LogFile(), true);
    }
    return true;
}

}  // namespace tvr::client
