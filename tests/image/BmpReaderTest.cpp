#include <gtest/gtest.h>

#include <climits>

#include "image/BmpReader.h"
#include "image/Pictures.h"

namespace vantrel {
namespace {

using namespace test;

bool decode(RasterImage& p, const Bytes& data, bool hasFileHeader = true) {
    return decodeBmp(p, data.data(), static_cast<std::uint32_t>(data.size()), hasFileHeader);
}

// A file with a 40-byte info header; `tables` (masks or palette) lie between
// the headers and the pixel block, where the file header's offset points.
Bytes bmpFile(std::int32_t width, std::int32_t height, std::uint16_t bits, const Bytes& tables,
              const Bytes& pixels, std::uint32_t compression = 0, std::uint32_t colorsUsed = 0) {
    Bytes b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    putU32(b, 2, static_cast<std::uint32_t>(54 + tables.size() + pixels.size()));
    putU32(b, 10, static_cast<std::uint32_t>(54 + tables.size()));
    putU32(b, 14, 40);
    putU32(b, 18, static_cast<std::uint32_t>(width));
    putU32(b, 22, static_cast<std::uint32_t>(height));
    putU16(b, 26, 1);
    putU16(b, 28, bits);
    putU32(b, 30, compression);
    putU32(b, 46, colorsUsed);
    b.insert(b.end(), tables.begin(), tables.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// Palette entry i is blue i, green 2i, red 3i (reserved byte 0).
Bytes palette(int entries) {
    Bytes b;
    for (int i = 0; i < entries; ++i)
        appendU32(b, static_cast<std::uint32_t>(i | 2 * i << 8 | 3 * i << 16));
    return b;
}
std::uint32_t paletteColour(std::uint32_t i) {
    return 0xFF000000 | (3 * i) << 16 | (2 * i) << 8 | i;
}

template <typename Drawing>
void expectFile(const char* name, int width, int height, Drawing drawing) {
    RasterImage p;
    EXPECT_TRUE(decode(p, picture(name))) << name;
    expectDrawing(p, width, height, drawing, name);
}

const char* const kToolFiles[] = {
    "quad24_bmp2.bmp",    "quad24_bmp3.bmp",      "quad24_bmp4.bmp",      "ff_quad_bgr24.bmp",
    "quad4_bmp2.bmp",     "quad4_bmp3.bmp",       "quad4_bmp4.bmp",       "ff_quad_pal8.bmp",
    "mono1_bmp2.bmp",     "mono1_bmp3.bmp",       "mono1_bmp4.bmp",       "ff_mono_monob.bmp",
    "ramp8_bmp2.bmp",     "ramp8_bmp3.bmp",       "ramp8_bmp4.bmp",       "quad565_bmp4.bmp",
    "quad555_bmp4.bmp",   "ff_quad_rgb565le.bmp", "ff_quad_rgb555le.bmp", "alpha4444_bmp4.bmp",
    "alpha1555_bmp4.bmp", "ff_quad_bgra.bmp",     "alpha32_bmp3.bmp",     "alpha32_bmp4.bmp",
    "ff_alpha_bgra.bmp",
};

TEST(BmpReader, TrueColourFilesOfEveryHeaderVersion) {
    for (const char* name : {"quad24_bmp2.bmp", "quad24_bmp3.bmp", "quad24_bmp4.bmp",
                             "ff_quad_bgr24.bmp", "ff_quad_bgra.bmp"})
        expectFile(name, 7, 5, quad);
}

TEST(BmpReader, PaletteFilesOfOneFourAndEightBits) {
    for (const char* name :
         {"quad4_bmp2.bmp", "quad4_bmp3.bmp", "quad4_bmp4.bmp", "ff_quad_pal8.bmp"})
        expectFile(name, 7, 5, quad);
    // 10 pixels wide: two bytes of each 4-byte row, the first pixel in bit 7.
    for (const char* name :
         {"mono1_bmp2.bmp", "mono1_bmp3.bmp", "mono1_bmp4.bmp", "ff_mono_monob.bmp"})
        expectFile(name, 10, 3, mono);
    for (const char* name : {"ramp8_bmp2.bmp", "ramp8_bmp3.bmp", "ramp8_bmp4.bmp"})
        expectFile(name, 20, 2, ramp);
}

TEST(BmpReader, SixteenBitFilesWithAndWithoutMasks) {
    // 5-5-5 without masks, 5-5-5 and 5-6-5 by masks: full channels widen to 255.
    for (const char* name :
         {"quad565_bmp4.bmp", "quad555_bmp4.bmp", "ff_quad_rgb565le.bmp", "ff_quad_rgb555le.bmp"})
        expectFile(name, 7, 5, quad);
}

TEST(BmpReader, AlphaOfTheFileIsKept) {
    for (const char* name : {"alpha32_bmp3.bmp", "alpha32_bmp4.bmp", "ff_alpha_bgra.bmp"})
        expectFile(name, 7, 5, alphaQuad);
    // 16 bits with alpha masks: 7 of 15 widens to 0x77; 1-bit alpha 0.
    expectFile("alpha4444_bmp4.bmp", 7, 5,
               [](int x, int y) { return x == 1 && y == 4 ? 0x770000FFu : alphaQuad(x, y); });
    expectFile("alpha1555_bmp4.bmp", 7, 5,
               [](int x, int y) { return x == 1 && y == 4 ? 0x000000FFu : alphaQuad(x, y); });
}

TEST(BmpReader, TopDownRowsAndTheInMemoryEntry) {
    const Bytes file = picture("quad24_bmp3.bmp");  // 24-byte rows from byte 54
    Bytes topDown = file;
    for (int row = 0; row < 5; ++row)
        std::copy_n(file.begin() + 54 + (4 - row) * 24, 24, topDown.begin() + 54 + row * 24);
    putU32(topDown, 22, static_cast<std::uint32_t>(-5));
    for (const Bytes* f : {&file, static_cast<const Bytes*>(&topDown)}) {
        RasterImage p;
        EXPECT_TRUE(decode(p, *f));
        expectDrawing(p, 7, 5, quad, "file");
        const Bytes bitmap(f->begin() + 14, f->end());
        RasterImage q;
        EXPECT_TRUE(decode(q, bitmap, false));
        expectDrawing(q, 7, 5, quad, "in-memory bitmap");
    }
}

TEST(BmpReader, InfoHeadersOf52And56Bytes) {
    const Bytes v5 = picture("quad565_bmp4.bmp");  // 124-byte header, masks at its byte 40
    for (std::uint32_t headerSize : {52u, 56u}) {
        Bytes f(v5.begin(), v5.begin() + 14 + headerSize);
        putU32(f, 10, 14 + headerSize);
        putU32(f, 14, headerSize);
        f.insert(f.end(), v5.begin() + 138, v5.end());
        RasterImage p;
        EXPECT_TRUE(decode(p, f)) << headerSize;
        expectDrawing(p, 7, 5, quad, std::to_string(headerSize));
    }
}

TEST(BmpReader, OnePixelFileOf58Bytes) {
    const Bytes f = bmpFile(1, 1, 24, {}, hex("0A 14 1E 00"));
    ASSERT_EQ(f.size(), 58u);
    RasterImage p;
    ASSERT_TRUE(decode(p, f));
    EXPECT_EQ(p.pixels, std::vector<std::uint32_t>{0xFF1E140A});
}

TEST(BmpReader, RowsArePaddedAndTheLastStoredRowIsTheTop) {
    // 3 x 2 at 24 bits: 9 bytes of pixels and 3 of padding per row.
    const Bytes f = bmpFile(3, 2, 24, {},
                            hex("01 02 03 04 05 06 07 08 09 EE EE EE "
                                "11 12 13 14 15 16 17 18 19 EE EE EE"));
    RasterImage p;
    ASSERT_TRUE(decode(p, f));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0xFF131211, 0xFF161514, 0xFF191817, 0xFF030201,
                                                    0xFF060504, 0xFF090807}));
}

TEST(BmpReader, FourBitRowOfOddWidthAndShortPalette) {
    // Three pixels: high and low nibble of the first byte, high nibble of the second.
    RasterImage p;
    ASSERT_TRUE(decode(p, bmpFile(3, 1, 4, palette(16), hex("12 3F 00 00"))));
    EXPECT_EQ(p.pixels,
              (std::vector<std::uint32_t>{paletteColour(1), paletteColour(2), paletteColour(3)}));
    // Colours-used 4 in an in-memory bitmap: the pixels follow four entries.
    Bytes f = bmpFile(3, 1, 4, palette(4), hex("12 30 00 00"), 0, 4);
    ASSERT_TRUE(decode(p, Bytes(f.begin() + 14, f.end()), false));
    EXPECT_EQ(at(p, 2, 0), paletteColour(3));
}

TEST(BmpReader, EightBitFileWithAFullPalette) {
    const Bytes f = bmpFile(4, 2, 8, palette(256), hex("00 01 FE FF 80 81 82 83"));
    ASSERT_EQ(f.size(), 1086u);
    RasterImage p;
    ASSERT_TRUE(decode(p, f));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{paletteColour(0x80), paletteColour(0x81),
                                                    paletteColour(0x82), paletteColour(0x83),
                                                    paletteColour(0), paletteColour(1),
                                                    paletteColour(0xFE), paletteColour(0xFF)}));
}

