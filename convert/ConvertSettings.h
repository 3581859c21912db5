#pragma once

#include <cstdint>
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
    // The most bytes a movie may take, for JPEG storage: each is stored at
    // the highest quality at which it fits (colorQuality is then unused);
    // 0: no limit.
    std::uint64_t targetSize = 0;

    FrameStorage storage() const { return {compression, includeAlpha, colorQuality}; }
};

}  // namespace vantrel
