#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "convert/BatchPlan.h"
#include "convert/ConvertObserver.h"
#include "convert/ConvertSettings.h"
#include "convert/JobOutcome.h"
#include "video/FrameSource.h"

namespace vantrel {

// Makes the source that reads a video's frames; empty for VideoFrameSource,
// fitting the frames into the settings' box.
using FrameSourceFactory = std::function<std::unique_ptr<FrameSource>()>;

// Converts a planned video into its movie: as many frames as the video's
// length holds at the settings' rate, frame i showing the video frame on
// screen i / rate seconds in (FrameSource::frameShownAt) and frames past the
// pictures' end the last picture, decoded in order and encoded on `threads`
// threads, with the sound the plan chose lasting as long as the movie. What
// the source found of the length comes first among the warnings. The stage
// has the size of the source's frames.
JobOutcome convertVideo(const PlannedJob& job, const ConvertSettings& settings,
                        ConvertObserver* observer, const FrameSourceFactory& makeFrameSource,
                        unsigned threads);

}  // namespace vantrel