TEST(BmpReader, IndexPastTheStoredPaletteIsTransparentBlack) {
    // 16 entries stored; the file header's pixel offset bounds the palette
    // whether or not colours-used says so.
    for (std::uint32_t colorsUsed : {0u, 16u}) {
        RasterImage p;
        ASSERT_TRUE(decode(p, bmpFile(2, 1, 8, palette(16), hex("C8 0F 00 00"), 0, colorsUsed)));
        EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0, paletteColour(15)}));
    }
}

TEST(BmpReader, SixteenBitMasksWidenEachChannel) {
    Bytes masks;
    for (std::uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) appendU32(masks, m);
    RasterImage p;
    ASSERT_TRUE(decode(p, bmpFile(3, 1, 16, masks, hex("FF FF 41 08 00 80 00 00"), 3)));
    // 0x0841: fields 1, 2, 1 give 8, 8, 8; 0x8000: red field 16 gives 132.
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0xFFFFFFFF, 0xFF080808, 0xFF840000}));
}

TEST(BmpReader, RunLengthFilesAsImageMagickDecodes) {
    // The escapes files leave pixels to palette entry 0 by end of line,
    // delta and an early end of bitmap.
    for (const char* name :
         {"ramp8_rle.bmp", "quad8_rle.bmp", "rle8_escapes.bmp", "rle4_escapes.bmp"}) {
        const Bytes file = picture(name);
        RasterImage p;
        EXPECT_TRUE(decode(p, file)) << name;
        expectReference(p, name);
        EXPECT_TRUE(decode(p, Bytes(file.begin() + 14, file.end()), false)) << name;
        expectReference(p, name);
        // Cut short, a file is refused or decodes as the whole (it lost only
        // codes after the last pixel).
        for (std::size_t n = 0; n < file.size(); ++n) {
            RasterImage q;
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_TRUE(!decode(q, cut) || q.pixels == p.pixels) << name << " cut to " << n;
        }
    }
}

