// Feeds arbitrary bytes to the sql.ini and interfaces readers and checks what each entry
// can be: never longer than a line of the text, and an interfaces entry a first word
// without blanks.
#include "config/ServerList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const std::string& entry : tvr::config::sqlIniServers(text)) {
        if (entry.size() + 2 > text.size() && !entry.empty()) std::abort();
        if (entry.find_first_of("\r\n") != std::string::npos) std::abort();
    }
    for (const std::string& entry : tvr::config::interfacesServers(text)) {
        if (entry.empty() || entry.front() == '#' || entry.size() > text.size()) std::abort();
        for (char c : entry)
            if (static_cast<unsigned char>(c) <= ' ') std::abort();
    }
    return 0;
}
