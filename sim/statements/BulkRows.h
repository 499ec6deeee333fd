#pragma once
// The rows a client sends after "insert bulk": the TDS 5.0 bulk-copy row image, as the server
// lays out a data row. Each row is a 2-byte length and the row: a byte with the number of
// variable-length columns present, a byte the server fills in, the fixed-length columns, the
// row's length in 2 bytes, the variable-length columns one after the other, then a table of
// where each begins (low bytes, last column first, after a count and a run-length table of the
// high bytes). Trailing NULL columns are left out; an empty column is NULL, but an empty string
// in a character column declared not null. After the row come
// its text and image values: a 2-byte zero, the type, an index, the position of the column in
// the row, a 4-byte length and the bytes (FreeTDS 1.3 sends one for every such column, later
// releases none for the NULL ones after the last with a value).
//
// A column declared not null whose type has one size (char and binary up to 255 bytes, numeric
// and decimal, integers, floats, datetime and money) is in the fixed part, at its full size (char padded with blanks); the others are
// variable-length ones.
// Values are in the client's own form of the column's type: integers, floats and datetimes
// least significant byte first, money as its high then its low 4 bytes, numeric as a sign byte
// and the magnitude big-endian.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/statements/Values.h"

namespace tvr::sim {

// One row: each column's value as a literal of the SQL the emulator runs ('text', 12.50,
// 0x0102, ...), nothing for NULL.
using BulkRow = std::vector<std::optional<std::string>>;

// The rows of a bulk-copy stream for a table of `columns`; nothing, with the reason in `why`,
// when the bytes are not such rows.
std::optional<std::vector<BulkRow>> decodeBulkRows(const std::vector<Column>& columns,
                                                   const std::vector<std::uint8_t>& bytes,
                                                   std::string& why);

}  // namespace tvr::sim
