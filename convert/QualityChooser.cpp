#include "convert/QualityChooser.h"

#include <algorithm>
#include <atomic>
#include <cmath>
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
// DefineSound's record header, fields and seek count, and StartSound.
constexpr double kSoundTagBytes = 20.0;
// The share of the target the estimate aims at: samples miss some of the
// detail of the pictures between them, and a movie that comes out over the
// target costs a second conversion.
constexpr double kAim = 0.97;
// The quality tried first: about where targets that call for a lower
// quality than the default lead.
constexpr std::int32_t kFirstGuess = 75;
// How the size's logarithm falls with that of the quantizer steps over the
// middle qualities, in photographs and renders alike.
constexpr double kUsualSlope = -0.8;

// The bytes a frame with this picture takes in a movie: its bitmap, shape
// and placement tags and its ShowFrame; 0 when it cannot be stored.
double frameBytes(const RasterImage& picture, const FrameStorage& storage) {
    std::optional<EncodedFrame> frame = encodeFrame(picture, storage);
    if (!frame) return 0.0;
    SwfMovie scratch;
    SourceBuffers buffers;
    addFrameTags(scratch, std::move(*frame), buffers);
    scratch.addTag(std::make_unique<ShowFrameTag>());
    double bytes = 0.0;
    for (const std::unique_ptr<SwfTag>& tag : scratch.tags()) {
        SwfStream record;
        tag->write(record);
        bytes += static_cast<double>(record.totalLength());
    }
    return bytes;
}

// libjpeg's quality scales its quantizer steps: by 50 / quality percent
// below 50, by 2 - quality / 50 from there (1 at 100, where steps of 1 hold).
// The logarithm of that factor, falling with quality, and back.
double logStep(std::int32_t quality) {
    const double percent = quality < 50 ? 5000.0 / quality : 200.0 - 2.0 * quality;
    return std::log(std::max(percent, 1.0) / 100.0);
}

std::int32_t qualityOfLogStep(double logStep) {
    const double percent = 100.0 * std::exp(logStep);
    return static_cast<std::int32_t>(
        std::lround(percent > 100.0 ? 5000.0 / percent : (200.0 - percent) / 2.0));
}

}  // namespace

SizeEstimate::SizeEstimate(std::vector<RasterImage> samples, MovieLayout layout, bool includeAlpha,
                           unsigned threads)
    : samples_(std::move(samples)),
      layout_(layout),
      includeAlpha_(includeAlpha),
      threads_(std::max(1u, threads)) {}

double SizeEstimate::bytesAt(std::int32_t quality) {
    if (const auto known = known_.find(quality); known != known_.end()) return known->second;
    const FrameStorage storage{CompressionType::Jpeg, includeAlpha_, quality};
    std::vector<double> sizes(samples_.size());
    std::atomic<std::size_t> next = 0;
    const auto encode = [&] {
        for (std::size_t i; (i = next++) < samples_.size();) {
            sizes[i] = frameBytes(samples_[i], storage);
        }
    };
    {
        std::vector<std::jthread> helpers;
        const std::size_t workers = std::min<std::size_t>(threads_, samples_.size());
        // A thread that cannot be had leaves its share to the others.
        try {
            for (std::size_t t = 1; t < workers; ++t) helpers.emplace_back(encode);
        } catch (const std::system_error&) {
        }
        encode();
    }
    double pictures = 0.0;
    for (const double size : sizes) pictures += size;
    if (!samples_.empty()) pictures *= static_cast<double>(layout_.pictureFrames) / samples_.size();
    // A frame without a picture of its own is its ShowFrame alone.
    const double bare = 2.0 * static_cast<double>(layout_.frames - layout_.pictureFrames);
    const double sound =
        layout_.soundBytes > 0 ? static_cast<double>(layout_.soundBytes) + kSoundTagBytes : 0.0;
    const double bytes = kMovieBytes + pictures + bare + sound;
    known_.emplace(quality, bytes);
    return bytes;
}

std::optional<std::int32_t> highestFittingQuality(SizeEstimate& estimate, double aim,
                                                  std::int32_t highest, double scale) {
    const auto logBytes = [&](std::int32_t q) { return std::log(estimate.bytesAt(q) * scale); };
    const double logAim = std::log(aim);
    const auto fits = [&](std::int32_t q) { return logBytes(q) <= logAim; };
    // low fits (0: none is known to); none from high on fits or is asked.
    std::int32_t low = 0, high = std::max(highest, 0) + 1;
    std::int32_t last = 0, q = std::clamp(kFirstGuess, 1, std::max(highest, 1));
    while (high - low > 1) {
        // Each guess after the first, which is rarely close, with its
        // neighbour on the other side, which mostly settles it.
        const bool probe = last > 0;
        if (fits(q)) {
            low = q;
            if (probe && q + 1 < high && !fits(q + 1)) high = q + 1;
        } else {
            high = q;
            if (probe && q - 1 > low && fits(q - 1)) low = q - 1;
        }
        if (high - low <= 1) break;
        // The size's logarithm is about a line against that of the
        // quantizer steps: the next guess is on the line through the last
        // two, or, after the first, on one of the usual slope.
        const double b = logBytes(q), xb = logStep(q);
        double slope = kUsualSlope;
        if (last > 0 && logBytes(last) != b && logStep(last) != xb) {
            slope = (logBytes(last) - b) / (logStep(last) - xb);
        }
        last = q;
        q = std::clamp(qualityOfLogStep(xb + (logAim - b) / std::min(slope, -0.05)), low + 1,
                       high - 1);
    }
    if (low == 0) return std::nullopt;
    return low;
}

JobOutcome convertToTarget(const PlannedJob& job, const ConvertSettings& settings,
                           SizeEstimate& estimate, const ConvertAtQuality& convertAt) {
    const auto target = static_cast<double>(settings.targetSize);
    std::optional<std::int32_t> quality = highestFittingQuality(estimate, kAim * target, 100);
    // Close under the target, quality 1 is still worth a try.
    if (!quality && estimate.bytesAt(1) <= target) quality = 1;
    if (!quality) {
        JobOutcome outcome;
        outcome.source = job.source;
        outcome.status = JobOutcome::Status::Failed;
        Fault over(FaultCode::OverTargetSize, FaultStep::FitSize, job.moviePath);
        over.values = {estimate.bytesAt(1), target, 1, 1};
        outcome.fault = std::move(over);
        return outcome;
    }
    for (int tries = 1;; ++tries) {
        ConvertSettings at = settings;
        at.colorQuality = *quality;
        JobOutcome outcome = convertAt(at);
        const bool over = outcome.fault && outcome.fault->code == FaultCode::OverTargetSize;
        if (!over) {
            if (outcome.status == JobOutcome::Status::Converted) outcome.quality = *quality;
            return outcome;
        }
        if (*quality == 1 || tries == kMaxTargetTries) return outcome;
        // Below the quality tried, the one the estimate chooses once scaled
        // by how far it fell short; quality 1 as the last resort. Without a
        // sampled picture, half the quality.
        if (estimate.sampled()) {
            const double scale = outcome.fault->values[0] / estimate.bytesAt(*quality);
            quality =
                highestFittingQuality(estimate, kAim * target, *quality - 1, scale).value_or(1);
        } else {
            quality = std::max(1, *quality / 2);
        }
    }
}

}  // namespace vantrel
