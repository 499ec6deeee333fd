#include "config/BooleanText.h"

#include "config/SettingsError.h"
#include "platform/TextFolding.h"

#include <cctype>
#include <charconv>
#include <string_view>

namespace tvr::config {
namespace {

// A decimal number (sign, digits, fraction, exponent), the whole text; hex, inf and nan
// are not numbers here. A number beyond the range of a double ("1e999", "1e-999") is still
// a number, and not zero: it reads as 1.
bool decimalNumber(std::string_view s, double& value) {
    if (s.empty()) return false;
    std::string_view digits = s;
    if (digits.front() == '+' || digits.front() == '-') digits.remove_prefix(1);
    if (digits.empty() ||
        !(std::isdigit(static_cast<unsigned char>(digits.front())) || digits.front() == '.'))
        return false;
    if (s.front() == '+') s.remove_prefix(1);  // from_chars does not take a plus sign
    const auto [end, ec] =
        std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
    if (end != s.data() + s.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        value = 1;
        return true;
    }
    return ec == std::errc();
}

}  // namespace

std::string booleanText(bool value) { return value ? "-1" : "0"; }

bool parseBooleanText(const std::string& text) {
    const std::string_view t = platform::trimControls(text);
    double number = 0;
    if (decimalNumber(t, number)) return number != 0;
    if (platform::sameIgnoringAsciiCase(t, "True")) return true;
    if (platform::sameIgnoringAsciiCase(t, "False")) return false;
    throw SettingsError("'" + text + "' is not a valid boolean value");
}

}  // namespace tvr::config
