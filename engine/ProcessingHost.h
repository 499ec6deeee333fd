#pragma once
// What the start of processing and the worker need from the layers above the engine: the
// logons (with or without their dialog), the saving of the settings, and the values of the
// live settings at the moment they are used.
#include <string>
#include <utility>

namespace tvr::engine {

// Copied into the worker when it is filled; later changes do not reach a running worker.
struct TStartSettings {
    bool IsDumLoadBD = true;
    std::string ComboDump;
    std::string EditPathDump;
    std::string ComboLoad;
    std::string EditPathLoad;
    // A start whose reserve is still offline in its load
    // sequence, with every dump the ledger knows loaded, goes on with transaction passes
    // instead of shipping the whole database again.
    bool IsResumeChain = false;
};

// Read by the worker at every pass, so an edit takes effect at the next one.
struct TPassSettings {
    bool IsClearLog = false;
    bool IsInterval = false;
    std::string EditInterval = "00:00";
    // The watch: a broken log chain is healed by a full pass; the lag's warning and critical
    // thresholds and the time after which a running pass counts as stalled, in minutes (0:
    // off).
    bool IsFullOnBreak = false;
    int LagWarningMinutes = 15;
    int LagCriticalMinutes = 60;
    int StallLimitMinutes = 30;
    // What is kept: dump files and history files older than these days are deleted (0: all
    // kept); the command run at each change of the alert level (empty: none).
    int KeepDumpDays = 0;
    int KeepHistoryDays = 90;
    std::string AlertCommand{};
    // Each dump's header is read on the reserve server (load ... with headeronly) and compared
    // with the ledger before the dump is loaded.
    bool IsCheckHeader = false;
    // Logons the server refuses in a row (a wrong password, a locked login) before processing
    // stops: trying on would only lock the login where the server locks it after a few.
    int LogonRefusalLimit = 3;
};

class TProcessingHost {
public:
    virtual ~TProcessingHost() = default;
    // GUI thread. On success the window state holds the open connection and its flag.
    virtual void LogonMain() = 0;
    virtual void LogonReserve() = 0;
    // GUI thread. Writes the settings and creates the dump and load folders. A failure is
    // thrown as an exception whose what() is the text the user sees; its type tells the start
    // of processing what to do next:
    //  - platform::RegistryError: only the registry file could not be written. Thrown once,
    //    after every other step has been done (the folders made), so the start shows the
    //    error and goes on: the worker works from the values in memory.
    //  - any other std::exception (the settings store's "Unable to create directory" for an
    //    empty dump or load folder): the start shows the error and is abandoned; the window
    //    returns to idle.
    // When both happen, the second kind is the one thrown.
    virtual void SaveSettings() = 0;
    virtual TStartSettings StartSettings() const = 0;
    // The main and the reserve server as the logons last stored them, for the texts that name
    // them while no session is open; empty when unknown.
    virtual std::pair<std::string, std::string> ServerNames() const { return {}; }
    // Any thread.
    virtual TPassSettings PassSettings() const = 0;
    // GUI thread. The profile's shipping ledger; empty: a ledger kept in memory by the
    // start of processing (a host of tests without a profile).
    virtual std::string LedgerFile() const { return {}; }
};

}  // namespace tvr::engine
