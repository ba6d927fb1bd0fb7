// The header, the frame-to-rectangle mapping, map modes, world transforms
// and the SaveDC stack.
#include <gtest/gtest.h>

#include "canvas.h"

using namespace vtest;
using ptest::Canvas;
using ptest::word;

namespace {

const uint32_t kRed = rgb(255, 0, 0), kBlue = rgb(0, 0, 255);

// A filled red rectangle without outline.
EmfWriter &redFill(EmfWriter &w) {
    w.createBrush(1, 0, kRed).select(1).select(kStockNullPen);
    return w;
}

// The bounding box of the painted pixels: {left, top, right, bottom}
// inclusive, or {-1, ...} when nothing is painted.
std::vector<int> paintedBox(const Canvas &c) {
    std::vector<int> box{-1, -1, -1, -1};
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            if (c.painted(x, y)) {
                if (box[0] < 0 || x < box[0]) box[0] = x;
                if (box[1] < 0 || y < box[1]) box[1] = y;
                box[2] = std::max(box[2], x);
                box[3] = std::max(box[3], y);
            }
    return box;
}

TEST(EmfHeader, RecognisesWellFormedAndRefusesBroken) {
    auto bytes = EmfWriter(0, 0, 100, 100).bytes();
    EXPECT_TRUE(vellora::player::isEnhMetaFile(bytes.data(), bytes.size()));
    auto bad = bytes;
    bad[40] ^= 1;  // signature
    EXPECT_FALSE(vellora::player::isEnhMetaFile(bad.data(), bad.size()));
    bad = bytes;
    bad[48] += 2;  // nBytes not a multiple of four
    EXPECT_FALSE(vellora::player::isEnhMetaFile(bad.data(), bad.size()));
    // nBytes beyond the data: the platform refuses truncated files.
    EXPECT_FALSE(vellora::player::isEnhMetaFile(bytes.data(), bytes.size() - 4));
    EXPECT_FALSE(vellora::player::isEnhMetaFile(bytes.data(), 107));
    // A header record claiming more than the file is accepted, as the
    // platform accepts it, and plays nothing.
    bad = bytes;
    bad[4] = 0;
    bad[5] = 0;
    bad[6] = 1;
    EXPECT_TRUE(vellora::player::isEnhMetaFile(bad.data(), bad.size()));
    ptest::Canvas c(4, 4);
    EXPECT_TRUE(c.play(bad));
    EXPECT_EQ(c.count(ptest::kKey), 16);
}

TEST(PlaybackMapping, FrameEdgesLandOnRectangleEdges) {
    ENHMETAHEADER h{};
    h.rclFrame = {1000, 500, 3000, 1500};  // 20 x 10 mm
    h.szlDevice = {1000, 500};
    h.szlMillimeters = {250, 125};  // 4 px a millimetre
    const RECT rect{10, 20, 410, 220};
    const auto m = vellora::player::playbackTransform(h, rect);
    // Reference pixel of the frame's left edge: 10 mm = 40 px.
    auto p = m.apply(40, 20);
    EXPECT_DOUBLE_EQ(p.x, 10);
    EXPECT_DOUBLE_EQ(p.y, 20);
    p = m.apply(120, 60);  // right/bottom edge: 30 mm, 15 mm
    EXPECT_DOUBLE_EQ(p.x, 410);
    EXPECT_DOUBLE_EQ(p.y, 220);
}

TEST(PlaybackMapping, DegenerateFrameOrDeviceStaysFinite) {
    ENHMETAHEADER h{};
    h.rclFrame = {0, 0, 0, 100};
    auto m = vellora::player::playbackTransform(h, RECT{0, 0, 10, 10});
    EXPECT_DOUBLE_EQ(m.m11, 1);  // no frame width: device units one to one
    h.rclFrame = {0, 0, 100, 100};
    h.szlDevice = {0, -5};
    m = vellora::player::playbackTransform(h, RECT{0, 0, 10, 10});
    EXPECT_TRUE(m.finite());
}

TEST(PlaybackMapping, RectangleScalesWithPlaybackRect) {
    // A 10 x 10 logical picture drawn into a 20 x 20 rectangle at (5, 5).
    EmfWriter w = ptest::pixelWriter(10, 10);
    redFill(w).rectangle(0, 0, 10, 10);
    Canvas c(40, 40);
    ASSERT_TRUE(c.play(w.bytes(), RECT{5, 5, 25, 25}));
    EXPECT_EQ(paintedBox(c), (std::vector<int>{5, 5, 24, 24})) << c.dump({});
    EXPECT_EQ(c.at(5, 5), word(kRed));
}

TEST(MapModes, AnisotropicScalesAndMovesOrigin) {
    EmfWriter w = ptest::pixelWriter(40, 40);
    redFill(w);
    w.record(EMR_SETMAPMODE, {8});
    w.record(EMR_SETWINDOWEXTEX, {100, 100});
    w.record(EMR_SETVIEWPORTEXTEX, {50, 25});
    w.record(EMR_SETWINDOWORGEX, {10, 0});
    w.record(EMR_SETVIEWPORTORGEX, {2, 3});
    w.rectangle(10, 0, 30, 40);  // device x 2..12, y 3..13
    Canvas c(40, 40);
    c.play(w.bytes());
    EXPECT_EQ(paintedBox(c), (std::vector<int>{2, 3, 11, 12})) << c.dump({});
}

TEST(MapModes, LoMetricFlipsYAndUsesReferenceDevice) {
    // 10 px a millimetre: one LOMETRIC unit (0.1 mm) is one pixel, y up.
    EmfWriter w = ptest::pixelWriter(40, 40);
    redFill(w);
    w.record(EMR_SETMAPMODE, {2});
    w.record(EMR_SETVIEWPORTORGEX, {0, 40});
    w.rectangle(5, 10, 15, 30);  // y 10..30 up from the bottom: device 10..30
    Canvas c(40, 40);
    c.play(w.bytes());
    EXPECT_EQ(paintedBox(c), (std::vector<int>{5, 10, 14, 29})) << c.dump({});
}

TEST(MapModes, IsotropicKeepsAspectAndExtentsIgnoredInFixedModes) {
    EmfWriter w = ptest::pixelWriter(40, 40);
    redFill(w);
    w.record(EMR_SETWINDOWEXTEX, {1, 1});  // MM_TEXT: ignored
    w.record(EMR_SETMAPMODE, {7});
    w.record(EMR_SETWINDOWEXTEX, {100, 100});
    w.record(EMR_SETVIEWPORTEXTEX, {40, 20});  // x shrinks to 20 to stay square
    w.rectangle(0, 0, 100, 100);
    Canvas c(40, 40);
    c.play(w.bytes());
    EXPECT_EQ(paintedBox(c), (std::vector<int>{0, 0, 19, 19})) << c.dump({});
}

TEST(WorldTransform, SetAndModifyCompose) {
    EmfWriter w = ptest::pixelWriter(40, 40);
    redFill(w);
    w.worldTransform(2, 0, 0, 2, 0, 0);            // scale 2
    w.worldTransform(1, 0, 0, 1, 3, 1, 2);         // left-multiply: translate first
    w.rectangle(0, 0, 5, 5);                       // device (6, 2)-(16, 12)
    Canvas c(40, 40);
    c.play(w.bytes());
    EXPECT_EQ(paintedBox(c), (std::vector<int>{6, 2, 15, 11})) << c.dump({});
}

TEST(WorldTransform, SingularMatrixIgnored) {
    EmfWriter w = ptest::pixelWriter(20, 20);
    redFill(w);
    w.worldTransform(0, 0, 0, 0, 5, 5);
    w.rectangle(0, 0, 4, 4);
    Canvas c(20, 20);
    c.play(w.bytes());
    EXPECT_EQ(paintedBox(c), (std::vector<int>{0, 0, 3, 3}));
}

TEST(SaveRestore, RestoresObjectsTransformAndClip) {
    EmfWriter w = ptest::pixelWriter(30, 10);
    w.select(kStockNullPen).createBrush(1, 0, kRed).createBrush(2, 0, kBlue).select(1);
    w.record(EMR_SAVEDC, {});
    w.select(2);
    w.record(EMR_INTERSECTCLIPRECT, {0, 0, 2, 2});
    w.worldTransform(1, 0, 0, 1, 20, 0);
    w.record(EMR_SAVEDC, {});
    w.record(EMR_RESTOREDC, {-2});  // back past both saves
    w.rectangle(0, 0, 10, 10);
    Canvas c(30, 10);
    c.play(w.bytes());
    EXPECT_EQ(c.at(5, 5), word(kRed));  // first brush, no clip, no offset
    EXPECT_FALSE(c.painted(25, 5));
}

TEST(SaveRestore, InvalidLevelsChangeNothing) {
    EmfWriter w = ptest::pixelWriter(10, 10);
    w.select(kStockNullPen).createBrush(1, 0, kRed).createBrush(2, 0, kBlue).select(1);
    w.record(EMR_SAVEDC, {});
    w.select(2);
    w.record(EMR_RESTOREDC, {-5});
    w.record(EMR_RESTOREDC, {0});
    w.record(EMR_RESTOREDC, {3});
    w.rectangle(0, 0, 10, 10);
    Canvas c(10, 10);
    c.play(w.bytes());
    EXPECT_EQ(c.at(5, 5), word(kBlue));
}

}  // namespace
