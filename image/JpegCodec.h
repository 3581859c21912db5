#pragma once

#include <cstdint>
#include <vector>

#include "base/Fault.h"
#include "image/RasterImage.h"

namespace vantrel {

// Decodes a whole JPEG file into the picture (blue, green, red, alpha; alpha
// 255 for one- and three-component files). False for empty, damaged or
// unsupported data; then `why`, when given, holds libjpeg's own message,
// sorted into out of memory, too large, unsupported (precisions, processes
// and conversions the library does not do) or damaged, or the words of the
// reader's own checks: the picture limit and colour spaces it does not read.
bool decodeJpeg(RasterImage& picture, const std::uint8_t* data, std::uint32_t size,
                Fault* why = nullptr);

// Encodes pictures as baseline YCbCr 4:2:0 JPEG streams at `quality` (1..100).
struct JpegEncoder {
    std::int32_t quality = 90;

    // On true, `out` holds exactly one complete JPEG stream (FF D8 ... FF D9).
    bool encode(const RasterImage& picture, std::vector<std::uint8_t>& out) const;
};

}  // namespace vantrel
