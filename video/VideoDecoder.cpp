#include "video/VideoDecoder.h"

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/murmur3.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>

#include "base/Formats.h"
#include "video/VideoHeader.h"

namespace vantrel {
namespace {

// Limits that keep every loop finite on damaged files: demuxer and decoder
// steps spent on one frame; frames decoded after a seek while looking for a
// keyframe.
constexpr int kMaxStepsPerFrame = 1 << 16;
constexpr int kMaxFramesToKeyframe = 1 << 12;

// Below this distance moving ahead always decodes forward.
constexpr std::int64_t kMinForwardReach = 16;

// Past what the pass from the start reached, below this distance moving
// ahead always decodes forward: ten seconds at 25 frames per second.
constexpr std::int64_t kMinLeapPastPass = 256;

// Frames the pass from the start must have decoded, all without error,
// before a move may leap past it: a file known by its first frame alone has
// shown nothing of how it decodes, and a frame further on that does not
// decode moves every later one down the count.
constexpr std::int64_t kMinCleanPassToLeap = 256;

// Seeks tried, each further back, before reading from the start.
constexpr int kSeekAttempts = 3;

// The most decoder threads asked of FFmpeg, which warns above it.
constexpr int kMaxDecoderThreads = 16;

// The codecs decoded on frame threads, with FFmpeg's AV_EF_EXPLODE, which
// makes any damage they notice an error of the packet: each was found to
// show damage no later than its pictures start to differ from one thread's. Other codecs decode on one thread: on frame threads MPEG-4 flags
// its damaged frames only now and then (whether the flag is copied to the
// frame given out races with its concealment), and with AV_EF_EXPLODE it
// aborts the process; VP8 gives other pictures of damaged frames without a
// sign. Slice threads are not used either: MPEG-1 and MPEG-2 on them pass
// over a damaged slice without the sign one thread gives.
constexpr AVCodecID kThreadedCodecs[] = {AV_CODEC_ID_H264, AV_CODEC_ID_VP9};

bool decodesOnThreads(const AVCodec& codec) {
    return (codec.capabilities & AV_CODEC_CAP_FRAME_THREADS) &&
           std::find(std::begin(kThreadedCodecs), std::end(kThreadedCodecs), codec.id) !=
               std::end(kThreadedCodecs);
}

// Containers that store a time for every frame, whose frames may therefore
// be spaced unevenly. AVI counts frames, and MPEG streams have their times
// worked out by a parser.
constexpr const char* kTimedFormats = "mov,matroska,flv,asf,ogg";

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

// Whether every time, in rising order, is within a quarter of the mean
// spacing of its evenly spaced place, measured from the first time to the
// last. Rounding to the container's time base stays well inside that; one
// frame dropped or held for two does not.
bool evenlySpaced(const std::vector<std::int64_t>& times) {
    __extension__ typedef __int128 Wide;  // holds any difference of times, times a count
    const std::size_t n = times.size();
    if (n < 3) return true;
    const Wide span = Wide{times.back()} - times.front();
    if (span <= 0) return true;
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const Wide off = (Wide{times[k]} - times.front()) * Wide(n - 1) - span * Wide(k);
        if (4 * (off < 0 ? -off : off) >= span) return false;
    }
    return true;
}

// Hands the decoder buffers that start black. Its pool gives back the
// buffers of frames no longer held with their pictures still in them, and
// which one comes back depends on how many frames the later stages hold, so
// on the number of threads. A damaged frame can come out only partly
// decoded, the rest left as the buffer was: MJPEG does so without flagging
// it, so such frames cannot be told apart and refused, and copying them out
// afterwards would copy the leftover picture too. Cleared first, that rest
// is black whatever was decoded before; one pass over the buffer costs
// little beside decoding into it.
int clearedBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
    const int got = avcodec_default_get_buffer2(context, frame, flags);
    if (got < 0) return got;
    std::uint8_t* planes[4];
    std::ptrdiff_t strides[4];
    for (int i = 0; i < 4; ++i) {
        planes[i] = frame->data[i];
        strides[i] = frame->linesize[i];
    }
    if (av_image_fill_black(planes, strides, static_cast<AVPixelFormat>(frame->format),
                            frame->color_range, frame->width, frame->height) < 0) {
        // A format without a black to fill: zeros are as certain.
        for (AVBufferRef* buffer : frame->buf) {
            if (buffer != nullptr) std::memset(buffer->data, 0, buffer->size);
        }
    }
    return 0;
}

}  // namespace

