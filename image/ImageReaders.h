#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Fault.h"
#include "base/FaultPlace.h"
#include "base/Formats.h"
#include "image/BmpReader.h"
#include "image/JpegCodec.h"
#include "image/PngReader.h"
#include "image/RasterImage.h"
#include "image/TgaReader.h"

namespace vantrel {

// The picture readers: decodeBmp, decodeTga, decodeJpeg and decodePng each
// fill a caller-owned RasterImage from a whole file in memory and return
// false for anything they cannot decode safely and completely. Given a
// Fault, a false result also says why: step DecodePicture, the code, and in
// `detail` the words of the check or library that refused; they know no
// file, and name none. A true result leaves the fault alone, and may add
// warnings of what was left out of the picture (decodePng's dropped chunks)
// when a list is given.

// Decodes with the reader of a picture format (BMP data is a whole file,
// with its file header). PictureReader::None is refused at step
// ChooseReader. The fault and the warnings name `place`, the file the data
// was read from.
bool decodePicture(PictureReader reader, RasterImage& picture, const std::uint8_t* data,
                   std::uint32_t size, Fault* why = nullptr, std::vector<Fault>* warnings = nullptr,
                   const FaultPlace& place = {});

// Pixels are written as 32-bit values whose memory order must be blue,
// green, red, alpha.
static_assert(std::endian::native == std::endian::little);

inline constexpr std::uint32_t packPixel(std::uint32_t blue, std::uint32_t green, std::uint32_t red,
                                         std::uint32_t alpha) {
    return blue | green << 8 | red << 16 | alpha << 24;
}

// Fills `why`, when given, with a refusal of the reader: step
// DecodePicture, `code` and `detail`. Returns false, so that each refusal
// is one line: `return refusePicture(why, FaultCode::Damaged, "...");`.
bool refusePicture(Fault* why, FaultCode code, std::string detail);

// The refusal of a size outside fitsPictureLimit: too large, or damaged for
// a side of zero or less.
bool refusePictureSize(Fault* why, std::int64_t width, std::int64_t height);

// Applies the reuse rule (storage kept when the size is unchanged) after
// checking it with fitsPictureLimit: false, with the picture untouched, for
// a size outside the limit; false, with the picture left
// empty, when the memory cannot be had. `why` tells the two apart.
bool preparePicture(RasterImage& picture, std::int64_t width, std::int64_t height,
                    Fault* why = nullptr);

}  // namespace vantrel
