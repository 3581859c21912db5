#include "convert/ConvertDriver.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <map>
#include <sstream>

#include "convert/FileBuffer.h"
#include "convert/FileNames.h"
#include "convert/JobIntake.h"
#include "html/HtmlPage.h"
#include "image/BmpReader.h"
#include "image/JpegCodec.h"
#include "image/TgaReader.h"
#include "sound/SoundTrack.h"
#include "swf/FrameComposer.h"
#include "swf/ShapeTags.h"
#include "swf/SwfMovie.h"
#include "video/VideoFrameSource.h"

namespace vantrel {

namespace {

// Every picture frame defines two characters (its bitmap and its shape) and
// a sound track one more, out of 65535 character ids.
constexpr std::int32_t kMaxPictureFrames = 32767;

std::int32_t toTwips(std::int32_t pixels) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{pixels} * 20, INT32_MAX));
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string extensionOf(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : lowercase(path.substr(dot + 1));
}

std::string formatRate(float frameRate) {
    std::ostringstream text;
    text << frameRate;
    return text.str();
}

// Decodes a picture file by its extension. False, with the reason, when the
// file cannot be read or decoded.
bool readPicture(const std::string& path, RasterImage& picture, std::string& why) {
    FileBuffer file;
    std::string error;
    if (!file.load(path, &error)) {
        why = "cannot be read: " + error;
        return false;
    }
    const std::string extension = extensionOf(path);
    bool decoded = false;
    if (extension == "bmp") {
        decoded = decodeBmp(picture, file.data(), file.size(), true);
    } else if (extension == "tga") {
        decoded = decodeTga(picture, file.data(), file.size());
    } else if (extension == "jpg") {
        decoded = decodeJpeg(picture, file.data(), file.size());
    } else {
        why = "no reader for ." + extension + " files";
        return false;
    }
    if (!decoded) {
        why = "cannot be decoded as a " + extension +
              " picture (damaged, of an unsupported kind, or over 64 megapixels)";
    }
    return decoded;
}

bool addPicture(SwfMovie& movie, const RasterImage& picture, CVantrelDoc& doc,
                const std::string& name, JobOutcome& outcome) {
    std::string why;
    if (composeFrame(movie, picture, doc.settings, doc.sourceBuffers, &why)) return true;
    outcome.missingPictures.push_back(name + ": " + why);
    return false;
}

bool stopRequested(ConvertObserver* observer) {
    return observer != nullptr && observer->stopRequested();
}

// The movie being made is dropped, with the buffers its tags point into.
void stopJob(CVantrelDoc& doc, JobOutcome& outcome) {
    doc.sourceBuffers.clear();
    outcome.status = JobOutcome::Status::Stopped;
    outcome.reason = "stopped before its movie was written";
}

void addSound(SwfMovie& movie, const std::string& mp3Path, CVantrelDoc& doc,
              JobOutcome& outcome) {
    std::string problem;
    if (addSoundTrack(movie, mp3Path, doc.sourceBuffers, &problem)) {
        outcome.soundPath = mp3Path;
    } else if (!problem.empty()) {
        outcome.warnings.push_back("no sound: " + problem);
    }
}

// Writes the movie and, if asked, its page; fills the outcome either way. A
// movie in which no frame got a picture is written all the same, but the job
// counts as failed.
void finishMovie(SwfMovie& movie, const std::string& outputPath, std::int32_t width,
                 std::int32_t height, bool anyPicture, CVantrelDoc& doc, JobOutcome& outcome) {
    const WriteResult movieFile = movie.write(outputPath, toTwips(width), toTwips(height),
                                              headerRate(doc.settings.frameRate));
    // The tags referred into these until the file was written.
    doc.sourceBuffers.clear();
    if (!movieFile.written) {
        outcome.status = JobOutcome::Status::Failed;
        outcome.reason = movieFile.error;
        return;
    }
    outcome.status = JobOutcome::Status::Converted;
    outcome.outputPath = outputPath;
    outcome.frameCount = movie.frameCount();
    if (doc.settings.outputHtml) {
        const WriteResult page =
            writeHtmlPage(outputPath, width, height, doc.settings.includeAlpha);
        if (page.written) {
            outcome.pagePath = htmlPagePath(outputPath);
        } else {
            outcome.warnings.push_back(page.error);
        }
    }
    if (!anyPicture) {
        outcome.status = JobOutcome::Status::Failed;
        outcome.reason = "no picture could be read: the movie has only empty frames";
    }
}

