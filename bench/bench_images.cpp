// Picture input and JPEG encoding of one 640 x 480 frame, each next to the
// bare work it wraps: a plain row copy for the BMP reader, TurboJPEG's own
// calls for the JPEG codec. PNG input of a 1920 x 1080 picture, RGB and
// RGBA, next to libspng decoding it in one call.
#include <benchmark/benchmark.h>
#include <spng.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/ImageReaders.h"

namespace {

using vantrel::RasterImage;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kQuality = 90;
constexpr std::size_t kStride = kWidth * 3;  // a multiple of 4: no padding

// A 24-bit bottom-up BMP file of gradients and soft waves, like a video frame.
std::vector<std::uint8_t> makeBmp() {
    std::vector<std::uint8_t> file(54 + kStride * kHeight);
    auto put32 = [&file](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, kWidth);
    put32(22, kHeight);
    put32(26, 1 | 24 << 16);  // planes, bit count
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = &file[54 + static_cast<std::size_t>(y) * kStride + x * 3];
            p[0] = static_cast<std::uint8_t>(128 + 100 * std::sin((x + 2 * y) / 23.0));
            p[1] = static_cast<std::uint8_t>(y * 255 / kHeight);
            p[2] = static_cast<std::uint8_t>(x * 255 / kWidth);
        }
    return file;
}

const std::vector<std::uint8_t>& bmp() {
    static const std::vector<std::uint8_t> file = makeBmp();
    return file;
}

RasterImage decodedPicture() {
    RasterImage picture;
    vantrel::decodeBmp(picture, bmp().data(), static_cast<std::uint32_t>(bmp().size()), true);
    return picture;
}

std::vector<std::uint8_t> jpegOfPicture() {
    std::vector<std::uint8_t> out;
    vantrel::JpegEncoder{kQuality}.encode(decodedPicture(), out);
    return out;
}

void BM_DecodeBmp24(benchmark::State& state) {
    RasterImage picture;
    for (auto _ : state) {
        vantrel::decodeBmp(picture, bmp().data(), static_cast<std::uint32_t>(bmp().size()), true);
        benchmark::DoNotOptimize(picture.pixels.data());
    }
}
BENCHMARK(BM_DecodeBmp24);

// The least any reader does: turn the rows over and widen 24 to 32 bits.
void BM_BareRowCopy24(benchmark::State& state) {
    std::vector<std::uint32_t> pixels(kWidth * kHeight);
    const std::uint8_t* rows = bmp().data() + 54;
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            const std::uint8_t* in = rows + static_cast<std::size_t>(kHeight - 1 - y) * kStride;
            std::uint32_t* out = pixels.data() + static_cast<std::size_t>(y) * kWidth;
            for (int x = 0; x < kWidth; ++x, in += 3)
                out[x] = in[0] | in[1] << 8 | in[2] << 16 | 0xFF000000u;
        }
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_BareRowCopy24);