bool VideoDecoder::open(const std::string& path, int threads) {
    path_ = path;
    threads_ = std::clamp(threads, 1, kMaxDecoderThreads);
    if (!openDemuxer()) return false;
    const AVStream* stream = format_->streams[streamIndex_];
    rate_ = valid(stream->avg_frame_rate) ? stream->avg_frame_rate : stream->r_frame_rate;
    if (!valid(rate_)) return false;
    const bool stated = format_->duration_estimation_method == AVFMT_DURATION_FROM_STREAM;
    const bool timed = av_match_list(format_->iformat->name, kTimedFormats, ',') > 0;
    const Packets packets = readPackets(timed);
    if (!stated) countedFrames_ = packets.count;
    timedFrames_ = static_cast<std::int64_t>(packets.times.size());
    variableRate_ = !evenlySpaced(packets.times);
    if (variableRate_) {
        timedSpan_ = minus(packets.end, packets.times.front()).value_or(0) * av_q2d(timeBase_);
    }
    if (containerTimestamps_ && packets.first < packets.last) {
        const double first = static_cast<double>(packets.first) * av_q2d(timeBase_);
        Extent& extent = extent_.emplace();
        extent.pictures = static_cast<double>(packets.last) * av_q2d(timeBase_) - first;
        extent.sound = std::max(packets.soundEnd - first, 0.0);
        if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
            extent.stated = static_cast<double>(format_->duration) / AV_TIME_BASE;
        }
    }
    if (!openDemuxer()) return false;
    // The mean rate cannot turn uneven times into indexes.
    if (variableRate_) timestampsAgree_ = false;
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
        timeBase = AVRational{1, AV_TIME_BASE};  // AV_TIME_BASE_Q is a C compound literal
        return true;
    }
    return false;
}

bool VideoDecoder::moveTo(std::int64_t target) {
    showingPrevious_ = false;
    if (threadsMetDamage_ || decodingEnded_) return false;
    if (target < 0 || (end_ >= 0 && target >= end_)) return false;
    // The frame before the one decoded last, on the pass: at hand.
    if (target == previousIndex_) {
        showingPrevious_ = true;
        return true;
    }
    if (current_ >= 0 && target < current_) checkGrabs_ = true;
    if (mayExtendPassToLeap(target)) {
        // The clean stretch a leap needs first, decoded on the pass; a
        // stream that ends or fails in it is read as before.
        const Stepped stepped = stepTo(kMinCleanPassToLeap - 1);
        if (stepped == Stepped::End) return false;
        if (stepped != Stepped::Done) {
            return start() && stepTo(target) == Stepped::Done && confirm(target);
        }
    }
    const bool forward = current_ >= 0 && target >= current_ &&
                         (!mayLeapTo(target) || target - current_ <= forwardReach());
    if (forward) {
        const bool fromPass = onPass_;
        const Stepped stepped = stepTo(target);
        if (stepped == Stepped::Done && confirm(target)) return true;
        // Off the pass, a stream that stops decoding is read again from the
        // start; one that ends tells where only as advance() allows.
        if (stepped == Stepped::Failed && fromPass) return false;
    } else if (seekBefore(target) && stepTo(target) == Stepped::Done && confirm(target)) {
        return true;
    }
    // Reading from the start always finds the frame, unless the pass ended
    // before it.
    if (end_ >= 0 && target >= end_) return false;
    return start() && stepTo(target) == Stepped::Done && confirm(target);
}

