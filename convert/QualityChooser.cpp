#include "convert/QualityChooser.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <memory>
#include <system_error>
#include <thread>

#include "swf/FrameComposer.h"
#include "swf/ShapeTags.h"

namespace vantrel {

namespace {

// The header (21 bytes for stages below 820 pixels, a few more above) and
// the End tag.
constexpr double kMovieBytes = 23.0;
// The share of the target the estimate aims at: samples miss some of the
// detail of the pictures between them, and a movie that comes out over the
// target costs another conversion.
constexpr double kAim = 0.97;
// A movie that fits is converted again at a higher quality only when the
// estimate finds one this many steps higher that fits: nearer, another
// conversion is not worth its time.
constexpr std::int32_t kWorthSteps = 3;
// How many pictures an estimate samples at most.
constexpr std::int64_t kSizeSamples = 8;
// The qualities every sample is encoded at besides those asked: between
// them and the one the samples before chose, the logarithm of a JPEG's size
// is close enough to a line that the quality read off it is mostly the true
// one or one step off.
constexpr std::int32_t kCurveQualities[] = {1, 30, 70, 90, 100};

// The bytes a frame with this picture takes in a movie: its bitmap, shape
// and placement tags and its ShowFrame; 0 when it cannot be stored.
double frameBytes(const RasterImage& picture, const FrameStorage& storage) {
    std::optional<EncodedFrame> frame = encodeFrame(picture, storage);
    if (!frame) return 0.0;
    SwfMovie scratch;
    SourceBuffers buffers;
    addFrameTags(scratch, std::move(*frame), buffers);
    scratch.addTag(std::make_unique<ShowFrameTag>());
    return static_cast<double>(scratch.tagBytes());
}

// The highest quality from 1 to `highest` at which `bytesAt` is at most
// `aim`; 0 for none.
template <typename BytesAt>
std::int32_t highestFitting(const BytesAt& bytesAt, double aim, std::int32_t highest) {
    std::int32_t quality = highest;
    while (quality >= 1 && !(bytesAt(quality) <= aim)) --quality;
    return std::max(quality, 0);
}

// Samples frames into an estimate, each standing for its weight in frames;
// each sample is encoded at the quality `choose` reads off the estimate of
// those before it too.
template <typename Choose>
SizeEstimate sampled(const SamplePictures& sample, const std::vector<std::int64_t>& frames,
                     const std::vector<double>& weights, const ConvertSettings& settings,
                     unsigned threads, std::int32_t anchor, const Choose& choose) {
    SizeEstimate estimate(settings.includeAlpha, threads, anchor);
    if (!frames.empty()) {
        sample(frames, [&](std::size_t j, const RasterImage& picture) {
            estimate.add(picture, weights[j]);
            estimate.focus(choose(estimate));
        });
    }
    return estimate;
}

// Frames spread evenly over the movie's `total` picture frames: the middle
// of each even share.
std::vector<std::int64_t> evenFrames(std::int64_t total) {
    const std::int64_t count = std::min(total, kSizeSamples);
    std::vector<std::int64_t> frames;
    for (std::int64_t j = 0; j < count; ++j) {
        frames.push_back(
            static_cast<std::int64_t>((static_cast<double>(j) + 0.5) * static_cast<double>(total) /
                                      static_cast<double>(count)));
    }
    return frames;
}

// Frames spread evenly over the bytes of a movie's pictures: sample j is the
// frame that holds byte (j + 1/2) / count of their sum, so that the frames
// that make most of the movie are those sampled. A frame that holds more
// than a sample's share is taken once, weighing as much as all of them.
void framesOverBytes(const std::vector<std::uint64_t>& pictureBytes,
                     std::vector<std::int64_t>& frames, std::vector<double>& weights) {
    double total = 0.0;
    for (const std::uint64_t bytes : pictureBytes) total += static_cast<double>(bytes);
    if (total <= 0.0) return;
    double before = 0.0;  // the bytes of the frames before `frame`
    std::size_t frame = 0;
    for (std::int64_t j = 0; j < kSizeSamples; ++j) {
        const double at = (static_cast<double>(j) + 0.5) * total / kSizeSamples;
        while (frame + 1 < pictureBytes.size() &&
               before + static_cast<double>(pictureBytes[frame]) <= at) {
            before += static_cast<double>(pictureBytes[frame++]);
        }
        if (!frames.empty() && frames.back() == static_cast<std::int64_t>(frame)) {
            weights.back() += 1.0;
        } else {
            frames.push_back(static_cast<std::int64_t>(frame));
            weights.push_back(1.0);
        }
    }
}

JobOutcome failed(const PlannedJob& job, Fault fault) {
    JobOutcome outcome;
    outcome.source = job.source;
    outcome.status = JobOutcome::Status::Failed;
    outcome.fault = std::move(fault);
    return outcome;
}

}  // namespace

SizeEstimate::SizeEstimate(bool includeAlpha, unsigned threads, std::int32_t anchor)
    : includeAlpha_(includeAlpha), threads_(std::max(1u, threads)), anchor_(anchor) {}

void SizeEstimate::add(const RasterImage& picture, double weight) {
    Sample added;
    added.weight = weight;
    added.qualities.assign(std::begin(kCurveQualities), std::end(kCurveQualities));
    for (const std::int32_t asked : {anchor_, focus_}) {
        if (asked > 0) added.qualities.push_back(asked);
    }
    std::sort(added.qualities.begin(), added.qualities.end());
    added.qualities.erase(std::unique(added.qualities.begin(), added.qualities.end()),
                          added.qualities.end());
    added.bytes.resize(added.qualities.size());
    std::atomic<std::size_t> next = 0;
    const auto encode = [&] {
        for (std::size_t i; (i = next++) < added.bytes.size();) {
            added.bytes[i] =
                frameBytes(picture, {CompressionType::Jpeg, includeAlpha_, added.qualities[i]});
        }
    };
    {
        std::vector<std::jthread> helpers;
        const std::size_t workers = std::min<std::size_t>(threads_, added.bytes.size());
        // A thread that cannot be had leaves its share to the others.
        try {
            for (std::size_t t = 1; t < workers; ++t) helpers.emplace_back(encode);
        } catch (const std::system_error&) {
        }
        encode();
    }
    // A picture that cannot be stored says nothing of the others.
    if (std::find(added.bytes.begin(), added.bytes.end(), 0.0) != added.bytes.end()) return;
    weight_ += weight;
    samples_.push_back(std::move(added));
}

double SizeEstimate::Sample::at(std::int32_t quality) const {
    const auto above = std::lower_bound(qualities.begin(), qualities.end(), quality);
    const auto i = static_cast<std::size_t>(above - qualities.begin());
    if (i == qualities.size()) return bytes.back();
    if (*above == quality || i == 0) return bytes[i];
    const double t = static_cast<double>(quality - qualities[i - 1]) /
                     static_cast<double>(qualities[i] - qualities[i - 1]);
    return std::exp(std::log(bytes[i - 1]) + t * (std::log(bytes[i]) - std::log(bytes[i - 1])));
}

double SizeEstimate::meanBytes(std::int32_t quality) const {
    double sum = 0.0;
    for (const Sample& sample : samples_) sum += sample.weight * sample.at(quality);
    return sampled() ? sum / weight_ : 0.0;
}

double SizeEstimate::meanRatio(std::int32_t quality, std::int32_t from) const {
    double at = 0.0, base = 0.0;
    for (const Sample& sample : samples_) {
        const double anchor = sample.at(anchor_);
        at += sample.weight * sample.at(quality) / anchor;
        base += sample.weight * sample.at(from) / anchor;
    }
    return sampled() ? at / base : 1.0;
}

bool aimsAtTargetSize(const ConvertSettings& settings) {
    return settings.targetSize > 0 && settings.compression == CompressionType::Jpeg;
}

QualityChooser::QualityChooser(const PlannedJob& job, const ConvertSettings& settings,
                               const MovieLayout& layout, unsigned threads, SamplePictures sample)
    : settings_(settings),
      threads_(threads),
      sample_(std::move(sample)),
      target_(static_cast<double>(settings.targetSize)),
      pictureFrames_(static_cast<double>(layout.pictureFrames)) {
    const auto sound = static_cast<double>(layout.soundBytes);
    if (layout.soundBytes > 0 && kMovieBytes + sound > target_) {
        Fault over(FaultCode::SoundOverTarget, FaultStep::FitSound, job.moviePath);
        over.other = layout.companion;
        over.values = {sound, target_};
        end(failed(job, std::move(over)));
        return;
    }
    // A frame without a picture of its own is its ShowFrame alone.
    rest_ = kMovieBytes + sound + 2.0 * static_cast<double>(layout.frames - layout.pictureFrames);
    const auto firstChoice = [&](const SizeEstimate& estimate) {
        return highestFitting(
            [&](std::int32_t q) { return rest_ + pictureFrames_ * estimate.meanBytes(q); },
            kAim * target_, 100);
    };
    const std::vector<std::int64_t> spread = evenFrames(layout.pictureFrames);
    first_ = sampled(sample_, spread, std::vector<double>(spread.size(), 1.0), settings, threads, 0,
                     firstChoice);
    quality_ = firstChoice(*first_);
    // Close under the target, quality 1 is still worth a try.
    const double lowest = rest_ + pictureFrames_ * first_->meanBytes(1);
    if (quality_ == 0 && lowest <= target_) quality_ = 1;
    if (quality_ == 0) {
        Fault over(FaultCode::OverTargetSize, FaultStep::FitSize, job.moviePath);
        over.values = {lowest, target_, 1, 1};
        end(failed(job, std::move(over)));
    }
}

std::optional<ConvertSettings> QualityChooser::next() const {
    if (outcome_) return std::nullopt;
    ConvertSettings at = settings_;
    if (first_) at.colorQuality = quality_;
    return at;
}

void QualityChooser::endWithBest(JobOutcome last) {
    end(written_ ? std::move(*written_) : std::move(last));
}

void QualityChooser::tried(JobOutcome outcome, const std::vector<std::uint64_t>& pictureBytes) {
    if (!first_) return end(std::move(outcome));
    ++tries_;
    const std::int32_t tried = quality_;
    double bytes = 0.0;
    if (outcome.fault && outcome.fault->code == FaultCode::OverTargetSize) {
        over_ = tried;
        bytes = outcome.fault->values[0];
        if (tried == 1) return end(std::move(outcome));
    } else if (outcome.status == JobOutcome::Status::Converted) {
        fits_ = tried;
        outcome.quality = tried;
        std::error_code ec;
        bytes = static_cast<double>(std::filesystem::file_size(outcome.outputPath, ec));
        written_ = std::move(outcome);
        if (ec) return end(std::move(*written_));
    } else {
        // A try above a movie already written that fails, or is stopped,
        // leaves that movie.
        return endWithBest(std::move(outcome));
    }
    if (tries_ == kMaxTargetTries || over_ - fits_ <= 1) return endWithBest(std::move(outcome));
    // The pictures' bytes at the quality tried are now known; the samples
    // say how they change from there.
    const double pictures = std::max(bytes - rest_, 0.0);
    const auto choose = [&](const auto& change) {
        return highestFitting([&](std::int32_t q) { return rest_ + pictures * change(q); },
                              kAim * target_, over_ - 1);
    };
    // A movie that fits is tried again only when a quality some steps higher
    // is estimated to fit, by the samples at hand first.
    const auto atHand = [&](std::int32_t q) {
        return overBytes_ ? overBytes_->meanRatio(q, tried)
                          : first_->meanBytes(q) / first_->meanBytes(tried);
    };
    if (written_ && (!first_->sampled() || choose(atHand) < fits_ + kWorthSteps)) {
        return end(std::move(*written_));
    }
    // New samples, spread over the bytes of the movie just made, weigh its
    // pictures as it does. Without a sampled picture, half the quality.
    std::vector<std::int64_t> frames;
    std::vector<double> weights;
    framesOverBytes(pictureBytes, frames, weights);
    overBytes_ = sampled(
        sample_, frames, weights, settings_, threads_, tried, [&](const SizeEstimate& estimate) {
            return choose([&](std::int32_t q) { return estimate.meanRatio(q, tried); });
        });
    if (!overBytes_->sampled()) {
        overBytes_.reset();
        if (written_) return end(std::move(*written_));
        quality_ = std::max(1, tried / 2);
        return;
    }
    const std::int32_t quality =
        choose([&](std::int32_t q) { return overBytes_->meanRatio(q, tried); });
    if (written_ && quality < fits_ + kWorthSteps) return end(std::move(*written_));
    quality_ = std::max(quality, 1);
}

}  // namespace vantrel
