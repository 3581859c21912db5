#include <gtest/gtest.h>

#include <memory>

#include "support/Bytes.h"
#include "swf/ActionTags.h"
#include "swf/ShapeTags.h"

namespace vantrel::test {
namespace {

TEST(ShapeTags, ShowFrameIsTwoBytesAndCountsAsAFrame) {
    ShowFrameTag show;
    EXPECT_EQ(written(show), hex("40 00"));
    EXPECT_TRUE(show.countsAsFrame());
    EXPECT_FALSE(PlaceObject2Tag(true, false, 1, 2, std::nullopt).countsAsFrame());
    EXPECT_FALSE(DefineShapeTag(1, SwfRect(0, 0, 0, 0)).countsAsFrame());
}

// DoAction (12) with Stop, then the end of the actions.
TEST(ShapeTags, DoActionStopsAndEnds) {
    const DoActionTag stop({ActionCode::Stop});
    EXPECT_EQ(written(stop), hex("02 03  07 00"));
    EXPECT_FALSE(stop.countsAsFrame());
}

TEST(ShapeTags, PlaceObject2FirstAndLaterFrames) {
    EXPECT_EQ(written(PlaceObject2Tag(true, false, 1, 2, SwfMatrix::identity())),
              hex("86 06 06 01 00 02 00 00"));
    EXPECT_EQ(written(PlaceObject2Tag(true, true, 1, 4, std::nullopt)),
              hex("85 06 03 01 00 04 00"));
}

TEST(ShapeTags, PictureRectangleOf100By50) {
    auto shape = makePictureShape(2, 1, 100, 50);
    EXPECT_EQ(shape->characterId(), 2);
    EXPECT_EQ(written(*shape), hex("A6 00 02 00 60 00 3E 80 00 1F 40 01 41 01 00 D9 40 00 05 00 "
                                   "00 01 00 00 10 15 8F A0 7D 1E 88 30 E5 83 1D 0F A1 CA FA 00"));
}

TEST(ShapeTags, PictureRectangleOf1By1) {
    const Bytes bytes = written(*makePictureShape(2, 1, 1, 1));
    BitReader bits(bytes.data() + 4, bytes.size() - 4);  // after header and id
    EXPECT_EQ(bits.readUBits(5), 6u);                     // bounds in 6-bit fields
    EXPECT_EQ(bits.readSBits(6), 0);
    EXPECT_EQ(bits.readSBits(6), 20);
    EXPECT_EQ(bits.readSBits(6), 0);
    EXPECT_EQ(bits.readSBits(6), 20);
    bits.align();
    for (int i = 0; i < 14; ++i) bits.readU8();  // fill style, line styles, bit counts
    EXPECT_EQ(bits.readUBits(6), 0b000101u);     // style change: FillStyle1 and move-to
    EXPECT_EQ(bits.readUBits(5), 6u);            // moveBits
    bits.readUBits(12 + 1);
    for (int edge = 0; edge < 4; ++edge) {
        EXPECT_EQ(bits.readUBits(2), 0b11u);
        EXPECT_EQ(bits.readUBits(4), 4u);  // NumBits field: 6 bits - 2
        bits.readUBits(2 + 6);
    }
}

TEST(ShapeTags, StraightEdgeKinds) {
    auto edgeBits = [](std::int32_t dx, std::int32_t dy) {
        SwfStream s;
        StraightEdgeRecord(dx, dy).write(s);
        s.align();
        return contentOf(s);
    };
    // (-2000, 0): horizontal, NumBits field 10, 12-bit delta.
    Bytes h = edgeBits(-2000, 0);
    BitReader hb(h.data(), h.size());
    EXPECT_EQ(hb.readUBits(2), 3u);
    EXPECT_EQ(hb.readUBits(4), 10u);
    EXPECT_EQ(hb.readUBits(2), 0u);
    EXPECT_EQ(hb.readSBits(12), -2000);
    // (0, -1000): vertical, NumBits field 9.
    Bytes v = edgeBits(0, -1000);
    BitReader vb(v.data(), v.size());
    vb.readUBits(2);
    EXPECT_EQ(vb.readUBits(4), 9u);
    EXPECT_EQ(vb.readUBits(2), 1u);
    EXPECT_EQ(vb.readSBits(11), -1000);
    // (3, 4): general with 4-bit deltas.
    Bytes g = edgeBits(3, 4);
    BitReader gb(g.data(), g.size());
    gb.readUBits(2);
    EXPECT_EQ(gb.readUBits(4), 2u);
    EXPECT_EQ(gb.readUBits(1), 1u);
    EXPECT_EQ(gb.readSBits(4), 3);
    EXPECT_EQ(gb.readSBits(4), 4);
}

TEST(ShapeTags, FillStyleCountsAndIndexes) {
    FillStyleArray styles;
    for (std::uint32_t i = 1; i <= 254; ++i) {
        EXPECT_EQ(styles.add(std::make_unique<BitmapFillStyle>(false, 1, SwfMatrix::identity())), i);
    }
    EXPECT_EQ(written(styles)[0], 0xFE);
    styles.add(std::make_unique<BitmapFillStyle>(true, 1, SwfMatrix::identity()));
    const Bytes bytes = written(styles);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 3), hex("FF FF 00"));
    EXPECT_EQ(bytes[3 + 254 * 4], 0x40);  // the last style repeats
    EXPECT_EQ(written(LineStyleArray()), hex("00"));
}

