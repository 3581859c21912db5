#include "image/BmpReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "image/ImageReaders.h"
#include "image/MemoryByteSource.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;  // OS/2 1.x and Windows 2 bitmaps
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr const char* kShortHeader = "data too short for the info header";

// One channel of a bit-field pixel, widened to 8 bits by repeating its bits
// (5 bits c give (c * 8) | (c / 4), 6 bits (c * 4) | (c / 16)).
class Channel {
  public:
    // False for a mask whose set bits are not one run.
    bool setMask(std::uint32_t mask) {
        mask_ = mask;
        if (mask == 0) return true;
        shift_ = static_cast<unsigned>(std::countr_zero(mask));
        const std::uint64_t run = std::uint64_t{mask} >> shift_;
        if ((run & (run + 1)) != 0) return false;
        unsigned width = static_cast<unsigned>(std::popcount(mask));
        if (width > 8) {  // keep the 8 most significant bits
            shift_ += width - 8;
            width = 8;
        }
        for (std::uint32_t v = 0; v < (1u << width); ++v) {
            std::uint32_t wide = v << (8 - width);
            for (unsigned filled = width; filled < 8; filled *= 2) wide |= wide >> filled;
            widened_[v] = static_cast<std::uint8_t>(wide);
        }
        return true;
    }

    bool present() const { return mask_ != 0; }
    std::uint32_t operator()(std::uint32_t pixel) const {
        return widened_[((pixel & mask_) >> shift_) & 0xFF];
    }

  private:
    std::uint32_t mask_ = 0;
    unsigned shift_ = 0;
    std::array<std::uint8_t, 256> widened_{};
};

struct BitFields {
    Channel red, green, blue, alpha;

    bool set(std::uint32_t redMask, std::uint32_t greenMask, std::uint32_t blueMask,
             std::uint32_t alphaMask) {
        return red.setMask(redMask) && green.setMask(greenMask) && blue.setMask(blueMask) &&
               alpha.setMask(alphaMask);
    }
    std::uint32_t operator()(std::uint32_t p) const {
        return packPixel(blue(p), green(p), red(p), alpha.present() ? alpha(p) : 255);
    }
};

struct InfoHeader {
    std::int64_t width = 0;
    std::int64_t height = 0;  // negative: rows stored top row first
    unsigned bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t colorsUsed = 0;
    std::uint32_t paletteEntrySize = 4;
    std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha when bit fields
};

// "compression 4 (JPEG)": the number a header holds, and its name.
std::string compressionWords(std::uint32_t compression) {
    static constexpr const char* kNames[] = {"none", "RLE8", "RLE4", "bit fields", "JPEG", "PNG"};
    std::string words = "compression " + std::to_string(compression);
    if (compression < std::size(kNames)) words += std::string(" (") + kNames[compression] + ")";
    return words;
}

// Reads the info header and, for bit-field files with a 40-byte header, the
// three masks that follow it. The masks of longer headers lie inside them.
bool readInfoHeader(MemoryByteSource& source, InfoHeader& header, Fault* why) {
    const std::uint8_t* sizeField = source.take(4);
    if (sizeField == nullptr) return refusePicture(why, FaultCode::Damaged, kShortHeader);
    const std::uint32_t headerSize = loadU32(sizeField);
    if (headerSize == kCoreHeaderSize) {
        const std::uint8_t* p = source.take(kCoreHeaderSize - 4);
        if (p == nullptr) return refusePicture(why, FaultCode::Damaged, kShortHeader);
        header.width = loadU16(p);
        header.height = loadU16(p + 2);
        header.bitCount = loadU16(p + 6);
        header.paletteEntrySize = 3;
        return true;
    }
    if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
        headerSize != 124)
        return refusePicture(why, FaultCode::Unsupported,
                             "info header of " + std::to_string(headerSize) + " bytes is not read");
    const std::uint8_t* p = source.take(headerSize - 4);  // p points at the header's byte 4
    if (p == nullptr) return refusePicture(why, FaultCode::Damaged, kShortHeader);
    header.width = static_cast<std::int32_t>(loadU32(p));
    header.height = static_cast<std::int32_t>(loadU32(p + 4));
    header.bitCount = loadU16(p + 10);
    header.compression = loadU32(p + 12);
    header.colorsUsed = loadU32(p + 28);
    if (header.compression == kBiBitfields) {
        const std::uint8_t* masks = headerSize >= 52 ? p + 36 : source.take(12);
        if (masks == nullptr)
            return refusePicture(why, FaultCode::Damaged, "data too short for the bit-field masks");
        header.masks = {loadU32(masks), loadU32(masks + 4), loadU32(masks + 8),
                        headerSize >= 56 ? loadU32(p + 48) : 0};
    }
    return true;
}

