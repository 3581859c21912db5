#include "convert/BatchPlan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

#include "base/AsciiCase.h"
#include "convert/JobIntake.h"
#include "convert/PlayerLimits.h"
#include "html/FileNames.h"
#include "html/HtmlPage.h"
#include "swf/SwfMovie.h"
#include "video/FrameSource.h"

namespace vantrel {

namespace {

namespace fs = std::filesystem;

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
        for (const std::string& entry : *listing) {
            if (asciiEqualIgnoringCase(entry, name)) {
                return fs::path(path).replace_filename(entry).string();
            }
        }
    }
    return {};
}

PlannedSound plannedSound(const std::string& companion, PlannedSound::Choice otherwise) {
    PlannedSound sound;
    sound.choice = companion.empty() ? otherwise : PlannedSound::Choice::Companion;
    sound.companion = companion;
    return sound;
}

// Decides the paths of one job; the sound and the refusal come after.
PlannedJob placed(std::variant<FolderJob, VideoJob> input, std::string source,
                  const std::string& besideSource, const std::string& root,
                  const ConvertSettings& settings) {
    PlannedJob job;
    job.input = std::move(input);
    job.source = std::move(source);
    job.moviePath = outputMoviePath(besideSource, root, settings.outputFolder);
    if (settings.outputHtml) job.pagePath = htmlPagePath(job.moviePath);
    job.makeFolder =
        !settings.outputFolder.empty() && !fs::path(job.moviePath).parent_path().empty();
    return job;
}

// Keeps the pictures of the part of a sequence the settings ask for: movie
// frame i shows the picture on screen at cutStart + i / rate, picture k
// showing from k / rate. Where the sound of the part starts and ends goes
// into `sound`. The refusal when the part starts past the last picture's
// end, or holds not one frame.
std::optional<Refusal> cutPictures(FolderJob& sequence, const ConvertSettings& settings,
                                   PlannedSound& sound) {
    if (!settings.cut()) return std::nullopt;
    // A time that falls on a picture's start, worked out in floating point,
    // can come out a hair before it.
    constexpr double kSameTime = 1e-6;
    const double rate = settings.frameRate;
    const auto total = static_cast<double>(sequence.pictures.size());
    const double first = std::floor(settings.cutStart * rate + kSameTime);
    if (first >= total) {
        Fault fault(FaultCode::StartPastEnd, FaultStep::CutSource);
        fault.values = {settings.cutStart, total / rate};
        return Refusal{JobOutcome::Status::Skipped, std::move(fault)};
    }
    double count = total - first;
    if (settings.cutEnd) {
        count =
            std::min(count, std::floor((*settings.cutEnd - settings.cutStart) * rate + kSameTime));
    }
    if (count < 1) {
        Fault fault(FaultCode::TooShort, FaultStep::TimeVideo);
        fault.values[0] = rate;
        return Refusal{JobOutcome::Status::Skipped, std::move(fault)};
    }
    auto& pictures = sequence.pictures;
    pictures.erase(pictures.begin() + static_cast<std::ptrdiff_t>(first + count), pictures.end());
    pictures.erase(pictures.begin(), pictures.begin() + static_cast<std::ptrdiff_t>(first));
    sound.start = first / rate;
    if (settings.cutEnd) sound.end = (first + count) / rate;
    return std::nullopt;
}

// The video's header, and what it tells of the job at the settings: the
// real run fails where the header fails, and otherwise times the video by
// its length, which a header that states one states as the real run finds
// it, but for a file whose data ends early or a variable rate whose last
// frames its video stream's length leaves out.
HeaderPlan planFromHeader(const std::string& path, const ConvertSettings& settings) {
    HeaderPlan plan;
    plan.header = readVideoHeader(path);
    const VideoHeader& header = plan.header;
    if (header.failure) {
        plan.refusal =
            Refusal{JobOutcome::Status::Failed, {*header.failure, FaultStep::OpenVideo, path}};
        return plan;
    }
    if (header.width > 0 && header.height > 0) {
        plan.stage = fitInside(header.width, header.height, settings.maxSize);
    }
    if (header.length <= 0.0) return plan;
    std::variant<std::int32_t, Refusal> frames =
        videoMovieFrames(settings, header.picturesEnd, wholeMilliseconds(header.length), path);
    if (Refusal* refusal = std::get_if<Refusal>(&frames)) {
        plan.refusal = std::move(*refusal);
        return plan;
    }
    plan.frames = std::get<std::int32_t>(frames);
    return plan;
}

}  // namespace

SoundOrigin PlannedSound::origin() const {
    switch (choice) {
        case Choice::Companion:
            return SoundOrigin::Companion;
        case Choice::VideoOwn:
            return SoundOrigin::Video;
        case Choice::NoCompanion:
        case Choice::VideoSoundOff:
            break;
    }
    return SoundOrigin::None;
}

