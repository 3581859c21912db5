#pragma once

#include <cstdint>

struct AVStream;

namespace vantrel {

// How a video's frames are turned to be shown the right way up: one of the
// four quarter turns, each with or without a mirror. Pixel (x, y) of a
// frame, counted from its top left corner, is shown at
// (xx * x + xy * y, yx * x + yy * y), moved back to start at (0, 0). Each
// factor is -1, 0 or 1.
struct Orientation {
    int xx = 1;
    int xy = 0;
    int yx = 0;
    int yy = 1;

    bool upright() const { return xx == 1 && yy == 1; }
    // Whether rows are shown as columns, so that width and height trade places.
    bool sideways() const { return xx == 0; }
    // Mirrored left to right, before the turn.
    bool mirrored() const { return xx * yy - xy * yx < 0; }
    // The turn, after any mirroring: 0, 90, 180 or 270 degrees clockwise.
    int clockwiseDegrees() const;
    friend bool operator==(const Orientation&, const Orientation&) = default;
};

// The orientation nearest to a display matrix laid out as libavutil's
// display.h lays it out: point (p, q) shown at (a p + c q, b p + d q) for
// the matrix {a, b, u, c, d, v, x, y, w}. A turn that is no quarter turn is
// taken to the nearest one; a matrix that shows nothing, to upright.
Orientation orientationOfMatrix(const std::int32_t matrix[9]);

// What the stream states: its display matrix, else its "rotate" tag
// (degrees clockwise, as older FFmpeg wrote it); upright when it states
// neither.
Orientation streamOrientation(const AVStream& stream);

}  // namespace vantrel
