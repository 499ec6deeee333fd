#pragma once
// The per-user registry below HKEY_CURRENT_USER, kept in one REGEDIT4 text file.
//
// Every operation reads the file afresh, so several processes share it. Every write takes
// an exclusive lock on "<file>.lock", re-reads the file, applies its change and replaces
// the file atomically; two writers never lose each other's changes and a crash never
// leaves a torn file. A write that changes nothing does not touch the file. A group of
// reads shares one reading of the file (read()), a group of writes one replacement (apply()).
// Temporary files that a killed writer left beside the file are removed by the next writer,
// under the lock, so they cannot pile up.
//
// Key paths use '\' (e.g. "Software\Kelvane\DorniqSybase"); see splitKeyPath for how
// separators are taken. Key and value names compare without regard to case.
//
// Outcomes the Windows registry reports as codes come back as RegStatus. A file that
// cannot be read or parsed, and a file that cannot be replaced, throw RegistryError; a
// file that cannot be parsed is never overwritten, nor is one its user made read-only.
#include "platform/AtomicFile.h"
#include "platform/RegStatus.h"
#include "platform/RegistryError.h"
#include "platform/RegistryValue.h"
#include "platform/RegistryView.h"
#include "platform/RegistryWrites.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvr::platform {

class RegistryDocument;

class Registry {
public:
    // $TVR_REGISTRY when set, else $XDG_CONFIG_HOME/travenor/registry.reg, else
    // $HOME/.config/travenor/registry.reg. Throws RegistryError when none can be formed.
    // A profile other than the default has its own file below that one's folder
    // (profileRegistryFile).
    static std::filesystem::path defaultFile();

    explicit Registry(std::filesystem::path file = defaultFile());

    const std::filesystem::path& file() const { return file_; }

    // The key's default value := `text` as REG_SZ; creates the key and its parents.
    RegStatus writeDefaultText(std::string_view key, std::string_view text);
    bool keyExists(std::string_view key) const;
    // The key's default value when it is REG_SZ or REG_EXPAND_SZ, not expanded, up to its
    // first NUL.
    RegStatus readDefaultText(std::string_view key, std::string& text) const;
    // Opens the key, creating it and its parents when missing.
    RegStatus createKey(std::string_view key);

    // Named values. The writes create the key when it is missing. Text reads take REG_SZ
    // and REG_EXPAND_SZ, not expanded, up to the first NUL.
    RegStatus readText(std::string_view key, std::string_view name, std::string& text) const;
    RegStatus writeText(std::string_view key, std::string_view name, std::string_view text);
    RegStatus readDWord(std::string_view key, std::string_view name, std::uint32_t& number) const;
    RegStatus writeDWord(std::string_view key, std::string_view name, std::uint32_t number);

    // Any value as stored ("" names the default value).
    RegStatus readValue(std::string_view key, std::string_view name, RegistryValue& value) const;
    RegStatus writeValue(std::string_view key, std::string_view name, const RegistryValue& value);

    // One reading of the file for any number of reads.
    RegistryView read() const;
    // Applies the writes in order under one lock, from one re-reading of the file, and
    // replaces the file once (not at all when nothing changes). One status per write, in
    // order: BadName for a key path or value name the file cannot hold, which is skipped;
    // Ok for the others. A file that cannot be read, parsed, locked or replaced throws
    // RegistryError, and then none of the writes is stored.
    std::vector<RegStatus> apply(const RegistryWrites& writes);

    // Called at each step of a file replacement; fault-injection tests stop a writer there.
    void setReplaceStageHook(ReplaceStageHook hook) { hook_ = std::move(hook); }

private:
    RegistryDocument load() const;
    [[noreturn]] void fail(const std::string& doing, const std::exception& e) const;

    std::filesystem::path file_;
    ReplaceStageHook hook_;
};

}  // namespace tvr::platform
