#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
    // The largest stage, in pixels; 0: no limit on that side.
    std::int32_t maxWidth = 0, maxHeight = 0;
    // The movie size JPEG quality is chosen for, in bytes; 0: none.
    std::uint64_t targetBytes = 0;
    // A movie's sound in per-frame blocks, so players drop frames to keep pace.
    bool streamSound = false;
    // The movie stops at its last frame instead of looping.
    bool playOnce = false;
    // The part of a video to convert, in seconds; none: from its start, to its end.
    std::optional<double> startSeconds, endSeconds;

    FrameStorage storage() const { return {compression, includeAlpha, colorQuality}; }
};

}  // namespace vantrel
