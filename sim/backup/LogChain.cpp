#include "sim/backup/LogChain.h"

#include <optional>
#include <random>

namespace tvr::sim::logchain {
namespace {

void check(sqlite3* db, int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw LogError{sqlite3_errmsg(db)};
}

void exec(sqlite3* db, const char* sql) {
    char* msg = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string text = msg ? msg : sqlite3_errmsg(db);
        sqlite3_free(msg);
        throw LogError{text};
    }
}

class Query {
public:
    Query(sqlite3* db, const char* sql) : db_(db) {
        check(db, sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr));
    }
    ~Query() { sqlite3_finalize(stmt_); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    Query& bind(int i, std::uint64_t v) {
        check(db_, sqlite3_bind_int64(stmt_, i, static_cast<sqlite3_int64>(v)));
        return *this;
    }
    Query& bind(int i, const std::string& v) {
        check(db_,
              sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
        return *this;
    }
    bool step() {
        const int rc = sqlite3_step(stmt_);
        check(db_, rc);
        return rc == SQLITE_ROW;
    }
    std::uint64_t u64(int col) {
        return static_cast<std::uint64_t>(sqlite3_column_int64(stmt_, col));
    }
    std::string text(int col) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)))
                 : std::string();
    }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

std::optional<std::string> meta(sqlite3* db, const char* key) {
    Query q(db, "SELECT value FROM aseemu_meta WHERE key = ?");
    q.bind(1, std::string(key));
    if (q.step()) return q.text(0);
    return std::nullopt;
}

