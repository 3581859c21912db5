#include "convert/VideoConversion.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "convert/MovieWriter.h"
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

// The sound the plan chose, loaded for a movie of `frames` frames and kept
// for a second attempt at it.
struct KeptSound {
    std::int32_t frames = 0;
    JobSound sound;
};

// One attempt at the movie, its frames decoded on `decoderThreads` threads;
// nothing when those threads met damage, and then nothing of the attempt is
// left, neither a file nor an outcome.
std::optional<JobOutcome> convertOnce(const PlannedJob& job, const ConvertSettings& settings,
                                      ConvertObserver* observer,
                                      const FrameSourceFactory& makeFrameSource, unsigned threads,
                                      unsigned decoderThreads, std::optional<KeptSound>& kept) {
    const std::string& path = job.video()->path;
    std::unique_ptr<FrameSource> source =
        makeFrameSource ? makeFrameSource() : std::make_unique<VideoFrameSource>(settings.maxSize);
    source->setDecoderThreads(decoderThreads);
    if (!source->open(path)) {
        if (source->restartOnOneThread()) return std::nullopt;
        return refused(job, JobOutcome::Status::Failed,
                       {source->openFailure(), FaultStep::OpenVideo, path});
    }
    // The part asked for: from the start to the end, or to where the video
    // ends. A start at or past where the pictures end shows none of them.
    const double start = settings.cutStart;
    const double picturesEnd = source->picturesEnd();
    if (start > 0.0 && start + kSameTimeSeconds >= picturesEnd) {
        Fault fault(FaultCode::StartPastEnd, FaultStep::CutSource, path);
        fault.values = {start, picturesEnd};
        return refused(job, JobOutcome::Status::Skipped, std::move(fault));
    }
    const double end = std::min(source->durationSeconds(), settings.cutEnd.value_or(INFINITY));
    // A cut's ends, worked out in floating point, can fall a hair before a
    // whole number of frames.
    const double length =
        (end - start) * settings.frameRate + (settings.cut() ? kSameTimeSeconds : 0.0);
    Fault timing(FaultCode::TooShort, FaultStep::TimeVideo, path);
    timing.values[0] = settings.frameRate;
    if (!(length >= 1.0)) {
        return refused(job, JobOutcome::Status::Skipped, std::move(timing));
    }
    if (length >= static_cast<double>(kMaxPictureFrames) + 1) {
        timing.code = FaultCode::TooManyFrames;
        return refused(job, JobOutcome::Status::Failed, std::move(timing));
    }
    const auto frameTotal = static_cast<std::int32_t>(length);

    // The video's own sound lasts as long as the movie: a longer one would
    // still play when a looping movie starts it again, and that start would
    // be dropped. Loaded once; an attempt that may be made again takes a
    // copy.
    if (!kept || kept->frames != frameTotal) {
        kept = KeptSound{frameTotal, loadSound(job, frameTotal / double{settings.frameRate})};
    }
    JobSound sound = decoderThreads > 1 ? copySound(kept->sound) : std::move(kept->sound);

    JobOutcome outcome;
    outcome.source = job.source;
    outcome.warnings = source->lengthNotes();
    const FrameStorage storage = settings.storage();
    MovieWriter movie(job, settings, observer, frameTotal, outcome);
    // Frames are taken by time: movie frame i shows the frame on screen
    // start + i / rate seconds into the video, at the rate the movie's header
    // holds, so that the movie keeps the video's timing.
    const std::int32_t storedRate = headerRate(settings.frameRate);
    const double movieRate = storedRate > 0 ? storedRate / 256.0 : settings.frameRate;
    // Where a sound runs on past the pictures, the last one is held.
    std::int32_t next = 0;
    std::shared_ptr<const PendingPicture> current;
    movie.runFrames<VideoFrame>(
        threads,
        // The decoder only goes forward: one thread decodes, in order; the
        // frames are turned into pictures and encoded on the others.
        [&](VideoFrame& item) {
            if (next == frameTotal || source->restartOnOneThread()) return false;
            item.i = next++;
            const double seconds = start + item.i / movieRate;
            item.held = seconds + kSameTimeSeconds >= picturesEnd;
            if (item.held) return true;
            item.index = source->frameShownAt(seconds);
            std::shared_ptr<const PendingPicture> grabbed = source->grabLater(item.index);
            item.grabbed = grabbed != nullptr;
            if (grabbed) current = std::move(grabbed);
            item.pending = current;
            return true;
        },
        [&](VideoFrame& item) {
            if (item.held) return;
            RasterImage picture;
            if (item.pending && !item.pending->finish(picture)) item.grabbed = false;
            item.frame = encodeFrame(std::move(picture), storage, &item.why);
        },
        [&](VideoFrame& item) {
            if (!item.held && !item.grabbed) {
                Fault undecoded(FaultCode::Damaged, FaultStep::DecodeFrame, path);
                undecoded.frame = item.index;
                outcome.missingPictures.push_back(std::move(undecoded));
            }
            if (!item.held && !item.frame) {
                item.why.path = path;
                item.why.frame = item.index;
                outcome.missingPictures.push_back(std::move(item.why));
            }
            return movie.add(item.frame, item.i == 0 ? &sound : nullptr);
        });
    // A user's stop stands; anything else the damage may have caused is
    // found again on one thread. Frames the decoder holds back to show later
    // may be damaged too, and frames shown may refer to them.
    source->endDecoding();
    if (source->restartOnOneThread() && outcome.status != JobOutcome::Status::Stopped) {
        return std::nullopt;
    }
    if (movie.ended()) return outcome;
    movie.finish(source->videoWidth(), source->videoHeight());
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
            convertOnce(job, settings, observer, makeFrameSource, threads, threads, sound);
        if (outcome) return std::move(*outcome);
    }
    return std::move(*convertOnce(job, settings, observer, makeFrameSource, threads, 1, sound));
}

}  // namespace vantrel
