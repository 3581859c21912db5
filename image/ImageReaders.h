#pragma once

#include <bit>
#include <cstdint>

#include "image/BmpReader.h"
#include "image/JpegCodec.h"
#include "image/PngReader.h"
#include "image/RasterImage.h"
#include "image/TgaReader.h"

namespace vantrel {

// The picture readers: decodeBmp, decodeTga, decodeJpeg and decodePng each
// fill a caller-owned RasterImage from a whole file in memory and return
// false for anything they cannot decode safely and completely.

// Largest picture the readers accept (8192 x 8192 pixels, 256 MiB decoded):
// far above what a Flash player displays, and it bounds what a small hostile
// header can make a reader allocate.
inline constexpr std::uint64_t kMaxPicturePixels = std::uint64_t{1} << 26;

// True when a picture of width x height pixels may be decoded: both sides
// above 0 and at most kMaxPicturePixels pixels in all.
inline constexpr bool fitsPictureLimit(std::int64_t width, std::int64_t height) {
    const auto w = static_cast<std::uint64_t>(width);
    const auto h = static_cast<std::uint64_t>(height);
    return width > 0 && height > 0 && w <= kMaxPicturePixels && h <= kMaxPicturePixels &&
           w * h <= kMaxPicturePixels;
}

// Pixels are written as 32-bit values whose memory order must be blue,
// green, red, alpha.
static_assert(std::endian::native == std::endian::little);

inline constexpr std::uint32_t packPixel(std::uint32_t blue, std::uint32_t green, std::uint32_t red,
                                         std::uint32_t alpha) {
    return blue | green << 8 | red << 16 | alpha << 24;
}

// Applies the reuse rule (storage kept when the size is unchanged) after
// checking it with fitsPictureLimit: false, with the picture untouched, for
// a size outside the limit; false, with the picture left
// empty, when the memory cannot be had.
bool preparePicture(RasterImage& picture, std::int64_t width, std::int64_t height);

}  // namespace vantrel
