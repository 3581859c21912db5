#pragma once

#include <cstdint>

#include "base/Fault.h"
#include "image/RasterImage.h"

namespace vantrel {

// Decodes a TGA file, uncompressed or run-length coded: true colour (image
// types 2 and 10) of 16, 24 or 32 bits per pixel, grey (3 and 11) of 8 bits
// or 8 bits and an alpha byte, colour-mapped (1 and 9) with 8-bit indexes
// into a map of 15-, 16-, 24- or 32-bit entries. Alpha comes from 16- and
// 32-bit pixels and map entries, unless no alpha bits are declared and none
// is set. False, with the picture untouched, for other image types, empty
// pictures, data too short for the pixels, packets that run past the last
// pixel, and indexes outside the colour map. Then `why`, when given, names
// the check that refused: unsupported for the image types, depths and
// colour maps not read, too large for the picture limit, out of memory when
// the picture cannot be had, damaged for the rest.
bool decodeTga(RasterImage& picture, const std::uint8_t* data, std::uint32_t size,
               Fault* why = nullptr);

}  // namespace vantrel
