#pragma once
// What the client tests share: a scratch folder removed afterwards, fixed regional formats
// so that stamped entries are exact, a prompt recorder and recording log views.
#include "client/Events.h"
#include "client/LogSink.h"
#include "platform/RegionalSettings.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/TempFolder.h"

#include <ctpublic.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace tvr::client::testing {

// The long time format is a literal, so every stamp reads "12:00:01".
inline platform::RegionalFormats fixedFormats() {
    return platform::RegionalFormats{"%d.%m.%Y", "12:00:01", ':'};
}

// A server message as the library hands it to the handler: the text ends at its zero.
inline CS_SERVERMSG serverMessage(CS_INT number, CS_INT severity, const std::string& text,
                                  CS_INT state = 1, CS_INT line = 1) {
    CS_SERVERMSG m;
    std::memset(&m, 0, sizeof m);
    m.msgnumber = number;
    m.severity = severity;
    m.state = state;
    m.line = line;
    std::strncpy(m.text, text.c_str(), sizeof m.text - 1);
    m.textlen = static_cast<CS_INT>(std::min(text.size(), sizeof m.text - 1));
    return m;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class RecordingEventReceiver final : public TEventReceiver {
public:
    void ReceiveEvent(const TEventCT& event) override {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    std::vector<TEventCT> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::string> textsOf(std::int32_t code) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const TEventCT& e : events_)
            if (e.Code == code) out.push_back(e.Text);
        return out;
    }

private:
    mutable std::mutex mutex_;
    std::vector<TEventCT> events_;
};

class ClientFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::injectRegionalFormats(fixedFormats());
        previousLogView = setLogView(&activityView);
        previousErrorView = setErrorLogView(&errorView);
        previousReceiver = setEventReceiver(&events);
    }
    void TearDown() override {
        setEventReceiver(previousReceiver);
        setErrorLogView(previousErrorView);
        setLogView(previousLogView);
        platform::injectRegionalFormats(std::nullopt);
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // The only box shown so far: `text`, captioned "Error", one OK button, no icon and no
    // owner window.
    void expectOneErrorBox(const std::string& text) const {
        const std::vector<platform::PromptCall> boxes = prompts.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].buttons, platform::PromptButtons::Ok);
        EXPECT_EQ(boxes[0].icon, platform::PromptIcon::None);
        EXPECT_EQ(boxes[0].owner, nullptr);
    }

    tvr::testing::TempFolder scratch{"tvr-client"};
    std::filesystem::path dir = scratch.path();
    platform::RecordingPrompts prompts;
    RecordingLogSink activityView;
    RecordingLogSink errorView;
    RecordingEventReceiver events;

private:
    LogSink* previousLogView = nullptr;
    LogSink* previousErrorView = nullptr;
    TEventReceiver* previousReceiver = nullptr;
};

}  // namespace tvr::client::testing
