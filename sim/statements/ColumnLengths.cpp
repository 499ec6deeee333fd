#include "sim/statements/ColumnLengths.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "sim/statements/DateTime.h"
#include "sim/statements/SqlTranslator.h"
#include "sim/storage/Sqlite.h"

namespace tvr::sim {
namespace {

constexpr const char* kRefusal = "aseemu: string data, right truncation";

// What a column's limit counts.
enum Unit { Bytes = 0, Characters = 1, Utf16Units = 2, BinaryBytes = 3, Time = 4, Minutes = 5 };

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The number of leading bytes of `text` that stay within `limit` units, never cutting a
// character in two.
std::size_t fittingBytes(const std::string& text, int limit, Unit unit) {
    const std::size_t bound = static_cast<std::size_t>(limit);
    if (unit == Bytes || unit == BinaryBytes) {
        if (text.size() <= bound) return text.size();
        std::size_t end = bound;
        if (unit == Bytes)
            while (end > 0 && continuation(static_cast<unsigned char>(text[end]))) --end;
        return end;
    }
    std::size_t used = 0, at = 0;
    while (at < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[at]);
        const std::size_t width = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        // Outside the basic plane a character takes two UTF-16 units.
        const std::size_t units = unit == Utf16Units && width == 4 ? 2 : 1;
        if (used + units > bound) break;
        used += units;
        at += width;
        while (at < text.size() && continuation(static_cast<unsigned char>(text[at]))) ++at;
    }
    return std::min(at, text.size());
}

void fitFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    sqlite3_value* value = arguments[0];
    const int type = sqlite3_value_type(value);
    if (type == SQLITE_NULL) return sqlite3_result_null(call);
    const int limit = sqlite3_value_int(arguments[1]);
    const Unit unit = static_cast<Unit>(sqlite3_value_int(arguments[2]));
    if (unit == Time || unit == Minutes) {
        // A text that is no datetime stays as it is, as the emulator has always kept it.
        const unsigned char* text = sqlite3_value_text(value);
        std::optional<DateTimeValue> time =
            text != nullptr ? parseDateTime(reinterpret_cast<const char*>(text)) : std::nullopt;
        if (!time || type == SQLITE_BLOB) return sqlite3_result_value(call, value);
        const std::string kept = formatDateTime(unit == Minutes ? toTheMinute(*time) : *time);
        return sqlite3_result_text(call, kept.data(), static_cast<int>(kept.size()),
                                   SQLITE_TRANSIENT);
    }
    const bool blob = type == SQLITE_BLOB;
    const void* bytes = blob ? sqlite3_value_blob(value) : sqlite3_value_text(value);
    const std::string text(static_cast<const char*>(bytes),
                           static_cast<std::size_t>(sqlite3_value_bytes(value)));
    // An empty character value is kept as one blank, as the server keeps it, so that it stays
    // apart from NULL wherever it travels (bulk copy's rows have no empty value).
    if (text.empty() && !blob && unit != BinaryBytes)
        return sqlite3_result_text(call, " ", 1, SQLITE_STATIC);
    const std::size_t keep = fittingBytes(text, limit, unit);
    if (keep == text.size()) return sqlite3_result_value(call, value);
    const auto* refuse = static_cast<const bool*>(sqlite3_user_data(call));
    // Only character data is refused, and only when more than blanks would be lost.
    if (refuse != nullptr && *refuse && unit != BinaryBytes &&
        text.find_first_not_of(' ', keep) != std::string::npos)
        return sqlite3_result_error(call, kRefusal, -1);
    if (blob)
        return sqlite3_result_blob(call, text.data(), static_cast<int>(keep), SQLITE_TRANSIENT);
    sqlite3_result_text(call, text.data(), static_cast<int>(keep), SQLITE_TRANSIENT);
}

struct Limited {
    std::string column;
    int limit = 0;
    Unit unit = Bytes;
};

std::optional<Limited> limitOf(const std::string& column, const std::string& declared) {
    std::string type;
    for (char c : declared) type += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t paren = type.find('(');
    std::string base = type.substr(0, paren);
    while (!base.empty() && base.back() == ' ') base.pop_back();
    // A length left out is 1, as the server takes it for char and binary types.
    const int length = paren == std::string::npos ? 1 : std::atoi(type.c_str() + paren + 1);
    Limited limited{column, length, Bytes};
    if (base == "char" || base == "varchar" || base == "character")
        limited.unit = Bytes;
    else if (base == "sysname")
        limited.limit = 30;
    else if (base == "nchar" || base == "nvarchar")
        limited.unit = Characters;
    else if (base == "unichar" || base == "univarchar")
        limited.unit = Utf16Units;
    else if (base == "binary" || base == "varbinary")
        limited.unit = BinaryBytes;
    else if (base == "datetime" || base == "smalldatetime")
        limited = Limited{column, 0, base == "datetime" ? Time : Minutes};
    else
        return std::nullopt;
    if (limited.limit < 1 && limited.unit != Time && limited.unit != Minutes) return std::nullopt;
    return limited;
}