// Calls decodeRow(in, out) for every row, the top row of the picture first.
template <typename RowDecoder>
void decodeRows(RasterImage& picture, const std::uint8_t* pixels, std::uint64_t stride,
                bool topDown, RowDecoder decodeRow) {
    const auto width = static_cast<std::size_t>(picture.width);
    const auto rows = static_cast<std::uint64_t>(picture.height);
    for (std::uint64_t y = 0; y < rows; ++y) {
        const std::uint64_t sourceRow = topDown ? y : rows - 1 - y;
        decodeRow(pixels + sourceRow * stride, picture.pixels.data() + y * width);
    }
}

// Walks run-length coded pixels (RLE8 at 8 bits, RLE4 at 4), row 0 being
// the bottom row, calling paint(x, y, index) for every pixel a code sets.
// Codes may cover a row's padding up to its 32-bit boundary, as
// ImageMagick's do; those pixels are not the picture's and are dropped.
// False when a code reaches past a row's padding or above the top row, or
// the data ends before the end-of-bitmap code with pixels still to come.
template <typename Paint>
bool walkRunLength(MemoryByteSource& source, unsigned bits, std::int64_t width, std::int64_t height,
                   Paint paint, Fault* why = nullptr) {
    const std::int64_t room = (width * bits + 31) / 32 * 32 / bits;
    std::int64_t x = 0;
    std::int64_t y = 0;
    auto fits = [&](std::int64_t n) { return y < height && n <= room - x; };
    auto outside = [&](const char* code) {  // a run or literal that does not fit
        return refusePicture(why, FaultCode::Damaged,
                             std::string("run-length ") + code +
                                 (y < height ? " past the end of a row" : " above the top row"));
    };
    auto paintRow = [&](unsigned n, auto indexAt) {
        for (unsigned i = 0; i < n && x + i < width; ++i) paint(x + i, y, indexAt(i));
        x += n;
    };
    for (;;) {
        const std::uint8_t* code = source.take(2);
        if (code == nullptr) {
            if (y >= height || (y == height - 1 && x >= width)) return true;
            return refusePicture(why, FaultCode::Damaged,
                                 "run-length data ends with pixels to come");
        }
        const unsigned count = code[0];
        const unsigned value = code[1];
        if (count > 0) {  // a run: one index, or two alternating at 4 bits
            if (!fits(count)) return outside("code");
            paintRow(count, [&](unsigned i) {
                return bits == 8 ? value : (i & 1) != 0 ? value & 15 : value >> 4;
            });
        } else if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            return true;
        } else if (value == 2) {  // delta: move right and up
            const std::uint8_t* offset = source.take(2);
            if (offset == nullptr)
                return refusePicture(why, FaultCode::Damaged, "run-length data ends in a delta");
            if (offset[0] > room - x)
                return refusePicture(why, FaultCode::Damaged,
                                     "run-length delta past the end of a row");
            if (offset[1] > height - y)
                return refusePicture(why, FaultCode::Damaged, "run-length delta above the top row");
            x += offset[0];
            y += offset[1];
        } else {  // literal: `value` indexes, padded to a 16-bit boundary
            const std::uint32_t bytes = bits == 8 ? value : (value + 1) / 2;
            const std::uint8_t* in = source.take(bytes);
            if (in == nullptr)
                return refusePicture(why, FaultCode::Damaged, "run-length data ends in a literal");
            if (!fits(value)) return outside("literal");
            paintRow(value, [&](unsigned i) -> unsigned {
                return bits == 8 ? in[i] : (in[i / 2] >> ((i & 1) != 0 ? 0 : 4)) & 15;
            });
            if ((bytes & 1) != 0) source.take(1);
        }
    }
}

}  // namespace

