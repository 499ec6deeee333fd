#include "sim/backup/ServerErrors.h"

#include <cstdio>
#include <ctime>

namespace tvr::sim {

std::string serverDateTime(long long unixMs, DateTimePrecision precision) {
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int hour = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    char buf[64];
    const int used =
        std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d", months[local.tm_mon % 12],
                      local.tm_mday, local.tm_year + 1900, hour, local.tm_min);
    if (precision == DateTimePrecision::Millisecond && used > 0)
        std::snprintf(buf + used, sizeof buf - static_cast<std::size_t>(used), ":%02d:%03d",
                      local.tm_sec, static_cast<int>(unixMs % 1000));
    return std::string(buf) + (local.tm_hour < 12 ? "AM" : "PM");
}

namespace errors {

using messages::systemMessage;

ServerError missingParameter(const std::string& procedure, const std::string& parameter) {
    return systemMessage(
        kMissingParameter, 16, 2,
        "Procedure " + procedure + " expects parameter " + parameter + ", which was not supplied.");
}

ServerError databaseInUse() {
    return systemMessage(
        kDatabaseInUse, 16, 1,
        "Database in use. A user with System Administrator (SA) role must have exclusive use of "
        "database to run load.");
}

ServerError masterLoad() {
    return systemMessage(
        kMasterLoad, 16, 1,
        "LOAD DATABASE must be used in single user mode if trying to restore the Master database.");
}

ServerError dumpWillNotFit(std::uint64_t neededKB) {
    return systemMessage(kDumpWillNotFit, 16, 1,
                         "Data on dump will not fit into current database. Need " +
                             std::to_string((neededKB + 1023) / 1024) + " Mbyte database.");
}

ServerError cannotDropProcedure(const std::string& name) {
    return systemMessage(kCannotDropProcedure, 11, 1,
                         "Cannot drop the procedure '" + name +
                             "', because it doesn't exist in the system catalogs.");
}

ServerError truncatedChain() {
    return systemMessage(
        kTruncatedChain, 16, 1,
        "DUMP TRANsaction to a dump device is not allowed where a truncate-only transaction dump has "
        "been performed after the last DUMP DATABASE. Use DUMP DATABASE instead.");
}

ServerError unloggedOperation() {
    return systemMessage(
        kUnloggedOperation, 16, 2,
        "Dump transaction is not allowed because a non-logged operation was performed on the "
        "database. Dump your database or use dump transaction with truncate_only until you can "
        "dump your database.");
}

ServerError selectIntoNotAllowed() {
    return systemMessage(
        kSelectIntoNotAllowed, 16, 1,
        "You can't run SELECT INTO in this database. Please check with the Database Owner.");
}

ServerError notInTransaction(const std::string& command) {
    return systemMessage(kNotInTransaction, 16, 1,
                         command + " command not allowed within multi-statement transaction.");
}

ServerError logNotOnItsOwnDevice(const std::string& database) {
    // Segment map 7 (system, default and log segments together) from logical page 0: what a
    // database created without "log on" has.
    return systemMessage(kLogNotOnItsOwnDevice, 16, 1,
                         "Syslogs does not exist in its own segment in database '" + database +
                             "' with segmap '7' with logical start page number of '0'. You may "
                             "not use DUMP TRAN in this case, use DUMP DATABASE instead.");
}

ServerError truncLogOnCheckpointSet() {
    return systemMessage(kTruncLogOnCheckpoint, 16, 1,
                         "DUMP TRANsaction is not allowed while the trunc. log on chkpt. option is "
                         "enabled: use DUMP DATABASE, or disable the option with sp_dboption.");
}

ServerError outOfSequence(const std::string& device, long long currentUnixMs,
                          long long dumpUnixMs) {
    return systemMessage(kOutOfSequence, 16, 1,
                         "Specified file '" + device +
                             "' is out of sequence. Current time stamp is " +
                             serverDateTime(currentUnixMs, DateTimePrecision::Millisecond) +
                             " while dump was from " +
                             serverDateTime(dumpUnixMs, DateTimePrecision::Millisecond) + ".");
}

ServerError activitySinceLoad() {
    return systemMessage(
        kActivitySinceLoad, 16, 1,
        "There was activity on database since last load, unable to load. Must restart load sequence "
        "with the load database to continue.");
}

ServerError noBackupServer() {
    return systemMessage(
        kNoBackupServer, 18, 2,
        "Can't open a connection to site 'SYB_BACKUP'. See the error log file in the ASE boot "
        "directory.");
}

ServerError backupServerError() {
    return systemMessage(
        kBackupServerError, 16, 1,
        "Error encountered by Backup Server.  Please refer to Backup Server messages for details.");
}

ServerError badConversion() {
    return systemMessage(
        kBadConversion, 16, 1,
        "Implicit conversion from datatype 'VARCHAR' to 'INT' is not allowed.  Use the CONVERT function "
        "to run this query.");
}

ServerError noTextForObject() {
    return systemMessage(kHelpTextNoObject, 16, 1, "Object does not exist in this database.");
}

ServerError noSuchOption(const std::string& name) {
    return systemMessage(kNoSuchOption, 16, 1,
                         "Configuration option '" + name + "' does not exist.");
}

ServerError notFirstInBatch() {
    return systemMessage(kNotFirstInBatch, 15, 1,
                         "CREATE PROCEDURE must be the first command in a query batch.");
}

ServerError procedureNotRun(const std::string& name, const std::string& why) {
    return systemMessage(
        kProcedureNotRun, 16, 1,
        "Procedure '" + name + "' is stored, but this emulator does not run it: " + why + ".");
}

ServerError procedureNotCreated(const std::string& name, const std::string& why) {
    return systemMessage(kProcedureNotRun, 16, 1,
                         "Procedure '" + name +
                             "' was not created: this emulator could not run it, as " + why + ".");
}

ServerError nestingTooDeep(int limit) {
    return systemMessage(
        kNestingTooDeep, 16, 1,
        "Maximum stored procedure nesting level exceeded (limit " + std::to_string(limit) + ").");
}

ServerError tooManyArguments(const std::string& procedure) {
    return systemMessage(kTooManyArguments, 16, 1,
                         "Procedure " + procedure + " has too many arguments specified.");
}

ServerError notAParameter(const std::string& parameter, const std::string& procedure) {
    return systemMessage(kNotAParameter, 16, 1,
                         parameter + " is not a parameter for procedure " + procedure + ".");
}

ServerError badFault(const std::string& why) {
    return systemMessage(kBadFault, 16, 1, "emulator fault: " + why + ".");
}

ServerError injected(int number) {
    switch (number) {
        case kDatabaseInUse:
            return databaseInUse();
        case kTruncatedChain:
            return truncatedChain();
        case kUnloggedOperation:
            return unloggedOperation();
        case kActivitySinceLoad:
            return activitySinceLoad();
        case kNoBackupServer:
            return noBackupServer();
        case kBackupServerError:
            return backupServerError();
        default:
            return systemMessage(number, 16, 1, "Injected failure " + std::to_string(number) + ".");
    }
}

}  // namespace errors
}  // namespace tvr::sim
