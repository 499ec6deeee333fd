#pragma once
// Trimming and case folding of texts, in one place. Which characters trimming takes depends
// on where a text comes from, so each set is a variant of its own, named for what it takes.
// Case folding touches the ASCII letters only, whatever the locale, as the registry, the
// server and FreeTDS compare names.
#include <string>
#include <string_view>

namespace tvr::platform {

// Without leading and trailing blanks and tabs (registry file lines, an interval text).
std::string_view trimBlanks(std::string_view text);
// Without leading and trailing blanks, tabs, carriage returns and line feeds (FreeTDS
// configuration lines).
std::string_view trimWhitespace(std::string_view text);
// Without leading and trailing bytes up to and including the blank: control characters too
// (boolean setting texts, sql.ini lines).
std::string_view trimControls(std::string_view text);

// `text` with A-Z made a-z.
std::string asciiLower(std::string_view text);
// The two texts equal but for the case of ASCII letters.
bool sameIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace tvr::platform
