#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "convert/BatchPlan.h"
#include "convert/ConvertSettings.h"
#include "convert/JobOutcome.h"
#include "image/RasterImage.h"

namespace vantrel {

// What a movie holds besides its sampled pictures, for its estimate.
struct MovieLayout {
    std::int64_t frames = 0;         // frames of the movie
    std::int64_t pictureFrames = 0;  // of them, the frames that store a picture of their own
    std::uint64_t soundBytes = 0;    // the sound's MP3 data; 0 for none
};

// A movie's length at each JPEG quality, estimated from a sample of its
// pictures: each is encoded at the quality by the path the movie's frames
// take (encodeFrame, with the settings' alpha), and the bytes of its frame's
// tags, averaged, stand for every picture frame; header, sound and frames
// without a picture of their own are added. Qualities asked again are not
// encoded again. Estimates do not depend on the number of threads.
class SizeEstimate {
  public:
    SizeEstimate(std::vector<RasterImage> samples, MovieLayout layout, bool includeAlpha,
                 unsigned threads);

    // Whether any picture was sampled; without one only the rest is counted.
    bool sampled() const { return !samples_.empty(); }

    // The movie's estimated bytes with its pictures at `quality`, 1 to 100.
    double bytesAt(std::int32_t quality);

  private:
    std::vector<RasterImage> samples_;
    MovieLayout layout_;
    bool includeAlpha_;
    unsigned threads_;
    std::map<std::int32_t, double> known_;
};

// The highest quality from 1 to `highest` whose estimate times `scale` is
// at most `aim` bytes, found by interpolating between qualities known to fit
// and not to (estimates grow with quality); nothing when not even quality
// 1 fits.
std::optional<std::int32_t> highestFittingQuality(SizeEstimate& estimate, double aim,
                                                  std::int32_t highest, double scale = 1.0);

// Converts one job at the given settings, those of the batch with the
// quality to try; a movie over settings.targetSize is not written, and the
// outcome is failed with an OverTargetSize fault of step FitSize that
// gives its length and quality.
using ConvertAtQuality = std::function<JobOutcome(const ConvertSettings&)>;

// How many times a job is converted at most, each at a lower quality.
inline constexpr int kMaxTargetTries = 4;

// Converts a job at the highest quality whose movie fits settings.targetSize:
// the estimate chooses it (aiming a little below the target, as a sample
// misses some of the pictures' detail); a movie that still comes out over
// the target is converted again at the quality the estimate, corrected by
// how far it was off, then chooses below, up to kMaxTargetTries times. When
// even quality 1 is estimated over the target, nothing is converted and the
// job fails with an OverTargetSize fault of step FitSize (VALUES[3] 1: an
// estimate). A converted outcome holds the quality chosen.
JobOutcome convertToTarget(const PlannedJob& job, const ConvertSettings& settings,
                           SizeEstimate& estimate, const ConvertAtQuality& convertAt);

// How many sampled pictures an estimate takes from a movie: evenly spread
// over it, at most this many.
inline constexpr std::int64_t kSizeSamples = 8;

// Where sample j of `count` lies among `total` items: the middle of its
// even share.
inline double samplePlace(std::int64_t j, std::int64_t count, double total) {
    return (static_cast<double>(j) + 0.5) * total / static_cast<double>(count);
}

}  // namespace vantrel