TEST(ShapeTags, EdgePiecesFitOneRecord) {
    EXPECT_EQ(edgePieces(0), 1u);
    EXPECT_EQ(edgePieces(65535), 1u);
    EXPECT_EQ(edgePieces(65536), 2u);
    EXPECT_EQ(edgePieces(20 * 3277), 2u);
    EXPECT_EQ(edgePieces(20 * 6553), 2u);
    EXPECT_EQ(edgePieces(20 * 6554), 4u);  // 131080 is no multiple of 3
}

// Reads a picture rectangle back: bounds, then the sum of all edges and the
// corner each edge run reaches.
struct DecodedShape {
    std::int32_t xMax = 0, yMax = 0;
    std::int32_t moveX = 0, moveY = 0;
    std::int32_t x = 0, y = 0;  // pen position after all edges
    std::int32_t minX = 0, minY = 0, maxX = 0, maxY = 0;
    int edges = 0;
    bool ended = false;
};

DecodedShape decodeShape(const Bytes& record) {
    DecodedShape d;
    const std::size_t headerSize = (record[0] & 0x3F) == 0x3F ? 6 : 2;
    BitReader bits(record.data() + headerSize + 2, record.size() - headerSize - 2);
    const unsigned n = bits.readUBits(5);
    bits.readSBits(n);
    d.xMax = bits.readSBits(n);
    bits.readSBits(n);
    d.yMax = bits.readSBits(n);
    bits.align();
    EXPECT_EQ(bits.readU8(), 1u);     // one fill style
    EXPECT_EQ(bits.readU8(), 0x41u);  // clipped bitmap
    bits.readU16();
    bits.align();
    if (bits.readUBits(1)) {
        const unsigned sb = bits.readUBits(5);
        bits.readUBits(2 * sb);
    }
    if (bits.readUBits(1)) {
        const unsigned rb = bits.readUBits(5);
        bits.readUBits(2 * rb);
    }
    const unsigned tb = bits.readUBits(5);
    bits.readUBits(2 * tb);
    EXPECT_EQ(bits.readU8(), 0u);  // no line styles
    bits.align();
    const unsigned fillBits = bits.readUBits(4);
    const unsigned lineBits = bits.readUBits(4);
    EXPECT_EQ(lineBits, 0u);
    while (!d.ended && bits.bytePosition() < record.size()) {
        if (bits.readUBits(1) == 0) {
            const unsigned flags = bits.readUBits(5);
            if (flags == 0) {
                d.ended = true;
                break;
            }
            if (flags & 1) {
                const unsigned mb = bits.readUBits(5);
                d.moveX = d.x = bits.readSBits(mb);
                d.moveY = d.y = bits.readSBits(mb);
                d.minX = d.maxX = d.x;
                d.minY = d.maxY = d.y;
            }
            if (flags & 2) bits.readUBits(fillBits);
            if (flags & 4) bits.readUBits(fillBits);
            continue;
        }
        EXPECT_EQ(bits.readUBits(1), 1u);  // straight
        const unsigned nb = bits.readUBits(4) + 2;
        if (bits.readUBits(1)) {
            d.x += bits.readSBits(nb);
            d.y += bits.readSBits(nb);
        } else if (bits.readUBits(1)) {
            d.y += bits.readSBits(nb);
        } else {
            d.x += bits.readSBits(nb);
        }
        d.minX = std::min(d.minX, d.x);
        d.maxX = std::max(d.maxX, d.x);
        d.minY = std::min(d.minY, d.y);
        d.maxY = std::max(d.maxY, d.y);
        ++d.edges;
    }
    return d;
}

TEST(ShapeTags, LargePicturesGetEdgesThatSumToTheRectangle) {
    for (auto [w, h, edges] : {std::tuple{100, 50, 4}, std::tuple{1920, 1080, 4},
                               std::tuple{4000, 3000, 6}, std::tuple{7000, 100, 10}, std::tuple{3277, 3276, 6}}) {
        const DecodedShape d = decodeShape(written(*makePictureShape(2, 1, w, h)));
        EXPECT_TRUE(d.ended);
        EXPECT_EQ(d.xMax, w * 20);
        EXPECT_EQ(d.yMax, h * 20);
        EXPECT_EQ(d.moveX, w * 20);
        EXPECT_EQ(d.moveY, h * 20);
        EXPECT_EQ(d.x, d.moveX);  // closed outline
        EXPECT_EQ(d.y, d.moveY);
        EXPECT_EQ(d.minX, 0);
        EXPECT_EQ(d.minY, 0);
        EXPECT_EQ(d.maxX, w * 20);
        EXPECT_EQ(d.maxY, h * 20);
        EXPECT_EQ(d.edges, edges) << w << "x" << h;
    }
}

}  // namespace
}  // namespace vantrel::test
