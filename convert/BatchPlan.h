#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/Fault.h"
#include "convert/ConvertSettings.h"
#include "convert/JobList.h"
#include "convert/JobOutcome.h"
#include "video/VideoHeader.h"

namespace vantrel {

// The sound a job's movie will get, and why.
struct PlannedSound {
    enum class Choice : std::uint8_t {
        Companion,      // the companion MP3 file beside the source
        VideoOwn,       // no companion file: the video's own sound, if it has one
        NoCompanion,    // a sequence without a companion file
        VideoSoundOff,  // a video without a companion file, its own sound not wanted
    };
    Choice choice = Choice::NoCompanion;
    std::string companion;  // the file, for Choice::Companion
    // The movie's part of the sound, in seconds into it: from `start`, and
    // for a companion file up to `end` (nothing: its own end).
    double start = 0.0;
    std::optional<double> end;

    SoundOrigin origin() const;
};

// A job the plan refuses, with the outcome it gets.
struct Refusal {
    JobOutcome::Status status = JobOutcome::Status::Skipped;
    Fault fault;
};

// What a video's header tells of its job.
struct HeaderPlan {
    VideoHeader header;
    // How the real run will refuse the job: the video does not open, or its
    // length gives no frames or too many (videoMovieFrames).
    std::optional<Refusal> refusal;
    std::int32_t frames = 0;  // of its movie; 0 where the header states no length
    PictureSize stage;        // its frames' size, fitted into the settings' box
};

// What the batch will do with one queued job, decided from the settings,
// folder listings and file metadata alone.
struct PlannedJob {
    std::variant<FolderJob, VideoJob> input;
    std::string source;     // the job as the list shows it
    std::string moviePath;  // where its movie goes
    std::string pagePath;   // where its page goes; empty when no page is asked for
    PlannedSound sound;
    // Nothing when the job is to be converted.
    std::optional<Refusal> refusal;
    // The movie's folder is to be made first (it lies under an output folder).
    bool makeFolder = false;
    // What is known before any picture is read of the players that will
    // play its movie badly (playerWarnings): its rate, a sequence's frames.
    std::vector<Fault> playerWarnings;
    // What a video's header tells, when the plan read it.
    std::optional<HeaderPlan> fromHeader;

    const FolderJob* sequence() const { return std::get_if<FolderJob>(&input); }
    const VideoJob* video() const { return std::get_if<VideoJob>(&input); }
};

// Every job of a batch, picture sequences first, in list order.
struct BatchPlan {
    std::vector<PlannedJob> jobs;
    // The warning each movie gets when it stores another frame rate than
    // the one asked.
    std::optional<Fault> rateWarning;
};

// Whether planBatch reads each video's header (readVideoHeader): a run
// opens each video itself, and a window that plans on its own thread leaves
// that to a worker.
enum class VideoHeaders : std::uint8_t { Read, Unread };

// Every picture frame defines two characters (its bitmap and its shape) and
// a sound track one more, out of 65535 character ids.
inline constexpr std::int32_t kMaxPictureFrames = 32767;

// Decides every job: where its movie and page go (beside the source, or at
// its place under the output folder), which sound it takes, and whether it
// is refused: another job before it writes the same movie, its movie exists
// and movies are kept, or its sequence has no pictures or more than a movie
// can hold. A cut (settings.cutStart, cutEnd) keeps a sequence's pictures
// of that part, and is refused when it starts past their end or holds not
// one frame; the sound, a sequence's companion too, starts where the first
// picture kept does and ends where the last one does. Reads folder listings,
// file metadata and, unless told not to, the headers of the videos of jobs
// not refused; never picture data. What a header says refuses no job: the
// real run decides that once it opens the video.
BatchPlan planBatch(const JobList& jobs, const ConvertSettings& settings,
                    VideoHeaders headers = VideoHeaders::Read);

// The frames of the movie of a video's part that the settings ask for, from
// where its pictures end and its length (FrameSource::picturesEnd and
// durationSeconds), or its refusal: a start at or past the pictures' end
// (skipped), a part shorter than one frame (skipped), or more frames than a
// movie holds (failed).
std::variant<std::int32_t, Refusal> videoMovieFrames(const ConvertSettings& settings,
                                                     double picturesEnd, double length,
                                                     const std::string& path);

// A file the batch reads or writes, and the job it belongs to.
struct BatchFile {
    enum class Role : std::uint8_t { Picture, Video, Sound, Movie, Page };
    Role role = Role::Picture;
    std::string path;    // as the plan names it
    std::string source;  // the job, as the list shows it
};

// The file of the batch that `path` is, if any: a picture, video or
// companion sound a job reads, or a movie or page it writes (a refused
// job's too: its movie may be one kept by choice). Files are compared by
// their resolved paths, as the plan finds duplicate movies, and an existing
// file by its identity too, so that another spelling, a link or a hard link
// is caught.
std::optional<BatchFile> batchFileAt(const BatchPlan& plan, const std::string& path);

// Why the batch cannot write under outputFolder, before any work: it names
// something that is not a folder, or it is missing and cannot be made
// (what comes first on its way up is not a folder, or may not be written).
// A fault of step MakeFolder; nothing when it can, or when it is empty.
std::optional<Fault> outputFolderRefusal(const std::string& outputFolder);

// The report a dry run gives: each job planned, or refused as it would be;
// the planned ones with the warnings known before any picture is read. A
// video whose header was read is planned as its header tells: failed as the
// real run fails to open it, refused for its length as the real run would
// (videoMovieFrames, from the length the file states), or with its movie's
// frames, stage size and turn, and without its own sound when it has none.
ConvertReport plannedReport(const BatchPlan& plan);

// Where a job's movie goes beside its source: beside the pictures under the
// sequence's name (walk.swf), or under the folder's name when the pictures
// are named by their number alone (pics/0001.bmp gives pics/pics.swf); for
// a video its path with the extension replaced (clip.swf).
std::string sequenceMoviePath(const FolderJob& job);
std::string videoMoviePath(const std::string& videoPath);

// Where a movie goes when written under outputFolder: at the place its path
// beside the source has under the dropped folder root (/src/a/walk.swf
// dropped as /src goes to outputFolder/a/walk.swf), or straight under
// outputFolder when it is not below root. Unchanged when outputFolder is
// empty. Paths are compared as spelled, not resolved.
std::string outputMoviePath(const std::string& moviePath, const std::string& root,
                            const std::string& outputFolder);

// The companion MP3 file of a movie made from pictures: the movie's name with
// the extension mp3 (walk.mp3 for walk.swf); of a video clip.avi:
// clip.avi.mp3, else clip.mp3. Letter case does not matter: of several
// spellings of a name the exact one wins, then the first in byte order.
// Empty when there is none.
std::string sequenceSoundPath(const std::string& moviePath);
std::string videoSoundPath(const std::string& videoPath);

}  // namespace vantrel
