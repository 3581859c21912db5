#include "convert/OptionText.h"

#include <charconv>
#include <cmath>

#include "swf/FrameComposer.h"

namespace vantrel {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Parses the number at the start of `text` after white space and an
// optional sign. Nothing when no number starts there, or when `rule` wants
// the whole text and something other than white space follows it.
// std::from_chars, unlike scanf, ignores the locale: a Qt program sets
// LC_NUMERIC from the environment, and "12.5" must not read as 12 there.
template <typename Number>
std::optional<Number> leadingNumber(std::string_view text, NumberText rule, bool& outOfRange) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    while (first != last && isSpace(*first)) ++first;
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    // A second sign ("+-5") is no number, as with scanf.
    if (first == last || *first == '+' || *first == '-') return std::nullopt;
    Number value{};
    const auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc::invalid_argument) return std::nullopt;
    if (rule == NumberText::Whole) {
        for (const char* rest = end; rest != last; ++rest) {
            if (!isSpace(*rest)) return std::nullopt;
        }
    }
    outOfRange = error == std::errc::result_out_of_range;
    return negative ? -value : value;
}

}  // namespace

std::optional<std::int32_t> parseQuality(std::string_view text, std::string& message,
                                         NumberText rule) {
    bool outOfRange = false;
    const std::optional<std::int64_t> value = leadingNumber<std::int64_t>(text, rule, outOfRange);
    if (!value) {
        message = kEnterInteger;
        return std::nullopt;
    }
    if (outOfRange || *value < 1 || *value > 100) {
        message = kQualityRange;
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

std::optional<float> parseFrameRate(std::string_view text, std::string& message, NumberText rule) {
    bool outOfRange = false;
    const std::optional<double> value = leadingNumber<double>(text, rule, outOfRange);
    if (!value) {
        message = kEnterNumber;
        return std::nullopt;
    }
    const auto rate = static_cast<float>(*value);
    if (outOfRange || !std::isfinite(*value) || rate < kMinFrameRate || rate > kMaxFrameRate) {
        message = kFrameRateRange;
        return std::nullopt;
    }
    return rate;
}

std::optional<std::int32_t> parseStageSide(std::string_view text, std::string& message,
                                           NumberText rule) {
    bool outOfRange = false;
    const std::optional<std::int64_t> value = leadingNumber<std::int64_t>(text, rule, outOfRange);
    if (!value) {
        message = kEnterInteger;
        return std::nullopt;
    }
    if (outOfRange || *value < 1 || *value > kMaxPictureSide) {
        message = kStageSideRange;
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

std::optional<std::uint64_t> parseTargetSize(std::string_view text, SizeUnit unit,
                                             std::string& message, NumberText rule) {
    bool outOfRange = false;
    const std::optional<double> value = leadingNumber<double>(text, rule, outOfRange);
    if (!value) {
        message = kEnterNumber;
        return std::nullopt;
    }
    const double unitBytes = unit == SizeUnit::Kilobytes ? 1e3 : 1e6;
    const double bytes = std::round(*value * unitBytes);
    if (outOfRange || !std::isfinite(bytes) || bytes < double(kMinTargetBytes) ||
        bytes > double(kMaxTargetBytes)) {
        message = unit == SizeUnit::Kilobytes ? kTargetKilobytesRange : kTargetMegabytesRange;
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(bytes);
}

std::optional<double> parseSeconds(std::string_view text, std::string& message, NumberText rule) {
    bool outOfRange = false;
    const std::optional<double> value = leadingNumber<double>(text, rule, outOfRange);
    if (!value) {
        message = kEnterNumber;
        return std::nullopt;
    }
    if (outOfRange || !std::isfinite(*value) || *value < 0) {
        message = kSecondsRange;
        return std::nullopt;
    }
    return *value;
}

}  // namespace vantrel
