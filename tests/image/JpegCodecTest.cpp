#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "image/JpegCodec.h"
#include "image/Pictures.h"

namespace vantrel {
namespace {

using namespace test;

bool decode(RasterImage& p, const Bytes& data) {
    return decodeJpeg(p, data.data(), static_cast<std::uint32_t>(data.size()));
}

std::uint32_t channel(std::uint32_t pixel, int byte) { return pixel >> (8 * byte) & 0xFF; }

// Gradients with a diagonal pattern: smooth enough for a high PSNR, detailed
// enough that the stream size follows the quality.
RasterImage scene(int width, int height, std::uint32_t alpha = 255) {
    RasterImage p;
    p.resize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto r = static_cast<std::uint32_t>(x * 255 / width);
            const auto g = static_cast<std::uint32_t>(y * 255 / height);
            const auto b = static_cast<std::uint32_t>(128 + 100 * std::sin((x + 2 * y) / 5.0));
            p.pixels[static_cast<std::size_t>(y * width + x)] = alpha << 24 | r << 16 | g << 8 | b;
        }
    return p;
}

Bytes encode(const RasterImage& p, int quality) {
    Bytes out;
    JpegEncoder encoder;
    encoder.quality = quality;
    EXPECT_TRUE(encoder.encode(p, out));
    return out;
}

// Red, green, blue bytes decoded by TurboJPEG, a decoder independent of ours.
Bytes decodeIndependently(const Bytes& jpeg, int& width, int& height) {
    tjhandle handle = tjInitDecompress();
    const auto size = static_cast<unsigned long>(jpeg.size());
    int subsampling = 0;
    int colourspace = 0;
    Bytes rgb;
    if (tjDecompressHeader3(handle, jpeg.data(), size, &width, &height, &subsampling,
                            &colourspace) == 0) {
        rgb.resize(static_cast<std::size_t>(width * height * 3));
        if (tjDecompress2(handle, jpeg.data(), size, rgb.data(), width, 0, height, TJPF_RGB, 0) !=
            0)
            rgb.clear();
    }
    tjDestroy(handle);
    return rgb;
}

double psnr(const RasterImage& source, const Bytes& rgb) {
    double squares = 0;
    for (std::size_t i = 0; i < source.pixels.size(); ++i)
        for (int c = 0; c < 3; ++c) {
            const double d = static_cast<double>(channel(source.pixels[i], 2 - c)) - rgb[i * 3 + c];
            squares += d * d;
        }
    const double mse = squares / static_cast<double>(source.pixels.size() * 3);
    return 10 * std::log10(255.0 * 255.0 / mse);
}

// Marker segments before the scan data, by marker code.
std::map<std::uint8_t, std::vector<Bytes>> segments(const Bytes& jpeg) {
    std::map<std::uint8_t, std::vector<Bytes>> found;
    std::size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        const std::uint8_t marker = jpeg[i + 1];
        const std::size_t length = static_cast<std::size_t>(jpeg[i + 2] << 8 | jpeg[i + 3]);
        found[marker].emplace_back(jpeg.begin() + static_cast<std::ptrdiff_t>(i + 4),
                                   jpeg.begin() + static_cast<std::ptrdiff_t>(i + 2 + length));
        if (marker == 0xDA) break;
        i += 2 + length;
    }
    return found;
}

TEST(JpegDecode, GreyFileGivesEqualChannels) {
    RasterImage p;
    ASSERT_TRUE(decode(p, picture("grey.jpg")));
    ASSERT_EQ(p.width, 16);
    ASSERT_EQ(p.height, 16);
    for (std::uint32_t pixel : p.pixels) {
        EXPECT_EQ(channel(pixel, 0), channel(pixel, 1));
        EXPECT_EQ(channel(pixel, 1), channel(pixel, 2));
        EXPECT_NEAR(channel(pixel, 2), 128, 2);
        EXPECT_EQ(channel(pixel, 3), 255u);
    }
}

TEST(JpegDecode, RedLeftBlueRightInEveryColourSpace) {
    // Baseline YCbCr, progressive, and Adobe CMYK (converted to red, green, blue).
    for (const char* name : {"redblue.jpg", "redblue_progressive.jpg", "redblue_cmyk.jpg"}) {
        RasterImage p;
        ASSERT_TRUE(decode(p, picture(name))) << name;
        ASSERT_EQ(p.width, 16);
        ASSERT_EQ(p.height, 8);
        for (int y = 0; y < 8; ++y)
            for (int x : {0, 5, 10, 15}) {
                const std::uint32_t pixel = at(p, x, y);
                const int strong = x < 8 ? 2 : 0;  // red's byte, then blue's
                EXPECT_GE(channel(pixel, strong), 240u) << name << " " << x << "," << y;
                EXPECT_LE(channel(pixel, 1), 16u) << name;
                EXPECT_LE(channel(pixel, 2 - strong), 16u) << name;
                EXPECT_EQ(channel(pixel, 3), 255u) << name;
            }
    }
}

