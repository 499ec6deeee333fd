#include "sim/backup/Crc32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

using tvr::sim::Crc32;

namespace {

std::uint32_t bitByBit(const unsigned char* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    while (n-- > 0) {
        c ^= *p++;
        for (int k = 0; k < 8; ++k) c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
    }
    return ~c;
}

}  // namespace

TEST(Crc32Test, KnownValueOfTheStandardCheckString) {
    EXPECT_EQ(Crc32::of("123456789", 9), 0xCBF43926u);
}

// Long pieces take the folding path and short ones the tables; a dump is fed in pieces of any
// length and alignment, so every split must give the value computed bit by bit.
TEST(Crc32Test, AnySplitAndAlignmentGivesTheBitwiseValue) {
    std::mt19937 random(7);
    std::vector<unsigned char> bytes(1100);
    for (auto& b : bytes) b = static_cast<unsigned char>(random());
    for (std::size_t size : {0, 1, 15, 16, 63, 64, 65, 79, 128, 200, 1000, 1093}) {
        for (std::size_t offset : {0, 1, 7}) {
            for (std::size_t split : {std::size_t{0}, size / 3, size}) {
                Crc32 crc;
                crc.update(bytes.data() + offset, split);
                crc.update(bytes.data() + offset + split, size - split);
                EXPECT_EQ(crc.value(), bitByBit(bytes.data() + offset, size))
                    << "size " << size << " offset " << offset << " split " << split;
            }
        }
    }
}
