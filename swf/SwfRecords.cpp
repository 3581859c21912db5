#include "swf/SwfRecords.h"

namespace vantrel {

void SwfRect::write(SwfStream& out) const {
    const unsigned n = bitsNeeded(maxAbs(xMin, xMax, yMin, yMax), 1);
    out.writeBits(n, 5);
    out.writeBits(xMin, n);
    out.writeBits(xMax, n);
    out.writeBits(yMin, n);
    out.writeBits(yMax, n);
    out.align();
}

SwfMatrix::SwfMatrix(bool hasScale, std::int32_t scaleX, std::int32_t scaleY, bool hasRotate,
                     std::int32_t rotateSkew0, std::int32_t rotateSkew1, std::int32_t translateX,
                     std::int32_t translateY)
    : hasScale_(hasScale),
      scaleX_(scaleX),
      scaleY_(scaleY),
      hasRotate_(hasRotate),
      rotateSkew0_(rotateSkew0),
      rotateSkew1_(rotateSkew1),
      translateX_(translateX),
      translateY_(translateY),
      scaleBits_(bitsNeeded(maxAbs(scaleX, scaleY), 1)),
      rotateBits_(bitsNeeded(maxAbs(rotateSkew0, rotateSkew1), 1)),
      translateBits_(bitsNeeded(maxAbs(translateX, translateY), 1)) {}

SwfMatrix SwfMatrix::identity() {
    SwfMatrix m;
    m.identity_ = true;
    return m;
}

void SwfMatrix::write(SwfStream& out) const {
    if (identity_) {
        out.writeU8(0);
        return;
    }
    out.writeBits(hasScale_, 1);
    if (hasScale_) {
        out.writeBits(scaleBits_, 5);
        out.writeBits(scaleX_, scaleBits_);
        out.writeBits(scaleY_, scaleBits_);
    }
    out.writeBits(hasRotate_, 1);
    if (hasRotate_) {
        out.writeBits(rotateBits_, 5);
        out.writeBits(rotateSkew0_, rotateBits_);
        out.writeBits(rotateSkew1_, rotateBits_);
    }
    out.writeBits(translateBits_, 5);
    out.writeBits(translateX_, translateBits_);
    out.writeBits(translateY_, translateBits_);
    out.align();
}

}  // namespace vantrel
