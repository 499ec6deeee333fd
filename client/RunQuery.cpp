#include "client/RunQuery.h"

#include "client/LogWriter.h"
#include "client/MessageHandlers.h"

#include <array>
#include <string_view>

namespace tvr::client {
namespace {

// The separators in their order of priority: the first form found anywhere in the rest of
// the script wins over an earlier separator of a later form.
constexpr std::array<std::string_view, 3> kSeparators{"\ngo\r", "\ngo ", "\ngo\n"};

std::size_t findSeparator(const std::string& text) {
    for (std::string_view separator : kSeparators) {
        const std::size_t at = text.find(separator);
        if (at != std::string::npos) return at;
    }
    return std::string::npos;
}

}  // namespace

TRunQuery::TRunQuery(TSybaseConnect& connection) : connection_(connection) {}

void TRunQuery::SplitScript(const std::string& script) {
    batchCount_ = 0;
    batches_.clear();
    std::string rest = script;
    for (std::size_t at = findSeparator(rest); at != std::string::npos; at = findSeparator(rest)) {
        // The batch keeps the LF before "go"; the rest starts with what followed "go".
        batches_.push_back(rest.substr(0, at + 1));
        ++batchCount_;
        rest.erase(0, at + 3);
    }
    if (batchCount_ == 0) return;
    // A final "go" line without a line end after it is no separator; it is dropped here.
    constexpr std::string_view finalGo = "\r\ngo";
    if (rest.size() >= finalGo.size() &&
        rest.compare(rest.size() - finalGo.size(), finalGo.size(), finalGo) == 0)
        rest.erase(rest.size() - finalGo.size());
    batches_.push_back(rest);
    ++batchCount_;
}

void TRunQuery::RunScript(const std::string& script) {
    SplitScript(script);
    if (batchCount_ == 0) {
        connection_.Execute(script);
        return;
    }
    struct EmptyOnExit {
        std::vector<std::string>& batches;
        ~EmptyOnExit() { batches.clear(); }
    } empty{batches_};
    for (const std::string& batch : batches_) connection_.Execute(batch);
}

bool TRunQuery::RunInstallScript(const std::string& script) {
    try {
        RunScript(script);
        if (!connection_.ServerError()) return false;
        AppendToLog("Ошибка: Процедура не установилась\n", connection_.LogFile(), true);
        AppendToLog(LastServerMessageText() + "\n", connection_.LogFile(), true);
    } catch (const std::exception&) {
        AppendToLog("Поцедура не установилась ", connection_.LogFile(), true);
    }
    return true;
}

}  // namespace tvr::client
