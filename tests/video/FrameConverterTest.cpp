#include <gtest/gtest.h>

#include <cstring>
#include <string>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "video/FrameConverter.h"

namespace vantrel {
namespace {

// A colourful 4:2:0 frame whose matrix field holds `colorSpace` as a plain
// number, as decoders store what the stream says.
FramePtr testFrame(int colorSpace) {
    FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = 16;
    frame->height = 8;
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
    for (int plane = 0; plane < 3; ++plane) {
        for (int y = 0; y < (plane == 0 ? 8 : 4); ++y) {
            for (int x = 0; x < (plane == 0 ? 16 : 8); ++x) {
                frame->data[plane][y * frame->linesize[plane] + x] =
                    static_cast<std::uint8_t>(40 + 20 * x + 9 * y + 70 * plane);
            }
        }
    }
    std::memcpy(&frame->colorspace, &colorSpace, sizeof colorSpace);
    return frame;
}

RasterImage converted(int colorSpace) {
    FrameConverter converter(16, 8);
    RasterImage picture;
    EXPECT_TRUE(converter.convert(*testFrame(colorSpace), picture));
    return picture;
}

// Matrices libswscale does not know convert as an unstated one; known ones
// are still honoured.
TEST(FrameConverter, UnknownColourMatricesConvertWithTheDefault) {
    const RasterImage unstated = converted(AVCOL_SPC_UNSPECIFIED);
    const struct {
        int colorSpace;
        bool likeUnstated;
    } cases[] = {{128, true},
                 {-1, true},
                 {AVCOL_SPC_YCGCO, true},
                 {AVCOL_SPC_NB, true},
                 {AVCOL_SPC_BT709, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.colorSpace);
        EXPECT_EQ(converted(c.colorSpace).pixels == unstated.pixels, c.likeUnstated);
    }
}

// A grey frame in `format`.
FramePtr uniformFrame(AVPixelFormat format, int width, int height, std::uint8_t luma) {
    FramePtr frame(av_frame_alloc());
    frame->format = format;
    frame->width = width;
    frame->height = height;
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
    const int chromaRows = AV_CEIL_RSHIFT(height, av_pix_fmt_desc_get(format)->log2_chroma_h);
    for (int plane = 0; plane < 4 && frame->data[plane] != nullptr; ++plane) {
        std::memset(frame->data[plane], plane == 0 ? luma : 128,
                    static_cast<std::size_t>(frame->linesize[plane]) *
                        static_cast<std::size_t>(plane == 0 ? height : chromaRows));
    }
    return frame;
}

// Every pixel of a grey frame comes out alike, also in the last
// columns of widths where libswscale converts in blocks that overhang the
// row, and also when the converter held a brighter picture before.
TEST(FrameConverter, GreyFramesConvertToOneGreyInEveryColumn) {
    for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P}) {
        for (const int width : {1, 16, 17, 20, 21, 33, 50, 852}) {
            SCOPED_TRACE(std::string(av_get_pix_fmt_name(format)) + " " + std::to_string(width));
            FrameConverter converter(width, 4);
            RasterImage picture;
            for (const std::uint8_t luma : {235, 60}) {
                ASSERT_TRUE(converter.convert(*uniformFrame(format, width, 4, luma), picture));
                for (const std::uint32_t pixel : picture.pixels) ASSERT_EQ(pixel, picture.pixels[0]);
            }
        }
    }
}

}  // namespace
}  // namespace vantrel
