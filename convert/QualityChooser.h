#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "convert/BatchPlan.h"
#include "convert/ConvertSettings.h"
#include "convert/JobOutcome.h"
#include "image/RasterImage.h"

namespace vantrel {

// What a movie holds besides its pictures, for its estimate.
struct MovieLayout {
    std::int64_t frames = 0;         // frames of the movie
    std::int64_t pictureFrames = 0;  // of them, the frames that store a picture of their own
    std::uint64_t soundBytes = 0;    // the sound's tags as the movie stores them; 0 for none
    std::string companion;           // the sound's file; empty for a video's own sound
};

// The bytes sampled pictures take as movie frames, at every JPEG quality.
// Each picture is encoded by the path the movie's frames take (encodeFrame,
// with the settings' alpha) as it comes, at a few qualities spread from 1
// to 100 and at the ones the estimate is to be sharpest at, and only those
// sizes are kept, so that the pictures need not be; a frame's size between
// them is interpolated, its logarithm on a line between its neighbours.
// Sizes do not depend on the number of threads.
class SizeEstimate {
  public:
    // `anchor`: a quality every sample is encoded at too; 0 for none.
    SizeEstimate(bool includeAlpha, unsigned threads, std::int32_t anchor = 0);

    // Adds a sample standing for `weight` frames.
    void add(const RasterImage& picture, double weight = 1.0);

    // Encodes the samples added from now on at `quality` too.
    void focus(std::int32_t quality) { focus_ = quality; }

    // Whether any picture was sampled.
    bool sampled() const { return weight_ > 0.0; }

    // The weighted mean bytes of a sample's frame at `quality`, 1 to 100.
    double meanBytes(std::int32_t quality) const;

    // How a movie's pictures whose bytes at the anchor the weights follow
    // compare at `quality` with their bytes at `from`: the weighted mean of
    // each sample's bytes at the one over its bytes at the anchor, over the
    // same at the other.
    double meanRatio(std::int32_t quality, std::int32_t from) const;

  private:
    // A sample's frame bytes at the qualities it was encoded at, rising.
    struct Sample {
        std::vector<std::int32_t> qualities;
        std::vector<double> bytes;
        double weight = 0.0;
        double at(std::int32_t quality) const;
    };

    bool includeAlpha_;
    unsigned threads_;
    std::int32_t anchor_;
    std::int32_t focus_ = 0;
    std::vector<Sample> samples_;
    double weight_ = 0.0;
};

// Gives the pictures of movie frames `frames` (rising, none repeated, each
// below the layout's pictureFrames), in that order, to `take` with their
// place in `frames`, each fitted as the movie stores it; those that cannot be
// had are left out.
using SamplePictures =
    std::function<void(const std::vector<std::int64_t>& frames,
                       const std::function<void(std::size_t, const RasterImage&)>& take)>;

// How many tries a job's movie takes at most.
inline constexpr int kMaxTargetTries = 4;

// Whether the settings ask for movies fitted to a target size: JPEG storage
// with a target.
bool aimsAtTargetSize(const ConvertSettings& settings);

// Chooses the settings of each try at a job's movie, and from what a try
// gave whether another follows: the conversion asks next() for the settings
// of a try, makes the movie at them and hands what it gave to tried(),
// until next() gives nothing; outcome() is then the job's.
class QualityChooser {
  public:
    // One try, at the settings as they are.
    explicit QualityChooser(const ConvertSettings& settings) : settings_(settings) {}

    // Tries for the highest quality whose movie fits settings.targetSize
    // (aimsAtTargetSize). An estimate from pictures spread evenly over the
    // movie chooses the first quality (aiming a little below the target, as
    // a sample misses some of the pictures' detail). Each try tells the
    // movie's size at its quality; new samples, spread over its pictures'
    // bytes rather than its frames, say how that size changes from there. A
    // movie over the target is tried again below; one that fits, again above
    // when a quality some steps higher is estimated to fit, and the better
    // movie that fits is the outcome. At most kMaxTargetTries tries. When the
    // sound alone takes the target, the job fails with a SoundOverTarget
    // fault of step FitSound; when even quality 1 is estimated over the
    // target, with an OverTargetSize fault of step FitSize (VALUES[3] 1: an
    // estimate); nothing is tried then. A converted outcome holds the
    // quality chosen. The samples come from `sample`, here and in tried().
    QualityChooser(const PlannedJob& job, const ConvertSettings& settings,
                   const MovieLayout& layout, unsigned threads, SamplePictures sample);

    // The settings of the next try; nothing once the job's outcome is known.
    std::optional<ConvertSettings> next() const;

    // What the try at next() gave: its outcome, and the bytes of each
    // frame's picture as stored, 0 for a frame without one of its own
    // (MovieWriter). A movie over settings.targetSize is not written: its
    // outcome is failed with an OverTargetSize fault of step FitSize that
    // gives its length and quality.
    void tried(JobOutcome outcome, const std::vector<std::uint64_t>& pictureBytes);

    // The job's outcome, once next() gives nothing.
    JobOutcome outcome() && { return std::move(*outcome_); }

  private:
    void end(JobOutcome outcome) { outcome_ = std::move(outcome); }
    // Ends with the best movie written, or without one with the last try's
    // outcome.
    void endWithBest(JobOutcome last);

    ConvertSettings settings_;
    unsigned threads_ = 1;
    SamplePictures sample_;
    double target_ = 0.0;
    double rest_ = 0.0;  // the movie's bytes besides its pictures
    double pictureFrames_ = 0.0;
    // The estimate from pictures spread evenly over the movie; none without
    // a target size.
    std::optional<SizeEstimate> first_;
    // The samples last spread over the bytes of a movie made, once there are.
    std::optional<SizeEstimate> overBytes_;
    std::int32_t quality_ = 0;  // of the next try
    int tries_ = 0;
    // The best movie written so far and its quality; the lowest quality
    // known to be over the target.
    std::optional<JobOutcome> written_;
    std::int32_t fits_ = 0;
    std::int32_t over_ = 101;
    std::optional<JobOutcome> outcome_;  // the job's, once known
};

}  // namespace vantrel
