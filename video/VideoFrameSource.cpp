#include "video/VideoFrameSource.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "image/ImageReaders.h"
#include "video/FrameConverter.h"
#include "video/Orientation.h"
#include "video/VideoDecoder.h"

namespace vantrel {

// Converters for one size and orientation, lent out one per conversion: a
// converter keeps scaler state and row buffers that two threads must not
// share.
class ConverterPool {
  public:
    ConverterPool(int width, int height, Orientation orientation, int filter)
        : width_(width), height_(height), orientation_(orientation), filter_(filter) {}

    bool convert(const AVFrame& frame, RasterImage& picture) {
        std::unique_ptr<FrameConverter> converter;
        {
            const std::lock_guard lock(mutex_);
            if (!idle_.empty()) {
                converter = std::move(idle_.back());
                idle_.pop_back();
            }
        }
        if (!converter) {
            converter = std::make_unique<FrameConverter>(width_, height_, orientation_, filter_);
        }
        const bool converted = converter->convert(frame, picture);
        const std::lock_guard lock(mutex_);
        idle_.push_back(std::move(converter));
        return converted;
    }

  private:
    int width_;
    int height_;
    Orientation orientation_;
    int filter_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<FrameConverter>> idle_;
};

namespace {

// Lengths closer than this are the same: the rounding of containers, the
// padding of sound encoders and the delay of B-frames stay well inside it.
constexpr double kLengthSlack = 0.5;

class DecodedPicture final : public PendingPicture {
  public:
    DecodedPicture(FramePtr frame, std::shared_ptr<ConverterPool> converters)
        : frame_(std::move(frame)), converters_(std::move(converters)) {}
    bool finish(RasterImage& picture) const override {
        return converters_->convert(*frame_, picture);
    }

  private:
    FramePtr frame_;
    std::shared_ptr<ConverterPool> converters_;
};

// A video's length and where its pictures end, from the extent of its data.
struct FittedLength {
    double length = 0.0;
    double picturesEnd = 0.0;
    std::vector<Fault> notes;
};

// The length becomes that of the data where the data ends well before the
// length the file states (cut short, or still being written), or runs on
// well past the video stream's own length (a longer sound), up to the
// length the file states if it states one. The pictures end where the video
// stream's data does.
FittedLength fitToData(const VideoDecoder::Extent& extent, double length, double frameTime,
                       const std::string& path) {
    const double slack = std::max(kLengthSlack, frameTime);
    const double data = std::max(extent.pictures, extent.sound);
    const double stated = std::max(length, extent.stated > 0.0 ? extent.stated : data);
    FittedLength fitted{length, extent.pictures, {}};
    const auto note = [&](FaultCode code, double until) {
        Fault fault(code, FaultStep::VideoEnd, path);
        fault.values = {extent.pictures, until};
        fitted.notes.push_back(std::move(fault));
    };
    if (data + slack < stated) {
        note(FaultCode::PicturesEndEarly, stated);
        fitted.length = data;
    } else if (data > length + slack) {
        fitted.length = std::min(data, stated);
    }
    if (extent.sound > extent.pictures + slack && fitted.length > extent.pictures + slack) {
        note(FaultCode::SoundRunsOn, std::min(extent.sound, fitted.length));
    }
    return fitted;
}

}  // namespace

VideoFrameSource::VideoFrameSource(PictureBox box) : box_(box) {}

VideoFrameSource::~VideoFrameSource() = default;

bool VideoFrameSource::open(const std::string& path) {
    close();
    auto decoder = std::make_unique<VideoDecoder>();
    const bool opened = decoder->open(path, static_cast<int>(std::min<unsigned>(
                                                decoderThreads_, std::numeric_limits<int>::max())));
    openMetDamage_ = decoder->threadsMetDamage();
    openFailure_ = decoder->framesTooLarge()  ? FaultCode::TooLarge
                   : decoder->noVideoStream() ? FaultCode::NoVideo
                                              : FaultCode::Unreadable;
    if (!opened) return false;

    const AVFrame& first = decoder->frame();
    const AVRational rate = decoder->rate();
    if (!fitsPictureLimit(first.width, first.height)) return false;

    std::int64_t ticks = 0;
    AVRational timeBase{1, 1};
    if (!decoder->statedLength(ticks, timeBase)) ticks = 0;
    const double stated = static_cast<double>(ticks) * av_q2d(timeBase);
    std::int64_t frames;
    if (decoder->countedFrames() > 0) {
        // The frames counted in the file, over the longer of the stated
        // length, which can leave out the last frames, and the frames at the
        // nominal rate, which fall short where frames are shown repeated.
        frames = decoder->countedFrames();
        duration_ = std::max(stated, static_cast<double>(frames) / av_q2d(rate));
        framesPerSecond_ = static_cast<double>(frames) / duration_;
    } else {
        // Whole frames in the stated length, in exact arithmetic.
        frames = av_rescale_rnd(ticks, static_cast<std::int64_t>(timeBase.num) * rate.num,
                                static_cast<std::int64_t>(timeBase.den) * rate.den, AV_ROUND_DOWN);
        duration_ = stated;
        framesPerSecond_ = av_q2d(rate);
    }
    variableRate_ = decoder->variableRate();
    if (variableRate_) {
        // Frames spaced unevenly: those the file holds, over its length. A
        // length stated by the decoding times of B-frames can end before the
        // last frames are shown.
        duration_ = std::max(duration_, decoder->timedSpan());
        frames = decoder->timedFrames();
        framesPerSecond_ = duration_ > 0.0 ? static_cast<double>(frames) / duration_ : 0.0;
    }
    picturesEnd_ = duration_;
    if (const std::optional<VideoDecoder::Extent>& extent = decoder->extent()) {
        FittedLength fitted = fitToData(*extent, duration_, avgTimePerFrame(), path);
        if (variableRate_ || decoder->countedFrames() > 0) {
            // Frames counted in the file span the times of their own data.
            if (fitted.picturesEnd > 0.0) {
                framesPerSecond_ = static_cast<double>(frames) / fitted.picturesEnd;
            }
        } else {
            // Evenly spaced frames, as far as the pictures reach.
            const std::int64_t reached = std::llround(fitted.picturesEnd * framesPerSecond_);
            frames = std::min(frames, reached);
        }
        duration_ = fitted.length;
        picturesEnd_ = fitted.picturesEnd;
        notes_ = std::move(fitted.notes);
    }
    frameCount_ = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(frames, 0, std::numeric_limits<std::int32_t>::max()));
    // Frames are scaled and turned on the threads that finish them, not on
    // the one that decodes; the box holds the frames as they are shown.
    const Orientation orientation = streamOrientation(decoder->stream());
    const bool sideways = orientation.sideways();
    const PictureSize shown{sideways ? first.height : first.width,
                            sideways ? first.width : first.height};
    const PictureSize fitted = fitInside(shown.width, shown.height, box_);
    width_ = fitted.width;
    height_ = fitted.height;
    converters_ = std::make_shared<ConverterPool>(sideways ? height_ : width_,
                                                  sideways ? width_ : height_, orientation,
                                                  fitted == shown ? SWS_BICUBIC : kDownscaleFilter);
    decoder_ = std::move(decoder);
    return true;
}

