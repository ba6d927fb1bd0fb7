// Which pixels the primitives paint, and with what.
#include <gtest/gtest.h>

#include <cmath>

#include "canvas.h"

using namespace vtest;
using ptest::Canvas;
using ptest::word;

namespace {

const uint32_t kRed = rgb(255, 0, 0), kBlue = rgb(0, 0, 255), kGreen = rgb(0, 255, 0);
const std::vector<std::pair<uint32_t, char>> kLegend{
    {word(kRed), 'r'}, {word(kBlue), 'b'}, {word(kGreen), 'g'}, {word(0), 'k'}, {word(0xFFFFFF), 'w'}};

TEST(FloodFill, EnhancedRecordFillsUpToTheBorderColour) {
    EmfWriter w = ptest::pixelWriter(12, 10);
    w.createPen(1, 0, 1, kBlue).select(1).select(kStockNullBrush);
    w.rectangle(1, 1, 9, 8);  // a blue outline, nothing inside
    w.createBrush(2, 0, kRed).select(2);
    w.record(53, {4, 4, int32_t(kBlue), 0});  // EXTFLOODFILL, FLOODFILLBORDER
    Canvas c(12, 10);
    c.play(w.bytes());
    const std::string msg = c.dump(kLegend);
    EXPECT_EQ(c.at(2, 2), word(kRed)) << msg;
    EXPECT_EQ(c.at(8, 7), word(kRed)) << msg;
    EXPECT_EQ(c.at(1, 1), word(kBlue)) << msg;
    EXPECT_FALSE(c.painted(0, 0)) << msg;
    EXPECT_FALSE(c.painted(11, 9)) << msg;
}

TEST(Ellipse, TurnedByTheWorldTransformStaysAnEllipse) {
    // A long thin ellipse turned 45 degrees about the centre: its ink lies
    // along the diagonal, and the corners of its turned bounding box, which
    // an upright ellipse between the turned corners would cover, stay empty.
    EmfWriter w = ptest::pixelWriter(40, 40);
    const float c = float(std::sqrt(0.5));
    w.worldTransform(c, c, -c, c, 20, 20, 4);  // MWT_SET
    w.select(kStockNullPen).createBrush(1, 0, kRed).select(1).ellipse(-18, -3, 18, 3);
    Canvas c40(40, 40);
    c40.play(w.bytes());
    const std::string msg = c40.dump(kLegend);
    EXPECT_EQ(c40.at(20, 20), word(kRed)) << msg;
    EXPECT_EQ(c40.at(29, 29), word(kRed)) << msg;
    EXPECT_EQ(c40.at(11, 11), word(kRed)) << msg;
    EXPECT_FALSE(c40.painted(29, 11)) << msg;
    EXPECT_FALSE(c40.painted(11, 29)) << msg;
    EXPECT_FALSE(c40.painted(24, 14)) << msg;
}

TEST(Rectangle, OutlineIncludesRightAndBottomEdgeInteriorFilled) {
    EmfWriter w = ptest::pixelWriter(12, 10);
    w.createPen(1, 0, 1, kBlue).select(1).createBrush(2, 0, kRed).select(2);
    w.rectangle(2, 2, 8, 6);
    Canvas c(12, 10);
    c.play(w.bytes());
    const std::string msg = c.dump(kLegend);
    for (int x = 2; x <= 8; ++x) {
        EXPECT_EQ(c.at(x, 2), word(kBlue)) << x << msg;
        EXPECT_EQ(c.at(x, 6), word(kBlue)) << x << msg;
    }
    for (int y = 2; y <= 6; ++y) {
        EXPECT_EQ(c.at(2, y), word(kBlue)) << msg;
        EXPECT_EQ(c.at(8, y), word(kBlue)) << msg;
    }
    EXPECT_EQ(c.at(3, 3), word(kRed)) << msg;
    EXPECT_EQ(c.at(7, 5), word(kRed)) << msg;
    EXPECT_FALSE(c.painted(9, 4)) << msg;
    EXPECT_FALSE(c.painted(5, 7)) << msg;
    EXPECT_EQ(c.count(word(kBlue)) + c.count(word(kRed)), 7 * 5);
}

TEST(Rectangle, NullPenFillsHalfOpenBox) {
    EmfWriter w = ptest::pixelWriter(12, 10);
    w.select(kStockNullPen).select(kStockBlackBrush).rectangle(8, 6, 2, 2);  // reversed corners
    Canvas c(12, 10);
    c.play(w.bytes());
    EXPECT_EQ(c.count(word(0)), 6 * 4) << c.dump(kLegend);
    EXPECT_TRUE(c.painted(2, 2));
    EXPECT_TRUE(c.painted(7, 5));
    EXPECT_FALSE(c.painted(8, 5));
    EXPECT_FALSE(c.painted(7, 6));
}

TEST(Painting, PaintedPixelsGetAlphaZeroOthersKeepTheirBytes) {
    EmfWriter w = ptest::pixelWriter(8, 8);
    w.select(kStockNullPen).createBrush(1, 0, rgb(1, 2, 3)).select(1).rectangle(0, 0, 4, 8);
    Canvas c(8, 8);
    c.play(w.bytes());
    EXPECT_EQ(c.at(0, 0), 0x00010203u);
    EXPECT_EQ(c.at(4, 0), ptest::kKey);
}

TEST(Ellipse, SymmetricInsideItsBoxWithoutRightAndBottomEdge) {
    EmfWriter w = ptest::pixelWriter(24, 20);
    w.createPen(1, 0, 1, kBlue).select(1).createBrush(2, 0, kRed).select(2).ellipse(2, 3, 20, 15);
    Canvas c(24, 20);
    c.play(w.bytes());
    const std::string msg = c.dump(kLegend);
    int minX = 99, maxX = -1, minY = 99, maxY = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 24; ++x) {
            if (!c.painted(x, y)) continue;
            minX = std::min(minX, x), maxX = std::max(maxX, x);
            minY = std::min(minY, y), maxY = std::max(maxY, y);
            // Mirror images across the box centre are painted alike.
            EXPECT_EQ(c.painted(2 + 19 - x, y), true) << x << "," << y << msg;
            EXPECT_EQ(c.painted(x, 3 + 14 - y), true) << x << "," << y << msg;
        }
    EXPECT_EQ(minX, 2) << msg;
    EXPECT_EQ(maxX, 19) << msg;
    EXPECT_EQ(minY, 3) << msg;
    EXPECT_EQ(maxY, 14) << msg;
    EXPECT_EQ(c.at(11, 9), word(kRed)) << msg;
    EXPECT_FALSE(c.painted(2, 3)) << msg;  // the corner is outside the curve
    EXPECT_EQ(c.at(2, 8), word(kBlue)) << msg;
}

