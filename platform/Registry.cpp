#include "platform/Registry.h"

#include "platform/Environment.h"
#include "platform/Profile.h"
#include "platform/RegistryDocument.h"
#include "platform/RegistryKeyPath.h"

#include <system_error>

namespace tvr::platform {
namespace {

struct ResolvedWrite {
    std::optional<std::vector<std::string>> key;  // nothing: a path the file cannot hold
    const RegistryWrites::Write* write = nullptr;
};

std::vector<ResolvedWrite> resolve(const RegistryWrites& writes) {
    std::vector<ResolvedWrite> out;
    out.reserve(writes.writes().size());
    for (const RegistryWrites::Write& w : writes.writes()) {
        ResolvedWrite r{storableKeyPath(w.key), &w};
        if (w.value && !storableName(w.name)) r.key.reset();
        out.push_back(std::move(r));
    }
    return out;
}

// Applies the writes to `doc`; true when anything changed.
bool applyTo(RegistryDocument& doc, const std::vector<ResolvedWrite>& writes) {
    bool changed = false;
    for (const ResolvedWrite& r : writes) {
        if (!r.key) continue;
        if (r.write->value)
            changed = doc.setValue(*r.key, r.write->name, *r.write->value) || changed;
        else
            changed = doc.createKey(*r.key) || changed;
    }
    return changed;
}

}  // namespace

namespace {

std::filesystem::path defaultProfileFile() {
    if (auto v = environmentValue("TVR_REGISTRY"); v && !v->empty()) return *v;
    const std::filesystem::path tail = std::filesystem::path("travenor") / "registry.reg";
    if (auto v = environmentValue("XDG_CONFIG_HOME"); v && !v->empty() && v->front() == '/')
        return std::filesystem::path(*v) / tail;
    if (auto v = environmentValue("HOME"); v && !v->empty())
        return std::filesystem::path(*v) / ".config" / tail;
    throw RegistryError(
        {}, 0, "No place for the registry file: set TVR_REGISTRY, XDG_CONFIG_HOME or HOME");
}

}  // namespace

std::filesystem::path Registry::defaultFile() {
    return profileRegistryFile(defaultProfileFile(), profileName());
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

RegistryView Registry::read() const {
    return RegistryView(std::make_shared<const RegistryDocument>(load()));
}

std::vector<RegStatus> Registry::apply(const RegistryWrites& writes) {
    const std::vector<ResolvedWrite> resolved = resolve(writes);
    std::vector<RegStatus> statuses;
    statuses.reserve(resolved.size());
    for (const ResolvedWrite& r : resolved)
        statuses.push_back(r.key ? RegStatus::Ok : RegStatus::BadName);

    std::optional<FileLock> lock;
    try {
        lock.emplace(std::filesystem::path(file_.string() + ".lock"));
    } catch (const std::system_error& e) {
        // Writes that change nothing need no lock, so a file in a folder this user may not
        // write still serves them (opening an existing key, above all).
        RegistryDocument doc = load();
        if (!applyTo(doc, resolved)) return statuses;
        fail("cannot be locked", e);
    }
    try {
        removeLeftoverTemporaries(file_);
    } catch (const std::system_error&) {
        // A leftover that cannot be removed costs room, not content; the replacement goes on.
    }
    RegistryDocument doc = load();
    if (!applyTo(doc, resolved)) return statuses;
    try {
        replaceFileAtomically(file_, doc.serialize(), hook_);
    } catch (const std::system_error& e) {
        fail("cannot be written", e);
    }
    return statuses;
}

RegStatus Registry::writeValue(std::string_view key, std::string_view name,
                               const RegistryValue& value) {
    RegistryWrites writes;
    writes.writeValue(key, name, value);
    return apply(writes).front();
}

RegStatus Registry::createKey(std::string_view key) {
    RegistryWrites writes;
    writes.createKey(key);
    return apply(writes).front();
}

RegStatus Registry::readValue(std::string_view key, std::string_view name,
                              RegistryValue& value) const {
    return read().readValue(key, name, value);
}

bool Registry::keyExists(std::string_view key) const { return read().keyExists(key); }

RegStatus Registry::writeDefaultText(std::string_view key, std::string_view text) {
    return writeValue(key, "", RegistryValue::string(std::string(text)));
}

RegStatus Registry::readDefaultText(std::string_view key, std::string& text) const {
    return read().readDefaultText(key, text);
}

RegStatus Registry::readText(std::string_view key, std::string_view name, std::string& text) const {
    return read().readText(key, name, text);
}

RegStatus Registry::writeText(std::string_view key, std::string_view name, std::string_view text) {
    return writeValue(key, name, RegistryValue::string(std::string(text)));
}

RegStatus Registry::readDWord(std::string_view key, std::string_view name,
                              std::uint32_t& number) const {
    return read().readDWord(key, name, number);
}

RegStatus Registry::writeDWord(std::string_view key, std::string_view name, std::uint32_t number) {
    return writeValue(key, name, RegistryValue::dword(number));
}

}  // namespace tvr::platform
