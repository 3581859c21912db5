#include "convert/MovieWriter.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "convert/PlayerLimits.h"
#include "html/HtmlPage.h"
#include "swf/ActionTags.h"
#include "swf/ShapeTags.h"

namespace vantrel {

namespace {

// Puts the sound (of the file at `path`) into the movie's current frame as
// the settings ask, and its warnings into `warnings`. Streamed, when a
// frame's block can hold it: the stream, whose blocks the frames then take,
// is given back. Else one event sound, its bytes onto sourceBuffers.
std::unique_ptr<StreamedSound> placeSound(SwfMovie& movie, Mp3Sound sound,
                                          const ConvertSettings& settings, std::int32_t frameTotal,
                                          const std::string& path, std::vector<Fault>& warnings,
                                          SourceBuffers& sourceBuffers) {
    if (settings.streamSound) {
        const std::int32_t rate = headerRate(settings.frameRate);
        Mp3StreamSplit split = splitSound(sound, rate, frameTotal);
        if (split.fits()) {
            // The encoder's delay and padding make many sounds up to about
            // two 1152-sample frames longer than they were made: only more,
            // and more than a movie frame, is worth a word.
            if (split.leftOut > 2 * 1152 &&
                split.leftOut * 256.0 / split.sampleRate > 256.0 / rate) {
                Fault cut(FaultCode::SoundCut, FaultStep::StreamSound, path);
                cut.values = {double(split.soundSamples) / split.sampleRate,
                              frameTotal * 256.0 / rate};
                warnings.push_back(std::move(cut));
            }
            auto streamed = std::make_unique<StreamedSound>(std::move(sound), std::move(split));
            streamed->addHead(movie);
            return streamed;
        }
        Fault event(FaultCode::SoundNotStreamed, FaultStep::StreamSound, path);
        event.values = {
            settings.frameRate,
            double(split.samplesPerFrame > 0xFFFF ? split.samplesPerFrame : split.largestBlock)};
        warnings.push_back(std::move(event));
    }
    addSoundTrack(movie, std::move(sound), sourceBuffers);
    return nullptr;
}

}  // namespace

JobSound loadSound(const PlannedJob& job, double seconds) {
    JobSound sound;
    sound.origin = job.sound.origin();
    switch (job.sound.choice) {
        case PlannedSound::Choice::Companion:
            sound.loaded = loadCompanionSound(
                job.sound.companion, job.sound.start,
                job.sound.end ? std::max(*job.sound.end - job.sound.start, 0.0) : 0.0);
            sound.companion = job.sound.companion;
            break;
        case PlannedSound::Choice::VideoOwn:
            sound.loaded = loadVideoSound(job.video()->path, seconds, job.sound.start);
            break;
        case PlannedSound::Choice::NoCompanion:
        case PlannedSound::Choice::VideoSoundOff:
            break;
    }
    return sound;
}

JobSound copySound(const JobSound& sound) {
    JobSound copy;
    const Mp3Sound& mp3 = sound.loaded.sound;
    if (mp3.bytes) copy.loaded.sound.bytes = std::make_unique<SourceBuffer>(*mp3.bytes);
    copy.loaded.sound.start = mp3.start;
    copy.loaded.sound.length = mp3.length;
    copy.loaded.sound.rate = mp3.rate;
    copy.loaded.sound.mono = mp3.mono;
    copy.loaded.sound.seekSamples = mp3.seekSamples;
    copy.loaded.sound.sampleCount = mp3.sampleCount;
    copy.loaded.warning = sound.loaded.warning;
    copy.origin = sound.origin;
    copy.companion = sound.companion;
    return copy;
}

std::uint64_t storedSoundBytes(const JobSound& sound, const ConvertSettings& settings,
                               std::int32_t frameTotal) {
    if (!sound.loaded.loaded()) return 0;
    SwfMovie scratch;
    SourceBuffers buffers;
    std::vector<Fault> warnings;
    const std::unique_ptr<StreamedSound> streamed =
        placeSound(scratch, std::move(copySound(sound).loaded.sound), settings, frameTotal, {},
                   warnings, buffers);
    if (streamed) {
        for (std::int32_t frame = 0; frame < frameTotal; ++frame) {
            streamed->addBlock(scratch, static_cast<std::size_t>(frame));
        }
    }
    return scratch.tagBytes();
}

MovieWriter::MovieWriter(const PlannedJob& job, const ConvertSettings& settings,
                         ConvertObserver* observer, std::int32_t frameTotal, JobOutcome& outcome,
                         std::vector<std::uint64_t>* pictureBytes)
    : job_(job),
      settings_(settings),
      observer_(observer),
      frameTotal_(frameTotal),
      outcome_(outcome),
      pictureBytes_(pictureBytes) {}

bool MovieWriter::add(std::optional<EncodedFrame>& frame, JobSound* sound) {
    if (frameCount_ == 0) {
        // The header's room is kept for the first picture's size.
        Fault fault;
        if (!movie_.streamTo(job_.moviePath, frame ? pixelsToTwips(frame->width) : 0,
                             frame ? pixelsToTwips(frame->height) : 0, fault)) {
            return end(JobOutcome::Status::Failed, std::move(fault));
        }
    }
    if (pictureBytes_ != nullptr) {
        pictureBytes_->push_back(frame ? frame->jpeg.size() + frame->alpha.size() +
                                             frame->lossless.compressedData.size()
                                       : 0);
    }
    if (frame) {
        addFrameTags(movie_, std::move(*frame), sourceBuffers_);
        sourceBuffers_.clear();
        anyPicture_ = true;
    }
    if (sound != nullptr) {
        addSound(*sound);
        sourceBuffers_.clear();
    }
    if (streamed_) streamed_->addBlock(movie_, static_cast<std::size_t>(frameCount_));
    if (settings_.playOnce && frameCount_ + 1 == frameTotal_) {
        movie_.addTag(std::make_unique<DoActionTag>(std::vector<ActionCode>{ActionCode::Stop}));
    }
    movie_.addTag(std::make_unique<ShowFrameTag>());
    if (const std::optional<Fault>& failed = movie_.streamFault()) {
        return end(JobOutcome::Status::Failed, *failed);
    }
    ++frameCount_;
    if (observer_ != nullptr) observer_->frameAdded(frameCount_, frameTotal_);
    if (observer_ != nullptr && observer_->stopRequested()) {
        return end(JobOutcome::Status::Stopped, {FaultCode::Stopped, FaultStep::MakeMovie});
    }
    return true;
}

void MovieWriter::addSound(JobSound& sound) {
    if (sound.loaded.warning) outcome_.warnings.push_back(*sound.loaded.warning);
    if (!sound.loaded.loaded()) return;
    outcome_.sound = sound.origin;
    outcome_.soundPath = sound.companion;
    const std::string& path =
        job_.video() != nullptr && sound.companion.empty() ? job_.video()->path : sound.companion;
    streamed_ = placeSound(movie_, std::move(sound.loaded.sound), settings_, frameTotal_, path,
                           outcome_.warnings, sourceBuffers_);
}

void MovieWriter::finish(std::int32_t width, std::int32_t height) {
    if (!anyPicture_) {
        outcome_.status = JobOutcome::Status::Failed;
        outcome_.fault = Fault(FaultCode::NoPictureRead, FaultStep::MakeMovie);
        outcome_.sound = SoundOrigin::None;
        outcome_.soundPath.clear();
        return;
    }
    const WriteResult movieFile = movie_.write(
        job_.moviePath, pixelsToTwips(width), pixelsToTwips(height),
        headerRate(settings_.frameRate),
        settings_.targetSize > 0 ? settings_.targetSize : UINT64_MAX, settings_.colorQuality);
    if (!movieFile.written) {
        outcome_.status = JobOutcome::Status::Failed;
        outcome_.fault = movieFile.fault;
        return;
    }
    outcome_.status = JobOutcome::Status::Converted;
    outcome_.outputPath = job_.moviePath;
    outcome_.frameCount = movie_.frameCount();
    outcome_.width = width;
    outcome_.height = height;
    if (std::optional<Fault> rate = storedRateWarning(settings_.frameRate)) {
        outcome_.warnings.push_back(std::move(*rate));
    }
    MovieShape shape;
    shape.rate = settings_.frameRate;
    shape.frames = outcome_.frameCount;
    shape.width = width;
    shape.height = height;
    std::error_code ec;
    const std::uintmax_t bytes = std::filesystem::file_size(job_.moviePath, ec);
    if (!ec) shape.bytes = bytes;
    for (Fault& warning : playerWarnings(shape)) outcome_.warnings.push_back(std::move(warning));
    if (job_.pagePath.empty()) return;
    const WriteResult page = writeHtmlPage(job_.moviePath, width, height, settings_.includeAlpha,
                                           settings_.playerScript, !settings_.playOnce);
    if (page.written) {
        outcome_.pagePath = job_.pagePath;
    } else {
        outcome_.warnings.push_back(page.fault);
    }
}

bool MovieWriter::end(JobOutcome::Status status, Fault fault) {
    sourceBuffers_.clear();
    streamed_.reset();
    outcome_.status = status;
    outcome_.fault = std::move(fault);
    ended_ = true;
    return false;
}

}  // namespace vantrel