TEST(PolyFillMode, AlternateLeavesTheStarsCentreWindingFillsIt) {
    const std::vector<Pt> star{{10, 1}, {16, 19}, {1, 7}, {19, 7}, {4, 19}};
    for (int mode : {1, 2}) {
        EmfWriter w = ptest::pixelWriter(20, 20);
        w.select(kStockNullPen).select(kStockBlackBrush);
        w.record(EMR_SETPOLYFILLMODE, {mode});
        w.polygon(star, mode == 2);  // the 16-bit record for one of them
        Canvas c(20, 20);
        c.play(w.bytes());
        EXPECT_EQ(c.painted(10, 11), mode == 2) << c.dump(kLegend);
        EXPECT_TRUE(c.painted(10, 4)) << c.dump(kLegend);  // a tip
    }
}

TEST(PolyPolygon, HoleStaysEmptyAndPolylineDrawsOpenFigure) {
    EmfWriter w = ptest::pixelWriter(20, 20);
    w.select(kStockNullPen).select(kStockBlackBrush);
    w.polyPolygon({{{2, 2}, {18, 2}, {18, 18}, {2, 18}}, {{6, 6}, {14, 6}, {14, 14}, {6, 14}}}, true);
    Canvas c(20, 20);
    c.play(w.bytes());
    EXPECT_TRUE(c.painted(3, 3));
    EXPECT_FALSE(c.painted(10, 10)) << c.dump(kLegend);

    EmfWriter l = ptest::pixelWriter(10, 10);
    l.polyline({{1, 1}, {8, 1}, {8, 8}});
    Canvas d(10, 10);
    d.play(l.bytes());
    EXPECT_TRUE(d.painted(1, 1));
    EXPECT_TRUE(d.painted(8, 7));
    EXPECT_FALSE(d.painted(8, 8)) << d.dump(kLegend);  // the last point is left out
    EXPECT_FALSE(d.painted(1, 2));                   // not closed
}

