#pragma once
// The procedure sp_TVR carried out natively: once a procedure of that name has been created in
// sybsystemprocs, a call runs this instead of interpreting the procedure's Transact-SQL. It
// keeps the procedure's observable behaviour: its prints, the order of its dump and load
// statements, the cut of its parameters and variables to their declared widths, @pr_dump
// winning over @pr_load, a transaction load with a NULL @device_name doing nothing, and its
// return status (1, or the negated error number of the failed statement).
#include <array>
#include <optional>
#include <string>

#include "sim/backup/BackupServer.h"
#include "sim/backup/ServerErrors.h"

namespace tvr::sim {

// One argument of the call: absent, NULL, or a value given as text.
struct ProcedureArgument {
    bool present = false;
    std::optional<std::string> value;
};

// The parameters in declaration order.
enum SpTvrParameter {
    TypeTrans,
    DatabaseName,
    PrDump,
    PrLoad,
    Pathname,
    DeviceName,
    SpTvrParameterCount
};
const char* spTvrParameterName(int parameter);  // "@TypeTrans", ...

// What the procedure's statements do on the server.
class SpTvrActions {
public:
    virtual ~SpTvrActions() = default;
    // A print statement; line is the procedure line it stands on (1 for the "Create" line).
    virtual void print(const std::string& text, int line) = 0;
    virtual BackupResult truncateLog(const std::string& database, int line) = 0;
    virtual BackupResult dumpDatabase(const std::string& database, const std::string& device,
                                      int line) = 0;
    virtual BackupResult dumpTransaction(const std::string& database, const std::string& device,
                                         int line) = 0;
    virtual BackupResult loadDatabase(const std::string& database, const std::string& device,
                                      int line) = 0;
    virtual BackupResult loadTransaction(const std::string& database, const std::string& device,
                                         int line) = 0;
    // An error of the call itself (missing parameter, bad conversion): the procedure does not run.
    virtual void callError(const ServerError& error) = 0;
};

struct SpTvrOutcome {
    std::optional<int> returnStatus;  // none when the call itself was refused
    bool dropConnection = false;
    bool cancelled = false;
};

// Runs the procedure. procedureText is the text it was created with, used only to give the
// messages the line numbers of the statements that raise them.
SpTvrOutcome runSpTvr(const std::array<ProcedureArgument, SpTvrParameterCount>& arguments,
                      SpTvrActions& actions, const std::string& procedureText);

}  // namespace tvr::sim