void BM_EncodeJpegQ90(benchmark::State& state) {
    const RasterImage picture = decodedPicture();
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        vantrel::JpegEncoder{kQuality}.encode(picture, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
}
BENCHMARK(BM_EncodeJpegQ90);

// tjCompress2 on the same 32-bit pixels, handle and worst-case buffer made
// once outside the loop: the floor for any encoder on this library. With the
// accurate DCT (TurboJPEG's default is the fast one) its stream is
// byte-identical to ours.
void BM_TjCompress2Q90(benchmark::State& state) {
    const RasterImage picture = decodedPicture();
    tjhandle handle = tjInitCompress();
    unsigned long capacity = tjBufSize(kWidth, kHeight, TJSAMP_420);
    unsigned char* buffer = tjAlloc(static_cast<int>(capacity));
    unsigned long size = 0;
    const auto* pixels = reinterpret_cast<const unsigned char*>(picture.pixels.data());
    for (auto _ : state) {
        size = capacity;
        tjCompress2(handle, pixels, kWidth, 0, kHeight, TJPF_BGRX, &buffer, &size, TJSAMP_420,
                    kQuality, TJFLAG_NOREALLOC | TJFLAG_ACCURATEDCT);
        benchmark::DoNotOptimize(buffer);
    }
    state.counters["bytes"] = static_cast<double>(size);
    tjFree(buffer);
    tjDestroy(handle);
}
BENCHMARK(BM_TjCompress2Q90);

void BM_DecodeJpeg(benchmark::State& state) {
    const std::vector<std::uint8_t> jpeg = jpegOfPicture();
    RasterImage picture;
    for (auto _ : state) {
        vantrel::decodeJpeg(picture, jpeg.data(), static_cast<std::uint32_t>(jpeg.size()));
        benchmark::DoNotOptimize(picture.pixels.data());
    }
}
BENCHMARK(BM_DecodeJpeg);

void BM_TjDecompress2(benchmark::State& state) {
    const std::vector<std::uint8_t> jpeg = jpegOfPicture();
    std::vector<std::uint32_t> pixels(kWidth * kHeight);
    tjhandle handle = tjInitDecompress();
    for (auto _ : state) {
        tjDecompress2(handle, jpeg.data(), jpeg.size(),
                      reinterpret_cast<unsigned char*>(pixels.data()), kWidth, 0, kHeight,
                      TJPF_BGRA, 0);
        benchmark::DoNotOptimize(pixels.data());
    }
    tjDestroy(handle);
}
BENCHMARK(BM_TjDecompress2);

// A 1920 x 1080 plasma made by ImageMagick, with an alpha gradient for
// RGBA (colour type 6), without for RGB (type 2). Empty when ImageMagick
// is missing.
std::vector<std::uint8_t> makePng(bool alpha) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("vantrel-bench-" + std::to_string(::getpid()) + ".png");
    const std::string command =
        "convert -size 1920x1080 -seed 7 plasma:fractal " +
        std::string(alpha ? "\\( -size 1920x1080 gradient: \\) -alpha off -compose CopyOpacity "
                            "-composite png32:"
                          : "png24:") +
        path.string();
    std::vector<std::uint8_t> file;
    if (std::system(command.c_str()) == 0) {
        std::ifstream in(path, std::ios::binary);
        file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove(path);
    return file;
}

const std::vector<std::uint8_t>& png(bool alpha) {
    static const std::vector<std::uint8_t> files[2] = {makePng(false), makePng(true)};
    return files[alpha ? 1 : 0];
}

void BM_DecodePng(benchmark::State& state) {
    const std::vector<std::uint8_t>& file = png(state.range(0) != 0);
    if (file.empty()) state.SkipWithError("ImageMagick's convert made no PNG");
    RasterImage picture;
    for (auto _ : state) {
        vantrel::decodePng(picture, file.data(), file.size());
        benchmark::DoNotOptimize(picture.pixels.data());
    }
    state.counters["bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_DecodePng)->ArgName("alpha")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// spng_decode_image to 8-bit RGBA in one call, context made per picture as
// ours does: the floor for any reader on this library.
void BM_SpngDecodeImage(benchmark::State& state) {
    const std::vector<std::uint8_t>& file = png(state.range(0) != 0);
    if (file.empty()) state.SkipWithError("ImageMagick's convert made no PNG");
    std::vector<std::uint8_t> pixels;
    for (auto _ : state) {
        spng_ctx* context = spng_ctx_new(0);
        spng_set_png_buffer(context, file.data(), file.size());
        std::size_t size = 0;
        spng_decoded_image_size(context, SPNG_FMT_RGBA8, &size);
        pixels.resize(size);
        spng_decode_image(context, pixels.data(), size, SPNG_FMT_RGBA8, 0);
        spng_ctx_free(context);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_SpngDecodeImage)->ArgName("alpha")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
