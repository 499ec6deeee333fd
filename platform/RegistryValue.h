#pragma once
// One registry value as the .reg file stores it.
#include <cstdint>
#include <string>
#include <vector>

namespace tvr::platform {

// The Windows type numbers, as they appear in hex(N): forms.
enum class RegType : std::uint32_t {
    String = 1,        // REG_SZ
    ExpandString = 2,  // REG_EXPAND_SZ
    Binary = 3,        // REG_BINARY
    DWord = 4,         // REG_DWORD
};

struct RegistryValue {
    std::uint32_t type = static_cast<std::uint32_t>(RegType::String);
    // REG_SZ and REG_EXPAND_SZ: the text bytes (UTF-8 here), without a terminating NUL;
    // they may contain NULs of their own.
    std::string text;
    std::uint32_t number = 0;         // REG_DWORD
    std::vector<std::uint8_t> bytes;  // every other type, kept as stored

    static RegistryValue string(std::string t) { return {1, std::move(t), 0, {}}; }
    static RegistryValue expandString(std::string t) { return {2, std::move(t), 0, {}}; }
    static RegistryValue dword(std::uint32_t n) { return {4, {}, n, {}}; }
    static RegistryValue raw(std::uint32_t type, std::vector<std::uint8_t> b) {
        return {type, {}, 0, std::move(b)};
    }

    bool isText() const { return type == 1 || type == 2; }
    bool isDWord() const { return type == 4; }
    bool operator==(const RegistryValue&) const = default;
};

}  // namespace tvr::platform
