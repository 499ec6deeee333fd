#pragma once
// UTF-8 bytes to and from UTF-16LE, the form earlier builds wrote hex(1) and hex(2) values
// in; it still reads, and carries the one text the REGEDIT4 form cannot (see RegistryDocument).
// Every byte string survives the round trip exactly: a byte that is not part of a valid
// UTF-8 sequence travels as the lone surrogate U+DC80..U+DCFF, and other lone surrogates
// read from a file come back as their three-byte forms.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvr::platform {

std::vector<std::uint8_t> toUtf16Le(std::string_view utf8);
// `bytes` must have an even length.
std::string fromUtf16Le(const std::vector<std::uint8_t>& bytes);

}  // namespace tvr::platform
