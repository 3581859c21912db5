#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/PictureScaler.h"
#include "swf/FrameStorage.h"

namespace vantrel {

// The conversion options, at their defaults until the user changes them.
struct ConvertSettings {
    CompressionType compression = CompressionType::Jpeg;
    bool includeAlpha = false;
    bool outputHtml = true;
    std::int32_t colorQuality = 90;  // JPEG quality, 1..100
    float frameRate = 15.0f;         // frames per second
    // A video without a companion MP3 file takes its own sound, if it has one.
    bool videoSound = true;
    // Where movies and pages go: empty for beside their sources, else this
    // folder, each job at its place under the dropped folder it came from.
    std::string outputFolder;
    // A job whose movie file exists already is skipped when this is off.
    bool replaceMovies = true;
    // URL of a Flash emulator's script that every page loads; empty: none.
    std::string playerScript;
    // The part of each source that becomes its movie, in seconds: from
    // cutStart to cutEnd (nothing: to the end). A sequence counts time at
    // the movie's rate, its k-th picture at k / frameRate.
    double cutStart = 0.0;
    std::optional<double> cutEnd;
    // The sound is written as a streaming sound, split among the frames, so
    // that players drop pictures to keep pace with it.
    bool streamSound = false;
    // The movie stops on its last frame instead of looping, and so does its
    // page.
    bool playOnce = false;
    // Every picture and video frame is scaled down to fit inside this box,
    // its aspect ratio kept; 0 x 0: pictures keep their size.
    PictureBox maxSize;
    // The most bytes a movie may take, for JPEG storage: each is stored at
    // the highest quality at which it fits (colorQuality is then unused);
    // 0: no limit.
    std::uint64_t targetSize = 0;

    bool operator==(const ConvertSettings&) const = default;
    bool cut() const { return cutStart > 0.0 || cutEnd.has_value(); }
    FrameStorage storage() const { return {compression, includeAlpha, colorQuality}; }
};

}  // namespace vantrel
