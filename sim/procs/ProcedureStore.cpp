#include "sim/procs/ProcedureStore.h"

#include "sim/statements/WireLiterals.h"

namespace tvr::sim::procstore {
namespace {

bool tableExists(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(
            db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'aseemu_procs'", -1,
            &st, nullptr) != SQLITE_OK)
        return false;
    const bool found = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    return found;
}

}  // namespace

std::string createSql(const std::string& name, const std::string& text,
                      const std::string& created) {
    return "CREATE TABLE IF NOT EXISTS aseemu_procs (name TEXT PRIMARY KEY, text TEXT NOT NULL, crdate TEXT); "
           "INSERT INTO aseemu_procs (name, text, crdate) VALUES (" +
           quotedLiteral(name) + ", " + quotedLiteral(text) + ", " + quotedLiteral(created) + ")";
}

std::string dropSql(const std::string& name) {
    return "DELETE FROM aseemu_procs WHERE name = " + quotedLiteral(name);
}

std::optional<std::string> text(sqlite3* db, const std::string& name) {
    if (!tableExists(db)) return std::nullopt;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT text FROM aseemu_procs WHERE name = ?", -1, &st, nullptr) !=
        SQLITE_OK)
        return std::nullopt;
    sqlite3_bind_text(st, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    std::optional<std::string> out;
    if (sqlite3_step(st) == SQLITE_ROW) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        out = std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(st, 0)));
    }
    sqlite3_finalize(st);
    return out;
}

bool exists(sqlite3* db, const std::string& name) { return text(db, name).has_value(); }

}  // namespace tvr::sim::procstore
