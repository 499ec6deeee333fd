#pragma once
// A log view as the client layer's sink (client/LogSink.h). Lines appended on another thread
// are added by the GUI thread while the appending thread waits, so that thread goes on only
// once its lines are in the view, and lines keep the order in which they were appended. No
// lock of the window is taken.
#include "client/LogSink.h"
#include "ui/GuiThreadCalls.h"
#include "ui/LogView.h"

#include <QPointer>

namespace tvr::ui {

class TViewSink final : public client::LogSink {
public:
    explicit TViewSink(TGuiThreadCalls& calls) : calls_(calls) {}
    void setView(TLogView* view) { view_ = view; }

    void addLines(const std::vector<client::LogLine>& lines) override {
        // A copy: a waiter let go at shut-down must not leave the call holding its lines.
        calls_.postAndWait([view = view_, lines] {
            if (view) view->appendLines(lines);
        });
    }

private:
    QPointer<TLogView> view_;
    TGuiThreadCalls& calls_;
};

}  // namespace tvr::ui
