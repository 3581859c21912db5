#include "convert/OptionText.h"

#include <charconv>
#include <cmath>

namespace vantrel {

namespace {
std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}
}  // namespace

std::optional<std::int32_t> parseQuality(std::string_view text, std::string& message) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error == std::errc::invalid_argument || end != text.data() + text.size()) {
        message = kEnterInteger;
        return std::nullopt;
    }
    if (error == std::errc::result_out_of_range || value < 1 || value > 100) {
        message = kQualityRange;
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::optional<float> parseFrameRate(std::string_view text, std::string& message) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error == std::errc::invalid_argument || end != text.data() + text.size()) {
        message = kEnterNumber;
        return std::nullopt;
    }
    const auto rate = static_cast<float>(value);
    if (error == std::errc::result_out_of_range || !std::isfinite(value) || rate < kMinFrameRate ||
        rate > kMaxFrameRate) {
        message = kFrameRateRange;
        return std::nullopt;
    }
    return rate;
}

}  // namespace vantrel
