#include "sound/Mp3Encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "ffmpeg/FfmpegHandles.h"
#include "ffmpeg/InputFormat.h"
#include "sound/Mp3Source.h"

namespace vantrel {

namespace {

constexpr std::int32_t kMp3Rates[] = {11025, 22050, 44100};
constexpr std::int64_t kStereoBitRate = 128000;
constexpr std::int64_t kMonoBitRate = 64000;
// Outside these a stated rate is damage, not sound: at 1 Hz each stored
// sample would become 11,025, and a small file hours of sound; at 100 MHz the
// resampler's filter alone takes a hundred megabytes.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 1000000;
// Output samples resampled at a time: the room the resampler writes into.
constexpr int kSliceSamples = 16384;

// The containers among the sound demuxers, and what users call their files.
// The other demuxers read a bare stream of one codec, which names the file.
constexpr std::pair<std::string_view, const char*> kContainers[] = {
    {"wav", "a WAV"},  {"w64", "a Wave64"}, {"aiff", "an AIFF"}, {"caf", "a CAF"},
    {"au", "an AU"},   {"ogg", "an Ogg"},   {"mov", "an MP4"},   {"matroska", "a Matroska"},
    {"asf", "an ASF"},
};

// Why a sound stating `hz` is refused; nothing for the rates sounds have.
const char* unrealRate(int hz) {
    if (hz < kLowestRate) {
        return "its sound states a sample rate below 1 kHz, which no real sound has";
    }
    if (hz > kHighestRate) {
        return "its sound states a sample rate above 1 MHz, which no real sound has";
    }
    return nullptr;
}

// EncodedMp3::sourceKind of a stream of `codec` read by `demuxer`.
std::string kindOf(AVCodecID codec, const AVInputFormat& demuxer) {
    std::string kind;
    switch (codec) {
        case AV_CODEC_ID_MP1: kind = "MPEG audio Layer I"; break;
        case AV_CODEC_ID_MP2: kind = "MPEG audio Layer II"; break;
        case AV_CODEC_ID_MP3: kind = "MPEG audio Layer III"; break;
        default: {
            // FFmpeg's long names put the expansion of an acronym in brackets:
            // "AAC (Advanced Audio Coding)".
            const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
            kind = descriptor == nullptr              ? "an unknown codec"
                   : descriptor->long_name != nullptr ? descriptor->long_name
                                                      : descriptor->name;
            kind = kind.substr(0, kind.find(" ("));
        }
    }
    // The demuxer's name lists what it reads: "mov,mp4,m4a,3gp,3g2,mj2".
    const std::string_view names = demuxer.name;
    const std::string_view name = names.substr(0, names.find(','));
    for (const auto& [container, file] : kContainers) {
        if (name == container) kind += std::string(" in ") + file + " file";
    }
    return kind;
}

struct ResamplerFreer {
    void operator()(SwrContext* p) const { swr_free(&p); }
};
struct FifoFreer {
    void operator()(AVAudioFifo* p) const { av_audio_fifo_free(p); }
};

// An FFmpeg channel layout that is released with it.
class ChannelLayout {
  public:
    explicit ChannelLayout(int channels) { av_channel_layout_default(&layout_, channels); }
    // The frame's layout; one of the default order where it names no channels.
    explicit ChannelLayout(const AVChannelLayout& layout) {
        if (layout.order == AV_CHANNEL_ORDER_UNSPEC ||
            av_channel_layout_copy(&layout_, &layout) < 0) {
            av_channel_layout_default(&layout_, layout.nb_channels);
        }
    }
    ~ChannelLayout() { av_channel_layout_uninit(&layout_); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;
    const AVChannelLayout* get() const { return &layout_; }
    AVChannelLayout* get() { return &layout_; }  // for calls that take no const

  private:
    AVChannelLayout layout_{};
};

// One run: demuxer and decoder, resampler, a queue of resampled samples, and
// the encoder whose packets are gathered.
class Transcoder {
  public:
    EncodedMp3 run(const std::string& path, std::string_view demuxers, FaultStep step,
                   double seconds, double start);

  private:
    bool fail(FaultCode code, const char* why);
    bool undecodable(FaultCode code, const char* why);
    bool openInput(std::string_view demuxers);
    bool openEncoder();
    bool decode(const AVPacket* packet);
    bool resample(const AVFrame* frame, int first = 0);
    int samplesBeforeStart(const AVFrame& frame);
    bool setUpResampler(const AVFrame& frame);
    bool convert(const std::uint8_t** in, int inCount);
    bool queue(std::uint8_t** data, int count);
    bool encodeQueued(bool all);
    bool receivePackets();
    bool keepFrames();
    bool full() const { return target_ >= 0 && queued_ >= target_; }

