#pragma once
// The longest hold of the GUI thread's event loop: a timer on the GUI thread ticks every
// millisecond; the largest gap between two ticks is the longest hold, as the clock on the
// wall sees it (which includes any time the system gave the GUI thread's core to other
// processes) and as the GUI thread's own processor time counts it. Create on the GUI thread.
#include "bench/ProcessFigures.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace tvr::bench {

class EventLoopHolds {
public:
    EventLoopHolds() {
        tick_.setTimerType(Qt::PreciseTimer);
        tick_.setInterval(1);
        QObject::connect(&tick_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
            const qint64 cpu = threadCpuNanoseconds();
            longestCpu_ = std::max(longestCpu_, cpu - lastCpu_);
            lastCpu_ = cpu;
            ++ticks_;
        });
    }
    void start() {
        clock_.start();
        last_ = 0;
        lastCpu_ = threadCpuNanoseconds();
        tick_.start();
    }
    void stop() { tick_.stop(); }

    double longestMs() const { return double(longest_) / 1e6; }
    double longestCpuMs() const { return double(longestCpu_) / 1e6; }
    qint64 ticks() const { return ticks_; }

private:
    QTimer tick_;
    QElapsedTimer clock_;
    qint64 last_ = 0, longest_ = 0, lastCpu_ = 0, longestCpu_ = 0, ticks_ = 0;
};

}  // namespace tvr::bench
