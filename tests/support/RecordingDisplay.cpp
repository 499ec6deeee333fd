#include "tests/support/RecordingDisplay.h"

#include <algorithm>

namespace tvr::testing {
namespace {

const char* sectionName(engine::ToolbarSection section) {
    switch (section) {
        case engine::ToolbarSection::Start:
            return "Start";
        case engine::ToolbarSection::Stop:
            return "Stop";
        case engine::ToolbarSection::Settings:
            return "Settings";
        case engine::ToolbarSection::Help:
            return "Help";
        case engine::ToolbarSection::About:
            return "About";
        case engine::ToolbarSection::Exit:
            return "Exit";
    }
    return "?";
}

const char* onOff(bool value) { return value ? "on" : "off"; }
const char* trueFalse(bool value) { return value ? "true" : "false"; }

}  // namespace

void RecordingDisplay::record(std::string call) {
    calls_.push_back(std::move(call));
    changed_.notify_all();
}

void RecordingDisplay::SetProcessState(int state) {
    std::lock_guard lock(mutex_);
    state_ = state;
    if (const char* text = engine::processStateText(state)) {
        panels_[engine::PanelState] = text;
        panelHistory_.push_back(text);
    }
    record("SetProcessState(" + std::to_string(state) + ")");
}

void RecordingDisplay::RefreshTray() {
    std::lock_guard lock(mutex_);
    record("RefreshTray()");
}

void RecordingDisplay::EnableStart(bool enabled) {
    std::lock_guard lock(mutex_);
    startEnabled_ = enabled;
    record(std::string("EnableStart(") + trueFalse(enabled) + ")");
}

void RecordingDisplay::SetToolbarSection(engine::ToolbarSection section, int image,
                                         bool clickable) {
    std::lock_guard lock(mutex_);
    sections_.at(static_cast<std::size_t>(section)) = Section{image, clickable};
    record(std::string("SetToolbarSection(") + sectionName(section) + ", " + std::to_string(image) +
           ", " + onOff(clickable) + ")");
}

void RecordingDisplay::SetActivityBusy(bool busy) {
    std::lock_guard lock(mutex_);
    busy_ = busy;
    record(std::string("SetActivityBusy(") + trueFalse(busy) + ")");
}

void RecordingDisplay::RequestClose() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        record("RequestClose()");
        handler = closeHandler_;
    }
    if (handler) handler();
}

void RecordingDisplay::SetStatusText(int panel, const std::string& text) {
    std::lock_guard lock(mutex_);
    panels_.at(static_cast<std::size_t>(panel)) = text;
    if (panel == engine::PanelState) panelHistory_.push_back(text);
    record("SetStatusText(" + std::to_string(panel) + ", " + text + ")");
}

void RecordingDisplay::SetInfoRowCount(int rows) {
    std::lock_guard lock(mutex_);
    record("SetInfoRowCount(" + std::to_string(rows) + ")");
}

void RecordingDisplay::SetInfoRow(int row, const engine::InfoRow& cells) {
    std::lock_guard lock(mutex_);
    record("SetInfoRow(" + std::to_string(row) + ", " + cells[0] + "|" + cells[1] + "|" + cells[2] +
           "|" + cells[3] + ")");
}

void RecordingDisplay::SetInfoCell(int row, int column, const std::string& text) {
    std::lock_guard lock(mutex_);
    record("SetInfoCell(" + std::to_string(row) + ", " + std::to_string(column) + ", " + text +
           ")");
}

void RecordingDisplay::EnableTrayMain(bool enabled) {
    std::lock_guard lock(mutex_);
    record(std::string("EnableTrayMain(") + trueFalse(enabled) + ")");
}

void RecordingDisplay::setCloseHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    closeHandler_ = std::move(handler);
}

std::vector<std::string> RecordingDisplay::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> RecordingDisplay::callsFrom(std::size_t first) const {
    std::lock_guard lock(mutex_);
    if (first >= calls_.size()) return {};
    return {calls_.begin() + static_cast<std::ptrdiff_t>(first), calls_.end()};
}

std::size_t RecordingDisplay::callCount() const {
    std::lock_guard lock(mutex_);
    return calls_.size();
}

int RecordingDisplay::count(const std::string& call) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(calls_.begin(), calls_.end(), call));
}

std::vector<std::string> RecordingDisplay::panelHistory() const {
    std::lock_guard lock(mutex_);
    return panelHistory_;
}

std::string RecordingDisplay::panelText(int panel) const {
    std::lock_guard lock(mutex_);
    return panels_.at(static_cast<std::size_t>(panel));
}

int RecordingDisplay::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

RecordingDisplay::Section RecordingDisplay::section(engine::ToolbarSection section) const {
    std::lock_guard lock(mutex_);
    return sections_.at(static_cast<std::size_t>(section));
}

bool RecordingDisplay::startEnabled() const {
    std::lock_guard lock(mutex_);
    return startEnabled_;
}

bool RecordingDisplay::activityBusy() const {
    std::lock_guard lock(mutex_);
    return busy_;
}

bool RecordingDisplay::waitFor(const std::function<bool()>& condition,
                               std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::size_t seen = 0;
        {
            std::lock_guard lock(mutex_);
            seen = calls_.size();
        }
        if (condition()) return true;
        std::unique_lock lock(mutex_);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        changed_.wait_for(lock, std::chrono::milliseconds(50),
                          [&] { return calls_.size() != seen; });
    }
}

void RecordingDisplay::ShowWatch(const engine::TWatchView& view) {
    {
        std::lock_guard lock(mutex_);
        watchViews_.push_back(view);
    }
    changed_.notify_all();
}

std::vector<engine::TWatchView> RecordingDisplay::watchViews() const {
    std::lock_guard lock(mutex_);
    return watchViews_;
}

}  // namespace tvr::testing
