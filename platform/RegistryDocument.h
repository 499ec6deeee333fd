#pragma once
// The keys and values of one registry file in memory, and their REGEDIT4 text:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Kelvane]
//   @="default value"
//   "Name"="text with \"quotes\" and \\ backslashes"
//   "Count"=dword:0000000a
//   "Path"=hex(2):25,53,59,42,41,53,45,25,00
//
// Names compare without regard to ASCII case and keep the case they were first written
// with. Keys are written in tree order, siblings sorted by name; values in the order they
// were first written. A text with a line break or a NUL in it is written as hex(1): so that
// it survives the line-oriented format. hex(1) and hex(2) hold the text's own bytes and one
// terminating NUL, as a REGEDIT4 export does; the UTF-16LE form of earlier builds still reads.
#include "platform/RegistryValue.h"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tvr::platform {

using KeyNames = std::vector<std::string>;

class RegistryDocument {
public:
    // Throws RegistryError naming `file` and the line for text that is not a REGEDIT4
    // file of keys below HKEY_CURRENT_USER. Empty text is an empty registry.
    static RegistryDocument parse(std::string_view text, const std::filesystem::path& file);
    std::string serialize() const;

    bool hasKey(const KeyNames& key) const;
    // Creates the key and every missing parent; true when anything was created.
    bool createKey(const KeyNames& key);
    // The value `name` ("" for the default value) of `key`, or nullptr.
    const RegistryValue* value(const KeyNames& key, std::string_view name) const;
    // Creates the key when missing; true when the document changed.
    bool setValue(const KeyNames& key, std::string_view name, RegistryValue value);

private:
    struct NamedValue {
        std::string name;
        RegistryValue value;
    };
    struct Key {
        std::string path;  // as first written, names joined with '\'
        std::vector<NamedValue> values;
    };
    // Orders folded paths name by name, so that a key's subkeys follow it directly.
    struct TreeOrder {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    Key& ensureKey(const KeyNames& key, bool* created);

    std::map<std::string, Key, TreeOrder> keys_;  // folded path -> key
};

}  // namespace tvr::platform
