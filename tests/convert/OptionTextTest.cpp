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

// The dialog reads the number at the start of a field, as scanf does, and
// ignores what follows; the ranges and texts are the command line's.
TEST(OptionText, LeadingNumbersForTheDialog) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> quality;
        const char* qualityMessage;
        std::optional<float> rate;
        const char* rateMessage;
    };
    const char* integer = "Please enter an integer.";
    const char* number = "Please enter a number.";
    const char* qualityRange = "Please enter an integer between 1 and 100.";
    const char* rateRange = "Please enter a number between 0.01 and 255.";
    const Case cases[] = {
        {"50abc", 50, "", 50.0f, ""},
        {" 7", 7, "", 7.0f, ""},
        {"\t+12.5fps", 12, "", 12.5f, ""},
        {"1e2", 1, "", 100.0f, ""},
        {".5", std::nullopt, integer, 0.5f, ""},
        {"abc", std::nullopt, integer, std::nullopt, number},
        {"", std::nullopt, integer, std::nullopt, number},
        {"+-5", std::nullopt, integer, std::nullopt, number},
        {"0", std::nullopt, qualityRange, std::nullopt, rateRange},
        {"101x", std::nullopt, qualityRange, 101.0f, ""},
        {"-5", std::nullopt, qualityRange, std::nullopt, rateRange},
        {"256", std::nullopt, qualityRange, std::nullopt, rateRange},
        {"99999999999999999999", std::nullopt, qualityRange, std::nullopt, rateRange},
        {"infinity", std::nullopt, integer, std::nullopt, rateRange},
    };
    for (const Case& c : cases) {
        std::string message;
        EXPECT_EQ(parseQuality(c.text, message, NumberText::Leading), c.quality) << c.text;
        if (!c.quality) {
            EXPECT_EQ(message, c.qualityMessage) << c.text;
        }
        message.clear();
        EXPECT_EQ(parseFrameRate(c.text, message, NumberText::Leading), c.rate) << c.text;
        if (!c.rate) {
            EXPECT_EQ(message, c.rateMessage) << c.text;
        }
    }
}

// The fields of More options: each value, or the message of its refusal.
TEST(OptionText, FittingOptions) {
    const std::string integer = "Please enter an integer.", number = "Please enter a number.";
    const std::string side = "Please enter an integer between 1 and 65535.";
    const std::string kb = "Please enter a number between 1 and 4294000.";
    const std::string mb = "Please enter a number between 0.001 and 4294.";
    const std::string seconds = "Please enter a number of 0 or more.";
    struct Case {
        const char* text;
        std::string side, kilobytes, megabytes, seconds;
    };
    const Case cases[] = {
        {"1", "1", "1000", "1000000", "1.000000"},
        {"65535", "65535", "65535000", mb, "65535.000000"},
        {"0", side, kb, mb, "0.000000"},
        {"0.001", integer, kb, "1000", "0.001000"},
        {"4294001", side, kb, mb, "4294001.000000"},
        {"-1", side, kb, mb, seconds},
        {"1e400", integer, kb, mb, seconds},
        {"abc", integer, number, number, number},
    };
    for (const Case& c : cases) {
        std::string message;
        const auto shown = [&](auto value) { return value ? std::to_string(*value) : message; };
        EXPECT_EQ(shown(parseStageSide(c.text, message)), c.side) << c.text;
        EXPECT_EQ(shown(parseTargetSize(c.text, SizeUnit::Kilobytes, message)), c.kilobytes);
        EXPECT_EQ(shown(parseTargetSize(c.text, SizeUnit::Megabytes, message)), c.megabytes);
        EXPECT_EQ(shown(parseSeconds(c.text, message)), c.seconds) << c.text;
    }
}

}  // namespace
}  // namespace vantrel
