#include "sim/statements/SqlFunctions.h"

#include "sim/statements/ColumnLengths.h"
#include "sim/statements/IdentityColumns.h"
#include "sim/statements/TextPointers.h"

#include <cstdint>

#include <string>
#include "sim/statements/ConvertFunction.h"
#include "sim/statements/DivisionCheck.h"
#include "sim/statements/ExactStorage.h"

namespace tvr::sim {
namespace {

void resultText(sqlite3_context* call, const std::string& text) {
    sqlite3_result_text(call, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void lengthFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
        sqlite3_result_null(call);
        return;
    }
    sqlite3_result_int(call, sqlite3_value_bytes(arguments[0]));
}

// replicate(text, n): the text n times; NULL for NULL or a negative count.
void replicateFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL ||
        sqlite3_value_type(arguments[1]) == SQLITE_NULL || sqlite3_value_int64(arguments[1]) < 0) {
        sqlite3_result_null(call);
        return;
    }
    const unsigned char* raw = sqlite3_value_text(arguments[0]);
    std::string text(reinterpret_cast<const char*>(raw),
                     static_cast<std::size_t>(sqlite3_value_bytes(arguments[0])));
    std::int64_t count = sqlite3_value_int64(arguments[1]);
    // A varchar holds at most 16384 bytes on the server; nothing longer is built here.
    const std::size_t limit = 16384;
    std::string result;
    for (std::int64_t i = 0; i < count && result.size() < limit; ++i) result += text;
    if (result.size() > limit) result.resize(limit);
    resultText(call, result);
}

// charindex(pattern, text): 1-based position of the pattern, 0 when absent.
void charindexFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL ||
        sqlite3_value_type(arguments[1]) == SQLITE_NULL) {
        sqlite3_result_null(call);
        return;
    }
    std::string pattern(reinterpret_cast<const char*>(sqlite3_value_text(arguments[0])),
                        static_cast<std::size_t>(sqlite3_value_bytes(arguments[0])));
    std::string text(reinterpret_cast<const char*>(sqlite3_value_text(arguments[1])),
                     static_cast<std::size_t>(sqlite3_value_bytes(arguments[1])));
    std::size_t found = pattern.empty() ? std::string::npos : text.find(pattern);
    sqlite3_result_int64(call,
                         found == std::string::npos ? 0 : static_cast<std::int64_t>(found) + 1);
}

void strReplaceFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    for (int i = 0; i < 3; ++i)
        if (sqlite3_value_type(arguments[i]) == SQLITE_NULL) {
            sqlite3_result_null(call);
            return;
        }
    auto text = [&](int i) {
        return std::string(reinterpret_cast<const char*>(sqlite3_value_text(arguments[i])),
                           static_cast<std::size_t>(sqlite3_value_bytes(arguments[i])));
    };
    std::string source = text(0), from = text(1), to = text(2), result;
    if (from.empty()) {
        resultText(call, source);
        return;
    }
    std::size_t position = 0, found;
    while ((found = source.find(from, position)) != std::string::npos) {
        result += source.substr(position, found - position) + to;
        position = found + from.size();
    }
    resultText(call, result + source.substr(position));
}

}  // namespace

void registerTextFunctions(sqlite3* db) {
    struct Function {
        const char* name;
        int arguments;
        void (*body)(sqlite3_context*, int, sqlite3_value**);
    };
    static const Function functions[] = {
        {"len", 1, lengthFunction},          {"datalength", 1, lengthFunction},
        {"char_length", 1, lengthFunction},  {"replicate", 2, replicateFunction},
        {"charindex", 2, charindexFunction}, {"str_replace", 3, strReplaceFunction},
    };
    for (const Function& function : functions)
        sqlite3_create_function_v2(db, function.name, function.arguments,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, function.body,
                                   nullptr, nullptr, nullptr);
    registerConvertFunction(db);
    registerTextPointerFunction(db);
    registerDivisionCheck(db);
    registerExactStorage(db);
    registerLengthFunctions(db, nullptr);
    registerIdentityFunction(db, nullptr);
}

}  // namespace tvr::sim
