#pragma once
// Text pointers and text timestamps of text and image values. The emulator keeps no page
// chains to point at: a value's pointer is a digest of the value itself, the same in every row
// result that carries it and from textptr(), so that writetext, readtext and the client's
// send-data calls find the row that holds it (the first, should several hold the same value).
#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <string_view>

namespace tvr::sim {

inline constexpr std::size_t kTextPointerSize = 16;
inline constexpr std::size_t kTextTimestampSize = 8;

std::array<std::uint8_t, kTextPointerSize> textPointer(std::string_view value);
std::array<std::uint8_t, kTextTimestampSize> textTimestamp(std::string_view value);

// textptr(column): the pointer of the column's value as varbinary(16), NULL for NULL.
void registerTextPointerFunction(sqlite3* db);

}  // namespace tvr::sim
