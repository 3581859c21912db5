#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "convert/VideoConversion.h"
#include "support/Inputs.h"
#include "video/FrameSource.h"

namespace vantrel::test {

// A video that is not decoded: its length, and its frames plain colours by
// index spaced evenly over it.
struct FakeVideo {
    double duration = 1.0;
    std::int32_t frames = 10;
    std::int32_t failAt = -1;         // the frame that does not decode
    std::int32_t outOfMemoryAt = -1;  // the frame whose picture cannot be had
    // From this frame on, decoding on several threads meets damage.
    std::int32_t damagedOnThreadsAt = std::numeric_limits<std::int32_t>::max();
};

class FakeFrameSource : public FrameSource {
  public:
    // What the sources of one factory were asked.
    struct Log {
        std::vector<std::int32_t> grabbed;
        std::vector<unsigned> decoderThreads;  // of each source made
    };
    FakeFrameSource(const FakeVideo& video, Log& log) : video_(video), log_(log) {}

    bool open(const std::string&) override { return true; }
    void setDecoderThreads(unsigned threads) override {
        threads_ = threads;
        log_.decoderThreads.push_back(threads);
    }
    bool restartOnOneThread() const override { return restart_; }
    std::int32_t videoWidth() const override { return 8; }
    std::int32_t videoHeight() const override { return 6; }
    double durationSeconds() const override { return video_.duration; }
    std::int32_t frameCount() const override { return video_.frames; }
    bool grabFrame(std::int32_t index, RasterImage& picture) override {
        log_.grabbed.push_back(index);
        if (index == video_.outOfMemoryAt) throw std::bad_alloc();
        if (threads_ > 1 && index >= video_.damagedOnThreadsAt) restart_ = true;
        if (index == video_.failAt || restart_) return false;
        picture.resize(8, 6);
        std::fill(picture.pixels.begin(), picture.pixels.end(), 0xFF000000u | index);
        return true;
    }
    std::int32_t frameShownAt(double seconds) override {
        return std::int32_t((seconds + kSameTimeSeconds) * video_.frames / video_.duration);
    }
    bool grabAtTime(double, RasterImage&) override { return false; }
    bool isBufferEmpty() const override { return log_.grabbed.empty(); }
    void close() override {}

  private:
    FakeVideo video_;
    Log& log_;
    unsigned threads_ = 1;
    bool restart_ = false;
};

// Makes sources of the video, each telling the log what it is asked.
inline FrameSourceFactory fakeSources(const FakeVideo& video, FakeFrameSource::Log& log) {
    return [video, &log] { return std::make_unique<FakeFrameSource>(video, log); };
}

// A test whose folder's clip.avi is a fake video.
class FakeVideoTest : public InputsTest {
  protected:
    // The job of clip.avi converted, its frames the video's.
    JobOutcome convertFake(const FakeVideo& video, unsigned threads = 2) {
        return convert({{}, {{(dir_ / "clip.avi").string()}}}, threads, fakeSources(video, log_))
            .at(0);
    }

    FakeFrameSource::Log log_;
};

}  // namespace vantrel::test
