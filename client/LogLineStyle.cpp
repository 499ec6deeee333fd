#include "client/LogLineStyle.h"

namespace tvr::client {
namespace {

constexpr std::string_view kErrMarker = "$Err$";
constexpr std::string_view kMessMarker = "$Mess$";

std::string withoutAll(std::string_view line, std::string_view marker) {
    std::string out;
    out.reserve(line.size());
    for (std::size_t at = 0;;) {
        const std::size_t next = line.find(marker, at);
        if (next == std::string_view::npos) {
            out.append(line.substr(at));
            return out;
        }
        out.append(line.substr(at, next - at));
        at = next + marker.size();
    }
}

bool holdsError(const std::string& text) { return text.find("Error") != std::string::npos; }

}  // namespace

LogLine StyleLogLine(std::string_view line) {
    if (line.find(kErrMarker) != std::string_view::npos) {
        LogLine out{withoutAll(line, kErrMarker), LogColour::Red, true, false};
        out.underline = holdsError(out.text);
        return out;
    }
    if (line.find(kMessMarker) != std::string_view::npos) {
        LogLine out{withoutAll(line, kMessMarker), LogColour::Green, false, false};
        out.underline = holdsError(out.text);
        return out;
    }
    return LogLine{std::string(line), LogColour::Default, false, false};
}

}  // namespace tvr::client
