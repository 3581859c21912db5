#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/Fault.h"
#include "image/RasterImage.h"

namespace vantrel {

// Times closer than this are the same time. A movie frame's time, worked out
// in floating point from its frame rate, can fall a hair before the start of
// the video frame it meets exactly.
inline constexpr double kSameTimeSeconds = 1e-6;

// A length in seconds cut to whole milliseconds as a 32-bit count, times
// 0.001 as a float: (int32)(seconds * 1000) * 0.001f.
inline double wholeMilliseconds(double seconds) {
    const double milliseconds = seconds * 1000.0;
    std::int32_t whole = 0;
    if (milliseconds >= 2147483647.0) {
        whole = std::numeric_limits<std::int32_t>::max();
    } else if (milliseconds > 0.0) {
        whole = static_cast<std::int32_t>(milliseconds);
    }
    return whole * static_cast<double>(0.001f);
}

// A frame that was grabbed but not yet turned into a picture, so that the
// turning can happen on another thread than the decoding.
class PendingPicture {
  public:
    virtual ~PendingPicture() = default;
    // The frame as a picture. Safe to call from several threads at once.
    // False when the frame cannot be converted; the picture is then left
    // exactly as it was.
    virtual bool finish(RasterImage& picture) const = 0;
};

// A video file seen as a numbered row of pictures. The driver opens one
// source per video, reads its size and length, and grabs the frame shown at
// each movie frame's time (frameShownAt), with rising indexes.
class FrameSource {
  public:
    virtual ~FrameSource() = default;

    // False when the file cannot be opened or decoded, or has no usable
    // size or frame rate; the only use of a source after that is close().
    virtual bool open(const std::string& path) = 0;

    // Lets the next open() decode on up to `threads` of the decoder's own
    // threads; one until then.
    virtual void setDecoderThreads(unsigned threads) { (void)threads; }

    // True once decoding on several threads met damage, where threads can
    // give other pictures than one: open() then fails or grabs fail from
    // then on, and the file is to be read again from the start on one
    // thread. Never for a source that decodes on one.
    virtual bool restartOnOneThread() const { return false; }

    // Ends decoding on several threads: what the decoder still holds is
    // decoded, so that damage in frames already read shows in
    // restartOnOneThread(). No grab succeeds afterwards.
    virtual void endDecoding() {}

    // Why the last open() returned false: TooLarge for frames over the
    // pictures' limit (kMaxPicturePixels), NoVideo for a file without a
    // video stream (sound only), else Unreadable (it cannot be read or
    // decoded, or has no usable size or frame rate).
    virtual FaultCode openFailure() const { return FaultCode::Unreadable; }

    // Frame size in pixels as the video is shown, found at open(): a video
    // stored turned on its side (as phones record upright video) has width
    // and height traded; a source that scales its frames says the scaled
    // size; 0 when not open.
    virtual std::int32_t videoWidth() const = 0;
    virtual std::int32_t videoHeight() const = 0;

    // Length cut to whole milliseconds (wholeMilliseconds).
    // The length is the one the file states, unless its data ends well
    // before (a file cut short, or still being written: then where the data
    // ends), or its sound runs on well past the video's own length (then
    // where the sound ends, no longer than the file states).
    virtual double durationSeconds() const = 0;

    // Where the pictures end, in seconds from the first frame's start: the
    // end of the last frame the file holds. Movie frames from there on hold
    // the last picture.
    virtual double picturesEnd() const { return durationSeconds(); }

    // What open() found of the length that users should hear of, with codes
    // PicturesEndEarly (the data ends well before the length the file
    // states) and SoundRunsOn (the sound runs on well past the last picture).
    virtual std::vector<Fault> lengthNotes() const { return {}; }

    // The pictures' length divided by the mean frame time, truncated; for
    // frames spaced unevenly in time, the frames the file holds.
    virtual std::int32_t frameCount() const = 0;

    // Frame `index` (0 = the first frame the video shows) into the picture:
    // blue, green, red, alpha 255, at the video's size, the right way up.
    // False when the video has no such frame or it does not decode; the
    // picture is then left exactly as it was.
    virtual bool grabFrame(std::int32_t index, RasterImage& picture) = 0;

    // Frame `index`, decoded now and converted by finish() later; nothing
    // where grabFrame would return false. This one converts at once.
    virtual std::shared_ptr<const PendingPicture> grabLater(std::int32_t index);

    // Whether the frames are spaced unevenly in time, so that sampling them
    // by index would not keep the video's timing.
    virtual bool variableRate() const { return false; }

    // The index of the frame shown `seconds` after the first frame began:
    // the last frame whose start is at or before then, starts that are the
    // same time up to rounding (kSameTimeSeconds, and for stored times the
    // container's ticks) counting as at. Evenly spaced frames start a mean
    // frame time apart; unevenly spaced ones at their presentation times,
    // counted from the first frame's. Past the last frame of a stream that
    // decodes without error to its end, the last frame. -1 when it cannot be
    // told.
    virtual std::int32_t frameShownAt(double seconds) = 0;

    // The frame shown at `seconds` (frameShownAt) into the picture, as
    // grabFrame does.
    virtual bool grabAtTime(double seconds, RasterImage& picture) = 0;

    // True while no frame has been grabbed since open(), and after close().
    virtual bool isBufferEmpty() const = 0;

    // Releases the file and the decoder; harmless when not open.
    virtual void close() = 0;
};

namespace detail {
class ConvertedPicture final : public PendingPicture {
  public:
    explicit ConvertedPicture(RasterImage picture) : picture_(std::move(picture)) {}
    bool finish(RasterImage& picture) const override {
        picture = picture_;
        return true;
    }

  private:
    RasterImage picture_;
};
}  // namespace detail

inline std::shared_ptr<const PendingPicture> FrameSource::grabLater(std::int32_t index) {
    RasterImage picture;
    if (!grabFrame(index, picture)) return nullptr;
    return std::make_shared<detail::ConvertedPicture>(std::move(picture));
}

}  // namespace vantrel
