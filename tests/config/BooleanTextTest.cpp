#include "config/BooleanText.h"
#include "config/SettingsError.h"

#include <gtest/gtest.h>

using namespace tvr::config;

TEST(BooleanText, IsStoredAsMinusOneAndZero) {
    EXPECT_EQ(booleanText(true), "-1");
    EXPECT_EQ(booleanText(false), "0");
}

TEST(BooleanText, AnyNumberOtherThanZeroAndTheWordsAreRead) {
    // Numbers beyond the range of a double are numbers too, and none of them is zero.
    for (const char* t : {"-1", "1", "2", "-7", "+3", "1.5", "1e3", " 1 ", "1e999", "-1e999",
                          "1e-999", "True", "true", "TRUE"})
        EXPECT_TRUE(parseBooleanText(t)) << t;
    for (const char* t : {"0", "-0", "0.0", "000", "0e999", "False", "false", "fAlSe", "\t0"})
        EXPECT_FALSE(parseBooleanText(t)) << t;
}

TEST(BooleanText, AnythingElseIsAnErrorQuotingTheStoredText) {
    for (const char* t : {"", "yes", "T", "0x1", "1 2", "nan", "inf", "1e", "- 1", "Truee"}) {
        try {
            parseBooleanText(t);
            ADD_FAILURE() << "no error for '" << t << "'";
        } catch (const SettingsError& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("'") + t + "' is not a valid boolean value");
        }
    }
}
