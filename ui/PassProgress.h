#pragma once
// How far the dump or the load under way has come, from what the Backup Server says as it
// goes ("Database sales: 2048 kilobytes (50%) DUMPED."): the percentage, the kilobytes done
// and an estimate of the time left from the pace of the step so far. The main window shows it
// in a status panel of its own and on the tray hint's state line, beside the state text, which
// stays as it is. GUI thread only.
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class QLabel;
class QStatusBar;

namespace tvr::ui {

struct TProgressReport {
    std::string database;
    std::uint64_t kilobytes = 0;
    int percent = 0;
    bool load = false;  // LOADED, else DUMPED
    bool operator==(const TProgressReport&) const = default;
};

// The report a Backup Server message line holds, wherever it stands in the line; nothing for
// any other line.
std::optional<TProgressReport> parseProgressLine(std::string_view text);

class TPassProgress {
public:
    using Clock = std::chrono::steady_clock;

    // Adds the status panel "PanelProgress" to `bar`, after its first; nothing is owned.
    explicit TPassProgress(QStatusBar* bar);

    // The processing state: a pass begins with 1 (its dump with it); any other state ends
    // what is shown.
    void stateChanged(int state, Clock::time_point now);
    // A line of the activity log; true when what is shown changed.
    bool line(std::string_view text, Clock::time_point now);

    // "dump 50%: 2048 KB, about 0:12 left" for the panel; "dump 50%, 0:12 left" for the tray
    // hint; empty while no step reports.
    QString panelText() const;
    QString hintText() const;

private:
    void show();

    QLabel* panel_;
    bool processing_ = false;
    Clock::time_point stepStart_;
    Clock::time_point lastAt_;
    std::optional<TProgressReport> last_;
    std::optional<std::chrono::seconds> left_;
};

}  // namespace tvr::ui
