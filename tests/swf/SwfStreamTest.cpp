#include <gtest/gtest.h>

#include "support/Bytes.h"
#include "swf/SwfRecords.h"
#include "swf/SwfStream.h"

namespace vantrel::test {
namespace {

TEST(SwfStream, BitFieldsFillBytesFromTheTop) {
    SwfStream s;
    s.writeBits(0b101, 3);
    EXPECT_EQ(s.count(), 0u);  // pending bits are not content yet
    s.writeBits(0xFFFF, 0);    // n = 0 changes nothing, also with bits pending
    s.align();
    EXPECT_EQ(committed(s), hex("A0"));
    s.align();  // on a boundary: nothing
    EXPECT_EQ(s.count(), 1u);
}

TEST(SwfStream, ByteWritersDoNotAlign) {
    SwfStream s;
    s.writeBits(1, 1);
    s.writeU8(0xFF);
    s.align();
    EXPECT_EQ(committed(s), hex("FF 80"));
}

TEST(SwfStream, SignedValuesAreTwosComplementAndHighBitsDrop) {
    SwfStream s;
    s.writeBits(static_cast<std::uint32_t>(-3), 4);  // 1101
    s.writeBits(0x1F, 4);                            // only the low 4 bits: 1111
    EXPECT_EQ(committed(s), hex("DF"));
    SwfStream wide;
    wide.writeBits(0x12345678, 32);
    EXPECT_EQ(committed(wide), hex("12 34 56 78"));
}

TEST(SwfStream, LittleEndianIntegersAndStrings) {
    SwfStream s;
    s.writeU16(0x1234);
    s.writeU32(1004);
    s.writeString("FWS", false);
    s.writeString("a", true);
    EXPECT_EQ(committed(s), hex("34 12 EC 03 00 00 46 57 53 61 00"));
}

TEST(SwfStream, BitsNeededAndMaxAbs) {
    EXPECT_EQ(bitsNeeded(0, 1), 1);
    EXPECT_EQ(bitsNeeded(0, 0), 0);
    EXPECT_EQ(bitsNeeded(1, 0), 1);
    EXPECT_EQ(bitsNeeded(3, 0), 2);
    EXPECT_EQ(bitsNeeded(4, 1), 4);
    EXPECT_EQ(bitsNeeded(2000, 1), 12);
    EXPECT_EQ(bitsNeeded(0x140000, 1), 22);
    EXPECT_EQ(bitsNeeded(0xFFFFFFFFu, 0), 32);
    EXPECT_EQ(maxAbs(-4, 3), 4);
    EXPECT_EQ(maxAbs(1, -2, 7, -9), 9);
}

TEST(SwfStream, TagHeaderShortUpTo62LongFrom63) {
    SwfStream s;
    s.writeTagHeader(1, 0);
    s.writeTagHeader(0, 0);
    s.writeTagHeader(2, 62);
    s.writeTagHeader(2, 63);
    EXPECT_EQ(committed(s), hex("40 00 00 00 BE 00 BF 00 3F 00 00 00"));
}

TEST(SwfStream, ReferencedPayloadIsSplicedAtItsPlace) {
    Bytes payload(1000);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);

    SwfStream body;
    body.writeU8(0xA1);
    body.writeU8(0xA2);
    body.addReference(payload.data(), 1000);
    body.writeU8(0xB1);
    body.writeU8(0xB2);
    EXPECT_EQ(body.totalLength(), 1004u);
    EXPECT_EQ(body.count(), 4u);

    SwfStream movie;
    for (int i = 0; i < 21; ++i) movie.writeU8(0x11);
    movie.writeTagHeader(2, static_cast<std::uint32_t>(body.totalLength()), &body);
    EXPECT_TRUE(body.references().empty());
    ASSERT_EQ(movie.references().size(), 1u);
    EXPECT_EQ(movie.references()[0].position, 21u + 6 + 2);
    EXPECT_EQ(movie.totalLength(), 1031u);

    const Bytes out = contentOf(movie);
    Bytes expected(21, 0x11);
    for (auto b : hex("BF 00 EC 03 00 00 A1 A2")) expected.push_back(b);
    expected.insert(expected.end(), payload.begin(), payload.end());
    expected.push_back(0xB1);
    expected.push_back(0xB2);
    EXPECT_EQ(out, expected);
    EXPECT_TRUE(movie.references().empty());  // writing consumes them
}

TEST(SwfStream, SeveralReferencesKeepTheirOrder) {
    const Bytes a = hex("AA AA"), b = hex("BB");
    SwfStream body;
    body.addReference(a.data(), 2);
    body.addReference(b.data(), 1);
    body.writeU8(0x01);
    SwfStream out;
    out.writeU8(0x00);
    out.appendStream(body);
    EXPECT_EQ(contentOf(out), hex("00 AA AA BB 01"));
}

TEST(SwfStream, GrowsPastItsReservation) {
    SwfStream s;
    for (int i = 0; i < 5000; ++i) s.writeU8(i);
    ASSERT_EQ(s.count(), 5000u);
    EXPECT_EQ(s.bytes()[4999], 4999 & 0xFF);
}

TEST(SwfRecords, RectWidthFollowsTheLargestValue) {
    SwfStream s;
    SwfRect(0, 0, 2000, 1000).write(s);
    EXPECT_EQ(committed(s), hex("60 00 3E 80 00 1F 40"));
    SwfStream zero;
    SwfRect(0, 0, 0, 0).write(zero);
    EXPECT_EQ(committed(zero), hex("08 00"));
}

TEST(SwfRecords, Matrices) {
    SwfStream identity;
    SwfMatrix::identity().write(identity);
    EXPECT_EQ(committed(identity), hex("00"));

    SwfStream translateOnly;
    SwfMatrix(false, 0, 0, false, 0, 0, 0, 0).write(translateOnly);
    EXPECT_EQ(committed(translateOnly), hex("02 00"));

    SwfStream bitmapFill;
    SwfMatrix(true, 0x140000, 0x140000, false, 0, 0, 0, 0).write(bitmapFill);
    EXPECT_EQ(committed(bitmapFill), hex("D9 40 00 05 00 00 01 00"));
}

}  // namespace
}  // namespace vantrel::test
