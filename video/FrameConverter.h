#pragma once

#include <cstdint>
#include <vector>

#include "image/RasterImage.h"
#include "video/FfmpegHandles.h"
#include "video/Orientation.h"

namespace vantrel {

// Turns decoded frames into pictures of a fixed size. libswscale converts
// each frame to 24-bit rows (blue, green, red) as the ffmpeg program does,
// then widens those rows to 32-bit pixels with alpha 255. Frames to be shown
// turned or mirrored are widened into their place in the turned picture.
class FrameConverter {
  public:
    // Frames are brought to width x height pixels, then turned as `orientation`
    // says: a sideways turn gives pictures height pixels wide. Frames of
    // another size are scaled with the libswscale `filter`.
    FrameConverter(int width, int height, Orientation orientation = {}, int filter = SWS_BICUBIC);

    // The frame as the picture, resized to the converter's size and turned.
    // False when the frame's format cannot be converted; the picture is then
    // untouched.
    bool convert(const AVFrame& frame, RasterImage& picture);

  private:
    bool prepare(const AVFrame& frame);
    bool widen(RasterImage& picture);
    void widenTurned(RasterImage& picture) const;

    int width_;
    int height_;
    Orientation orientation_;
    int filter_;
    int rowsStride_;  // bytes from one row of rows_ to the next
    std::vector<std::uint8_t> rows_;
    std::vector<std::uint8_t> lastRow_;
    ScalerPtr scaler_;          // frame to rows_
    ScalerPtr widener_;         // rows_ to the picture's pixels
    ScalerPtr lastRowWidener_;  // the last of rows_ to lastRow_
    // What scaler_ was made for.
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    AVPixelFormat sourceFormat_ = AV_PIX_FMT_NONE;
    int colorSpace_ = AVCOL_SPC_UNSPECIFIED;
    bool fullRange_ = false;
};

}  // namespace vantrel
