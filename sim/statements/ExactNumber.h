#pragma once
// Exact numbers as numeric, decimal, money and smallmoney columns carry them: a sign, the
// unscaled magnitude in decimal digits and a scale, so that 99.99 stays 99.99 from the text of
// a statement to the bytes a client reads, with no binary fraction on the way.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvr::sim {

struct ExactNumber {
    bool negative = false;
    std::string digits = "0";  // the unscaled magnitude, without leading zeros
    int scale = 0;             // digits after the decimal point
    bool operator==(const ExactNumber&) const = default;
};

// The most digits a numeric or decimal column holds.
inline constexpr int kMaxNumericPrecision = 38;

// Bytes of a numeric of each precision on the wire: a sign byte and the magnitude, big-endian,
// as the protocol's table has them (precision 1 and 2 take 2 bytes, 38 takes 17).
inline std::uint8_t numericBytes(int precision) {
    static constexpr std::uint8_t kBytes[] = {1,  2,  2,  3,  3,  4,  4,  4,  5,  5,  6,  6,  6,
                                              7,  7,  8,  8,  9,  9,  9,  10, 10, 11, 11, 11, 12,
                                              12, 13, 13, 14, 14, 14, 15, 15, 16, 16, 16, 17, 17};
    return kBytes[precision < 1                      ? 1
                  : precision > kMaxNumericPrecision ? kMaxNumericPrecision
                                                     : precision];
}

// "[+-]digits[.digits][e[+-]N]", blanks around it allowed; nothing for any other text.
std::optional<ExactNumber> parseExactNumber(std::string_view text);

// The number of a double, as SQLite keeps a value it read as a number: its shortest decimal
// form of 15 significant digits, which gives back the literal it came from.
ExactNumber exactFromDouble(double value);

// The number with `scale` digits after the point, rounded half away from zero as the server
// rounds on conversion.
ExactNumber withScale(const ExactNumber& number, int scale);

// Digits before the point plus the scale: what a column's precision must hold.
int precisionOf(const ExactNumber& number);

// "-12.50", "0.05", "7".
std::string exactText(const ExactNumber& number);

// The unscaled magnitude as a big-endian unsigned integer of `size` bytes; nothing when it
// does not fit.
std::optional<std::vector<std::uint8_t>> magnitudeBytes(const ExactNumber& number,
                                                        std::size_t size);

// The signed unscaled value when it fits in 64 bits (money's ten-thousandths).
std::optional<std::int64_t> unscaledValue(const ExactNumber& number);

double exactToDouble(const ExactNumber& number);

// Below zero, zero or above zero as a is below, equal to or above b, whatever their scales.
int compareExact(const ExactNumber& a, const ExactNumber& b);

// The exact sum, at the larger of the two scales.
ExactNumber addExact(const ExactNumber& a, const ExactNumber& b);

// a / divisor (divisor above 0) with `scale` digits after the point, rounded half away from zero.
ExactNumber divideExact(const ExactNumber& a, std::int64_t divisor, int scale);

// Digits from the first non-zero one to the last: more than 15 and an 8-byte float no longer
// gives the number back.
int significantDigits(const ExactNumber& number);

}  // namespace tvr::sim
