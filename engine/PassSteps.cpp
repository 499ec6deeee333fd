#include "engine/PassSteps.h"

#include "engine/ProcedureCall.h"

#include <charconv>

namespace tvr::engine {

StepResult runProcedureStep(client::TSybaseConnect& connection, const std::string& statement) {
    if (connection.ConnectionDead()) return {StepOutcome::NotReached, 0, true};
    connection.Execute("use master");
    const auto statuses = connection.StatusResults();
    const auto errors = connection.ServerErrors();
    connection.Execute(statement);
    std::optional<int> status;
    if (connection.StatusResults() != statuses) status = connection.ReturnStatus();
    const int lastError =
        connection.ServerErrors() != errors ? connection.LastServerErrorNumber() : 0;
    return stepResultOf(status, !connection.ConnectionDead(), lastError);
}

std::string tranDumpableStatement(const std::string& database) {
    return "select tran_dumpable_status(\"" + quotedConstantText(database) + "\")";
}

std::optional<int> tranDumpableStatus(client::TSybaseConnect& connection,
                                      const std::string& database) {
    if (connection.ConnectionDead()) return std::nullopt;
    const auto errors = connection.ServerErrors();
    connection.Execute(tranDumpableStatement(database));
    if (connection.ServerErrors() != errors || connection.ColCount() != 1) return std::nullopt;
    // The one column's text: its empty heading, then the value, each ended by LF.
    const std::string& text = connection.ColTexts().front();
    const std::size_t from = text.find('\n');
    if (from == std::string::npos) return std::nullopt;
    const std::size_t to = text.find('\n', from + 1);
    const std::string value = text.substr(from + 1, to == std::string::npos ? to : to - from - 1);
    int status = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), status);
    if (value.empty() || error != std::errc() || end != value.data() + value.size()) {
        return std::nullopt;
    }
    return status;
}

}  // namespace tvr::engine
