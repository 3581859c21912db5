#include "image/PngReader.h"

#include <spng.h>

#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>
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

// 0, or the libspng error of the first setting that failed. A bad checksum
// in a critical chunk is always an error; in an ancillary one, `ancillary`
// says what becomes of the chunk.
int configure(spng_ctx* context, const std::uint8_t* data, std::size_t size, int ancillary) {
    int error = spng_set_image_limits(context, kMaxPicturePixels, kMaxPicturePixels);
    if (error == 0) error = spng_set_chunk_limits(context, kMaxChunkBytes, kMaxChunkCacheBytes);
    if (error == 0) error = spng_set_crc_action(context, SPNG_CRC_ERROR, ancillary);
    if (error == 0) error = spng_set_png_buffer(context, data, size);
    return error;
}

// Refuses with a libspng error: its kind, and the library's own words.
bool refuseWith(Fault* why, int error) {
    FaultCode code = FaultCode::Damaged;  // checksums, cut data, chunks, zlib streams
    switch (error) {
        case SPNG_EWIDTH:
        case SPNG_EHEIGHT:
        case SPNG_EUSER_WIDTH:
        case SPNG_EUSER_HEIGHT:
        case SPNG_EOVERFLOW:
        case SPNG_ECHUNK_LIMITS:
            code = FaultCode::TooLarge;
            break;
        case SPNG_EMEM:
        case SPNG_EZLIB_INIT:
            code = FaultCode::OutOfMemory;
            break;
        case SPNG_EBIT_DEPTH:
        case SPNG_ECOLOR_TYPE:
        case SPNG_ECOMPRESSION_METHOD:
        case SPNG_EFILTER_METHOD:
        case SPNG_EINTERLACE_METHOD:
        case SPNG_ECHUNK_UNKNOWN_CRITICAL:
            code = FaultCode::Unsupported;
            break;
        default:
            break;
    }
    return refusePicture(why, code, spng_strerror(error));
}

// Decodes the whole file once, ancillary chunks with a bad checksum treated
// as `ancillary` says. On failure `failed` holds the libspng error, if one
// refused.
bool decodeOnce(RasterImage& picture, const std::uint8_t* data, std::size_t size, Fault* why,
                int ancillary, int& failed) {
    const auto refuse = [why, &failed](int error) {
        failed = error;
        return refuseWith(why, error);
    };
    const Context owner(spng_ctx_new(0));
    spng_ctx* context = owner.get();
    if (context == nullptr) return refuse(SPNG_EMEM);
    int error = configure(context, data, size, ancillary);
    if (error != 0) return refuse(error);

    spng_ihdr header{};
    error = spng_get_ihdr(context, &header);
    if (error != 0) return refuse(error);
    if (!fitsPictureLimit(header.width, header.height))
        return refusePictureSize(why, header.width, header.height);
    const std::uint64_t sampleBytes = std::uint64_t{header.width} * header.height *
                                      channelsOf(header.color_type) * header.bit_depth / 8;
    if (sampleBytes / kMaxDeflateRatio > size)
        return refusePicture(why, FaultCode::Damaged,
                             "a file of " + std::to_string(size) + " bytes too short for the " +
                                 std::to_string(sampleBytes) + " bytes of samples it announces");

    const bool wide = header.bit_depth == 16;
    const int format = wide ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
    std::size_t imageBytes = 0;
    error = spng_decoded_image_size(context, format, &imageBytes);
    if (error != 0) return refuse(error);
    error =
        spng_decode_image(context, nullptr, 0, format, SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE);
    if (error != 0) return refuse(error);

    // One row of red, green, blue, alpha samples at a time, in 16-bit units
    // so that wide samples are read as what they are.
    const std::size_t rowBytes = imageBytes / header.height;
    std::vector<std::uint16_t> row;
    try {
        row.resize(rowBytes / 2);
    } catch (const std::bad_alloc&) {
        return refuse(SPNG_EMEM);
    }
    if (!preparePicture(picture, header.width, header.height, why)) return false;

    const auto* bytes = reinterpret_cast<const std::uint8_t*>(row.data());
    const bool interlaced = header.interlace_method != SPNG_INTERLACE_NONE;
    int status = 0;
    do {
        spng_row_info where{};
        error = spng_get_row_info(context, &where);
        if (error != 0) return refuse(error);
        if (where.row_num >= header.height)
            return refusePicture(why, FaultCode::Damaged, "a row past the bottom of the picture");
        status = spng_decode_scanline(context, row.data(), rowBytes);
        if (status != 0 && status != SPNG_EOI) return refuse(status);
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
    error = spng_decode_chunks(context);
    if (error != 0) return refuse(error);
    return true;
}

}  // namespace

bool decodePng(RasterImage& picture, const std::uint8_t* data, std::size_t size, Fault* why,
               std::vector<Fault>* warnings) {
    if (data == nullptr || size == 0) return refusePicture(why, FaultCode::Damaged, "no data");
    // libspng does not tell which chunk failed its checksum, nor whether it
    // dropped one: a file refused for a checksum is read again with the
    // ancillary chunks that fail theirs left out, and reads only if the
    // failure was in one of those.
    Fault first = why != nullptr ? *why : Fault{};
    int failed = 0;
    if (decodeOnce(picture, data, size, &first, SPNG_CRC_ERROR, failed)) return true;
    if (failed != SPNG_ECHUNK_CRC) {
        if (why != nullptr) *why = std::move(first);
        return false;
    }
    if (!decodeOnce(picture, data, size, why, SPNG_CRC_DISCARD, failed)) return false;
    if (warnings != nullptr) warnings->emplace_back(FaultCode::ChunkDropped, FaultStep::DropChunk);
    return true;
}

}  // namespace vantrel
