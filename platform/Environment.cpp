#include "platform/Environment.h"

#include <cstdlib>

namespace tvr::platform {

std::optional<std::string> environmentValue(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    if (!v) return std::nullopt;
    return std::string(v);
}

std::string sybaseValue() { return environmentValue("SYBASE").value_or(std::string()); }

std::string expandEnvironmentReferences(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            out += text[i++];
            continue;
        }
        const std::size_t close = text.find('%', i + 1);
        if (close == std::string::npos) {
            out.append(text, i, std::string::npos);
            break;
        }
        const std::string name = text.substr(i + 1, close - i - 1);
        const auto value = name.empty() ? std::nullopt : environmentValue(name);
        if (value) {
            out += *value;
            i = close + 1;
        } else {
            // Unknown names stay as written; the closing % may open the next reference.
            out.append(text, i, close - i);
            i = close;
        }
    }
    return out;
}

bool sybaseInstalled() { return !sybaseValue().empty(); }

}  // namespace tvr::platform
