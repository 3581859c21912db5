#include "convert/VideoConversion.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/FaultPlace.h"
#include "convert/MovieWriter.h"
#include "convert/QualityChooser.h"
#include "video/VideoFrameSource.h"

namespace vantrel {

namespace {

// One sampled frame of a video on its way through the pipeline. A frame
// that could not be grabbed shares the one before it. A frame past the
// pictures' end gets no picture of its own, without a warning: the stage
// keeps showing the last one, stored once however long the sound runs on.
struct VideoFrame {
    std::int32_t i = 0;
    std::int32_t index = 0;
    bool grabbed = false;
    bool held = false;
    std::shared_ptr<const PendingPicture> pending;
    std::optional<EncodedFrame> frame;
    Fault why;
};

JobOutcome refused(const PlannedJob& job, JobOutcome::Status status, Fault fault) {
    JobOutcome outcome;
    outcome.source = job.source;
    outcome.status = status;
    outcome.fault = std::move(fault);
    return outcome;
}

// A source of the video's frames, fitted into the settings' box, decoding
// on `decoderThreads` threads of its own.
std::unique_ptr<FrameSource> newSource(const FrameSourceFactory& makeFrameSource,
                                       const ConvertSettings& settings, unsigned decoderThreads) {
    std::unique_ptr<FrameSource> source =
        makeFrameSource ? makeFrameSource() : std::make_unique<VideoFrameSource>(settings.maxSize);
    source->setDecoderThreads(decoderThreads);
    return source;
}

// The video's frames as the movie takes them: movie frame i shows the video
// frame on screen start + i / rate seconds in, at the rate the movie's
// header holds, so that the movie keeps the video's timing; frames from
// where the pictures end hold the last one.
struct FrameTimes {
    FrameTimes(const ConvertSettings& settings, double picturesEnd)
        : start(settings.cutStart), picturesEnd(picturesEnd) {
        const std::int32_t storedRate = headerRate(settings.frameRate);
        rate = storedRate > 0 ? storedRate / 256.0 : settings.frameRate;
    }
    double seconds(double i) const { return start + i / rate; }
    bool held(std::int32_t i) const { return seconds(i) + kSameTimeSeconds >= picturesEnd; }

