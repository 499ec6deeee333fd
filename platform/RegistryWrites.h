#pragma once
// A group of registry writes that Registry::apply stores as one replacement of the file:
// either all of them reach the file or none does, whatever happens to the writer.
#include "platform/RegistryValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvr::platform {

class RegistryWrites {
public:
    struct Write {
        std::string key;
        std::string name;                    // "" for the default value
        std::optional<RegistryValue> value;  // nothing: only open the key, creating it
    };

    void createKey(std::string_view key) { writes_.push_back({std::string(key), {}, {}}); }
    void writeValue(std::string_view key, std::string_view name, RegistryValue value) {
        writes_.push_back({std::string(key), std::string(name), std::move(value)});
    }
    void writeText(std::string_view key, std::string_view name, std::string_view text) {
        writeValue(key, name, RegistryValue::string(std::string(text)));
    }
    void writeDefaultText(std::string_view key, std::string_view text) { writeText(key, "", text); }
    void writeDWord(std::string_view key, std::string_view name, std::uint32_t number) {
        writeValue(key, name, RegistryValue::dword(number));
    }

    const std::vector<Write>& writes() const { return writes_; }

private:
    std::vector<Write> writes_;
};

}  // namespace tvr::platform
