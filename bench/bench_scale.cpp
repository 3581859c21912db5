// Scaling a 1920 x 1080 picture down to 640 x 360 with libswscale's area,
// bicubic and Lanczos filters: the time, and the PSNR against ImageMagick's
// Lanczos downscale of the same picture (counter "psnr_dB"), by which
// image/PictureScaler.h chooses its filter. Pictures are scaled as
// fitPicture scales them (each channel a plane of its own, accurate
// rounding); video frames as FrameConverter does (YUV 4:2:0 to 24-bit rows
// in one call). Then fitPicture itself, with and without alpha.
//
// The inputs are made by the ffmpeg program (a frame of its "mandelbrot"
// source with grain, and of "testsrc2") and the references by ImageMagick's
// convert, in a temporary folder.
#include <benchmark/benchmark.h>
#include <stdlib.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "image/PictureScaler.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kToWidth = 640;
constexpr int kToHeight = 360;

using Bytes = std::vector<std::uint8_t>;

Bytes readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A picture's blue, green, red, alpha bytes at 1920 x 1080, its YUV 4:2:0
// planes, and ImageMagick's Lanczos downscale of it to 640 x 360.
struct Source {
    Bytes bgra;
    Bytes yuv;
    Bytes reference;
};

Source makeSource(const std::string& lavfi) {
    std::string folder = (fs::temp_directory_path() / "vantrel-bench-scale-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) std::exit(1);
    const fs::path dir = folder;
    const std::string ffmpeg =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i '" + lavfi + "' -frames:v 1 -f rawvideo ";
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    const std::string commands[] = {
        ffmpeg + "-pix_fmt bgra '" + (dir / "in.bgra").string() + "'",
        ffmpeg + "-pix_fmt yuv420p '" + (dir / "in.yuv").string() + "'",
        "convert -size " + size + " -depth 8 'bgra:" + (dir / "in.bgra").string() +
            "' -filter Lanczos -resize " + std::to_string(kToWidth) + "x" +
            std::to_string(kToHeight) + "! -depth 8 'bgra:" + (dir / "ref.bgra").string() + "'",
    };
    for (const std::string& command : commands) {
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "bench_scale: failed: %s\n", command.c_str());
            std::exit(1);
        }
    }
    Source source{readAll(dir / "in.bgra"), readAll(dir / "in.yuv"), readAll(dir / "ref.bgra")};
    fs::remove_all(dir);
    return source;
}

const Source& source(const std::string& name) {
    static const std::map<std::string, Source> sources = {
        {"mandelbrot", makeSource("mandelbrot=size=1920x1080,select=eq(n\\,100),"
                                  "noise=alls=6:allf=t")},
        {"testsrc2", makeSource("testsrc2=size=1920x1080")},
    };
    return sources.at(name);
}

// The PSNR of blue, green, red bytes, `step` bytes a pixel, against the
// reference's.
double psnr(const std::uint8_t* ours, int step, int stride, const Bytes& reference) {
    double sum = 0.0;
    for (int y = 0; y < kToHeight; ++y) {
        for (int x = 0; x < kToWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double d = ours[y * stride + x * step + c] -
                                 reference[(static_cast<std::size_t>(y) * kToWidth + x) * 4 + c];
                sum += d * d;
            }
        }
    }
    return 10.0 * std::log10(255.0 * 255.0 * kToWidth * kToHeight * 3 / sum);
}

