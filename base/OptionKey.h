#pragma once

#include <cstdint>

namespace vantrel {

// The options a batch can be given, one key each. A fault names the option
// that would avoid it by its key, and each front end says it in its own
// words (the option table holds them).
enum class OptionKey : std::uint8_t {
    Lossless,
    Quality,
    TargetSize,
    Alpha,
    Rate,
    Start,
    End,
    MaxSize,
    NoHtml,
    PlayerScript,
    NoVideoSound,
    StreamSound,
    PlayOnce,
    List,
    DryRun,
    Quiet,
    NoSubfolders,
    Report,
    OutputDir,
    NoOverwrite,
    Jobs,
};

}  // namespace vantrel
