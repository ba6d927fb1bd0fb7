// GRADIENTFILL: each channel is the vertices' 16-bit values weighted by
// position and cut to 8 bits, alpha included; rectangles cover
// [left, right) x [top, bottom) of their mapped corners, triangles the rows
// between their edges.
#include <gtest/gtest.h>

#include "bitmap_records.h"

using namespace btest;
using ptest::Canvas;
using ptest::kKey;

namespace {

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

TEST(BitmapGradient, HorizontalRectangleWeighsByColumn) {
    // Red to blue over 4 columns: channel = (c0 * (4 - x) + c1 * x) / 4 / 256.
    vtest::EmfWriter w = ptest::pixelWriter(6, 3);
    gradientFill(w, {{0, 0, 0xFF00, 0, 0, 0}, {4, 2, 0, 0, 0xFF00, 0}}, {0, 1}, 0);
    Canvas c(6, 3);
    ASSERT_TRUE(c.play(w.bytes()));
    const uint32_t want[4] = {argb(0, 0xFF, 0, 0), argb(0, 0xBF, 0, 0x3F), argb(0, 0x7F, 0, 0x7F),
                              argb(0, 0x3F, 0, 0xBF)};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(c.at(x, y), want[x]) << x << "," << y;
    EXPECT_EQ(c.at(4, 0), kKey);
    EXPECT_EQ(c.at(0, 2), kKey);
}

TEST(BitmapGradient, VerticalRectangleCarriesAlpha) {
    // Vertex alpha goes to the alpha byte like any other channel.
    vtest::EmfWriter w = ptest::pixelWriter(2, 2);
    gradientFill(w, {{0, 0, 0, 0xFF00, 0, 0xFF00}, {2, 2, 0, 0, 0, 0}}, {0, 1}, 1);
    Canvas c(2, 2);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), argb(0xFF, 0, 0xFF, 0));
    EXPECT_EQ(c.at(1, 0), argb(0xFF, 0, 0xFF, 0));
    EXPECT_EQ(c.at(0, 1), argb(0x7F, 0, 0x7F, 0));
}

TEST(BitmapGradient, RectangleGivenRightToLeftSwapsItsColours) {
    // The colours follow the vertices, wherever they lie.
    vtest::EmfWriter w = ptest::pixelWriter(2, 1);
    gradientFill(w, {{2, 1, 0xFF00, 0, 0, 0}, {0, 0, 0, 0xFF00, 0, 0}}, {0, 1}, 0);
    Canvas c(2, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), argb(0, 0, 0xFF, 0));
    EXPECT_EQ(c.at(1, 0), argb(0, 0x7F, 0x7F, 0));
}

TEST(BitmapGradient, TriangleCoversRowsBetweenItsEdges) {
    // (0,0) red, (4,0) green, (0,4) blue: row y covers x in [0, 4 - y).
    // Barycentric weights over the determinant 16: (0,0) is all red; (3,0)
    // is 4/16 red and 12/16 green; (0,3) 4/16 red and 12/16 blue.
    vtest::EmfWriter w = ptest::pixelWriter(5, 5);
    gradientFill(w, {{0, 0, 0xFF00, 0, 0, 0}, {4, 0, 0, 0xFF00, 0, 0}, {0, 4, 0, 0, 0xFF00, 0}}, {0, 1, 2}, 2);
    Canvas c(5, 5);
    ASSERT_TRUE(c.play(w.bytes()));
    int painted = 0;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(c.painted(x, y), y < 4 && x < 4 - y) << x << "," << y;
            painted += c.painted(x, y);
        }
    EXPECT_EQ(painted, 10);
    EXPECT_EQ(c.at(0, 0), argb(0, 0xFF, 0, 0));
    EXPECT_EQ(c.at(3, 0), argb(0, 0x3F, 0xBF, 0));
    EXPECT_EQ(c.at(0, 3), argb(0, 0x3F, 0, 0xBF));
}

TEST(BitmapGradient, IndexPastTheVerticesRefusesTheWholeCall) {
    vtest::EmfWriter w = ptest::pixelWriter(4, 4);
    gradientFill(w, {{0, 0, 0xFF00, 0, 0, 0}, {2, 2, 0, 0, 0, 0}}, {0, 1, 0, 2}, 0);
    Canvas c(4, 4);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.count(kKey), 16);
}

}  // namespace
