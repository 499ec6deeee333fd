#pragma once
// Test support: a TProcessingHost whose settings the test sets, whose SaveSettings can be made
// to throw, and whose logons run what the test scripts (typically: put a connection into the
// connections and set its flag). Every call is recorded in order, the logons with the
// AutoLogon flag they found ("LogonReserve(AutoLogon=false)").
//
//   ScriptedProcessingHost host(connections);
//   host.setStartSettings({true, "sales", dumps, "sales_copy", loads});
//   host.onLogonMain = [&](TConnections& c) { c.MainConnection = ...; c.MainConnected = true; };
//   host.failSaveWith(std::make_exception_ptr(std::runtime_error("Unable to create directory")));
#include "engine/Connections.h"
#include "engine/ProcessingHost.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tvr::testing {

class ScriptedProcessingHost final : public engine::TProcessingHost {
public:
    explicit ScriptedProcessingHost(engine::TConnections& connections)
        : connections_(connections) {}

    // Run by LogonMain / LogonReserve; nothing (a cancelled logon) when empty.
    std::function<void(engine::TConnections&)> onLogonMain;
    std::function<void(engine::TConnections&)> onLogonReserve;

    void LogonMain() override;
    void LogonReserve() override;
    // Records the call, then throws the scripted failure, if any (it stays until cleared).
    void SaveSettings() override;
    engine::TStartSettings StartSettings() const override;
    engine::TPassSettings PassSettings() const override;
    std::pair<std::string, std::string> ServerNames() const override { return serverNames; }
    std::string LedgerFile() const override { return ledgerFile; }
    // The main and the reserve server as ServerNames gives them.
    std::pair<std::string, std::string> serverNames;

    void setStartSettings(engine::TStartSettings settings);
    // The ledger the start of processing reads and its runs write; empty: one in memory.
    std::string ledgerFile;
    // Takes effect at the worker's next read.
    void setPassSettings(engine::TPassSettings settings);
    void failSaveWith(std::exception_ptr failure);
    // From holdPasses() to release() every read of the pass settings waits: a worker stays
    // inside its pass (or its watch's tick) and cannot end. waitUntilHeld returns once a read
    // waits.
    void holdPasses();
    void waitUntilHeld() const;
    void release();

    // "LogonMain(AutoLogon=true)", "LogonReserve(AutoLogon=false)", "SaveSettings()", ...
    std::vector<std::string> calls() const;
    int passSettingsReads() const;

private:
    void record(std::string call);

    engine::TConnections& connections_;
    mutable std::mutex mutex_;
    mutable std::condition_variable holdChanged_;
    bool holding_ = false;
    mutable bool held_ = false;
    engine::TStartSettings start_;
    engine::TPassSettings pass_;
    std::exception_ptr saveFailure_;
    std::vector<std::string> calls_;
    mutable int passReads_ = 0;
};

}  // namespace tvr::testing
