#include "tests/support/RecordingLogSink.h"

namespace tvr::client {

void RecordingLogSink::addLines(const std::vector<LogLine>& lines) {
    std::lock_guard lock(mutex_);
    lines_.insert(lines_.end(), lines.begin(), lines.end());
    ++entries_;
}

std::vector<LogLine> RecordingLogSink::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> RecordingLogSink::texts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    out.reserve(lines_.size());
    for (const LogLine& l : lines_) out.push_back(l.text);
    return out;
}

int RecordingLogSink::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

void RecordingLogSink::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
    entries_ = 0;
}

}  // namespace tvr::client
