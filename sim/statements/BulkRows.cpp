#include "sim/statements/BulkRows.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/statements/DateTime.h"
#include "sim/statements/ExactNumber.h"
#include "sim/statements/WireLiterals.h"

namespace tvr::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The literal of one column's bytes; nothing when they cannot be the column's.
std::optional<std::string> literal(const Column& column, const std::uint8_t* p, std::size_t n) {
    switch (column.kind) {
        case ColumnKind::Char:
        case ColumnKind::VarChar:
        case ColumnKind::Text:
            return quotedLiteral(std::string(reinterpret_cast<const char*>(p), n));
        case ColumnKind::Binary:
        case ColumnKind::VarBinary:
        case ColumnKind::Image:
            return hexLiteral(p, n);
        case ColumnKind::TinyInt:
            if (n != 1) return std::nullopt;
            return std::to_string(p[0]);
        case ColumnKind::SmallInt:
        case ColumnKind::Int:
        case ColumnKind::BigInt:
            if (n != 2 && n != 4 && n != 8) return std::nullopt;
            return std::to_string(signedLittleEndian(p, n));
        case ColumnKind::Float:
        case ColumnKind::Real: {
            char text[40];
            if (n == 8) {
                double d;
                std::memcpy(&d, p, 8);
                std::snprintf(text, sizeof text, "%.17g", d);
            } else if (n == 4) {
                float f;
                std::memcpy(&f, p, 4);
                std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f));
            } else {
                return std::nullopt;
            }
            return std::string(text);
        }
        case ColumnKind::DateTime: {
            if (n != 8) return std::nullopt;
            DateTimeValue value;
            value.days = static_cast<std::int32_t>(signedLittleEndian(p, 4));
            value.ticks = static_cast<std::int32_t>(signedLittleEndian(p + 4, 4));
            return quotedLiteral(formatDateTime(value));
        }
        case ColumnKind::Numeric:
        case ColumnKind::Decimal:
            if (n < 2 || n > 17 || p[0] > 1) return std::nullopt;
            return exactLiteral(p[0] == 1, p + 1, n - 1, column.scale);
        case ColumnKind::Money:
        case ColumnKind::SmallMoney: {
            if (n != 8 && n != 4) return std::nullopt;
            return moneyLiteral(moneyUnits(p, n));
        }
    }
    return std::nullopt;
}

// Where each present column begins in the row, and where the last one ends; nothing when the
// table at the end of the row is not consistent with the row.
std::optional<std::vector<std::size_t>> columnOffsets(const Bytes& row, std::size_t present,
                                                      std::size_t dataStart) {
    const std::size_t size = row.size();
    if (size < dataStart + present + 2) return std::nullopt;
    std::vector<std::size_t> low(present + 1);
    for (std::size_t i = 0; i <= present; ++i) low[i] = row[size - 1 - i];
    // The end of the data is the last offset; the tables after it take present + 2 bytes plus
    // one for each 256 bytes the data reaches.
    for (std::size_t top = 0; top < 256; ++top) {
        if (size < present + 2 + top) break;
        const std::size_t end = size - present - 2 - top;
        if (end / 256 != top || (end & 0xFF) != low[present]) continue;
        if (row[end] != present + 1 || end < dataStart) return std::nullopt;
        std::vector<std::size_t> offsets(present + 1);
        for (std::size_t i = 0; i <= present; ++i) {
            std::size_t high = 0;
            // One entry per level, highest first: one more than the offsets below the level.
            for (std::size_t level = 0; level < top; ++level)
                if (i + 1 >= row[end + 1 + level]) ++high;
            offsets[i] = high * 256 + low[i];
        }
        if (offsets[0] != dataStart || offsets[present] != end) return std::nullopt;
        for (std::size_t i = 0; i < present; ++i)
            if (offsets[i] > offsets[i + 1]) return std::nullopt;
        return offsets;
    }
    return std::nullopt;
}

class Stream {
public:
    explicit Stream(const Bytes& bytes) : bytes_(bytes) {}
    bool atEnd() const { return pos_ >= bytes_.size(); }
    bool take(std::size_t n, Bytes& out) {
        if (bytes_.size() - pos_ < n) return false;
        out.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
        pos_ += n;
        return true;
    }
    bool entryFollows() const {
        return bytes_.size() - pos_ >= 2 && bytes_[pos_] == 0 && bytes_[pos_ + 1] == 0;
    }
    std::optional<std::uint64_t> number(std::size_t n) {
        Bytes b;
        if (!take(n, b)) return std::nullopt;
        return littleEndian(b.data(), n);
    }

private:
    const Bytes& bytes_;
    std::size_t pos_ = 0;
};

bool hasTextPointer(ColumnKind kind) {
    return kind == ColumnKind::Text || kind == ColumnKind::Image;
}

