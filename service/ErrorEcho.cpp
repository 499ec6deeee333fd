#include "service/ErrorEcho.h"

namespace tvr::service {

void ErrorEcho::addLines(const std::vector<client::LogLine>& lines) {
    std::lock_guard lock(mutex_);
    for (const client::LogLine& line : lines) {
        if (line.text.empty()) continue;
        std::fprintf(out_, "%s\n", line.text.c_str());
    }
    std::fflush(out_);
}

void ClientMessageEcho::addLines(const std::vector<client::LogLine>& lines) {
    if (lines.size() != 1 || lines.front().colour != client::LogColour::Red) return;
    if (lines.front().text.rfind("Error: Time:", 0) == 0) return;
    out_.addLines(lines);
}

}  // namespace tvr::service
