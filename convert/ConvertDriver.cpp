#include "convert/ConvertDriver.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <map>
#include <new>
#include <sstream>
#include <thread>

#include "base/FileBuffer.h"
#include "convert/JobIntake.h"
#include "convert/OrderedPipeline.h"
#include "html/FileNames.h"
#include "html/HtmlPage.h"
#include "image/BmpReader.h"
#include "image/JpegCodec.h"
#include "image/PngReader.h"
#include "image/TgaReader.h"
#include "sound/SoundTrack.h"
#include "swf/FrameComposer.h"
#include "swf/ShapeTags.h"
#include "swf/SwfMovie.h"
#include "video/VideoFrameSource.h"

namespace vantrel {

namespace {

namespace fs = std::filesystem;

// Every picture frame defines two characters (its bitmap and its shape) and
// a sound track one more, out of 65535 character ids.
constexpr std::int32_t kMaxPictureFrames = 32767;

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
    Fault fault;
    if (!file.load(path, &fault)) {
        why = "cannot be read: " + fault.detail;
        return false;
    }
    const std::string extension = extensionOf(path);
    bool decoded = false;
    if (extension == "bmp") {
        decoded = decodeBmp(picture, file.data(), file.size(), true);
    } else if (extension == "tga") {
        decoded = decodeTga(picture, file.data(), file.size());
    } else if (extension == "jpg" || extension == "jpeg") {
        decoded = decodeJpeg(picture, file.data(), file.size());
    } else if (extension == "png") {
        decoded = decodePng(picture, file.data(), file.size());
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

// One spelling for every path of a file (a/x.swf, ./a/x.swf, or a/x.swf
// through a link to a), so that jobs that would write the same file are
// recognised.
std::string sameFileKey(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    if (ec) return path;
    const fs::path canonical = fs::weakly_canonical(absolute, ec);
    return (ec ? absolute.lexically_normal() : canonical).string();
}

bool stopRequested(ConvertObserver* observer) {
    return observer != nullptr && observer->stopRequested();
}

// The first of the names (in order) that a file in the folder of `path`
// goes by, letter case aside: its exact spelling, else the first spelling in
// byte order. Folders do not count, as in the folder scan. The path with
// that file's name, or empty.
std::string companionPath(const std::string& path, const std::vector<std::string>& names) {
    const fs::path folder = fs::path(path).parent_path();
    std::optional<std::vector<std::string>> listing;
    for (const std::string& name : names) {
        std::error_code ec;
        const fs::path exact = fs::path(path).replace_filename(name);
        if (fs::symlink_status(exact, ec).type() != fs::file_type::not_found &&
            !fs::is_directory(exact, ec)) {
            return exact.string();
        }
        if (!listing) {
            listing.emplace();
            for (fs::directory_iterator entry(folder.empty() ? "." : folder, ec), end;
                 !ec && entry != end; entry.increment(ec)) {
                std::error_code typeError;
                if (!entry->is_directory(typeError)) {
                    listing->push_back(entry->path().filename().string());
                }
            }
            std::sort(listing->begin(), listing->end());
        }
        const std::string key = lowercase(name);
        for (const std::string& entry : *listing) {
            if (lowercase(entry) == key) return fs::path(path).replace_filename(entry).string();
        }
    }
    return {};
}

// A job's sound, made ready before its frames, and where it came from.
struct JobSound {
    LoadedSound loaded;
    JobOutcome::Sound origin = JobOutcome::Sound::None;
    std::string path;  // the companion file
};

JobSound companionSound(const std::string& mp3Path) {
    JobSound sound;
    if (mp3Path.empty()) return sound;
    sound.loaded = loadCompanionSound(mp3Path);
    sound.origin = JobOutcome::Sound::Companion;
    sound.path = mp3Path;
    return sound;
}

// Adds the job's sound to the first frame, with what the report says of it.
void addSound(SwfMovie& movie, JobSound& sound, CVantrelDoc& doc, JobOutcome& outcome) {
    if (!sound.loaded.problem.empty()) {
        outcome.warnings.push_back("no sound: " + sound.loaded.problem);
    }
    if (!sound.loaded.loaded()) return;
    if (!sound.loaded.notice.empty()) outcome.warnings.push_back(sound.loaded.notice);
    addSoundTrack(movie, std::move(sound.loaded.sound), doc.sourceBuffers);
    outcome.sound = sound.origin;
    outcome.soundPath = sound.path;
}

// The output end of a job: frames arrive in order and go straight into the
// movie's file, their payloads released as soon as they are written.
class MovieFrames {
  public:
    MovieFrames(CVantrelDoc& doc, ConvertObserver* observer, std::string moviePath,
                std::int32_t frameTotal, JobOutcome& outcome)
        : doc_(doc),
          observer_(observer),
          moviePath_(std::move(moviePath)),
          frameTotal_(frameTotal),
          outcome_(outcome) {}

    // The job ended early: its file could not be made or written, or the
    // user stopped.
    bool ended() const { return ended_; }

    // Adds one frame: the picture's tags if there is one, the job's sound if
    // given (in the first frame), then ShowFrame. False once the job cannot
    // go on.
    bool add(std::optional<EncodedFrame>& frame, JobSound* sound) {
        if (frameCount_ == 0) {
            // The header's room is kept for the first picture's size.
            std::string error;
            if (!movie_.streamTo(moviePath_, frame ? pixelsToTwips(frame->width) : 0,
                                 frame ? pixelsToTwips(frame->height) : 0, error)) {
                return end(JobOutcome::Status::Failed, error);
            }
        }
        if (frame) {
            addFrameTags(movie_, std::move(*frame), doc_.sourceBuffers);
            doc_.sourceBuffers.clear();
            anyPicture_ = true;
        }
        if (sound != nullptr) {
            addSound(movie_, *sound, doc_, outcome_);
            doc_.sourceBuffers.clear();
        }
        movie_.addTag(std::make_unique<ShowFrameTag>());
        if (!movie_.streamError().empty()) {
            return end(JobOutcome::Status::Failed,
                       "cannot write " + moviePath_ + ": " + movie_.streamError());
        }
        ++frameCount_;
        if (observer_ != nullptr) observer_->frameAdded(frameCount_, frameTotal_);
        if (stopRequested(observer_)) {
            return end(JobOutcome::Status::Stopped, "stopped before its movie was written");
        }
        return true;
    }

    // Writes the movie's header at the stage size and, if asked, its page;
    // fills the outcome either way. A movie in which no frame got a picture
    // is not written, so that it cannot replace a good one of the same name,
    // and the job fails.
    void finish(std::int32_t width, std::int32_t height) {
        if (!anyPicture_) {
            outcome_.status = JobOutcome::Status::Failed;
            outcome_.reason = "no picture could be read: no movie written";
            outcome_.sound = JobOutcome::Sound::None;
            outcome_.soundPath.clear();
            return;
        }
        const WriteResult movieFile =
            movie_.write(moviePath_, pixelsToTwips(width), pixelsToTwips(height),
                         headerRate(doc_.settings.frameRate));
        if (!movieFile.written) {
            outcome_.status = JobOutcome::Status::Failed;
            outcome_.reason = movieFile.error;
            return;
        }
        outcome_.status = JobOutcome::Status::Converted;
        outcome_.outputPath = moviePath_;
        outcome_.frameCount = movie_.frameCount();
        outcome_.width = width;
        outcome_.height = height;
        if (doc_.settings.outputHtml) {
            const WriteResult page = writeHtmlPage(
                moviePath_, width, height, doc_.settings.includeAlpha, doc_.settings.playerScript);
            if (page.written) {
                outcome_.pagePath = htmlPagePath(moviePath_);
            } else {
                outcome_.warnings.push_back(page.error);
            }
        }
    }

    // The pipeline itself failed (no memory for a frame).
    void fail(const std::string& reason) { end(JobOutcome::Status::Failed, reason); }

  private:
    bool end(JobOutcome::Status status, const std::string& reason) {
        doc_.sourceBuffers.clear();
        outcome_.status = status;
        outcome_.reason = reason;
        ended_ = true;
        return false;
    }

    CVantrelDoc& doc_;
    ConvertObserver* observer_;
    std::string moviePath_;
    std::int32_t frameTotal_;
    JobOutcome& outcome_;
    SwfMovie movie_;
    std::int32_t frameCount_ = 0;
    bool anyPicture_ = false;
    bool ended_ = false;
};

// Runs the frames of one job on `threads` threads, about two frames in
// flight for each so memory stays flat.
template <typename Item, typename Produce, typename Transform, typename Consume>
void runFrames(unsigned threads, MovieFrames& frames, Produce produce, Transform transform,
               Consume consume) {
    try {
        runOrderedPipeline<Item>(threads, std::size_t{2} * threads, produce, transform, consume);
    } catch (const std::bad_alloc&) {
        frames.fail("not enough memory for its frames");
    } catch (const std::exception& error) {
        frames.fail(error.what());
    }
}

// One picture of a sequence on its way through the pipeline.
struct PictureFrame {
    std::size_t k = 0;
    std::string path;
    std::int32_t width = 0;  // the picture as the reader left it
    std::int32_t height = 0;
    bool decoded = false;
    std::optional<EncodedFrame> frame;
    std::string why;
};

// A picture placed in a movie, by its number's place in the job.
struct PlacedPicture {
    std::size_t k = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

std::string sizeText(std::int32_t width, std::int32_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

// Warns of pictures of another size than the stage, which overflow or
// underfill it. A few are named; a long run of them is counted instead, so
// that it does not bury the rest of the report.
void warnOfOddSizes(const FolderJob& job, const std::vector<PlacedPicture>& placed,
                    std::int32_t width, std::int32_t height, JobOutcome& outcome) {
    constexpr std::size_t kNamed = 3;
    std::vector<const PlacedPicture*> odd;
    for (const PlacedPicture& picture : placed) {
        if (picture.width != width || picture.height != height) odd.push_back(&picture);
    }
    const std::size_t named = odd.size() <= kNamed + 1 ? odd.size() : kNamed;
    for (std::size_t i = 0; i < named; ++i) {
        outcome.warnings.push_back(fs::path(job.picturePath(odd[i]->k)).filename().string() +
                                   " is " + sizeText(odd[i]->width, odd[i]->height) +
                                   " pixels, the stage " + sizeText(width, height));
    }
    if (named < odd.size()) {
        outcome.warnings.push_back(std::to_string(odd.size() - named) +
                                   " more pictures differ in size from the stage");
    }
}

// `besideSource` is where the movie would go beside its pictures: its sound
// is looked for there, wherever the movie goes.
JobOutcome convertSequence(const FolderJob& job, const std::string& besideSource,
                           const std::string& moviePath, CVantrelDoc& doc,
                           ConvertObserver* observer, unsigned threads) {
    JobOutcome outcome;
    outcome.source = rowText(job);
    if (job.pictures.empty()) {
        outcome.status = JobOutcome::Status::Skipped;
        outcome.reason = "no pictures";
        return outcome;
    }
    if (job.pictures.size() > kMaxPictureFrames) {
        outcome.status = JobOutcome::Status::Failed;
        outcome.reason = std::to_string(job.pictures.size()) +
                         " pictures are more than one movie can hold (32767)";
        return outcome;
    }

    JobSound sound = companionSound(sequenceSoundPath(besideSource));
    const FrameStorage storage = doc.settings.storage();
    MovieFrames frames(doc, observer, moviePath, static_cast<std::int32_t>(job.pictures.size()),
                       outcome);
    std::size_t next = 0;
    // The stage takes the size of the picture as the last decode left it.
    std::int32_t width = 0, height = 0;
    std::vector<PlacedPicture> placed;
    runFrames<PictureFrame>(
        threads, frames,
        [&](PictureFrame& item) {
            if (next == job.pictures.size()) return false;
            item.k = next;
            item.path = job.picturePath(next++);
            return true;
        },
        [&](PictureFrame& item) {
            RasterImage picture;
            item.decoded = readPicture(item.path, picture, item.why);
            item.width = picture.width;
            item.height = picture.height;
            if (item.decoded) item.frame = encodeFrame(std::move(picture), storage, &item.why);
        },
        [&](PictureFrame& item) {
            if (item.decoded || item.width > 0 || item.height > 0) {
                width = item.width;
                height = item.height;
            }
            if (item.frame) {
                placed.push_back({item.k, item.width, item.height});
            } else {
                outcome.missingPictures.push_back(item.path + ": " + item.why);
            }
            return frames.add(item.frame, item.k == 0 ? &sound : nullptr);
        });
    if (frames.ended()) return outcome;
    frames.finish(width, height);
    if (outcome.status == JobOutcome::Status::Converted) {
        warnOfOddSizes(job, placed, width, height, outcome);
    }
    return outcome;
}

// One sampled frame of a video on its way through the pipeline. A frame
// that could not be grabbed shares the one before it.
struct VideoFrame {
    std::int32_t i = 0;
    std::int32_t index = 0;
    bool grabbed = false;
    std::shared_ptr<const PendingPicture> pending;
    std::optional<EncodedFrame> frame;
    std::string why;
};

JobOutcome convertVideo(const VideoJob& job, const std::string& moviePath, CVantrelDoc& doc,
                        ConvertObserver* observer, const FrameSourceFactory& makeFrameSource,
                        unsigned threads) {
    JobOutcome outcome;
    outcome.source = rowText(job);
    std::unique_ptr<FrameSource> source =
        makeFrameSource ? makeFrameSource() : std::make_unique<VideoFrameSource>();
    if (!source->open(job.path)) {
        outcome.status = JobOutcome::Status::Failed;
        outcome.reason = source->openFailure() == OpenFailure::FrameTooLarge
                             ? "frame too large"
                             : "video cannot be opened";
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

    // A companion file wins over the video's own sound, which lasts as long
    // as the movie: a longer one would still play when a looping movie
    // starts it again, and that start would be dropped.
    JobSound sound = companionSound(videoSoundPath(job.path));
    if (sound.origin == JobOutcome::Sound::None && doc.settings.videoSound) {
        sound.loaded = loadVideoSound(job.path, frameTotal / double{doc.settings.frameRate});
        sound.origin = JobOutcome::Sound::Video;
    }

    const FrameStorage storage = doc.settings.storage();
    MovieFrames frames(doc, observer, moviePath, frameTotal, outcome);
    const std::int32_t sourceFrames = source->frameCount();
    // Frames spaced unevenly in time are taken by time: movie frame i shows
    // the frame on screen i / rate seconds into the video, at the rate the
    // movie's header holds, so that the movie keeps the video's timing.
    const bool byTime = source->variableRate();
    const std::int32_t storedRate = headerRate(doc.settings.frameRate);
    const double movieRate = storedRate > 0 ? storedRate / 256.0 : doc.settings.frameRate;
    std::int32_t next = 0;
    std::shared_ptr<const PendingPicture> current;
    runFrames<VideoFrame>(
        threads, frames,
        // The decoder only goes forward: one thread decodes, in order; the
        // frames are turned into pictures and encoded on the others.
        [&](VideoFrame& item) {
            if (next == frameTotal) return false;
            item.i = next++;
            item.index = byTime ? source->frameShownAt(item.i / movieRate)
                                : sampledFrameIndex(sourceFrames, item.i, frameTotal);
            std::shared_ptr<const PendingPicture> grabbed = source->grabLater(item.index);
            item.grabbed = grabbed != nullptr;
            if (grabbed) current = std::move(grabbed);
            item.pending = current;
            return true;
        },
        [&](VideoFrame& item) {
            RasterImage picture;
            if (item.pending && !item.pending->finish(picture)) item.grabbed = false;
            item.frame = encodeFrame(std::move(picture), storage, &item.why);
        },
        [&](VideoFrame& item) {
            const std::string name = job.path + " frame " + std::to_string(item.index);
            if (!item.grabbed) outcome.missingPictures.push_back(name + ": cannot be decoded");
            if (!item.frame) outcome.missingPictures.push_back(name + ": " + item.why);
            return frames.add(item.frame, item.i == 0 ? &sound : nullptr);
        });
    if (frames.ended()) return outcome;
    frames.finish(source->videoWidth(), source->videoHeight());
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

std::string sequenceMoviePath(const FolderJob& job) {
    if (!job.prefix.empty() && job.prefix.back() != '/') return job.prefix + ".swf";
    // Pictures named by their number alone (0001.bmp) would make a hidden
    // ".swf": the movie takes its folder's name instead.
    std::error_code ec;
    fs::path folder = fs::absolute(job.prefix.empty() ? "." : job.prefix, ec).lexically_normal();
    if (!folder.has_filename()) folder = folder.parent_path();
    const std::string name = folder.filename().string();
    return job.prefix + (name.empty() ? "movie" : name) + ".swf";
}

std::string videoMoviePath(const std::string& videoPath) { return withExtension(videoPath, "swf"); }

std::string outputMoviePath(const std::string& moviePath, const std::string& root,
                            const std::string& outputFolder) {
    if (outputFolder.empty()) return moviePath;
    // A trailing "/" on root would count as a further, empty, folder.
    std::string base = root.empty() ? std::string(".") : root;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    fs::path relative =
        fs::path(moviePath).lexically_normal().lexically_relative(fs::path(base).lexically_normal());
    if (relative.empty() || *relative.begin() == "..") relative = fs::path(moviePath).filename();
    return (fs::path(outputFolder) / relative).string();
}

std::string sequenceSoundPath(const std::string& moviePath) {
    return companionPath(moviePath,
                         {fs::path(withExtension(moviePath, "mp3")).filename().string()});
}

std::string videoSoundPath(const std::string& videoPath) {
    const std::string name = fs::path(videoPath).filename().string();
    return companionPath(
        videoPath, {name + ".mp3", fs::path(withExtension(videoPath, "mp3")).filename().string()});
}

std::string soundText(const JobOutcome& outcome) {
    switch (outcome.sound) {
        case JobOutcome::Sound::Companion:
            return "sound " + outcome.soundPath;
        case JobOutcome::Sound::Video:
            return "the video's own sound";
        case JobOutcome::Sound::None:
            break;
    }
    return "no sound";
}

ConvertReport convertAll(CVantrelDoc& doc, OptionsPrompt& prompt, ConvertObserver* observer,
                         const FrameSourceFactory& makeFrameSource, unsigned threads) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
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
    // Jobs whose movies share a file (clip.avi and clip.mpeg, a sequence
    // clip001.bmp beside clip.avi, or one folder under two spellings): the
    // first one keeps its movie.
    std::map<std::string, std::string> movieSources;
    auto finished = [&](JobOutcome outcome) {
        report.jobs.push_back(std::move(outcome));
        if (report.jobs.back().status == JobOutcome::Status::Stopped) report.stopped = true;
        if (observer != nullptr) observer->jobFinished(report.jobs.size() - 1, report.jobs.back());
    };
    auto notConverted = [](JobOutcome::Status status, const std::string& source,
                           std::string reason) {
        JobOutcome outcome;
        outcome.status = status;
        outcome.source = source;
        outcome.reason = std::move(reason);
        return outcome;
    };
    auto run = [&](const std::string& source, const std::string& moviePath, auto&& convert) {
        if (!report.stopped && stopRequested(observer)) report.stopped = true;
        if (report.stopped) {
            finished(notConverted(JobOutcome::Status::Stopped, source,
                                  "not started: the batch was stopped"));
            return;
        }
        if (observer != nullptr) observer->jobStarted(job++, jobCount, source, moviePath);
        const std::string key = sameFileKey(moviePath);
        if (const auto earlier = movieSources.find(key); earlier != movieSources.end()) {
            finished(notConverted(JobOutcome::Status::Skipped, source,
                                  "its movie " + moviePath + " is already made from " +
                                      earlier->second + " in this batch"));
            return;
        }
        movieSources.emplace(key, source);
        std::error_code ec;
        if (!doc.settings.replaceMovies && fs::exists(moviePath, ec)) {
            JobOutcome outcome =
                notConverted(JobOutcome::Status::Skipped, source, "movie exists: " + moviePath);
            outcome.movieKept = true;
            finished(std::move(outcome));
            return;
        }
        const fs::path folder = fs::path(moviePath).parent_path();
        if (!doc.settings.outputFolder.empty() && !folder.empty()) {
            fs::create_directories(folder, ec);
            if (ec) {
                finished(notConverted(JobOutcome::Status::Failed, source,
                                      "cannot make the folder " + folder.string() + ": " +
                                          ec.message()));
                return;
            }
        }
        finished(convert(moviePath));
    };
    const std::string& outputFolder = doc.settings.outputFolder;
    for (const FolderJob& sequence : doc.jobs.folderJobs) {
        const std::string besideSource = sequenceMoviePath(sequence);
        run(rowText(sequence), outputMoviePath(besideSource, sequence.root, outputFolder),
            [&](const std::string& moviePath) {
                return convertSequence(sequence, besideSource, moviePath, doc, observer, threads);
            });
    }
    for (const VideoJob& video : doc.jobs.videoJobs) {
        run(rowText(video), outputMoviePath(videoMoviePath(video.path), video.root, outputFolder),
            [&](const std::string& moviePath) {
                return convertVideo(video, moviePath, doc, observer, makeFrameSource, threads);
            });
    }
    return report;
}

}  // namespace vantrel
