#include "sim/statements/DivisionCheck.h"

namespace tvr::sim {
namespace {

constexpr const char* kRefusal = "aseemu: divide by zero";

void divisorFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    sqlite3_value* value = arguments[0];
    // Texts that read as numbers count as numbers, as SQLite's division would take them.
    const int type = sqlite3_value_numeric_type(value);
    const bool zero = (type == SQLITE_INTEGER && sqlite3_value_int64(value) == 0) ||
                      (type == SQLITE_FLOAT && sqlite3_value_double(value) == 0.0);
    if (zero) {
        sqlite3_result_error(call, kRefusal, -1);
        return;
    }
    sqlite3_result_value(call, value);
}

}  // namespace

void registerDivisionCheck(sqlite3* db) {
    sqlite3_create_function_v2(db, kDivisorFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               divisorFunction, nullptr, nullptr, nullptr);
}

bool isDivideByZeroError(const std::string& sqliteText) {
    return sqliteText.find(kRefusal) != std::string::npos;
}

}  // namespace tvr::sim