// Whether the current frame, reached at `target`, is the pass's. On the pass
// it is, and once grabs have gone back its picture is kept for later ones.
// Decoding from a seek's keyframe need not give the pass's pictures (a
// damaged stream may refer to frames before it): there only a picture the
// pass gave at that index confirms it, and past the pass only timestamps
// that place frames.
bool VideoDecoder::confirm(std::int64_t target) {
    if (onPass_) {
        if (checkGrabs_) grabbed_.try_emplace(target, pictureHash(*frame_));
        return true;
    }
    if (target >= passed()) return mayLeapTo(target);
    const std::uint64_t hash = pictureHash(*frame_);
    const auto grabbed = grabbed_.find(target);
    if (grabbed != grabbed_.end()) return grabbed->second == hash;
    const auto keyframe = keyframes_.find(target);
    return keyframe != keyframes_.end() && keyframe->second == hash;
}

// Opens the file's demuxer on its best video stream, ignoring the others.
// Whatever was decoded before is dropped. Frames over the pictures' limit
// are refused before anything of their size is decoded, here and by the
// decoders that look into the streams.
bool VideoDecoder::openDemuxer() {
    settle();
    lose();
    // What is read from now on may differ, when the file changed.
    previousIndex_ = -1;
    showingPrevious_ = false;
    lastKeyframe_ = -1;
    codec_.reset();
    format_.reset();
    FaultCode failure = FaultCode::Unreadable;
    streamIndex_ = openVideoStreams(format_, path_, failure);
    noVideoStream_ = failure == FaultCode::NoVideo;
    if (failure == FaultCode::TooLarge) framesTooLarge_ = true;
    if (streamIndex_ < 0) return false;
    AVFormatContext* format = format_.get();
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
// frame once parsed. When `timed`, also collects the stored times of those
// the decoder does not drop (the ones an edit list cuts off), in rising
// order, and where the last of them ends; no times at all when a packet has
// none. Finds where the kept frames begin and end, and where the best audio
// stream's packets end: packets cut off by the end of the file, which the
// demuxer marks corrupt, do not count.
VideoDecoder::Packets VideoDecoder::readPackets(bool timed) {
    Packets packets;
    PacketPtr packet(av_packet_alloc());
    if (!packet) return packets;
    const int sound = av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (sound >= 0) format_->streams[sound]->discard = AVDISCARD_DEFAULT;
    // For the frames that state no duration, as FLV and ASF store them.
    const std::int64_t frameTicks =
        std::max<std::int64_t>(av_rescale_q(1, av_inv_q(rate_), timeBase_), 1);
    while (av_read_frame(format_.get(), packet.get()) >= 0) {
        const bool kept = !(packet->flags & (AV_PKT_FLAG_DISCARD | AV_PKT_FLAG_CORRUPT));
        const std::int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (packet->stream_index == streamIndex_) {
            ++packets.count;
            if (packet->pts == AV_NOPTS_VALUE) {
                timed = false;
            } else if (timed && !(packet->flags & AV_PKT_FLAG_DISCARD)) {
                packets.times.push_back(packet->pts);
                const auto end = plus(packet->pts, std::max<std::int64_t>(packet->duration, 0));
                packets.end = std::max(packets.end, end.value_or(packet->pts));
            }
            if (kept && time != AV_NOPTS_VALUE) {
                const auto end = plus(time, packet->duration > 0 ? packet->duration : frameTicks);
                packets.first = std::min(packets.first, time);
                packets.last = std::max(packets.last, end.value_or(time));
            }
        } else if (packet->stream_index == sound && kept && time != AV_NOPTS_VALUE) {
            const auto end = plus(time, std::max<std::int64_t>(packet->duration, 0));
            const double seconds = static_cast<double>(end.value_or(time)) *
                                   av_q2d(format_->streams[sound]->time_base);
            packets.soundEnd = std::max(packets.soundEnd, seconds);
        }
        av_packet_unref(packet.get());
    }
    if (!timed) packets.times.clear();
    std::sort(packets.times.begin(), packets.times.end());
    return packets;
}

// Opens the file anew and decodes frame 0.
bool VideoDecoder::start() { return !threadsMetDamage_ && openDemuxer() && startDecoding(); }

// Opens the decoder on the freshly opened demuxer and decodes frame 0, the
// start of the pass.
bool VideoDecoder::startDecoding() {
    if (!frame_) frame_.reset(av_frame_alloc());
    if (!previous_) previous_.reset(av_frame_alloc());
    if (!packet_) packet_.reset(av_packet_alloc());
    if (!frame_ || !previous_ || !packet_) return false;

    const AVCodecParameters* parameters = format_->streams[streamIndex_]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) return false;
    CodecPtr context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), parameters) < 0) return false;
    context->pkt_timebase = timeBase_;
    // Decoder threads race on the damaged parts of broken streams, so that
    // the same file decodes to other pictures from run to run: on threads,
    // decoding stops at the first damage. Frame threads are left out of the
    // type on one thread, since FFmpeg warns of a custom buffer function
    // where they are asked for and the callback is not marked safe for them.
    threaded_ = threads_ > 1 && decodesOnThreads(*codec);
    if (threaded_) {
        context->thread_count = threads_;
        context->thread_type = FF_THREAD_FRAME;
        context->err_recognition |= AV_EF_EXPLODE;
#if LIBAVCODEC_VERSION_MAJOR < 60
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        context->thread_safe_callbacks = 1;  // clearedBuffer is
#pragma GCC diagnostic pop
#endif
    } else {
        context->thread_count = 1;
        context->thread_type = FF_THREAD_SLICE;
    }
    context->max_pixels = kMaxPicturePixels;
    context->get_buffer2 = clearedBuffer;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return false;
    codec_ = std::move(context);
    draining_ = false;

    onPass_ = true;  // damage in frame 0 is the pass's
    if (decodeNext(*frame_) != Decoded::Frame) {
        onPass_ = false;
        // A stream that states no size, with a first frame over the limit.
        framesTooLarge_ =
            !fitsPictureLimit(std::max(codec_->width, 1), std::max(codec_->height, 1));
        return false;
    }
    current_ = 0;
    if (seen_.empty()) record();
    noteKeyframe();
    return true;
}