TEST(JpegDecode, SameSizeDecodeKeepsTheStorage) {
    RasterImage p;
    ASSERT_TRUE(decode(p, picture("redblue.jpg")));
    const std::uint32_t* storage = p.pixels.data();
    ASSERT_TRUE(decode(p, picture("redblue_cmyk.jpg")));
    EXPECT_EQ(p.pixels.data(), storage);
}

TEST(JpegDecode, EmptyDamagedAndTruncatedDataIsRefused) {
    RasterImage p;
    EXPECT_FALSE(decode(p, Bytes{}));
    EXPECT_FALSE(decodeJpeg(p, nullptr, 10));
    EXPECT_FALSE(decode(p, picture("quad24_bmp3.bmp")));
    EXPECT_EQ(p.width, 0);
    const Bytes file = picture("redblue.jpg");
    for (std::size_t n = 0; n < file.size(); ++n) {
        Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(decode(p, cut)) << "cut to " << n;
        // Closed by an end marker: a few bytes could otherwise stand for a
        // picture of millions of grey pixels.
        if (n + 2 >= file.size()) continue;
        cut.insert(cut.end(), {0xFF, 0xD9});
        EXPECT_FALSE(decode(p, cut)) << "cut to " << n << " and closed";
    }
}

TEST(JpegDecode, HugeOrEmptyFrameHeaderIsRefusedBeforeAllocating) {
    const Bytes file = picture("redblue.jpg");
    const Bytes marker = hex("FF C0");
    const auto sof = static_cast<std::size_t>(
        std::search(file.begin(), file.end(), marker.begin(), marker.end()) - file.begin());
    ASSERT_LT(sof, file.size());
    for (auto [height, width] : {std::pair{60000u, 60000u}, std::pair{0u, 16u}}) {
        Bytes f = file;
        f[sof + 5] = static_cast<std::uint8_t>(height >> 8);
        f[sof + 6] = static_cast<std::uint8_t>(height);
        f[sof + 7] = static_cast<std::uint8_t>(width >> 8);
        f[sof + 8] = static_cast<std::uint8_t>(width);
        RasterImage p;
        EXPECT_FALSE(decode(p, f));
        EXPECT_TRUE(p.pixels.empty());
    }
}

TEST(JpegEncode, StreamIsBaseline420WithTheStandardHuffmanTables) {
    const Bytes jpeg = encode(scene(96, 64), 90);
    ASSERT_GE(jpeg.size(), 4u);
    EXPECT_EQ(Bytes(jpeg.begin(), jpeg.begin() + 2), hex("FF D8"));
    EXPECT_EQ(Bytes(jpeg.end() - 2, jpeg.end()), hex("FF D9"));
    const auto found = segments(jpeg);
    ASSERT_EQ(found.count(0xC0), 1u);  // SOF0, baseline; no other frame type
    EXPECT_EQ(found.count(0xC2), 0u);
    // Precision 8, 64 x 96, three components: Y 2x2, Cb and Cr 1x1.
    EXPECT_EQ(found.at(0xC0)[0], hex("08 00 40 00 60 03 01 22 00 02 11 01 03 11 01"));
    // The four tables of the JPEG standard's Annex K, by their code counts.
    std::vector<Bytes> counts;
    for (const Bytes& dht : found.at(0xC4))
        for (std::size_t i = 0; i + 17 <= dht.size();) {
            std::size_t symbols = 0;
            for (std::size_t k = 1; k <= 16; ++k) symbols += dht[i + k];
            counts.emplace_back(dht.begin() + static_cast<std::ptrdiff_t>(i),
                                dht.begin() + static_cast<std::ptrdiff_t>(i + 17));
            i += 17 + symbols;
        }
    EXPECT_EQ(counts, (std::vector<Bytes>{
                          hex("00 00 01 05 01 01 01 01 01 01 00 00 00 00 00 00 00"),
                          hex("10 00 02 01 03 03 02 04 03 05 05 04 04 00 00 01 7D"),
                          hex("01 00 03 01 01 01 01 01 01 01 01 01 00 00 00 00 00"),
                          hex("11 00 02 01 02 04 04 03 04 07 05 04 04 00 01 02 77"),
                      }));
}

