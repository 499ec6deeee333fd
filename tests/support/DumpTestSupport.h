#pragma once
// Shared pieces of the dump and load tests: a dump folder, the program's sp_TVR installation
// script run batch by batch as its script runner runs it, and the program's call statement.
#include "client/ScriptSplit.h"
#include "engine/ProcedureCall.h"
#include "engine/ProcedureScript.h"
#include "tests/support/CtClient.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tvr::testing {

class DumpFolder {
public:
    // The folder as the program keeps it: without a separator at its end.
    std::string folder() const { return folder_.string(); }
    // The folder as the call passes it: with the separator appended.
    std::string withSeparator() const { return folder() + "/"; }
    std::filesystem::path file(const std::string& name) const { return folder_ / name; }
    // A file's path as a dump or load statement names it: in double quotes.
    std::string quoted(const std::string& name) const { return '"' + file(name).string() + '"'; }

private:
    tvr::testing::TempFolder folder_{"tvr-dumps"};
};

// The installation script exactly as the program installs it.
inline std::string spTvrScript() { return std::string(tvr::engine::SpTvrInstallScript); }

// Runs the installation script; returns the messages of severity above 10.
inline std::vector<CtMessage> installSpTvr(CtClient& client) {
    std::vector<CtMessage> errors;
    for (const std::string& batch : tvr::client::SplitScript(spTvrScript()))
        for (const CtMessage& m : client.execute(batch).messages())
            if (m.severity > 10) errors.push_back(m);
    return errors;
}

// The statement the program sends for one step; `folder` without its separator.
inline std::string spTvrCall(int type, const std::string& database, int dump, int load,
                             const std::string& folder, const std::string& file) {
    return tvr::engine::spTvrCallStatement({type, database, dump, load, folder, file});
}

inline int lastStatus(const CtBatch& batch) {
    const auto statuses = batch.statuses();
    return statuses.empty() ? -999999 : statuses.back();
}

// The batch's first message of that number (a copy: the batch hands out its messages by value).
inline std::optional<CtMessage> findMessage(const CtBatch& batch, int number) {
    for (const CtMessage& m : batch.messages())
        if (m.number == number) return m;
    return std::nullopt;
}

inline bool hasMessage(const CtBatch& batch, int number) {
    return findMessage(batch, number).has_value();
}

// The message of that number; a test failure (and an empty message) when there is none.
inline CtMessage messageNumbered(const CtBatch& batch, int number) {
    if (auto m = findMessage(batch, number)) return *m;
    ADD_FAILURE() << "no message " << number;
    return {};
}

inline bool saysSomething(const CtBatch& batch, const std::string& part) {
    for (const CtMessage& m : batch.messages())
        if (m.text.find(part) != std::string::npos) return true;
    return false;
}

// All rows of a result as one text, for comparing two servers' tables.
inline std::string rowsText(CtClient& client, const std::string& sql) {
    std::string out;
    const auto results = client.execute(sql).rowResults();
    if (results.empty()) return "<no result>";
    for (const auto& row : results.back().rows) {
        for (const auto& value : row) out += (value ? *value : std::string("NULL")) + "|";
        out += "\n";
    }
    return out;
}

}  // namespace tvr::testing
