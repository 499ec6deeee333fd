#pragma once
// The display of a run without a window: nothing is shown, but the worker's end wakes the
// service's loop through a pipe, the one call it must not miss. Its close request after an
// Exit never comes (a service stops, it never exits with a question), and returns at once.
#include "engine/ProcessDisplay.h"

namespace tvr::service {

class ServiceDisplay final : public engine::TProcessDisplay {
public:
    // Throws std::runtime_error when the pipe cannot be had.
    ServiceDisplay();
    ~ServiceDisplay() override;
    ServiceDisplay(const ServiceDisplay&) = delete;
    ServiceDisplay& operator=(const ServiceDisplay&) = delete;

    // Readable once a worker has ended since the last drain().
    int descriptor() const { return readFd_; }
    void drain();

    void WorkerEnded() override;
    void SetProcessState(int) override {}
    void RefreshTray() override {}
    void EnableStart(bool) override {}
    void SetToolbarSection(engine::ToolbarSection, int, bool) override {}
    void SetActivityBusy(bool) override {}
    void RequestClose() override {}
    void SetStatusText(int, const std::string&) override {}
    void SetInfoRowCount(int) override {}
    void SetInfoRow(int, const engine::InfoRow&) override {}
    void SetInfoCell(int, int, const std::string&) override {}
    void EnableTrayMain(bool) override {}

private:
    int readFd_ = -1;
    int writeFd_ = -1;
};

}  // namespace tvr::service