// The bytes a column takes in the fixed part of the row: a column declared not null whose
// type has one size (char, binary, numeric as the client lays them out, and the numbers,
// datetimes and money the server describes in their fixed types); 0 for a column in the
// variable part.
std::size_t fixedSize(const Column& column) {
    if (column.nullable) return 0;
    switch (column.kind) {
        case ColumnKind::Char:
        case ColumnKind::Binary:
            return column.length > 255 ? 0 : static_cast<std::size_t>(std::max(column.length, 1));
        case ColumnKind::Numeric:
        case ColumnKind::Decimal:
            return numericBytes(column.precision);
        case ColumnKind::TinyInt:
            return 1;
        case ColumnKind::SmallInt:
            return 2;
        case ColumnKind::Int:
        case ColumnKind::Real:
        case ColumnKind::SmallMoney:
            return 4;
        case ColumnKind::BigInt:
        case ColumnKind::Float:
        case ColumnKind::DateTime:
        case ColumnKind::Money:
            return 8;
        default:
            return 0;
    }
}

// One row from its bytes; text and image columns that are present hold a placeholder to be
// filled from the values after the row.
std::optional<BulkRow> decodeRow(const std::vector<Column>& columns, const Bytes& row,
                                 std::string& why) {
    BulkRow values(columns.size());
    std::vector<std::size_t> variable;  // the columns of the variable part, in order
    std::size_t pos = 2;                // after the count of variable columns and a spare byte
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::size_t size = fixedSize(columns[c]);
        if (size == 0) {
            variable.push_back(c);
            continue;
        }
        if (row.size() < pos + size) {
            why = "a row shorter than its fixed columns";
            return std::nullopt;
        }
        std::size_t used = size;  // a char value comes padded: the emulator keeps it without
        while (columns[c].kind == ColumnKind::Char && used > 0 && row[pos + used - 1] == ' ')
            --used;
        values[c] = literal(columns[c], row.data() + pos, used);
        if (!values[c]) {
            why = "a value of " + std::to_string(size) + " bytes for column '" + columns[c].name +
                  "'";
            return std::nullopt;
        }
        pos += size;
    }
    if (row.size() < 2) {
        why = "a row shorter than its header";
        return std::nullopt;
    }
    const std::size_t present = row[0];
    if (present > variable.size()) {
        why = "a row with more columns than the table";
        return std::nullopt;
    }
    // A variable column that is empty or left out at the end is NULL, except in a character
    // column declared not null, which cannot hold one: there it is an empty string.
    for (std::size_t k = 0; k < variable.size(); ++k) {
        const Column& column = columns[variable[k]];
        if (!column.nullable &&
            (column.kind == ColumnKind::Char || column.kind == ColumnKind::VarChar))
            values[variable[k]] = std::string("''");
    }
    if (present == 0) return values;
    const std::size_t dataStart = pos + 2;  // after the row's length
    if (row.size() < dataStart || littleEndian(row.data() + pos, 2) != row.size()) {
        why = "a row whose length does not match";
        return std::nullopt;
    }
    const auto offsets = columnOffsets(row, present, dataStart);
    if (!offsets) {
        why = "a row whose column offsets do not match its data";
        return std::nullopt;
    }
    for (std::size_t k = 0; k < present; ++k) {
        const std::size_t c = variable[k];
        const std::size_t size = (*offsets)[k + 1] - (*offsets)[k];
        if (size == 0) continue;
        if (hasTextPointer(columns[c].kind)) {
            values[c] = std::string();  // the value follows the row
            continue;
        }
        values[c] = literal(columns[c], row.data() + (*offsets)[k], size);
        if (!values[c]) {
            why = "a value of " + std::to_string(size) + " bytes for column '" + columns[c].name +
                  "'";
            return std::nullopt;
        }
    }
    return values;
}

}  // namespace

std::optional<std::vector<BulkRow>> decodeBulkRows(const std::vector<Column>& columns,
                                                   const std::vector<std::uint8_t>& bytes,
                                                   std::string& why) {
    std::vector<BulkRow> rows;
    Stream in(bytes);
    while (!in.atEnd()) {
        const auto length = in.number(2);
        Bytes row;
        if (!length || !in.take(*length, row)) {
            why = "a row cut short";
            return std::nullopt;
        }
        auto values = decodeRow(columns, row, why);
        if (!values) return std::nullopt;
        // The text and image columns send their values after the row, NULL ones included up
        // to the last one with a value; older clients send the NULL ones after it as well. An
        // entry begins with two zero bytes, which no row length is.
        std::size_t needed = 0;
        for (std::size_t c = 0; c < columns.size(); ++c)
            if (hasTextPointer(columns[c].kind) && (*values)[c]) needed = c + 1;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (!hasTextPointer(columns[c].kind)) continue;
            if (c >= needed && !in.entryFollows()) break;
            Bytes header;
            Bytes value;
            const bool read = in.take(6, header);
            const auto size = in.number(4);
            if (!read || !size || !in.take(*size, value)) {
                why = "a text or image value cut short";
                return std::nullopt;
            }
            if ((*values)[c]) (*values)[c] = literal(columns[c], value.data(), value.size());
        }
        rows.push_back(std::move(*values));
    }
    return rows;
}

}  // namespace tvr::sim