// Puts the next frame the decoder gives out into `into`. Frames over the
// pictures' limit, which a stream may change to midway, are passed over.
VideoDecoder::Decoded VideoDecoder::decodeNext(AVFrame& into) {
    if (threadsMetDamage_) return Decoded::Failed;
    for (int step = 0; step < kMaxStepsPerFrame; ++step) {
        const int received = avcodec_receive_frame(codec_.get(), &into);
        if (received == 0) {
            const bool whole =
                into.decode_error_flags == 0 && !(into.flags & AV_FRAME_FLAG_CORRUPT);
            if (!whole && !noteDamage()) {
                av_frame_unref(&into);
                return Decoded::Failed;
            }
            if (fitsPictureLimit(into.width, into.height)) {
                ++framesDecoded_;
                return Decoded::Frame;
            }
            av_frame_unref(&into);
            if (!noteDamage()) return Decoded::Failed;
            continue;
        }
        if (received == AVERROR_EOF) return Decoded::End;
        if (received != AVERROR(EAGAIN)) {
            // A damaged frame; the next may decode.
            if (!noteDamage()) return Decoded::Failed;
            continue;
        }
        if (draining_) return Decoded::End;
        if (av_read_frame(format_.get(), packet_.get()) < 0) {
            // End of file or unreadable: let the decoder give out what it
            // holds. Threads report there what they found in packets still
            // being decoded.
            const int drained = avcodec_send_packet(codec_.get(), nullptr);
            draining_ = true;
            if (drained < 0 && drained != AVERROR_EOF && threaded_ && !noteDamage()) {
                return Decoded::Failed;
            }
            continue;
        }
        // A packet the decoder refuses is damaged; the next one may decode.
        const bool refused = packet_->stream_index == streamIndex_ &&
                             avcodec_send_packet(codec_.get(), packet_.get()) < 0;
        av_packet_unref(packet_.get());
        if (refused && !noteDamage()) return Decoded::Failed;
    }
    return Decoded::Failed;
}

void VideoDecoder::endDecoding() {
    if (!threaded_) return;
    settle();
    lose();
    decodingEnded_ = true;
}

// Counts damage; false when decoding on threads, which stops there.
bool VideoDecoder::noteDamage() {
    damaged_ = true;
    (onPass_ ? passDamaged_ : damagedSincePlaced_) = true;
    if (threaded_) threadsMetDamage_ = true;
    return !threaded_;
}

