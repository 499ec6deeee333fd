#pragma once
// Test support: a TProcessDisplay that records every call, in the order made, as a readable
// line ("SetProcessState(1)", "SetToolbarSection(Start, 7, off)", "SetStatusText(0, Waiting...)"),
// and keeps what a window would show: the state panel's text, the toolbar sections, the enabled
// state of the commands and the busy pointer. Calls may come from any thread.
//
//   RecordingDisplay display;
//   ... start a worker with it ...
//   ASSERT_TRUE(display.waitFor([&] { return display.count("SetProcessState(2)") >= 3; }));
//   EXPECT_EQ(display.panelHistory(), (std::vector<std::string>{"Processing...", ...}));
#include "engine/ProcessDisplay.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tvr::testing {

class RecordingDisplay final : public engine::TProcessDisplay {
public:
    struct Section {
        int image = -1;
        bool clickable = false;
        bool operator==(const Section&) const = default;
    };

    void SetProcessState(int state) override;
    void RefreshTray() override;
    void EnableStart(bool enabled) override;
    void SetToolbarSection(engine::ToolbarSection section, int image, bool clickable) override;
    void SetActivityBusy(bool busy) override;
    // Runs the close hook (on the calling thread) before it returns, as the window runs its
    // close handler before the worker's request returns.
    void RequestClose() override;
    void SetStatusText(int panel, const std::string& text) override;
    void SetInfoRowCount(int rows) override;
    void SetInfoRow(int row, const engine::InfoRow& cells) override;
    void SetInfoCell(int row, int column, const std::string& text) override;
    void EnableTrayMain(bool enabled) override;
    // Kept apart from the calls: the ticker shows the watch every second.
    void ShowWatch(const engine::TWatchView& view) override;
    std::vector<engine::TWatchView> watchViews() const;

    // What RequestClose runs; nothing when empty.
    void setCloseHandler(std::function<void()> handler);

    // Every call so far, in order.
    std::vector<std::string> calls() const;
    // The calls from index `first` on.
    std::vector<std::string> callsFrom(std::size_t first) const;
    std::size_t callCount() const;
    // How many calls read exactly `call`.
    int count(const std::string& call) const;

    // Status panel 0 as the window shows it: each text it took, in order, repeats kept.
    std::vector<std::string> panelHistory() const;
    std::string panelText(int panel) const;
    int state() const;  // last SetProcessState value, -1 before the first
    Section section(engine::ToolbarSection section) const;
    bool startEnabled() const;  // last EnableStart value
    bool activityBusy() const;

    // Waits until `condition` holds, re-testing at every call made and at least every 50 ms;
    // false when `timeout` passes first. The condition runs without the recorder's lock held.
    bool waitFor(const std::function<bool()>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60)) const;

private:
    void record(std::string call);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::vector<engine::TWatchView> watchViews_;
    std::vector<std::string> panelHistory_;
    std::array<std::string, 9> panels_{};
    std::array<Section, 6> sections_{};
    int state_ = -1;
    bool startEnabled_ = false;
    bool busy_ = false;
    std::function<void()> closeHandler_;
};

}  // namespace tvr::testing
