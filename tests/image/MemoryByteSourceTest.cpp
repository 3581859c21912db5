#include <gtest/gtest.h>

#include "image/MemoryByteSource.h"
#include "support/Bytes.h"

namespace vantrel::test {
namespace {

TEST(MemoryByteSource, ReadsStopAtTheEnd) {
    const Bytes data = hex("01 02 03 04 05");
    MemoryByteSource source(data.data(), 5);
    EXPECT_FALSE(source.isClosed());
    EXPECT_EQ(source.size(), 5u);
    std::uint8_t buffer[8] = {};
    EXPECT_EQ(source.read(buffer, 2), 2u);
    EXPECT_EQ(source.position(), 2);
    EXPECT_EQ(source.take(4), nullptr);  // only 3 left: nothing taken
    EXPECT_EQ(source.position(), 2);
    EXPECT_EQ(source.read(buffer, 8), 3u);
    EXPECT_EQ(buffer[2], 5);
    EXPECT_EQ(source.remaining(), 0u);
    EXPECT_EQ(source.read(buffer, 1), 0u);
    EXPECT_TRUE(MemoryByteSource(data.data(), 0).isClosed());
    EXPECT_TRUE(MemoryByteSource(nullptr, 5).isClosed());
}

TEST(MemoryByteSource, SeeksStayInsideTheBlock) {
    const Bytes data = hex("01 02 03 04 05");
    MemoryByteSource source(data.data(), 5);
    EXPECT_TRUE(source.seekEnd(-1));
    EXPECT_EQ(*source.take(1), 5);
    EXPECT_TRUE(source.seekBegin(5));
    EXPECT_FALSE(source.seekBegin(6));
    EXPECT_FALSE(source.seekCurrent(1));
    EXPECT_FALSE(source.seekEnd(1));
    EXPECT_FALSE(source.seekCurrent(INT64_MIN));
    EXPECT_FALSE(source.seekCurrent(INT64_MAX));
    EXPECT_EQ(source.position(), 5);
    EXPECT_TRUE(source.seekCurrent(-4));
    EXPECT_EQ(loadU32(source.take(4)), 0x05040302u);
}

}  // namespace
}  // namespace vantrel::test
