#pragma once
// Moving the bytes of dumps and loads: copies between files made inside the kernel, so that the
// data is not carried through a buffer of ours, and write-back started while a file is written,
// so that the flush at the end waits only for its last pieces instead of the whole file.
#include <cstddef>
#include <cstdint>

#include "sim/backup/Crc32.h"

namespace tvr::sim {

// Copies up to `size` bytes of `from` at `fromAt` to `to` at `toAt` (the descriptors' own
// positions are left alone). Where the file systems cannot copy between them, reads and writes.
// Returns the bytes copied: less than asked only where `from` ends; -1 with errno in err.
std::int64_t copyBetweenFiles(int from, std::uint64_t fromAt, int to, std::uint64_t toAt,
                              std::uint64_t size, int& err);

// Starts the write-back of a file's pages as they are written, a step at a time. Only starts it:
// the writer still flushes the file at its end, which is what makes the data durable.
class EarlyWriteback {
public:
    explicit EarlyWriteback(int fd) : fd_(fd) {}
    // Bytes [0, end) of the file are written.
    void writtenUpTo(std::uint64_t end);

private:
    int fd_;
    std::uint64_t started_ = 0;
};

// Adds the bytes [at, at + size) of `fd` to `crc`, read through a mapping of the file rather
// than copied out (read where it cannot be mapped); the bytes must exist. False with errno in
// err when they cannot be read.
bool checksumFileRange(int fd, std::uint64_t at, std::size_t size, Crc32& crc, int& err);

}  // namespace tvr::sim
