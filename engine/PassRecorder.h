#pragma once
// What the worker leaves behind after each pass for those who are not watching the window:
// the pass's line in the history beside the activity log. Nothing here ever stops shipping:
// a history that cannot be written is an error entry (once, until it can be written again).
#include "engine/PassHistory.h"
#include "engine/PassRunner.h"

#include <functional>
#include <string>

namespace tvr::engine {

// The pass as the history keeps it. `bytes`: the dump file's size, when it could be seen.
TPassRecord PassRecordOf(const TPassReport& report, bool useReserve, std::chrono::seconds lag,
                         std::optional<std::uintmax_t> bytes);

// The size of the first of `paths` that is a regular file.
std::optional<std::uintmax_t> DumpFileBytes(const std::vector<std::string>& paths);

class TPassRecorder {
public:
    // `errorEntry` writes one error entry in both logs and both views.
    explicit TPassRecorder(std::function<void(const std::string&)> errorEntry);

    // After a pass that sent its dump: its line in the history of `historyFolder` (the folder
    // of the activity log).
    void PassEnded(const std::string& historyFolder, const TPassRecord& record);

private:
    std::function<void(const std::string&)> errorEntry_;
    bool historyFailing_ = false;
};

}  // namespace tvr::engine
