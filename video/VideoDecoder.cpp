#include "video/VideoDecoder.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/murmur3.h>
}

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <vector>

#include "image/ImageReaders.h"

namespace vantrel {
namespace {

// Limits that keep every loop finite on damaged files: demuxer and decoder
// steps spent on one frame; frames decoded after a seek while looking for a
// keyframe, and from there for a frame with a stored timestamp.
constexpr int kMaxStepsPerFrame = 1 << 16;
constexpr int kMaxFramesToKeyframe = 1 << 12;
constexpr std::size_t kMaxFramesToTimestamp = 256;

// Below this distance moving ahead always decodes forward.
constexpr std::int64_t kMinForwardReach = 16;

// Seeks tried, each further back, before reading from the start.
constexpr int kSeekAttempts = 3;

// The containers video files come in. Leaving out playlist, concatenation
// and text demuxers keeps a file with a video extension from making FFmpeg
// read other files.
constexpr const char* kFormats = "avi,mpeg,mpegts,mpegvideo,m4v,mov,matroska,asf,dv,flv";

bool valid(AVRational r) { return r.num > 0 && r.den > 0; }

std::optional<std::int64_t> minus(std::int64_t a, std::int64_t b) {
    std::int64_t d;
    if (__builtin_sub_overflow(a, b, &d)) return std::nullopt;
    return d;
}

std::optional<std::int64_t> plus(std::int64_t a, std::int64_t b) {
    std::int64_t s;
    if (__builtin_add_overflow(a, b, &s)) return std::nullopt;
    return s;
}

}  // namespace

bool VideoDecoder::open(const std::string& path) {
    path_ = path;
    if (!openDemuxer()) return false;
    const AVStream* stream = format_->streams[streamIndex_];
    rate_ = valid(stream->avg_frame_rate) ? stream->avg_frame_rate : stream->r_frame_rate;
    if (!valid(rate_)) return false;
    if (format_->duration_estimation_method != AVFMT_DURATION_FROM_STREAM) {
        countedFrames_ = countPackets();
        if (!openDemuxer()) return false;
    }
    return startDecoding();
}

bool VideoDecoder::statedLength(std::int64_t& ticks, AVRational& timeBase) const {
    const AVStream* stream = format_->streams[streamIndex_];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0 && valid(timeBase_)) {
        ticks = stream->duration;
        timeBase = timeBase_;
        return true;
    }
    if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
        ticks = format_->duration;
        timeBase = AV_TIME_BASE_Q;
        return true;
    }
    return false;
}

bool VideoDecoder::moveTo(std::int64_t target) {
    if (target < 0) return false;
    const bool ahead = current_ >= 0 && target >= current_;
    const bool decodeForward =
        ahead && (!timestampsPlaceFrames() || target - current_ <= forwardReach());
    if (!decodeForward && !seekBefore(target)) return false;
    while (current_ < target) {
        if (!advance()) return false;
    }
    return true;
}

// Opens the file's demuxer on its best video stream, ignoring the others.
// Whatever was decoded before is dropped. Frames over the pictures' limit
// are refused before anything of their size is decoded, here and by the
// decoders that look into the streams.
bool VideoDecoder::openDemuxer() {
    current_ = -1;
    lastKeyframe_ = -1;
    ahead_.clear();
    codec_.reset();
    format_.reset();
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", kFormats, 0);
    AVFormatContext* format = nullptr;
    const std::string url = "file:" + path_;
    const int opened = avformat_open_input(&format, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) return false;
    format_.reset(format);
    std::vector<AVDictionary*> codecOptions(format->nb_streams, nullptr);
    for (AVDictionary*& streamOptions : codecOptions) {
        av_dict_set_int(&streamOptions, "max_pixels", kMaxPicturePixels, 0);
    }
    const int found = avformat_find_stream_info(format, codecOptions.data());
    for (AVDictionary*& streamOptions : codecOptions) av_dict_free(&streamOptions);
    if (found < 0) return false;
    streamIndex_ = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (streamIndex_ < 0) return false;
    const AVCodecParameters* parameters = format->streams[streamIndex_]->codecpar;
    if ((parameters->width != 0 || parameters->height != 0) &&
        !fitsPictureLimit(parameters->width, parameters->height)) {
        framesTooLarge_ = true;
        return false;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != streamIndex_) format->streams[i]->discard = AVDISCARD_ALL;
    }
    timeBase_ = format->streams[streamIndex_]->time_base;
    // Program and transport streams, and raw streams, have timestamps that a
    // parser works out while reading; they need not come out the same after
    // a seek as before it.
    containerTimestamps_ =
        !(format->iformat->flags & (AVFMT_TS_DISCONT | AVFMT_GENERIC_INDEX | AVFMT_NOTIMESTAMPS));
    return true;
}

