#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// The texts with which the Convert options refuse a value.
inline constexpr std::string_view kEnterInteger = "Please enter an integer.";
inline constexpr std::string_view kEnterNumber = "Please enter a number.";
inline constexpr std::string_view kQualityRange = "Please enter an integer between 1 and 100.";
inline constexpr std::string_view kFrameRateRange = "Please enter a number between 0.01 and 255.";
inline constexpr std::string_view kStageSideRange = "Please enter an integer between 1 and 65535.";
inline constexpr std::string_view kTargetKilobytesRange =
    "Please enter a number between 1 and 4294000.";
inline constexpr std::string_view kTargetMegabytesRange =
    "Please enter a number between 0.001 and 4294.";
inline constexpr std::string_view kSecondsRange = "Please enter a number of 0 or more.";
inline constexpr std::string_view kEndAfterStart = "Please enter an end after the start.";

inline constexpr float kMinFrameRate = 0.01f;
inline constexpr float kMaxFrameRate = 255.0f;
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

// One side of the largest stage: an integer from 1 to 65535 pixels.
std::optional<std::int32_t> parseStageSide(std::string_view text, std::string& message,
                                           NumberText rule = NumberText::Whole);

enum class SizeUnit { Kilobytes, Megabytes };

// A target movie size in `unit`, in bytes: from kMinTargetBytes to
// kMaxTargetBytes, with the range in the unit's words otherwise.
std::optional<std::uint64_t> parseTargetSize(std::string_view text, SizeUnit unit,
                                             std::string& message,
                                             NumberText rule = NumberText::Whole);

// A time in a video: a number of seconds, 0 or more.
std::optional<double> parseSeconds(std::string_view text, std::string& message,
                                   NumberText rule = NumberText::Whole);

}  // namespace vantrel
