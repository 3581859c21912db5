// Composing one 640 x 480 frame in each storage mode, next to the bare
// library work it wraps: zlib level 9 on the same ARGB bytes for lossless
// frames, a plain JPEG encode for JPEG frames.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "image/JpegCodec.h"
#include "swf/FrameComposer.h"

namespace {

using vantrel::CompressionType;
using vantrel::ConvertSettings;
using vantrel::RasterImage;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Gradients and soft waves, like a rendered frame.
RasterImage makePicture() {
    RasterImage picture;
    picture.resize(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const auto b = static_cast<std::uint32_t>(128 + 100 * std::sin((x + 2 * y) / 23.0));
            const auto g = static_cast<std::uint32_t>(y * 255 / kHeight);
            const auto r = static_cast<std::uint32_t>(x * 255 / kWidth);
            picture.pixels[y * kWidth + x] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    return picture;
}

const RasterImage& picture() {
    static const RasterImage p = makePicture();
    return p;
}

void composeFrames(benchmark::State& state, CompressionType compression, bool alpha) {
    ConvertSettings settings;
    settings.compression = compression;
    settings.includeAlpha = alpha;
    for (auto _ : state) {
        vantrel::SwfMovie movie;
        vantrel::SourceBuffers buffers;
        benchmark::DoNotOptimize(vantrel::composeFrame(movie, picture(), settings, buffers));
    }
}

void BM_ComposeLossless(benchmark::State& state) {
    composeFrames(state, CompressionType::Lossless, false);
}
void BM_ComposeLosslessAlpha(benchmark::State& state) {
    composeFrames(state, CompressionType::Lossless, true);
}
void BM_ComposeJpeg(benchmark::State& state) { composeFrames(state, CompressionType::Jpeg, false); }

// The bare work of a lossless frame: ARGB bytes already laid out, one
// compress2 call at level 9.
void BM_BareZlibLevel9(benchmark::State& state) {
    std::vector<std::uint8_t> argb(picture().pixels.size() * 4);
    for (std::size_t i = 0; i < picture().pixels.size(); ++i) {
        const std::uint32_t p = picture().pixels[i];
        argb[4 * i] = p >> 24;
        argb[4 * i + 1] = (p >> 16) & 0xFF;
        argb[4 * i + 2] = (p >> 8) & 0xFF;
        argb[4 * i + 3] = p & 0xFF;
    }
    std::vector<std::uint8_t> out(compressBound(argb.size()));
    for (auto _ : state) {
        uLongf length = out.size();
        benchmark::DoNotOptimize(
            compress2(out.data(), &length, argb.data(), argb.size(), Z_BEST_COMPRESSION));
    }
}

// The bare work of a JPEG frame: the encode alone.
void BM_BareJpegEncode(benchmark::State& state) {
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vantrel::JpegEncoder{90}.encode(picture(), out));
    }
}

BENCHMARK(BM_ComposeLossless)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareZlibLevel9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeLosslessAlpha)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareJpegEncode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