    std::string path_;
    FaultStep step_ = FaultStep::ReadFile;
    EncodedMp3 result_;
    FormatPtr format_;
    CodecPtr decoder_;
    CodecPtr encoder_;
    std::unique_ptr<SwrContext, ResamplerFreer> resampler_;
    std::unique_ptr<AVAudioFifo, FifoFreer> fifo_;
    FramePtr decoded_;
    FramePtr encoded_;
    PacketPtr input_;
    PacketPtr output_;
    int stream_ = -1;
    int channels_ = 0;

    // What the resampler was set up for.
    int inFormat_ = -1;
    int inRate_ = 0;
    std::unique_ptr<ChannelLayout> inLayout_;
    std::vector<std::vector<float>> planes_;  // its output, one plane a channel
    std::vector<const std::uint8_t*> slice_;  // where its next input starts, a pointer a plane

    double start_ = 0.0;           // seconds of decoded sound to leave out
    double decodedSeconds_ = 0.0;  // of sound decoded so far
    std::int64_t target_ = -1;  // samples to encode; -1: all there are
    std::int64_t queued_ = 0;   // samples put into the queue
    std::int64_t fed_ = 0;      // samples handed to the encoder
    // Whole frames of the encoder's delay to leave out, and the silence
    // before the sound that puts its first sample kLeadInSamples after them.
    std::int64_t cut_ = 0;
    std::int64_t silence_ = 0;
    std::vector<std::size_t> packetEnds_;
};

bool Transcoder::fail(FaultCode code, const char* why) {
    result_.fault = Fault(code, step_, path_, why);
    return false;
}

bool Transcoder::undecodable(FaultCode code, const char* why) {
    result_.undecodable = true;
    return fail(code, why);
}

bool Transcoder::openInput(std::string_view demuxers) {
    const int opened = openInputFile(format_, path_, demuxers);
    if (opened < 0) {
        return undecodable(opened == AVERROR(ENOENT) ? FaultCode::NotFound : FaultCode::Unreadable,
                           "it cannot be opened");
    }
    AVFormatContext* format = format_.get();
    if (avformat_find_stream_info(format, nullptr) < 0) {
        return undecodable(FaultCode::Unreadable, "it cannot be read");
    }
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream_ == AVERROR_STREAM_NOT_FOUND) {
        return undecodable(FaultCode::NoSound, "it has no sound");
    }
    if (stream_ < 0 || codec == nullptr) {
        return undecodable(FaultCode::Unsupported, "its sound is of a kind that cannot be decoded");
    }
    result_.sourceKind = kindOf(codec->id, *format->iformat);
    result_.sourceMp3 =
        codec->id == AV_CODEC_ID_MP3 && std::string_view(format->iformat->name) == "mp3";
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != stream_) format->streams[i]->discard = AVDISCARD_ALL;
    }
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_ ||
        avcodec_parameters_to_context(decoder_.get(), format->streams[stream_]->codecpar) < 0) {
        return fail(FaultCode::OutOfMemory, "not enough memory for its sound");
    }
    decoder_->pkt_timebase = format->streams[stream_]->time_base;
    if (avcodec_open2(decoder_.get(), codec, nullptr) < 0 || decoder_->sample_rate <= 0 ||
        decoder_->ch_layout.nb_channels <= 0) {
        return undecodable(FaultCode::Damaged, "its sound cannot be decoded");
    }
    result_.sourceRate = decoder_->sample_rate;
    if (const char* why = unrealRate(decoder_->sample_rate)) {
        return fail(FaultCode::Unsupported, why);
    }
    result_.sampleRate = nearestMp3Rate(result_.sourceRate);
    result_.mono = decoder_->ch_layout.nb_channels == 1;
    channels_ = result_.mono ? 1 : 2;
    return true;
}