std::optional<DateTimeValue> dateTimeOf(const void* bytes, int size) {
    if (size <= 0 || size > 64) return std::nullopt;
    return parseDateTime(
        std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size)));
}

// Times in their order, before any text that is no time; such texts byte by byte.
int dateTimeCollation(void*, int leftSize, const void* left, int rightSize, const void* right) {
    const std::optional<DateTimeValue> a = dateTimeOf(left, leftSize);
    const std::optional<DateTimeValue> b = dateTimeOf(right, rightSize);
    if (a && b) {
        if (a->days != b->days) return a->days < b->days ? -1 : 1;
        return a->ticks == b->ticks ? 0 : a->ticks < b->ticks ? -1 : 1;
    }
    if (a || b) return a ? -1 : 1;
    const int common = std::min(leftSize, rightSize);
    const int bytes = common > 0 ? std::memcmp(left, right, static_cast<std::size_t>(common)) : 0;
    return bytes != 0 ? bytes : leftSize - rightSize;
}

}  // namespace

void registerLengthFunctions(sqlite3* db, const bool* refuseTruncation) {
    sqlite3_create_function_v2(db, "aseemu_fit", 3, SQLITE_UTF8,
                               const_cast<bool*>(refuseTruncation), fitFunction, nullptr, nullptr,
                               nullptr);
    sqlite3_create_collation_v2(db, kDateTimeCollation, SQLITE_UTF8, nullptr, dateTimeCollation,
                                nullptr);
}

bool isTruncationError(const std::string& sqliteText) {
    return sqliteText.find(kRefusal) != std::string::npos;
}

std::vector<std::string> lengthTriggers(SqliteDatabase& db, const std::string& schema,
                                        const std::string& table, bool qualified) {
    std::vector<Limited> columns;
    {
        SqliteStatement info(
            db, "PRAGMA " + quoteSqlName(schema) + ".table_info(" + quoteSqlName(table) + ")");
        while (info.step())
            if (auto limited = limitOf(info.text(1), info.text(2))) columns.push_back(*limited);
    }
    if (columns.empty()) return {};
    std::string fitted, changed, names;
    for (const Limited& c : columns) {
        const std::string call = "aseemu_fit(NEW." + quoteSqlName(c.column) + ", " +
                                 std::to_string(c.limit) + ", " + std::to_string(c.unit) + ")";
        fitted += std::string(fitted.empty() ? "" : ", ") + quoteSqlName(c.column) + " = " + call;
        changed += std::string(changed.empty() ? "" : " OR ") + call + " IS NOT NEW." +
                   quoteSqlName(c.column) + " COLLATE BINARY";
        names += std::string(names.empty() ? "" : ", ") + quoteSqlName(c.column);
    }
    const std::string prefix = qualified ? quoteSqlName(schema) + "." : std::string();
    auto trigger = [&](const std::string& kind, const std::string& event) {
        return "CREATE TRIGGER " + prefix + quoteSqlName("aseemu_fit_" + kind + "_" + table) +
               " AFTER " + event + " ON " + quoteSqlName(table) + " WHEN " + changed +
               " BEGIN UPDATE " + quoteSqlName(table) + " SET " + fitted +
               " WHERE rowid = NEW.rowid; END";
    };
    return {trigger("i", "INSERT"), trigger("u", "UPDATE OF " + names)};
}

std::optional<std::string> refusedLength(const std::vector<SqlToken>& tokens) {
    for (std::size_t i = 2; i + 1 < tokens.size(); ++i)
        if (tokens[i].isWord("max") && tokens[i - 1].isSymbol("(") && tokens[i + 1].isSymbol(")") &&
            limitOf("", tokens[i - 2].text + "(1)"))
            return tokens[i].text;
    return std::nullopt;
}

ServerMessage truncationRefused() {
    return messages::systemMessage(8152, 16, 1, "String or binary data would be truncated.");
}

int declaredByteLength(const std::string& base, int length) {
    if (length < 0) return length;
    if (base == "nchar" || base == "nvarchar") return length * 3;
    if (base == "unichar" || base == "univarchar") return length * 2;
    return length;
}

}  // namespace tvr::sim