TEST(BmpReader, RunLengthCodesOutsideThePictureAreRefused) {
    // 3 x 2 pictures of RLE8 (compression 1): rows of 4 bytes (RLE4: 8 pixels).
    const std::pair<const char*, Bytes> cases[] = {
        {"run past the row's padding", hex("05 01 00 01")},
        {"literal past the row's padding", hex("00 05 01 01 01 01 01 00 00 01")},
        {"literal past the data", hex("00 03 01 01")},
        {"delta past the row's padding", hex("01 01 00 02 04 00 00 01")},
        {"delta past the top", hex("00 02 00 03 00 01")},
        {"run above the top row", hex("00 00 00 00 01 01 00 01")},
        {"data ends with pixels to come", hex("03 01 00 00 02 01")},
    };
    for (const auto& [what, codes] : cases) {
        RasterImage p;
        EXPECT_FALSE(decode(p, bmpFile(3, 2, 8, palette(4), codes, 1))) << what;
        EXPECT_TRUE(p.pixels.empty()) << what;
    }
    // Rows are bottom-up only, and the data must be over 1/255 of the
    // pixels; without an end of bitmap it may stop once every pixel is set.
    RasterImage p;
    EXPECT_FALSE(decode(p, bmpFile(3, 2, 4, palette(4), hex("09 12 00 01"), 2)));
    EXPECT_FALSE(decode(p, bmpFile(3, -2, 8, palette(4), hex("00 01"), 1)));
    EXPECT_TRUE(decode(p, bmpFile(255, 72, 8, palette(4), hex("00 01"), 1)));
    EXPECT_FALSE(decode(p, bmpFile(255, 73, 8, palette(4), hex("00 01"), 1)));
    ASSERT_TRUE(decode(p, bmpFile(3, 2, 8, palette(4), hex("03 01 00 00 02 02 01 03"), 1)));
    EXPECT_EQ(p.pixels,
              (std::vector<std::uint32_t>{paletteColour(2), paletteColour(2), paletteColour(3),
                                          paletteColour(1), paletteColour(1), paletteColour(1)}));
}

