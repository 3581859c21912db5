#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "video/FfmpegHandles.h"

namespace vantrel {

// Decodes the best video stream of a file and moves to frames by index.
//
// Frame i is the i-th frame the decoder gives out, frame 0 first, counted
// while decoding forward. Moving ahead decodes forward. Moving back, or far
// ahead, seeks to a keyframe before the target, finds that keyframe's place
// in the count and decodes forward from it. The keyframe is placed
// - by timestamp, where the container keeps timestamps of its own (not
//   program or raw streams) and they have agreed with the count so far, a
//   mean frame time apart; a keyframe decoded before must also show the
//   same picture;
// - otherwise by its picture, which must match exactly one keyframe decoded
//   before; moving ahead then always decodes forward.
// Where neither places it, the file is read again from the start.
class VideoDecoder {
  public:
    // Opens the file and decodes frame 0. False when the file cannot be
    // read, has no video stream that decodes, no frame rate, or frames
    // larger than pictures may be.
    bool open(const std::string& path);

    // True when open() failed because the frames are larger than the
    // pictures' limit; nothing of their size was decoded.
    bool framesTooLarge() const { return framesTooLarge_; }

    // The current frame; valid after a successful open() or moveTo().
    const AVFrame& frame() const { return *frame_; }

    // Mean frame rate, frames per second.
    AVRational rate() const { return rate_; }

    // The stream's length as the file states it, in ticks of `timeBase`.
    bool statedLength(std::int64_t& ticks, AVRational& timeBase) const;

    // Frames counted by reading a file that does not state its length
    // (program streams, whose length FFmpeg estimates from the last
    // timestamps they carry); 0 for other files.
    std::int64_t countedFrames() const { return countedFrames_; }

    // Makes frame `target` the current frame. False when the stream ends or
    // stops decoding before it; later moves may still succeed. A file that
    // can no longer be read makes every move fail.
    bool moveTo(std::int64_t target);

  private:
    struct Placed {
        FramePtr frame;
        std::int64_t index;
    };

    bool openDemuxer();
    std::int64_t countPackets();
    bool start();
    bool startDecoding();
    bool decodeNext(AVFrame& into);
    bool advance();
    void checkTimestamp();
    void noteKeyframe();
    std::optional<std::int64_t> indexAt(std::int64_t timestamp) const;
    std::optional<std::int64_t> timestampOf(std::int64_t index) const;
    std::int64_t forwardReach() const;
    bool seekBefore(std::int64_t target);
    bool seekToKeyframe(std::int64_t from, std::int64_t target);
    std::optional<std::int64_t> place(std::deque<FramePtr>& run);
    bool timestampsPlaceFrames() const { return containerTimestamps_ && timestampsAgree_; }
    std::uint64_t pictureHash(const AVFrame& frame) const;

    std::string path_;
    FormatPtr format_;
    CodecPtr codec_;
    FramePtr frame_;
    PacketPtr packet_;
    int streamIndex_ = -1;
    AVRational timeBase_{0, 1};
    AVRational rate_{0, 1};
    std::int64_t countedFrames_ = 0;
    bool draining_ = false;
    bool framesTooLarge_ = false;

    std::int64_t current_ = -1;  // index of frame_; -1 when unknown
    std::deque<Placed> ahead_;   // decoded after frame_ while placing a seek

    // The first stored timestamp and its frame's index; whether all stored
    // timestamps seen so far agree with the count.
    bool containerTimestamps_ = false;
    std::int64_t anchorTimestamp_ = 0;
    std::int64_t anchorIndex_ = -1;
    bool timestampsAgree_ = true;

    // Keyframes decoded so far: index -> hash of the picture.
    std::map<std::int64_t, std::uint64_t> keyframes_;
    std::int64_t lastKeyframe_ = -1;
    std::int64_t longestGop_ = 0;
};

}  // namespace vantrel