JobOutcome convertSequence(const FolderJob& job, CVantrelDoc& doc, ConvertObserver* observer) {
    JobOutcome outcome;
    outcome.source = rowText(job);
    if (job.numbers.empty()) {
        outcome.status = JobOutcome::Status::Skipped;
        outcome.reason = "no pictures";
        return outcome;
    }
    if (job.numbers.size() > kMaxPictureFrames) {
        outcome.status = JobOutcome::Status::Failed;
        outcome.reason = std::to_string(job.numbers.size()) +
                         " pictures are more than one movie can hold (32767)";
        return outcome;
    }

    SwfMovie movie;
    RasterImage picture;
    bool anyPicture = false;
    for (std::size_t k = 0; k < job.numbers.size(); ++k) {
        const std::string path = job.picturePath(job.numbers[k]);
        std::string why;
        if (readPicture(path, picture, why)) {
            anyPicture |= addPicture(movie, picture, doc, path, outcome);
        } else {
            outcome.missingPictures.push_back(path + ": " + why);
        }
        if (k == 0) addSound(movie, job.prefix + ".mp3", doc, outcome);
        movie.addTag(std::make_unique<ShowFrameTag>());
        if (observer != nullptr) {
            observer->frameAdded(static_cast<std::int32_t>(k + 1),
                                 static_cast<std::int32_t>(job.numbers.size()));
        }
        if (stopRequested(observer)) {
            stopJob(doc, outcome);
            return outcome;
        }
    }
    // The stage takes the size of the picture as the last decode left it.
    finishMovie(movie, sequenceMoviePath(job), picture.width, picture.height, anyPicture, doc,
                outcome);
    return outcome;
}

JobOutcome convertVideo(const VideoJob& job, CVantrelDoc& doc, ConvertObserver* observer,
                        const FrameSourceFactory& makeFrameSource) {
    JobOutcome outcome;
    outcome.source = rowText(job);
    std::unique_ptr<FrameSource> source =
        makeFrameSource ? makeFrameSource() : std::make_unique<VideoFrameSource>();
    if (!source->open(job.path)) {
        outcome.status = JobOutcome::Status::Failed;
        outcome.reason = "video cannot be opened";
        return outcome;
    }
    const double length = source->durationSeconds() * doc.settings.frameRate;
    if (!(length >= 1.0)) {
        outcome.status = JobOutcome::Status::Skipped;
        outcome.reason = "shorter than one frame at " + formatRate(doc.settings.frameRate) +
                         " frames per second";
        return outcome;
    }
    if (length >= static_cast<double>(kMaxPictureFrames) + 1) {
        outcome.status = JobOutcome::Status::Failed;
        outcome.reason = "longer than one movie can hold (32767 frames at " +
                         formatRate(doc.settings.frameRate) + " frames per second)";
        return outcome;
    }
    const auto frameTotal = static_cast<std::int32_t>(length);

    SwfMovie movie;
    RasterImage picture;
    bool anyPicture = false;
    const std::int32_t sourceFrames = source->frameCount();
    for (std::int32_t i = 0; i < frameTotal; ++i) {
        const std::int32_t index = sampledFrameIndex(sourceFrames, i, frameTotal);
        const std::string frameName = job.path + " frame " + std::to_string(index);
        // A failed grab leaves the previous frame's picture, shown again.
        if (!source->grabFrame(index, picture)) {
            outcome.missingPictures.push_back(frameName + ": cannot be decoded");
        }
        anyPicture |= addPicture(movie, picture, doc, frameName, outcome);
        if (i == 0) addSound(movie, job.path + ".mp3", doc, outcome);
        movie.addTag(std::make_unique<ShowFrameTag>());
        if (observer != nullptr) observer->frameAdded(i + 1, frameTotal);
        if (stopRequested(observer)) {
            stopJob(doc, outcome);
            return outcome;
        }
    }
    finishMovie(movie, videoMoviePath(job.path), source->videoWidth(), source->videoHeight(),
                anyPicture, doc, outcome);
    return outcome;
}

}  // namespace

