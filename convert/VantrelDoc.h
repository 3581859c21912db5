#pragma once

#include "convert/ConvertSettings.h"
#include "convert/JobList.h"
#include "swf/SourceBuffers.h"

namespace vantrel {

// The document: all conversion state of the program, independent of any GUI.
// The desktop window and the command-line tool each hold one.
class CVantrelDoc {
public:
    ConvertSettings settings;
    JobList jobs;
    // The payloads of the frame being added: the movie's tags point into
    // these buffers until they are written.
    SourceBuffers sourceBuffers;
};

}  // namespace vantrel
