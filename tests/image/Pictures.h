#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/RasterImage.h"
#include "support/Bytes.h"

namespace vantrel::test {

// Colours as 0xAARRGGBB, the value of a pixel in blue, green, red, alpha order.
constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kLime = 0xFF00FF00;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kBlack = 0xFF000000;

inline Bytes picture(const std::string& name) {
    Bytes data = readFile(std::string(VANTREL_TEST_DATA) + "/image/" + name);
    EXPECT_FALSE(data.empty()) << name;
    return data;
}

inline std::uint32_t at(const RasterImage& p, int x, int y) {
    return p.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) +
                    static_cast<std::size_t>(x)];
}

// The drawings of tests/data/image/make.sh.
inline std::uint32_t quad(int x, int y) {
    if (y < 3) return x < 4 ? kRed : kLime;
    return x < 4 ? kBlue : kWhite;
}
inline std::uint32_t alphaQuad(int x, int y) {
    if (x == 0 && y == 0) return 0;
    if (x == 1 && y == 4) return 0x800000FF;
    return quad(x, y);
}
inline std::uint32_t mono(int x, int y) { return x <= 2 || (x == 9 && y == 0) ? kBlack : kWhite; }
inline std::uint32_t ramp(int x, int y) {
    if (y == 1) return kWhite;
    const auto k = static_cast<std::uint32_t>(x);
    return 0xFF000000u | (12 * k) << 16 | (255 - 12 * k) << 8 | 5 * k;
}

// Every pixel of p against the drawing; reports the first few differences.
template <typename Drawing>
void expectDrawing(const RasterImage& p, int width, int height, Drawing drawing,
                   const std::string& name) {
    ASSERT_EQ(p.width, width) << name;
    ASSERT_EQ(p.height, height) << name;
    ASSERT_EQ(p.pixels.size(), static_cast<std::size_t>(width * height)) << name;
    int mismatches = 0;
    for (int y = 0; y < height && mismatches < 3; ++y)
        for (int x = 0; x < width && mismatches < 3; ++x)
            if (at(p, x, y) != drawing(x, y)) {
                ++mismatches;
                ADD_FAILURE() << name << " pixel (" << x << "," << y << ") is " << std::hex
                              << at(p, x, y) << ", drawn " << drawing(x, y);
            }
}

// Every pixel of p against tests/data/image/NAME.rgba, what an independent
// decoder made of NAME (see make.sh): red, green, blue, alpha bytes, top row
// first. Channels may differ by `tolerance` levels.
inline void expectReference(const RasterImage& p, const std::string& name, int tolerance = 0) {
    const Bytes reference = picture(name + ".rgba");
    ASSERT_EQ(p.pixels.size() * 4, reference.size()) << name;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const int ours = p.pixels[i / 4] >> (i % 4 == 3 ? 24 : 16 - 8 * (i % 4)) & 255;
        if (std::abs(ours - reference[i]) > tolerance) {
            ADD_FAILURE() << name << " pixel " << i / 4 << " is " << std::hex << p.pixels[i / 4];
            return;
        }
    }
}

inline void putU16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putU32(Bytes& b, std::size_t at, std::uint32_t v) {
    putU16(b, at, v & 0xFFFF);
    putU16(b, at + 2, v >> 16);
}
inline void appendU32(Bytes& b, std::uint32_t v) {
    b.resize(b.size() + 4);
    putU32(b, b.size() - 4, v);
}

}  // namespace vantrel::test
