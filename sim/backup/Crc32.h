#pragma once
// CRC-32 (the IEEE polynomial used by zlib and Ethernet), computed incrementally so a
// dump can be checksummed while it streams to disk.
#include <cstddef>
#include <cstdint>

namespace tvr::sim {

class Crc32 {
public:
    void update(const void* data, std::size_t size);
    std::uint32_t value() const { return ~state_; }

    static std::uint32_t of(const void* data, std::size_t size);

private:
    std::uint32_t state_ = 0xFFFFFFFFu;
};

}  // namespace tvr::sim
