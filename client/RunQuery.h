#pragma once
// Runs a script of several batches, separated by lines that hold only "go", on one
// connection; used to install the server procedure, with a verdict in the activity log.
#include "client/Sybase.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tvr::client {

class TRunQuery {
public:
    // The connection is not owned and must outlive the object.
    explicit TRunQuery(TSybaseConnect& connection);

    // Batches and BatchCount as client/ScriptSplit.h cuts `script`. No separator: BatchCount 0.
    void SplitScript(const std::string& script);
    // Runs each batch in order, whatever the outcome of the earlier ones; a script without
    // a separator is sent whole. A log file that cannot be opened raises LogFileError.
    void RunScript(const std::string& script);
    // RunScript, then the verdict: when the last server message of the run was an error,
    // "Ошибка: Процедура не установилась" and that message's text go to the activity log.
    // When the run raises an error, "Поцедура не установилась " is written instead; an
    // error of that last write passes to the caller. True when a failure verdict was written,
    // so that a caller never takes a failed installation for a good one.
    bool RunInstallScript(const std::string& script);

    std::int32_t BatchCount() const { return batchCount_; }
    const std::vector<std::string>& Batches() const { return batches_; }
    TSybaseConnect& Connection() const { return connection_; }

private:
    std::int32_t batchCount_ = 0;
    std::vector<std::string> batches_;
    TSybaseConnect& connection_;
};

}  // namespace tvr::client
