#pragma once
// Shared pieces of the dump and load tests: a dump folder, the program's sp_TVR installation
// script split into batches as its script runner splits it, and the exact call statement.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/ProcedureScript.h"
#include "tests/support/CtClient.h"

namespace tvr::testing {

class DumpFolder {
public:
    DumpFolder() {
        path_ = std::filesystem::temp_directory_path() /
                ("tvr-dumps-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~DumpFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    DumpFolder(const DumpFolder&) = delete;
    DumpFolder& operator=(const DumpFolder&) = delete;
    // The folder as the call passes it: with the separator appended.
    std::string withSeparator() const { return path_.string() + "/"; }
    std::filesystem::path file(const std::string& name) const { return path_ / name; }

private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    std::filesystem::path path_;
};

// Batches between "go" lines: each ends with the line end before "go"; a final "go" without a
// line end is dropped.
inline std::vector<std::string> scriptBatches(std::string rest) {
    std::vector<std::string> batches;
    for (std::size_t p; (p = rest.find("\ngo\r")) != std::string::npos;) {
        batches.push_back(rest.substr(0, p + 1));
        rest = rest.substr(p + 3);
    }
    if (rest.size() >= 4 && rest.compare(rest.size() - 4, 4, "\r\ngo") == 0)
        rest.resize(rest.size() - 4);
    batches.push_back(rest);
    return batches;
}

// The installation script exactly as the program installs it.
inline std::string spTvrScript() { return std::string(tvr::engine::SpTvrInstallScript); }

// Runs the installation script; returns the messages of severity above 10.
inline std::vector<CtMessage> installSpTvr(CtClient& client) {
    std::vector<CtMessage> errors;
    for (const std::string& batch : scriptBatches(spTvrScript()))
        for (const CtMessage& m : client.execute(batch).messages())
            if (m.severity > 10) errors.push_back(m);
    return errors;
}

inline std::string spTvrCall(int type, const std::string& database, int dump, int load,
                             const std::string& folder, const std::string& file) {
    return "execute sp_TVR @TypeTrans=" + std::to_string(type) + ", @database_name=\"" + database +
           "\", @pr_dump=" + std::to_string(dump) + ", @pr_load=" + std::to_string(load) +
           ", @pathname=\"" + folder + "\", @device_name=\"" + file + "\"";
}

inline int lastStatus(const CtBatch& batch) {
    const auto statuses = batch.statuses();
    return statuses.empty() ? -999999 : statuses.back();
}

inline bool hasMessage(const CtBatch& batch, int number) {
    for (const CtMessage& m : batch.messages())
        if (m.number == number) return true;
    return false;
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
