#include "engine/DumpLoadThread.h"

#include "client/LogWriter.h"
#include "engine/DumpFileName.h"
#include "platform/Profile.h"
#include "platform/RegionalSettings.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <vector>

namespace tvr::engine {

TWorkerClock TWorkerClock::system() {
    return TWorkerClock{
        [] { return platform::localNow(); },
        [](std::chrono::milliseconds step) { std::this_thread::sleep_for(step); },
        [](const std::string& path) { return std::remove(path.c_str()) == 0; },
    };
}

TDumpLoadThread::TDumpLoadThread(TRunFlags& flags, TProcessDisplay& display,
                                 const TProcessingHost& host, client::LogViews views,
                                 TWorkerClock clock)
    : flags_(flags),
      display_(display),
      host_(host),
      views_(views),
      clock_(std::move(clock)),
      watch_(display_, [this](const std::string& text) { WriteErrorEntry(text); }),
      runner_(TPassServices{
                  [this](const std::string& text) { WriteErrorEntry(text); },
                  [this](const std::string& text) {
                      if (!MainConnection) return;
                      try {
                          client::PrintToLog(text + "  " + client::logTimeNow(),
                                             MainConnection->LogFile(), views_.activity);
                      } catch (const client::LogFileError&) {
                          // Kept and written later; the log's trouble is entered once.
                      }
                  },
                  [this] { clock_.sleep(std::chrono::milliseconds(1000)); },
                  [this](const std::string& path) { return clock_.fileExists(path); },
                  [this](const std::string& path) { clock_.deleteFile(path); },
                  [] { return WatchClock::now(); },
                  [this] { return clock_.now(); },
              },
              &watch_, StopRequested),
      recorder_([this](const std::string& text) { WriteErrorEntry(text); }),
      alert_([this](const std::string& text) { WriteErrorEntry(text); }) {}

namespace {

TWatchLimits watchLimits(const TPassSettings& settings) {
    return {settings.LagWarningMinutes, settings.LagCriticalMinutes, settings.StallLimitMinutes};
}

}  // namespace

TDumpLoadThread::~TDumpLoadThread() {
    StopRequested = true;
    WaitFor();
}

void TDumpLoadThread::Resume() {
    if (started_) return;
    started_ = true;
    thread_ = std::thread([this] { Execute(); });
}

void TDumpLoadThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TDumpLoadThread::ResumeWatch(const TWatchStanding& last) {
    std::string pair = (MainConnection ? MainConnection->ServerName() : std::string()) + "." +
                       DumpRS.database_name;
    if (UseReserve) {
        pair += " -> " + (ReserveConnection ? ReserveConnection->ServerName() : std::string()) +
                "." + LoadRS.database_name;
    }
    watch_.Resume(pair, last);
}

TShippingPair TDumpLoadThread::Pair() const {
    TShippingPair pair;
    pair.mainServer = MainConnection ? MainConnection->ServerName() : std::string();
    pair.mainDatabase = DumpRS.database_name;
    if (UseReserve) {
        pair.reserveServer = ReserveConnection ? ReserveConnection->ServerName() : std::string();
        pair.reserveDatabase = LoadRS.database_name;
    }
    return pair;
}

void TDumpLoadThread::Execute() {
    flags_.FWorkerRunning = true;
    flags_.FLogonRefused = false;
    display_.EnableStart(false);
    runner_.UseLedger(Ledger, Pair().key(), Reseed);
    try {
        runner_.CleanUpPartialDumps();
    } catch (const std::exception& error) {
        WriteErrorEntry(std::string("The partial dumps cannot be cleaned up: ") + error.what());
    }
    watch_.RunStarted(WatchClock::now(), UseReserve);
    // The watch is shown every second from the first pass on, also while a call blocks.
    std::optional<TWatchTicker> ticker;
    while (!StopRequested) {
        if (!ticker) {
            ticker.emplace([this] { TickWatch(); });
        }
        try {
            RunPass();
        } catch (const std::exception& error) {
            // A pass that cannot go on (a log file that cannot be written) ends processing
            // instead of the thread: the end steps below must run, or the window would stay
            // in the processing state and an Exit would wait for ever.
            ReportPassFailure(error.what());
        } catch (...) {
            ReportPassFailure("Unexpected failure of a pass");
        }
    }
    if (ticker) {
        ticker.reset();
        watch_.RunEnded();
        // The window keeps the watch as the run left it.
        TickWatch();
        const auto now = WatchClock::now();
        recorder_.RunEnded(RecordPlaces(), watch_.Lag(now),
                           watch_.View(now, watchLimits(host_.PassSettings())).level);
    }
    EndRun();
}

void TDumpLoadThread::EndRun() {
    bool closeAsked = false;
    {
        // Under the lock that Stop and Exit take: a Stop answered now sees the run ended, and
        // an Exit confirmed now is either seen here or finds the run still going and waits
        // for WorkerEnded.
        std::lock_guard lock(flags_.FLock);
        flags_.FProcessing = false;
        display_.EnableStart(true);
        display_.SetActivityBusy(false);
        flags_.FWorkerRunning = false;
        display_.SetProcessState(StateNotActive);
        closeAsked = flags_.FExitRequested;
        if (closeAsked) flags_.FCloseFromWorker = true;
    }
    display_.SetToolbarSection(ToolbarSection::Start, ToolbarImage::StartOn, true);
    display_.SetToolbarSection(ToolbarSection::Settings, ToolbarImage::SettingsOn, true);
    if (closeAsked) display_.RequestClose();
    finished_ = true;
    display_.WorkerEnded();
}

void TDumpLoadThread::RunPass() {
    display_.SetProcessState(StateProcessing);
    display_.RefreshTray();

    if (!MainConnection || (UseReserve && !ReserveConnection)) {
        throw std::logic_error("Processing started without a connection to each server");
    }
    const TPassReport report =
        runner_.Run(TPassSessions{MainConnection.get(), ReserveConnection.get()}, DumpRS, LoadRS,
                    UseReserve, host_.PassSettings());
    mainConnected_ = !MainConnection->ConnectionDead();
    reserveConnected_ = !UseReserve || !ReserveConnection->ConnectionDead();
    pendingLoads_ = UseReserve ? runner_.PendingLoads() : 0;
    RecordPass(report);
    runner_.DeleteExpiredDumps(host_.PassSettings().KeepDumpDays);
    if (report.refused || report.logonRefused) {
        // The entry that says why is written; what is left is the stop a confirmed Stop makes.
        if (report.logonRefused) flags_.FLogonRefused = true;
        StopProcessing();
        return;
    }

    display_.SetProcessState(StateSleeping);
    display_.RefreshTray();

    // The runner deleted the dump file when so set, once its load succeeded.
    const TPassSettings settings = host_.PassSettings();
    runner_.WaitAfter(report, !settings.IsInterval);
    if (!settings.IsInterval || StopRequested) return;

    const char separator = platform::regionalFormats().timeSeparator;
    const auto seconds = intervalSeconds(settings.EditInterval, separator);
    if (!seconds) {
        ReportPassFailure("Interval \"" + settings.EditInterval + "\" is not a time of day (hh" +
                          separator + "mm); processing stopped");
        return;
    }
    for (long i = 1; !StopRequested && i <= *seconds; ++i) {
        clock_.sleep(std::chrono::milliseconds(1000));
    }
}

void TDumpLoadThread::TickWatch() {
    const TPassSettings settings = host_.PassSettings();
    const auto now = WatchClock::now();
    const TWatchView view = watch_.Tick(now, watchLimits(settings));
    alert_.LevelNow(view.level, watch_.Lag(now), settings.AlertCommand, platform::profileName());
    TRunStanding standing;
    standing.lag = watch_.Lag(now);
    standing.level = view.level;
    standing.mainConnected = mainConnected_;
    standing.reserveConnected = reserveConnected_;
    standing.useReserve = UseReserve;
    standing.pendingLoads = pendingLoads_;
    recorder_.Tick(RecordPlaces(), standing);
}

TRecordPlaces TDumpLoadThread::RecordPlaces() const {
    TRecordPlaces places;
    if (MainConnection && !MainConnection->LogFile().empty())
        places.historyFolder =
            std::filesystem::path(MainConnection->LogFile()).parent_path().string();
    places.metricsFile = MetricsFile;
    return places;
}

void TDumpLoadThread::RecordPass(const TPassReport& report) {
    if (!report.sent) return;
    const TRecordPlaces places = RecordPlaces();
    if (places.historyFolder.empty()) return;
    const TPassSettings settings = host_.PassSettings();
    const auto now = WatchClock::now();
    const TWatchView view = watch_.View(now, watchLimits(settings));
    recorder_.PassEnded(places, passRecordOf(report, UseReserve, watch_.Lag(now), report.bytes),
                        settings, view.level, !view.chainBreak.empty());
}

void TDumpLoadThread::ReportPassFailure(const std::string& text) {
    WriteErrorEntry(text);
    StopProcessing();
}

void TDumpLoadThread::StopProcessing() {
    std::lock_guard lock(flags_.FLock);
    flags_.FProcessing = false;
    display_.SetToolbarSection(ToolbarSection::Stop, ToolbarImage::StopOff, false);
    StopRequested = true;
}

void TDumpLoadThread::WriteErrorEntry(const std::string& text) {
    // Both logs and both views (a log file's error text has two lines). Called from the
    // worker and from the watch's ticker: each append is whole under the file's lock.
    client::writeProgramError(text,
                              {MainConnection ? MainConnection->LogFile() : std::string(),
                               MainConnection ? MainConnection->ErrorLogFile() : std::string()},
                              views_);
}

}  // namespace tvr::engine
