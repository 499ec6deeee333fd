#pragma once
// How numeric, decimal, money and smallmoney values are kept in SQLite without a binary
// fraction on the way. Their columns are created with a type of text affinity ("money
// exact_text", "numeric exact_text(38,10)"), so SQLite keeps what it is given as the decimal
// text it reads, and with a collation that compares such texts as the numbers they are, so that
// comparisons, sorting, grouping and keys stay numeric. A number literal with more digits than an
// 8-byte float carries becomes a string literal before SQLite reads it, and `sum` adds exactly.
// The precision and scale stay in the declared type; the scale is applied as a value is sent.
#include <sqlite3.h>

#include <string>

namespace tvr::sim {

// The collation of exact columns and the word of their SQLite type that gives text affinity.
inline constexpr const char* kExactCollation = "aseemu_exact";
inline constexpr const char* kExactStorageWord = "exact_text";

// numeric, decimal, dec, money, smallmoney (lower case).
bool isExactTypeName(const std::string& lowerName);

// The SQLite type of a column declared `name` with `arguments` ("(10,2)" or empty).
std::string exactColumnType(const std::string& name, const std::string& arguments);

// The type as it was declared, without the storage word ("numeric(10,2)").
std::string declaredTypeOf(const std::string& sqliteType);

// The collation clause an exact column's SQLite type needs after it; empty for other types.
std::string collationFor(const std::string& sqliteType);

// A number as SQLite must read it: unchanged when SQLite keeps it exactly (an integer of 64 bits,
// at most 15 significant digits, an exponent), else a string literal; `negative` puts a minus
// sign inside the literal. Anything that is no number comes back unchanged.
std::string sqliteNumberLiteral(const std::string& number, bool negative = false);

// True when the literal needs the quoting above, so that a minus before it must go inside.
bool needsTextLiteral(const std::string& number);

// The collation and the exact `sum`, on every connection that runs statements.
void registerExactStorage(sqlite3* db);

}  // namespace tvr::sim
