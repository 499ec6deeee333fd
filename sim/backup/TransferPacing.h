#pragma once
// The pace of a dump or load: the configured rate, the progress lines as each quarter passes,
// the fault that drops the connection half way and the client's cancel.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "sim/backup/BackupServer.h"
#include "sim/backup/Faults.h"
#include "sim/backup/RelayedLines.h"

namespace tvr::sim {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunk = 1 << 20;

// Paces the transfer to the configured rate, so that a dump takes time in proportion to its
// size even on fast disks.
class Throttle {
public:
    explicit Throttle(double mbps)
        : bytesPerSecond_(mbps * 1024.0 * 1024.0), start_(Clock::now()) {}
    // Pieces of about a twentieth of a second when paced, so that the file grows steadily.
    std::size_t chunk() const {
        if (bytesPerSecond_ <= 0) return kChunk;
        return std::clamp<std::size_t>(static_cast<std::size_t>(bytesPerSecond_ / 20), 4096,
                                       kChunk);
    }
    void consumed(std::uint64_t bytes) {
        if (bytesPerSecond_ <= 0) return;
        total_ += bytes;
        const auto due =
            start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                         static_cast<double>(total_) / bytesPerSecond_));
        std::this_thread::sleep_until(due);
    }

private:
    double bytesPerSecond_;
    Clock::time_point start_;
    std::uint64_t total_ = 0;
};

// "Database X: N kilobytes (P%) DUMPED." as each quarter is passed.
class Progress {
public:
    Progress(MessageSink& sink, std::string database, std::uint64_t total, const char* verb)
        : sink_(sink), database_(std::move(database)), total_(total), verb_(verb) {}
    void advance(std::uint64_t done) {
        const int percent = total_ == 0 ? 100 : static_cast<int>(done * 100 / total_);
        if (next_ > 100 || percent < next_) return;
        report(done, percent - percent % 25);
        next_ = percent - percent % 25 + 25;
    }
    void report(std::uint64_t done, int percent) {
        sink_.send(bsLine(4, 188, 1, 1,
                          "Database " + database_ + ": " + std::to_string((done + 1023) / 1024) +
                              " kilobytes (" + std::to_string(percent) + "%) " + verb_ + "."));
    }

private:
    MessageSink& sink_;
    std::string database_;
    std::uint64_t total_;
    const char* verb_;
    int next_ = 25;
};

// What each piece of a dump or load goes through: the pace, the progress messages, the fault's
// drop of the connection half way and the client's cancel; moved() and ended() give what to
// return when the operation stops there.
class Pacing {
public:
    Pacing(double mbps, MessageSink& sink, const BackupFault& fault, std::uint64_t total,
           Progress* progress)
        : throttle_(mbps), sink_(sink), fault_(fault), total_(total), progress_(progress) {}
    std::size_t chunk() const { return throttle_.chunk(); }
    // The size of a buffer for moving `total` bytes: a transaction dump of a few kilobytes is
    // not given a whole megabyte that must first be cleared.
    std::size_t bufferFor(std::uint64_t total) const {
        return static_cast<std::size_t>(
            std::min<std::uint64_t>(chunk(), std::max<std::uint64_t>(total, 4096)));
    }
    std::uint64_t done() const { return done_; }
    std::optional<BackupResult> moved(std::size_t bytes) {
        done_ += bytes;
        throttle_.consumed(bytes);
        if (progress_) progress_->advance(done_);
        if (fault_.kind == BackupFault::Kind::Drop && done_ * 2 >= total_)
            return BackupResult{0, true};
        if (sink_.cancelRequested()) return BackupResult{0, false, true};
        return std::nullopt;
    }
    // A drop armed for an operation with nothing to move happens at its end.
    std::optional<BackupResult> ended() const {
        if (fault_.kind == BackupFault::Kind::Drop) return BackupResult{0, true};
        return std::nullopt;
    }

private:
    Throttle throttle_;
    MessageSink& sink_;
    const BackupFault& fault_;
    std::uint64_t total_;
    Progress* progress_;
    std::uint64_t done_ = 0;
};

}  // namespace tvr::sim
