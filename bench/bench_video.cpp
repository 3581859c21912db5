// Grabbing every frame of a 300-frame 640 x 480 MPEG-4 video in order, next
// to FFmpeg's own calls decoding it straight through: without converting the
// frames, converting them to 32-bit pixels in one call, and converting them
// as the frame source does, to 24-bit rows and then 32-bit pixels (which
// keeps the pictures equal to the ffmpeg program's 24-bit output). The video
// is made with the ffmpeg program in a temporary folder at start, and copied
// into MP4 twice, upright and with a display matrix turning it a quarter, to
// weigh what turning the frames costs. Time is wall-clock; CPU is the whole
// process's, decoder threads included.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "video/FfmpegHandles.h"
#include "video/VideoFrameSource.h"

namespace {

constexpr int kFrames = 300;
constexpr int kWidth = 640;
constexpr int kHeight = 480;

// The test video, made once; empty when the ffmpeg program failed.
const std::string& videoPath() {
    static const std::string path = [] {
        const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                             ("vantrel-bench-video-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        const std::string file = (folder / "clip.avi").string();
        const std::string command =
            "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=" +
            std::to_string(kWidth) + "x" + std::to_string(kHeight) + ":rate=25 -frames:v " +
            std::to_string(kFrames) + " -c:v mpeg4 -bf 2 -g 12 -q:v 4 '" + file + "'";
        return std::system(command.c_str()) == 0 ? file : std::string();
    }();
    return path;
}

// The video copied into MP4 beside it with the ffmpeg program's `options`;
// empty when that failed.
std::string copiedToMp4(const std::string& name, const std::string& options) {
    if (videoPath().empty()) return {};
    const std::string file = (std::filesystem::path(videoPath()).parent_path() / name).string();
    const std::string command = "ffmpeg -hide_banner -loglevel error -y -i '" + videoPath() +
                                "' -c copy " + options + " '" + file + "'";
    return std::system(command.c_str()) == 0 ? file : std::string();
}

// The video in MP4, upright or turned a quarter by its display matrix (the
// ffmpeg program writes a "rotate" tag so).
const std::string& mp4Path(bool turned) {
    static const std::string upright = copiedToMp4("clip.mp4", "");
    static const std::string quarter = copiedToMp4("turned.mp4", "-metadata:s:v:0 rotate=90");
    return turned ? quarter : upright;
}

void removeVideo() {
    if (!videoPath().empty()) {
        std::filesystem::remove_all(std::filesystem::path(videoPath()).parent_path());
    }
}

void BM_GrabAllFramesInOrder(benchmark::State& state) {
    if (videoPath().empty())
        return state.SkipWithError("the ffmpeg program could not make the video");
    vantrel::RasterImage picture;
    for (auto _ : state) {
        vantrel::VideoFrameSource source;
        if (!source.open(videoPath())) return state.SkipWithError("open failed");
        for (int i = 0; i < source.frameCount(); ++i) {
            if (!source.grabFrame(i, picture)) return state.SkipWithError("grab failed");
        }
        benchmark::DoNotOptimize(picture.pixels.data());
    }
    state.counters["frames/s"] = benchmark::Counter(double(kFrames) * double(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GrabAllFramesInOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// The same in MP4, upright (0) and turned a quarter (1): decoding and
// converting on one thread, as grabFrame does.
void BM_GrabAllFramesInOrderMp4(benchmark::State& state) {
    const std::string& path = mp4Path(state.range(0) != 0);
    if (path.empty()) return state.SkipWithError("the ffmpeg program could not make the video");
    vantrel::RasterImage picture;
    for (auto _ : state) {
        vantrel::VideoFrameSource source;
        if (!source.open(path)) return state.SkipWithError("open failed");
        for (int i = 0; i < source.frameCount(); ++i) {
            if (!source.grabFrame(i, picture)) return state.SkipWithError("grab failed");
        }
        benchmark::DoNotOptimize(picture.pixels.data());
    }
    state.counters["frames/s"] = benchmark::Counter(double(kFrames) * double(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GrabAllFramesInOrderMp4)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// Converting one decoded frame, the work a pipeline worker does for each
// (PendingPicture::finish), upright (0) and turned a quarter (1).
void BM_FinishFrame(benchmark::State& state) {
    const std::string& path = mp4Path(state.range(0) != 0);
    if (path.empty()) return state.SkipWithError("the ffmpeg program could not make the video");
    vantrel::VideoFrameSource source;
    if (!source.open(path)) return state.SkipWithError("open failed");
    const auto pending = source.grabLater(kFrames / 2);
    if (!pending) return state.SkipWithError("grab failed");
    vantrel::RasterImage picture;
    for (auto _ : state) {
        if (!pending->finish(picture)) return state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(picture.pixels.data());
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FinishFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A 200-frame 1920 x 1080 H.264 video with B-frames beside the MPEG-4 one,
// made once; empty when the ffmpeg program failed.
const std::string& h264Path() {
    static const std::string path = [] {
        if (videoPath().empty()) return std::string();
        const std::string file =
            (std::filesystem::path(videoPath()).parent_path() / "h264.mp4").string();
        const std::string command =
            "ffmpeg -hide_banner -loglevel error -y -f lavfi -i mandelbrot=size=1920x1080:rate=25 "
            "-vf noise=alls=6:allf=t -frames:v 200 -c:v libx264 -pix_fmt yuv420p '" +
            file + "'";
        return std::system(command.c_str()) == 0 ? file : std::string();
    }();
    return path;
}

// Decoding every frame of the H.264 video in order on 1 or 2 of the
// decoder's threads, without converting them: what the thread that feeds a
// conversion's pipeline does.
void BM_DecodeH264OnThreads(benchmark::State& state) {
    if (h264Path().empty())
        return state.SkipWithError("the ffmpeg program could not make the video");
    for (auto _ : state) {
        vantrel::VideoFrameSource source;
        source.setDecoderThreads(static_cast<unsigned>(state.range(0)));
        if (!source.open(h264Path())) return state.SkipWithError("open failed");
        for (int i = 0; i < source.frameCount(); ++i) {
            if (!source.grabLater(i)) return state.SkipWithError("grab failed");
        }
    }
    state.counters["frames/s"] =
        benchmark::Counter(200.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeH264OnThreads)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// What the bare decoding does with each frame.
enum class Conversion {
    none,
    toBgra,          // one libswscale call to 32-bit pixels
    viaBgr24ToBgra,  // the frame source's two: 24-bit rows, then 32-bit pixels
};

// Reads and decodes the whole video with FFmpeg's calls, the decoder set up
// as the frame source sets it up.
void bareDecode(benchmark::State& state, Conversion conversion) {
    if (videoPath().empty()) {
        return state.SkipWithError("the ffmpeg program could not make the video");
    }
    const int rowsStride = (kWidth * 3 + 31) & ~31;
    std::vector<std::uint8_t> rows(std::size_t(rowsStride) * (kHeight + 1));
    std::vector<std::uint8_t> pixels(std::size_t{kWidth} * 4 * (kHeight + 1));
    vantrel::ScalerPtr toBgra(sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight,
                                             AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr,
                                             nullptr));
    vantrel::ScalerPtr toBgr24(sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight,
                                              AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr,
                                              nullptr));
    vantrel::ScalerPtr widen(sws_getContext(kWidth, kHeight, AV_PIX_FMT_BGR24, kWidth, kHeight,
                                            AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr,
                                            nullptr));
    std::uint8_t* rowPlanes[4] = {rows.data(), nullptr, nullptr, nullptr};
    const int rowStrides[4] = {rowsStride, 0, 0, 0};
    std::uint8_t* pixelPlanes[4] = {pixels.data(), nullptr, nullptr, nullptr};
    const int pixelStrides[4] = {kWidth * 4, 0, 0, 0};

    for (auto _ : state) {
        AVFormatContext* rawFormat = nullptr;
        if (avformat_open_input(&rawFormat, videoPath().c_str(), nullptr, nullptr) < 0) {
            return state.SkipWithError("open failed");
        }
        vantrel::FormatPtr format(rawFormat);
        avformat_find_stream_info(rawFormat, nullptr);
        const AVCodec* codec = nullptr;
        const int stream = av_find_best_stream(rawFormat, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream < 0) return state.SkipWithError("no video stream");
        vantrel::CodecPtr decoder(avcodec_alloc_context3(codec));
        avcodec_parameters_to_context(decoder.get(), rawFormat->streams[stream]->codecpar);
        decoder->thread_count = 0;
        avcodec_open2(decoder.get(), codec, nullptr);
        vantrel::PacketPtr packet(av_packet_alloc());
        vantrel::FramePtr frame(av_frame_alloc());
        int decoded = 0;
        auto receive = [&] {
            while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
                ++decoded;
                if (conversion == Conversion::toBgra) {
                    sws_scale(toBgra.get(), frame->data, frame->linesize, 0, kHeight, pixelPlanes,
                              pixelStrides);
                } else if (conversion == Conversion::viaBgr24ToBgra) {
                    sws_scale(toBgr24.get(), frame->data, frame->linesize, 0, kHeight, rowPlanes,
                              rowStrides);
                    sws_scale(widen.get(), rowPlanes, rowStrides, 0, kHeight, pixelPlanes,
                              pixelStrides);
                }
            }
        };
        while (av_read_frame(rawFormat, packet.get()) >= 0) {
            if (packet->stream_index == stream) avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            receive();
        }
        avcodec_send_packet(decoder.get(), nullptr);
        receive();
        if (decoded != kFrames) return state.SkipWithError("wrong number of frames");
        benchmark::DoNotOptimize(pixels.data());
    }
    state.counters["frames/s"] = benchmark::Counter(double(kFrames) * double(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}

void BM_BareDecode(benchmark::State& state) { bareDecode(state, Conversion::none); }
BENCHMARK(BM_BareDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_BareDecodeToBgra(benchmark::State& state) { bareDecode(state, Conversion::toBgra); }
BENCHMARK(BM_BareDecodeToBgra)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

void BM_BareDecodeViaBgr24ToBgra(benchmark::State& state) {
    bareDecode(state, Conversion::viaBgr24ToBgra);
}
BENCHMARK(BM_BareDecodeViaBgr24ToBgra)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    removeVideo();
    return 0;
}
