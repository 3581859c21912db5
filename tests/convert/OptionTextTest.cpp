#include <gtest/gtest.h>

#include "convert/OptionText.h"

namespace vantrel {
namespace {

TEST(OptionText, Quality) {
    std::string message;
    EXPECT_EQ(parseQuality("1", message), 1);
    EXPECT_EQ(parseQuality(" 100 ", message), 100);
    for (const char* bad : {"0", "101", "-5", "99999999999999999999"}) {
        EXPECT_FALSE(parseQuality(bad, message)) << bad;
        EXPECT_EQ(message, "Please enter an integer between 1 and 100.") << bad;
    }
    for (const char* bad : {"abc", "", "50abc", "5.5"}) {
        EXPECT_FALSE(parseQuality(bad, message)) << bad;
        EXPECT_EQ(message, "Please enter an integer.") << bad;
    }
}

TEST(OptionText, FrameRate) {
    std::string message;
    EXPECT_EQ(parseFrameRate("15", message), 15.0f);
    EXPECT_EQ(parseFrameRate("29.97", message), 29.97f);
    EXPECT_EQ(parseFrameRate("0.01", message), 0.01f);
    EXPECT_EQ(parseFrameRate("255", message), 255.0f);
    for (const char* bad : {"0", "-5", "255.5", "256", "0.001", "1e9", "inf", "nan"}) {
        EXPECT_FALSE(parseFrameRate(bad, message)) << bad;
        EXPECT_EQ(message, "Please enter a number between 0.01 and 255.") << bad;
    }
    for (const char* bad : {"abc", "", "12fps"}) {
        EXPECT_FALSE(parseFrameRate(bad, message)) << bad;
        EXPECT_EQ(message, "Please enter a number.") << bad;
    }
}

}  // namespace
}  // namespace vantrel
