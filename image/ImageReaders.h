#pragma once

#include <bit>
#include <cstdint>

#include "base/Fault.h"
#include "base/Formats.h"
#include "image/BmpReader.h"
#include "image/JpegCodec.h"
#include "image/PngReader.h"
#include "image/RasterImage.h"
#include "image/TgaReader.h"

namespace vantrel {

// The picture readers: decodeBmp, decodeTga, decodeJpeg and decodePng each
// fill a caller-owned RasterImage from a whole file in memory and return
// false for anything they cannot decode safely and completely.

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

// Decodes a whole picture file with the given reader.
bool decodePicture(PictureReader reader, RasterImage& picture, const std::uint8_t* data,
                   std::uint32_t size, Fault* why = nullptr);

}  // namespace vantrel
