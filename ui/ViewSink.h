#pragma once
// A log view as the client layer's sink (client/LogSink.h). Lines appended on any thread go
// into the view's store under its lock, so the appending thread goes on only once its lines
// are in the view, lines keep the order in which they were appended, and the thread never
// waits for the GUI thread. The first lines after a catch-up ask the GUI thread, without
// waiting, to catch up within a frame. No lock of the window is taken.
#include "client/LogSink.h"
#include "ui/GuiThreadCalls.h"
#include "ui/LogView.h"

#include <QPointer>

namespace tvr::ui {

class TViewSink final : public client::LogSink {
public:
    explicit TViewSink(TGuiThreadCalls& calls) : calls_(calls) {}
    // GUI thread, before the sink is bound.
    void setView(TLogView* view) {
        view_ = view;
        store_ = view ? view->store() : nullptr;
    }

    void addLines(const std::vector<client::LogLine>& lines) override {
        if (!store_) return;
        bool first = false;
        {
            std::lock_guard lock(store_->mutex);
            for (const client::LogLine& line : lines) store_->lines.append(line);
            first = !store_->appended;
            store_->appended = true;
        }
        if (first)
            calls_.post([view = view_] {
                if (view) view->linesAppended();
            });
    }

private:
    QPointer<TLogView> view_;
    std::shared_ptr<TLogStore> store_;
    TGuiThreadCalls& calls_;
};

}  // namespace tvr::ui