std::int32_t headerRate(float frameRate) {
    // Rates the header cannot hold come out as 0, which the movie refuses.
    if (!(frameRate > 0.0f && frameRate < 256.0f)) return 0;
    return static_cast<std::int32_t>(frameRate * 256);
}

std::int32_t sampledFrameIndex(std::int32_t frameCount, std::int32_t i, std::int32_t frames) {
    if (frameCount <= 0 || frames <= 0) return 0;
    return static_cast<std::int32_t>(static_cast<std::int64_t>(frameCount - 1) * i / frames);
}

std::string sequenceMoviePath(const FolderJob& job) { return job.prefix + ".swf"; }

std::string videoMoviePath(const std::string& videoPath) { return withExtension(videoPath, "swf"); }

ConvertReport convertAll(CVantrelDoc& doc, OptionsPrompt& prompt, ConvertObserver* observer,
                         const FrameSourceFactory& makeFrameSource) {
    ConvertReport report;
    const std::optional<ConvertOptions> options = prompt.ask(doc.settings);
    if (!options) {
        report.cancelled = true;
        return report;
    }
    doc.settings.includeAlpha = options->includeAlpha;
    doc.settings.colorQuality = options->colorQuality;
    doc.settings.frameRate = options->frameRate;
    doc.settings.outputHtml = options->outputHtml;
    doc.sourceBuffers.clear();

    const std::size_t jobCount = doc.jobs.folderJobs.size() + doc.jobs.videoJobs.size();
    std::size_t job = 0;
    // Jobs whose movies share a name (clip.avi and clip.mpeg, or a sequence
    // clip001.bmp beside clip.avi): the first one keeps its movie.
    std::map<std::string, std::string> movieSources;
    auto run = [&](const std::string& source, const std::string& moviePath, auto&& convert) {
        if (!report.stopped && stopRequested(observer)) report.stopped = true;
        if (report.stopped) {
            JobOutcome outcome;
            outcome.status = JobOutcome::Status::Stopped;
            outcome.source = source;
            outcome.reason = "not started: the batch was stopped";
            report.jobs.push_back(std::move(outcome));
            return;
        }
        if (observer != nullptr) observer->jobStarted(job++, jobCount, source, moviePath);
        const auto [earlier, isNew] = movieSources.emplace(moviePath, source);
        if (!isNew) {
            JobOutcome outcome;
            outcome.status = JobOutcome::Status::Skipped;
            outcome.source = source;
            outcome.reason = "its movie " + moviePath + " is already made from " +
                             earlier->second + " in this batch";
            report.jobs.push_back(std::move(outcome));
            return;
        }
        report.jobs.push_back(convert());
        if (report.jobs.back().status == JobOutcome::Status::Stopped) report.stopped = true;
    };
    for (const FolderJob& sequence : doc.jobs.folderJobs) {
        run(rowText(sequence), sequenceMoviePath(sequence),
            [&] { return convertSequence(sequence, doc, observer); });
    }
    for (const VideoJob& video : doc.jobs.videoJobs) {
        run(rowText(video), videoMoviePath(video.path),
            [&] { return convertVideo(video, doc, observer, makeFrameSource); });
    }
    return report;
}

}  // namespace vantrel