bool decodeBmp(RasterImage& picture, const std::uint8_t* data, std::uint32_t size,
               bool hasFileHeader, Fault* why) {
    if (data == nullptr || size == 0) return refusePicture(why, FaultCode::Damaged, "no data");
    MemoryByteSource source(data, size);

    std::uint32_t pixelOffset = 0;
    if (hasFileHeader) {
        const std::uint8_t* fileHeader = source.take(kFileHeaderSize);
        if (fileHeader == nullptr)
            return refusePicture(why, FaultCode::Damaged, "data too short for the file header");
        if (loadU16(fileHeader) != 0x4D42)
            return refusePicture(why, FaultCode::Damaged, "no \"BM\" at the start");
        pixelOffset = loadU32(fileHeader + 10);
    }
    InfoHeader header;
    if (!readInfoHeader(source, header, why)) return false;

    const unsigned bits = header.bitCount;
    const bool indexed = bits == 1 || bits == 4 || bits == 8;
    BitFields fields;
    if (header.compression == kBiRgb) {
        if (!indexed && bits != 16 && bits != 24 && bits != 32)
            return refusePicture(why, FaultCode::Unsupported,
                                 std::to_string(bits) + " bits per pixel are not read");
        if (bits == 16) fields.set(0x7C00, 0x03E0, 0x001F, 0);
    } else if ((header.compression == kBiRle8 && bits == 8) ||
               (header.compression == kBiRle4 && bits == 4)) {
        if (header.height < 0)  // run-length rows are always bottom-up
            return refusePicture(why, FaultCode::Damaged, "run-length rows marked top-down");
    } else if (header.compression == kBiBitfields && (bits == 16 || bits == 32)) {
        const auto& m = header.masks;
        if (bits == 16 && ((m[0] | m[1] | m[2] | m[3]) >> 16) != 0)
            return refusePicture(why, FaultCode::Damaged, "masks wider than 16-bit pixels");
        if (!fields.set(m[0], m[1], m[2], m[3]))
            return refusePicture(why, FaultCode::Damaged, "a mask whose bits are not one run");
    } else if (header.compression <= kBiBitfields) {
        return refusePicture(why, FaultCode::Damaged,
                             compressionWords(header.compression) + " at " + std::to_string(bits) +
                                 " bits per pixel");
    } else {  // embedded JPEG/PNG and unknown compressions
        return refusePicture(why, FaultCode::Unsupported,
                             compressionWords(header.compression) + " is not read");
    }

    const std::int64_t width = header.width;
    const bool topDown = header.height < 0;
    const std::int64_t rows = topDown ? -header.height : header.height;
    if (!fitsPictureLimit(width, rows)) return refusePictureSize(why, width, rows);

    std::array<std::uint32_t, 256> palette{};  // unread entries stay transparent black
    if (indexed) {
        const std::uint32_t entrySize = header.paletteEntrySize;
        std::uint64_t entries = std::uint64_t{1} << bits;
        if (header.colorsUsed != 0 && header.colorsUsed < entries) entries = header.colorsUsed;
        if (hasFileHeader) {
            // The palette ends where the pixels begin, whatever the header claims.
            if (pixelOffset < source.position())
                return refusePicture(why, FaultCode::Damaged, "pixels begin inside the headers");
            entries =
                std::min<std::uint64_t>(entries, (pixelOffset - source.position()) / entrySize);
        }
        const std::uint8_t* table = source.take(entries * entrySize);
        if (table == nullptr)
            return refusePicture(why, FaultCode::Damaged, "data too short for the palette");
        for (std::uint64_t i = 0; i < entries; ++i) {
            const std::uint8_t* e = table + i * entrySize;
            palette[i] = packPixel(e[0], e[1], e[2], 255);
        }
    }
    if (hasFileHeader) {
        // Pixels overlapping the headers, masks or palette make no sense.
        if (pixelOffset < source.position())
            return refusePicture(why, FaultCode::Damaged, "pixels begin inside the headers");
        if (!source.seekBegin(pixelOffset))
            return refusePicture(why, FaultCode::Damaged, "pixels begin past the end of the data");
    }

    if (header.compression == kBiRle8 || header.compression == kBiRle4) {
        // An early end of bitmap leaves any number of pixels unset, so a few
        // bytes could ask for the largest picture. ImageMagick refuses more
        // than 255 bytes of 8-bit rows per byte of the file; so does this.
        const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) + 3) / 4 * 4;
        if (rowBytes * static_cast<std::uint64_t>(rows) / 255 > size)
            return refusePicture(why, FaultCode::TooLarge,
                                 "run-length picture of over 255 pixels per byte of data");
        // Checked whole before the picture is touched, then painted; pixels no
        // code sets keep palette entry 0, as ImageMagick leaves them.
        MemoryByteSource codes = source;
        if (!walkRunLength(
                codes, bits, width, rows, [](std::int64_t, std::int64_t, unsigned) {}, why))
            return false;
        if (!preparePicture(picture, width, rows, why)) return false;
        std::fill(picture.pixels.begin(), picture.pixels.end(), palette[0]);
        walkRunLength(source, bits, width, rows, [&](std::int64_t x, std::int64_t y, unsigned i) {
            picture.pixels[static_cast<std::size_t>((rows - 1 - y) * width + x)] = palette[i];
        });
        return true;
    }

    const std::uint64_t rowBits = std::uint64_t{bits} * static_cast<std::uint64_t>(width);
    const std::uint64_t stride = (rowBits + 31) / 32 * 4;
    const std::uint64_t lastRowBytes = (rowBits + 7) / 8;  // its padding may be left out
    const std::uint8_t* pixels =
        source.take(stride * static_cast<std::uint64_t>(rows - 1) + lastRowBytes);
    if (pixels == nullptr)
        return refusePicture(why, FaultCode::Damaged, "data too short for the rows");

    if (!preparePicture(picture, width, rows, why)) return false;
    const auto count = static_cast<std::size_t>(width);

    switch (bits) {
        case 1:
            decodeRows(picture, pixels, stride, topDown,
                       [&](const std::uint8_t* in, std::uint32_t* out) {
                           for (std::size_t x = 0; x < count; ++x)
                               out[x] = palette[(in[x >> 3] >> (7 - (x & 7))) & 1];
                       });
            break;
        case 4:
            decodeRows(picture, pixels, stride, topDown,
                       [&](const std::uint8_t* in, std::uint32_t* out) {
                           for (std::size_t x = 0; x < count; ++x)
                               out[x] = palette[(in[x >> 1] >> ((x & 1) != 0 ? 0 : 4)) & 0x0F];
                       });
            break;
        case 8:
            decodeRows(picture, pixels, stride, topDown,
                       [&](const std::uint8_t* in, std::uint32_t* out) {
                           for (std::size_t x = 0; x < count; ++x) out[x] = palette[in[x]];
                       });
            break;
        case 16:
            decodeRows(picture, pixels, stride, topDown,
                       [&](const std::uint8_t* in, std::uint32_t* out) {
                           for (std::size_t x = 0; x < count; ++x)
                               out[x] = fields(loadU16(in + 2 * x));
                       });
            break;
        case 24:
            decodeRows(picture, pixels, stride, topDown,
                       [&](const std::uint8_t* in, std::uint32_t* out) {
                           for (std::size_t x = 0; x < count; ++x, in += 3)
                               out[x] = packPixel(in[0], in[1], in[2], 255);
                       });
            break;
        case 32:
            if (header.compression == kBiRgb) {
                decodeRows(picture, pixels, stride, topDown,
                           [&](const std::uint8_t* in, std::uint32_t* out) {
                               std::memcpy(out, in, count * 4);
                           });
                // The fourth byte is alpha, unless it is zero throughout: then
                // the writer left it unused and the picture is opaque.
                auto& all = picture.pixels;
                if (std::none_of(all.begin(), all.end(),
                                 [](std::uint32_t p) { return p >> 24 != 0; }))
                    for (auto& p : all) p |= 0xFF000000u;
            } else {
                decodeRows(picture, pixels, stride, topDown,
                           [&](const std::uint8_t* in, std::uint32_t* out) {
                               for (std::size_t x = 0; x < count; ++x)
                                   out[x] = fields(loadU32(in + 4 * x));
                           });
            }
            break;
    }
    return true;
}

}  // namespace vantrel