TEST(BmpReader, InMemoryFrameOf320x240) {
    Bytes f = bmpFile(320, 240, 24, {}, Bytes(320 * 240 * 3, 0x40));
    Bytes bitmap(f.begin() + 14, f.end());
    ASSERT_EQ(bitmap.size(), 230440u);
    bitmap[40] = 0x11;  // first stored pixel: the bottom-left one
    RasterImage p;
    ASSERT_TRUE(decode(p, bitmap, false));
    EXPECT_EQ(at(p, 0, 239), 0xFF404011u);
    EXPECT_EQ(at(p, 319, 0), 0xFF404040u);
}

TEST(BmpReader, ThirtyTwoBitAlphaOfZeroThroughoutMeansUnused) {
    RasterImage p;
    ASSERT_TRUE(decode(p, bmpFile(2, 1, 32, {}, hex("01 02 03 00 04 05 06 00"))));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0xFF030201, 0xFF060504}));
    ASSERT_TRUE(decode(p, bmpFile(2, 1, 32, {}, hex("01 02 03 00 04 05 06 80"))));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0x00030201, 0x80060504}));
}

TEST(BmpReader, SameSizeDecodeKeepsTheStorage) {
    RasterImage p;
    ASSERT_TRUE(decode(p, picture("quad24_bmp3.bmp")));
    const std::uint32_t* storage = p.pixels.data();
    ASSERT_TRUE(decode(p, picture("quad565_bmp4.bmp")));
    EXPECT_EQ(p.pixels.data(), storage);
}