void setMeta(sqlite3* db, const char* key, const std::string& value) {
    Query q(db,
            "INSERT INTO aseemu_meta (key, value) VALUES (?, ?) "
            "ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    q.bind(1, std::string(key)).bind(2, value).step();
}

std::uint64_t metaNumber(sqlite3* db, const char* key) {
    const auto v = meta(db, key);
    if (!v || v->empty()) return 0;
    try {
        return std::stoull(*v);
    } catch (const std::exception&) {
        return 0;
    }
}

// chain_truncated: 0 after a database dump, 1 after a truncation since, 2 before the first.
constexpr const char* kNeverDumped = "2";

std::string newIncarnation() {
    std::random_device rd;
    const std::uint64_t v = (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
    static const char* hex = "0123456789abcdef";
    std::string s(16, '0');
    for (std::size_t i = 0; i < 16; ++i) s[i] = hex[(v >> (60 - 4 * i)) & 0xFu];
    return s;
}

// Nests inside a transaction the caller may already hold.
class Savepoint {
public:
    explicit Savepoint(sqlite3* db) : db_(db) { exec(db_, "SAVEPOINT tvr_chain"); }
    ~Savepoint() {
        if (!done_) {
            sqlite3_exec(db_, "ROLLBACK TO tvr_chain", nullptr, nullptr, nullptr);
            sqlite3_exec(db_, "RELEASE tvr_chain", nullptr, nullptr, nullptr);
        }
    }
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;
    void commit() {
        exec(db_, "RELEASE tvr_chain");
        done_ = true;
    }

private:
    sqlite3* db_;
    bool done_ = false;
};

}  // namespace

void ensure(sqlite3* db) {
    exec(
        db,
        "CREATE TABLE IF NOT EXISTS aseemu_log (seq INTEGER PRIMARY KEY AUTOINCREMENT, at TEXT NOT NULL, "
        "sql TEXT NOT NULL);"
        "CREATE TABLE IF NOT EXISTS aseemu_meta (key TEXT PRIMARY KEY, value TEXT);");
    if (!meta(db, "chain_incarnation")) {
        setMeta(db, "chain_incarnation", newIncarnation());
        // A database never dumped: its log can be dumped only after a database dump.
        setMeta(db, "chain_truncated", kNeverDumped);
    }
}

LogPosition position(sqlite3* db) {
    LogPosition pos;
    pos.incarnation = meta(db, "chain_incarnation").value_or("");
    pos.base = metaNumber(db, "chain_base");
    const std::uint64_t truncated = metaNumber(db, "chain_truncated");
    pos.truncatedSinceDatabaseDump = truncated != 0;
    // A chain not begun yet waits for its first database dump as well.
    pos.neverDumped = truncated == 2 || pos.incarnation.empty();
    pos.unloggedSinceDatabaseDump = metaNumber(db, "chain_unlogged") != 0;
    pos.lastDumpUnixMs = static_cast<std::int64_t>(metaNumber(db, "chain_dump_time"));
    Query last(db, "SELECT seq FROM sqlite_sequence WHERE name = 'aseemu_log'");
    pos.last = last.step() ? last.u64(0) : 0;
    if (pos.last < pos.base) pos.last = pos.base;
    return pos;
}

std::vector<LogEntry> entriesAfter(sqlite3* db, std::uint64_t base, std::uint64_t through) {
    std::vector<LogEntry> out;
    Query q(db, "SELECT seq, at, sql FROM aseemu_log WHERE seq > ? AND seq <= ? ORDER BY seq");
    q.bind(1, base).bind(2, through);
    while (q.step()) out.push_back({q.u64(0), q.text(1), q.text(2)});
    return out;
}

void truncate(sqlite3* db, std::uint64_t through, bool truncateOnly, std::int64_t dumpUnixMs) {
    Savepoint sp(db);
    Query del(db, "DELETE FROM aseemu_log WHERE seq <= ?");
    del.bind(1, through).step();
    if (through > metaNumber(db, "chain_base")) setMeta(db, "chain_base", std::to_string(through));
    // A chain that never had its database dump keeps waiting for it.
    if (truncateOnly && metaNumber(db, "chain_truncated") != 2) setMeta(db, "chain_truncated", "1");
    if (dumpUnixMs != 0) setMeta(db, "chain_dump_time", std::to_string(dumpUnixMs));
    sp.commit();
}

void markDatabaseDumped(sqlite3* db, std::int64_t dumpUnixMs) {
    Savepoint sp(db);
    setMeta(db, "chain_truncated", "0");
    setMeta(db, "chain_unlogged", "0");
    setMeta(db, "chain_dump_time", std::to_string(dumpUnixMs));
    sp.commit();
}

void markUnloggedChange(sqlite3* db, const std::string& schema) {
    auto set = [&](const char* key, const std::string& value, bool keepExisting) {
        const std::string sql =
            "INSERT INTO " + schema + ".aseemu_meta (key, value) VALUES (?, ?) " +
            (keepExisting ? "ON CONFLICT(key) DO NOTHING"
                          : "ON CONFLICT(key) DO UPDATE SET value = excluded.value");
        Query q(db, sql.c_str());
        q.bind(1, std::string(key)).bind(2, value).step();
    };
    set("chain_unlogged", "1", false);
    set("chain_incarnation", newIncarnation(), false);
    // A chain begun here still waits for its first database dump.
    set("chain_truncated", kNeverDumped, true);
}

LoadPosition loadPosition(sqlite3* db) {
    LoadPosition pos;
    pos.incarnation = meta(db, "load_incarnation").value_or("");
    pos.expectedFirst = metaNumber(db, "load_expected_first");
    pos.loadedThrough = metaNumber(db, "load_through");
    pos.loadedDumpUnixMs = static_cast<std::int64_t>(metaNumber(db, "load_dump_time"));
    pos.standby = metaNumber(db, "load_standby") != 0;
    return pos;
}

void setLoadPosition(sqlite3* db, const LoadPosition& position) {
    Savepoint sp(db);
    setMeta(db, "load_incarnation", position.incarnation);
    setMeta(db, "load_expected_first", std::to_string(position.expectedFirst));
    setMeta(db, "load_through", std::to_string(position.loadedThrough));
    setMeta(db, "load_dump_time", std::to_string(position.loadedDumpUnixMs));
    setMeta(db, "load_standby", position.standby ? "1" : "0");
    sp.commit();
}

std::size_t replay(sqlite3* db, const std::vector<LogEntry>& entries, std::uint64_t after,
                   const std::function<void(const LogEntry&)>& beforeEach) {
    Savepoint sp(db);
    std::size_t applied = 0;
    for (const auto& e : entries) {
        if (e.sequence <= after) continue;
        if (beforeEach) beforeEach(e);
        exec(db, e.statement.c_str());
        Query insert(db, "INSERT INTO aseemu_log (seq, at, sql) VALUES (?, ?, ?)");
        insert.bind(1, e.sequence).bind(2, e.time).bind(3, e.statement).step();
        ++applied;
    }
    sp.commit();
    return applied;
}

namespace {

void putNumber(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFFu));
}

void putText(std::string& out, const std::string& s) {
    putNumber(out, s.size(), 4);
    out += s;
}

class Cursor {
public:
    explicit Cursor(const std::string& data) : data_(data) {}
    bool more() const { return pos_ < data_.size(); }
    bool number(int bytes, std::uint64_t& v) {
        if (data_.size() - pos_ < static_cast<std::size_t>(bytes)) return false;
        v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= static_cast<std::uint64_t>(static_cast<unsigned char>(data_[pos_++])) << (8 * i);
        return true;
    }
    bool text(std::string& s) {
        std::uint64_t n = 0;
        if (!number(4, n) || data_.size() - pos_ < n) return false;
        s = data_.substr(pos_, static_cast<std::size_t>(n));
        pos_ += static_cast<std::size_t>(n);
        return true;
    }

private:
    const std::string& data_;
    std::size_t pos_ = 0;
};

}  // namespace

std::string serialize(const std::vector<LogEntry>& entries) {
    std::string out;
    for (const auto& e : entries) {
        putNumber(out, e.sequence, 8);
        putText(out, e.time);
        putText(out, e.statement);
    }
    return out;
}

bool deserialize(const std::string& data, std::vector<LogEntry>& entries) {
    Cursor c(data);
    while (c.more()) {
        LogEntry e;
        if (!c.number(8, e.sequence) || !c.text(e.time) || !c.text(e.statement)) return false;
        entries.push_back(std::move(e));
    }
    return true;
}

}  // namespace tvr::sim::logchain