// The picture a channel at a time, as fitPicture scales it, without the
// premultiplying.
void BM_ScalePicture(benchmark::State& state, const std::string& name, int filter) {
    const Source& in = source(name);
    SwsContext* scaler =
        sws_getContext(kWidth, kHeight, AV_PIX_FMT_GRAY8, kToWidth, kToHeight, AV_PIX_FMT_GRAY8,
                       filter | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    const int inStride = kWidth + 64, outStride = kToWidth + 64;
    Bytes planes(static_cast<std::size_t>(inStride) * (kHeight + 1) * 3);
    Bytes scaled(static_cast<std::size_t>(outStride) * (kToHeight + 1) * 3);
    Bytes out(static_cast<std::size_t>(kToWidth) * kToHeight * 4);
    for (auto _ : state) {
        for (int c = 0; c < 3; ++c) {
            std::uint8_t* plane =
                planes.data() + static_cast<std::size_t>(c) * inStride * (kHeight + 1);
            for (std::size_t y = 0; y < kHeight; ++y) {
                for (std::size_t x = 0; x < kWidth; ++x) {
                    plane[y * inStride + x] = in.bgra[(y * kWidth + x) * 4 + c];
                }
            }
            const std::uint8_t* from[4] = {plane, nullptr, nullptr, nullptr};
            const int fromStrides[4] = {inStride, 0, 0, 0};
            std::uint8_t* to[4] = {
                scaled.data() + static_cast<std::size_t>(c) * outStride * (kToHeight + 1), nullptr,
                nullptr, nullptr};
            const int toStrides[4] = {outStride, 0, 0, 0};
            sws_scale(scaler, from, fromStrides, 0, kHeight, to, toStrides);
            for (std::size_t y = 0; y < kToHeight; ++y) {
                for (std::size_t x = 0; x < kToWidth; ++x) {
                    out[(y * kToWidth + x) * 4 + c] = to[0][y * outStride + x];
                }
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    sws_freeContext(scaler);
    state.counters["psnr_dB"] = psnr(out.data(), 4, kToWidth * 4, in.reference);
}

// The picture's YUV 4:2:0 planes to 24-bit rows, as FrameConverter does.
void BM_ScaleVideoFrame(benchmark::State& state, const std::string& name, int filter) {
    const Source& in = source(name);
    SwsContext* scaler = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kToWidth, kToHeight,
                                        AV_PIX_FMT_BGR24, filter, nullptr, nullptr, nullptr);
    const int stride = (kToWidth * 3 + 31) & ~31;
    Bytes rows(static_cast<std::size_t>(stride) * (kToHeight + 1));
    const std::size_t luma = static_cast<std::size_t>(kWidth) * kHeight;
    const std::uint8_t* from[4] = {in.yuv.data(), in.yuv.data() + luma,
                                   in.yuv.data() + luma + luma / 4, nullptr};
    const int fromStrides[4] = {kWidth, kWidth / 2, kWidth / 2, 0};
    std::uint8_t* to[4] = {rows.data(), nullptr, nullptr, nullptr};
    const int toStrides[4] = {stride, 0, 0, 0};
    for (auto _ : state) {
        sws_scale(scaler, from, fromStrides, 0, kHeight, to, toStrides);
        benchmark::DoNotOptimize(rows.data());
    }
    sws_freeContext(scaler);
}

void BM_FitPicture(benchmark::State& state, bool keepAlpha) {
    const Bytes& bgra = source("mandelbrot").bgra;
    vantrel::RasterImage picture;
    for (auto _ : state) {
        state.PauseTiming();
        picture.resize(kWidth, kHeight);
        std::memcpy(picture.pixels.data(), bgra.data(), bgra.size());
        state.ResumeTiming();
        vantrel::fitPicture(picture, {kToWidth, kToHeight}, keepAlpha);
        benchmark::DoNotOptimize(picture.pixels.data());
    }
}

const struct {
    const char* name;
    int flag;
} kFilters[] = {{"area", SWS_AREA}, {"bicubic", SWS_BICUBIC}, {"lanczos", SWS_LANCZOS}};

int registered = [] {
    for (const char* name : {"mandelbrot", "testsrc2"}) {
        for (const auto& filter : kFilters) {
            benchmark::RegisterBenchmark(
                ("BM_ScalePicture/" + std::string(name) + "/" + filter.name).c_str(),
                BM_ScalePicture, name, filter.flag)
                ->Unit(benchmark::kMillisecond);
        }
    }
    for (const auto& filter : kFilters) {
        benchmark::RegisterBenchmark(("BM_ScaleVideoFrame/" + std::string(filter.name)).c_str(),
                                     BM_ScaleVideoFrame, "mandelbrot", filter.flag)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("BM_FitPicture/opaque", BM_FitPicture, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_FitPicture/alpha", BM_FitPicture, true)
        ->Unit(benchmark::kMillisecond);
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