TEST(Lines, MoveLineToLeavesOutEndAndStepsLikeBresenham) {
    EmfWriter w = ptest::pixelWriter(12, 8);
    w.moveTo(1, 1).lineTo(9, 5);  // slope 1/2
    Canvas c(12, 8);
    c.play(w.bytes());
    const std::string msg = c.dump(kLegend);
    EXPECT_EQ(c.count(word(0)), 8) << msg;
    EXPECT_TRUE(c.painted(1, 1)) << msg;
    EXPECT_TRUE(c.painted(8, 5) || c.painted(8, 4)) << msg;
    EXPECT_FALSE(c.painted(9, 5)) << msg;
    // One pixel per column, rows never going back.
    int lastRow = 0;
    for (int x = 1; x <= 8; ++x) {
        int rows = 0, row = -1;
        for (int y = 0; y < 8; ++y)
            if (c.painted(x, y)) ++rows, row = y;
        EXPECT_EQ(rows, 1) << x << msg;
        EXPECT_GE(row, lastRow);
        lastRow = row;
    }
}

TEST(Lines, ExactTiesFollowOctantBias) {
    // Half-way ties round down going right and down (octant 1) but up when
    // the same line is drawn right to left (octant 5).
    EmfWriter w = ptest::pixelWriter(10, 10);
    w.moveTo(0, 0).lineTo(4, 2);
    w.moveTo(4, 7).lineTo(0, 5);
    Canvas c(10, 10);
    c.play(w.bytes());
    const std::string msg = c.dump(kLegend);
    EXPECT_TRUE(c.painted(1, 0)) << msg;
    EXPECT_TRUE(c.painted(3, 1)) << msg;
    EXPECT_TRUE(c.painted(3, 6)) << msg;
    EXPECT_TRUE(c.painted(1, 5)) << msg;
}

TEST(Pens, WidePenCoversItsWidthCosmeticPenOnePixel) {
    EmfWriter w = ptest::pixelWriter(20, 20);
    w.createPen(1, 0, 5, kRed).select(1).moveTo(3, 5).lineTo(16, 5);
    w.createPen(2, 0, 1, kBlue).select(2).moveTo(3, 15).lineTo(16, 15);
    Canvas c(20, 20);
    c.play(w.bytes());
    const std::string msg = c.dump(kLegend);
    for (int y = 3; y <= 7; ++y) EXPECT_EQ(c.at(9, y), word(kRed)) << y << msg;
    EXPECT_FALSE(c.painted(9, 2)) << msg;
    EXPECT_FALSE(c.painted(9, 8)) << msg;
    EXPECT_TRUE(c.painted(1, 5)) << msg;   // round cap reaches past the end
    EXPECT_TRUE(c.painted(15, 15)) << msg;
    EXPECT_FALSE(c.painted(9, 14)) << msg;
    EXPECT_FALSE(c.painted(9, 16)) << msg;
}

