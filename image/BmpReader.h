#pragma once

#include <cstdint>

#include "base/Fault.h"
#include "image/RasterImage.h"

namespace vantrel {

// Decodes a Windows or OS/2 bitmap. With hasFileHeader the data is a whole
// ".bmp" file (14-byte "BM" header first, pixels at the offset it names);
// without, it is an in-memory bitmap: an info header, its masks and palette,
// then the pixel rows. Uncompressed at 1, 4, 8, 16, 24 and 32 bits per
// pixel, bottom-up and top-down rows; run-length coded at 8 bits (RLE8) and
// 4 bits (RLE4), where pixels the codes skip (end of line, delta, early end
// of bitmap) take palette entry 0. Info headers of 12, 40, 52, 56, 108 and
// 124 bytes. False, with the picture untouched, for other compressions
// (embedded JPEG or PNG), inconsistent headers, data too short for the
// rows, run-length codes that reach outside the picture or stop short, and
// run-length pictures of more than 255 pixels per byte of the data. Then
// `why`, when given, names the check that refused: unsupported for the
// compressions, bit depths and header sizes not read, too large for the
// picture limit and the 255-pixel rule, out of memory when the picture
// cannot be had, damaged for the rest.
bool decodeBmp(RasterImage& picture, const std::uint8_t* data, std::uint32_t size,
               bool hasFileHeader, Fault* why = nullptr);

}  // namespace vantrel
