#pragma once

#include <cstdint>

namespace vantrel {

enum class CompressionType : std::uint8_t { Jpeg = 0, Lossless = 1 };

// The conversion options, at their defaults until the user changes them.
struct ConvertSettings {
    CompressionType compression = CompressionType::Jpeg;
    bool includeAlpha = false;
    bool outputHtml = true;
    std::int32_t colorQuality = 90;  // JPEG quality, 1..100
    float frameRate = 15.0f;         // frames per second
};

}  // namespace vantrel
