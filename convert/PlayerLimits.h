#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/Fault.h"

namespace vantrel {

// Past these, players in use today play a movie badly: Flash Player stops
// at 16,000 frames; phones' WebGL shows bitmaps wider or taller than 4096
// pixels black; Flash Player caps the rate at 60 frames per second where
// Ruffle does not; browsers load a movie whole before its first frame.
inline constexpr std::int32_t kPlayerMaxFrames = 16000;
inline constexpr std::int32_t kPhoneMaxSide = 4096;
inline constexpr float kPlayerMaxRate = 60.0f;
inline constexpr std::uint64_t kBrowserWaitBytes = 50'000'000;

// A movie as far as it is known: before any file is read, only its rate
// and a sequence's frames; once written, all of it.
struct MovieShape {
    float rate = 0.0f;
    std::optional<std::int32_t> frames;
    std::optional<std::int32_t> width;  // the stage, in pixels
    std::optional<std::int32_t> height;
    std::optional<std::uint64_t> bytes;  // the file's size
};

// The warnings of the limits the movie goes past, step PlayerLimit, in the
// order frames (ManyFrames), stage (LargeStage), rate (FastRate), size
// (LargeMovie); each names the option that avoids it.
std::vector<Fault> playerWarnings(const MovieShape& movie);

}  // namespace vantrel
