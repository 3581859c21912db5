#include "video/Orientation.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace vantrel {
namespace {

// The quarter turns clockwise, upright first, then the mirrored ones.
constexpr Orientation kOrientations[8] = {
    {1, 0, 0, 1},  {0, -1, 1, 0}, {-1, 0, 0, -1}, {0, 1, -1, 0},
    {-1, 0, 0, 1}, {1, 0, 0, -1}, {0, 1, 1, 0},   {0, -1, -1, 0},
};

// The clockwise turn a "rotate" tag states, to the nearest quarter. Read
// without the locale, which a window program sets from the user's.
bool turnOfTag(const char* text, Orientation& turn) {
    const char* end = text + std::strlen(text);
    double degrees = 0.0;
    const auto [stop, error] = std::from_chars(text, end, degrees);
    if (error != std::errc() || stop != end || !std::isfinite(degrees)) return false;
    const long quarters = std::lround(std::fmod(degrees, 360.0) / 90.0);
    turn = kOrientations[((quarters % 4) + 4) % 4];
    return true;
}

}  // namespace

int Orientation::clockwiseDegrees() const {
    // Mirrored: the turn of the orientation with the mirror undone, which
    // negates what x contributes.
    const int sign = mirrored() ? -1 : 1;
    const int x = sign * xx;
    const int y = sign * yx;
    return x == 1 ? 0 : y == 1 ? 90 : x == -1 ? 180 : 270;
}

// The matrix's likeness to each orientation is their entries' products
// added up. Turns and mirrored turns score 0 against each other, so a plain
// turn never comes out mirrored, nor the other way round; a tie keeps the
// earlier one.
Orientation orientationOfMatrix(const std::int32_t matrix[9]) {
    const std::int64_t a = matrix[0], b = matrix[1], c = matrix[3], d = matrix[4];
    Orientation best;
    std::int64_t bestScore = 0;
    for (const Orientation& o : kOrientations) {
        const std::int64_t score = o.xx * a + o.xy * c + o.yx * b + o.yy * d;
        if (score > bestScore) {
            best = o;
            bestScore = score;
        }
    }
    return best;
}

Orientation streamOrientation(const AVStream& stream) {
    std::size_t size = 0;
    const std::uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (data != nullptr && size >= 9 * sizeof(std::int32_t)) {
        std::int32_t matrix[9];
        std::memcpy(matrix, data, sizeof matrix);
        return orientationOfMatrix(matrix);
    }
    Orientation turn;
    const AVDictionaryEntry* tag = av_dict_get(stream.metadata, "rotate", nullptr, 0);
    if (tag != nullptr && tag->value != nullptr && turnOfTag(tag->value, turn)) return turn;
    return Orientation{};
}

}  // namespace vantrel
