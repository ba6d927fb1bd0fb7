// The little-endian loads and the bounds-checking reader every decoder uses.
#include <gtest/gtest.h>

#include "base/bytes.h"

using namespace vellora::base;

TEST(Bytes, LoadsAreLittleEndianAndSigned) {
    const uint8_t d[] = {0x01, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0x3F};
    EXPECT_EQ(u16(d), 0x8001);
    EXPECT_EQ(i16(d), -32767);
    EXPECT_EQ(u32(d), 0xFFFF8001u);
    EXPECT_EQ(i32(d + 2), 0x0000FFFF);
    EXPECT_EQ(f32(d + 4), 1.0f);
}

TEST(Bytes, ReaderStopsAtTheEndAndStaysFailed) {
    const uint8_t d[] = {1, 2, 3, 4, 5, 6};
    Reader r(d, sizeof d);
    EXPECT_EQ(r.u32(), 0x04030201u);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.u32(), 0u);  // two bytes left: nothing is read
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.pos(), 4u);
    EXPECT_EQ(r.u8(), 0);  // fits, but the reader has failed
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_EQ(Reader(nullptr, 8).remaining(), 0u);
    Reader s(d, sizeof d);
    EXPECT_TRUE(s.seek(6));
    EXPECT_FALSE(s.has(1));
    EXPECT_FALSE(s.skip(1));
    EXPECT_EQ(s.bytes(0), nullptr);
}
