#include "platform/Utf16Text.h"

#include <gtest/gtest.h>

#include <random>

using namespace tvr::platform;

TEST(Utf16Text, EncodesAsWindowsDoes) {
    EXPECT_EQ(toUtf16Le("A\xC3\xA9"), (std::vector<std::uint8_t>{0x41, 0, 0xE9, 0}));
    // U+1F600 becomes a surrogate pair.
    EXPECT_EQ(toUtf16Le("\xF0\x9F\x98\x80"), (std::vector<std::uint8_t>{0x3D, 0xD8, 0x00, 0xDE}));
    EXPECT_EQ(fromUtf16Le({0x16, 0x04, 0x36, 0x04}), "Жж");
}

TEST(Utf16Text, AnyByteStringSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(fromUtf16Le(toUtf16Le(all)), all);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 500; ++i) {
        std::string s;
        for (int k = i % 13; k > 0; --k) s += static_cast<char>(byte(random));
        ASSERT_EQ(fromUtf16Le(toUtf16Le(s)), s);
    }
    // Overlong forms and encoded surrogates are not valid UTF-8 and travel byte by byte.
    for (const std::string s : {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"})
        EXPECT_EQ(fromUtf16Le(toUtf16Le(s)), s);
}
