// Curved shapes, pattern brushes, dashed wide pens and region records.
#include <gtest/gtest.h>

#include <cstring>

#include "canvas.h"

using namespace vtest;
using ptest::Canvas;
using ptest::word;

namespace {

void put32(std::vector<uint8_t> &v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

// Painted pixels outside the quadrant box are counted as strays.
int paintedOutside(const Canvas &c, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            if (c.painted(x, y) && (x < x0 || x > x1 || y < y0 || y > y1)) ++n;
    return n;
}

TEST(Arcs, PieFillsTheQuarterBetweenItsRays) {
    EmfWriter w = ptest::pixelWriter(21, 21);
    w.select(kStockNullPen).select(kStockBlackBrush);
    w.record(EMR_PIE, {0, 0, 21, 21, 21, 10, 10, 0});  // from the right ray to the top ray
    Canvas c(21, 21);
    c.play(w.bytes());
    const std::string msg = c.dump({});
    EXPECT_TRUE(c.painted(14, 6)) << msg;
    EXPECT_FALSE(c.painted(6, 6)) << msg;
    EXPECT_FALSE(c.painted(6, 14)) << msg;
    EXPECT_FALSE(c.painted(14, 14)) << msg;
    EXPECT_EQ(paintedOutside(c, 10, 0, 20, 10), 0) << msg;
}

TEST(Arcs, ArcDirectionPicksTheOtherWayRound) {
    for (int dir : {1, 2}) {
        EmfWriter w = ptest::pixelWriter(21, 21);
        w.record(EMR_SETARCDIRECTION, {dir});
        w.record(EMR_ARC, {0, 0, 21, 21, 21, 10, 10, 0});
        Canvas c(21, 21);
        c.play(w.bytes());
        const std::string msg = c.dump({});
        EXPECT_FALSE(c.painted(14, 6)) << msg;  // an arc has no interior
        if (dir == 1) {
            EXPECT_EQ(paintedOutside(c, 10, 0, 20, 10), 0) << msg;
            EXPECT_GT(c.count(word(0)), 10) << msg;
        } else {
            EXPECT_TRUE(c.painted(0, 10)) << msg;   // the long way round, through the left
            EXPECT_TRUE(c.painted(10, 20)) << msg;  // and the bottom
        }
    }
}

TEST(Arcs, AngleArcDrawsFromTheCurrentPositionAndMovesIt) {
    EmfWriter w = ptest::pixelWriter(21, 21);
    w.moveTo(0, 10);
    std::vector<uint8_t> p;
    put32(p, 10), put32(p, 10), put32(p, 5);  // centre, radius
    const float start = 0, sweep = 90;
    uint32_t v;
    std::memcpy(&v, &start, 4);
    put32(p, v);
    std::memcpy(&v, &sweep, 4);
    put32(p, v);
    w.recordBytes(41, p);  // EMR_ANGLEARC
    w.lineTo(10, 0);
    Canvas c(21, 21);
    c.play(w.bytes());
    const std::string msg = c.dump({});
    EXPECT_TRUE(c.painted(5, 10)) << msg;    // the line to the arc's start (15, 10)
    int arc = 0;  // the quarter arc up to (10, 5)
    for (int y = 5; y <= 8; ++y)
        for (int x = 11; x <= 14; ++x) arc += c.painted(x, y);
    EXPECT_GE(arc, 3) << msg;
    EXPECT_TRUE(c.painted(10, 2)) << msg;    // the next line starts where the arc ended
    EXPECT_FALSE(c.painted(10, 15)) << msg;  // not the lower half
    EXPECT_FALSE(c.painted(6, 7)) << msg;
}

TEST(Arcs, ChordClosesWithAStraightEdge) {
    EmfWriter w = ptest::pixelWriter(21, 21);
    w.select(kStockNullPen).select(kStockBlackBrush);
    w.record(EMR_CHORD, {0, 0, 21, 21, 21, 10, 10, 0});
    Canvas c(21, 21);
    c.play(w.bytes());
    EXPECT_TRUE(c.painted(17, 4)) << c.dump({});   // between the arc and the chord
    EXPECT_FALSE(c.painted(12, 8)) << c.dump({});  // on the centre's side of the chord
}

TEST(RoundRect, CornersCutEdgesKept) {
    EmfWriter w = ptest::pixelWriter(20, 20);
    w.select(kStockNullPen).select(kStockBlackBrush);
    w.record(EMR_ROUNDRECT, {0, 0, 20, 20, 8, 8});
    Canvas c(20, 20);
    c.play(w.bytes());
    const std::string msg = c.dump({});
    EXPECT_FALSE(c.painted(0, 0)) << msg;
    EXPECT_FALSE(c.painted(19, 19)) << msg;
    EXPECT_TRUE(c.painted(10, 0)) << msg;
    EXPECT_TRUE(c.painted(0, 10)) << msg;
    EXPECT_TRUE(c.painted(10, 19)) << msg;
    EXPECT_TRUE(c.painted(19, 10)) << msg;
}

// CREATEDIBPATTERNBRUSHPT (94) or CREATEMONOBRUSH (93) with a 2 x 2 DIB.
std::vector<uint8_t> patternBrush(uint32_t type, uint16_t bpp, const std::vector<uint8_t> &bits,
                                  const std::vector<uint32_t> &colours) {
    std::vector<uint8_t> p;
    const uint32_t cbBmi = 40 + 4 * uint32_t(colours.size());
    put32(p, 1);                    // ihBrush
    put32(p, 0);                    // DIB_RGB_COLORS
    put32(p, 32), put32(p, cbBmi);  // offBmi, cbBmi
    put32(p, 32 + cbBmi), put32(p, uint32_t(bits.size()));
    put32(p, 40), put32(p, 2), put32(p, 2);  // header, 2 x 2 bottom-up
    put32(p, 1u | uint32_t(bpp) << 16);      // planes, bit count
    for (int i = 0; i < 6; ++i) put32(p, 0);
    for (uint32_t c : colours) put32(p, c);
    p.insert(p.end(), bits.begin(), bits.end());
    (void)type;
    return p;
}

TEST(PatternBrushes, DibPatternTilesFromTheTopLeft) {
    // Bottom row first: blue, white; then the top row: red, green (BGR).
    const std::vector<uint8_t> bits{255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
    EmfWriter w = ptest::pixelWriter(6, 6);
    w.recordBytes(94, patternBrush(94, 24, bits, {}));
    w.select(1).select(kStockNullPen).rectangle(0, 0, 6, 6);
    Canvas c(6, 6);
    c.play(w.bytes());
    EXPECT_EQ(c.at(0, 0), word(rgb(255, 0, 0)));
    EXPECT_EQ(c.at(1, 0), word(rgb(0, 255, 0)));
    EXPECT_EQ(c.at(0, 1), word(rgb(0, 0, 255)));
    EXPECT_EQ(c.at(1, 1), word(rgb(255, 255, 255)));
    EXPECT_EQ(c.at(4, 2), word(rgb(255, 0, 0)));
}

TEST(PatternBrushes, MonoBrushUsesTextAndBackgroundColours) {
    // Rows bottom-up: 01, 10 (1-bit, rows padded to 4 bytes).
    const std::vector<uint8_t> bits{0x40, 0, 0, 0, 0x80, 0, 0, 0};
    EmfWriter w = ptest::pixelWriter(4, 4);
    w.recordBytes(93, patternBrush(93, 1, bits, {0, 0xFFFFFF}));
    w.record(24, {int32_t(rgb(255, 0, 0))});  // SETTEXTCOLOR
    w.record(EMR_SETBKCOLOR, {int32_t(rgb(0, 0, 255))});
    w.select(1).select(kStockNullPen).rectangle(0, 0, 4, 4);
    Canvas c(4, 4);
    c.play(w.bytes());
    EXPECT_EQ(c.at(0, 0), word(rgb(0, 0, 255)));  // bit 1: background
    EXPECT_EQ(c.at(1, 0), word(rgb(255, 0, 0)));  // bit 0: text colour
    EXPECT_EQ(c.at(1, 1), word(rgb(0, 0, 255)));
}

// Hostile: the platform reads past such a record; here no brush is made.
TEST(Hostile, TruncatedPatternDibMakesNoBrush) {
    EmfWriter w = ptest::pixelWriter(4, 4);
    auto p = patternBrush(94, 24, {1, 2, 3}, {});  // 3 bytes for 2 rows of 8
    w.recordBytes(94, p);
    w.select(kStockNullPen).select(kStockBlackBrush).select(1).rectangle(0, 0, 4, 4);
    Canvas c(4, 4);
    c.play(w.bytes());
    EXPECT_EQ(c.count(word(0)), 16);  // the black brush stays selected
}

TEST(Pens, GeometricDashScalesWithWidth) {
    EmfWriter w = ptest::pixelWriter(40, 10);
    w.extCreatePen(1, 0x10000 | 0x200 | 1, 4, 0).select(1);  // geometric, flat caps, PS_DASH
    w.moveTo(0, 5).lineTo(40, 5);
    Canvas c(40, 10);
    c.play(w.bytes());
    const std::string msg = c.dump({});
    // Dashes of 3 x width on, 1 x width off.
    EXPECT_TRUE(c.painted(6, 5)) << msg;
    EXPECT_FALSE(c.painted(13, 5)) << msg;
    EXPECT_TRUE(c.painted(20, 5)) << msg;
    EXPECT_TRUE(c.painted(6, 3)) << msg;
    EXPECT_TRUE(c.painted(6, 6)) << msg;
    EXPECT_FALSE(c.painted(6, 7)) << msg;
}

TEST(Pens, UserStyleCosmeticAlternate) {
    EmfWriter w = ptest::pixelWriter(12, 4);
    w.extCreatePen(1, 8, 1, 0).select(1);  // PS_ALTERNATE
    w.moveTo(0, 1).lineTo(12, 1);
    Canvas c(12, 4);
    c.play(w.bytes());
    for (int x = 0; x < 12; ++x) EXPECT_EQ(c.painted(x, 1), x % 2 == 0) << x;
}

TEST(Regions, FillRgnPaintsTheRegionsRectanglesInLogicalUnits) {
    std::vector<uint8_t> p;
    for (int i = 0; i < 4; ++i) put32(p, 0);  // bounds
    put32(p, 32 + 32);                        // cbRgnData
    put32(p, 2);                              // a black brush
    put32(p, 32), put32(p, 1), put32(p, 2), put32(p, 32);
    for (int i = 0; i < 4; ++i) put32(p, 0);
    for (int v : {1, 1, 3, 2, 5, 4, 7, 6}) put32(p, uint32_t(v));
    EmfWriter w = ptest::pixelWriter(8, 8);
    w.createBrush(2, 0, 0);
    w.worldTransform(1, 0, 0, 1, 1, 0);  // one pixel to the right
    w.recordBytes(EMR_FILLRGN, p);
    Canvas c(8, 8);
    c.play(w.bytes());
    EXPECT_EQ(c.count(word(0)), 2 + 4);
    EXPECT_TRUE(c.painted(2, 1));
    EXPECT_TRUE(c.painted(3, 1));
    EXPECT_TRUE(c.painted(7, 5));
    EXPECT_FALSE(c.painted(1, 1));
    EXPECT_FALSE(c.painted(8, 5));
}

TEST(Hostile, HugeEllipsesAndArcsStayBounded) {
    EmfWriter w = ptest::pixelWriter(16, 16);
    w.select(kStockNullPen).select(kStockBlackBrush);
    w.ellipse(-1000000000, -1000000000, 1000000000, 1000000000);
    w.record(EMR_ARC, {-2000000000, -2000000000, 2000000000, 2000000000, 5, 0, 0, 5});
    w.record(EMR_ROUNDRECT, {-2000000000, 0, 2000000000, 16, 2000000000, 2000000000});
    Canvas c(16, 16);
    c.play(w.bytes());
    EXPECT_EQ(c.count(word(0)), 256);
}

}  // namespace
