#include <gtest/gtest.h>

#include <algorithm>

#include "image/Pictures.h"
#include "image/TgaReader.h"

namespace vantrel {
namespace {

using namespace test;

bool decode(RasterImage& p, const Bytes& data) {
    return decodeTga(p, data.data(), static_cast<std::uint32_t>(data.size()));
}

// An 18-byte header of an uncompressed true-colour file followed by `rest`.
Bytes tgaFile(std::uint16_t width, std::uint16_t height, std::uint8_t depth,
              std::uint8_t descriptor, const Bytes& rest) {
    Bytes b(18 + rest.size(), 0);
    std::copy(rest.begin(), rest.end(), b.begin() + 18);
    b[2] = 2;
    putU16(b, 12, width);
    putU16(b, 14, height);
    b[16] = depth;
    b[17] = descriptor;
    return b;
}

TEST(TgaReader, FilesOfTheTools) {
    // ImageMagick stores rows bottom-up, FFmpeg top-down with a TGA 2.0 footer.
    for (const char* name : {"quad24.tga", "ff_quad_bgr24.tga"}) {
        RasterImage p;
        EXPECT_TRUE(decode(p, picture(name))) << name;
        expectDrawing(p, 7, 5, quad, name);
    }
    for (const char* name : {"alpha32.tga", "ff_alpha_bgra.tga"}) {
        RasterImage p;
        EXPECT_TRUE(decode(p, picture(name))) << name;
        expectDrawing(p, 7, 5, alphaQuad, name);
    }
    // 5-5-5 declaring no alpha bits and setting none: opaque.
    RasterImage p;
    EXPECT_TRUE(decode(p, picture("ff_quad_rgb555le.tga")));
    expectDrawing(p, 7, 5, quad, "ff_quad_rgb555le.tga");
}

TEST(TgaReader, RunLengthGreyAndColourMappedFilesAsFFmpegDecodes) {
    // ImageMagick's quad24_rle.tga and quad_palette.tga are stored top row
    // first but marked bottom-up: both decoders turn them over.
    for (const char* name :
         {"quad24_rle.tga", "ff_quad_rle.tga", "alpha32_rle.tga", "quad_palette.tga",
          "quad_palette_rle.tga", "ff_quad_pal8_rle.tga", "quad_grey.tga", "quad_grey_rle.tga",
          "ff_quad_gray_rle.tga", "pil_greyalpha.tga", "pil_greyalpha_rle.tga"}) {
        RasterImage p;
        const Bytes file = picture(name);
        EXPECT_TRUE(decode(p, file)) << name;
        EXPECT_EQ(p.width, 7) << name;
        expectReference(p, name);
        // Cut short, a file is refused or decodes as the whole (it lost only a footer).
        for (std::size_t n = 0; n < file.size(); ++n) {
            RasterImage q;
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_TRUE(!decode(q, cut) || q.pixels == p.pixels) << name << " cut to " << n;
        }
    }
}

TEST(TgaReader, PacketsRunAcrossRowsAndTheRowOrderStillApplies) {
    // 2 x 2 at 24 bits: a repeat of three pixels, then one stored pixel.
    Bytes f = tgaFile(2, 2, 24, 0x00, hex("82 0A 14 1E 00 01 02 03"));
    f[2] = 10;
    const std::uint32_t a = 0xFF1E140A, b = 0xFF030201;
    RasterImage p;
    ASSERT_TRUE(decode(p, f));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{a, b, a, a}));
    f[17] = 0x30;  // top row first, right to left
    ASSERT_TRUE(decode(p, f));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{a, a, b, a}));
}

TEST(TgaReader, ColourMapIndexesCountFromItsFirstEntry) {
    // Map entries 5 and 6 (16 bits: 5-5-5 and the alpha bit), indexes 6 and 5.
    Bytes f = tgaFile(2, 1, 8, 0x21, hex("00 FC 1F 00 06 05"));
    f[1] = 1;
    f[2] = 1;
    putU16(f, 3, 5);
    putU16(f, 5, 2);
    f[7] = 16;
    RasterImage p;
    ASSERT_TRUE(decode(p, f));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0x000000FF, 0xFFFF0000}));
    f[22] = 4;  // before the first entry
    EXPECT_FALSE(decode(p, f));
    f[22] = 7;  // past the last
    EXPECT_FALSE(decode(p, f));
}

TEST(TgaReader, RunLengthPacketsPastThePictureOrTheDataAreRefused) {
    Bytes twoForOne = tgaFile(1, 1, 24, 0, hex("81 0A 14 1E"));
    twoForOne[2] = 10;
    Bytes indexOutside = picture("quad_palette_rle.tga");
    indexOutside[indexOutside.size() - 1] = 4;  // the map has 4 entries
    for (const Bytes& f : {twoForOne, indexOutside}) {
        RasterImage p;
        EXPECT_FALSE(decode(p, f));
        EXPECT_TRUE(p.pixels.empty());
    }
}