bool Transcoder::openEncoder() {
    const AVCodec* codec = avcodec_find_encoder_by_name("libmp3lame");
    if (codec == nullptr) {
        return fail(FaultCode::Unsupported, "FFmpeg has no MP3 encoder here (it needs libmp3lame)");
    }
    encoder_.reset(avcodec_alloc_context3(codec));
    if (!encoder_) return fail(FaultCode::OutOfMemory, "not enough memory for its sound");
    const ChannelLayout layout(channels_);
    encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    encoder_->sample_rate = result_.sampleRate;
    encoder_->time_base = AVRational{1, result_.sampleRate};
    encoder_->bit_rate = result_.mono ? kMonoBitRate : kStereoBitRate;
    if (av_channel_layout_copy(&encoder_->ch_layout, layout.get()) < 0 ||
        avcodec_open2(encoder_.get(), codec, nullptr) < 0 || encoder_->frame_size <= 0) {
        return fail(FaultCode::Unsupported, "the MP3 encoder does not start");
    }
    fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels_, encoder_->frame_size));
    decoded_.reset(av_frame_alloc());
    encoded_.reset(av_frame_alloc());
    input_.reset(av_packet_alloc());
    output_.reset(av_packet_alloc());
    if (!fifo_ || !decoded_ || !encoded_ || !input_ || !output_) {
        return fail(FaultCode::OutOfMemory, "not enough memory for its sound");
    }
    const std::int64_t delay = encoder_->initial_padding;
    if (delay > kLeadInSamples) {
        cut_ = (delay - kLeadInSamples + encoder_->frame_size - 1) / encoder_->frame_size;
        silence_ = cut_ * encoder_->frame_size + kLeadInSamples - delay;
        std::vector<float> zeros(static_cast<std::size_t>(silence_), 0.0f);
        void* planes[2] = {zeros.data(), zeros.data()};
        if (av_audio_fifo_write(fifo_.get(), planes, static_cast<int>(silence_)) < silence_) {
            return fail(FaultCode::OutOfMemory, "not enough memory for its sound");
        }
    }
    encoded_->format = AV_SAMPLE_FMT_FLTP;
    encoded_->sample_rate = result_.sampleRate;
    encoded_->nb_samples = encoder_->frame_size;
    if (av_channel_layout_copy(&encoded_->ch_layout, layout.get()) < 0 ||
        av_frame_get_buffer(encoded_.get(), 0) < 0) {
        return fail(FaultCode::OutOfMemory, "not enough memory for its sound");
    }
    return true;
}

// Sends one packet (nothing: the end) and resamples the frames that come
// out. A packet that does not decode is passed over, as players do.
bool Transcoder::decode(const AVPacket* packet) {
    avcodec_send_packet(decoder_.get(), packet);
    while (!full()) {
        if (avcodec_receive_frame(decoder_.get(), decoded_.get()) < 0) break;
        const int before = samplesBeforeStart(*decoded_);
        const bool resampled = before == decoded_->nb_samples || resample(decoded_.get(), before);
        av_frame_unref(decoded_.get());
        if (!resampled) return false;
    }
    return true;
}

// The samples at the start of a decoded frame that come before the start
// asked for, counted in the frames' own rates.
int Transcoder::samplesBeforeStart(const AVFrame& frame) {
    const double begins = decodedSeconds_;
    if (frame.sample_rate <= 0) return frame.nb_samples;
    decodedSeconds_ += static_cast<double>(frame.nb_samples) / frame.sample_rate;
    if (begins >= start_) return 0;
    const double before = std::ceil((start_ - begins) * frame.sample_rate - 1e-6);
    return static_cast<int>(std::clamp(before, 0.0, static_cast<double>(frame.nb_samples)));
}

// Resamples a decoded frame (nothing: what the resampler still holds) into
// the queue, from its sample `first` on, a slice at a time, so that the room for its output stays small
// whatever the rates and the frame's length, and nothing past the target is
// resampled. The resampler is set up anew whenever the frames' format, rate
// or channels change.
bool Transcoder::resample(const AVFrame* frame, int first) {
    if (frame == nullptr) return !resampler_ || convert(nullptr, 0);
    if (!setUpResampler(*frame)) return false;

    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int channels = frame->ch_layout.nb_channels;
    const std::size_t step =
        static_cast<std::size_t>(av_get_bytes_per_sample(format)) * (planar ? 1 : channels);
    const int sliceInput = static_cast<int>(std::max<std::int64_t>(
        1, std::int64_t{kSliceSamples} * frame->sample_rate / result_.sampleRate));
    slice_.resize(static_cast<std::size_t>(planar ? channels : 1));
    for (int done = first; done < frame->nb_samples && !full();) {
        const int count = std::min(frame->nb_samples - done, sliceInput);
        for (std::size_t p = 0; p < slice_.size(); ++p) {
            slice_[p] = frame->extended_data[p] + static_cast<std::size_t>(done) * step;
        }
        if (!convert(slice_.data(), count)) return false;
        done += count;
    }
    return true;
}

