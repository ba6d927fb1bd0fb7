// Key pass, border, resampler figures and the compositor's arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "pipeline/capture.h"
#include "pipeline/resample.h"
#include "platform/native/compositor.h"

using namespace vellora;

namespace {

struct Bitmap {
    int32_t W, H;
    std::vector<uint8_t> mem;
    Bitmap(int32_t w, int32_t h) : W(w), H(h), mem(size_t(w) * h * 4, 0) {}
    // Top-down addressing over bottom-up memory, as the pipeline sees it.
    uint8_t *px(int32_t x, int32_t y) { return &mem[(size_t(H - 1 - y) * W + x) * 4]; }
    void set(int32_t x, int32_t y, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
        uint8_t *p = px(x, y);
        p[0] = b, p[1] = g, p[2] = r, p[3] = a;
    }
};

// Canvas and output of a w x h target.
struct Pair {
    int32_t w, h;
    Bitmap canvas, out;
    Pair(int32_t w_, int32_t h_)
        : w(w_), h(h_), canvas(2 * w_ + 2, 2 * h_ + 2), out(2 * w_ + 2, 2 * h_ + 2) {
        std::memset(out.mem.data(), 0xAB, out.mem.size());  // must be cleared by the resampler
    }
    void run(double angle) { resampleCanvas(canvas.mem.data(), out.mem.data(), w, h, angle); }
};

}  // namespace

TEST(KeyPass, UntouchedPixelsEndTransparentAndPaintedOnesCarryTheKey) {
    for (int key : {255, 128, 0}) {
        std::vector<uint8_t> c(4 * 6, 0x55);
        presetCanvas(c.data(), 6, uint8_t(key));
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(c[i * 4 + 0], 0);
            EXPECT_EQ(c[i * 4 + 3], key);
        }
        // "Playback" paints pixel 2 with alpha 0 and leaves the rest.
        c[8] = 10, c[9] = 20, c[10] = 30, c[11] = 0;
        applyKey(c.data(), 6, uint8_t(key));
        EXPECT_EQ(c[11], key);
        EXPECT_EQ(c[8], 10);
        EXPECT_EQ(c[10], 30);
        for (int i : {0, 1, 3, 4, 5}) EXPECT_EQ(c[i * 4 + 3], 0) << "key " << key;
    }
}

TEST(KeyPass, BorderIsClearedEvenWherePainted) {
    Bitmap b(6, 5);
    std::memset(b.mem.data(), 0xFF, b.mem.size());
    clearBorder(b.mem.data(), b.W, b.H);
    for (int32_t y = 0; y < b.H; ++y)
        for (int32_t x = 0; x < b.W; ++x) {
            const bool border = x == 0 || y == 0 || x == b.W - 1 || y == b.H - 1;
            uint32_t v;
            std::memcpy(&v, b.px(x, y), 4);
            EXPECT_EQ(v, border ? 0u : 0xFFFFFFFFu) << x << "," << y;
        }
    // The smallest canvas, 4 x 4, keeps only its 2 x 2 interior.
    Bitmap s(4, 4);
    std::memset(s.mem.data(), 0xFF, s.mem.size());
    clearBorder(s.mem.data(), 4, 4);
    int nonzero = 0;
    for (uint8_t v : s.mem) nonzero += v != 0;
    EXPECT_EQ(nonzero, 4 * 4);
}

TEST(Resampler, TransformMatchesTheRotationAboutTheCentre) {
    agg::trans_affine m = resampleTransform(100, 50, 0.0);
    EXPECT_DOUBLE_EQ(m.sx, 2);
    EXPECT_DOUBLE_EQ(m.shy, 0);
    EXPECT_DOUBLE_EQ(m.tx, 0);
    EXPECT_DOUBLE_EQ(m.ty, 0);

    m = resampleTransform(100, 50, 0.3);
    EXPECT_NEAR(m.sx, 1.910673, 1e-6);
    EXPECT_NEAR(m.shy, 0.591040, 1e-6);
    EXPECT_NEAR(m.shx, -0.591040, 1e-6);
    EXPECT_NEAR(m.sy, 1.910673, 1e-6);
    EXPECT_NEAR(m.tx, 19.242361, 1e-6);
    EXPECT_NEAR(m.ty, -27.318845, 1e-6);
    double x = 0.5, y = 0.5;
    m.transform(&x, &y);
    EXPECT_NEAR(x, 19.902178, 1e-6);
    EXPECT_NEAR(y, -26.067988, 1e-6);

    // Quarter turn of a 3 x 2 target: centre (2, 1).
    m = resampleTransform(3, 2, M_PI / 2);
    EXPECT_NEAR(m.sx, 0, 1e-12);
    EXPECT_NEAR(m.shy, 2, 1e-12);
    EXPECT_NEAR(m.shx, -2, 1e-12);
    EXPECT_NEAR(m.tx, 6, 1e-12);
    EXPECT_NEAR(m.ty, -2, 1e-12);
}