TEST(TgaReader, RowOrderFollowsTheDescriptor) {
    // 1 x 3 at 24 bits, bottom-up: the third stored pixel is row 0.
    RasterImage p;
    ASSERT_TRUE(decode(p, tgaFile(1, 3, 24, 0x00, hex("0A 14 1E 01 01 01 02 02 02"))));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0xFF020202, 0xFF010101, 0xFF1E140A}));
    // 32 bits, descriptor 0x28 keeps the stored order, 0x08 turns it over;
    // an alpha of 0 stays 0.
    const Bytes rows = hex("01 02 03 00 04 05 06 FF");
    ASSERT_TRUE(decode(p, tgaFile(1, 2, 32, 0x28, rows)));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0x00030201, 0xFF060504}));
    ASSERT_TRUE(decode(p, tgaFile(1, 2, 32, 0x08, rows)));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0xFF060504, 0x00030201}));
    // Right-to-left rows (0x10) are mirrored.
    ASSERT_TRUE(decode(p, tgaFile(2, 1, 24, 0x30, hex("01 01 01 02 02 02"))));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0xFF020202, 0xFF010101}));
}

TEST(TgaReader, SixteenBitPixelsAre555WithTheTopBitAsAlpha) {
    RasterImage p;
    // Declared one alpha bit: clear is transparent even when no pixel sets it.
    ASSERT_TRUE(decode(p, tgaFile(3, 1, 16, 0x21, hex("00 7C E0 03 21 04"))));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0x00FF0000, 0x0000FF00, 0x00080808}));
    // No alpha bits declared, but some set: the bit is still the alpha.
    ASSERT_TRUE(decode(p, tgaFile(2, 1, 16, 0x20, hex("00 FC 1F 00"))));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0xFFFF0000, 0x000000FF}));
}

TEST(TgaReader, ImageIdAndColourMapAreSkipped) {
    Bytes f = tgaFile(1, 1, 24, 0x20, hex("49 44 2D 31 32 AA AA AA BB BB BB 0A 14 1E"));
    f[0] = 5;  // image-ID length: the pixels would start at byte 23 ...
    f[1] = 1;  // ... but a colour map of 2 entries of 24 bits follows
    putU16(f, 5, 2);
    f[7] = 24;
    RasterImage p;
    ASSERT_TRUE(decode(p, f));
    EXPECT_EQ(p.pixels, std::vector<std::uint32_t>{0xFF1E140A});
    f[1] = 0;  // without the map the pixel is read from byte 23
    ASSERT_TRUE(decode(p, f));
    EXPECT_EQ(p.pixels, std::vector<std::uint32_t>{0xFFAAAAAA});
}

TEST(TgaReader, SameSizeDecodeKeepsTheStorage) {
    RasterImage p;
    ASSERT_TRUE(decode(p, picture("quad24.tga")));
    const std::uint32_t* storage = p.pixels.data();
    ASSERT_TRUE(decode(p, picture("alpha32.tga")));
    EXPECT_EQ(p.pixels.data(), storage);
}

TEST(TgaReader, EmptyUnknownAndShortFilesAreRefused) {
    Bytes mapType2 = tgaFile(1, 1, 24, 0, hex("01 02 03"));
    mapType2[1] = 2;
    Bytes idPastTheEnd = tgaFile(1, 1, 24, 0, hex("01 02 03"));
    idPastTheEnd[0] = 200;
    const Bytes refused[] = {
        tgaFile(0, 1, 24, 0, {}),
        tgaFile(1, 0, 24, 0, {}),
        tgaFile(1, 1, 8, 0, hex("01")),
        tgaFile(65535, 65535, 32, 0, Bytes(64, 0)),
        tgaFile(2, 2, 24, 0, Bytes(11, 0)),
        mapType2,
        idPastTheEnd,
        Bytes{},
    };
    for (const Bytes& f : refused) {
        RasterImage p;
        EXPECT_FALSE(decode(p, f));
        EXPECT_TRUE(p.pixels.empty());
    }
    const char* const files[] = {"quad24.tga", "alpha32.tga", "ff_quad_bgr24.tga",
                                 "ff_alpha_bgra.tga", "ff_quad_rgb555le.tga"};
    for (const char* name : files) {
        const Bytes file = picture(name);
        const std::size_t end = 18 + 35 * static_cast<std::size_t>(file[16] / 8);
        for (std::size_t n = 0; n < end; ++n) {
            RasterImage p;
            EXPECT_FALSE(
                decode(p, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n))))
                << name << " cut to " << n;
        }
    }
}

}  // namespace
}  // namespace vantrel
