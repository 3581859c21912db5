#include "video/FrameConverter.h"

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

bool FrameConverter::toRows(const AVFrame& frame, std::vector<std::uint8_t>& rows) {
    if (!prepare(frame)) return false;
    // libswscale's vector code writes whole blocks, past the end of the last
    // row too; one spare row holds that.
    rows.resize(static_cast<std::size_t>(stride()) * static_cast<std::size_t>(height_ + 1));
    std::uint8_t* planes[4] = {rows.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {stride(), 0, 0, 0};
    return sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) ==
           height_;
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
