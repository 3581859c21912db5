#include "video/FrameConverter.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

namespace vantrel {
namespace {

// The JPEG variants of the planar formats are the plain formats at full range.
AVPixelFormat withoutJpegRange(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P:
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P:
            return AV_PIX_FMT_YUV411P;
        default:
            return format;
    }
}

// An enum field of a frame as the number it holds. Decoders copy colour
// values from the stream unchecked (an MPEG-2 display extension may give 128),
// and loading such a value as the C++ enum type is undefined.
template <typename Enum>
int rawValue(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(int));
    int value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

// The matrices libswscale has coefficients for; any other the default.
int knownColorSpace(int colorSpace) {
    if (colorSpace < 0 || colorSpace > AVCOL_SPC_BT2020_CL || colorSpace == AVCOL_SPC_YCGCO) {
        return SWS_CS_DEFAULT;
    }
    return colorSpace;
}

}  // namespace

// Rows of rows_ start 32-byte aligned, as libswscale's vector code wants
// them. That code also writes whole blocks, past the end of a picture's last
// row: rows_ has a spare row for it, and the last row of each upright
// picture is widened into lastRow_ first, with room behind it. Its YUV to RGB
// code converts rows in blocks of 8 pixels and, where the stride has no room
// for the last block, leaves that block's pixels unwritten (widths 17 to 21
// modulo 32): each row has room for its width rounded up to 16 pixels.
FrameConverter::FrameConverter(int width, int height, Orientation orientation, int filter)
    : width_(width),
      height_(height),
      orientation_(orientation),
      filter_(filter),
      rowsStride_((((width + 15) & ~15) * 3 + 31) & ~31),
      rows_(static_cast<std::size_t>(rowsStride_) * static_cast<std::size_t>(height + 1)) {
    // Turned pictures are widened by widenTurned, pixel by pixel.
    if (!orientation_.upright()) return;
    lastRow_.resize(static_cast<std::size_t>(width) * 4 + 64);
    widener_.reset(sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, AV_PIX_FMT_BGRA,
                                  SWS_BICUBIC, nullptr, nullptr, nullptr));
    lastRowWidener_.reset(sws_getContext(width, 1, AV_PIX_FMT_BGR24, width, 1, AV_PIX_FMT_BGRA,
                                         SWS_BICUBIC, nullptr, nullptr, nullptr));
}

bool FrameConverter::convert(const AVFrame& frame, RasterImage& picture) {
    if (!prepare(frame)) return false;
    std::uint8_t* rows[4] = {rows_.data(), nullptr, nullptr, nullptr};
    const int rowsStrides[4] = {rowsStride_, 0, 0, 0};
    if (sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, rows, rowsStrides) !=
        height_) {
        return false;
    }
    if (orientation_.upright()) return widen(picture);
    widenTurned(picture);
    return true;
}

// Widening copies blue, green and red and sets alpha to 255.
bool FrameConverter::widen(RasterImage& picture) {
    if (!widener_ || !lastRowWidener_) return false;
    std::uint8_t* rows[4] = {rows_.data(), nullptr, nullptr, nullptr};
    const int rowsStrides[4] = {rowsStride_, 0, 0, 0};
    picture.resize(width_, height_);
    auto* pixels = reinterpret_cast<std::uint8_t*>(picture.pixels.data());
    const int pixelsStride = width_ * 4;
    const std::size_t lastRowAt = static_cast<std::size_t>(pixelsStride) * (height_ - 1);
    if (height_ > 1) {
        std::uint8_t* allButLast[4] = {pixels, nullptr, nullptr, nullptr};
        const int pixelsStrides[4] = {pixelsStride, 0, 0, 0};
        sws_scale(widener_.get(), rows, rowsStrides, 0, height_ - 1, allButLast, pixelsStrides);
    }
    const std::uint8_t* lastRowIn[4] = {
        rows_.data() + static_cast<std::size_t>(rowsStride_) * (height_ - 1), nullptr, nullptr,
        nullptr};
    std::uint8_t* lastRowOut[4] = {lastRow_.data(), nullptr, nullptr, nullptr};
    const int lastRowStrides[4] = {static_cast<int>(lastRow_.size()), 0, 0, 0};
    sws_scale(lastRowWidener_.get(), lastRowIn, rowsStrides, 0, 1, lastRowOut, lastRowStrides);
    std::memcpy(pixels + lastRowAt, lastRow_.data(), static_cast<std::size_t>(pixelsStride));
    return true;
}

