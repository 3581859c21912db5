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

// Makes the source that reads a video's frames; empty for VideoFrameSource.
using FrameSourceFactory = std::function<std::unique_ptr<FrameSource>()>;

// Converts a planned video into its movie: as many frames as the video's
// length holds at the settings' rate, sampled evenly (by time where its
// frames are spaced unevenly), decoded in order and encoded on `threads`
// threads, with the sound the plan chose lasting as long as the movie. The
// stage has the video's own size.
JobOutcome convertVideo(const PlannedJob& job, const ConvertSettings& settings,
                        ConvertObserver* observer, const FrameSourceFactory& makeFrameSource,
                        unsigned threads);

// The source frame shown by output frame i of `frames`: frames spread evenly
// over the source's frameCount frames, the first showing frame 0.
std::int32_t sampledFrameIndex(std::int32_t frameCount, std::int32_t i, std::int32_t frames);

}  // namespace vantrel
