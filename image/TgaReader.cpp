#include "image/TgaReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "image/ImageReaders.h"
#include "image/MemoryByteSource.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kHeaderSize = 18;
constexpr std::uint8_t kColourMapped = 1;
constexpr std::uint8_t kTrueColour = 2;
constexpr std::uint8_t kGrey = 3;
constexpr std::uint8_t kRunLength = 8;  // added to the three types above
constexpr std::uint8_t kTopToBottom = 0x20;
constexpr std::uint8_t kRightToLeft = 0x10;
constexpr std::uint8_t kAlphaBits = 0x0F;
constexpr std::uint8_t kRepeatPacket = 0x80;

std::uint32_t widen5(std::uint32_t c) { return (c * 8) | (c / 4); }

// 5-5-5 colour with the top bit as alpha.
std::uint32_t from16(std::uint32_t p) {
    return packPixel(widen5(p & 31), widen5((p >> 5) & 31), widen5((p >> 10) & 31),
                     (p & 0x8000) != 0 ? 255 : 0);
}

struct Header {
    std::uint8_t idLength;
    std::uint8_t colourMapType;
    std::uint8_t imageType;
    std::uint16_t firstEntry;
    std::uint16_t mapLength;
    std::uint8_t entryBits;
    std::uint16_t width;
    std::uint16_t height;
    std::uint8_t depth;
    std::uint8_t descriptor;

    explicit Header(const std::uint8_t* h)
        : idLength(h[0]),
          colourMapType(h[1]),
          imageType(h[2]),
          firstEntry(loadU16(h + 3)),
          mapLength(loadU16(h + 5)),
          entryBits(h[7]),
          width(loadU16(h + 12)),
          height(loadU16(h + 14)),
          depth(h[16]),
          descriptor(h[17]) {}

    std::uint8_t kind() const { return imageType & ~kRunLength; }
    bool runLength() const { return (imageType & kRunLength) != 0; }

    bool pixelsUnderstood() const {
        switch (kind()) {
            case kColourMapped:
                return depth == 8 && colourMapType == 1;
            case kTrueColour:
                return depth == 16 || depth == 24 || depth == 32;
            case kGrey:
                return depth == 8 || depth == 16;  // 16: grey and alpha bytes
            default:
                return false;
        }
    }
};

// The colour map, looked up by the stored 8-bit index. Indexes the map does
// not cover are marked so a file using them can be refused.
class ColourMap {
  public:
    bool read(MemoryByteSource& source, const Header& header, Fault* why) {
        const std::uint32_t entryBytes = (header.entryBits + 7u) / 8u;
        const std::uint8_t* table = source.take(std::uint64_t{header.mapLength} * entryBytes);
        if (table == nullptr)
            return refusePicture(why, FaultCode::Damaged, "data too short for the colour map");
        if (header.kind() != kColourMapped) return true;  // skipped, as before
        if (header.entryBits != 15 && header.entryBits != 16 && header.entryBits != 24 &&
            header.entryBits != 32)
            return refusePicture(
                why, FaultCode::Unsupported,
                "colour map entries of " + std::to_string(header.entryBits) + " bits are not read");
        for (std::uint32_t i = 0; i < header.mapLength; ++i) {
            const std::uint32_t index = header.firstEntry + i;
            if (index >= entries_.size()) break;
            const std::uint8_t* e = table + i * entryBytes;
            switch (header.entryBits) {
                case 15:
                    entries_[index] = from16(loadU16(e)) | 0xFF000000u;
                    break;
                case 16:
                    entries_[index] = from16(loadU16(e));
                    break;
                case 24:
                    entries_[index] = packPixel(e[0], e[1], e[2], 255);
                    break;
                case 32:
                    entries_[index] = loadU32(e);
                    break;
            }
            present_[index] = true;
        }
        return true;
    }
    bool covers(std::uint8_t index) const { return present_[index]; }
    std::uint32_t operator[](std::uint8_t index) const { return entries_[index]; }

  private:
    std::array<std::uint32_t, 256> entries_{};
    std::array<bool, 256> present_{};
};

// Calls body with the function that turns one stored pixel into a picture
// pixel, chosen once per file so the loops over the pixels do not branch.
template <typename Body>
void withPixelReader(const Header& header, const ColourMap& map, Body body) {
    switch (header.kind() * 64 + header.depth) {
        case kColourMapped * 64 + 8:
            body([&map](const std::uint8_t* in) { return map[in[0]]; });
            break;
        case kTrueColour * 64 + 16:
            body([](const std::uint8_t* in) { return from16(loadU16(in)); });
            break;
        case kTrueColour * 64 + 24:
            body([](const std::uint8_t* in) { return packPixel(in[0], in[1], in[2], 255); });
            break;
        case kTrueColour * 64 + 32:
            body([](const std::uint8_t* in) { return loadU32(in); });
            break;
        case kGrey * 64 + 8:
            body([](const std::uint8_t* in) { return packPixel(in[0], in[0], in[0], 255); });
            break;
        case kGrey * 64 + 16:
            body([](const std::uint8_t* in) { return packPixel(in[0], in[0], in[0], in[1]); });
            break;
    }
}