// Each pixel of rows_ goes straight to its place in the turned picture, as
// widen() would give it: one pass over the pixels instead of two. Pixel
// (x, y) goes to origin + x * stepX + y * stepY. Bands of rows are taken a
// column at a time, so that a turn that makes columns of rows writes whole
// cache lines rather than one pixel of each.
void FrameConverter::widenTurned(RasterImage& picture) const {
    constexpr int kBand = 16;  // 64 bytes of a turned picture's row
    const Orientation& o = orientation_;
    const int width = o.sideways() ? height_ : width_;
    picture.resize(width, o.sideways() ? width_ : height_);
    const std::ptrdiff_t left = (o.xx < 0 ? width_ - 1 : 0) + (o.xy < 0 ? height_ - 1 : 0);
    const std::ptrdiff_t top = (o.yx < 0 ? width_ - 1 : 0) + (o.yy < 0 ? height_ - 1 : 0);
    const std::ptrdiff_t origin = top * width + left;
    const std::ptrdiff_t stepX = std::ptrdiff_t{o.yx} * width + o.xx;
    const std::ptrdiff_t stepY = std::ptrdiff_t{o.yy} * width + o.xy;
    // Four bytes are read for each pixel's three, the fourth the next
    // pixel's or the spare row's, and the alpha byte set over it.
    constexpr std::uint32_t kAlpha =
        std::endian::native == std::endian::little ? 0xFF000000u : 0x000000FFu;
    std::uint32_t* pixels = picture.pixels.data();
    for (int band = 0; band < height_; band += kBand) {
        const int end = std::min(height_, band + kBand);
        for (int x = 0; x < width_; ++x) {
            const std::uint8_t* in =
                rows_.data() + static_cast<std::ptrdiff_t>(rowsStride_) * band + 3 * x;
            std::ptrdiff_t at = origin + x * stepX + band * stepY;
            for (int y = band; y < end; ++y, in += rowsStride_, at += stepY) {
                std::uint32_t pixel;
                std::memcpy(&pixel, in, sizeof pixel);
                pixels[at] = pixel | kAlpha;
            }
        }
    }
}

// A scaler for the frame's size, format and colour description, made anew
// only when one of them changes.
bool FrameConverter::prepare(const AVFrame& frame) {
    const auto decoded = static_cast<AVPixelFormat>(frame.format);
    const AVPixelFormat format = withoutJpegRange(decoded);
    const bool fullRange = format != decoded || rawValue(frame.color_range) == AVCOL_RANGE_JPEG;
    const int colorSpace = knownColorSpace(rawValue(frame.colorspace));
    if (scaler_ && frame.width == sourceWidth_ && frame.height == sourceHeight_ &&
        format == sourceFormat_ && colorSpace == colorSpace_ && fullRange == fullRange_) {
        return true;
    }
    // By default bicubic, as the ffmpeg program converts; at equal sizes it
    // only affects how chroma is brought to full resolution. A frame scaled
    // down is scaled in its own colour planes, before they become the
    // rows, in this one call.
    scaler_.reset(sws_getContext(frame.width, frame.height, format, width_, height_,
                                 AV_PIX_FMT_BGR24, filter_, nullptr, nullptr, nullptr));
    if (!scaler_) return false;
    // The frame's own matrix and range, as the ffmpeg program takes them.
    int* sourceTable;
    int* targetTable;
    int sourceFull, targetFull, brightness, contrast, saturation;
    if (sws_getColorspaceDetails(scaler_.get(), &sourceTable, &sourceFull, &targetTable,
                                 &targetFull, &brightness, &contrast, &saturation) >= 0) {
        const int* coefficients = sws_getCoefficients(colorSpace);
        sws_setColorspaceDetails(scaler_.get(), coefficients, fullRange ? 1 : 0, coefficients,
                                 targetFull, brightness, contrast, saturation);
    }
    sourceWidth_ = frame.width;
    sourceHeight_ = frame.height;
    sourceFormat_ = format;
    colorSpace_ = colorSpace;
    fullRange_ = fullRange;
    return true;
}

}  // namespace vantrel
