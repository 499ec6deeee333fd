#include "sim/statements/ExactNumber.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tvr::sim {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

void dropLeadingZeros(std::string& digits) {
    const std::size_t first = digits.find_first_not_of('0');
    digits.erase(0, first == std::string::npos ? digits.size() - 1 : first);
    if (digits.empty()) digits = "0";
}

// Adds one to a string of decimal digits.
void increment(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return;
        }
        digits[i] = '0';
    }
    digits.insert(digits.begin(), '1');
}

// Compares two magnitudes of the same scale.
int compareDigits(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

// a + b or a - b (a not below b) of magnitudes of the same scale, written schoolbook fashion.
std::string combineDigits(const std::string& a, const std::string& b, bool subtract) {
    std::string result;
    int carry = 0;
    for (std::size_t i = 0; i < a.size() || i < b.size() || carry != 0; ++i) {
        const int x = i < a.size() ? a[a.size() - 1 - i] - '0' : 0;
        const int y = i < b.size() ? b[b.size() - 1 - i] - '0' : 0;
        int digit = subtract ? x - y - carry : x + y + carry;
        carry = subtract ? (digit < 0 ? 1 : 0) : digit / 10;
        digit = subtract ? (digit + 10) % 10 : digit % 10;
        result.insert(result.begin(), static_cast<char>('0' + digit));
    }
    dropLeadingZeros(result);
    return result;
}

}  // namespace

std::optional<ExactNumber> parseExactNumber(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    ExactNumber number;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) number.negative = text[i++] == '-';
    std::string digits;
    int scale = 0;
    bool any = false;
    for (; i < text.size() && isDigit(text[i]); ++i, any = true) digits += text[i];
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && isDigit(text[i]); ++i, any = true, ++scale) digits += text[i];
    if (!any) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool negativeExponent = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        if (i == text.size() || !isDigit(text[i])) return std::nullopt;
        int exponent = 0;
        for (; i < text.size() && isDigit(text[i]); ++i)
            if (exponent < 1000) exponent = exponent * 10 + (text[i] - '0');
        if (negativeExponent)
            scale += exponent;
        else if (exponent <= scale)
            scale -= exponent;
        else {
            digits.append(static_cast<std::size_t>(exponent - scale), '0');
            scale = 0;
        }
    }
    if (i != text.size() || digits.size() > 400 || scale > 400) return std::nullopt;
    dropLeadingZeros(digits);
    number.digits = digits;
    number.scale = scale;
    if (number.digits == "0") number.negative = false;
    return number;
}

ExactNumber exactFromDouble(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return parseExactNumber(buffer).value_or(ExactNumber{});
}

ExactNumber withScale(const ExactNumber& number, int scale) {
    ExactNumber result = number;
    if (scale >= number.scale) {
        result.digits.append(static_cast<std::size_t>(scale - number.scale), '0');
    } else {
        const std::size_t drop = static_cast<std::size_t>(number.scale - scale);
        std::string kept = drop >= number.digits.size()
                               ? std::string("0")
                               : number.digits.substr(0, number.digits.size() - drop);
        const std::size_t firstDropped =
            number.digits.size() >= drop ? number.digits.size() - drop : 0;
        const bool roundUp = drop <= number.digits.size() && number.digits[firstDropped] >= '5';
        if (roundUp) increment(kept);
        result.digits = kept;
    }
    result.scale = scale;
    dropLeadingZeros(result.digits);
    if (result.digits == "0") result.negative = false;
    return result;
}

int precisionOf(const ExactNumber& number) {
    const int whole = static_cast<int>(number.digits.size()) - number.scale;
    return (whole > 0 ? whole : 0) + number.scale;
}

std::string exactText(const ExactNumber& number) {
    std::string digits = number.digits;
    const std::size_t scale = static_cast<std::size_t>(number.scale);
    if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
    if (scale > 0) digits.insert(digits.size() - scale, ".");
    return (number.negative ? "-" : "") + digits;
}

std::optional<std::vector<std::uint8_t>> magnitudeBytes(const ExactNumber& number,
                                                        std::size_t size) {
    // Long division of the decimal digits by 256, least significant byte first.
    std::vector<std::uint8_t> bytes(size, 0);
    std::string rest = number.digits;
    for (std::size_t out = size; rest != "0";) {
        if (out == 0) return std::nullopt;
        std::string quotient;
        int remainder = 0;
        for (char c : rest) {
            remainder = remainder * 10 + (c - '0');
            quotient += static_cast<char>('0' + remainder / 256);
            remainder %= 256;
        }
        dropLeadingZeros(quotient);
        bytes[--out] = static_cast<std::uint8_t>(remainder);
        rest = quotient;
    }
    return bytes;
}

std::optional<std::int64_t> unscaledValue(const ExactNumber& number) {
    if (number.digits.size() > 19) return std::nullopt;
    std::uint64_t magnitude = 0;
    for (char c : number.digits) magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) +
        (number.negative ? 1 : 0);
    if (magnitude > limit) return std::nullopt;
    if (!number.negative) return static_cast<std::int64_t>(magnitude);
    return magnitude == limit ? std::numeric_limits<std::int64_t>::min()
                              : -static_cast<std::int64_t>(magnitude);
}

double exactToDouble(const ExactNumber& number) {
    return std::strtod(exactText(number).c_str(), nullptr);
}

int compareExact(const ExactNumber& a, const ExactNumber& b) {
    if (a.negative != b.negative) return a.negative ? -1 : 1;
    const int scale = a.scale > b.scale ? a.scale : b.scale;
    const int magnitude = compareDigits(withScale(a, scale).digits, withScale(b, scale).digits);
    return a.negative ? -magnitude : magnitude;
}

ExactNumber addExact(const ExactNumber& a, const ExactNumber& b) {
    const int scale = a.scale > b.scale ? a.scale : b.scale;
    const ExactNumber x = withScale(a, scale), y = withScale(b, scale);
    ExactNumber sum;
    sum.scale = scale;
    if (x.negative == y.negative) {
        sum.digits = combineDigits(x.digits, y.digits, false);
        sum.negative = x.negative;
    } else {
        const bool xLarger = compareDigits(x.digits, y.digits) >= 0;
        sum.digits = xLarger ? combineDigits(x.digits, y.digits, true)
                             : combineDigits(y.digits, x.digits, true);
        sum.negative = xLarger ? x.negative : y.negative;
    }
    if (sum.digits == "0") sum.negative = false;
    return sum;
}

int significantDigits(const ExactNumber& number) {
    const std::size_t last = number.digits.find_last_not_of('0');
    return last == std::string::npos ? 0 : static_cast<int>(last) + 1;
}

ExactNumber divideExact(const ExactNumber& a, std::int64_t divisor, int scale) {
    // One digit more than asked, divided schoolbook fashion, then rounded to the scale.
    const ExactNumber widened = withScale(a, scale + 1);
    ExactNumber quotient;
    quotient.negative = a.negative;
    quotient.scale = scale + 1;
    quotient.digits.clear();
    std::int64_t remainder = 0;
    for (char digit : widened.digits) {
        remainder = remainder * 10 + (digit - '0');
        quotient.digits += static_cast<char>('0' + remainder / divisor);
        remainder %= divisor;
    }
    dropLeadingZeros(quotient.digits);
    if (quotient.digits == "0") quotient.negative = false;
    return withScale(quotient, scale);
}

}  // namespace tvr::sim