// Reads the whole file and counts the packets of the video stream, one per
// frame once parsed.
std::int64_t VideoDecoder::countPackets() {
    PacketPtr packet(av_packet_alloc());
    if (!packet) return 0;
    std::int64_t count = 0;
    while (av_read_frame(format_.get(), packet.get()) >= 0) {
        if (packet->stream_index == streamIndex_) ++count;
        av_packet_unref(packet.get());
    }
    return count;
}

// Opens the file anew and decodes frame 0.
bool VideoDecoder::start() { return openDemuxer() && startDecoding(); }

// Opens the decoder on the freshly opened demuxer and decodes frame 0.
bool VideoDecoder::startDecoding() {
    if (!frame_) frame_.reset(av_frame_alloc());
    if (!packet_) packet_.reset(av_packet_alloc());
    if (!frame_ || !packet_) return false;

    const AVCodecParameters* parameters = format_->streams[streamIndex_]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) return false;
    CodecPtr context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), parameters) < 0) return false;
    context->pkt_timebase = timeBase_;
    context->thread_count = 0;
    context->max_pixels = kMaxPicturePixels;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return false;
    codec_ = std::move(context);
    draining_ = false;

    if (!decodeNext(*frame_)) {
        // A stream that states no size, with a first frame over the limit.
        framesTooLarge_ = !fitsPictureLimit(std::max(codec_->width, 1), std::max(codec_->height, 1));
        return false;
    }
    current_ = 0;
    checkTimestamp();
    noteKeyframe();
    return true;
}

// Puts the next frame the decoder gives out into `into`. Frames over the
// pictures' limit, which a stream may change to midway, are passed over.
bool VideoDecoder::decodeNext(AVFrame& into) {
    for (int step = 0; step < kMaxStepsPerFrame; ++step) {
        const int received = avcodec_receive_frame(codec_.get(), &into);
        if (received == 0) {
            if (fitsPictureLimit(into.width, into.height)) return true;
            av_frame_unref(&into);
            continue;
        }
        if (received == AVERROR_EOF) return false;
        if (received != AVERROR(EAGAIN)) continue;  // a damaged frame; the next may decode
        if (draining_) return false;
        if (av_read_frame(format_.get(), packet_.get()) < 0) {
            // End of file or unreadable: let the decoder give out what it holds.
            avcodec_send_packet(codec_.get(), nullptr);
            draining_ = true;
            continue;
        }
        if (packet_->stream_index == streamIndex_) {
            // A packet the decoder refuses is damaged; the next one may decode.
            avcodec_send_packet(codec_.get(), packet_.get());
        }
        av_packet_unref(packet_.get());
    }
    return false;
}

// Moves on to the next frame in presentation order.
bool VideoDecoder::advance() {
    if (!ahead_.empty()) {
        frame_ = std::move(ahead_.front().frame);
        current_ = ahead_.front().index;
        ahead_.pop_front();
    } else if (decodeNext(*frame_)) {
        ++current_;
        checkTimestamp();
    } else {
        current_ = -1;
        return false;
    }
    noteKeyframe();
    return true;
}

// Compares the current frame's stored timestamp, if it has one, with its
// place in the count; the first one anchors the others.
void VideoDecoder::checkTimestamp() {
    if (frame_->pts == AV_NOPTS_VALUE) return;
    if (anchorIndex_ < 0) {
        anchorTimestamp_ = frame_->pts;
        anchorIndex_ = current_;
    } else if (indexAt(frame_->pts) != current_) {
        timestampsAgree_ = false;
    }
}

void VideoDecoder::noteKeyframe() {
    if (!frame_->key_frame) return;
    keyframes_.try_emplace(current_, pictureHash(*frame_));
    if (lastKeyframe_ >= 0 && current_ > lastKeyframe_) {
        longestGop_ = std::max(longestGop_, current_ - lastKeyframe_);
    }
    lastKeyframe_ = current_;
}

// The index shown at a stored timestamp, a mean frame time per frame from
// the anchor.
std::optional<std::int64_t> VideoDecoder::indexAt(std::int64_t timestamp) const {
    if (anchorIndex_ < 0) return std::nullopt;
    const auto ticks = minus(timestamp, anchorTimestamp_);
    if (!ticks) return std::nullopt;
    return plus(anchorIndex_, av_rescale_q(*ticks, timeBase_, av_inv_q(rate_)));
}

std::optional<std::int64_t> VideoDecoder::timestampOf(std::int64_t index) const {
    if (anchorIndex_ < 0) return std::nullopt;
    const auto frames = minus(index, anchorIndex_);
    if (!frames) return std::nullopt;
    return plus(anchorTimestamp_, av_rescale_q(*frames, av_inv_q(rate_), timeBase_));
}

