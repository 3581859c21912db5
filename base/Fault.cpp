#include "base/Fault.h"

#include <cerrno>
#include <cstring>
#include <iomanip>
#include <sstream>

#include "base/AsciiCase.h"

namespace vantrel {

namespace {

std::string fileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The extension of the file name, in lower case: "png".
std::string extensionOf(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) return {};
    return asciiLowercase(path.substr(dot + 1));
}

std::string whole(double value) { return std::to_string(static_cast<std::int64_t>(value)); }

// Frames per second as they were asked for: 15, 12.5, 29.97.
std::string frameRate(double value) {
    std::ostringstream text;
    text << static_cast<float>(value);
    return text.str();
}

// Seconds to a tenth: "18.0".
std::string seconds(double value) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << value;
    return text.str();
}

// The value to `digits` significant digits: 0.00781, 0.297.
std::string significant(double value, int digits) {
    std::ostringstream text;
    text << std::setprecision(digits) << value;
    return text.str();
}

// "44.1 kHz", "48 kHz".
std::string kiloHertz(double hz) {
    std::ostringstream text;
    text << hz / 1000.0 << " kHz";
    return text.str();
}

// Bytes to three significant digits in units of 1000: "812 bytes",
// "1.46 MB", "800 kB".
std::string byteSize(double bytes) {
    static constexpr const char* kUnits[] = {" bytes", " kB", " MB", " GB"};
    std::size_t unit = 0;
    while (unit + 1 < std::size(kUnits) && bytes >= 999.5) {
        bytes /= 1000.0;
        ++unit;
    }
    return significant(bytes, 3) + kUnits[unit];
}

std::string place(const Fault& fault) {
    return fault.frame ? fault.path + " frame " + std::to_string(*fault.frame) : fault.path;
}

bool isReadFailure(FaultCode code) {
    return code != FaultCode::Damaged && code != FaultCode::Unsupported &&
           code != FaultCode::NoSound;
}

}  // namespace

std::string_view faultCodeName(FaultCode code) {
    switch (code) {
        case FaultCode::NotFound: return "not-found";
        case FaultCode::Unreadable: return "unreadable";
        case FaultCode::Damaged: return "damaged";
        case FaultCode::Unsupported: return "unsupported";
        case FaultCode::TooLarge: return "too-large";
        case FaultCode::OutOfMemory: return "out-of-memory";
        case FaultCode::TooShort: return "too-short";
        case FaultCode::TooManyFrames: return "too-many-frames";
        case FaultCode::NoPictures: return "no-pictures";
        case FaultCode::NoPictureRead: return "no-picture-read";
        case FaultCode::MovieExists: return "movie-exists";
        case FaultCode::DuplicateMovie: return "duplicate-movie";
        case FaultCode::WriteFailed: return "write-failed";
        case FaultCode::DiskFull: return "disk-full";
        case FaultCode::Stopped: return "stopped";
        case FaultCode::NotAFolder: return "not-a-folder";
        case FaultCode::SoundReencoded: return "sound-re-encoded";
        case FaultCode::SizeDiffers: return "size-differs";
        case FaultCode::NoSound: return "no-sound";
        case FaultCode::NoVideo: return "no-video";
        case FaultCode::PicturesEndEarly: return "pictures-end-early";
        case FaultCode::SoundRunsOn: return "sound-runs-on";
        case FaultCode::ChunkDropped: return "chunk-dropped";
        case FaultCode::RateChanged: return "rate-changed";
        case FaultCode::TempRemoved: return "removed-temporary";
        case FaultCode::StartPastEnd: return "start-past-end";
        case FaultCode::ManyFrames: return "many-frames";
        case FaultCode::LargeStage: return "large-stage";
        case FaultCode::FastRate: return "fast-rate";
        case FaultCode::LargeMovie: return "large-movie";
        case FaultCode::SoundNotStreamed: return "sound-not-streamed";
        case FaultCode::SoundCut: return "sound-cut";
        case FaultCode::OverTargetSize: return "over-target-size";
        case FaultCode::SoundOverTarget: return "sound-over-target-size";
    }
    return "unreadable";
}

