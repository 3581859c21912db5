#pragma once

#include "convert/BatchPlan.h"
#include "convert/ConvertObserver.h"
#include "convert/ConvertSettings.h"
#include "convert/JobOutcome.h"

namespace vantrel {

// Converts a planned picture sequence into its movie: one frame per
// picture, in the order of their numbers, each read by the reader its
// extension names and encoded on `threads` threads. A picture that cannot
// be read leaves its frame showing the one before. Pictures larger than the
// settings' box are scaled down into it, on the same threads. The stage
// takes the size of the last picture read, as scaled; pictures of other
// sizes are warned of.
JobOutcome convertSequence(const PlannedJob& job, const ConvertSettings& settings,
                           ConvertObserver* observer, unsigned threads);

}  // namespace vantrel
