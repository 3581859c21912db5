#include "image/PngReader.h"

#include <spng.h>

#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/ImageReaders.h"

namespace vantrel {
namespace {

struct ContextRelease {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using Context = std::unique_ptr<spng_ctx, ContextRelease>;

// Ancillary chunks are never used; the limits only keep a hostile file from
// making the library hold on to much memory for them (text decompresses).
constexpr std::size_t kMaxChunkBytes = std::size_t{1} << 24;
constexpr std::size_t kMaxChunkCacheBytes = std::size_t{1} << 26;

// Deflate turns one byte into at most about 1032, so data shorter than the
// announced samples / 1032 cannot hold them: a few bytes of header must not
// make the decoder allocate rows for millions of pixels.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// Where each of the seven interlace passes puts its first pixel of a row,
// and how far apart its pixels are.
constexpr std::array<std::uint32_t, 7> kPassStart{0, 4, 0, 2, 0, 1, 0};
constexpr std::array<std::uint32_t, 7> kPassStep{8, 8, 4, 4, 2, 2, 1};

unsigned channelsOf(std::uint8_t colourType) {
    switch (colourType) {
        case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
            return 2;
        case SPNG_COLOR_TYPE_TRUECOLOR:
            return 3;
        case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA:
            return 4;
        default:
            return 1;
    }
}

// v / 257, rounded: the nearest 8-bit level.
std::uint32_t narrow(std::uint16_t v) { return (v * 255u + 32767u) / 65535u; }

// Red, green, blue, alpha bytes to pixels; whole rows, in a loop the
// compiler vectorizes.
void swapRedAndBlue(const std::uint8_t* in, std::uint32_t* out, std::size_t count) {
    for (std::size_t x = 0; x < count; ++x) {
        std::uint32_t v = 0;
        std::memcpy(&v, in + 4 * x, 4);
        out[x] = (v & 0xFF00FF00u) | (v >> 16 & 0xFFu) | (v & 0xFFu) << 16;
    }
}

bool configure(spng_ctx* context, const std::uint8_t* data, std::size_t size) {
    return spng_set_image_limits(context, kMaxPicturePixels, kMaxPicturePixels) == 0 &&
           spng_set_chunk_limits(context, kMaxChunkBytes, kMaxChunkCacheBytes) == 0 &&
           spng_set_crc_action(context, SPNG_CRC_ERROR, SPNG_CRC_ERROR) == 0 &&
           spng_set_png_buffer(context, data, size) == 0;
}

}  // namespace

bool decodePng(RasterImage& picture, const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size == 0) return false;
    const Context owner(spng_ctx_new(0));
    spng_ctx* context = owner.get();
    if (context == nullptr || !configure(context, data, size)) return false;

    spng_ihdr header{};
    if (spng_get_ihdr(context, &header) != 0) return false;
    if (!fitsPictureLimit(header.width, header.height)) return false;
    const std::uint64_t sampleBytes = std::uint64_t{header.width} * header.height *
                                      channelsOf(header.color_type) * header.bit_depth / 8;
    if (sampleBytes / kMaxDeflateRatio > size) return false;

    const bool wide = header.bit_depth == 16;
    const int format = wide ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
    std::size_t imageBytes = 0;
    if (spng_decoded_image_size(context, format, &imageBytes) != 0) return false;
    if (spng_decode_image(context, nullptr, 0, format,
                          SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE) != 0)
        return false;

    // One row of red, green, blue, alpha samples at a time, in 16-bit units
    // so that wide samples are read as what they are.
    const std::size_t rowBytes = imageBytes / header.height;
    std::vector<std::uint16_t> row;
    try {
        row.resize(rowBytes / 2);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!preparePicture(picture, header.width, header.height)) return false;

    const auto* bytes = reinterpret_cast<const std::uint8_t*>(row.data());
    const bool interlaced = header.interlace_method != SPNG_INTERLACE_NONE;
    int status = 0;
    do {
        spng_row_info where{};
        if (spng_get_row_info(context, &where) != 0 || where.row_num >= header.height) return false;
        status = spng_decode_scanline(context, row.data(), rowBytes);
        if (status != 0 && status != SPNG_EOI) return false;
        const auto pass = static_cast<std::size_t>(interlaced ? where.pass : 6);
        const std::uint32_t step = kPassStep[pass];
        std::uint32_t* out = picture.pixels.data() + std::size_t{where.row_num} * header.width;
        std::size_t i = 0;
        if (wide) {
            for (std::uint32_t x = kPassStart[pass]; x < header.width; x += step, i += 4)
                out[x] = packPixel(narrow(row[i + 2]), narrow(row[i + 1]), narrow(row[i]),
                                   narrow(row[i + 3]));
        } else if (step == 1) {
            swapRedAndBlue(bytes, out, header.width);
        } else {
            for (std::uint32_t x = kPassStart[pass]; x < header.width; x += step, i += 4)
                out[x] = packPixel(bytes[i + 2], bytes[i + 1], bytes[i], bytes[i + 3]);
        }
    } while (status != SPNG_EOI);
    // The chunks after the pixels, up to the trailer, must be whole and sound.
    return spng_decode_chunks(context) == 0;
}

}  // namespace vantrel
