#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "video/FfmpegHandles.h"

namespace vantrel {

// Decodes the best video stream of a file and moves to frames by index.
// Every picture is decoded into a buffer filled black first, so a damaged
// frame decoded only in part is black where its decoding stopped, however
// many earlier frames are still held.
//
// Frame i is the i-th frame the decoder gives out when decoding the file
// straight through from the start. What that pass gave out is remembered:
// each frame's stored timestamp and file position, each keyframe's picture,
// and, once moves have gone back, the picture of each frame moved to. Moving
// ahead decodes forward. Moving back, or far ahead, seeks to a keyframe
// before the target and places it
// - by its own stored timestamp, where the container keeps timestamps of its
//   own (not program or raw streams) and they have agreed with the count so
//   far; a keyframe the pass reached must also be the one remembered there;
// - otherwise only when the target was reached by the pass, by picture,
//   timestamp and position, which must match exactly one keyframe of it.
// Frames decoded from there must match the pass's timestamps and positions,
// and the frame moved to the pass's picture at that index. Where a keyframe
// cannot be placed or anything does not match, the file is read again from
// the start. The stream ends where the pass ends; decoding from a seek tells
// that only where timestamps place frames and the last frame's places it at
// its index, and is read again from the start otherwise.
//
// Seeking far ahead, past what the pass reached, trusts the container's
// timestamps, which a damaged part not yet decoded can belie: only 256
// frames or more past it, in files whose keyframes all had timestamps of
// their own and whose pass decoded 256 frames or more, all without error;
// elsewhere moving ahead decodes forward. A move that far ahead of a
// shorter pass, in such a file, first decodes the pass on to that clean
// stretch and then leaps, so that a late first grab (a movie cut to start
// an hour in) does not decode the hour. Damage first met beyond a clean
// stretch that long can still place a leap's frames off the count.
//
// Containers that store a time for every frame (MP4 and QuickTime, Matroska
// and WebM, FLV, ASF, Ogg) may space their frames unevenly. Their packets'
// times are read once on open(); where a frame is off its evenly spaced
// place by a quarter of the mean frame time or more, the rate is variable:
// frames are then found by time (frameShownAt) and timestamps never place
// frames.
//
// open() reads every packet of the video stream and of the best audio stream
// once, without decoding, to count the frames, to find uneven spacing and to
// find where the data really ends: a file cut short, or still being
// written, states a length its data does not reach.
//
// On several threads (the codec's own frame threads, for H.264 and VP9;
// other codecs decode on one) a clean stream decodes to the same
// frames as on one, but a damaged one need not: threads race on its damaged
// parts. There decoding stops at the first damage, more of it counted than
// on one thread, and threadsMetDamage() asks for the file to be decoded
// again from the start on one thread.
class VideoDecoder {
  public:
    // Where the file's data ends, in seconds from the first frame's time.
    // No member initializers: clang does not yet know them where the
    // optional below is declared, and would find the type not
    // default-constructible; emplace() sets every field to 0.
    struct Extent {
        double pictures;  // where the last frame of the video stream ends
        double sound;     // where the last packet of the best audio stream ends; 0 without
        double stated;    // the length the file states for all its streams; 0 without
    };

    // Opens the file and decodes frame 0, on up to `threads` of the codec's
    // threads. False when the file cannot be read, has no video stream that
    // decodes, no frame rate, or frames larger than pictures may be, or
    // when decoding on threads met damage.
    bool open(const std::string& path, int threads = 1);

    // True once decoding on several threads met damage: whatever was moved
    // to may differ from what one thread gives, and every move fails from
    // then on. Never on one thread.
    bool threadsMetDamage() const { return threadsMetDamage_; }

    // Decodes to the end what the codec holds, its threads' packets and the
    // frames it keeps to show later, counting any damage in them; no frame
    // is current and no move succeeds afterwards. On one thread it does
    // nothing.
    void endDecoding();

    // True when open() failed because the frames are larger than the
    // pictures' limit; nothing of their size was decoded.
    bool framesTooLarge() const { return framesTooLarge_; }

    // True when open() failed because the file holds no video stream at all.
    bool noVideoStream() const { return noVideoStream_; }

    // The current frame; valid after a successful open() or moveTo().
    const AVFrame& frame() const { return showingPrevious_ ? *previous_ : *frame_; }

    // The decoded stream, as the file was last opened; valid after a
    // successful open().
    const AVStream& stream() const { return *format_->streams[streamIndex_]; }

    // Mean frame rate, frames per second.
    AVRational rate() const { return rate_; }

    // The stream's length as the file states it, in ticks of `timeBase`.
    bool statedLength(std::int64_t& ticks, AVRational& timeBase) const;

    // Frames counted by reading a file that does not state its length
    // (program streams, whose length FFmpeg estimates from the last
    // timestamps they carry); 0 for other files.
    std::int64_t countedFrames() const { return countedFrames_; }

    // Where the data ends, as found on open(); only for containers that keep
    // timestamps of their own (not program or raw streams), whose packets'
    // times are those of the frames, and only where the video stream's
    // packets have times at all.
    const std::optional<Extent>& extent() const { return extent_; }

    // Whether the frames are spaced unevenly in time; then how many the file
    // holds (its packets that are not dropped), and the seconds from the
    // first one's time to where the last one ends.
    bool variableRate() const { return variableRate_; }
    std::int64_t timedFrames() const { return timedFrames_; }
    double timedSpan() const { return timedSpan_; }

    // Frames the decoder gave out since open(), the pass's and those after
    // seeks: the work moves took.
    std::int64_t framesDecoded() const { return framesDecoded_; }

