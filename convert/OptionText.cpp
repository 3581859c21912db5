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

// The factor a size's unit stands for: 1 for none, 0 for a unit not known.
std::uint64_t unitFactor(std::string_view unit) {
    if (!unit.empty() && (unit.back() == 'B' || unit.back() == 'b')) unit.remove_suffix(1);
    if (unit.empty()) return 1;
    const bool binary = unit.size() == 2 && unit[1] == 'i';
    if (unit.size() != (binary ? 2u : 1u)) return 0;
    const std::uint64_t base = binary ? 1024 : 1000;
    switch (unit[0]) {
        case 'k':
        case 'K': return base;
        case 'm':
        case 'M': return base * base;
        case 'g':
        case 'G': return base * base * base;
        default: return 0;
    }
}

// An integer from 1 to `highest`, or nothing with the message: the words
// for a number that is none, else `range`.
std::optional<std::int32_t> integerFrom(std::string_view text, std::string& message,
                                        NumberText rule, std::int64_t highest,
                                        std::string_view range) {
    bool outOfRange = false;
    const std::optional<std::int64_t> value = leadingNumber<std::int64_t>(text, rule, outOfRange);
    if (!value) {
        message = kEnterInteger;
        return std::nullopt;
    }
    if (outOfRange || *value < 1 || *value > highest) {
        message = range;
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

}  // namespace

std::optional<std::int32_t> parseQuality(std::string_view text, std::string& message,
                                         NumberText rule) {
    return integerFrom(text, message, rule, 100, kQualityRange);
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
    return integerFrom(text, message, rule, kMaxPictureSide, kStageSideRange);
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
    if (outOfRange || !std::isfinite(*value) || *value < 0.0) {
        message = kSecondsRange;
        return std::nullopt;
    }
    return *value;
}

std::optional<PictureBox> parseBox(std::string_view text, std::string& message) {
    // A side's digits, as a number; nothing when they are none or not all
    // digits, and more than the largest side when too many.
    const auto side = [](std::string_view digits) -> std::optional<std::int64_t> {
        if (digits.empty()) return std::nullopt;
        for (const char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
        }
        std::int64_t value = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return error == std::errc::result_out_of_range ? std::int64_t{kMaxBoxSide} + 1 : value;
    };
    const std::size_t cross = text.find_first_of("xX");
    const std::optional<std::int64_t> width =
        cross == std::string_view::npos ? std::nullopt : side(text.substr(0, cross));
    const std::optional<std::int64_t> height = width ? side(text.substr(cross + 1)) : std::nullopt;
    if (!height) {
        message = kEnterBox;
        return std::nullopt;
    }
    if (*width < 1 || *width > kMaxBoxSide || *height < 1 || *height > kMaxBoxSide) {
        message = kBoxRange;
        return std::nullopt;
    }
    return PictureBox{static_cast<std::int32_t>(*width), static_cast<std::int32_t>(*height)};
}

std::optional<std::uint64_t> parseByteSize(std::string_view text, std::string& message) {
    message = kEnterByteSize;
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    // Digits and a point only: no sign, no exponent, no "inf".
    const std::size_t unit = text.find_first_not_of("0123456789.");
    const std::string_view number = text.substr(0, unit);
    const std::uint64_t factor =
        unitFactor(unit == std::string_view::npos ? "" : text.substr(unit));
    double value = 0.0;
    if (number.empty() || factor == 0 ||
        std::from_chars(number.data(), number.data() + number.size(), value).ptr !=
            number.data() + number.size()) {
        return std::nullopt;
    }
    const double bytes = std::round(value * static_cast<double>(factor));
    if (!(bytes >= 1.0 && bytes <= 4294967295.0)) {
        message = kByteSizeRange;
        return std::nullopt;
    }
    message.clear();
    return static_cast<std::uint64_t>(bytes);
}

}  // namespace vantrel
