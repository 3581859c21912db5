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

TEST(OptionText, Seconds) {
    std::string message;
    const std::pair<const char*, double> good[] = {
        {"0", 0.0}, {"2", 2.0}, {" 83.5 ", 83.5}, {"3600.04", 3600.04}};
    for (const auto& [text, seconds] : good) EXPECT_EQ(parseSeconds(text, message), seconds);
    const std::pair<const char*, std::string_view> bad[] = {
        {"-1", kSecondsRange},  {"-0.5", kSecondsRange}, {"inf", kSecondsRange},
        {"nan", kSecondsRange}, {"abc", kEnterNumber},   {"", kEnterNumber},
        {"2s", kEnterNumber},   {"1:30", kEnterNumber}};
    for (const auto& [text, words] : bad) {
        EXPECT_FALSE(parseSeconds(text, message)) << text;
        EXPECT_EQ(message, words) << text;
    }
}

TEST(OptionText, Box) {
    const char* form = "Please enter a width and height such as 640x360.";
    const char* range = "Please enter a width and height between 1 and 65535, such as 640x360.";
    const struct {
        const char* text;
        std::optional<PictureBox> box;
        const char* message;
    } cases[] = {
        {"640x360", PictureBox{640, 360}, ""},
        {"1X65535", PictureBox{1, 65535}, ""},
        {"0x5", std::nullopt, range},
        {"5x65536", std::nullopt, range},
        {"99999999999999999999x5", std::nullopt, range},
        {"640", std::nullopt, form},
        {"640x", std::nullopt, form},
        {"x360", std::nullopt, form},
        {"-1x5", std::nullopt, form},
        {"+640x360", std::nullopt, form},
        {" 640x360", std::nullopt, form},
        {"640x360x2", std::nullopt, form},
        {"6.5x4", std::nullopt, form},
        {"", std::nullopt, form},
    };
    for (const auto& c : cases) {
        std::string message;
        EXPECT_EQ(parseBox(c.text, message), c.box) << c.text;
        if (!c.box) {
            EXPECT_EQ(message, c.message) << c.text;
        }
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

// Target sizes count k, M and G in thousands, as file sizes on the web are
// counted, and Ki, Mi and Gi in powers of 1024.
TEST(OptionText, ByteSizes) {
    const std::string enter =
        "Please enter a size in bytes, such as 800000, 800k or 5M (k = 1000, Ki = 1024).";
    const std::string range =
        "Please enter a size between 1 byte and 4294967295 bytes (4G), the most a movie can hold.";
    const std::pair<const char*, std::uint64_t> sizes[] = {
        {"800000", 800000},  {"800k", 800000},
        {"800K", 800000},    {"5M", 5000000},
        {"1.5MB", 1500000},  {" 64KiB ", 65536},
        {"2Mi", 2097152},    {"0.29k", 290},
        {"4G", 4000000000u}, {"4294967295", 4294967295u},
    };
    for (const auto& [text, bytes] : sizes) {
        std::string message;
        EXPECT_EQ(parseByteSize(text, message), bytes) << text;
    }
    const std::pair<const char*, const std::string*> refused[] = {
        {"", &enter},   {"k", &enter},   {"5 M", &enter}, {"-5M", &enter},
        {"5T", &enter}, {"1e6", &enter}, {"5Mx", &enter}, {"1.2.3", &enter},
        {"0", &range},  {"0.4", &range}, {"4Gi", &range}, {"4294967296", &range},
    };
    for (const auto& [text, words] : refused) {
        std::string message;
        EXPECT_FALSE(parseByteSize(text, message)) << text;
        EXPECT_EQ(message, *words) << text;
    }
}

// The fields of More options: each value, or the message of its refusal.
TEST(OptionText, FittingOptions) {
    const std::string integer = "Please enter an integer.", number = "Please enter a number.";
    const std::string side = "Please enter an integer between 1 and 65535.";
    const std::string kb = "Please enter a number between 1 and 4294000.";
    const std::string mb = "Please enter a number between 0.001 and 4294.";
    const std::string seconds = "Please enter a number of seconds, 0 or more.";
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