TEST(BmpReader, RefusedFilesLeaveThePictureUntouched) {
    Bytes masks;
    for (std::uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) appendU32(masks, m);
    Bytes gappedMasks = masks;
    putU32(gappedMasks, 0, 0xF0F0);
    Bytes wideMasks = masks;
    putU32(wideMasks, 0, 0x1F800);
    Bytes headerOf64 = picture("quad24_bmp3.bmp");
    putU32(headerOf64, 14, 64);
    const Bytes refused[] = {
        picture(
            "quad565_bmp3_nomasks.bmp"),  // bit fields, but the pixels begin where masks should be
        bmpFile(4, 1, 2, palette(4), hex("1B 00 00 00")),     // 2 bits per pixel
        bmpFile(4, 1, 8, palette(4), hex("00 01 02 03"), 3),  // bit fields at 8 bits
        bmpFile(2, 1, 16, gappedMasks, hex("00 00 00 00"), 3),
        bmpFile(2, 1, 16, wideMasks, hex("00 00 00 00"), 3),
        headerOf64,
        hex("42 4E"),  // not "BM"
        Bytes{},
    };
    for (const Bytes& f : refused) {
        RasterImage p;
        p.resize(2, 2);
        p.pixels = {1, 2, 3, 4};
        EXPECT_FALSE(decode(p, f));
        EXPECT_EQ(p.width, 2);
        EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{1, 2, 3, 4}));
    }
    RasterImage p;
    EXPECT_FALSE(decodeBmp(p, nullptr, 58, true));
}

TEST(BmpReader, HostileSizesAreRefusedWithoutAllocating) {
    Bytes pastTheEnd = bmpFile(1, 1, 24, {}, hex("00 00 00 00"));
    putU32(pastTheEnd, 10, 0xFFFFFFF0);
    Bytes insideHeaders = bmpFile(1, 1, 24, {}, hex("00 00 00 00"));
    putU32(insideHeaders, 10, 20);
    const Bytes hostile[] = {
        bmpFile(INT32_MAX, 1, 24, {}, hex("00 00 00 00")),
        bmpFile(INT32_MAX, 1, 1, palette(2), hex("00 00 00 00")),
        bmpFile(1, INT32_MAX, 24, {}, hex("00 00 00 00")),
        bmpFile(1, INT32_MIN, 24, {}, hex("00 00 00 00")),
        bmpFile(1, -INT32_MAX, 24, {}, hex("00 00 00 00")),
        bmpFile(1, 0, 24, {}, hex("00 00 00 00")),
        bmpFile(0, 1, 24, {}, hex("00 00 00 00")),
        bmpFile(-1, 1, 24, {}, hex("00 00 00 00")),
        bmpFile(65536, 65536, 1, palette(2), Bytes(4096, 0)),  // 2^32 pixels, 4 KiB of data
        pastTheEnd,
        insideHeaders,
    };
    for (const Bytes& f : hostile) {
        RasterImage p;
        EXPECT_FALSE(decode(p, f));
        EXPECT_TRUE(p.pixels.empty());
    }
    // A huge colours-used count in an in-memory bitmap is capped at 2^bits.
    Bytes f = bmpFile(1, 1, 1, palette(2), hex("80 00 00 00"), 0, 0xFFFFFFFF);
    RasterImage p;
    ASSERT_TRUE(decode(p, Bytes(f.begin() + 14, f.end()), false));
    EXPECT_EQ(p.pixels, std::vector<std::uint32_t>{paletteColour(1)});
}

TEST(BmpReader, TruncatedFilesAreRefused) {
    // Each prefix is its own allocation, so the sanitizer build sees any read past it.
    for (const char* name : kToolFiles) {
        const Bytes file = picture(name);
        for (std::size_t n = 0; n + 3 < file.size(); ++n) {
            RasterImage p;
            const Bytes prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_FALSE(decode(p, prefix)) << name << " cut to " << n;
            EXPECT_FALSE(decode(
                p, Bytes(prefix.begin() + std::min<std::size_t>(n, 14), prefix.end()), false));
        }
    }
}

TEST(BmpReader, DamagedHeadersNeverReachOutsideTheData) {
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    for (const char* name : kToolFiles) {
        const Bytes file = picture(name);
        for (int round = 0; round < 300; ++round) {
            Bytes damaged = file;
            for (int k = 0; k < 3; ++k)
                damaged[next() % std::min<std::size_t>(damaged.size(), 70)] =
                    static_cast<std::uint8_t>(next());
            RasterImage p;
            if (decode(p, damaged)) {
                EXPECT_EQ(p.pixels.size(),
                          static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
            }
        }
    }
}

}  // namespace
}  // namespace vantrel