bool Transcoder::setUpResampler(const AVFrame& frame) {
    ChannelLayout layout(frame.ch_layout);
    if (resampler_ && frame.format == inFormat_ && frame.sample_rate == inRate_ &&
        av_channel_layout_compare(layout.get(), inLayout_->get()) == 0) {
        return true;
    }
    if (const char* why = unrealRate(frame.sample_rate)) return fail(FaultCode::Unsupported, why);
    SwrContext* resampler = nullptr;
    ChannelLayout out(channels_);
    if (swr_alloc_set_opts2(&resampler, out.get(), AV_SAMPLE_FMT_FLTP, result_.sampleRate,
                            layout.get(), static_cast<AVSampleFormat>(frame.format),
                            frame.sample_rate, 0, nullptr) < 0) {
        return fail(FaultCode::Unsupported, "its sound cannot be resampled");
    }
    resampler_.reset(resampler);
    if (swr_init(resampler) < 0) {
        return fail(FaultCode::Unsupported, "its sound cannot be resampled");
    }
    inFormat_ = frame.format;
    inRate_ = frame.sample_rate;
    inLayout_ = std::make_unique<ChannelLayout>(frame.ch_layout);
    return true;
}

// Resamples inCount samples at in (nothing: what the resampler still holds)
// into the queue.
bool Transcoder::convert(const std::uint8_t** in, int inCount) {
    const int room = swr_get_out_samples(resampler_.get(), inCount);
    if (room < 0) return fail(FaultCode::Unsupported, "its sound cannot be resampled");
    planes_.resize(static_cast<std::size_t>(channels_));
    std::uint8_t* out[2] = {};
    for (int c = 0; c < channels_; ++c) {
        planes_[c].resize(std::max(planes_[c].size(), static_cast<std::size_t>(room)));
        out[c] = reinterpret_cast<std::uint8_t*>(planes_[c].data());
    }
    const int got = swr_convert(resampler_.get(), out, room, in, inCount);
    if (got < 0) return fail(FaultCode::Unsupported, "its sound cannot be resampled");
    // Damaged streams decode to samples far beyond full scale, even to
    // infinities and NaNs, on which LAME's quantizer aborts the program.
    for (int c = 0; c < channels_; ++c) {
        for (float& sample : std::span(planes_[c].data(), static_cast<std::size_t>(got))) {
            sample = std::isfinite(sample) ? std::clamp(sample, -1.0f, 1.0f) : 0.0f;
        }
    }
    return queue(out, got);
}

// Queues samples, no more than the target, and encodes the whole frames.
bool Transcoder::queue(std::uint8_t** data, int count) {
    if (target_ >= 0) count = static_cast<int>(std::min<std::int64_t>(count, target_ - queued_));
    if (count <= 0) return true;
    if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(data), count) < count) {
        return fail(FaultCode::OutOfMemory, "not enough memory for its sound");
    }
    queued_ += count;
    return encodeQueued(false);
}

// Hands the queue to the encoder one frame at a time; with `all`, also the
// short rest at the end.
bool Transcoder::encodeQueued(bool all) {
    const int frameSize = encoder_->frame_size;
    for (int size; (size = av_audio_fifo_size(fifo_.get())) >= frameSize || (all && size > 0);) {
        const int count = std::min(size, frameSize);
        if (av_frame_make_writable(encoded_.get()) < 0) {
            return fail(FaultCode::OutOfMemory, "not enough memory for its sound");
        }
        encoded_->nb_samples = count;
        av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(encoded_->data), count);
        encoded_->pts = fed_;
        fed_ += count;
        if (avcodec_send_frame(encoder_.get(), encoded_.get()) < 0 || !receivePackets()) {
            return fail(FaultCode::Damaged, "its sound cannot be encoded");
        }
    }
    return true;
}

