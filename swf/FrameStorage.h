#pragma once

#include <cstdint>

namespace vantrel {

enum class CompressionType : std::uint8_t { Jpeg = 0, Lossless = 1 };

// How the frame composer stores each picture.
struct FrameStorage {
    CompressionType compression = CompressionType::Jpeg;
    bool includeAlpha = false;
    std::int32_t colorQuality = 90;  // JPEG quality, 1..100
};

}  // namespace vantrel
