#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "image/PictureScaler.h"

namespace vantrel {

// The texts with which the Convert options refuse a value.
inline constexpr std::string_view kEnterInteger = "Please enter an integer.";
inline constexpr std::string_view kEnterNumber = "Please enter a number.";
inline constexpr std::string_view kQualityRange = "Please enter an integer between 1 and 100.";
inline constexpr std::string_view kFrameRateRange = "Please enter a number between 0.01 and 255.";
inline constexpr std::string_view kSecondsRange = "Please enter a number of seconds, 0 or more.";
inline constexpr std::string_view kEnterBox = "Please enter a width and height such as 640x360.";
inline constexpr std::string_view kBoxRange =
    "Please enter a width and height between 1 and 65535, such as 640x360.";
inline constexpr std::string_view kEnterByteSize =
    "Please enter a size in bytes, such as 800000, 800k or 5M (k = 1000, Ki = 1024).";
inline constexpr std::string_view kByteSizeRange =
    "Please enter a size between 1 byte and 4294967295 bytes (4G), the most a movie can hold.";
inline constexpr std::string_view kStageSideRange = "Please enter an integer between 1 and 65535.";
inline constexpr std::string_view kTargetKilobytesRange =
    "Please enter a number between 1 and 4294000.";
inline constexpr std::string_view kTargetMegabytesRange =
    "Please enter a number between 0.001 and 4294.";
inline constexpr std::string_view kEndAfterStart = "Please enter an end after the start.";

inline constexpr float kMinFrameRate = 0.01f;
inline constexpr float kMaxFrameRate = 255.0f;
inline constexpr std::int32_t kMaxBoxSide = 65535;
// A target size is at least a kilobyte and leaves a movie's 32-bit length
// field room; a kilobyte is 1000 bytes, a megabyte 1000000, as FFmpeg counts.
inline constexpr std::uint64_t kMinTargetBytes = 1000;
inline constexpr std::uint64_t kMaxTargetBytes = 4294000000;

// How much of a field's text must be the number. The command line wants the
// whole text, so a typo in a script is caught; the Convert dialog takes the
// number at the start and ignores what follows ("50abc" is 50), as it
// always has.
enum class NumberText { Whole, Leading };

// A JPEG quality: an integer from 1 to 100. Otherwise nothing, and
// `message` says which rule the text broke.
std::optional<std::int32_t> parseQuality(std::string_view text, std::string& message,
                                         NumberText rule = NumberText::Whole);

// A frame rate: a number from 0.01 to 255 (a movie header cannot store
// others). Otherwise nothing, with the message.
std::optional<float> parseFrameRate(std::string_view text, std::string& message,
                                    NumberText rule = NumberText::Whole);

// A time into a source, in seconds: a number, 0 or more, decimals allowed.
// Otherwise nothing, with the message.
std::optional<double> parseSeconds(std::string_view text, std::string& message,
                                   NumberText rule = NumberText::Whole);

// A box to fit pictures into: WxH (or WXH), each a whole number from 1 to
// 65535 in decimal digits, nothing else. Otherwise nothing, with the
// message.
std::optional<PictureBox> parseBox(std::string_view text, std::string& message);

// A file size in bytes: a number, whole or with a fraction, optionally
// followed by k, M or G (thousands, millions, billions of bytes, as file
// sizes on the web are counted) or Ki, Mi, Gi (powers of 1024), and an
// optional B: "800k", "5M", "1.5MB", "64KiB", rounded to whole bytes.
// From 1 to 4294967295, the most a movie file can hold; otherwise nothing,
// with the message.
std::optional<std::uint64_t> parseByteSize(std::string_view text, std::string& message);

// One side of the largest stage: an integer from 1 to 65535 pixels.
std::optional<std::int32_t> parseStageSide(std::string_view text, std::string& message,
                                           NumberText rule = NumberText::Whole);

enum class SizeUnit { Kilobytes, Megabytes };

// A target movie size in `unit`, in bytes: from kMinTargetBytes to
// kMaxTargetBytes, with the range in the unit's words otherwise.
std::optional<std::uint64_t> parseTargetSize(std::string_view text, SizeUnit unit,
                                             std::string& message,
                                             NumberText rule = NumberText::Whole);

}  // namespace vantrel
