#include "engine/DumpLoadThread.h"

#include "client/LogWriter.h"
#include "engine/DumpFileName.h"
#include "platform/RegionalSettings.h"

#include <cstdio>
#include <exception>
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

TDumpLoadThread::TDumpLoadThread(TWindowState& window, TProcessDisplay& display,
                                 const TProcessingHost& host, TWorkerClock clock)
    : window_(window), display_(display), host_(host), clock_(std::move(clock)) {}

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

void TDumpLoadThread::Execute() {
    window_.FWorkerRunning = true;
    display_.EnableStart(false);
    while (!StopRequested) {
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
    window_.FProcessing = false;
    display_.EnableStart(true);
    display_.SetActivityBusy(false);
    window_.FWorkerRunning = false;
    display_.SetProcessState(StateNotActive);
    display_.SetToolbarSection(ToolbarSection::Start, ToolbarImage::StartOn, true);
    display_.SetToolbarSection(ToolbarSection::Settings, ToolbarImage::SettingsOn, true);
    if (window_.FExitRequested) {
        window_.FCloseFromWorker = true;
        display_.RequestClose();
    }
    finished_ = true;
}

void TDumpLoadThread::RunPass() {
    display_.SetProcessState(StateProcessing);
    display_.RefreshTray();

    const std::string name = DumpFileName(DumpRS.database_name, DumpRS.TypeTrans == 1, clock_.now(),
                                          platform::regionalFormats());
    DumpRS.device_name = name;
    LoadRS.device_name = name;

    if (!MainConnection || (UseReserve && !ReserveConnection)) {
        throw std::logic_error("Processing started without a connection to each server");
    }
    MainConnection->Execute("use master");
    if (UseReserve) ReserveConnection->Execute("use master");

    const std::string dump = SpTvrCallStatement(DumpRS);
    const std::string load = SpTvrCallStatement(LoadRS);
    MainConnection->Execute(dump);
    if (UseReserve) ReserveConnection->Execute(load);

    DumpRS.TypeTrans = 1;
    LoadRS.TypeTrans = 1;

    display_.SetProcessState(StateSleeping);
    display_.RefreshTray();

    const TPassSettings settings = host_.PassSettings();
    if (settings.IsClearLog) {
        clock_.deleteFile(LoadRS.pathname + DumpPathSeparator + LoadRS.device_name);
    }
    if (!settings.IsInterval || StopRequested) return;

    const char separator = platform::regionalFormats().timeSeparator;
    const auto seconds = IntervalSeconds(settings.EditInterval, separator);
    if (!seconds) {
        ReportPassFailure("Interval \"" + settings.EditInterval + "\" is not a time of day (hh" +
                          separator + "mm); processing stopped");
        return;
    }
    for (long i = 1; !StopRequested && i <= *seconds; ++i) {
        clock_.sleep(std::chrono::milliseconds(1000));
    }
}

void TDumpLoadThread::ReportPassFailure(const std::string& text) {
    // An error entry in both logs and both views (a log file's error text has two lines),
    // then the stop a confirmed Stop makes.
    client::WriteProgramError(text,
                              {MainConnection ? MainConnection->LogFile() : std::string(),
                               MainConnection ? MainConnection->ErrorLogFile() : std::string()},
                              true);

    std::lock_guard lock(window_.FLock);
    window_.FProcessing = false;
    display_.SetToolbarSection(ToolbarSection::Stop, ToolbarImage::StopOff, false);
    StopRequested = true;
}

}  // namespace tvr::engine
