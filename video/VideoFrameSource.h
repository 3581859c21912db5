#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/PictureScaler.h"
#include "video/FrameSource.h"

namespace vantrel {

class VideoDecoder;
class ConverterPool;

// FrameSource on FFmpeg: libavformat reads the file, libavcodec decodes its
// best video stream (VideoDecoder), libswscale turns each grabbed frame into
// 24-bit blue, green, red rows and those into the picture with alpha 255
// (FrameConverter), turned and mirrored as the stream's display matrix or
// rotate tag says (Orientation). Frame i is the i-th frame the decoder gives
// out. Grabs with rising indexes decode forward; only a grab back, or far
// ahead, seeks.
// Frames spaced unevenly in time (VideoDecoder finds them on open) are found
// by time from their stored timestamps, decoding forward. Where the file's
// data ends well before the length it states, or its sound runs on well past
// its pictures (half a second or a frame, whichever is longer), the length
// is the data's, and lengthNotes() says so.
// Frames larger than the box given are scaled down into it (fitInside) as
// they are converted, and the video's size is the scaled one.
class VideoFrameSource final : public FrameSource {
  public:
    explicit VideoFrameSource(PictureBox box = {});
    ~VideoFrameSource() override;
    VideoFrameSource(const VideoFrameSource&) = delete;
    VideoFrameSource& operator=(const VideoFrameSource&) = delete;

    void setDecoderThreads(unsigned threads) override { decoderThreads_ = threads; }
    bool open(const std::string& path) override;
    bool restartOnOneThread() const override;
    void endDecoding() override;
    FaultCode openFailure() const override { return openFailure_; }
    std::int32_t videoWidth() const override { return width_; }
    std::int32_t videoHeight() const override { return height_; }
    double durationSeconds() const override;
    std::int32_t frameCount() const override { return frameCount_; }
    bool grabFrame(std::int32_t index, RasterImage& picture) override;
    // The decoded frame is kept by reference; its conversion borrows one of
    // the source's converters, so several can run at once.
    std::shared_ptr<const PendingPicture> grabLater(std::int32_t index) override;
    bool variableRate() const override { return variableRate_; }
    double picturesEnd() const override { return picturesEnd_; }
    std::vector<Fault> lengthNotes() const override { return notes_; }
    std::int32_t frameShownAt(double seconds) override;
    bool grabAtTime(double seconds, RasterImage& picture) override;
    bool isBufferEmpty() const override { return !grabbed_; }
    void close() override;

    // Length in seconds, uncut, and mean frame time in seconds. The length
    // is the one the file states, fitted to its data as above; program and
    // raw streams, which state none or only an estimate, count their frames
    // on open().
    double duration() const { return duration_; }
    double avgTimePerFrame() const { return framesPerSecond_ > 0.0 ? 1.0 / framesPerSecond_ : 0.0; }

    // Frames decoded since open(), open()'s first one included: what grabs
    // cost, which seeking keeps small for a grab far ahead.
    std::int64_t framesDecoded() const;

  private:
    PictureBox box_;
    std::unique_ptr<VideoDecoder> decoder_;
    std::shared_ptr<ConverterPool> converters_;
    double duration_ = 0.0;
    double framesPerSecond_ = 0.0;
    std::int32_t frameCount_ = 0;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    double picturesEnd_ = 0.0;
    std::vector<Fault> notes_;
    bool variableRate_ = false;
    bool grabbed_ = false;  // a frame was grabbed since open()
    unsigned decoderThreads_ = 1;
    bool openMetDamage_ = false;  // the last open() failed on damage met on threads
    FaultCode openFailure_ = FaultCode::Unreadable;
};

}  // namespace vantrel
