#pragma once

#include <cstdint>
#include <vector>

#include "video/FfmpegHandles.h"

namespace vantrel {

// Turns decoded frames into 24-bit rows (blue, green, red; top row first) of
// a fixed size, with libswscale converting as the ffmpeg program does.
class FrameConverter {
  public:
    FrameConverter(int width, int height) : width_(width), height_(height) {}

    // Bytes from the start of one row to the next in the rows given out.
    int stride() const { return (width_ * 3 + 31) & ~31; }

    // Fills `rows` with `height` rows of `stride` bytes and a spare row
    // after them. False when the frame's format cannot be converted.
    bool toRows(const AVFrame& frame, std::vector<std::uint8_t>& rows);

  private:
    bool prepare(const AVFrame& frame);

    int width_;
    int height_;
    ScalerPtr scaler_;
    // What scaler_ was made for.
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    AVPixelFormat sourceFormat_ = AV_PIX_FMT_NONE;
    AVColorSpace colorSpace_ = AVCOL_SPC_UNSPECIFIED;
    bool fullRange_ = false;
};

}  // namespace vantrel