TEST(Resampler, EmptyCanvasGivesATransparentOutputBitmap) {
    Pair p(7, 5);
    p.run(0.3);
    for (uint8_t v : p.out.mem) ASSERT_EQ(v, 0);
}

TEST(Resampler, FootprintIsFourByFourWithWeightsOneThreeThreeOne) {
    // A single opaque canvas pixel: the output pixel whose footprint holds
    // it gets alpha in proportion to its weight.
    Pair p(6, 6);
    auto alphaFor = [&](int32_t cx, int32_t cy) {
        std::fill(p.canvas.mem.begin(), p.canvas.mem.end(), 0);
        p.canvas.set(cx, cy, 255, 255, 255, 255);
        p.run(0.0);
        return int(p.out.px(2, 2)[3]);  // samples canvas columns/rows 3..6
    };
    const int inner = alphaFor(4, 4);   // weight 3 x 3 of 64
    const int edge = alphaFor(3, 4);    // 1 x 3
    const int corner = alphaFor(3, 3);  // 1 x 1
    const int outside = alphaFor(7, 4); // beyond the footprint
    EXPECT_NEAR(inner, 255.0 * 9 / 64, 3);
    EXPECT_NEAR(edge, 255.0 * 3 / 64, 3);
    EXPECT_NEAR(corner, 255.0 * 1 / 64, 3);
    EXPECT_EQ(outside, 0);
    EXPECT_NEAR(alphaFor(6, 6), alphaFor(3, 3), 1);  // symmetric up to the table's rounding
}

TEST(Resampler, OpaqueInteriorKeepsColourAndHalfCoveredEdgeHalfAlpha) {
    Pair p(10, 8);
    for (int32_t y = 1; y < p.canvas.H - 1; ++y)
        for (int32_t x = 1; x < p.canvas.W - 1; ++x) p.canvas.set(x, y, 10, 200, 40, 255);
    p.run(0.0);
    const uint8_t *in = p.out.px(4, 4);
    EXPECT_EQ(in[0], 10);
    EXPECT_EQ(in[1], 200);
    EXPECT_EQ(in[2], 40);
    EXPECT_EQ(in[3], 255);
    // Output column 0 takes its two leftmost weights (1 and 3 of 8) half from
    // the border: about half alpha, written through the premultiplied blend.
    const int a = p.out.px(0, 4)[3];
    EXPECT_GT(a, 255 * 3 / 8);
    EXPECT_LT(a, 255 * 5 / 8);
    // Nothing outside the w x h block is written.
    for (int32_t y = 0; y < p.out.H; ++y)
        for (int32_t x = 0; x < p.out.W; ++x)
            if (x >= p.w || y >= p.h) {
                uint32_t v;
                std::memcpy(&v, p.out.px(x, y), 4);
                ASSERT_EQ(v, 0u) << x << "," << y;
            }
}

TEST(Resampler, PartialAlphaIsWrittenThroughTheOlderPremultipliedBlend) {
    // A uniform canvas of alpha a gives filtered alpha a, stored over the
    // cleared pixel as 255 - ((255 - a) * 255 >> 8).
    for (int a : {1, 128, 254}) {
        Pair p(4, 4);
        for (int32_t y = 0; y < p.canvas.H; ++y)
            for (int32_t x = 0; x < p.canvas.W; ++x) p.canvas.set(x, y, 0, 0, uint8_t(a), uint8_t(a));
        p.run(0.0);
        const int expected = 255 - (((255 - a) * 255) >> 8);
        EXPECT_EQ(p.out.px(2, 2)[3], expected) << a;
    }
}

TEST(Resampler, KeyBelowOpaqueLimitsColourToAlpha) {
    Pair p(4, 4);
    for (int32_t y = 1; y < p.canvas.H - 1; ++y)
        for (int32_t x = 1; x < p.canvas.W - 1; ++x) p.canvas.set(x, y, 255, 255, 255, 0x80);
    p.run(0.0);
    const uint8_t *q = p.out.px(2, 2);
    EXPECT_LE(q[0], q[3]);
    EXPECT_LE(q[2], q[3]);
    EXPECT_LE(q[3], 0x81);
}

