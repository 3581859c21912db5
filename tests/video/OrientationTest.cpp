#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "video/Orientation.h"

namespace vantrel {
namespace {

constexpr Orientation kUpright{1, 0, 0, 1}, kClockwise{0, -1, 1, 0}, kHalf{-1, 0, 0, -1},
    kCounter{0, 1, -1, 0}, kMirrored{-1, 0, 0, 1}, kDiagonal{0, 1, 1, 0};

// A stream turns as its display matrix says, to the nearest quarter, else as
// its "rotate" tag says, in degrees clockwise. The matrices are libavutil's:
// av_display_rotation_set(m, 90) is what the ffmpeg program shows turned a
// quarter clockwise.
TEST(Orientation, StreamsTurnByTheirMatrixElseByTheirRotateTag) {
    const struct {
        double degrees;  // NAN: no matrix
        int hflip, scale;
        const char* tag;
        Orientation expected;
    } cases[] = {{90, 0, 1, nullptr, kClockwise}, {180, 0, 1, nullptr, kHalf},
                 {-90, 0, 1, nullptr, kCounter},  {89.5, 0, 1, nullptr, kClockwise},
                 {30, 0, 1, nullptr, kUpright},   {90, 0, 3, nullptr, kClockwise},
                 {0, 1, 1, "90", kMirrored},      {90, 1, 1, nullptr, kDiagonal},
                 {0, 0, 0, nullptr, kUpright},    {NAN, 0, 1, "90", kClockwise},
                 {NAN, 0, 1, "-90", kCounter},    {NAN, 0, 1, "450", kClockwise},
                 {NAN, 0, 1, "180.0", kHalf},     {NAN, 0, 1, "44", kUpright},
                 {NAN, 0, 1, "ninety", kUpright}, {NAN, 0, 1, "1e400", kUpright},
                 {NAN, 0, 1, "nan", kUpright},    {NAN, 0, 1, nullptr, kUpright}};
    for (const auto& c : cases) {
        std::unique_ptr<AVFormatContext, decltype(&avformat_free_context)> format(
            avformat_alloc_context(), &avformat_free_context);
        AVStream* stream = avformat_new_stream(format.get(), nullptr);
        ASSERT_NE(stream, nullptr);
        if (c.tag != nullptr) av_dict_set(&stream->metadata, "rotate", c.tag, 0);
        if (!std::isnan(c.degrees)) {
            auto* matrix = reinterpret_cast<std::int32_t*>(
                av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * 4));
            ASSERT_NE(matrix, nullptr);
            av_display_rotation_set(matrix, c.degrees);
            av_display_matrix_flip(matrix, c.hflip, 0);
            for (int i : {0, 1, 3, 4}) matrix[i] *= c.scale;
        }
        EXPECT_TRUE(streamOrientation(*stream) == c.expected)
            << c.degrees << " degrees, tag " << (c.tag != nullptr ? c.tag : "none");
    }
}

// Each of the eight orientations as a mirror left to right, or none, and
// then a clockwise turn.
TEST(Orientation, IsAMirrorAndThenATurn) {
    const struct {
        Orientation orientation;
        bool mirrored;
        int degrees;
    } cases[] = {{kUpright, false, 0},   {kClockwise, false, 90},   {kHalf, false, 180},
                 {kCounter, false, 270}, {kMirrored, true, 0},      {{1, 0, 0, -1}, true, 180},
                 {kDiagonal, true, 270}, {{0, -1, -1, 0}, true, 90}};
    for (const auto& c : cases) {
        const Orientation& o = c.orientation;
        SCOPED_TRACE(std::to_string(o.xx) + " " + std::to_string(o.xy) + " " +
                     std::to_string(o.yx) + " " + std::to_string(o.yy));
        EXPECT_EQ(o.mirrored(), c.mirrored);
        EXPECT_EQ(o.clockwiseDegrees(), c.degrees);
    }
}

}  // namespace
}  // namespace vantrel
