#include "convert/JobOutcome.h"

#include <algorithm>

namespace vantrel {

namespace {

// A converted job's only file written after its movie is its page.
const Fault* unwrittenPage(const JobOutcome& outcome) {
    const auto page =
        std::find_if(outcome.warnings.begin(), outcome.warnings.end(),
                     [](const Fault& warning) { return warning.step == FaultStep::WriteFile; });
    return page == outcome.warnings.end() ? nullptr : &*page;
}

// "mirrored", "turned 90 degrees", "mirrored and turned 90 degrees"; empty
// for upright frames.
std::string turnText(const Orientation& orientation) {
    const int degrees = orientation.clockwiseDegrees();
    const std::string turned = degrees == 0 ? "" : "turned " + std::to_string(degrees) + " degrees";
    if (!orientation.mirrored()) return turned;
    return turned.empty() ? "mirrored" : "mirrored and " + turned;
}

}  // namespace

bool JobOutcome::movieKept() const {
    return status == Status::Skipped && fault && fault->code == FaultCode::MovieExists;
}

const Fault* problemFault(const JobOutcome& outcome) {
    switch (outcome.status) {
        case JobOutcome::Status::Converted:
            return unwrittenPage(outcome);
        case JobOutcome::Status::Skipped:
            return outcome.movieKept() || !outcome.fault ? nullptr : &*outcome.fault;
        case JobOutcome::Status::Failed:
            return outcome.fault ? &*outcome.fault : nullptr;
        case JobOutcome::Status::Stopped:
        case JobOutcome::Status::Planned:
            break;
    }
    return nullptr;
}

bool isProblem(const JobOutcome& outcome) { return problemFault(outcome) != nullptr; }

std::string_view statusName(JobOutcome::Status status) {
    switch (status) {
        case JobOutcome::Status::Converted: return "converted";
        case JobOutcome::Status::Skipped: return "skipped";
        case JobOutcome::Status::Failed: return "failed";
        case JobOutcome::Status::Stopped: return "stopped";
        case JobOutcome::Status::Planned: return "planned";
    }
    return "failed";
}

std::string_view soundName(SoundOrigin sound) {
    switch (sound) {
        case SoundOrigin::None: return "none";
        case SoundOrigin::Companion: return "mp3";
        case SoundOrigin::Video: return "video";
    }
    return "none";
}

std::string soundText(const JobOutcome& outcome) {
    switch (outcome.sound) {
        case SoundOrigin::Companion:
            return "sound " + outcome.soundPath;
        case SoundOrigin::Video:
            return "the video's own sound";
        case SoundOrigin::None:
            break;
    }
    return "no sound";
}

std::string outcomeLine(const JobOutcome& outcome, OptionNames names) {
    std::string line(statusName(outcome.status));
    line += " " + outcome.source;
    if (outcome.status != JobOutcome::Status::Converted &&
        outcome.status != JobOutcome::Status::Planned) {
        return line + ": " + (outcome.fault ? faultText(*outcome.fault, names) : std::string());
    }
    line += " -> " + outcome.outputPath + " (";
    if (outcome.status == JobOutcome::Status::Converted) {
        line += std::to_string(outcome.frameCount) +
                (outcome.frameCount == 1 ? " frame, " : " frames, ");
    } else if (outcome.width > 0) {
        if (outcome.frameCount > 0) {
            line += std::to_string(outcome.frameCount) +
                    (outcome.frameCount == 1 ? " frame, " : " frames, ");
        }
        line += std::to_string(outcome.width) + " x " + std::to_string(outcome.height) + ", ";
        if (const std::string turn = turnText(outcome.orientation); !turn.empty()) {
            line += turn + ", ";
        }
    } else if (outcome.frameCount > 0) {
        line += std::to_string(outcome.frameCount) +
                (outcome.frameCount == 1 ? " picture, " : " pictures, ");
    }
    if (outcome.quality > 0) line += "quality " + std::to_string(outcome.quality) + ", ";
    line += soundText(outcome);
    if (!outcome.pagePath.empty()) line += ", page " + outcome.pagePath;
    return line + ")";
}

std::vector<std::string> warningLines(const JobOutcome& outcome, OptionNames names) {
    std::vector<std::string> lines;
    for (const Fault& missing : outcome.missingPictures) lines.push_back(faultText(missing, names));
    for (const Fault& warning : outcome.warnings) lines.push_back(faultText(warning, names));
    return lines;
}

}  // namespace vantrel
