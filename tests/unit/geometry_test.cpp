// Crop window, playback rectangle, format recognition and aspect fitting.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "api/geometry.h"

using namespace vellora;

namespace {
RECT play(double x0, double y0, double x1, double y1, int32_t w, int32_t h) {
    RECT r{};
    EXPECT_TRUE(playbackRect(normaliseCrop(x0, y0, x1, y1), w, h, &r));
    return r;
}
void expectRect(const RECT &r, int32_t l, int32_t t, int32_t rr, int32_t b) {
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rr);
    EXPECT_EQ(r.bottom, b);
}
}  // namespace

TEST(CropWindow, NormalisationOrdersAndClampsOnlyTheOuterBounds) {
    CropWindow c = normaliseCrop(1, 1, 0, 0);
    EXPECT_EQ(c.x0, 0);
    EXPECT_EQ(c.x1, 1);
    c = normaliseCrop(-0.5, -2, 1.5, 3);
    EXPECT_EQ(c.x0, 0);
    EXPECT_EQ(c.y0, 0);
    EXPECT_EQ(c.x1, 1);
    EXPECT_EQ(c.y1, 1);
    // A pair wholly above 1 stays reversed after clamping.
    c = normaliseCrop(1.5, 0, 2.0, 1);
    EXPECT_EQ(c.x0, 1.5);
    EXPECT_EQ(c.x1, 1.0);
    // NaN passes through untouched.
    c = normaliseCrop(std::nan(""), 0, 1, 1);
    EXPECT_TRUE(std::isnan(c.x0));
}

TEST(PlaybackRect, FollowsTheCropWindow) {
    expectRect(play(0, 0, 1, 1, 100, 50), 1, 0, 201, 100);
    expectRect(play(0, 0, 1, 1, 1, 1), 1, 0, 3, 2);
    expectRect(play(1, 1, 0, 0, 7, 9), 1, 0, 15, 18);
    expectRect(play(-0.5, -0.5, 1.5, 1.5, 7, 9), 1, 0, 15, 18);
    const int32_t w = 40, h = 30;
    expectRect(play(0.25, 0.25, 0.75, 0.75, w, h), 1 - w, -h, 1 + 3 * w, 3 * h);
    // The right half stretched over the whole target.
    expectRect(play(0.5, 0, 1, 1, 10, 10), 1 - 20, 0, 21, 20);
}

TEST(PlaybackRect, RefusesWindowsWithoutExtentOrFiniteValues) {
    RECT r;
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(playbackRect(normaliseCrop(0.5, 0, 0.5, 1), 10, 10, &r));
    EXPECT_FALSE(playbackRect(normaliseCrop(0, 0.3, 1, 0.3), 10, 10, &r));
    EXPECT_FALSE(playbackRect(normaliseCrop(std::nan(""), 0, 1, 1), 10, 10, &r));
    // Wholly beyond the picture: still reversed after clamping.
    EXPECT_FALSE(playbackRect(normaliseCrop(1.5, 0, 2, 1), 10, 10, &r));
    EXPECT_FALSE(playbackRect(normaliseCrop(0, -2, 1, -1), 10, 10, &r));
    // An infinite bound is clamped away here; the export refuses it earlier.
    EXPECT_TRUE(playbackRect(normaliseCrop(0, 0, inf, 1), 10, 10, &r));
    // Far too small a window would need coordinates the player cannot reach.
    EXPECT_FALSE(playbackRect(normaliseCrop(0.5, 0.5, 0.5 + 1e-12, 1), 1000, 1000, &r));
}

TEST(Format, RecognisedByKeyThenSignature) {
    uint8_t data[64] = {};
    EXPECT_EQ(recogniseFormat(data, sizeof data), MetafileFormat::Windows);
    data[40] = ' ', data[41] = 'E', data[42] = 'M', data[43] = 'F';
    EXPECT_EQ(recogniseFormat(data, sizeof data), MetafileFormat::Enhanced);
    data[0] = 0xD7, data[1] = 0xCD, data[2] = 0xC6, data[3] = 0x9A;
    // The placeable key wins whatever bytes 40 to 43 hold.
    EXPECT_EQ(recogniseFormat(data, sizeof data), MetafileFormat::Placeable);
    // Short data is never read past its end: the signature at 40 needs 44 bytes.
    data[0] = 0;
    EXPECT_EQ(recogniseFormat(data, 43), MetafileFormat::Windows);
    EXPECT_EQ(recogniseFormat(data, 0), MetafileFormat::Windows);
}

TEST(Aspect, FittingKeepsTopLeftAndStaysInside) {
    // Placeable box 2000 x 1000 into a square.
    RECT r = fitToAspect(RECT{0, 0, 399, 399}, aspectRatio(0, 0, 2000, 1000));
    expectRect(r, 0, 0, 399, 199);
    // Ratio 0.5 that fits exactly leaves the rectangle as it is.
    r = fitToAspect(RECT{10, 20, 110, 220}, 0.5f);
    expectRect(r, 10, 20, 110, 220);
    // Exactly 1.0 takes the height branch.
    r = fitToAspect(RECT{0, 0, 100, 50}, 1.0f);
    expectRect(r, 0, 0, 50, 50);
    // The ratio is held as a float: 1000/3000 rounds up, so 899 not 900.
    const float a = aspectRatio(0, 0, 1000, 3000);
    EXPECT_FLOAT_EQ(a, 0.3333333433f);
    r = fitToAspect(RECT{0, 0, 300, 2000}, a);
    expectRect(r, 0, 0, 300, 899);
}

TEST(Aspect, DegenerateFramesDrawUnfitted) {
    const RECT in{5, 6, 105, 56};
    for (float a : {aspectRatio(0, 0, 0, 100), aspectRatio(0, 0, 100, 0),
                    aspectRatio(0, 0, 0, 0), aspectRatio(0, 0, -100, 50)}) {
        RECT r = fitToAspect(in, a);
        expectRect(r, 5, 6, 105, 56);
    }
}