TEST(Resampler, QuarterTurnBringsTheRightEdgeToTheTop) {
    // Paint the right half of the canvas interior; after a counterclockwise
    // quarter turn it covers the top half of the output.
    Pair p(20, 20);
    for (int32_t y = 1; y < p.canvas.H - 1; ++y)
        for (int32_t x = p.canvas.W / 2; x < p.canvas.W - 1; ++x)
            p.canvas.set(x, y, 0, 0, 255, 255);
    p.run(M_PI / 2);
    EXPECT_EQ(p.out.px(10, 3)[3], 255);
    EXPECT_EQ(p.out.px(10, 16)[3], 0);
}

TEST(Compositor, SourceOverRoundsToNearestAndSaturates) {
    using native::blendChannel;
    EXPECT_EQ(blendChannel(0, 200, 0), 200);       // transparent source
    EXPECT_EQ(blendChannel(77, 200, 255), 77);     // opaque source
    EXPECT_EQ(blendChannel(64, 255, 128), 64 + 127);  // 255*127/255
    EXPECT_EQ(blendChannel(0, 100, 128), 50);      // 100*127/255 = 49.8
    EXPECT_EQ(blendChannel(0, 3, 85), 2);          // 3*170/255 = 2.0
    EXPECT_EQ(blendChannel(255, 255, 10), 255);    // not premultiplied: saturates
    // Exhaustive: never off by more than half a level.
    for (int s = 0; s < 256; s += 5)
        for (int d = 0; d < 256; ++d) {
            const double exact = d * (255.0 - s) / 255.0;
            ASSERT_LE(std::fabs(blendChannel(0, uint8_t(d), uint8_t(s)) - exact), 0.5);
        }
}

TEST(Compositor, WideRowsBlendEveryPixelByTheChannelFormula) {
    // Rows wide enough for the vector path, with empty, opaque, partial and
    // not-premultiplied source pixels over random destinations.
    std::mt19937 rng(7);
    const int w = 259, h = 16;
    std::vector<uint8_t> s(size_t(w) * h * 4), d(s.size());
    for (size_t i = 0; i < s.size(); i += 4) {
        const int kind = int(rng() % 4);
        const uint8_t a = kind == 0 ? 0 : kind == 1 ? 255 : uint8_t(rng());
        for (int c = 0; c < 3; ++c) s[i + c] = kind == 0 ? 0 : uint8_t(rng() % (kind == 3 ? 256 : a + 1));
        s[i + 3] = a;
        for (int c = 0; c < 4; ++c) d[i + c] = uint8_t(rng());
    }
    std::vector<uint8_t> expected = d;
    for (size_t i = 0; i < s.size(); i += 4)
        for (int c = 0; c < 4; ++c) expected[i + c] = native::blendChannel(s[i + c], d[i + c], s[i + 3]);
    player::Surface dst{d.data(), w, h, w * 4}, src{s.data(), w, h, w * 4};
    ASSERT_TRUE(native::sourceOver(dst, 0, 0, src, 0, 0, w, h));
    EXPECT_EQ(d, expected);
}

TEST(Compositor, BlockIsClippedToTheDestinationAndSourceMustLieInside) {
    std::vector<uint8_t> d(4 * 4 * 4, 0x10), s(4 * 2 * 2, 0);
    for (int i = 0; i < 4; ++i) s[i * 4 + 0] = 0xFF, s[i * 4 + 3] = 0xFF;
    player::Surface dst{d.data(), 4, 4, 16}, src{s.data(), 2, 2, 8};
    EXPECT_TRUE(native::sourceOver(dst, 3, 3, src, 0, 0, 2, 2));
    EXPECT_EQ(d[(3 * 4 + 3) * 4 + 0], 0xFF);
    EXPECT_EQ(d[(2 * 4 + 2) * 4 + 0], 0x10);
    EXPECT_TRUE(native::sourceOver(dst, -1, -1, src, 0, 0, 2, 2));
    EXPECT_EQ(d[0], 0xFF);
    EXPECT_FALSE(native::sourceOver(dst, 0, 0, src, 1, 0, 2, 2));
    EXPECT_FALSE(native::sourceOver(dst, 0, 0, src, 0, -1, 1, 1));
}
