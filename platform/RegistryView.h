#pragma once
// The registry file as one reading found it: a group of reads from one parse, so that
// loading many values costs one read of the file and sees one state of it.
#include "platform/RegStatus.h"
#include "platform/RegistryValue.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tvr::platform {

class RegistryDocument;

class RegistryView {
public:
    // Same contracts as the reads of Registry, answered from this view.
    bool keyExists(std::string_view key) const;
    RegStatus readDefaultText(std::string_view key, std::string& text) const;
    RegStatus readText(std::string_view key, std::string_view name, std::string& text) const;
    RegStatus readDWord(std::string_view key, std::string_view name, std::uint32_t& number) const;
    RegStatus readValue(std::string_view key, std::string_view name, RegistryValue& value) const;

private:
    friend class Registry;
    explicit RegistryView(std::shared_ptr<const RegistryDocument> document);

    std::shared_ptr<const RegistryDocument> document_;
};

}  // namespace tvr::platform
