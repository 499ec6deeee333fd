#include "client/SybaseField.h"

#include <cctype>

namespace tvr::client {

ConversionError::ConversionError(const std::string& value)
    : std::invalid_argument("'" + value + "' is not a valid integer value") {}

std::int32_t TSybaseField::AsInteger() const {
    const std::string& s = Value;
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) throw ConversionError(s);
    std::int64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int digit;
        if (std::isdigit(c))
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = std::tolower(c) - 'a' + 10;
        else
            throw ConversionError(s);
        magnitude = magnitude * base + digit;
        if (magnitude > std::int64_t{1} << 32) throw ConversionError(s);
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    // Hexadecimal spells the 32 bits of the number, as the platform's conversion reads it.
    if (base == 16 && !negative && value <= 0xFFFFFFFFLL)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    if (value < INT32_MIN || value > INT32_MAX) throw ConversionError(s);
    return static_cast<std::int32_t>(value);
}

}  // namespace tvr::client
