#include "sim/statements/WireLiterals.h"

#include "sim/statements/ExactNumber.h"

namespace tvr::sim {
namespace {

std::string exactLiteral(bool negative, std::string digits, int scale) {
    ExactNumber number;
    number.negative = negative && digits != "0";
    number.digits = std::move(digits);
    number.scale = scale;
    return exactText(number);
}

// The decimal digits of a big-endian unsigned magnitude.
std::string decimalDigits(const std::uint8_t* p, std::size_t size) {
    std::string digits = "0";  // least significant first
    for (std::size_t i = 0; i < size; ++i) {
        int carry = p[i];
        for (char& d : digits) {
            const int v = (d - '0') * 256 + carry;
            d = static_cast<char>('0' + v % 10);
            carry = v / 10;
        }
        for (; carry > 0; carry /= 10) digits += static_cast<char>('0' + carry % 10);
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    return {digits.rbegin(), digits.rend()};
}

}  // namespace

std::uint64_t littleEndian(const std::uint8_t* p, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = (value << 8) | p[i];
    return value;
}

std::int64_t signedLittleEndian(const std::uint8_t* p, std::size_t size) {
    const std::uint64_t value = littleEndian(p, size);
    if (size >= 8 || size == 0) return static_cast<std::int64_t>(value);
    const std::uint64_t sign = std::uint64_t{1} << (size * 8 - 1);
    return static_cast<std::int64_t>((value ^ sign) - sign);
}

std::string quotedLiteral(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

std::string hexLiteral(const std::uint8_t* p, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "0x";
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

std::string exactLiteral(bool negative, const std::uint8_t* magnitude, std::size_t size,
                         int scale) {
    return exactLiteral(negative, decimalDigits(magnitude, size), scale);
}

std::int64_t moneyUnits(const std::uint8_t* p, std::size_t size) {
    if (size == 4) return signedLittleEndian(p, 4);
    return static_cast<std::int64_t>((littleEndian(p, 4) << 32) | littleEndian(p + 4, 4));
}

std::string moneyLiteral(std::int64_t units) {
    const std::uint64_t magnitude =
        units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
    return exactLiteral(units < 0, std::to_string(magnitude), 4);
}

}  // namespace tvr::sim