    double start = 0.0;
    double rate = 0.0;
    double picturesEnd = 0.0;
};

// Converts the opened video into a movie of frameTotal frames at the
// settings, with the sound given; nothing when the source's decoder threads
// met damage, and then nothing of the movie is left. The bytes of each
// frame's picture go to pictureBytes when given (MovieWriter).
std::optional<JobOutcome> convertAt(const PlannedJob& job, const ConvertSettings& settings,
                                    ConvertObserver* observer, FrameSource& source,
                                    std::int32_t frameTotal, JobSound& sound, unsigned threads,
                                    std::vector<std::uint64_t>* pictureBytes = nullptr) {
    const std::string& path = job.video()->path;
    JobOutcome outcome;
    outcome.source = job.source;
    outcome.warnings = source.lengthNotes();
    const FrameStorage storage = settings.storage();
    MovieWriter movie(job, settings, observer, frameTotal, outcome, pictureBytes);
    const FrameTimes times(settings, source.picturesEnd());
    std::int32_t next = 0;
    std::shared_ptr<const PendingPicture> current;
    movie.runFrames<VideoFrame>(
        threads,
        // The decoder only goes forward: one thread decodes, in order; the
        // frames are turned into pictures and encoded on the others.
        [&](VideoFrame& item) {
            if (next == frameTotal || source.restartOnOneThread()) return false;
            item.i = next++;
            item.held = times.held(item.i);
            if (item.held) return true;
            item.index = source.frameShownAt(times.seconds(item.i));
            std::shared_ptr<const PendingPicture> grabbed = source.grabLater(item.index);
            item.grabbed = grabbed != nullptr;
            if (grabbed) current = std::move(grabbed);
            item.pending = current;
            return true;
        },
        [&](VideoFrame& item) {
            if (item.held) return;
            RasterImage picture;
            if (item.pending && !item.pending->finish(picture)) item.grabbed = false;
            item.frame = encodeFrame(std::move(picture), storage, &item.why, {path, item.index});
        },
        [&](VideoFrame& item) {
            if (!item.held && !item.grabbed) {
                outcome.missingPictures.push_back(
                    FaultPlace{path, item.index}.fault(FaultCode::Damaged, FaultStep::DecodeFrame));
            }
            if (!item.held && !item.frame) outcome.missingPictures.push_back(std::move(item.why));
            return movie.add(item.frame, item.i == 0 ? &sound : nullptr);
        });
    // A user's stop stands; anything else the damage may have caused is
    // found again on one thread. Frames the decoder holds back to show later
    // may be damaged too, and frames shown may refer to them.
    source.endDecoding();
    if (source.restartOnOneThread() && outcome.status != JobOutcome::Status::Stopped) {
        return std::nullopt;
    }
    if (movie.ended()) return outcome;
    movie.finish(source.videoWidth(), source.videoHeight());
    return outcome;
}

// The pictures of movie frames `frames` (rising), as SamplePictures gives
// them: the frames the movie shows then, decoded exactly, forward on a
// source of their own on one decoder thread.
void sampleFrames(const std::string& path, const FrameSourceFactory& makeFrameSource,
                  const ConvertSettings& settings, const FrameTimes& times,
                  const std::vector<std::int64_t>& frames,
                  const std::function<void(std::size_t, const RasterImage&)>& take) {
    std::unique_ptr<FrameSource> sampler = newSource(makeFrameSource, settings, 1);
    if (!sampler->open(path)) return;
    RasterImage picture;
    std::int32_t grabbed = -1;
    for (std::size_t j = 0; j < frames.size(); ++j) {
        const std::int32_t index =
            sampler->frameShownAt(times.seconds(static_cast<double>(frames[j])));
        if (index < 0) continue;
        // Frames of a movie faster than its video can show the same picture.
        if (index != grabbed) {
            if (!sampler->grabFrame(index, picture)) continue;
            grabbed = index;
        }
        take(j, picture);
    }
}

// The sound the plan chose, loaded for a movie of `frames` frames and kept
// for a second attempt at it.
struct KeptSound {
    std::int32_t frames = 0;
    JobSound sound;
};

// The whole job with the video decoded on `decoderThreads` threads (every
// try of a target size included); nothing when those threads met damage,
// and then nothing of the attempt is left, neither a file nor an outcome.
std::optional<JobOutcome> convertOn(unsigned decoderThreads, const PlannedJob& job,
                                    const ConvertSettings& settings, ConvertObserver* observer,
                                    const FrameSourceFactory& makeFrameSource, unsigned threads,
                                    std::optional<KeptSound>& kept) {
    const std::string& path = job.video()->path;
    std::unique_ptr<FrameSource> source = newSource(makeFrameSource, settings, decoderThreads);
    if (!source->open(path)) {
        if (source->restartOnOneThread()) return std::nullopt;
        return refused(job, JobOutcome::Status::Failed,
                       {source->openFailure(), FaultStep::OpenVideo, path});
    }
    // The part asked for, counted as the plan counts it from the header.
    const double picturesEnd = source->picturesEnd();
    std::variant<std::int32_t, Refusal> frames =
        videoMovieFrames(settings, picturesEnd, source->durationSeconds(), path);
    if (Refusal* refusal = std::get_if<Refusal>(&frames)) {
        return refused(job, refusal->status, std::move(refusal->fault));
    }
    const std::int32_t frameTotal = std::get<std::int32_t>(frames);

    // The video's own sound lasts as long as the movie: a longer one would
    // still play when a looping movie starts it again, and that start would
    // be dropped. Loaded once; each movie made of it takes a copy.
    if (!kept || kept->frames != frameTotal) {
        kept = KeptSound{frameTotal, loadSound(job, frameTotal / double{settings.frameRate})};
    }
    if (settings.targetSize == 0 || settings.compression != CompressionType::Jpeg) {
        JobSound sound = copySound(kept->sound);
        return convertAt(job, settings, observer, *source, frameTotal, sound, threads);
    }

    const FrameTimes times(settings, picturesEnd);
    std::int32_t pictureFrames = 0;
    while (pictureFrames < frameTotal && !times.held(pictureFrames)) ++pictureFrames;
    const MovieLayout layout{frameTotal, pictureFrames,
                             storedSoundBytes(kept->sound, settings, frameTotal),
                             kept->sound.companion};
    const auto sample = [&](const std::vector<std::int64_t>& frames,
                            const std::function<void(std::size_t, const RasterImage&)>& take) {
        sampleFrames(path, makeFrameSource, settings, times, frames, take);
    };
    // Each try reads the video from its start with a source of its own, as
    // a conversion at that quality alone would.
    bool threadsMetDamage = false;
    const auto convertAtQuality = [&](const ConvertSettings& at,
                                      std::vector<std::uint64_t>& pictureBytes) {
        if (!source) {
            source = newSource(makeFrameSource, settings, decoderThreads);
            if (!source->open(path)) {
                threadsMetDamage = source->restartOnOneThread();
                return refused(job, JobOutcome::Status::Failed,
                               {source->openFailure(), FaultStep::OpenVideo, path});
            }
        }
        JobSound copy = copySound(kept->sound);
        std::optional<JobOutcome> tried =
            convertAt(job, at, observer, *source, frameTotal, copy, threads, &pictureBytes);
        source.reset();
        if (tried) return std::move(*tried);
        threadsMetDamage = true;
        return refused(job, JobOutcome::Status::Failed,
                       {FaultCode::Damaged, FaultStep::DecodeFrame, path});
    };
    JobOutcome outcome = convertToTarget(job, settings, layout, threads, sample, convertAtQuality);
    if (threadsMetDamage) return std::nullopt;
    return outcome;
}

}  // namespace

// Decoding on several threads gives the same frames as on one until it
// meets damage; from there threads may give other pictures, so the movie is
// made again from the start on one thread.
JobOutcome convertVideo(const PlannedJob& job, const ConvertSettings& settings,
                        ConvertObserver* observer, const FrameSourceFactory& makeFrameSource,
                        unsigned threads) {
    std::optional<KeptSound> sound;
    if (threads > 1) {
        std::optional<JobOutcome> outcome =
            convertOn(threads, job, settings, observer, makeFrameSource, threads, sound);
        if (outcome) return std::move(*outcome);
    }
    return std::move(*convertOn(1, job, settings, observer, makeFrameSource, threads, sound));
}

}  // namespace vantrel