    // Makes frame `target` the current frame. False when the stream ends or
    // stops decoding before it, and then no frame is current; later moves
    // may still succeed. A file that can no longer be read makes every move
    // fail.
    bool moveTo(std::int64_t target);

    // `target`, or where the stream ends before it after the pass from the
    // start decoded without error, its last frame: the same whatever was
    // moved to before. A frame stored as unchanged from the one before
    // (as FFmpeg's MPEG-4 encoder stores repeated frames in AVI) decodes to
    // none, so that a stream can give out fewer frames than it holds
    // packets. Decodes forward as far as that takes.
    std::int64_t lastFrameUpTo(std::int64_t target);

    // The index of the frame shown `microseconds` after frame 0: the last
    // frame of the pass from the start before the first whose stored
    // timestamp is later, by more than the rounding to the container's
    // ticks. Decodes forward as far as that takes. Where the
    // stream stops decoding first, the index of the frame that does not
    // decode; nothing when no timestamp anchors the time.
    std::optional<std::int64_t> frameShownAt(std::int64_t microseconds);

  private:
    enum class Decoded { Frame, End, Failed };
    enum class Stepped { Done, End, Failed, Misplaced };

    // A frame as the pass from the start gave it out.
    struct Seen {
        std::int64_t pts;
        std::int64_t pos;
        std::int64_t latest;  // the latest stored timestamp up to this frame
    };

    // What reading the whole file found of the video stream's packets, and
    // of the audio stream's.
    struct Packets {
        std::int64_t count = 0;
        std::vector<std::int64_t> times;  // of the frames shown, rising
        std::int64_t end = std::numeric_limits<std::int64_t>::min();
        // The earliest time of a kept frame and where the last one ends, in
        // the video stream's ticks.
        std::int64_t first = std::numeric_limits<std::int64_t>::max();
        std::int64_t last = std::numeric_limits<std::int64_t>::min();
        double soundEnd = 0.0;  // in seconds; 0 without sound
    };

    bool openDemuxer();
    Packets readPackets(bool timed);
    bool start();
    bool startDecoding();
    Decoded decodeNext(AVFrame& into);
    bool noteDamage();
    void settle();
    Stepped stepTo(std::int64_t target);
    Stepped advance();
    bool confirm(std::int64_t target);
    bool endPlaced(std::int64_t pts) const;
    void lose();
    void record();
    void checkTimestamp();
    void noteKeyframe();
    bool matchesSeen(std::int64_t index, const AVFrame& frame) const;
    std::int64_t passed() const { return static_cast<std::int64_t>(seen_.size()); }
    bool timestampsPlaceFrames() const { return containerTimestamps_ && timestampsAgree_; }
    bool mayLeapTo(std::int64_t target) const;
    bool mayExtendPassToLeap(std::int64_t target) const;
    std::optional<std::int64_t> indexAt(std::int64_t timestamp) const;
    std::optional<std::int64_t> timestampOf(std::int64_t index) const;
    std::int64_t forwardReach() const;
    bool seekBefore(std::int64_t target);
    bool seekToKeyframe(std::int64_t from, std::int64_t target);
    std::optional<std::int64_t> place(const AVFrame& keyframe, std::int64_t target) const;
    std::uint64_t pictureHash(const AVFrame& frame) const;

    std::string path_;
    FormatPtr format_;
    CodecPtr codec_;
    FramePtr frame_;
    // The frame of the pass before frame_, kept so that the frame shown at a
    // time, found by decoding one past it, is at hand.
    FramePtr previous_;
    std::int64_t previousIndex_ = -1;  // -1 when previous_ holds no frame of the pass
    bool showingPrevious_ = false;
    PacketPtr packet_;
    int streamIndex_ = -1;
    AVRational timeBase_{0, 1};
    AVRational rate_{0, 1};
    std::int64_t countedFrames_ = 0;
    bool variableRate_ = false;
    std::int64_t timedFrames_ = 0;
    double timedSpan_ = 0.0;
    std::optional<Extent> extent_;
    bool draining_ = false;
    bool framesTooLarge_ = false;
    bool noVideoStream_ = false;
    bool damaged_ = false;   // a packet or frame failed to decode
    // Damage met on the pass from the start; off it, since the keyframe of
    // the last seek.
    bool passDamaged_ = false;
    bool damagedSincePlaced_ = false;
    int threads_ = 1;        // asked for on open()
    bool threaded_ = false;  // the codec decodes on several threads
    bool threadsMetDamage_ = false;
    bool decodingEnded_ = false;  // by endDecoding()
    std::int64_t framesDecoded_ = 0;

    std::int64_t current_ = -1;  // index of frame_; -1 when no frame is current
    // Whether frame_ was decoded on the pass from the start, rather than
    // after a seek.
    bool onPass_ = false;
    std::int64_t end_ = -1;  // frames the pass gave out, once it reached the end

    std::vector<Seen> seen_;                           // the pass so far
    std::map<std::int64_t, std::uint64_t> keyframes_;  // its keyframes: index -> picture hash
    bool keyframeTimestamps_ = true;  // each of them had a stored timestamp of its own
    // Pictures of the pass's frames that were moved to, kept once a move
    // has gone back: index -> picture hash.
    std::map<std::int64_t, std::uint64_t> grabbed_;
    bool checkGrabs_ = false;

    // The pass's first stored timestamp and its frame's index; whether all
    // stored timestamps of the pass agree with the count.
    bool containerTimestamps_ = false;
    std::int64_t anchorTimestamp_ = 0;
    std::int64_t anchorIndex_ = -1;
    bool timestampsAgree_ = true;

    std::int64_t lastKeyframe_ = -1;
    std::int64_t longestGop_ = 0;
};

}  // namespace vantrel
