#include "tests/support/ScriptedProcessingHost.h"

namespace tvr::testing {

void ScriptedProcessingHost::record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

void ScriptedProcessingHost::LogonMain() {
    record(std::string("LogonMain(AutoLogon=") + (connections_.AutoLogon ? "true" : "false") + ")");
    if (onLogonMain) onLogonMain(connections_);
}

void ScriptedProcessingHost::LogonReserve() {
    record(std::string("LogonReserve(AutoLogon=") + (connections_.AutoLogon ? "true" : "false") +
           ")");
    if (onLogonReserve) onLogonReserve(connections_);
}

void ScriptedProcessingHost::SaveSettings() {
    record("SaveSettings()");
    std::exception_ptr failure;
    {
        std::lock_guard lock(mutex_);
        failure = saveFailure_;
    }
    if (failure) std::rethrow_exception(failure);
}

engine::TStartSettings ScriptedProcessingHost::StartSettings() const {
    std::lock_guard lock(mutex_);
    return start_;
}

engine::TPassSettings ScriptedProcessingHost::PassSettings() const {
    std::unique_lock lock(mutex_);
    ++passReads_;
    if (holding_) {
        held_ = true;
        holdChanged_.notify_all();
        holdChanged_.wait(lock, [this] { return !holding_; });
    }
    return pass_;
}

void ScriptedProcessingHost::holdPasses() {
    std::lock_guard lock(mutex_);
    holding_ = true;
    held_ = false;
}

void ScriptedProcessingHost::waitUntilHeld() const {
    std::unique_lock lock(mutex_);
    holdChanged_.wait(lock, [this] { return held_; });
}

void ScriptedProcessingHost::release() {
    std::lock_guard lock(mutex_);
    holding_ = false;
    holdChanged_.notify_all();
}

void ScriptedProcessingHost::setStartSettings(engine::TStartSettings settings) {
    std::lock_guard lock(mutex_);
    start_ = std::move(settings);
}

void ScriptedProcessingHost::setPassSettings(engine::TPassSettings settings) {
    std::lock_guard lock(mutex_);
    pass_ = std::move(settings);
}

void ScriptedProcessingHost::failSaveWith(std::exception_ptr failure) {
    std::lock_guard lock(mutex_);
    saveFailure_ = std::move(failure);
}

std::vector<std::string> ScriptedProcessingHost::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int ScriptedProcessingHost::passSettingsReads() const {
    std::lock_guard lock(mutex_);
    return passReads_;
}

}  // namespace tvr::testing
