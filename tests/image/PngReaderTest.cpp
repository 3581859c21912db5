#include <gtest/gtest.h>
#include <zlib.h>

#include "image/Pictures.h"
#include "image/PngReader.h"

namespace vantrel {
namespace {

using namespace test;

bool decode(RasterImage& p, const Bytes& data) { return decodePng(p, data.data(), data.size()); }

TEST(PngReader, EveryColourTypeAndBitDepthAsLibpngDecodes) {
    // The ImageMagick files carry gamma and chromaticities, which neither
    // decoder applies. ImageMagick cuts 16-bit samples to 8 bits, we round.
    for (const std::string name : {"grey1",
                                   "grey2",
                                   "grey4",
                                   "grey8",
                                   "grey16",
                                   "grey8_key",
                                   "greyalpha8",
                                   "greyalpha16",
                                   "rgb8",
                                   "rgb16",
                                   "rgb8_key",
                                   "rgba8",
                                   "rgba16",
                                   "palette1",
                                   "palette2",
                                   "palette4",
                                   "palette8",
                                   "palette4_trns",
                                   "palette8_trns",
                                   "rgba8_interlaced",
                                   "rgb16_interlaced",
                                   "grey2_interlaced",
                                   "palette8_trns_interlaced"}) {
        RasterImage p;
        EXPECT_TRUE(decode(p, picture("png_" + name + ".png"))) << name;
        EXPECT_EQ(p.width, 13) << name;
        expectReference(p, "png_" + name + ".png", name.find("16") != std::string::npos ? 1 : 0);
    }
    // Red 10923 is 42.502 levels of 8 bits: 43, where cutting gives 42.
    RasterImage p;
    ASSERT_TRUE(decode(p, picture("png_rgb16.png")));
    EXPECT_EQ(at(p, 2, 0) >> 16 & 255, 43u);
}

TEST(PngReader, DamagedFilesAreRefused) {
    // Any changed byte fails a chunk's checksum or its structure, before and
    // after the pixels. In the type, data or checksum of the ancillary gAMA,
    // cHRM and bKGD chunks, that chunk is left out with a warning; anywhere
    // else the picture is refused.
    const Bytes good = picture("png_rgba8.png");
    RasterImage reference;
    ASSERT_TRUE(decode(reference, good));
    for (std::size_t at = 8; at < good.size(); ++at) {
        const bool ancillary =
            (at >= 37 && at < 49) || (at >= 53 && at < 93) || (at >= 97 && at < 111);
        Bytes damaged = good;
        damaged[at] ^= 0x40;
        RasterImage p;
        std::vector<Fault> warnings;
        EXPECT_EQ(decodePng(p, damaged.data(), damaged.size(), nullptr, &warnings), ancillary)
            << "byte " << at;
        EXPECT_EQ(warnings.size(), ancillary ? 1u : 0u) << "byte " << at;
        if (ancillary) {
            EXPECT_EQ(p.pixels, reference.pixels) << "byte " << at;
        }
    }
    // Cut anywhere before the trailer's own checksum.
    for (std::size_t n = 0; n + 4 < good.size(); ++n) {
        RasterImage p;
        EXPECT_FALSE(decode(p, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n))))
            << "cut to " << n;
    }
}

TEST(PngReader, OversizedPicturesAreRefusedBeforeAnyAllocation) {
    // Over the readers' limit, or within it but announcing far more samples
    // than a few hundred bytes of data could inflate to.
    for (const auto& [width, height] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
             {1u << 20, 1u << 20}, {0x7FFFFFFF, 1}, {8193, 8192}, {8000, 8000}, {1u << 26, 1}}) {
        Bytes f = picture("png_rgba16.png");
        auto put = [&f](std::size_t at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i) f[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
        };
        put(16, width);
        put(20, height);
        put(29, static_cast<std::uint32_t>(crc32(0, f.data() + 12, 17)));
        RasterImage p;
        EXPECT_FALSE(decode(p, f)) << width << " x " << height;
        EXPECT_TRUE(p.pixels.empty()) << width << " x " << height;
    }
}

}  // namespace
}  // namespace vantrel
