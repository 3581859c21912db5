#include <gtest/gtest.h>
#include <zlib.h>

#include "image/Pictures.h"
#include "image/PngReader.h"

namespace vantrel {
namespace {

using namespace test;

bool decode(RasterImage& p, const Bytes& data) { return decodePng(p, data.data(), data.size()); }

std::uint32_t loadBig(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}
void putBig(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// Where each chunk (its length field) of a PNG file starts.
std::vector<std::size_t> chunkOffsets(const Bytes& png) {
    std::vector<std::size_t> offsets;
    for (std::size_t at = 8; at + 12 <= png.size(); at += 12 + loadBig(png, at))
        offsets.push_back(at);
    return offsets;
}

TEST(PngReader, EveryColourTypeAndBitDepthAsLibpngDecodes) {
    // The ImageMagick files carry gamma and chromaticities, which neither
    // decoder applies. ImageMagick cuts 16-bit samples down to 8 bits, we
    // round them.
    const std::pair<const char*, int> files[] = {
        {"png_grey1.png", 0},
        {"png_grey2.png", 0},
        {"png_grey4.png", 0},
        {"png_grey8.png", 0},
        {"png_grey16.png", 1},
        {"png_grey8_key.png", 0},
        {"png_greyalpha8.png", 0},
        {"png_greyalpha16.png", 1},
        {"png_rgb8.png", 0},
        {"png_rgb16.png", 1},
        {"png_rgb8_key.png", 0},
        {"png_rgba8.png", 0},
        {"png_rgba16.png", 1},
        {"png_palette1.png", 0},
        {"png_palette2.png", 0},
        {"png_palette4.png", 0},
        {"png_palette8.png", 0},
        {"png_palette4_trns.png", 0},
        {"png_palette8_trns.png", 0},
        {"png_rgba8_interlaced.png", 0},
        {"png_rgb16_interlaced.png", 1},
        {"png_grey2_interlaced.png", 0},
        {"png_palette8_trns_interlaced.png", 0},
    };
    for (const auto& [name, tolerance] : files) {
        RasterImage p;
        EXPECT_TRUE(decode(p, picture(name))) << name;
        EXPECT_EQ(p.width, 13) << name;
        expectReference(p, name, tolerance);
    }
    // Red 10923 is 42.502 levels of 8 bits: 43, where cutting gives 42.
    RasterImage p;
    ASSERT_TRUE(decode(p, picture("png_rgb16.png")));
    EXPECT_EQ(at(p, 2, 0) >> 16 & 255, 43u);
}

TEST(PngReader, DamagedFilesAreRefused) {
    const Bytes good = picture("png_rgba8.png");
    // A changed byte in any chunk, critical or not, before or after the
    // pixels, fails its checksum.
    for (std::size_t at : chunkOffsets(good)) {
        Bytes damaged = good;
        damaged[at + 8 + loadBig(good, at)] ^= 0x40;  // first byte of the checksum
        RasterImage p;
        EXPECT_FALSE(decode(p, damaged)) << "chunk at " << at;
    }
    // Cut anywhere before the trailer's own checksum.
    for (std::size_t n = 0; n + 4 < good.size(); ++n) {
        RasterImage p;
        EXPECT_FALSE(decode(p, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n))))
            << "cut to " << n;
    }
    RasterImage p;
    EXPECT_FALSE(decodePng(p, nullptr, 100));
}

TEST(PngReader, OversizedPicturesAreRefusedBeforeAnyAllocation) {
    // Over the readers' limit, or within it but announcing far more samples
    // than its few hundred bytes of data could inflate to.
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {
        {1u << 20, 1u << 20}, {0x7FFFFFFF, 1}, {8193, 8192}, {8000, 8000}, {1u << 26, 1}};
    for (const auto& [width, height] : sizes) {
        Bytes f = picture("png_rgba16.png");
        putBig(f, 16, width);
        putBig(f, 20, height);
        putBig(f, 29, static_cast<std::uint32_t>(crc32(0, f.data() + 12, 17)));
        RasterImage p;
        EXPECT_FALSE(decode(p, f)) << width << " x " << height;
        EXPECT_TRUE(p.pixels.empty()) << width << " x " << height;
    }
}

}  // namespace
}  // namespace vantrel
