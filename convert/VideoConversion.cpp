#include "convert/VideoConversion.h"

#include <functional>
#include <memory>
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

// A source of a video's frames, fitted into `box`, decoding on
// `decoderThreads` threads of its own.
std::unique_ptr<FrameSource> newSource(const FrameSourceFactory& makeFrameSource, PictureBox box,
                                       unsigned decoderThreads) {
    std::unique_ptr<FrameSource> source =
        makeFrameSource ? makeFrameSource() : std::make_unique<VideoFrameSource>(box);
    source->setDecoderThreads(decoderThreads);
    return source;
}

// The video's frames for the tries at its movie, each try reading them from
// the start on a source of its own. Decoding on several threads gives the
// same frames as on one until it meets damage; from there threads may give
// other pictures. So once a source met damage on its decoder threads, the
// video is opened on one thread from then on, and a try that read that
// source is made again: the movie does not depend on the threads.
class VideoFrames {
  public:
    VideoFrames(const FrameSourceFactory& makeFrameSource, PictureBox box, std::string path,
                unsigned threads)
        : make_(makeFrameSource), box_(box), path_(std::move(path)), threads_(threads) {}

    // Opens the video, unless a source is open: the first try reads the one
    // the movie's length was counted from. Nothing, or why it cannot be
    // opened.
    std::optional<Fault> open() {
        while (!source_) {
            source_ = newSource(make_, box_, threads_);
            if (source_->open(path_)) break;
            const FaultCode failure = source_->openFailure();
            const bool again = threads_ > 1 && source_->restartOnOneThread();
            close();
            if (!again) return Fault(failure, FaultStep::OpenVideo, path_);
        }
        return std::nullopt;
    }

    // The source open.
    FrameSource& source() { return *source_; }

    // Lets the source go, at the end of a try or of a failed open.
    void close() {
        if (source_->restartOnOneThread()) threads_ = 1;
        source_.reset();
    }

  private:
    const FrameSourceFactory& make_;
    PictureBox box_;
    std::string path_;
    unsigned threads_;
    std::unique_ptr<FrameSource> source_;
};

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
// frame's picture go to pictureBytes (MovieWriter).
std::optional<JobOutcome> convertAt(const PlannedJob& job, const ConvertSettings& settings,
                                    ConvertObserver* observer, FrameSource& source,
                                    std::int32_t frameTotal, JobSound& sound, unsigned threads,
                                    std::vector<std::uint64_t>& pictureBytes) {
    const std::string& path = job.video()->path;
    JobOutcome outcome;
    outcome.source = job.source;
    outcome.warnings = source.lengthNotes();
    const FrameStorage storage = settings.storage();
    MovieWriter movie(job, settings, observer, frameTotal, outcome, &pictureBytes);
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
    std::unique_ptr<FrameSource> sampler = newSource(makeFrameSource, settings.maxSize, 1);
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

// The chooser of the video's tries: with a target size, the frames
// sampled are read from sources of their own.
QualityChooser chooserFor(const PlannedJob& job, const ConvertSettings& settings,
                          const FrameSourceFactory& makeFrameSource, const FrameTimes& times,
                          std::int32_t frameTotal, const JobSound& sound, unsigned threads) {
    if (!aimsAtTargetSize(settings)) return QualityChooser(settings);
    std::int32_t pictureFrames = 0;
    while (pictureFrames < frameTotal && !times.held(pictureFrames)) ++pictureFrames;
    const MovieLayout layout{frameTotal, pictureFrames,
                             storedSoundBytes(sound, settings, frameTotal), sound.companion};
    const auto sample = [&](const std::vector<std::int64_t>& frames,
                            const std::function<void(std::size_t, const RasterImage&)>& take) {
        sampleFrames(job.video()->path, makeFrameSource, settings, times, frames, take);
    };
    return QualityChooser(job, settings, layout, threads, sample);
}

}  // namespace

JobOutcome convertVideo(const PlannedJob& job, const ConvertSettings& settings,
                        ConvertObserver* observer, const FrameSourceFactory& makeFrameSource,
                        unsigned threads) {
    const std::string& path = job.video()->path;
    VideoFrames video(makeFrameSource, settings.maxSize, path, threads);
    if (std::optional<Fault> failed = video.open()) {
        return refused(job, JobOutcome::Status::Failed, std::move(*failed));
    }
    // The part asked for, counted as the plan counts it from the header.
    const double picturesEnd = video.source().picturesEnd();
    std::variant<std::int32_t, Refusal> frames =
        videoMovieFrames(settings, picturesEnd, video.source().durationSeconds(), path);
    if (Refusal* refusal = std::get_if<Refusal>(&frames)) {
        return refused(job, refusal->status, std::move(refusal->fault));
    }
    const std::int32_t frameTotal = std::get<std::int32_t>(frames);
    // The video's own sound lasts as long as the movie: a longer one would
    // still play when a looping movie starts it again, and that start would
    // be dropped. Loaded once; each try takes a copy.
    const JobSound sound = loadSound(job, frameTotal / double{settings.frameRate});
    const FrameTimes times(settings, picturesEnd);
    QualityChooser chooser =
        chooserFor(job, settings, makeFrameSource, times, frameTotal, sound, threads);
    while (const std::optional<ConvertSettings> at = chooser.next()) {
        if (std::optional<Fault> failed = video.open()) {
            chooser.tried(refused(job, JobOutcome::Status::Failed, std::move(*failed)), {});
            continue;
        }
        JobSound copy = copySound(sound);
        std::vector<std::uint64_t> pictureBytes;
        std::optional<JobOutcome> outcome =
            convertAt(job, *at, observer, video.source(), frameTotal, copy, threads, pictureBytes);
        video.close();
        // Damage met on the decoder's threads: the same try again, which
        // reads the video on one thread.
        if (!outcome) continue;
        chooser.tried(std::move(*outcome), pictureBytes);
    }
    return std::move(chooser).outcome();
}

}  // namespace vantrel
