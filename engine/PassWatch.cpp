#include "engine/PassWatch.h"

#include <algorithm>

#include "platform/RegionalSettings.h"

#include <ctime>
#include <utility>
#include <vector>

namespace tvr::engine {
namespace {

using std::chrono::duration_cast;
using std::chrono::seconds;

std::string timeOfDay(WatchClock::time_point when) {
    const std::time_t t = WatchClock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    return platform::formatLongTime(local);
}

std::string lagEntry(AlertLevel level, seconds lag, const TWatchLimits& limits) {
    switch (level) {
        case AlertLevel::Warning:
            return "Lag warning: the reserve is " + lagText(lag) + " behind the main server (" +
                   std::to_string(limits.warningMinutes) + " minutes allowed)";
        case AlertLevel::Critical:
            return "Lag critical: the reserve is " + lagText(lag) + " behind the main server (" +
                   std::to_string(limits.criticalMinutes) + " minutes allowed)";
        case AlertLevel::None:
            break;
    }
    return "Lag back below the thresholds: the reserve is " + lagText(lag) + " behind";
}

std::string chainBrokenEntry(const std::string& reason) {
    return "Log chain broken: " + reason +
           "; the reserve cannot advance until a full dump and load (critical)";
}

}  // namespace

TPassWatch::TPassWatch(TWatchDisplay& display, std::function<void(const std::string&)> errorEntry)
    : display_(display), errorEntry_(std::move(errorEntry)) {}

void TPassWatch::RunStarted(WatchClock::time_point now, bool useReserve) {
    std::lock_guard lock(mutex_);
    useReserve_ = useReserve;
    if (!firstRunStart_) firstRunStart_ = now;
    passStart_.reset();
    passEnded_ = false;
    stallReported_ = false;
}

void TPassWatch::PassStarted(WatchClock::time_point now) {
    std::lock_guard lock(mutex_);
    passStart_ = now;
    stallReported_ = false;
}

void TPassWatch::PassEnded(WatchClock::time_point now, WatchClock::time_point dumpStart,
                           const StepResult& dump, const StepResult& load) {
    std::vector<std::string> entries;
    {
        std::lock_guard lock(mutex_);
        if (stallReported_ && passStart_) {
            entries.push_back("The stalled pass ended after " +
                              lagText(duration_cast<seconds>(now - *passStart_)));
        }
        passStart_.reset();
        stallReported_ = false;
        passEnded_ = true;
        dump_ = dump;
        load_ = load;
        const StepResult& last = useReserve_ ? load : dump;
        const bool wasBroken = !chainBreak_.empty();
        if (last.outcome == StepOutcome::Ok) {
            goodDumpStart_ = dumpStart;
            goodLoadEnd_ = now;
            chainBreak_.clear();
        }
        for (const StepResult* step : {&dump, &load}) {
            if (step->outcome == StepOutcome::Failed && isChainBreakError(step->error))
                chainBreak_ = chainBreakErrorText(step->error);
        }
        // Entered here, not at the next tick, so that a break mended within a second is
        // still entered both ways.
        if (!wasBroken && !chainBreak_.empty()) entries.push_back(chainBrokenEntry(chainBreak_));
        if (wasBroken && chainBreak_.empty()) {
            entries.push_back("Log chain whole again: a pass loaded its dump; the reserve is " +
                              lagText(duration_cast<seconds>(now - dumpStart)) + " behind");
        }
    }
    for (const std::string& entry : entries) errorEntry_(entry);
}

void TPassWatch::RunEnded() {
    std::lock_guard lock(mutex_);
    passStart_.reset();
    stallReported_ = false;
}

void TPassWatch::ChainBroken(const std::string& reason) {
    bool wasBroken = false;
    std::string named;
    {
        std::lock_guard lock(mutex_);
        wasBroken = !chainBreak_.empty();
        chainBreak_ = reason.empty() ? std::string("the log cannot be dumped") : reason;
        named = chainBreak_;
    }
    if (!wasBroken) errorEntry_(chainBrokenEntry(named));
}

void TPassWatch::Resume(const std::string& pair, const TWatchStanding& last) {
    std::lock_guard lock(mutex_);
    pair_ = pair;
    if (last.pair != pair) return;
    firstRunStart_ = last.firstRunStart;
    goodDumpStart_ = last.goodDumpStart;
    goodLoadEnd_ = last.goodLoadEnd;
    lagLevel_ = last.lagLevel;
    chainBreak_ = last.chainBreak;  // entered by the run that saw it break
}

TWatchStanding TPassWatch::Standing() const {
    std::lock_guard lock(mutex_);
    return TWatchStanding{pair_,        firstRunStart_, goodDumpStart_,
                          goodLoadEnd_, lagLevel_,      chainBreak_};
}

seconds TPassWatch::Lag(WatchClock::time_point now) const {
    std::lock_guard lock(mutex_);
    const auto from = goodDumpStart_ ? goodDumpStart_ : firstRunStart_;
    return from ? duration_cast<seconds>(now - *from) : seconds(0);
}

TWatchView TPassWatch::View(WatchClock::time_point now, const TWatchLimits& limits) const {
    std::lock_guard lock(mutex_);
    return viewLocked(now, limits);
}

std::optional<TWatchView> watchFromHistory(const std::vector<TPassRecord>& history,
                                           WatchClock::time_point now, const TWatchLimits& limits,
                                           bool useReserve) {
    if (history.empty()) return std::nullopt;
    const auto good = std::find_if(history.rbegin(), history.rend(),
                                   [](const TPassRecord& r) { return r.good(); });
    TWatchView view;
    view.lagFrom = good != history.rend() ? good->start : history.front().start;
    const char* kind = useReserve ? "good load " : "good dump ";
    view.lastGood = good != history.rend()
                        ? kind + timeOfDay(good->start)
                        : std::string(useReserve ? "no good load yet" : "no good dump yet");
    const seconds lag = std::max(duration_cast<seconds>(now - *view.lagFrom), seconds(0));
    view.lag = "lag " + lagText(lag);
    view.level = lagLevel(lag, limits.warningMinutes, limits.criticalMinutes);
    if (view.level != AlertLevel::None)
        view.alert = "Reserve behind by " + lagText(lag) + " (" + alertLevelName(view.level) + ")";
    return view;
}

void TPassWatch::SessionLost(const std::string& server) {
    std::lock_guard lock(mutex_);
    sessionLost_ = server;
}

TWatchView TPassWatch::viewLocked(WatchClock::time_point now, const TWatchLimits& limits) const {
    TWatchView view;
    if (passEnded_) {
        view.mainOutcome = "dump: " + stepResultText(dump_);
        if (useReserve_) view.reserveOutcome = "load: " + stepResultText(load_);
    }
    const char* good = useReserve_ ? "good load " : "good dump ";
    view.lastGood = goodLoadEnd_
                        ? good + timeOfDay(*goodLoadEnd_)
                        : std::string(useReserve_ ? "no good load yet" : "no good dump yet");
    const auto from = goodDumpStart_ ? goodDumpStart_ : firstRunStart_;
    const seconds lag = from ? duration_cast<seconds>(now - *from) : seconds(0);
    view.lag = "lag " + lagText(lag);
    view.lagFrom = from;
    view.level = lagLevel(lag, limits.warningMinutes, limits.criticalMinutes);
    if (view.level != AlertLevel::None) {
        view.alert = "Reserve behind by " + lagText(lag) + " (" + alertLevelName(view.level) + ")";
    }
    if (!sessionLost_.empty() && view.level == AlertLevel::None) {
        view.level = AlertLevel::Warning;
        view.alert = "Connection to " + sessionLost_ + " lost (warning)";
    }
    if (!chainBreak_.empty()) {
        view.chainBreak = chainBreak_;
        view.level = AlertLevel::Critical;
        view.alert = "Log chain broken: " + chainBreak_ + " (critical)";
    }
    if (passStart_ && limits.stallMinutes > 0 &&
        now - *passStart_ >= std::chrono::minutes(limits.stallMinutes)) {
        view.stalled = true;
        view.level = AlertLevel::Critical;
        view.alert =
            "Pass running for " + lagText(duration_cast<seconds>(now - *passStart_)) + " (stalled)";
    }
    return view;
}

TWatchView TPassWatch::Tick(WatchClock::time_point now, const TWatchLimits& limits) {
    std::vector<std::string> entries;
    TWatchView view;
    {
        std::lock_guard lock(mutex_);
        view = viewLocked(now, limits);
        const auto from = goodDumpStart_ ? goodDumpStart_ : firstRunStart_;
        const seconds lag = from ? duration_cast<seconds>(now - *from) : seconds(0);
        const AlertLevel level = lagLevel(lag, limits.warningMinutes, limits.criticalMinutes);
        if (level != lagLevel_) {
            entries.push_back(lagEntry(level, lag, limits));
            lagLevel_ = level;
        }
        if (view.stalled && !stallReported_) {
            stallReported_ = true;
            entries.push_back("Pass stalled: running for " +
                              lagText(duration_cast<seconds>(now - *passStart_)) + " (" +
                              std::to_string(limits.stallMinutes) +
                              " minutes allowed); it is left to finish");
        }
    }
    for (const std::string& entry : entries) errorEntry_(entry);
    display_.ShowWatch(view);
    return view;
}

TWatchTicker::TWatchTicker(std::function<void()> tick)
    : thread_([this, tick = std::move(tick)] {
          std::unique_lock lock(mutex_);
          while (!stop_) {
              lock.unlock();
              tick();
              lock.lock();
              wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; });
          }
      }) {}

TWatchTicker::~TWatchTicker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

}  // namespace tvr::engine