TEST(JpegEncode, IndependentDecoderSeesThePicture) {
    const RasterImage source = scene(96, 64);
    const Bytes jpeg = encode(source, 90);
    int width = 0;
    int height = 0;
    const Bytes rgb = decodeIndependently(jpeg, width, height);
    ASSERT_EQ(width, 96);
    ASSERT_EQ(height, 64);
    ASSERT_EQ(rgb.size(), 96u * 64u * 3u);
    EXPECT_GE(psnr(source, rgb), 30.0);
    RasterImage ours;  // and ours agrees on size and opacity
    ASSERT_TRUE(decode(ours, jpeg));
    EXPECT_EQ(ours.width, 96);
    EXPECT_EQ(channel(ours.pixels[0], 3), 255u);
}

TEST(JpegEncode, LongStreamsGrowTheOutputIntact) {
    // Grey noise at quality 100 needs more than twice the first output guess;
    // TurboJPEG's one-call encoder, with the same settings, writes the same bytes.
    RasterImage noise;
    noise.resize(128, 96);
    std::uint32_t seed = 7;
    for (std::uint32_t& pixel : noise.pixels) {
        seed = seed * 1103515245u + 12345u;
        pixel = 0xFF000000u | (seed >> 16 & 0xFF) * 0x010101u;
    }
    const Bytes jpeg = encode(noise, 100);
    EXPECT_GT(jpeg.size(), 2 * (128u * 96u / 4 + 4096));  // two buffer growths
    int width = 0;
    int height = 0;
    const Bytes rgb = decodeIndependently(jpeg, width, height);
    ASSERT_EQ(rgb.size(), 128u * 96u * 3u);
    EXPECT_GE(psnr(noise, rgb), 40.0);

    tjhandle handle = tjInitCompress();
    unsigned char* turbo = nullptr;
    unsigned long turboSize = 0;
    ASSERT_EQ(
        tjCompress2(handle, reinterpret_cast<const unsigned char*>(noise.pixels.data()), 128, 0, 96,
                    TJPF_BGRX, &turbo, &turboSize, TJSAMP_420, 100, TJFLAG_ACCURATEDCT),
        0);
    EXPECT_EQ(jpeg, Bytes(turbo, turbo + turboSize));
    tjFree(turbo);
    tjDestroy(handle);
}

TEST(JpegEncode, SizeFallsWithQuality) {
    const RasterImage source = scene(96, 64);
    const std::size_t high = encode(source, 90).size();
    const std::size_t middle = encode(source, 50).size();
    const std::size_t low = encode(source, 10).size();
    EXPECT_GT(high, middle);
    EXPECT_GT(middle, low);
}

TEST(JpegEncode, OnePixelPictureEncodes) {
    RasterImage p;
    p.resize(1, 1);
    p.pixels[0] = 0xFF2040C0;
    const Bytes jpeg = encode(p, 90);
    ASSERT_GT(jpeg.size(), 4u);  // far more than the 4 bytes of the pixel
    EXPECT_EQ(Bytes(jpeg.end() - 2, jpeg.end()), hex("FF D9"));
    int width = 0;
    int height = 0;
    const Bytes rgb = decodeIndependently(jpeg, width, height);
    ASSERT_EQ(rgb.size(), 3u);
    EXPECT_NEAR(rgb[0], 0x20, 4);
    EXPECT_NEAR(rgb[1], 0x40, 4);
    EXPECT_NEAR(rgb[2], 0xC0, 4);
}

TEST(JpegEncode, AlphaIsLeftOutAndTheOutputReplaced) {
    Bytes out(100000, 0xAB);
    JpegEncoder encoder;
    ASSERT_TRUE(encoder.encode(scene(40, 30, 0), out));
    EXPECT_EQ(out, encode(scene(40, 30, 255), 90));
}

TEST(JpegEncode, PicturesWithoutPixelsAreRefused) {
    Bytes out;
    JpegEncoder encoder;
    EXPECT_FALSE(encoder.encode(RasterImage{}, out));
    RasterImage inconsistent;
    inconsistent.width = 4;
    inconsistent.height = 4;
    inconsistent.pixels.resize(3);
    EXPECT_FALSE(encoder.encode(inconsistent, out));
}

}  // namespace
}  // namespace vantrel
