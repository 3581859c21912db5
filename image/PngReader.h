#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Fault.h"
#include "image/RasterImage.h"

namespace vantrel {

// Decodes a whole PNG file with libspng: every colour type and bit depth,
// interlaced or not. Palette and grey or colour keys bring their
// transparency (tRNS) into alpha; files without either are opaque. 16-bit
// samples are rounded to 8 bits. Gamma, chromaticities and colour profiles
// are not applied: the stored samples are the colours. An ancillary chunk
// (text, time, gamma, ...) with a bad checksum is left out, and `warnings`,
// when given, gains a ChunkDropped fault (step DropChunk, naming no file:
// decodePicture names it). False for damaged files (a bad checksum in a critical chunk,
// data cut short before the image trailer), pictures over the readers'
// limit, and compressed data too short
// to hold the picture it announces, the last two before anything large is
// allocated. A false result may leave the picture resized with some of the
// pixels decoded. Then `why`, when given, holds libspng's own words for its
// error (spng_strerror), sorted into too large (the size limits),
// unsupported (bit depths, colour types and methods it does not know,
// unknown critical chunks), out of memory, or damaged (checksums, cut
// data, chunks, compressed data); or the words of the reader's own checks.
bool decodePng(RasterImage& picture, const std::uint8_t* data, std::size_t size,
               Fault* why = nullptr, std::vector<Fault>* warnings = nullptr);

}  // namespace vantrel