std::string faultText(const Fault& fault, OptionNames names) {
    const FaultCode code = fault.code;
    // "with --max-size", or nothing where the front end has no such option.
    const auto with = [names](std::string_view before, OptionKey key) {
        const std::string name = names(key);
        return name.empty() ? std::string() : std::string(before) + name;
    };
    switch (fault.step) {
        case FaultStep::ReadFile:
            return "cannot read " + fault.path + ": " + fault.detail;
        case FaultStep::WriteFile:
            return "cannot write " + fault.path + ": " + fault.detail;
        case FaultStep::MakeFolder:
            return "cannot make the folder " + fault.path + ": " + fault.detail;
        case FaultStep::DropItem:
            if (code == FaultCode::NotAFolder) return "Select folder not file.";
            return code == FaultCode::NotFound ? "No such file or directory" : "cannot be read";
        case FaultStep::PassOver:
            return "cannot be read, passed over";
        case FaultStep::ReadPicture:
            return place(fault) + ": cannot be read: " + fault.detail;
        case FaultStep::ChooseReader:
            return place(fault) + ": no reader for ." + extensionOf(fault.path) + " files";
        case FaultStep::DecodePicture:
            return place(fault) + ": cannot be decoded as a " + extensionOf(fault.path) +
                   " picture (damaged, of an unsupported kind, or over 64 megapixels)";
        case FaultStep::StorePicture:
            return place(fault) + ": " + fault.detail;
        case FaultStep::DecodeFrame:
            return place(fault) + ": cannot be decoded";
        case FaultStep::OpenVideo:
            switch (code) {
                case FaultCode::TooLarge: return "frame too large";
                case FaultCode::NoVideo: return "it has no video stream";
                default: return "video cannot be opened";
            }
        case FaultStep::TimeVideo:
            if (code == FaultCode::TooShort) {
                return "shorter than one frame at " + frameRate(fault.values[0]) +
                       " frames per second";
            }
            return "longer than one movie can hold (32767 frames at " +
                   frameRate(fault.values[0]) + " frames per second)";
        case FaultStep::CountPictures:
            if (code == FaultCode::NoPictures) return "no pictures";
            return whole(fault.values[0]) + " pictures are more than one movie can hold (32767)";
        case FaultStep::MakeMovie:
            if (!fault.detail.empty()) return fault.detail;
            switch (code) {
                case FaultCode::NoPictureRead: return "no picture could be read: no movie written";
                case FaultCode::OutOfMemory: return "not enough memory for its frames";
                case FaultCode::Stopped: return "stopped before its movie was written";
                default: return {};
            }
        case FaultStep::StartJob:
            switch (code) {
                case FaultCode::MovieExists: return "movie exists: " + fault.path;
                case FaultCode::DuplicateMovie:
                    return "its movie " + fault.path + " is already made from " + fault.other +
                           " in this batch";
                default: return "not started: the batch was stopped";
            }
        case FaultStep::LoadSound:
            return std::string("no sound: cannot ") + (isReadFailure(code) ? "read " : "use ") +
                   fault.path + ": " + fault.detail;
        case FaultStep::ReencodeSound:
            if (code == FaultCode::SoundReencoded && fault.detail.empty()) {
                return fileName(fault.path) + " is at " + kiloHertz(fault.values[0]) +
                       ", re-encoded at " + kiloHertz(fault.values[1]);
            }
            if (code == FaultCode::SoundReencoded) {
                return fileName(fault.path) + " is " + fault.detail + ", re-encoded as MP3 at " +
                       kiloHertz(fault.values[1]) +
                       (fault.values[0] != fault.values[1] ? " from " + kiloHertz(fault.values[0])
                                                           : std::string());
            }
            return "no sound: cannot re-encode " + fault.path + " from " +
                   kiloHertz(fault.values[0]) + ": " + fault.detail;
        case FaultStep::VideoSound:
            return "no sound: cannot use the sound of " + fault.path + ": " + fault.detail;
        case FaultStep::PictureSize:
            if (fault.path.empty()) {
                return whole(fault.values[0]) + " more pictures differ in size from the stage";
            }
            return fileName(fault.path) + " is " + whole(fault.values[0]) + " x " +
                   whole(fault.values[1]) + " pixels" +
                   (fault.values[4] > 0 && (fault.values[4] != fault.values[0] ||
                                            fault.values[5] != fault.values[1])
                        ? ", scaled to " + whole(fault.values[4]) + " x " + whole(fault.values[5])
                        : std::string()) +
                   ", the stage " + whole(fault.values[2]) + " x " + whole(fault.values[3]);
        case FaultStep::VideoEnd:
            return fileName(fault.path) + ": pictures end at " + seconds(fault.values[0]) +
                   (code == FaultCode::SoundRunsOn ? " s, the sound runs on to "
                                                   : " s, the file says ") +
                   seconds(fault.values[1]) + " s";
        case FaultStep::DropChunk:
            if (fault.path.empty()) {
                return whole(fault.values[0]) + " more pictures were read without such chunks";
            }
            return fault.path + ": an ancillary chunk with a bad checksum (text, time, gamma "
                                "or the like) was left out";
        case FaultStep::StoreRate:
            return "the rate " + frameRate(fault.values[0]) +
                   " frames per second is stored in the movie as " +
                   significant(fault.values[1], 3);
        case FaultStep::ClearFolder:
            return "removed " + fault.path + ", a temporary file left by an interrupted run";
        case FaultStep::CutSource:
            return "the start at " + seconds(fault.values[0]) +
                   " s is past the end of its pictures at " + seconds(fault.values[1]) + " s";
        case FaultStep::PlayerLimit:
            switch (code) {
                case FaultCode::ManyFrames:
                    return whole(fault.values[0]) +
                           " frames: Flash Player stops at 16000; cut the movie with " +
                           names(OptionKey::End) + " or lower " + names(OptionKey::Rate);
                case FaultCode::LargeStage:
                    return "the stage is " + whole(fault.values[0]) + " x " +
                           whole(fault.values[1]) +
                           " pixels: phones show pictures over 4096 pixels black; fit it with " +
                           names(OptionKey::MaxSize);
                case FaultCode::FastRate:
                    return frameRate(fault.values[0]) +
                           " frames per second: Flash Player plays at most 60, Ruffle faster, "
                           "so the movie plays at different speeds; lower " +
                           names(OptionKey::Rate);
                default:
                    return "the movie is " + significant(fault.values[0] / 1e6, 3) +
                           " MB: browsers load all of it before its first frame shows; shrink "
                           "it with " +
                           names(OptionKey::TargetSize) + " or " + names(OptionKey::MaxSize);
            }
        case FaultStep::StreamSound:
            if (code == FaultCode::SoundCut) {
                return "the sound of " + fileName(fault.path) + " lasts " +
                       seconds(fault.values[0]) + " s, the movie " + seconds(fault.values[1]) +
                       " s: streamed, it stops with the movie";
            }
            return "the sound of " + fileName(fault.path) +
                   " is played as one event sound, not streamed: at " + frameRate(fault.values[0]) +
                   " frames per second a frame holds " + whole(fault.values[1]) +
                   " samples, more than a stream block can (65535)";
        case FaultStep::FitSize: {
            const std::string lowest =
                fault.values[2] <= 1
                    ? ": make its pictures smaller with " + names(OptionKey::MaxSize)
                    : std::string();
            if (fault.values[3] != 0) {
                return "even at quality " + whole(fault.values[2]) +
                       " the movie would take about " + byteSize(fault.values[0]) +
                       ", more than the target size of " + byteSize(fault.values[1]) + lowest;
            }
            return "the movie came to " + whole(fault.values[0]) + " bytes at quality " +
                   whole(fault.values[2]) + ", more than the target size of " +
                   whole(fault.values[1]) + " bytes" + lowest;
        }
        case FaultStep::FitSound: {
            const std::string over = " alone takes " + byteSize(fault.values[0]) +
                                     ", more than the target size of " +
                                     byteSize(fault.values[1]) +
                                     ": convert a shorter part with " + names(OptionKey::End);
            if (fault.other.empty()) {
                return "the video's own sound" + over +
                       with(", or leave it out with ", OptionKey::NoVideoSound);
            }
            return "the sound of " + fileName(fault.other) + over +
                   ", or give the job a smaller sound file";
        }
    }
    return fault.detail;
}

FaultCode readFaultCode(int errnum) {
    switch (errnum) {
        case ENOENT:
        case ENOTDIR:
            return FaultCode::NotFound;
        case ENOMEM:
            return FaultCode::OutOfMemory;
        case EFBIG:
            return FaultCode::TooLarge;
        default:
            return FaultCode::Unreadable;
    }
}

FaultCode writeFaultCode(int errnum) {
    switch (errnum) {
        case ENOSPC:
        case EDQUOT:
            return FaultCode::DiskFull;
        case ENOMEM:
            return FaultCode::OutOfMemory;
        case EFBIG:
            return FaultCode::TooLarge;
        default:
            return FaultCode::WriteFailed;
    }
}

Fault readFault(FaultStep step, const std::string& path, int errnum) {
    return {readFaultCode(errnum), step, path, std::strerror(errnum)};
}

Fault writeFault(FaultStep step, const std::string& path, int errnum) {
    return {writeFaultCode(errnum), step, path, std::strerror(errnum)};
}

}  // namespace vantrel
