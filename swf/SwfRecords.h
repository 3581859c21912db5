#pragma once

#include <cstdint>

#include "swf/SwfStream.h"

namespace vantrel {

// The SWF RECT record, in twips. The field width follows the largest value.
class SwfRect {
public:
    SwfRect(std::int32_t xMin, std::int32_t yMin, std::int32_t xMax, std::int32_t yMax)
        : xMin(xMin), xMax(xMax), yMin(yMin), yMax(yMax) {}

    void write(SwfStream& out) const;

    std::int32_t xMin, xMax, yMin, yMax;
};

// The SWF MATRIX record. Scales and skews are 16.16 fixed point,
// translations twips.
class SwfMatrix {
public:
    SwfMatrix(bool hasScale, std::int32_t scaleX, std::int32_t scaleY, bool hasRotate,
              std::int32_t rotateSkew0, std::int32_t rotateSkew1, std::int32_t translateX,
              std::int32_t translateY);

    // Written as a single zero byte.
    static SwfMatrix identity();

    void write(SwfStream& out) const;

private:
    SwfMatrix() = default;

    bool identity_ = false;
    bool hasScale_ = false;
    std::int32_t scaleX_ = 0, scaleY_ = 0;
    bool hasRotate_ = false;
    std::int32_t rotateSkew0_ = 0, rotateSkew1_ = 0;
    std::int32_t translateX_ = 0, translateY_ = 0;
    unsigned scaleBits_ = 0, rotateBits_ = 0, translateBits_ = 0;
};

}  // namespace vantrel
