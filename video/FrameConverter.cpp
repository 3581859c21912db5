#include "video/FrameConverter.h"

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

}  // namespace

// Rows start 32-byte aligned, as libswscale's vector code wants them. Its
// code also writes whole blocks, past the end of the last row; a spare row
// after the last one takes that.
FrameConverter::FrameConverter(int width, int height)
    : width_(width),
      height_(height),
      rowsStride_((width * 3 + 31) & ~31),
      pixelsStride_((width * 4 + 31) & ~31),
      rows_(static_cast<std::size_t>(rowsStride_) * static_cast<std::size_t>(height + 1)),
      pixels_(static_cast<std::size_t>(pixelsStride_) * static_cast<std::size_t>(height + 1)),
      widener_(sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, AV_PIX_FMT_BGRA,
                              SWS_BICUBIC, nullptr, nullptr, nullptr)) {}

bool FrameConverter::convert(const AVFrame& frame, RasterImage& picture) {
    if (!widener_ || !prepare(frame)) return false;
    std::uint8_t* rows[4] = {rows_.data(), nullptr, nullptr, nullptr};
    const int rowsStrides[4] = {rowsStride_, 0, 0, 0};
    if (sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, rows, rowsStrides) !=
        height_) {
        return false;
    }
    std::uint8_t* pixels[4] = {pixels_.data(), nullptr, nullptr, nullptr};
    const int pixelsStrides[4] = {pixelsStride_, 0, 0, 0};
    if (sws_scale(widener_.get(), rows, rowsStrides, 0, height_, pixels, pixelsStrides) !=
        height_) {
        return false;
    }
    picture.resize(width_, height_);
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    for (int y = 0; y < height_; ++y) {
        std::memcpy(picture.pixels.data() + static_cast<std::size_t>(width_) * y,
                    pixels_.data() + static_cast<std::size_t>(pixelsStride_) * y, rowBytes);
    }
    return true;
}

// A scaler for the frame's size, format and colour description, made anew
// only when one of them changes.
bool FrameConverter::prepare(const AVFrame& frame) {
    const auto decoded = static_cast<AVPixelFormat>(frame.format);
    const AVPixelFormat format = withoutJpegRange(decoded);
    const bool fullRange = format != decoded || frame.color_range == AVCOL_RANGE_JPEG;
    if (scaler_ && frame.width == sourceWidth_ && frame.height == sourceHeight_ &&
        format == sourceFormat_ && frame.colorspace == colorSpace_ && fullRange == fullRange_) {
        return true;
    }
    // Bicubic, as the ffmpeg program converts; at equal sizes it only affects
    // how chroma is brought to full resolution.
    scaler_.reset(sws_getContext(frame.width, frame.height, format, width_, height_,
                                 AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler_) return false;
    // The frame's own matrix and range, as the ffmpeg program takes them.
    int* sourceTable;
    int* targetTable;
    int sourceFull, targetFull, brightness, contrast, saturation;
    if (sws_getColorspaceDetails(scaler_.get(), &sourceTable, &sourceFull, &targetTable,
                                 &targetFull, &brightness, &contrast, &saturation) >= 0) {
        const int* coefficients = sws_getCoefficients(frame.colorspace);
        sws_setColorspaceDetails(scaler_.get(), coefficients, fullRange ? 1 : 0, coefficients,
                                 targetFull, brightness, contrast, saturation);
    }
    sourceWidth_ = frame.width;
    sourceHeight_ = frame.height;
    sourceFormat_ = format;
    colorSpace_ = frame.colorspace;
    fullRange_ = fullRange;
    return true;
}

}  // namespace vantrel
