#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <thread>

#include "support/Bytes.h"
#include "swf/BitmapTags.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

Bytes inflate(const std::uint8_t* data, std::size_t size, std::size_t expected) {
    Bytes out(expected + 16);
    uLongf length = out.size();
    EXPECT_EQ(uncompress(out.data(), &length, data, size), Z_OK);
    out.resize(length);
    return out;
}

TEST(BitmapTags, Jpeg2WrapsTheStreamBetweenMarkers) {
    Bytes jpeg(5000, 0x5A);
    jpeg.front() = 0xFF;
    DefineBitsJpeg2Tag tag(7, jpeg.data(), 5000);
    const Bytes out = written(tag);
    ASSERT_EQ(out.size(), 6u + 5008);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 12), hex("7F 05 90 13 00 00 07 00 FF D9 FF D8"));
    EXPECT_EQ(Bytes(out.begin() + 12, out.end() - 2), jpeg);
    EXPECT_EQ(Bytes(out.end() - 2, out.end()), hex("FF D9"));
    EXPECT_EQ(tag.characterId(), 7);
}

TEST(BitmapTags, Jpeg3PutsTheAlphaLast) {
    const Bytes jpeg(5000, 0x11), alpha(300, 0x22);
    const Bytes out = written(DefineBitsJpeg3Tag(3, jpeg.data(), 5000, alpha.data(), 300));
    ASSERT_EQ(out.size(), 6u + 5312);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 16),
              hex("FF 08 C0 14 00 00 03 00 8E 13 00 00 FF D9 FF D8"));
    EXPECT_EQ(Bytes(out.begin() + 16 + 5000, out.begin() + 16 + 5002), hex("FF D9"));
    EXPECT_EQ(Bytes(out.end() - 300, out.end()), alpha);
}

TEST(BitmapTags, LosslessBodiesDifferOnlyInTheCode) {
    Bytes pixels(100 * 50 * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i % 251);
    LosslessBitmap bitmap;
    ASSERT_TRUE(LosslessBitmap::compress(5, 100, 50, 0, pixels, bitmap));
    const Bytes with = written(DefineBitsLossless2Tag(1, bitmap));
    const Bytes without = written(DefineBitsLosslessTag(1, bitmap));
    const std::size_t body = bitmap.compressedData.size() + 7;
    ASSERT_GE(body, 63u);
    EXPECT_EQ(with[0] | with[1] << 8, 36 << 6 | 63);
    EXPECT_EQ(without[0] | without[1] << 8, 20 << 6 | 63);
    EXPECT_EQ(with[2] | with[3] << 8 | with[4] << 16, static_cast<int>(body));
    EXPECT_EQ(Bytes(with.begin() + 6, with.begin() + 15), hex("01 00 05 64 00 32 00 78 DA"));
    EXPECT_EQ(Bytes(with.begin() + 2, with.end()), Bytes(without.begin() + 2, without.end()));
    EXPECT_EQ(inflate(with.data() + 13, body - 7, pixels.size()), pixels);
}

Bytes noise(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 24);
    return out;
}

TEST(BitmapTags, StreamsAreMarkedBestCompressionAndInflateToTheInput) {
    const fs::path pictures = fs::path(VANTREL_TEST_DATA) / "image";
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty", Bytes()},
        {"one byte", Bytes(1, 0xA5)},
        {"incompressible", noise(4096, 12345)},
        {"one colour", Bytes(640 * 480, 0xFF)},
        {"ImageMagick BMP", readFile(pictures / "alpha32_bmp4.bmp")},
        {"FFmpeg TGA", readFile(pictures / "ff_alpha_bgra.tga")},
    };
    ASSERT_FALSE(cases[4].second.empty() || cases[5].second.empty());
    for (const auto& [name, input] : cases) {
        Bytes out(3, 0x55);  // stale content is replaced
        ASSERT_TRUE(compressLevel9(input.data(), input.size(), out)) << name;
        ASSERT_GE(out.size(), 6u) << name;
        EXPECT_EQ(Bytes(out.begin(), out.begin() + 2), hex("78 DA")) << name;
        EXPECT_EQ(inflate(out.data(), out.size(), input.size()), input) << name;
    }
}

TEST(BitmapTags, SeveralThreadsCompressAtOnce) {
    constexpr int kThreads = 4;
    std::vector<Bytes> inputs, expected(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        Bytes input = noise(1 << 16, t + 1);
        for (std::size_t i = 0; i < input.size(); i += 64) input[i] = 0;  // some matches too
        ASSERT_TRUE(compressLevel9(input.data(), input.size(), expected[t]));
        inputs.push_back(std::move(input));
    }
    std::vector<int> mismatches(kThreads, 0);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                Bytes out;
                for (int round = 0; round < 20; ++round) {
                    if (!compressLevel9(inputs[t].data(), inputs[t].size(), out) ||
                        out != expected[t]) {
                        ++mismatches[t];
                    }
                }
            });
        }
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(mismatches[t], 0) << "thread " << t;
        EXPECT_EQ(inflate(expected[t].data(), expected[t].size(), inputs[t].size()), inputs[t]);
    }
}

}  // namespace
}  // namespace vantrel::test
