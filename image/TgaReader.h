#pragma once

#include <cstdint>

#include "image/RasterImage.h"

namespace vantrel {

// Decodes an uncompressed true-colour TGA file (image type 2) of 16, 24 or 32
// bits per pixel. False, with the picture untouched, for other image types
// (colour-mapped, grey, run-length), empty pictures and data too short for
// the pixels.
bool decodeTga(RasterImage& picture, const std::uint8_t* data, std::uint32_t size);

}  // namespace vantrel
