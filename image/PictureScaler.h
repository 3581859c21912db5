#pragma once

#include <climits>
#include <cstdint>

extern "C" {
#include <libswscale/swscale.h>
}

#include "image/RasterImage.h"

namespace vantrel {

// The box that pictures are fitted into, in pixels; 0 x 0 sets no limit.
struct PictureBox {
    std::int32_t width = 0;
    std::int32_t height = 0;

    bool limits() const { return width > 0 && height > 0; }
    friend bool operator==(const PictureBox&, const PictureBox&) = default;
};

// A side no picture reaches: a box with it limits only the other side.
inline constexpr std::int32_t kUnlimitedSide = INT32_MAX;

// The box of the sides given, 0 leaving a side unlimited; no box when
// neither is given.
inline PictureBox boxOfSides(std::int32_t width, std::int32_t height) {
    if (width <= 0 && height <= 0) return {};
    return {width > 0 ? width : kUnlimitedSide, height > 0 ? height : kUnlimitedSide};
}

struct PictureSize {
    std::int32_t width = 0;
    std::int32_t height = 0;

    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// The size of a width x height picture scaled down into the box with its
// aspect ratio kept: the side that meets the box takes the box's length, the
// other its share of it rounded to the nearest whole pixel (halves up), at
// least 1. A picture that fits already keeps its size, as does every
// picture when the box sets no limit: pictures are never enlarged.
PictureSize fitInside(std::int32_t width, std::int32_t height, const PictureBox& box);

// The libswscale filter that pictures and video frames are scaled down with.
// Lanczos: against ImageMagick's Lanczos downscale of 1920 x 1080 pictures
// to 640 x 360 it comes about 5 dB closer than bicubic for the same time or
// up to 12 % more, and 9 to 14 dB closer than area averaging, which takes a
// third less time but blurs: the most quality per millisecond
// (bench/bench_scale.cpp, figures in bench/RESULTS.md).
inline constexpr int kDownscaleFilter = SWS_LANCZOS;

// Scales the picture down into the box (fitInside) with kDownscaleFilter,
// each channel on its own, so no colour conversion touches it. With
// `keepAlpha` the colours are scaled premultiplied by alpha, so that the
// colour of transparent pixels does not bleed into the edges around them,
// and the alpha channel with them; without, alpha becomes 255 and colours
// are scaled as they are. True when the picture fits (scaled or not); false
// when libswscale cannot be set up, with the picture untouched.
bool fitPicture(RasterImage& picture, const PictureBox& box, bool keepAlpha);

}  // namespace vantrel
