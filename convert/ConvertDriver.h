#pragma once

#include "convert/BatchPlan.h"
#include "convert/ConvertObserver.h"
#include "convert/ConvertSettings.h"
#include "convert/JobOutcome.h"
#include "convert/VideoConversion.h"

namespace vantrel {

// Carries out a plan: every job it does not refuse is converted in turn,
// picture sequences and videos alike into the movie and page the plan
// names, the movie's folder made first where the plan says so. The first
// job to write into a folder first removes the temporary files interrupted
// runs left there (removeStaleTemporaries), each a warning of that job.
// Once the observer asks to stop, the rest are reported as not started.
// The report has one outcome per planned job, in batch order. The frames of
// a movie are read and encoded on `threads` threads (0: one per core); the
// files written do not depend on it. Both front ends run a batch this way,
// with the plan they showed.
ConvertReport carryOut(const BatchPlan& plan, const ConvertSettings& settings,
                       ConvertObserver* observer = nullptr,
                       const FrameSourceFactory& makeFrameSource = {}, unsigned threads = 0);

}  // namespace vantrel
