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
// length (or the part of it the settings cut, from cutStart to cutEnd) holds
// at the settings' rate, frame i showing the video frame on screen
// cutStart + i / rate seconds in (FrameSource::frameShownAt) and frames past the
// pictures' end the last picture, decoded in order and encoded on `threads`
// threads, with the sound the plan chose lasting as long as the movie. What
// the source found of the length comes first among the warnings. The stage
// has the size of the source's frames. A start at or past the pictures' end is refused
// (StartPastEnd), a part shorter than one frame skipped (TooShort).
// The decoder runs on `threads` threads of its own too, until it meets
// damage: then the movie is made again from the start with the decoder on
// one thread, so that the movie does not depend on `threads`. With a target
// size, QualityChooser chooses the quality of each try.
JobOutcome convertVideo(const PlannedJob& job, const ConvertSettings& settings,
                        ConvertObserver* observer, const FrameSourceFactory& makeFrameSource,
                        unsigned threads);

}  // namespace vantrel