TEST(Pens, FlatAndSquareCaps) {
    for (uint32_t cap : {0x200u, 0x100u}) {
        EmfWriter w = ptest::pixelWriter(20, 10);
        w.extCreatePen(1, 0x10000 | cap, 4, kRed).select(1).moveTo(5, 5).lineTo(15, 5);
        Canvas c(20, 10);
        c.play(w.bytes());
        const bool square = cap == 0x100;
        EXPECT_EQ(c.painted(4, 5), square) << c.dump(kLegend);
        EXPECT_EQ(c.painted(16, 5), square) << c.dump(kLegend);
        EXPECT_TRUE(c.painted(5, 5));
    }
}

TEST(Pens, CosmeticDashLeavesGapsPaintedWithBackgroundWhenOpaque) {
    for (int mode : {1, 2}) {
        EmfWriter w = ptest::pixelWriter(40, 4);
        w.createPen(1, 1, 0, kRed).select(1);  // PS_DASH: 18 on, 6 off
        w.record(EMR_SETBKMODE, {mode});
        w.record(EMR_SETBKCOLOR, {int32_t(kGreen)});
        w.moveTo(0, 1).lineTo(40, 1);
        Canvas c(40, 4);
        c.play(w.bytes());
        EXPECT_EQ(c.at(17, 1), word(kRed)) << c.dump(kLegend);
        EXPECT_EQ(c.at(18, 1), mode == 2 ? word(kGreen) : ptest::kKey) << c.dump(kLegend);
        EXPECT_EQ(c.at(24, 1), word(kRed)) << c.dump(kLegend);
    }
}

TEST(Brushes, HatchHonoursBackgroundMode) {
    for (int mode : {1, 2}) {
        EmfWriter w = ptest::pixelWriter(16, 16);
        w.select(kStockNullPen).createBrush(1, 2, kRed, 0).select(1);  // HS_HORIZONTAL
        w.record(EMR_SETBKMODE, {mode});
        w.record(EMR_SETBKCOLOR, {int32_t(kBlue)});
        w.rectangle(0, 0, 16, 16);
        Canvas c(16, 16);
        c.play(w.bytes());
        EXPECT_EQ(c.count(word(kRed)), 2 * 16) << c.dump(kLegend);
        EXPECT_EQ(c.at(5, 3), word(kRed));
        EXPECT_EQ(c.at(5, 11), word(kRed));
        EXPECT_EQ(c.at(5, 4), mode == 2 ? word(kBlue) : ptest::kKey);
    }
}

TEST(Rop2, XorKeepsTheKeyAlphaNotInvertsAllBytes) {
    EmfWriter w = ptest::pixelWriter(8, 4);
    w.select(kStockNullPen).createBrush(1, 0, rgb(0x10, 0x20, 0x30)).select(1);
    w.record(EMR_SETROP2, {7});  // R2_XORPEN
    w.rectangle(0, 0, 4, 4);
    w.record(EMR_SETROP2, {6});  // R2_NOT
    w.rectangle(4, 0, 8, 4);
    Canvas c(8, 4);
    c.play(w.bytes());
    EXPECT_EQ(c.at(0, 0), ptest::kKey ^ 0x00102030u);
    EXPECT_EQ(c.at(5, 0), ~ptest::kKey);
}

TEST(Objects, StockAndDeletedObjectsFollowTheTableRules) {
    EmfWriter w = ptest::pixelWriter(10, 10);
    w.createBrush(1, 0, kRed).select(1).select(kStockNullPen);
    w.record(EMR_DELETEOBJECT, {1});  // still selected: keeps drawing red
    w.rectangle(0, 0, 5, 5);
    w.select(1);                      // deleted index: ignored
    w.select(77);                     // past the table: ignored
    w.select(0x80000000u | 99);       // no such stock object
    w.rectangle(5, 5, 10, 10);
    Canvas c(10, 10);
    c.play(w.bytes());
    EXPECT_EQ(c.at(2, 2), word(kRed));
    EXPECT_EQ(c.at(7, 7), word(kRed));
}

}  // namespace