// Decodes what the codec's threads still hold before it is dropped (by a
// seek, a new demuxer or the end of decoding), so that damage in packets
// already sent comes to light, as it does on one thread the moment they are
// sent, and so does damage in frames the codec holds back to show later.
void VideoDecoder::settle() {
    if (!threaded_ || !codec_ || threadsMetDamage_) return;
    FramePtr scratch(av_frame_alloc());
    if (!scratch) {
        noteDamage();  // what the threads hold cannot be seen: not clean for certain
        return;
    }
    if (!draining_) {
        draining_ = true;
        const int drained = avcodec_send_packet(codec_.get(), nullptr);
        if (drained < 0 && drained != AVERROR_EOF) {
            noteDamage();
            return;
        }
    }
    for (int step = 0; step < kMaxStepsPerFrame; ++step) {
        const int received = avcodec_receive_frame(codec_.get(), scratch.get());
        if (received == AVERROR_EOF || received == AVERROR(EAGAIN)) return;
        const bool whole = received == 0 && scratch->decode_error_flags == 0 &&
                           !(scratch->flags & AV_FRAME_FLAG_CORRUPT) &&
                           fitsPictureLimit(scratch->width, scratch->height);
        av_frame_unref(scratch.get());
        if (!whole) {
            noteDamage();
            return;
        }
    }
}

VideoDecoder::Stepped VideoDecoder::stepTo(std::int64_t target) {
    while (current_ < target) {
        const Stepped stepped = advance();
        if (stepped != Stepped::Done) return stepped;
    }
    return Stepped::Done;
}

// Moves on to the next frame in presentation order. On the pass, a frame it
// reached before must come out as it did then; a new one extends it. The
// end of the stream is where the pass ends, also when reached off the pass
// where timestamps place frames and the last one's is that of its index.
VideoDecoder::Stepped VideoDecoder::advance() {
    const std::int64_t shownPts = frame_->pts;
    if (onPass_) {
        av_frame_unref(previous_.get());
        av_frame_move_ref(previous_.get(), frame_.get());
        previousIndex_ = current_;
    }
    const Decoded decoded = decodeNext(*frame_);
    if (decoded != Decoded::Frame) {
        if (decoded == Decoded::End && (onPass_ || endPlaced(shownPts))) end_ = current_ + 1;
        lose();
        return decoded == Decoded::End ? Stepped::End : Stepped::Failed;
    }
    ++current_;
    if (current_ < passed()) {
        if (!matchesSeen(current_, *frame_)) {
            lose();
            return Stepped::Misplaced;
        }
    } else if (onPass_) {
        record();
    }
    noteKeyframe();
    return Stepped::Done;
}

// Whether the stream's end, met off the pass right after the current frame
// (whose stored timestamp is `pts`), is where the pass would end: every
// frame since the seek decoded without error, the pass has reached no
// further, and the last frame's timestamp places it at its index.
bool VideoDecoder::endPlaced(std::int64_t pts) const {
    return timestampsPlaceFrames() && keyframeTimestamps_ && !damagedSincePlaced_ &&
           current_ >= 0 && current_ + 1 >= passed() && pts != AV_NOPTS_VALUE &&
           indexAt(pts) == current_;
}

// No frame is current, until a move places one.
void VideoDecoder::lose() {
    current_ = -1;
    onPass_ = false;
}

// Adds the current frame, the next of the pass, to what the pass gave out.
void VideoDecoder::record() {
    std::int64_t latest =
        seen_.empty() ? std::numeric_limits<std::int64_t>::min() : seen_.back().latest;
    if (frame_->pts != AV_NOPTS_VALUE) latest = std::max(latest, frame_->pts);
    seen_.push_back({frame_->pts, frame_->pkt_pos, latest});
    checkTimestamp();
    if (frame_->key_frame) {
        keyframes_.emplace(current_, pictureHash(*frame_));
        if (frame_->pts == AV_NOPTS_VALUE) keyframeTimestamps_ = false;
    }
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
    if (lastKeyframe_ >= 0 && current_ > lastKeyframe_) {
        longestGop_ = std::max(longestGop_, current_ - lastKeyframe_);
    }
    lastKeyframe_ = current_;
}

