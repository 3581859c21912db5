#pragma once

#include <cstdint>

#include "image/RasterImage.h"

namespace vantrel {

// Decodes an uncompressed Windows or OS/2 bitmap. With hasFileHeader the data
// is a whole ".bmp" file (14-byte "BM" header first, pixels at the offset it
// names); without, it is an in-memory bitmap: an info header, its masks and
// palette, then the pixel rows. 1, 4, 8, 16, 24 and 32 bits per pixel, info
// headers of 12, 40, 52, 56, 108 and 124 bytes, bottom-up and top-down rows.
// False, with the picture untouched, for run-length and other compressed
// files, inconsistent headers and data too short for the rows.
bool decodeBmp(RasterImage& picture, const std::uint8_t* data, std::uint32_t size,
               bool hasFileHeader);

}  // namespace vantrel
