#include "platform/Registry.h"

#include "platform/Environment.h"
#include "platform/RegistryDocument.h"
#include "platform/RegistryKeyPath.h"

#include <system_error>

namespace tvr::platform {
namespace {

bool holdsLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The key's names, or nothing when the path is not one the file can hold.
std::optional<KeyNames> keyNames(std::string_view key) {
    if (holdsLineBreakOrNul(key)) return std::nullopt;
    return splitKeyPath(key);
}

std::string upToFirstNul(const std::string& text) { return text.substr(0, text.find('\0')); }

}  // namespace

std::filesystem::path Registry::defaultFile() {
    if (auto v = environmentValue("TVR_REGISTRY"); v && !v->empty()) return *v;
    const std::filesystem::path tail = std::filesystem::path("travenor") / "registry.reg";
    if (auto v = environmentValue("XDG_CONFIG_HOME"); v && !v->empty() && v->front() == '/')
        return std::filesystem::path(*v) / tail;
    if (auto v = environmentValue("HOME"); v && !v->empty())
        return std::filesystem::path(*v) / ".config" / tail;
    throw RegistryError(
        {}, 0, "No place for the registry file: set TVR_REGISTRY, XDG_CONFIG_HOME or HOME");
}

Registry::Registry(std::filesystem::path file) : file_(std::move(file)) {}

void Registry::fail(const std::string& doing, const std::exception& e) const {
    throw RegistryError(file_, 0,
                        "Registry file \"" + file_.string() + "\": " + doing + ": " + e.what());
}

RegistryDocument Registry::load() const {
    std::optional<std::string> text;
    try {
        text = readWholeFile(file_);
    } catch (const std::system_error& e) {
        fail("cannot be read", e);
    }
    if (!text) return RegistryDocument{};
    return RegistryDocument::parse(*text, file_);
}

RegStatus Registry::modify(const std::function<bool(RegistryDocument&)>& change) {
    std::optional<FileLock> lock;
    try {
        lock.emplace(std::filesystem::path(file_.string() + ".lock"));
    } catch (const std::system_error& e) {
        fail("cannot be locked", e);
    }
    RegistryDocument doc = load();
    if (!change(doc)) return RegStatus::Ok;
    try {
        replaceFileAtomically(file_, doc.serialize(), hook_);
    } catch (const std::system_error& e) {
        fail("cannot be written", e);
    }
    return RegStatus::Ok;
}

RegStatus Registry::writeValue(std::string_view key, std::string_view name,
                               const RegistryValue& value) {
    const auto names = keyNames(key);
    if (!names || holdsLineBreakOrNul(name)) return RegStatus::BadName;
    return modify([&](RegistryDocument& doc) { return doc.setValue(*names, name, value); });
}

RegStatus Registry::createKey(std::string_view key) {
    const auto names = keyNames(key);
    if (!names) return RegStatus::BadName;
    // Opening an existing key writes nothing, so a read-only file still serves it.
    if (load().hasKey(*names)) return RegStatus::Ok;
    return modify([&](RegistryDocument& doc) { return doc.createKey(*names); });
}

RegStatus Registry::readValue(std::string_view key, std::string_view name,
                              RegistryValue& value) const {
    const auto names = keyNames(key);
    if (!names) return RegStatus::BadName;
    const RegistryDocument doc = load();
    if (!doc.hasKey(*names)) return RegStatus::NotFound;
    const RegistryValue* v = doc.value(*names, name);
    if (!v) return RegStatus::NotFound;
    value = *v;
    return RegStatus::Ok;
}

bool Registry::keyExists(std::string_view key) const {
    const auto names = keyNames(key);
    return names && load().hasKey(*names);
}

RegStatus Registry::writeDefaultText(std::string_view key, std::string_view text) {
    return writeValue(key, "", RegistryValue::string(std::string(text)));
}

RegStatus Registry::readDefaultText(std::string_view key, std::string& text) const {
    return readText(key, "", text);
}

RegStatus Registry::readText(std::string_view key, std::string_view name, std::string& text) const {
    RegistryValue v;
    const RegStatus s = readValue(key, name, v);
    if (s != RegStatus::Ok) return s;
    if (!v.isText()) return RegStatus::WrongType;
    text = upToFirstNul(v.text);
    return RegStatus::Ok;
}

RegStatus Registry::writeText(std::string_view key, std::string_view name, std::string_view text) {
    return writeValue(key, name, RegistryValue::string(std::string(text)));
}

RegStatus Registry::readDWord(std::string_view key, std::string_view name,
                              std::uint32_t& number) const {
    RegistryValue v;
    const RegStatus s = readValue(key, name, v);
    if (s != RegStatus::Ok) return s;
    if (!v.isDWord()) return RegStatus::WrongType;
    number = v.number;
    return RegStatus::Ok;
}

RegStatus Registry::writeDWord(std::string_view key, std::string_view name, std::uint32_t number) {
    return writeValue(key, name, RegistryValue::dword(number));
}

}  // namespace tvr::platform