bool VideoFrameSource::restartOnOneThread() const {
    return openMetDamage_ || (decoder_ && decoder_->threadsMetDamage());
}

void VideoFrameSource::endDecoding() {
    if (decoder_) decoder_->endDecoding();
}

double VideoFrameSource::durationSeconds() const { return wholeMilliseconds(duration_); }

std::int64_t VideoFrameSource::framesDecoded() const {
    return decoder_ ? decoder_->framesDecoded() : 0;
}

bool VideoFrameSource::grabFrame(std::int32_t index, RasterImage& picture) {
    const std::shared_ptr<const PendingPicture> pending = grabLater(index);
    return pending && pending->finish(picture);
}

std::shared_ptr<const PendingPicture> VideoFrameSource::grabLater(std::int32_t index) {
    if (!decoder_ || index < 0) return nullptr;
    if (!decoder_->moveTo(index)) return nullptr;
    // A new reference to the decoded buffers, which the decoder does not
    // write again while it is held.
    FramePtr frame(av_frame_clone(&decoder_->frame()));
    if (!frame) return nullptr;
    grabbed_ = true;
    return std::make_shared<DecodedPicture>(std::move(frame), converters_);
}

std::int32_t VideoFrameSource::frameShownAt(double seconds) {
    constexpr double kNoIndex = 2147483648.0;
    if (!decoder_ || !(seconds >= 0.0 && seconds < kNoIndex)) return -1;
    if (!variableRate_) {
        const double index = (seconds + kSameTimeSeconds) * framesPerSecond_;
        if (!(index < kNoIndex)) return -1;
        return static_cast<std::int32_t>(decoder_->lastFrameUpTo(static_cast<std::int64_t>(index)));
    }
    // Whole microseconds: the float arithmetic that made `seconds` from a
    // frame rate must not move a time that falls on a frame's before it.
    const auto index = decoder_->frameShownAt(std::llround(seconds * 1e6));
    if (!index || *index > std::numeric_limits<std::int32_t>::max()) return -1;
    return static_cast<std::int32_t>(*index);
}

bool VideoFrameSource::grabAtTime(double seconds, RasterImage& picture) {
    return grabFrame(frameShownAt(seconds), picture);
}

void VideoFrameSource::close() {
    decoder_.reset();
    notes_.clear();
    picturesEnd_ = 0.0;
    converters_.reset();
    grabbed_ = false;
    openMetDamage_ = false;
    variableRate_ = false;
    duration_ = 0.0;
    framesPerSecond_ = 0.0;
    frameCount_ = 0;
    width_ = 0;
    height_ = 0;
}

}  // namespace vantrel
