// Feeds arbitrary bytes to the registry file reader. A text is either refused with a
// RegistryError or read; what is read must write out to a text that reads back to itself,
// so a save never turns a file the program accepted into one it refuses or changes.
#include "platform/RegistryDocument.h"
#include "platform/RegistryError.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tvr::platform::RegistryDocument;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path file("fuzz.reg");
    std::string written;
    try {
        written = RegistryDocument::parse(text, file).serialize();
    } catch (const tvr::platform::RegistryError&) {
        return 0;
    }
    try {
        if (RegistryDocument::parse(written, file).serialize() != written) std::abort();
    } catch (const tvr::platform::RegistryError&) {
        std::abort();  // the program's own output refused
    }
    return 0;
}
