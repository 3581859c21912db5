#include "convert/VideoConversion.h"

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

}  // namespace

JobOutcome convertVideo(const PlannedJob& job, const ConvertSettings& settings,
                        ConvertObserver* observer, const FrameSourceFactory& makeFrameSource,
                        unsigned threads) {
    const std::string& path = job.video()->path;
    std::unique_ptr<FrameSource> source =
        makeFrameSource ? makeFrameSource() : std::make_unique<VideoFrameSource>(settings.maxSize);
    if (!source->open(path)) {
        return refused(job, JobOutcome::Status::Failed,
                       {source->openFailure(), FaultStep::OpenVideo, path});
    }
    const double length = source->durationSeconds() * settings.frameRate;
    Fault timing(FaultCode::TooShort, FaultStep::TimeVideo, path);
    timing.values[0] = settings.frameRate;
    if (!(length >= 1.0)) return refused(job, JobOutcome::Status::Skipped, std::move(timing));
    if (length >= static_cast<double>(kMaxPictureFrames) + 1) {
        timing.code = FaultCode::TooManyFrames;
        return refused(job, JobOutcome::Status::Failed, std::move(timing));
    }
    const auto frameTotal = static_cast<std::int32_t>(length);

    // The video's own sound lasts as long as the movie: a longer one would
    // still play when a looping movie starts it again, and that start would
    // be dropped.
    JobSound sound = loadSound(job, frameTotal / double{settings.frameRate});

    JobOutcome outcome;
    outcome.source = job.source;
    outcome.warnings = source->lengthNotes();
    const FrameStorage storage = settings.storage();
    MovieWriter movie(job, settings, observer, frameTotal, outcome);
    // Frames are taken by time: movie frame i shows the frame on screen
    // i / rate seconds into the video, at the rate the movie's header holds,
    // so that the movie keeps the video's timing.
    const std::int32_t storedRate = headerRate(settings.frameRate);
    const double movieRate = storedRate > 0 ? storedRate / 256.0 : settings.frameRate;
    // Where a sound runs on past the pictures, the last one is held.
    const double picturesEnd = source->picturesEnd();
    std::int32_t next = 0;
    std::shared_ptr<const PendingPicture> current;
    movie.runFrames<VideoFrame>(
        threads,
        // The decoder only goes forward: one thread decodes, in order; the
        // frames are turned into pictures and encoded on the others.
        [&](VideoFrame& item) {
            if (next == frameTotal) return false;
            item.i = next++;
            const double seconds = item.i / movieRate;
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
    if (movie.ended()) return outcome;
    movie.finish(source->videoWidth(), source->videoHeight());
    return outcome;
}

}  // namespace vantrel
