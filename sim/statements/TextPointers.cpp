#include "sim/statements/TextPointers.h"

namespace tvr::sim {
namespace {

// FNV-1a, 64 bits, from a given start: two starts give the pointer's two halves.
std::uint64_t fnv1a(std::string_view value, std::uint64_t hash) {
    for (char c : value) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

void put(std::uint8_t* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void textptrFunction(sqlite3_context* call, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
        sqlite3_result_null(call);
        return;
    }
    const bool blob = sqlite3_value_type(arguments[0]) == SQLITE_BLOB;
    const void* data = blob ? sqlite3_value_blob(arguments[0])
                            : static_cast<const void*>(sqlite3_value_text(arguments[0]));
    const int size = sqlite3_value_bytes(arguments[0]);
    const auto pointer = textPointer(
        std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size)));
    sqlite3_result_blob(call, pointer.data(), static_cast<int>(pointer.size()), SQLITE_TRANSIENT);
}

}  // namespace

std::array<std::uint8_t, kTextPointerSize> textPointer(std::string_view value) {
    std::array<std::uint8_t, kTextPointerSize> pointer{};
    put(pointer.data(), fnv1a(value, 0xcbf29ce484222325ULL));
    put(pointer.data() + 8, fnv1a(value, 0x84222325cbf29ce4ULL));
    return pointer;
}

std::array<std::uint8_t, kTextTimestampSize> textTimestamp(std::string_view value) {
    std::array<std::uint8_t, kTextTimestampSize> stamp{};
    put(stamp.data(), fnv1a(value, 0x9e3779b97f4a7c15ULL));
    return stamp;
}

void registerTextPointerFunction(sqlite3* db) {
    sqlite3_create_function_v2(db, "textptr", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               textptrFunction, nullptr, nullptr, nullptr);
}

}  // namespace tvr::sim