std::int64_t VideoDecoder::lastFrameUpTo(std::int64_t target) {
    if (end_ < 0 && !passDamaged_ && target >= passed()) moveTo(target);
    return end_ >= 0 && !passDamaged_ && target >= end_ ? end_ - 1 : target;
}

std::optional<std::int64_t> VideoDecoder::frameShownAt(std::int64_t microseconds) {
    if (anchorIndex_ < 0 || microseconds < 0 || !valid(timeBase_)) return std::nullopt;
    // Stored times are rounded to the container's ticks (to whole
    // milliseconds in Matroska and FLV): a frame stored up to half a tick
    // later, at most half a millisecond, starts at the time asked.
    const std::int64_t halfTick =
        std::clamp<std::int64_t>(av_rescale_q(1, timeBase_, AVRational{1, 500000}), 1, 500);
    const std::int64_t ticks = av_rescale_q_rnd(microseconds + halfTick, AVRational{1, 1000000},
                                                timeBase_, AV_ROUND_DOWN);
    if (ticks < 0) return std::nullopt;  // too far to count in ticks
    const auto at = plus(anchorTimestamp_, ticks);
    if (!at) return std::nullopt;
    for (;;) {
        // The running latest timestamp rises, so the first frame later than
        // `at` is found by halving, however disordered the stored ones are.
        const auto later =
            std::upper_bound(seen_.begin(), seen_.end(), *at,
                             [](std::int64_t t, const Seen& seen) { return t < seen.latest; });
        if (later != seen_.end()) return std::max<std::int64_t>(later - seen_.begin() - 1, 0);
        if (end_ >= 0) return end_ - 1;
        const std::int64_t next = passed();
        if (!moveTo(next)) {
            if (end_ < 0) return next;
        } else if (passed() == next) {
            return std::nullopt;  // the move extended nothing; never loop on it
        }
    }
}

// Timestamps a parser works out may come out otherwise after a seek.
bool VideoDecoder::matchesSeen(std::int64_t index, const AVFrame& frame) const {
    const Seen& seen = seen_[static_cast<std::size_t>(index)];
    return (!containerTimestamps_ || seen.pts == frame.pts) && seen.pos == frame.pkt_pos;
}

// Seeking past what the pass reached trusts the timestamps of frames no
// pass has decoded, which a damaged file not yet decoded can belie (an AVI
// index that counts its chunks otherwise than the file holds them, frames
// that do not decode): only in files whose timestamps have been right so far
// and that decoded a long stretch from the start without error, and only far
// ahead, where decoding forward would take long.
bool VideoDecoder::mayLeapTo(std::int64_t target) const {
    return timestampsPlaceFrames() && keyframeTimestamps_ && !damaged_ && anchorIndex_ >= 0 &&
           passed() >= kMinCleanPassToLeap && target - passed() >= kMinLeapPastPass;
}

// A move far past a pass too short to leap from, in a file that has shown
// no reason not to: the pass is worth extending to the clean stretch a leap
// needs, rather than decoding all the way (a late start in a long video).
bool VideoDecoder::mayExtendPassToLeap(std::int64_t target) const {
    return onPass_ && timestampsPlaceFrames() && keyframeTimestamps_ && !damaged_ &&
           anchorIndex_ >= 0 && passed() < kMinCleanPassToLeap &&
           target - kMinCleanPassToLeap >= kMinLeapPastPass;
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
    if (!codec_ || anchorIndex_ < 0) return false;
    // Past the pass only a keyframe's own timestamp can place it.
    if (target >= passed() && !mayLeapTo(target)) return false;
    // A program stream seek lands by timestamp, mostly past the keyframe
    // of the target's group; a container index lands on that keyframe.
    std::int64_t margin = containerTimestamps_ ? 0 : longestGop_;
    for (int attempt = 0; attempt < kSeekAttempts && target - margin > 0; ++attempt) {
        if (seekToKeyframe(target - margin, target)) return true;
        margin = std::max(4 * margin, std::max(longestGop_, kMinForwardReach));
    }
    return false;
}