// How far ahead decoding forward is cheaper than seeking: a seek lands up to
// one group of pictures before its target, so decoding forward wins up to
// about two of them. The span since the last keyframe counts as a group seen
// so far, which keeps long groups from making every move seek back to the
// same keyframe.
std::int64_t VideoDecoder::forwardReach() const {
    std::int64_t gop = longestGop_;
    if (lastKeyframe_ >= 0) gop = std::max(gop, current_ - lastKeyframe_);
    return std::max(kMinForwardReach, 2 * gop);
}

// Makes a keyframe at or before `target` the current frame.
bool VideoDecoder::seekBefore(std::int64_t target) {
    if (codec_ && anchorIndex_ >= 0) {
        // A program stream seek lands by timestamp, mostly past the keyframe
        // of the target's group; a container index lands on that keyframe.
        std::int64_t margin = containerTimestamps_ ? 0 : longestGop_;
        for (int attempt = 0; attempt < kSeekAttempts && target - margin > 0; ++attempt) {
            if (seekToKeyframe(target - margin, target)) return true;
            margin = std::max(4 * margin, std::max(longestGop_, kMinForwardReach));
        }
    }
    return start();
}

// Seeks to the keyframe the container finds at or before frame `from`, and
// makes it the current frame if it can be placed, at or before `target`.
bool VideoDecoder::seekToKeyframe(std::int64_t from, std::int64_t target) {
    current_ = -1;
    ahead_.clear();
    const auto timestamp = timestampOf(from);
    if (!timestamp ||
        av_seek_frame(format_.get(), streamIndex_, *timestamp, AVSEEK_FLAG_BACKWARD) < 0) {
        return false;
    }
    avcodec_flush_buffers(codec_.get());
    draining_ = false;

    FramePtr keyframe(av_frame_alloc());
    if (!keyframe) return false;
    int skipped = 0;
    do {
        if (skipped++ == kMaxFramesToKeyframe || !decodeNext(*keyframe)) return false;
    } while (!keyframe->key_frame);
    std::deque<FramePtr> run;
    run.push_back(std::move(keyframe));
    const auto first = place(run);
    if (!first || *first < 0 || *first > target) return false;

    std::int64_t index = *first;
    for (FramePtr& frame : run) ahead_.push_back({std::move(frame), index++});
    lastKeyframe_ = -1;
    return advance();
}

// The index of the keyframe that starts `run`, or nothing when it cannot
// be placed for certain.
std::optional<std::int64_t> VideoDecoder::place(std::deque<FramePtr>& run) {
    const std::uint64_t hash = pictureHash(*run.front());
    if (!timestampsPlaceFrames()) {
        // Only a keyframe decoded before, with a picture no other keyframe had.
        std::optional<std::int64_t> found;
        for (const auto& [index, known] : keyframes_) {
            if (known != hash) continue;
            if (found) return std::nullopt;
            found = index;
        }
        return found;
    }
    // By the first stored timestamp from the keyframe on, unless that index
    // is a keyframe decoded before with another picture.
    while (run.back()->pts == AV_NOPTS_VALUE) {
        FramePtr next(av_frame_alloc());
        if (run.size() == kMaxFramesToTimestamp || !next || !decodeNext(*next)) {
            return std::nullopt;
        }
        run.push_back(std::move(next));
    }
    const auto last = indexAt(run.back()->pts);
    if (!last) return std::nullopt;
    const auto first = minus(*last, static_cast<std::int64_t>(run.size() - 1));
    if (!first) return std::nullopt;
    const auto known = keyframes_.find(*first);
    if (known != keyframes_.end() && known->second != hash) return std::nullopt;
    return first;
}

// A 64-bit hash of the frame's first plane (luma, for the YUV formats).
std::uint64_t VideoDecoder::pictureHash(const AVFrame& frame) const {
    std::uint8_t digest[16] = {};
    std::unique_ptr<AVMurMur3, decltype(&av_free)> hasher(av_murmur3_alloc(), &av_free);
    if (!hasher) return 0;
    av_murmur3_init(hasher.get());
    const int rowBytes =
        av_image_get_linesize(static_cast<AVPixelFormat>(frame.format), frame.width, 0);
    if (rowBytes > 0 && rowBytes <= std::abs(frame.linesize[0])) {
        for (int y = 0; y < frame.height; ++y) {
            av_murmur3_update(hasher.get(), frame.data[0] + std::ptrdiff_t{y} * frame.linesize[0],
                              static_cast<std::size_t>(rowBytes));
        }
    }
    av_murmur3_final(hasher.get(), digest);
    std::uint64_t hash = 0;
    for (int i = 0; i < 8; ++i) hash = hash << 8 | digest[i];
    return hash;
}

}  // namespace vantrel
