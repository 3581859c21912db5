#include <gtest/gtest.h>

#include <cstring>

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

}  // namespace
}  // namespace vantrel
