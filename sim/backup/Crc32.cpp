#include "sim/backup/Crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

std::uint32_t updateByTables(std::uint32_t c, const unsigned char* p, std::size_t size) {
    const auto& t = tables();
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
    return c;
}

#if defined(__x86_64__)

#define TVR_FOLDING __attribute__((target("pclmul,sse4.1")))

TVR_FOLDING inline __m128i load(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// The 128 bits of x carried 128 bits on (by the two halves of k), plus the next 16 bytes.
TVR_FOLDING inline __m128i fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// A dump is checksummed when written and again when loaded; with tables alone that is about a
// second of CPU per GiB, as long as the disk takes to move it. Carry-less multiplication folds 64
// bytes a step (the method of Intel's "Fast CRC Computation for Generic Polynomials Using
// PCLMULQDQ", with the constants of the reflected IEEE polynomial). Takes a multiple of 16 bytes,
// at least 64; returns the running state as the tables would.
TVR_FOLDING std::uint32_t updateByFolding(std::uint32_t c, const unsigned char* p,
                                          std::size_t size) {
    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x2 = load(p + 16);
    __m128i x3 = load(p + 32);
    __m128i x4 = load(p + 48);
    p += 64;
    size -= 64;

    const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    while (size >= 64) {
        x1 = fold(x1, k1k2, load(p));
        x2 = fold(x2, k1k2, load(p + 16));
        x3 = fold(x3, k1k2, load(p + 32));
        x4 = fold(x4, k1k2, load(p + 48));
        p += 64;
        size -= 64;
    }

    const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    x1 = fold(x1, k3k4, x2);
    x1 = fold(x1, k3k4, x3);
    x1 = fold(x1, k3k4, x4);
    while (size >= 16) {
        x1 = fold(x1, k3k4, load(p));
        p += 16;
        size -= 16;
    }

    // 128 bits to 64, then to 32 with a Barrett reduction.
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4),
                       _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00));
    const __m128i polyMu = _mm_set_epi64x(0x1f7011641, 0x1db710641);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), polyMu, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), polyMu, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

bool canFold() {
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return can;
}

#undef TVR_FOLDING
#endif

}  // namespace

void Crc32::update(const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint32_t c = state_;
#if defined(__x86_64__)
    if (size >= 64 && canFold()) {
        const std::size_t folded = size & ~std::size_t{15};
        c = updateByFolding(c, p, folded);
        p += folded;
        size -= folded;
    }
#endif
    state_ = updateByTables(c, p, size);
}

std::uint32_t Crc32::of(const void* data, std::size_t size) {
    Crc32 crc;
    crc.update(data, size);
    return crc.value();
}

}  // namespace tvr::sim
