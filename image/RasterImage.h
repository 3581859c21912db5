#pragma once

#include <cstdint>
#include <vector>

namespace vantrel {

// A decoded picture: width x height pixels, top row first, no row padding.
// Each pixel is four bytes in memory order blue, green, red, alpha (read as
// a little-endian 32-bit value, 0xAARRGGBB); alpha 255 is opaque.
struct RasterImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;

    // Decoders call this first: the storage is kept when the size is
    // unchanged, so a sequence of equal-sized pictures reuses it.
    void resize(std::int32_t newWidth, std::int32_t newHeight) {
        if (newWidth == width && newHeight == height) return;
        width = newWidth;
        height = newHeight;
        pixels.resize(static_cast<std::size_t>(newWidth) * static_cast<std::size_t>(newHeight));
    }
};

}  // namespace vantrel
