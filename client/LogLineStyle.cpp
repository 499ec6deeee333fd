#include "client/LogLineStyle.h"

#include "client/TextLines.h"

#include <cstring>

namespace tvr::client {
namespace {

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

bool holdsError(std::string_view text) { return text.find("Error") != std::string_view::npos; }

// What follows the first `marker` in `text`, when it holds one.
bool cutAfter(std::string_view& text, std::string_view marker) {
    const std::size_t at = text.find(marker);
    if (at == std::string_view::npos) return false;
    text.remove_prefix(at + marker.size());
    return true;
}

}  // namespace

std::vector<LogLine> styleLogEntry(std::string_view text) {
    LogLine style;
    if (cutAfter(text, kMessMarker)) style.colour = LogColour::Green;
    if (cutAfter(text, kErrMarker)) {
        style.colour = LogColour::Red;
        style.bold = true;
    }
    std::vector<LogLine> lines;
    forEachLine(text, [&](std::string_view line) {
        style.text = line;
        lines.push_back(style);
    });
    return lines;
}

bool holdsLogMarker(std::string_view line) {
    return !line.empty() && std::memchr(line.data(), '$', line.size()) &&
           (line.find(kErrMarker) != std::string_view::npos ||
            line.find(kMessMarker) != std::string_view::npos);
}

LogLine styleLogLine(std::string_view line) {
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

LogLine styleErrorRecordLine(std::string_view line, bool notice) {
    const bool error = holdsError(line);
    return LogLine{std::string(line), notice ? LogColour::Green : LogColour::Red, error || !notice,
                   error};
}

}  // namespace tvr::client
