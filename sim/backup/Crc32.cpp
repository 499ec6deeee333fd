#include "sim/backup/Crc32.h"

#include <array>
#include <cstring>

namespace tvr::sim {
namespace {

// Slicing-by-8 tables: eight bytes per step keep checksumming well below the cost of the I/O.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

Tables makeTables() {
    Tables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        t[0][i] = c;
    }
    for (std::size_t i = 0; i < 256; ++i) {
        for (std::size_t s = 1; s < 8; ++s)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFu];
    }
    return t;
}

const Tables& tables() {
    static const Tables t = makeTables();
    return t;
}

}  // namespace

void Crc32::update(const void* data, std::size_t size) {
    const auto& t = tables();
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint32_t c = state_;
    while (size >= 8) {
        std::uint32_t lo = 0;
        std::uint32_t hi = 0;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        lo ^= c;  // little-endian host assumed (x86-64, arm64)
        c = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0) c = t[0][(c ^ *p++) & 0xFFu] ^ (c >> 8);
    state_ = c;
}

std::uint32_t Crc32::of(const void* data, std::size_t size) {
    Crc32 crc;
    crc.update(data, size);
    return crc.value();
}

}  // namespace tvr::sim
