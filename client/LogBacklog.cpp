#include "client/LogBacklog.h"

#include "client/LogFileNames.h"
#include "client/LogWriter.h"
#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

namespace tvr::client {
namespace {

struct Kept {
    std::deque<std::string> entries;
    std::size_t dropped = 0;
    std::string reason;
};

std::mutex backlogMutex;
std::map<std::string, Kept> backlog;  // files that failed, while they keep something
std::atomic<std::uint64_t> failures{0};
std::filesystem::path faultFile;
// A report of one log's trouble writes to the other: it must not report again.
thread_local bool reporting = false;

std::string whichLog(const std::string& file) {
    if (file == ErrorLogFileName()) return "the error log " + file;
    if (file == LogFileName()) return "the activity log " + file;
    return "the log " + file;
}

void noteFault(const std::optional<std::string>& fault) {
    if (faultFile.empty()) return;
    try {
        if (fault)
            platform::replaceFileAtomically(faultFile, *fault + "\n");
        else
            std::filesystem::remove(faultFile);
    } catch (const std::exception&) {
        // The check then knows less; the logs and the views still say it.
    }
}

// The entry about `file` in the other log and both views, outside the backlog's lock.
void report(const std::string& file, const std::string& text) {
    if (reporting) return;
    reporting = true;
    std::vector<std::string> others;
    for (const std::string& log : {LogFileName(), ErrorLogFileName()})
        if (log != file) others.push_back(log);
    try {
        writeProgramError(text, others, true);
    } catch (...) {
    }
    reporting = false;
}

}  // namespace

platform::AppendResult appendKeeping(const std::string& file, const std::string& entry) {
    std::unique_lock lock(backlogMutex);
    auto kept = backlog.find(file);
    std::string text;
    if (kept != backlog.end()) {
        if (kept->second.dropped > 0)
            text += "\r\n$Err$" + std::to_string(kept->second.dropped) +
                    " entries were lost while the file could not be written\r\n";
        for (const std::string& old : kept->second.entries) text += old;
    }
    text += entry;
    const platform::AppendResult result = platform::appendEntryToFile(file, text);
    if (result == platform::AppendResult::Written) {
        if (kept == backlog.end()) return result;
        const std::size_t written = kept->second.entries.size();
        backlog.erase(kept);
        // Under the lock, so that a fault and its end are noted in the order they happened.
        if (backlog.empty()) noteFault(std::nullopt);
        lock.unlock();
        report(file, whichLog(file) + " can be written again; the " + std::to_string(written) +
                         " entries kept meanwhile are in it");
        return result;
    }
    const std::string reason = std::strerror(errno);
    ++failures;
    const bool first = kept == backlog.end();
    Kept& keep = backlog[file];
    keep.entries.push_back(entry);
    if (keep.entries.size() > kKeptLogEntries) {
        keep.entries.pop_front();
        ++keep.dropped;
    }
    keep.reason = reason;
    const std::string fault = "cannot write " + whichLog(file) + ": " + reason;
    if (first) noteFault(fault);
    lock.unlock();
    if (first)
        report(file, fault + "; its entries are kept and written once it can be written again");
    return result;
}

std::uint64_t logWriteFailures() { return failures.load(); }

std::optional<std::string> logWriteFault() {
    std::lock_guard lock(backlogMutex);
    if (backlog.empty()) return std::nullopt;
    const auto& [file, kept] = *backlog.begin();
    return "cannot write " + whichLog(file) + ": " + kept.reason;
}

void setLogFaultFile(std::filesystem::path file) {
    {
        std::lock_guard lock(backlogMutex);
        faultFile = std::move(file);
    }
    // A fault file a killed run left behind tells nothing of this one.
    noteFault(logWriteFault());
}

std::optional<std::string> readLogFaultFile(const std::filesystem::path& file) {
    std::optional<std::string> text = platform::readWholeFile(file);
    if (!text) return std::nullopt;
    while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) text->pop_back();
    if (text->empty()) return std::nullopt;
    return text;
}

std::filesystem::path logFaultFileBeside(const std::filesystem::path& registryFile) {
    return registryFile.parent_path() / "log-fault.txt";
}

}  // namespace tvr::client
