#pragma once

#include "convert/ConvertSettings.h"
#include "convert/JobList.h"

namespace vantrel {

// The document: all conversion state of the program, independent of any GUI.
// The desktop window holds one; the command line needs only a job list.
class CVantrelDoc {
public:
    ConvertSettings settings;
    JobList jobs;
};

}  // namespace vantrel