// Seeks to the keyframe the container finds at or before frame `from`, and
// makes it the current frame if it can be placed, at or before `target`.
bool VideoDecoder::seekToKeyframe(std::int64_t from, std::int64_t target) {
    lose();
    settle();
    const auto timestamp = timestampOf(from);
    if (threadsMetDamage_ || !timestamp ||
        av_seek_frame(format_.get(), streamIndex_, *timestamp, AVSEEK_FLAG_BACKWARD) < 0) {
        return false;
    }
    avcodec_flush_buffers(codec_.get());
    draining_ = false;
    damagedSincePlaced_ = false;

    int skipped = 0;
    do {
        if (skipped++ == kMaxFramesToKeyframe || decodeNext(*frame_) != Decoded::Frame) {
            return false;
        }
    } while (!frame_->key_frame);
    const auto index = place(*frame_, target);
    if (!index || *index > target) return false;
    current_ = *index;
    lastKeyframe_ = -1;
    noteKeyframe();
    return true;
}

// The index of a keyframe found by seeking, or nothing when it cannot be
// placed for certain.
std::optional<std::int64_t> VideoDecoder::place(const AVFrame& keyframe,
                                                std::int64_t target) const {
    const auto isKeyframeOfPass = [&](std::int64_t index, std::uint64_t hash) {
        const auto known = keyframes_.find(index);
        return known != keyframes_.end() && known->second == hash && matchesSeen(index, keyframe);
    };
    if (timestampsPlaceFrames() && keyframe.pts != AV_NOPTS_VALUE) {
        const auto index = indexAt(keyframe.pts);
        if (!index || *index < 0) return std::nullopt;
        if (*index >= passed()) return mayLeapTo(target) ? index : std::nullopt;
        return isKeyframeOfPass(*index, pictureHash(keyframe)) ? index : std::nullopt;
    }
    // Only where the pass reached, whose keyframes are all known: a picture
    // another keyframe of it also showed leaves the place open.
    if (target >= passed()) return std::nullopt;
    const std::uint64_t hash = pictureHash(keyframe);
    std::optional<std::int64_t> found;
    for (const auto& [index, known] : keyframes_) {
        if (known != hash) continue;
        if (found || !isKeyframeOfPass(index, hash)) return std::nullopt;
        found = index;
    }
    return found;
}

// A 64-bit hash of the frame's size, format, colour description and visible
// pixels, all planes.
std::uint64_t VideoDecoder::pictureHash(const AVFrame& frame) const {
    std::unique_ptr<AVMurMur3, decltype(&av_free)> hasher(av_murmur3_alloc(), &av_free);
    if (!hasher) return 0;
    av_murmur3_init(hasher.get());
    const int shape[3] = {frame.width, frame.height, frame.format};
    av_murmur3_update(hasher.get(), reinterpret_cast<const std::uint8_t*>(shape), sizeof shape);
    // The colour matrix and range change the converted picture as much as
    // the samples do, and a damaged stream may state others after a seek.
    av_murmur3_update(hasher.get(), reinterpret_cast<const std::uint8_t*>(&frame.colorspace),
                      sizeof frame.colorspace);
    av_murmur3_update(hasher.get(), reinterpret_cast<const std::uint8_t*>(&frame.color_range),
                      sizeof frame.color_range);
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const int planes = av_pix_fmt_count_planes(format);
    for (int plane = 0; descriptor != nullptr && plane < planes && plane < 4; ++plane) {
        const bool chroma =
            (plane == 1 || plane == 2) && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB);
        const int rows =
            chroma ? AV_CEIL_RSHIFT(frame.height, descriptor->log2_chroma_h) : frame.height;
        const int rowBytes = av_image_get_linesize(format, frame.width, plane);
        if (frame.data[plane] == nullptr || rowBytes <= 0 ||
            rowBytes > std::abs(frame.linesize[plane])) {
            continue;
        }
        for (int y = 0; y < rows; ++y) {
            av_murmur3_update(hasher.get(),
                              frame.data[plane] + std::ptrdiff_t{y} * frame.linesize[plane],
                              static_cast<std::size_t>(rowBytes));
        }
    }
    std::uint8_t digest[16] = {};
    av_murmur3_final(hasher.get(), digest);
    std::uint64_t hash = 0;
    for (int i = 0; i < 8; ++i) hash = hash << 8 | digest[i];
    return hash;
}

}  // namespace vantrel
