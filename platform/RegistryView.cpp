#include "platform/RegistryView.h"

#include "platform/RegistryDocument.h"
#include "platform/RegistryKeyPath.h"

namespace tvr::platform {

RegistryView::RegistryView(std::shared_ptr<const RegistryDocument> document)
    : document_(std::move(document)) {}

RegStatus RegistryView::readValue(std::string_view key, std::string_view name,
                                  RegistryValue& value) const {
    const auto names = storableKeyPath(key);
    if (!names) return RegStatus::BadName;
    if (!document_->hasKey(*names)) return RegStatus::NotFound;
    const RegistryValue* v = document_->value(*names, name);
    if (!v) return RegStatus::NotFound;
    value = *v;
    return RegStatus::Ok;
}

bool RegistryView::keyExists(std::string_view key) const {
    const auto names = storableKeyPath(key);
    return names && document_->hasKey(*names);
}

RegStatus RegistryView::readDefaultText(std::string_view key, std::string& text) const {
    return readText(key, "", text);
}

RegStatus RegistryView::readText(std::string_view key, std::string_view name,
                                 std::string& text) const {
    RegistryValue v;
    const RegStatus s = readValue(key, name, v);
    if (s != RegStatus::Ok) return s;
    if (!v.isText()) return RegStatus::WrongType;
    text = v.text.substr(0, v.text.find('\0'));
    return RegStatus::Ok;
}

RegStatus RegistryView::readDWord(std::string_view key, std::string_view name,
                                  std::uint32_t& number) const {
    RegistryValue v;
    const RegStatus s = readValue(key, name, v);
    if (s != RegStatus::Ok) return s;
    if (!v.isDWord()) return RegStatus::WrongType;
    number = v.number;
    return RegStatus::Ok;
}

}  // namespace tvr::platform
