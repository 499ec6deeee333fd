#pragma once
// The server errors of procedures, dump and load, and the Backup Server, with the numbers,
// severities and texts an Adaptive Server uses for them. Every such error the emulator raises
// comes from this table or, for those the rest of the server raises too (911, 950, 2714,
// 2812), from sim/ServerMessages.h.
#include <cstdint>
#include <string>

#include "sim/protocol/ServerTokens.h"
#include "sim/statements/ServerMessages.h"

namespace tvr::sim {

// The messages of this table end with a line feed, as the server's system messages do.
using ServerError = ServerMessage;

// A time as the server writes a datetime by default: to the minute ("Aug 18 2018 12:30AM") or,
// where it names a precise moment, to the millisecond ("Aug 18 2018  1:14:36:013AM").
enum class DateTimePrecision { Minute, Millisecond };
std::string serverDateTime(long long unixMs, DateTimePrecision precision);

namespace errors {

inline constexpr int kMissingParameter = 201;       // sev 16
inline constexpr int kOffline = 950;                // sev 14
inline constexpr int kUnknownDatabase = 911;        // sev 11
inline constexpr int kObjectExists = 2714;          // sev 16
inline constexpr int kProcedureNotFound = 2812;     // sev 16
inline constexpr int kDatabaseInUse = 3101;         // sev 16
inline constexpr int kDumpWillNotFit = 3105;        // sev 16, a load into a smaller database
inline constexpr int kMasterLoad = 3108;            // sev 16, a load into master
inline constexpr int kCannotDropProcedure = 3701;   // sev 11
inline constexpr int kTruncatedChain = 4221;        // sev 16
inline constexpr int kUnloggedOperation = 4207;     // sev 16, dump tran after select into
inline constexpr int kSelectIntoNotAllowed = 268;   // sev 16, select into without the option
inline constexpr int kNotInTransaction = 226;       // sev 16, a command no transaction may hold
inline constexpr int kLogNotOnItsOwnDevice = 4205;  // sev 16, a log sharing the data's device
inline constexpr int kTruncLogOnCheckpoint = 4208;  // sev 16, dump tran with the option set
inline constexpr int kOutOfSequence = 4305;         // sev 16
inline constexpr int kActivitySinceLoad = 4306;     // sev 16
inline constexpr int kNoBackupServer = 7205;        // sev 18
inline constexpr int kBackupServerError = 8009;     // sev 16
inline constexpr int kBadConversion = 257;          // sev 16
inline constexpr int kHelpTextNoObject = 17461;     // sev 16, sp_helptext of a missing object
inline constexpr int kNoSuchOption = 17411;         // sev 16, sp_configure of an unknown parameter
inline constexpr int kNotFirstInBatch = 111;    // sev 15, create procedure after other statements
inline constexpr int kNestingTooDeep = 217;     // sev 16, procedures calling procedures too deep
inline constexpr int kTooManyArguments = 8144;  // sev 16
inline constexpr int kNotAParameter = 8145;     // sev 16
inline constexpr int kProcedureNotRun =
    20001;                               // sev 16, a created procedure this emulator cannot run
inline constexpr int kBadFault = 20002;  // sev 16, emulator fault with a bad description

ServerError missingParameter(const std::string& procedure, const std::string& parameter);
ServerError databaseInUse();
ServerError masterLoad();
// `neededKB`: the size of the dumped database.
ServerError dumpWillNotFit(std::uint64_t neededKB);
ServerError cannotDropProcedure(const std::string& name);
ServerError truncatedChain();
ServerError unloggedOperation();
ServerError selectIntoNotAllowed();
// `command`: as the server names it, "SELECT INTO".
ServerError notInTransaction(const std::string& command);
ServerError logNotOnItsOwnDevice(const std::string& database);
ServerError truncLogOnCheckpointSet();
// `currentUnixMs`: when the last dump loaded into the database was made; `dumpUnixMs`: when
// the refused one was.
ServerError outOfSequence(const std::string& device, long long currentUnixMs, long long dumpUnixMs);
ServerError activitySinceLoad();
ServerError noBackupServer();
ServerError badConversion();
ServerError noTextForObject();
ServerError noSuchOption(const std::string& name);
ServerError notFirstInBatch();
// `why`: what in the procedure goes beyond a plain sequence of known statements.
ServerError procedureNotRun(const std::string& name, const std::string& why);
ServerError procedureNotCreated(const std::string& name, const std::string& why);
ServerError nestingTooDeep(int limit);
ServerError tooManyArguments(const std::string& procedure);
ServerError notAParameter(const std::string& parameter, const std::string& procedure);
ServerError badFault(const std::string& why);
ServerError backupServerError();
// An error number given by a test through fault injection: the table's text when the number
// is one of ours, a generic one otherwise.
ServerError injected(int number);

}  // namespace errors
}  // namespace tvr::sim
