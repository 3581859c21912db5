#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/VantrelDoc.h"
#include "video/FrameSource.h"

namespace vantrel {

// The options a Convert command asks for once per batch.
struct ConvertOptions {
    bool includeAlpha = false;
    std::int32_t colorQuality = 90;
    float frameRate = 15.0f;
    bool outputHtml = true;
};

// Where the options come from: the desktop dialog or the command line.
class OptionsPrompt {
public:
    virtual ~OptionsPrompt() = default;
    // Nothing means Cancel. The compression choice is stored straight into
    // `settings` the moment it is made (as the dialog's radio buttons do),
    // so it stays even when the prompt is then cancelled.
    virtual std::optional<ConvertOptions> ask(ConvertSettings& settings) = 0;
};

// The options settled before the batch: given on the command line, or
// already chosen in a dialog that ran before the batch was started.
class ChosenOptions : public OptionsPrompt {
public:
    ChosenOptions(CompressionType compression, ConvertOptions options)
        : compression_(compression), options_(options) {}
    std::optional<ConvertOptions> ask(ConvertSettings& settings) override {
        settings.compression = compression_;
        return options_;
    }

private:
    CompressionType compression_;
    ConvertOptions options_;
};

struct JobOutcome;

// Told how the batch advances, for a progress display, and asked whether to
// stop. The driver calls it from the thread it runs on.
class ConvertObserver {
public:
    virtual ~ConvertObserver() = default;
    virtual void jobStarted(std::size_t /*job*/, std::size_t /*jobCount*/,
                            const std::string& /*source*/, const std::string& /*moviePath*/) {}
    virtual void frameAdded(std::int32_t /*framesDone*/, std::int32_t /*framesTotal*/) {}
    // Asked after every frame. Once it says yes, the movie being made is not
    // written and no further job starts; movies already written stay.
    virtual bool stopRequested() { return false; }
    // Told of each job's outcome as soon as it is known, in batch order,
    // also of the jobs skipped or never started; `job` is its place in the
    // report.
    virtual void jobFinished(std::size_t /*job*/, const JobOutcome& /*outcome*/) {}
};

struct JobOutcome {
    // Stopped: the batch was stopped before this job's movie was written.
    enum class Status { Converted, Skipped, Failed, Stopped };

    Status status = Status::Converted;
    std::string source;      // the job as the list shows it
    std::string outputPath;  // the movie, when converted
    std::int32_t frameCount = 0;
    // The stage size the movie was written with, in pixels, when converted.
    std::int32_t width = 0;
    std::int32_t height = 0;
    // Where the movie's sound came from.
    enum class Sound { None, Companion, Video };

    std::string pagePath;  // the HTML page, when one was written
    Sound sound = Sound::None;
    std::string soundPath;  // the companion MP3 file, when its sound was added
    // Pictures or video frames that gave no picture, each with the reason
    // ("/a/walk007.bmp: cannot be decoded").
    std::vector<std::string> missingPictures;
    // Less serious problems: an unusable MP3 file, one re-encoded at another
    // rate, a page that could not be written.
    std::vector<std::string> warnings;
    std::string reason;  // why the job was skipped or failed
    // Skipped because its movie exists and the settings keep movies.
    bool movieKept = false;
};

// Where a converted movie's sound came from, in words: "sound /a/walk.mp3",
// "the video's own sound" or "no sound".
std::string soundText(const JobOutcome& outcome);

struct ConvertReport {
    bool cancelled = false;  // the options were not given: nothing was done
    bool stopped = false;    // the observer asked to stop before the batch ended
    std::vector<JobOutcome> jobs;
};

// Makes the source that reads a video's frames.
using FrameSourceFactory = std::function<std::unique_ptr<FrameSource>()>;

// The Convert command: asks for the options once, then turns every queued
// picture sequence, then every video, into one movie beside its source (or
// under the settings' output folder, see outputMoviePath), with
// its sound track and, if asked, its HTML page. A video without a companion
// MP3 file gets its own sound, lasting as long as the movie, unless the
// settings say otherwise. The job list is unchanged.
// The report has one outcome per queued job, in batch order. The frames of
// a movie are read and encoded on `threads` threads (0: one per core); the
// files written do not depend on it.
ConvertReport convertAll(CVantrelDoc& doc, OptionsPrompt& prompt,
                         ConvertObserver* observer = nullptr,
                         const FrameSourceFactory& makeFrameSource = {}, unsigned threads = 0);

// The frame rate as the movie header stores it: frames per second x 256,
// truncated.
std::int32_t headerRate(float frameRate);

// The source frame shown by output frame i of `frames`: frames spread evenly
// over the source's frameCount frames, the first showing frame 0.
std::int32_t sampledFrameIndex(std::int32_t frameCount, std::int32_t i, std::int32_t frames);

// Where a job's movie goes: beside the pictures under the sequence's name
// (walk.swf), or under the folder's name when the pictures are named by
// their number alone (pics/0001.bmp gives pics/pics.swf); for a video its
// path with the extension replaced (clip.swf).
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
