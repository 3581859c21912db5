#include "convert/MovieWriter.h"

#include <memory>

#include "html/HtmlPage.h"
#include "swf/ShapeTags.h"

namespace vantrel {

JobSound loadSound(const PlannedJob& job, double seconds) {
    JobSound sound;
    sound.origin = job.sound.origin();
    switch (job.sound.choice) {
        case PlannedSound::Choice::Companion:
            sound.loaded = loadCompanionSound(job.sound.companion);
            sound.companion = job.sound.companion;
            break;
        case PlannedSound::Choice::VideoOwn:
            sound.loaded = loadVideoSound(job.video()->path, seconds);
            break;
        case PlannedSound::Choice::NoCompanion:
        case PlannedSound::Choice::VideoSoundOff:
            break;
    }
    return sound;
}

JobSound copySound(const JobSound& sound) {
    JobSound copy;
    copy.origin = sound.origin;
    copy.companion = sound.companion;
    copy.loaded.warning = sound.loaded.warning;
    const Mp3Sound& from = sound.loaded.sound;
    Mp3Sound& to = copy.loaded.sound;
    if (from.bytes) to.bytes = std::make_unique<SourceBuffer>(*from.bytes);
    to.start = from.start;
    to.length = from.length;
    to.rate = from.rate;
    to.mono = from.mono;
    to.sampleCount = from.sampleCount;
    return copy;
}

MovieWriter::MovieWriter(const PlannedJob& job, const ConvertSettings& settings,
                         ConvertObserver* observer, std::int32_t frameTotal, JobOutcome& outcome)
    : job_(job),
      settings_(settings),
      observer_(observer),
      frameTotal_(frameTotal),
      outcome_(outcome) {}

bool MovieWriter::add(std::optional<EncodedFrame>& frame, JobSound* sound) {
    if (frameCount_ == 0) {
        // The header's room is kept for the first picture's size.
        Fault fault;
        if (!movie_.streamTo(job_.moviePath, frame ? pixelsToTwips(frame->width) : 0,
                             frame ? pixelsToTwips(frame->height) : 0, fault)) {
            return end(JobOutcome::Status::Failed, std::move(fault));
        }
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
    addSoundTrack(movie_, std::move(sound.loaded.sound), sourceBuffers_);
    outcome_.sound = sound.origin;
    outcome_.soundPath = sound.companion;
}

void MovieWriter::finish(std::int32_t width, std::int32_t height) {
    if (!anyPicture_) {
        outcome_.status = JobOutcome::Status::Failed;
        outcome_.fault = Fault(FaultCode::NoPictureRead, FaultStep::MakeMovie);
        outcome_.sound = SoundOrigin::None;
        outcome_.soundPath.clear();
        return;
    }
    WriteResult movieFile =
        movie_.write(job_.moviePath, pixelsToTwips(width), pixelsToTwips(height),
                     headerRate(settings_.frameRate),
                     settings_.targetSize > 0 ? settings_.targetSize : UINT64_MAX);
    if (!movieFile.written) {
        if (movieFile.fault.code == FaultCode::OverTargetSize) {
            movieFile.fault.values[2] = settings_.colorQuality;
        }
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
    if (job_.pagePath.empty()) return;
    const WriteResult page = writeHtmlPage(job_.moviePath, width, height, settings_.includeAlpha,
                                           settings_.playerScript);
    if (page.written) {
        outcome_.pagePath = job_.pagePath;
    } else {
        outcome_.warnings.push_back(page.fault);
    }
}

bool MovieWriter::end(JobOutcome::Status status, Fault fault) {
    sourceBuffers_.clear();
    outcome_.status = status;
    outcome_.fault = std::move(fault);
    ended_ = true;
    return false;
}

}  // namespace vantrel
