#pragma once
// Values kept as their column's type holds them on the server. Datetime and smalldatetime
// columns keep the time to 1/300 second and to the minute, in one text form, and compare as the
// times their texts name (the collation below), so that equal times are equal however written.
// Character and binary columns keep at most their declared length, as the server stores them:
// a longer value is cut (to bytes for char, varchar, binary and varbinary; to characters for
// nchar and nvarchar, to UTF-16 units for unichar and univarchar), never inside a character, or,
// under `set string_rtruncation on`, refused when what is cut is more than blanks. SQLite keeps
// what it is given, so each such table gets triggers that fit a row after an insert or an update;
// they live in the database file and so reach dumps and replayed logs alike.
#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlLexer.h"

namespace tvr::sim {

class SqliteDatabase;

inline constexpr const char* kDateTimeCollation = "aseemu_datetime";

// aseemu_fit(value, limit, unit) and the datetime collation: registered on every connection; `refuseTruncation` (may be
// null: cut silently) is read at each call, the session's string_rtruncation setting.
void registerLengthFunctions(sqlite3* db, const bool* refuseTruncation);

// The SQLite text of the error aseemu_fit raises when it refuses a value, and the server's
// message for it.
bool isTruncationError(const std::string& sqliteText);
ServerMessage truncationRefused();

// The statements that create the triggers of `table` (in `schema` on this connection; the
// trigger names carry it unless `schema` is empty), none when no column has a length to keep.
std::vector<std::string> lengthTriggers(SqliteDatabase& db, const std::string& schema,
                                        const std::string& table, bool qualified);

// The word of a length the server does not take, `max` as in varbinary(max) or varchar(max),
// refused as a syntax error wherever a type is written; nothing when the statement has none.
std::optional<std::string> refusedLength(const std::vector<SqlToken>& tokens);

// The declared width in bytes the server gives a column of `base` type and `length`
// (nchar and nvarchar: 3 bytes a character, unichar and univarchar: 2).
int declaredByteLength(const std::string& base, int length);

}  // namespace tvr::sim
