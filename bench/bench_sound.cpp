// A video's own sound made into MP3: a 60-second stereo AAC track at 48 kHz
// decoded, resampled to 44.1 kHz and encoded with LAME at 128 kbit/s, by
// encodeMp3 and by a bare loop of the same FFmpeg calls. The track is made
// with the ffmpeg program in a temporary folder at start. Time is
// wall-clock; CPU is the whole process's.
#include <benchmark/benchmark.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "sound/Mp3Encoder.h"

namespace {

constexpr int kSeconds = 60;

// The test track, made once; empty when the ffmpeg program failed.
const std::string& trackPath() {
    static const std::string path = [] {
        const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                             ("vantrel-bench-sound-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        const std::string file = (folder / "track.mp4").string();
        const std::string command =
            "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
            "sine=frequency=440:sample_rate=48000 -f lavfi -i "
            "anoisesrc=color=pink:sample_rate=48000:amplitude=0.2 -filter_complex amerge -t " +
            std::to_string(kSeconds) + " -c:a aac -b:a 160k '" + file + "'";
        return std::system(command.c_str()) == 0 ? file : std::string();
    }();
    return path;
}

void BM_EncodeMp3(benchmark::State& state) {
    if (trackPath().empty()) return state.SkipWithError("the ffmpeg program could not make it");
    std::size_t bytes = 0;
    for (auto _ : state) {
        const vantrel::EncodedMp3 sound = vantrel::encodeMp3(trackPath(), "mov", vantrel::FaultStep::ReencodeSound, kSeconds);
        if (!sound.bytes) return state.SkipWithError(sound.fault->detail.c_str());
        bytes = sound.bytes->size();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodeMp3)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// The same calls with nothing around them: no length kept, no checks.
void BM_BareLibavcodec(benchmark::State& state) {
    if (trackPath().empty()) return state.SkipWithError("the ffmpeg program could not make it");
    std::size_t bytes = 0;
    for (auto _ : state) {
        AVFormatContext* format = nullptr;
        avformat_open_input(&format, trackPath().c_str(), nullptr, nullptr);
        avformat_find_stream_info(format, nullptr);
        const AVCodec* codec = nullptr;
        const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        AVCodecContext* decoder = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar);
        avcodec_open2(decoder, codec, nullptr);

        const AVCodec* lame = avcodec_find_encoder_by_name("libmp3lame");
        AVCodecContext* encoder = avcodec_alloc_context3(lame);
        AVChannelLayout stereo{};
        av_channel_layout_default(&stereo, 2);
        encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
        encoder->sample_rate = 44100;
        encoder->time_base = AVRational{1, 44100};
        encoder->bit_rate = 128000;
        av_channel_layout_copy(&encoder->ch_layout, &stereo);
        avcodec_open2(encoder, lame, nullptr);

        SwrContext* resampler = nullptr;
        swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_FLTP, 44100, &decoder->ch_layout,
                            decoder->sample_fmt, decoder->sample_rate, 0, nullptr);
        swr_init(resampler);
        AVAudioFifo* fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 2, encoder->frame_size);
        AVFrame* decoded = av_frame_alloc();
        AVFrame* frame = av_frame_alloc();
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = 44100;
        frame->nb_samples = encoder->frame_size;
        av_channel_layout_copy(&frame->ch_layout, &stereo);
        av_frame_get_buffer(frame, 0);
        AVPacket* input = av_packet_alloc();
        AVPacket* output = av_packet_alloc();
        std::vector<float> left, right;
        std::vector<std::uint8_t> mp3;
        std::int64_t pts = 0;

        auto encode = [&](bool all) {
            while (av_audio_fifo_size(fifo) >= encoder->frame_size ||
                   (all && av_audio_fifo_size(fifo) > 0)) {
                av_frame_make_writable(frame);
                frame->nb_samples = av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->data),
                                                       encoder->frame_size);
                frame->pts = pts;
                pts += frame->nb_samples;
                avcodec_send_frame(encoder, frame);
                while (avcodec_receive_packet(encoder, output) == 0) {
                    mp3.insert(mp3.end(), output->data, output->data + output->size);
                    av_packet_unref(output);
                }
            }
        };
        auto resample = [&](const AVFrame* in) {
            const int room = swr_get_out_samples(resampler, in ? in->nb_samples : 0);
            left.resize(std::max<std::size_t>(left.size(), room));
            right.resize(left.size());
            std::uint8_t* out[2] = {reinterpret_cast<std::uint8_t*>(left.data()),
                                    reinterpret_cast<std::uint8_t*>(right.data())};
            const int got =
                swr_convert(resampler, out, room,
                            in ? const_cast<const std::uint8_t**>(in->extended_data) : nullptr,
                            in ? in->nb_samples : 0);
            av_audio_fifo_write(fifo, reinterpret_cast<void**>(out), got);
            encode(false);
        };
        while (av_read_frame(format, input) >= 0) {
            if (input->stream_index == stream) {
                avcodec_send_packet(decoder, input);
                while (avcodec_receive_frame(decoder, decoded) == 0) {
                    resample(decoded);
                    av_frame_unref(decoded);
                }
            }
            av_packet_unref(input);
        }
        avcodec_send_packet(decoder, nullptr);
        while (avcodec_receive_frame(decoder, decoded) == 0) resample(decoded);
        resample(nullptr);
        encode(true);
        avcodec_send_frame(encoder, nullptr);
        while (avcodec_receive_packet(encoder, output) == 0) {
            mp3.insert(mp3.end(), output->data, output->data + output->size);
            av_packet_unref(output);
        }
        bytes = mp3.size();

        av_packet_free(&output);
        av_packet_free(&input);
        av_frame_free(&frame);
        av_frame_free(&decoded);
        av_audio_fifo_free(fifo);
        swr_free(&resampler);
        av_channel_layout_uninit(&stereo);
        avcodec_free_context(&encoder);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BareLibavcodec)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!trackPath().empty()) {
        std::filesystem::remove_all(std::filesystem::path(trackPath()).parent_path());
    }
    return 0;
}
