#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Fault.h"
#include "video/Orientation.h"

namespace vantrel {

// Where a movie's sound comes from.
enum class SoundOrigin : std::uint8_t { None, Companion, Video };

// What became of one queued job, or, for a batch only planned, what will.
struct JobOutcome {
    // Stopped: the batch was stopped before this job's movie was written.
    // Planned: a dry run's job that would be converted.
    enum class Status : std::uint8_t { Converted, Skipped, Failed, Stopped, Planned };

    Status status = Status::Converted;
    std::string source;      // the job as the list shows it
    std::string outputPath;  // the movie, when converted or planned
    std::string pagePath;    // the HTML page, when written or planned
    // Frames of the movie; for a planned sequence, its pictures; for a
    // planned video, its movie's as its header tells, 0 when the header was
    // not read or states no length.
    std::int32_t frameCount = 0;
    // The stage size the movie was written with, in pixels, when converted;
    // for a planned video, as its header tells.
    std::int32_t width = 0;
    std::int32_t height = 0;
    // How a planned video's frames are turned to be shown.
    Orientation orientation;
    // The JPEG quality a target size chose for the movie's pictures; 0 when
    // none did.
    std::int32_t quality = 0;
    SoundOrigin sound = SoundOrigin::None;
    std::string soundPath;  // the companion file, when its sound was added (or will be)
    // Pictures or video frames that gave no picture.
    std::vector<Fault> missingPictures;
    // Less serious problems and notes: an unusable or re-encoded sound, a
    // page that could not be written, pictures of odd sizes or read without a
    // damaged chunk, a frame rate the movie stores otherwise, temporary files
    // of killed runs removed, a video whose data ends early or whose sound
    // runs on, limits of players the movie goes past (frames, stage, rate,
    // size).
    std::vector<Fault> warnings;
    std::optional<Fault> fault;  // why the job was skipped, failed or stopped

    // Skipped because its movie exists and the settings keep movies.
    bool movieKept() const;
};

struct ConvertReport {
    bool stopped = false;    // the observer asked to stop before the batch ended
    std::vector<JobOutcome> jobs;
};

// Whether an outcome needs the user's attention: the job failed, was
// skipped for another reason than keeping its movie, or a page it was to
// write was not written. Jobs the user stopped are not problems. Both front
// ends count problems by this one rule.
bool isProblem(const JobOutcome& outcome);

// The fault that makes an outcome a problem (its own, or its unwritten
// page's); nothing when it is none.
const Fault* problemFault(const JobOutcome& outcome);

// The stable names the JSON report uses: "converted", "skipped", ...;
// "none", "mp3", "video".
std::string_view statusName(JobOutcome::Status status);
std::string_view soundName(SoundOrigin sound);

// Where a movie's sound comes from, in words: "sound /a/walk.mp3", "the
// video's own sound" or "no sound".
std::string soundText(const JobOutcome& outcome);

// The outcome in one line: "converted SOURCE -> MOVIE (N frames, quality Q,
// SOUND, page PAGE)" (the quality when a target size chose it), "planned
// SOURCE -> MOVIE (N pictures, SOUND, page PAGE)" for a sequence, "planned
// SOURCE -> MOVIE (N frames, W x H, TURN, SOUND, page PAGE)" for a video
// with a stage size (the frames when known; TURN: "turned 90 degrees"
// clockwise, "mirrored", both, or nothing), or "failed SOURCE: REASON" (also
// skipped, stopped).
std::string outcomeLine(const JobOutcome& outcome, OptionNames names);

// Every picture that gave no picture, then every warning, in words; the
// faults name options as `names` gives them, as in the line.
std::vector<std::string> warningLines(const JobOutcome& outcome, OptionNames names);

}  // namespace vantrel
