#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "image/RasterImage.h"

namespace vantrel::fuzz {

// The readers take 32-bit lengths, as files of 4 GiB or more never reach them.
inline std::uint32_t clampedLength(std::size_t size) {
    return size > std::numeric_limits<std::uint32_t>::max()
               ? std::numeric_limits<std::uint32_t>::max()
               : static_cast<std::uint32_t>(size);
}

// A tiny JPEG header may announce a picture of tens of millions of pixels;
// decoding it is the reader's test, encoding it again only costs time.
inline bool smallEnoughToEncode(const RasterImage& picture) {
    return static_cast<std::int64_t>(picture.width) * picture.height <= 1 << 20;
}

}  // namespace vantrel::fuzz
