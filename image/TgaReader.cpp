#include "image/TgaReader.h"

#include <algorithm>
#include <cstring>

#include "image/ImageReaders.h"
#include "image/MemoryByteSource.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kHeaderSize = 18;
constexpr std::uint8_t kUncompressedTrueColour = 2;
constexpr std::uint8_t kTopToBottom = 0x20;
constexpr std::uint8_t kRightToLeft = 0x10;
constexpr std::uint8_t kAlphaBits = 0x0F;

std::uint32_t widen5(std::uint32_t c) { return (c * 8) | (c / 4); }

}  // namespace

bool decodeTga(RasterImage& picture, const std::uint8_t* data, std::uint32_t size) {
    if (data == nullptr || size == 0) return false;
    MemoryByteSource source(data, size);
    const std::uint8_t* header = source.take(kHeaderSize);
    if (header == nullptr) return false;

    const std::uint8_t idLength = header[0];
    const std::uint8_t colourMapType = header[1];
    const std::uint8_t imageType = header[2];
    const std::uint16_t colourMapLength = loadU16(header + 5);
    const std::uint8_t colourMapEntryBits = header[7];
    const std::uint16_t width = loadU16(header + 12);
    const std::uint16_t height = loadU16(header + 14);
    const std::uint8_t depth = header[16];
    const std::uint8_t descriptor = header[17];

    if (imageType != kUncompressedTrueColour) return false;
    if (colourMapType > 1) return false;  // unknown layout: the pixels cannot be found
    if (depth != 16 && depth != 24 && depth != 32) return false;
    if (!fitsPictureLimit(width, height)) return false;

    if (source.take(idLength) == nullptr) return false;
    if (colourMapType == 1 &&
        source.take(std::uint64_t{colourMapLength} * ((colourMapEntryBits + 7u) / 8u)) == nullptr)
        return false;
    const std::uint32_t pixelBytes = depth / 8u;
    const std::size_t rowLength = width;
    const std::uint8_t* pixels = source.take(std::uint64_t{pixelBytes} * width * height);
    if (pixels == nullptr) return false;

    if (!preparePicture(picture, width, height)) return false;

    const bool topDown = (descriptor & kTopToBottom) != 0;
    std::uint32_t alphaSeen = 0;
    for (std::size_t row = 0; row < height; ++row) {
        const std::uint8_t* in = pixels + row * rowLength * pixelBytes;
        std::uint32_t* out = picture.pixels.data() + (topDown ? row : height - 1 - row) * rowLength;
        switch (depth) {
            case 16:
                for (std::size_t x = 0; x < rowLength; ++x, in += 2) {
                    const std::uint32_t p = loadU16(in);
                    alphaSeen |= p & 0x8000;
                    out[x] = packPixel(widen5(p & 31), widen5((p >> 5) & 31),
                                       widen5((p >> 10) & 31), (p & 0x8000) != 0 ? 255 : 0);
                }
                break;
            case 24:
                for (std::size_t x = 0; x < rowLength; ++x, in += 3)
                    out[x] = packPixel(in[0], in[1], in[2], 255);
                break;
            case 32:
                std::memcpy(out, in, rowLength * 4);
                for (std::size_t x = 0; x < rowLength; ++x) alphaSeen |= out[x] >> 24;
                break;
        }
        if ((descriptor & kRightToLeft) != 0) std::reverse(out, out + rowLength);
    }
    // A file that declares no alpha bits and has none set uses them as
    // padding: the picture is opaque, not invisible.
    if (depth != 24 && (descriptor & kAlphaBits) == 0 && alphaSeen == 0)
        for (auto& p : picture.pixels) p |= 0xFF000000u;
    return true;
}

}  // namespace vantrel