BatchPlan planBatch(const JobList& jobs, const ConvertSettings& settings, VideoHeaders headers) {
    BatchPlan plan;
    plan.rateWarning = storedRateWarning(settings.frameRate);
    plan.jobs.reserve(jobs.folderJobs.size() + jobs.videoJobs.size());
    for (const FolderJob& sequence : jobs.folderJobs) {
        plan.jobs.push_back(placed(sequence, rowText(sequence), sequenceMoviePath(sequence),
                                   sequence.root, settings));
    }
    for (const VideoJob& video : jobs.videoJobs) {
        plan.jobs.push_back(
            placed(video, rowText(video), videoMoviePath(video.path), video.root, settings));
    }

    // Jobs whose movies share a file (clip.avi and clip.mpeg, a sequence
    // clip001.bmp beside clip.avi, or one folder under two spellings): the
    // first one keeps its movie, whatever becomes of it.
    std::map<std::string, std::string> movieSources;
    for (PlannedJob& job : plan.jobs) {
        const auto [earlier, first] = movieSources.emplace(sameFileKey(job.moviePath), job.source);
        std::error_code ec;
        if (!first) {
            Fault fault(FaultCode::DuplicateMovie, FaultStep::StartJob, job.moviePath);
            fault.other = earlier->second;
            job.refusal = Refusal{JobOutcome::Status::Skipped, std::move(fault)};
        } else if (!settings.replaceMovies && fs::exists(job.moviePath, ec)) {
            job.refusal = Refusal{JobOutcome::Status::Skipped,
                                  {FaultCode::MovieExists, FaultStep::StartJob, job.moviePath}};
        } else if (FolderJob* sequence = std::get_if<FolderJob>(&job.input)) {
            if (sequence->pictures.empty()) {
                job.refusal = Refusal{JobOutcome::Status::Skipped,
                                      {FaultCode::NoPictures, FaultStep::CountPictures}};
            } else if (std::optional<Refusal> cut = cutPictures(*sequence, settings, job.sound)) {
                job.refusal = std::move(cut);
            } else if (const std::size_t pictures = sequence->pictures.size();
                       pictures > kMaxPictureFrames) {
                Fault fault(FaultCode::TooManyFrames, FaultStep::CountPictures);
                fault.values[0] = static_cast<double>(pictures);
                job.refusal = Refusal{JobOutcome::Status::Failed, std::move(fault)};
            }
        }
        if (job.refusal) continue;
        // The sound is looked for beside the source, wherever the movie goes.
        const PlannedSound cut = job.sound;
        if (const FolderJob* sequence = job.sequence(); sequence != nullptr) {
            job.sound = plannedSound(sequenceSoundPath(sequenceMoviePath(*sequence)),
                                     PlannedSound::Choice::NoCompanion);
            job.sound.start = cut.start;
            job.sound.end = cut.end;
        } else {
            job.sound = plannedSound(videoSoundPath(job.video()->path),
                                     settings.videoSound ? PlannedSound::Choice::VideoOwn
                                                         : PlannedSound::Choice::VideoSoundOff);
            job.sound.start = settings.cutStart;
            job.sound.end = settings.cutEnd;
        }
        MovieShape shape;
        shape.rate = settings.frameRate;
        if (const FolderJob* sequence = job.sequence(); sequence != nullptr) {
            shape.frames = static_cast<std::int32_t>(sequence->pictures.size());
        } else if (headers == VideoHeaders::Read) {
            job.fromHeader = planFromHeader(job.video()->path, settings);
            if (!job.fromHeader->refusal) {
                if (job.fromHeader->frames > 0) shape.frames = job.fromHeader->frames;
                if (job.fromHeader->stage.width > 0) {
                    shape.width = job.fromHeader->stage.width;
                    shape.height = job.fromHeader->stage.height;
                }
            }
        }
        job.playerWarnings = playerWarnings(shape);
    }
    return plan;
}

