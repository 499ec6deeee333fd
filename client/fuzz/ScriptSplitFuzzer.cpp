// Feeds arbitrary bytes to the script splitter and checks that the batches are the script
// cut at "go" lines and nothing else: joined again with the "go" each cut took out, they give
// the script back (less a final CR LF "go" the splitter drops), and every cut lies after a
// line feed, before a carriage return, a blank or a line feed.
#include "client/ScriptSplit.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> batches = tvr::client::SplitScript(script);
    if (batches.empty()) {
        for (std::string_view separator : {"\ngo\r", "\ngo ", "\ngo\n"})
            if (script.find(separator) != std::string_view::npos) std::abort();
        return 0;
    }
    std::string joined;
    for (std::size_t i = 0; i < batches.size(); ++i) {
        if (i > 0) {
            // Each cut is a "go" after the line feed that ends the batch before it, followed
            // in the script by a carriage return, a blank or a line feed.
            if (joined.empty() || joined.back() != '\n') std::abort();
            if (script.substr(joined.size(), 2) != "go") std::abort();
            const char after = joined.size() + 2 < script.size() ? script[joined.size() + 2] : '\0';
            if (after != '\r' && after != ' ' && after != '\n') std::abort();
            joined += "go";
        }
        joined += batches[i];
    }
    if (joined != script && joined + "\r\ngo" != script) std::abort();
    return 0;
}
