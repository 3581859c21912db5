#pragma once

#include <memory>

extern "C" {
#include <libswscale/swscale.h>
}

#include "ffmpeg/FfmpegHandles.h"

namespace vantrel {

// The scaler handle only the video source holds, beside the shared ones.
struct ScalerFreer {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};

using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

}  // namespace vantrel