ConvertReport plannedReport(const BatchPlan& plan) {
    ConvertReport report;
    for (const PlannedJob& job : plan.jobs) {
        JobOutcome outcome;
        outcome.source = job.source;
        const std::optional<Refusal>& refusal =
            job.refusal || !job.fromHeader ? job.refusal : job.fromHeader->refusal;
        if (refusal) {
            outcome.status = refusal->status;
            outcome.fault = refusal->fault;
        } else {
            outcome.status = JobOutcome::Status::Planned;
            outcome.outputPath = job.moviePath;
            outcome.pagePath = job.pagePath;
            outcome.sound = job.sound.origin();
            outcome.soundPath = job.sound.companion;
            if (plan.rateWarning) outcome.warnings.push_back(*plan.rateWarning);
            outcome.warnings.insert(outcome.warnings.end(), job.playerWarnings.begin(),
                                    job.playerWarnings.end());
            if (const FolderJob* sequence = job.sequence(); sequence != nullptr) {
                outcome.frameCount = static_cast<std::int32_t>(sequence->pictures.size());
            } else if (job.fromHeader) {
                outcome.frameCount = job.fromHeader->frames;
                outcome.width = job.fromHeader->stage.width;
                outcome.height = job.fromHeader->stage.height;
                outcome.orientation = job.fromHeader->header.orientation;
                if (job.sound.choice == PlannedSound::Choice::VideoOwn &&
                    !job.fromHeader->header.sound) {
                    outcome.sound = SoundOrigin::None;
                }
            }
        }
        report.jobs.push_back(std::move(outcome));
    }
    return report;
}

std::variant<std::int32_t, Refusal> videoMovieFrames(const ConvertSettings& settings,
                                                     double picturesEnd, double length,
                                                     const std::string& path) {
    // A start at or past where the pictures end shows none of them.
    const double start = settings.cutStart;
    if (start > 0.0 && start + kSameTimeSeconds >= picturesEnd) {
        Fault fault(FaultCode::StartPastEnd, FaultStep::CutSource, path);
        fault.values = {start, picturesEnd};
        return Refusal{JobOutcome::Status::Skipped, std::move(fault)};
    }
    // From the start to the end, or to where the video ends. A cut's ends,
    // worked out in floating point, can fall a hair before a whole number
    // of frames.
    const double end = std::min(length, settings.cutEnd.value_or(INFINITY));
    const double frames =
        (end - start) * settings.frameRate + (settings.cut() ? kSameTimeSeconds : 0.0);
    Fault timing(FaultCode::TooShort, FaultStep::TimeVideo, path);
    timing.values[0] = settings.frameRate;
    if (!(frames >= 1.0)) return Refusal{JobOutcome::Status::Skipped, std::move(timing)};
    if (frames >= static_cast<double>(kMaxPictureFrames) + 1) {
        timing.code = FaultCode::TooManyFrames;
        return Refusal{JobOutcome::Status::Failed, std::move(timing)};
    }
    return static_cast<std::int32_t>(frames);
}

std::optional<BatchFile> batchFileAt(const BatchPlan& plan, const std::string& path) {
    struct stat target;
    const bool exists = ::stat(path.c_str(), &target) == 0;
    const std::string key = exists ? std::string() : sameFileKey(path);
    // A file that exists is the same as an existing `path` when it is the
    // same file; one that does not, when it has the same resolved path.
    const auto same = [&](const std::string& file) {
        struct stat other;
        if (::stat(file.c_str(), &other) == 0) {
            return exists && other.st_dev == target.st_dev && other.st_ino == target.st_ino;
        }
        return !exists && sameFileKey(file) == key;
    };
    using Role = BatchFile::Role;
    for (const PlannedJob& job : plan.jobs) {
        std::vector<std::pair<Role, std::string>> files;
        if (const FolderJob* sequence = job.sequence(); sequence != nullptr) {
            for (std::size_t k = 0; k < sequence->pictures.size(); ++k) {
                files.emplace_back(Role::Picture, sequence->picturePath(k));
            }
        } else {
            files.emplace_back(Role::Video, job.video()->path);
        }
        files.emplace_back(Role::Sound, job.sound.companion);
        files.emplace_back(Role::Movie, job.moviePath);
        files.emplace_back(Role::Page, job.pagePath);
        for (const auto& [role, file] : files) {
            if (!file.empty() && same(file)) return BatchFile{role, file, job.source};
        }
    }
    return std::nullopt;
}

std::optional<Fault> outputFolderRefusal(const std::string& outputFolder) {
    if (outputFolder.empty()) return std::nullopt;
    // Up from the folder to the first thing that exists, which must be a
    // folder: the folder itself, or one it can be made in.
    fs::path path = outputFolder;
    int errnum = 0;
    for (struct stat found;;) {
        if (::stat(path.c_str(), &found) == 0) {
            if (!S_ISDIR(found.st_mode)) {
                errnum = ENOTDIR;
            } else if (path != outputFolder && ::access(path.c_str(), W_OK | X_OK) != 0) {
                errnum = errno;
            }
            break;
        }
        if (errno != ENOENT) {
            errnum = errno;
            break;
        }
        fs::path parent = path.parent_path();
        if (parent.empty()) parent = ".";
        if (parent == path) break;
        path = std::move(parent);
    }
    if (errnum == 0) return std::nullopt;
    return Fault(writeFaultCode(errnum), FaultStep::MakeFolder, outputFolder,
                 std::strerror(errnum));
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

}  // namespace vantrel
