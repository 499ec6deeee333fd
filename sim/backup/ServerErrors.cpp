#include "sim/backup/ServerErrors.h"

#include <cstdio>

namespace tvr::sim::errors {
namespace {

std::string hexStamp(unsigned long long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%04llx %08llx", (v >> 32) & 0xFFFFull, v & 0xFFFFFFFFull);
  return buf;
}

}  // namespace

ServerError missingParameter(const std::string& procedure, const std::string& parameter) {
  return {kMissingParameter, 16, 2,
          "Procedure " + procedure + " expects parameter " + parameter + ", which was not supplied."};
}

ServerError offline(const std::string& database) {
  return {kOffline, 14, 1,
          "Database '" + database + "' is currently offline. Please wait and try your command later."};
}

ServerError unknownDatabase(const std::string& database) {
  return {kUnknownDatabase, 11, 1,
          "Attempt to locate entry in sysdatabases for database '" + database +
              "' by name failed - no entry found under that name. Make sure that name is entered properly."};
}

ServerError objectExists(const std::string& name) {
  return {kObjectExists, 16, 1, "There is already an object named '" + name + "' in the database."};
}

ServerError procedureNotFound(const std::string& name) {
  return {kProcedureNotFound, 16, 5,
          "Stored procedure '" + name +
              "' not found. Specify owner.objectname or use sp_help to check whether the object exists "
              "(sp_help may produce lots of output)."};
}

ServerError databaseInUse() {
  return {kDatabaseInUse, 16, 1,
          "Database in use. A user with System Administrator (SA) role must have exclusive use of "
          "database to run load."};
}

ServerError cannotDropProcedure(const std::string& name) {
  return {kCannotDropProcedure, 11, 1,
          "Cannot drop the procedure '" + name + "', because it doesn't exist in the system catalogs."};
}

ServerError truncatedChain() {
  return {kTruncatedChain, 16, 1,
          "DUMP TRANsaction to a dump device is not allowed where a truncate-only transaction dump has "
          "been performed after the last DUMP DATABASE. Use DUMP DATABASE instead."};
}

ServerError outOfSequence(const std::string& device, unsigned long long current,
                          unsigned long long dumpFrom) {
  return {kOutOfSequence, 16, 1,
          "Specified file '" + device + "' is out of sequence. Current time stamp is " +
              hexStamp(current) + " while dump was from " + hexStamp(dumpFrom) + "."};
}

ServerError activitySinceLoad() {
  return {kActivitySinceLoad, 16, 1,
          "There was activity on database since last load, unable to load. Must restart load sequence "
          "with the load database to continue."};
}

ServerError noBackupServer() {
  return {kNoBackupServer, 18, 2,
          "Can't open a connection to site 'SYB_BACKUP'. See the error log file in the ASE boot "
          "directory."};
}

ServerError backupServerError() {
  return {kBackupServerError, 16, 1,
          "Error encountered by Backup Server.  Please refer to Backup Server messages for details."};
}

ServerError injected(int number) {
  switch (number) {
    case kDatabaseInUse: return databaseInUse();
    case kTruncatedChain: return truncatedChain();
    case kActivitySinceLoad: return activitySinceLoad();
    case kNoBackupServer: return noBackupServer();
    case kBackupServerError: return backupServerError();
    default: return {number, 16, 1, "Injected failure " + std::to_string(number) + "."};
  }
}

}  // namespace tvr::sim::errors
