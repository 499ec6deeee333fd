#include "platform/TextFolding.h"

namespace tvr::platform {
namespace {

template <typename Takes>
std::string_view trimWhere(std::string_view text, Takes takes) {
    while (!text.empty() && takes(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && takes(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string_view trimBlanks(std::string_view text) {
    return trimWhere(text, [](unsigned char c) { return c == ' ' || c == '\t'; });
}

std::string_view trimWhitespace(std::string_view text) {
    return trimWhere(
        text, [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

std::string_view trimControls(std::string_view text) {
    return trimWhere(text, [](unsigned char c) { return c <= ' '; });
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = asciiLower(c);
    return out;
}

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

}  // namespace tvr::platform