bool Transcoder::receivePackets() {
    for (;;) {
        const int received = avcodec_receive_packet(encoder_.get(), output_.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
        if (received < 0) return false;
        SourceBuffer& bytes = *result_.bytes;
        bytes.insert(bytes.end(), output_->data, output_->data + output_->size);
        packetEnds_.push_back(bytes.size());
        av_packet_unref(output_.get());
    }
}

// Keeps the frames that follow the encoder's delay: as many as fit into the
// lead-in and the sound's length, and enough to reach past the lead-in.
// Should the first of them not take its main data along, the frames are
// kept from the first, and the seek samples are the whole delay.
bool Transcoder::keepFrames() {
    const std::int64_t frameSize = encoder_->frame_size;
    const auto frames = static_cast<std::int64_t>(packetEnds_.size());
    auto count = [&](std::int64_t first, std::int64_t lead) {
        const std::int64_t most = frames - first;
        return std::clamp((lead + queued_) / frameSize, std::min(lead / frameSize + 1, most), most);
    };
    SourceBuffer& bytes = *result_.bytes;
    std::int64_t lead = kLeadInSamples;
    std::int64_t kept = 0;
    std::optional<std::vector<std::uint8_t>> cut;
    if (cut_ > 0 && cut_ < frames) {
        kept = count(cut_, lead);
        cut = layer3FramesFrom(bytes.data(), packetEnds_[static_cast<std::size_t>(cut_ + kept - 1)],
                               static_cast<std::size_t>(cut_));
    }
    if (cut) {
        bytes.assign(cut->begin(), cut->end());
    } else {
        lead = std::max(encoder_->initial_padding, 0) + silence_;
        kept = count(0, lead);
        if (kept <= 0) return false;
        bytes.resize(packetEnds_[static_cast<std::size_t>(kept - 1)]);
    }
    bytes.shrink_to_fit();
    result_.seekSamples = static_cast<std::uint16_t>(lead);
    result_.sampleCount = static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(kept * frameSize - lead, 0, 0xFFFFFFFF));
    return true;
}

EncodedMp3 Transcoder::run(const std::string& path, std::string_view demuxers, FaultStep step,
                           double seconds, double start) {
    path_ = path;
    step_ = step;
    start_ = std::max(start, 0.0);
    result_.bytes = std::make_unique<SourceBuffer>();
    if (!openInput(demuxers) || !openEncoder()) return std::move(result_);
    if (seconds > 0.0) {
        target_ =
            static_cast<std::int64_t>(std::min(std::floor(seconds * result_.sampleRate), 1e15));
    }

    while (!full() && av_read_frame(format_.get(), input_.get()) >= 0) {
        const bool decoded = input_->stream_index != stream_ || decode(input_.get());
        av_packet_unref(input_.get());
        if (!decoded) return std::move(result_);
    }
    if (!full() && (!decode(nullptr) || !resample(nullptr))) return std::move(result_);
    if (queued_ == 0 && start_ > 0.0 && decodedSeconds_ > 0.0 && decodedSeconds_ <= start_) {
        fail(FaultCode::NoSound, "its sound ends before the start asked for");
        return std::move(result_);
    }
    if (queued_ == 0) {
        undecodable(FaultCode::Damaged, "its sound cannot be decoded");
        return std::move(result_);
    }
    // Silence up to the target, through the same queue.
    if (target_ > queued_) {
        std::vector<float> silence(static_cast<std::size_t>(encoder_->frame_size), 0.0f);
        std::uint8_t* plane = reinterpret_cast<std::uint8_t*>(silence.data());
        std::uint8_t* data[2] = {plane, plane};
        while (!full()) {
            if (!queue(data, static_cast<int>(silence.size()))) return std::move(result_);
        }
    }
    if (!encodeQueued(true) || avcodec_send_frame(encoder_.get(), nullptr) < 0 ||
        !receivePackets()) {
        fail(FaultCode::Damaged, "its sound cannot be encoded");
        return std::move(result_);
    }

    if (!keepFrames()) fail(FaultCode::Damaged, "its sound cannot be encoded");
    return std::move(result_);
}

}  // namespace

std::int32_t nearestMp3Rate(std::int32_t hz) {
    std::int32_t best = kMp3Rates[0];
    double bestDistance = INFINITY;
    for (const std::int32_t rate : kMp3Rates) {
        const double distance = std::abs(std::log(static_cast<double>(std::max(hz, 1)) / rate));
        if (distance <= bestDistance) {
            best = rate;
            bestDistance = distance;
        }
    }
    return best;
}

EncodedMp3 encodeMp3(const std::string& path, std::string_view demuxers, FaultStep step,
                     double seconds, double start) {
    try {
        EncodedMp3 result = Transcoder().run(path, demuxers, step, seconds, start);
        if (result.fault) result.bytes.reset();
        return result;
    } catch (const std::bad_alloc&) {
        EncodedMp3 result;
        result.fault = Fault(FaultCode::OutOfMemory, step, path, "not enough memory for its sound");
        return result;
    }
}

}  // namespace vantrel