// Walks the run-length packets of `count` pixels of `bytes` bytes each,
// calling visit(first, n, stride) for each packet: n pixels from first,
// stride 0 for a repeated one. False when a packet runs past the last
// pixel or past the data.
template <typename Visit>
bool walkPackets(MemoryByteSource& source, std::uint64_t count, std::uint32_t bytes, Visit visit,
                 Fault* why = nullptr) {
    for (std::uint64_t done = 0; done < count;) {
        const std::uint8_t* packet = source.take(1);
        if (packet == nullptr)
            return refusePicture(why, FaultCode::Damaged,
                                 "run-length data ends before the last pixel");
        const std::uint64_t n = (*packet & ~kRepeatPacket) + 1u;
        if (n > count - done)
            return refusePicture(why, FaultCode::Damaged, "run-length packet past the last pixel");
        const bool repeat = (*packet & kRepeatPacket) != 0;
        const std::uint8_t* first = source.take(repeat ? bytes : n * bytes);
        if (first == nullptr)
            return refusePicture(why, FaultCode::Damaged,
                                 "run-length packet past the end of the data");
        visit(first, n, repeat ? 0 : bytes);
        done += n;
    }
    return true;
}

void flipRows(RasterImage& picture) {
    const auto width = static_cast<std::size_t>(picture.width);
    std::uint32_t* top = picture.pixels.data();
    std::uint32_t* bottom = top + (static_cast<std::size_t>(picture.height) - 1) * width;
    for (; top < bottom; top += width, bottom -= width) std::swap_ranges(top, top + width, bottom);
}

}  // namespace

bool decodeTga(RasterImage& picture, const std::uint8_t* data, std::uint32_t size, Fault* why) {
    if (data == nullptr || size == 0) return refusePicture(why, FaultCode::Damaged, "no data");
    MemoryByteSource source(data, size);
    const std::uint8_t* headerBytes = source.take(kHeaderSize);
    if (headerBytes == nullptr)
        return refusePicture(why, FaultCode::Damaged, "data too short for the header");
    const Header header(headerBytes);

    if (!header.pixelsUnderstood())
        return refusePicture(why, FaultCode::Unsupported,
                             "image type " + std::to_string(header.imageType) + " at " +
                                 std::to_string(header.depth) + " bits per pixel is not read");
    if (header.colourMapType > 1)  // unknown layout: the pixels cannot be found
        return refusePicture(
            why, FaultCode::Unsupported,
            "colour map type " + std::to_string(header.colourMapType) + " is not read");
    if (!fitsPictureLimit(header.width, header.height))
        return refusePictureSize(why, header.width, header.height);

    if (source.take(header.idLength) == nullptr)
        return refusePicture(why, FaultCode::Damaged, "data too short for the image ID");
    ColourMap map;
    if (header.colourMapType == 1 && !map.read(source, header, why)) return false;

    const std::uint32_t pixelBytes = header.depth / 8u;
    const std::uint64_t count = std::uint64_t{header.width} * header.height;
    const bool mapped = header.kind() == kColourMapped;
    int uncovered = -1;  // the first index outside the colour map
    auto checkIndexes = [&](const std::uint8_t* first, std::uint64_t n, std::uint32_t stride) {
        if (!mapped) return;
        for (std::uint64_t i = 0; i < (stride == 0 ? 1 : n); ++i)
            if (uncovered < 0 && !map.covers(first[i])) uncovered = first[i];
    };
    // Everything is checked before the picture is touched: raw pixels must
    // all be there, packets must end exactly at the last pixel.
    MemoryByteSource packets = source;
    const std::uint8_t* pixels = nullptr;
    if (header.runLength()) {
        if (!walkPackets(packets, count, pixelBytes, checkIndexes, why)) return false;
    } else {
        pixels = source.take(count * pixelBytes);
        if (pixels == nullptr)
            return refusePicture(why, FaultCode::Damaged, "data too short for the pixels");
        checkIndexes(pixels, count, 1);
    }
    if (uncovered >= 0)
        return refusePicture(why, FaultCode::Damaged,
                             "colour map index " + std::to_string(uncovered) +
                                 " outside the map of " + std::to_string(header.mapLength) +
                                 " entries from " + std::to_string(header.firstEntry));

    if (!preparePicture(picture, header.width, header.height, why)) return false;

    const std::size_t width = header.width;
    const bool topDown = (header.descriptor & kTopToBottom) != 0;
    withPixelReader(header, map, [&](auto readPixel) {
        if (header.runLength()) {
            std::uint32_t* out = picture.pixels.data();
            walkPackets(source, count, pixelBytes,
                        [&](const std::uint8_t* first, std::uint64_t n, std::uint32_t stride) {
                            for (std::uint64_t i = 0; i < n; ++i)
                                *out++ = readPixel(first + i * stride);
                        });
            if (!topDown) flipRows(picture);
            return;
        }
        for (std::size_t row = 0; row < header.height; ++row) {
            const std::uint8_t* in = pixels + row * width * pixelBytes;
            std::uint32_t* out =
                picture.pixels.data() + (topDown ? row : header.height - 1 - row) * width;
            if (header.kind() == kTrueColour && pixelBytes == 4) {
                std::memcpy(out, in, width * 4);
            } else {
                for (std::size_t x = 0; x < width; ++x) out[x] = readPixel(in + x * pixelBytes);
            }
        }
    });
    if ((header.descriptor & kRightToLeft) != 0) {
        for (std::size_t row = 0; row < header.height; ++row) {
            std::uint32_t* out = picture.pixels.data() + row * width;
            std::reverse(out, out + width);
        }
    }
    // A file that declares no alpha bits and has none set uses them as
    // padding: the picture is opaque, not invisible.
    auto& all = picture.pixels;
    if ((header.descriptor & kAlphaBits) == 0 &&
        std::none_of(all.begin(), all.end(), [](std::uint32_t p) { return p >> 24 != 0; }))
        for (auto& p : all) p |= 0xFF000000u;
    return true;
}

}  // namespace vantrel
