// Clipping in device space, paths and regions.
#include <gtest/gtest.h>

#include "canvas.h"

using namespace vtest;
using ptest::Canvas;
using ptest::word;

namespace {

EmfWriter blackFill(int w, int h) {
    EmfWriter e = ptest::pixelWriter(w, h);
    e.select(kStockNullPen).select(kStockBlackBrush);
    return e;
}

TEST(Clip, IntersectAndExcludeRects) {
    EmfWriter w = blackFill(20, 20);
    w.record(EMR_INTERSECTCLIPRECT, {2, 2, 12, 12});
    w.record(EMR_EXCLUDECLIPRECT, {4, 4, 6, 6});
    w.rectangle(0, 0, 20, 20);
    Canvas c(20, 20);
    c.play(w.bytes());
    EXPECT_EQ(c.count(word(0)), 100 - 4) << c.dump({});
    EXPECT_TRUE(c.painted(2, 2));
    EXPECT_TRUE(c.painted(11, 11));
    EXPECT_FALSE(c.painted(12, 11));
    EXPECT_FALSE(c.painted(4, 4));
    EXPECT_TRUE(c.painted(6, 6));
}

TEST(Clip, ClipRectsAreTransformedToDevice) {
    EmfWriter w = blackFill(10, 10);
    w.worldTransform(2, 0, 0, 2, 0, 0);
    w.record(EMR_INTERSECTCLIPRECT, {1, 1, 3, 3});  // device 2..6
    w.record(EMR_OFFSETCLIPRGN, {1, 0});            // device +2
    w.rectangle(0, 0, 10, 10);
    Canvas c(20, 20);
    c.play(w.bytes(), RECT{0, 0, 10, 10});
    EXPECT_EQ(c.count(word(0)), 16) << c.dump({});
    EXPECT_TRUE(c.painted(4, 2));
    EXPECT_FALSE(c.painted(3, 2));
    EXPECT_TRUE(c.painted(7, 5));
}

TEST(Clip, ExtSelectClipRgnModesAndReset) {
    EmfWriter w = blackFill(20, 10);
    w.selectClipRects(5, {{0, 0, 4, 10}});        // RGN_COPY
    w.selectClipRects(2, {{10, 0, 12, 10}});      // RGN_OR
    w.rectangle(0, 0, 20, 5);
    w.selectClipRects(5, {});                     // no data: back to no clip
    w.rectangle(0, 5, 20, 10);
    Canvas c(20, 10);
    c.play(w.bytes());
    EXPECT_EQ(c.count(word(0)), 6 * 5 + 20 * 5) << c.dump({});
    EXPECT_FALSE(c.painted(5, 2));
    EXPECT_TRUE(c.painted(11, 2));
}

TEST(Clip, MetaRegionStaysAfterClipReset) {
    EmfWriter w = blackFill(20, 10);
    w.record(EMR_INTERSECTCLIPRECT, {0, 0, 10, 10});
    w.record(EMR_SETMETARGN, {});
    w.selectClipRects(5, {});  // resets the clip, not the meta region
    w.rectangle(0, 0, 20, 10);
    Canvas c(20, 10);
    c.play(w.bytes());
    EXPECT_EQ(c.count(word(0)), 100) << c.dump({});
}

TEST(Paths, FillPathAndSelectClipPath) {
    EmfWriter w = blackFill(20, 20);
    w.record(EMR_BEGINPATH, {});
    w.moveTo(2, 2).lineTo(10, 2).lineTo(10, 10);
    w.record(EMR_CLOSEFIGURE, {});
    w.record(EMR_ENDPATH, {});
    w.record(EMR_FILLPATH, {0, 0, 0, 0});
    Canvas c(20, 20);
    c.play(w.bytes());
    EXPECT_TRUE(c.painted(9, 3));
    EXPECT_FALSE(c.painted(3, 9)) << c.dump({});
    EXPECT_FALSE(c.painted(12, 3));

    EmfWriter k = blackFill(20, 20);
    k.record(EMR_BEGINPATH, {});
    k.rectangle(5, 5, 15, 15);
    k.record(EMR_ENDPATH, {});
    k.record(EMR_SELECTCLIPPATH, {5});
    k.rectangle(0, 0, 20, 20);
    Canvas d(20, 20);
    d.play(k.bytes());
    EXPECT_TRUE(d.painted(5, 5));
    EXPECT_FALSE(d.painted(4, 10));
    EXPECT_FALSE(d.painted(16, 10)) << d.dump({});
}

TEST(Paths, DrawingInsideAPathPaintsNothingUntilStroked) {
    EmfWriter w = ptest::pixelWriter(20, 20);
    w.record(EMR_BEGINPATH, {});
    w.moveTo(2, 2).lineTo(15, 2);
    w.rectangle(3, 5, 10, 10);
    w.record(EMR_ENDPATH, {});
    Canvas c(20, 20);
    c.play(w.bytes());
    EXPECT_EQ(c.count(ptest::kKey), 400);
    w.record(EMR_STROKEPATH, {0, 0, 0, 0});
    Canvas d(20, 20);
    d.play(w.bytes());
    EXPECT_TRUE(d.painted(5, 2));
    EXPECT_TRUE(d.painted(3, 7));
    EXPECT_FALSE(d.painted(6, 7)) << d.dump({});
}

}  // namespace
