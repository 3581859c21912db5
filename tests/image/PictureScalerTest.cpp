#include <gtest/gtest.h>

#include "image/PictureScaler.h"

namespace vantrel {
namespace {

// The side that meets the box takes its length, the other its share rounded
// to the nearest pixel, at least 1; nothing is enlarged.
TEST(PictureScaler, FitsInsideTheBox) {
    const struct {
        PictureSize picture;
        PictureBox box;
        PictureSize fitted;
    } cases[] = {
        {{1920, 1080}, {640, 360}, {640, 360}},
        {{1920, 1080}, {640, 640}, {640, 360}},
        {{1080, 1920}, {640, 360}, {203, 360}},  // 202.5 rounds up
        {{1919, 1079}, {640, 360}, {640, 360}},  // 359.85
        {{101, 57}, {40, 40}, {40, 23}},         // 22.57
        {{3, 1000}, {100, 100}, {1, 100}},       // 0.3, at least 1
        {{1001, 3}, {10, 10}, {10, 1}},
        {{640, 360}, {640, 360}, {640, 360}},
        {{30, 20}, {40, 40}, {30, 20}},  // smaller: kept
        {{1, 1}, {1, 1}, {1, 1}},
        {{65535, 65535}, {1, 1}, {1, 1}},
        {{4000, 3000}, {0, 0}, {4000, 3000}},  // no limit
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fitInside(c.picture.width, c.picture.height, c.box), c.fitted)
            << c.picture.width << "x" << c.picture.height << " in " << c.box.width << "x"
            << c.box.height;
    }
}

// A side left out limits nothing: a 65536-wide picture, wider than any box
// the command line takes, still fits a box of its height alone.
TEST(PictureScaler, ABoxOfOneSideLimitsOnlyThatSide) {
    const struct {
        std::int32_t width, height;  // of the box; 0: not given
        PictureSize picture;
        PictureSize fitted;
    } cases[] = {
        {0, 0, {1920, 1080}, {1920, 1080}},    {1280, 0, {1920, 1080}, {1280, 720}},
        {0, 360, {1920, 1080}, {640, 360}},    {0, 360, {65536, 720}, {32768, 360}},
        {0, 2000, {1920, 1080}, {1920, 1080}},
    };
    for (const auto& c : cases) {
        const PictureBox box = boxOfSides(c.width, c.height);
        EXPECT_EQ(box.limits(), c.width > 0 || c.height > 0);
        EXPECT_EQ(fitInside(c.picture.width, c.picture.height, box), c.fitted)
            << c.width << " x " << c.height;
    }
}

}  // namespace
}  // namespace vantrel
