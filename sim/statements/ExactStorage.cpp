#include "sim/statements/ExactStorage.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "sim/statements/ExactNumber.h"

namespace tvr::sim {
namespace {

// A plain decimal literal: digits, at most one point, no sign or exponent.
bool plainDecimal(const std::string& text) {
    bool digit = false, point = false;
    for (char c : text) {
        if (c == '.' && !point)
            point = true;
        else if (c >= '0' && c <= '9')
            digit = true;
        else
            return false;
    }
    return digit;
}

std::optional<ExactNumber> exactOfText(const void* bytes, int size) {
    if (size <= 0 || size > 512) return std::nullopt;
    return parseExactNumber(
        std::string_view(static_cast<const char*>(bytes), static_cast<std::size_t>(size)));
}

// Numbers in their order, before any text that is no number; such texts byte by byte.
int exactCollation(void*, int leftSize, const void* left, int rightSize, const void* right) {
    const std::optional<ExactNumber> a = exactOfText(left, leftSize);
    const std::optional<ExactNumber> b = exactOfText(right, rightSize);
    if (a && b) return compareExact(*a, *b);
    if (a || b) return a ? -1 : 1;
    const int common = leftSize < rightSize ? leftSize : rightSize;
    const int bytes = common > 0 ? std::memcmp(left, right, static_cast<std::size_t>(common)) : 0;
    return bytes != 0 ? bytes : leftSize - rightSize;
}

// sum(): integers alone give an integer (an overflow is an error, as SQLite's own sum has it),
// a float among them gives a float, exact texts an exact sum. It serves as a window function too
// (values leave the window through `inverse`).
struct ExactSum {
    bool constructed = true;  // SQLite hands over zeroed memory first
    std::int64_t count = 0;
    bool real = false;
    bool text = false;
    double realPart = 0;
    ExactNumber exact;
};

void addToSum(sqlite3_context* call, sqlite3_value* value, bool leaving) {
    auto* sum = static_cast<ExactSum*>(sqlite3_aggregate_context(call, sizeof(ExactSum)));
    if (sum == nullptr) return sqlite3_result_error_nomem(call);
    if (!sum->constructed) new (sum) ExactSum();
    const int type = sqlite3_value_type(value);
    if (type == SQLITE_NULL) return;
    sum->count += leaving ? -1 : 1;
    std::optional<ExactNumber> number;
    if (type == SQLITE_INTEGER)
        number = parseExactNumber(std::to_string(sqlite3_value_int64(value)));
    else if (type != SQLITE_FLOAT)
        number = exactOfText(sqlite3_value_text(value), sqlite3_value_bytes(value));
    if (!number) {
        sum->real = true;
        sum->realPart += leaving ? -sqlite3_value_double(value) : sqlite3_value_double(value);
        return;
    }
    sum->text = sum->text || type != SQLITE_INTEGER;
    if (leaving && number->digits != "0") number->negative = !number->negative;
    sum->exact = addExact(sum->exact, *number);
}

void sumStep(sqlite3_context* call, int, sqlite3_value** arguments) {
    addToSum(call, arguments[0], false);
}

void sumInverse(sqlite3_context* call, int, sqlite3_value** arguments) {
    addToSum(call, arguments[0], true);
}

void sumValue(sqlite3_context* call) {
    const auto* sum = static_cast<ExactSum*>(sqlite3_aggregate_context(call, 0));
    if (sum == nullptr || !sum->constructed || sum->count == 0) return sqlite3_result_null(call);
    // Addends SQLite gave as floats ("1.0e-10") carry a scale of their own: the sum keeps the
    // decimals that are not zeros.
    ExactNumber total = sum->exact;
    while (total.scale > 0 && total.digits.size() > 1 && total.digits.back() == '0') {
        total.digits.pop_back();
        --total.scale;
    }
    if (sum->real) return sqlite3_result_double(call, sum->realPart + exactToDouble(total));
    const std::optional<std::int64_t> whole =
        total.scale == 0 ? unscaledValue(total) : std::nullopt;
    if (!sum->text) {
        if (!whole) return sqlite3_result_error(call, "integer overflow", -1);
        return sqlite3_result_int64(call, *whole);
    }
    // A number SQLite keeps exactly stays a number, so that it compares as one.
    if (whole) return sqlite3_result_int64(call, *whole);
    if (significantDigits(total) <= 15) return sqlite3_result_double(call, exactToDouble(total));
    const std::string text = exactText(total);
    sqlite3_result_text(call, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// avg(): SQLite's for integers and floats; of exact texts their exact mean, with six more
// decimals than the values have (the column's scale applies as it is sent).
void avgValue(sqlite3_context* call) {
    const auto* sum = static_cast<ExactSum*>(sqlite3_aggregate_context(call, 0));
    if (sum == nullptr || !sum->constructed || sum->count == 0) return sqlite3_result_null(call);
    if (sum->real || !sum->text)
        return sqlite3_result_double(
            call, (sum->realPart + exactToDouble(sum->exact)) / static_cast<double>(sum->count));
    const ExactNumber mean = divideExact(sum->exact, sum->count, sum->exact.scale + 6);
    if (significantDigits(mean) <= 15) return sqlite3_result_double(call, exactToDouble(mean));
    const std::string text = exactText(mean);
    sqlite3_result_text(call, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void avgFinal(sqlite3_context* call) {
    avgValue(call);
    auto* sum = static_cast<ExactSum*>(sqlite3_aggregate_context(call, 0));
    if (sum != nullptr && sum->constructed) sum->~ExactSum();
}

void sumFinal(sqlite3_context* call) {
    sumValue(call);
    auto* sum = static_cast<ExactSum*>(sqlite3_aggregate_context(call, 0));
    if (sum != nullptr && sum->constructed) sum->~ExactSum();
}

}  // namespace

bool isExactTypeName(const std::string& lowerName) {
    return lowerName == "numeric" || lowerName == "decimal" || lowerName == "dec" ||
           lowerName == "money" || lowerName == "smallmoney";
}

std::string exactColumnType(const std::string& name, const std::string& arguments) {
    return name + " " + kExactStorageWord + arguments + " COLLATE " + kExactCollation;
}

std::string declaredTypeOf(const std::string& sqliteType) {
    const std::string word = std::string(" ") + kExactStorageWord;
    std::string type = sqliteType;
    const std::size_t at = type.find(word);
    if (at != std::string::npos) type.erase(at, word.size());
    return type;
}

std::string collationFor(const std::string& sqliteType) {
    return sqliteType.find(kExactStorageWord) != std::string::npos
               ? std::string(" COLLATE ") + kExactCollation
               : std::string();
}

bool needsTextLiteral(const std::string& number) {
    if (!plainDecimal(number)) return false;
    const std::optional<ExactNumber> exact = parseExactNumber(number);
    if (!exact) return false;
    if (exact->scale == 0 && unscaledValue(*exact)) return false;
    return significantDigits(*exact) > 15;
}

std::string sqliteNumberLiteral(const std::string& number, bool negative) {
    std::string text = number;
    if (!text.empty() && text.front() == '-') {
        negative = !negative;
        text.erase(0, 1);
    }
    if (!needsTextLiteral(text)) return (negative ? "-" : "") + text;
    return std::string("'") + (negative ? "-" : "") + text + "'";
}

void registerExactStorage(sqlite3* db) {
    sqlite3_create_collation_v2(db, kExactCollation, SQLITE_UTF8, nullptr, exactCollation, nullptr);
    sqlite3_create_window_function(db, "sum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   sumStep, sumFinal, sumValue, sumInverse, nullptr);
    sqlite3_create_window_function(db, "avg", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   sumStep, avgFinal, avgValue, sumInverse, nullptr);
}

}  // namespace tvr::sim
