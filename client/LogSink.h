#pragma once
// The two log views as the client layer sees them: a sink that takes finished lines with
// their colour and emphasis. The window binds its views here; tests bind a recorder.
#include <string>
#include <vector>

namespace tvr::client {

enum class LogColour { Default, Red, Green };

struct LogLine {
    std::string text;  // one line, markers removed, no line end
    LogColour colour = LogColour::Default;
    bool bold = false;
    bool underline = false;

    bool operator==(const LogLine&) const = default;
};

class LogSink {
public:
    virtual ~LogSink() = default;
    // Adds the lines of one entry at the end of the view, in order; after them the view is
    // back at its default colour without emphasis. Called on whichever thread made the
    // library call that produced the entry (the worker thread during processing), so an
    // implementation must accept calls from any thread and keep their order.
    virtual void addLines(const std::vector<LogLine>& lines) = 0;
};

// The two views an owner of its own entries writes to (the worker gets them when it is made);
// a null sink shows nothing.
struct LogViews {
    LogSink* activity = nullptr;
    LogSink* errors = nullptr;
};

// The activity view and the error view of the process; none until the window binds them.
// Each setter returns the previous binding. Safe to call from any thread.
LogSink* LogView();
LogSink* setLogView(LogSink* view);
LogSink* ErrorLogView();
LogSink* setErrorLogView(LogSink* view);

}  // namespace tvr::client
