#pragma once
// The live copy of the settings: owned by the settings dialog, edited by it on the GUI
// thread and read by the start of processing and the worker at the moment they need a
// value. Every access takes a lock, so the worker may read while the dialog edits.
#include "config/DumpLoadSettings.h"

#include <mutex>
#include <utility>

namespace tvr::config {

class LiveSettings {
public:
    LiveSettings() = default;
    explicit LiveSettings(TDumpLoadSettings initial) : settings_(std::move(initial)) {}
    LiveSettings(const LiveSettings&) = delete;
    LiveSettings& operator=(const LiveSettings&) = delete;

    // A consistent copy of all settings at this moment.
    TDumpLoadSettings snapshot() const {
        std::lock_guard lock(mutex_);
        return settings_;
    }

    // One value read under the lock, e.g. read(&TDumpLoadSettings::EditPathDump).
    template <class T>
    T read(T TDumpLoadSettings::*field) const {
        std::lock_guard lock(mutex_);
        return settings_.*field;
    }

    // Changes the settings under the lock; `change` gets a TDumpLoadSettings&.
    template <class Change>
    void edit(Change&& change) {
        std::lock_guard lock(mutex_);
        std::forward<Change>(change)(settings_);
    }

    void replace(TDumpLoadSettings settings) {
        std::lock_guard lock(mutex_);
        settings_ = std::move(settings);
    }

private:
    mutable std::mutex mutex_;
    TDumpLoadSettings settings_;
};

}  // namespace tvr::config
