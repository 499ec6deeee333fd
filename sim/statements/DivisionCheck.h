#pragma once
// Division and modulo by zero, which the server refuses (3607) where SQLite gives NULL. The
// translator wraps the right operand of every / and % in aseemu_divisor(...), which passes the
// value through and fails the statement when it is zero.
#include <sqlite3.h>

#include <string>

namespace tvr::sim {

// The name SQLite knows the check by.
inline constexpr const char* kDivisorFunction = "aseemu_divisor";

void registerDivisionCheck(sqlite3* db);

// True when an SQLite error text is the check's refusal.
bool isDivideByZeroError(const std::string& sqliteText);

}  // namespace tvr::sim
