#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "convert/ConvertSettings.h"
#include "convert/JobList.h"

namespace vantrel {

// Bytes a movie's tags refer to without copying (JPEG data, alpha planes,
// MP3 data). Each buffer is allocated on its own so that its address stays
// put while the list grows.
using SourceBuffer = std::vector<std::uint8_t>;
using SourceBuffers = std::vector<std::unique_ptr<SourceBuffer>>;

// The document: all conversion state of the program, independent of any GUI.
// The desktop window and the command-line tool each hold one.
class CVantrelDoc {
public:
    ConvertSettings settings;
    JobList jobs;
    // Filled while one movie is built, emptied right after its file is
    // written: the movie's tags point into these buffers.
    SourceBuffers sourceBuffers;
};

}  // namespace vantrel
