#pragma once
// The settings of the program, one field per registry entry, named after that entry.
// Default construction gives the values the settings dialog holds before anything is
// loaded; LoadSettings adds the folders that depend on SYBASE.
#include <string>

namespace tvr::config {

struct TDumpLoadSettings {
    std::string MainServerName;    // "ServerName" of the base key (written by the main logon)
    std::string ReservServerName;  // "ServerName" of base\Reserv
    bool IsReserv = true;          // a reserve server receives the dumps
    bool IsDumLoadBD = true;       // the first pass of a run dumps and loads the whole database
    bool IsClearLog = false;       // a dump file is deleted once it has been loaded
    bool IsInterval = false;       // passes repeat, EditInterval apart
    std::string EditInterval = "00:00";  // "hh:mm", stored as typed
    std::string ComboDump;               // database on the main server
    std::string EditPathDump;            // folder the main server dumps into
    std::string ComboLoad;               // database on the reserve server
    std::string EditPathLoad;            // folder the reserve server loads from
    std::string EditLogPath;             // folder of the activity log files
    std::string EditErrorLogPath;        // folder of the error log files
    // The "Watch" page: how the program watches the standby it keeps.
    bool IsFullOnBreak = false;          // a broken log chain is healed by a full pass
    std::string EditLagWarning = "15";   // minutes of lag before the warning
    std::string EditLagCritical = "60";  // minutes of lag before the critical alert
    std::string EditStallLimit = "30";   // minutes a pass may run before it counts as stalled
    // The "Views" page: the log views.
    std::string EditLogViewLines = "200000";  // the newest lines each log view keeps
    // The "History" page: what is kept of the passes, and who is told of a change of alert.
    std::string EditKeepDumpDays = "0";      // days a dump file is kept; 0: for ever
    std::string EditKeepHistoryDays = "90";  // days a history file is kept; 0: for ever
    std::string EditAlertCommand{};          // run at each change of alert level; empty: none
    // The "Watch" page too: how the shipping takes up its chain and checks what it loads.
    bool IsResumeChain = false;  // a start goes on with the reserve's chain where it stands
    bool IsCheckHeader = false;  // each dump's header is read on the reserve before its load
    std::string EditLogonRefusals = "3";  // refused logons in a row before processing stops

    bool operator==(const TDumpLoadSettings&) const = default;
};

}  // namespace tvr::config
