// Composing one 640 x 480 frame in each storage mode, next to the bare
// library work it wraps: a plain JPEG encode for JPEG frames, and for the
// lossless pixels and alpha planes our deflate (libdeflate) against the
// zlib level 9 it replaced, on photo-like and flat-colour frames made by the
// ffmpeg program at 640 x 480 and 1920 x 1080. The "bytes" counter is the
// compressed size.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "image/JpegCodec.h"
#include "swf/BitmapTags.h"
#include "swf/FrameComposer.h"

namespace {

using vantrel::CompressionType;
using vantrel::FrameStorage;
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
    FrameStorage settings;
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

// The frames the two compressors are compared on, made by the ffmpeg
// program: grainy fractal (photo-like) and colour bars (flat colours, hard
// edges). The alpha planes: the photo's own luma (a soft matte), and a
// hard-edged disc on the bars.
struct TestFrame {
    const char* name;
    const char* source;  // lavfi source, without the size
    const char* colourFilters;
    const char* alphaFilters;
    int width;
    int height;
};
constexpr const char* kGrain = "noise=alls=6:allf=t";
constexpr const char* kDisc = "format=gray,geq=lum='if(lt(hypot(X-W/2,Y-H/2),H*0.4),255,0)'";
constexpr TestFrame kFrames[] = {
    {"photo_640x480", "mandelbrot", kGrain, kGrain, 640, 480},
    {"bars_640x480", "smptehdbars", "null", kDisc, 640, 480},
    {"photo_1920x1080", "mandelbrot", kGrain, kGrain, 1920, 1080},
    {"bars_1920x1080", "smptehdbars", "null", kDisc, 1920, 1080},
};

// One frame read from the ffmpeg program's raw output; empty when it failed.
std::vector<std::uint8_t> ffmpegFrame(const TestFrame& frame, const char* filters,
                                      const char* pixelFormat, std::size_t bytesPerPixel) {
    const std::string command = "ffmpeg -hide_banner -loglevel error -f lavfi -i " +
                                std::string(frame.source) + "=size=" + std::to_string(frame.width) +
                                "x" + std::to_string(frame.height) + " -vf \"" + filters +
                                "\" -frames:v 1 -f rawvideo -pix_fmt " + pixelFormat + " -";
    std::vector<std::uint8_t> out(std::size_t(frame.width) * frame.height * bytesPerPixel);
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    const std::size_t got = std::fread(out.data(), 1, out.size(), pipe);
    if (pclose(pipe) != 0 || got != out.size()) return {};
    return out;
}

// The bytes a lossless frame compresses: alpha, red, green, blue, colours
// premultiplied (no change for these opaque frames); and a JPEG frame's
// alpha plane.
struct FrameBytes {
    std::vector<std::uint8_t> argb;
    std::vector<std::uint8_t> alpha;
};

FrameBytes makeFrameBytes(const TestFrame& frame) {
    FrameBytes out;
    const std::vector<std::uint8_t> bgra = ffmpegFrame(frame, frame.colourFilters, "bgra", 4);
    out.argb.resize(bgra.size());
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        const std::uint8_t a = bgra[i + 3];
        out.argb[i] = a;
        out.argb[i + 1] = vantrel::premultiply(bgra[i + 2], a);
        out.argb[i + 2] = vantrel::premultiply(bgra[i + 1], a);
        out.argb[i + 3] = vantrel::premultiply(bgra[i], a);
    }
    out.alpha = ffmpegFrame(frame, frame.alphaFilters, "gray", 1);
    return out;
}

// Made on first use, so a filtered run makes only the frames it needs.
const FrameBytes& frameBytes(const TestFrame& frame) {
    static std::map<const TestFrame*, FrameBytes> made;
    auto it = made.find(&frame);
    if (it == made.end()) it = made.emplace(&frame, makeFrameBytes(frame)).first;
    return it->second;
}

// What the bitmaps were compressed with before: zlib level 9, room for its
// worst case.
bool zlibLevel9(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
    const uLong capacity = std::max<uLong>(compressBound(size), size + size / 100 + 12);
    out.resize(capacity);
    uLongf length = capacity;
    if (compress2(out.data(), &length, data, size, Z_BEST_COMPRESSION) != Z_OK) return false;
    out.resize(length);
    return true;
}

using Compressor = bool (*)(const std::uint8_t*, std::size_t, std::vector<std::uint8_t>&);

void compressFrame(benchmark::State& state, Compressor compress,
                   const std::vector<std::uint8_t>& input) {
    if (input.empty()) return state.SkipWithError("the ffmpeg program could not make the frame");
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        if (!compress(input.data(), input.size(), out)) return state.SkipWithError("failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = double(out.size());
}

// BM_Deflate/<argb or alpha>/<frame>/<zlib9 or libdeflate>, the two
// compressors of one input next to each other.
void registerDeflateBenchmarks() {
    const std::pair<const char*, Compressor> compressors[] = {
        {"zlib9", zlibLevel9}, {"libdeflate", vantrel::compressLevel9}};
    for (const bool argb : {true, false}) {
        for (const TestFrame& frame : kFrames) {
            for (const auto& [compressorName, compress] : compressors) {
                const std::string name = std::string("BM_Deflate/") + (argb ? "argb/" : "alpha/") +
                                         frame.name + "/" + compressorName;
                benchmark::RegisterBenchmark(name.c_str(), [&frame, argb,
                                                            compress](benchmark::State& state) {
                    const FrameBytes& bytes = frameBytes(frame);
                    compressFrame(state, compress, argb ? bytes.argb : bytes.alpha);
                })->Unit(benchmark::kMillisecond);
            }
        }
    }
}

// What a compressor of our own on every call costs.
void BM_LibdeflateCompressorSetUp(benchmark::State& state) {
    for (auto _ : state) {
        libdeflate_compressor* c = libdeflate_alloc_compressor(vantrel::kDeflateLevel);
        benchmark::DoNotOptimize(c);
        libdeflate_free_compressor(c);
    }
}
BENCHMARK(BM_LibdeflateCompressorSetUp)->Unit(benchmark::kMicrosecond);

// The bare work of a JPEG frame: the encode alone.
void BM_BareJpegEncode(benchmark::State& state) {
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vantrel::JpegEncoder{90}.encode(picture(), out));
    }
}

BENCHMARK(BM_ComposeLossless)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeLosslessAlpha)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareJpegEncode)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    registerDeflateBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
