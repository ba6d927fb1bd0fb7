// Blits: raster operations on all 32 bits of a pixel, the stretcher and its
// modes, mirroring, the source origin of bottom-up DIBs, pattern blits with
// the brush origin, and the records built on them (BITBLT, STRETCHBLT,
// SETDIBITSTODEVICE, MASKBLT, PLGBLT, ALPHABLEND, TRANSPARENTBLT).
#include <gtest/gtest.h>

#include "bitmap_records.h"
#include "gdi/image/rop.h"

using namespace btest;
using ptest::Canvas;
using ptest::kKey;
using ptest::word;

namespace {

const uint32_t kRed = 0x00FF0000, kGreen = 0x0000FF00, kBlue = 0x000000FF;

// A solid brush of `colorref` selected as object 1.
void solidBrush(vtest::EmfWriter &w, uint32_t colorref) { w.createBrush(1, 0, colorref).select(1); }

TEST(BitmapRop, ShortcutsAgreeWithTheTruthTable) {
    const uint32_t words[] = {0, 0xFFFFFFFF, 0x00336699, 0x7F00FF00, 0xA5A5A5A5, 0x12345678};
    for (int code = 0; code < 256; ++code)
        for (uint32_t d : words)
            for (uint32_t s : words)
                for (uint32_t p : words)
                    ASSERT_EQ(vellora::gdi::rop3(uint8_t(code), d, s, p),
                              vellora::gdi::rop3FromTable(uint8_t(code), d, s, p))
                        << std::hex << "code " << code << " d " << d << " s " << s << " p " << p;
}

TEST(BitmapRop, SourceOperationsCombineAllThirtyTwoBits) {
    // The untouched canvas word is kKey (alpha 0x7F); a 24-bit source has
    // alpha 0, so each operation's alpha byte shows how it combined.
    const uint32_t s = 0x00336699;
    const Dib d = dib24(1, {s});
    const struct {
        uint32_t rop, want;
    } cases[] = {
        {kCopy, s},
        {kPaint, kKey | s},
        {kAnd, kKey & s},
        {kInvert, kKey ^ s},
        {kNotCopy, ~s},
        {0x00440328 /* SRCERASE */, s & ~kKey},
        {0x00BB0226 /* MERGEPAINT */, kKey | ~s},
        {0x001100A6 /* NOTSRCERASE */, ~(kKey | s)},
    };
    int i = 0;
    vtest::EmfWriter w = ptest::pixelWriter(8, 1);
    for (const auto &c : cases) bitBlt(w, i++, 0, 1, 1, c.rop, &d);
    Canvas canvas(8, 1);
    ASSERT_TRUE(canvas.play(w.bytes()));
    i = 0;
    for (const auto &c : cases) EXPECT_EQ(canvas.at(i++, 0), c.want) << std::hex << "rop " << c.rop;
}

TEST(BitmapRop, PatternOperationsUseTheBrush) {
    const uint32_t s = 0x00336699, p = word(vtest::rgb(0x0F, 0xF0, 0x55));
    const Dib d = dib24(1, {s});
    vtest::EmfWriter w = ptest::pixelWriter(6, 1);
    solidBrush(w, vtest::rgb(0x0F, 0xF0, 0x55));
    bitBlt(w, 0, 0, 1, 1, kMergeCopy, &d);
    bitBlt(w, 1, 0, 1, 1, kPatCopy);
    bitBlt(w, 2, 0, 1, 1, kPatInvert);
    bitBlt(w, 3, 0, 1, 1, 0x00B8074A, &d);  // ternary: P ^ (S & (D ^ P))
    bitBlt(w, 4, 0, 1, 1, 0x00E20746, &d);  // ternary: D ^ (S & (P ^ D))
    Canvas c(6, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), s & p);
    EXPECT_EQ(c.at(1, 0), p);
    EXPECT_EQ(c.at(2, 0), kKey ^ p);
    EXPECT_EQ(c.at(3, 0), p ^ (s & (kKey ^ p)));
    EXPECT_EQ(c.at(4, 0), kKey ^ (s & (p ^ kKey)));
    EXPECT_EQ(c.at(5, 0), kKey);
}

TEST(BitmapRop, DestinationOnlyOperationsFlipOrSetTheAlphaByte) {
    vtest::EmfWriter w = ptest::pixelWriter(4, 1);
    bitBlt(w, 0, 0, 1, 1, kDstInvert);
    bitBlt(w, 1, 0, 1, 1, kBlack);
    bitBlt(w, 2, 0, 1, 1, kWhite);
    bitBlt(w, 3, 0, 1, 1, 0x00AA0029);  // D: nothing changes
    Canvas c(4, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), ~kKey);
    EXPECT_EQ(c.at(1, 0), 0u);
    EXPECT_EQ(c.at(2, 0), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(3, 0), kKey);
}

TEST(BitmapRop, ThirtyTwoBitSourceBringsItsAlphaThroughTheOperation) {
    const uint32_t s = 0x80336699;
    const Dib d = dib32(1, {s});
    vtest::EmfWriter w = ptest::pixelWriter(2, 1);
    bitBlt(w, 0, 0, 1, 1, kCopy, &d);
    bitBlt(w, 1, 0, 1, 1, kInvert, &d);
    Canvas c(2, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), s);
    EXPECT_EQ(c.at(1, 0), kKey ^ s);
}

TEST(BitmapPatBlt, HatchAndPatternFollowTheBrushOrigin) {
    // A vertical hatch paints column 4 of every 8 from the brush origin.
    vtest::EmfWriter w = ptest::pixelWriter(16, 2);
    w.createBrush(1, 2, vtest::rgb(255, 0, 0), 1).select(1);
    w.record(kSetBkMode, {1});  // transparent: the gaps stay
    bitBlt(w, 0, 0, 16, 1, kPatCopy);
    w.record(kSetBrushOrg, {2, 0});
    bitBlt(w, 0, 1, 16, 1, kPatCopy);
    Canvas c(16, 2);
    ASSERT_TRUE(c.play(w.bytes()));
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(c.at(x, 0) == kRed, x % 8 == 4) << x;
        EXPECT_EQ(c.at(x, 1) == kRed, x % 8 == 6) << x;
    }
}

TEST(BitmapStretch, EnlargingRepeatsEachSourcePixel) {
    const Dib d = dib24(2, {kRed, kGreen, kBlue, 0x00FFFFFF});
    vtest::EmfWriter w = ptest::pixelWriter(6, 4);
    stretchDIBits(w, 0, 0, 6, 4, 0, 0, 2, 2, d);
    Canvas c(6, 4);
    ASSERT_TRUE(c.play(w.bytes()));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const uint32_t want = y < 2 ? (x < 3 ? kRed : kGreen) : (x < 3 ? kBlue : 0x00FFFFFFu);
            EXPECT_EQ(c.at(x, y), want) << x << "," << y;
        }
}

TEST(BitmapStretch, EnlargingByThreeHalvesSamplesPixelCentres) {
    // Destination pixel i takes source pixel ceil((2i + 1) * 2 / 6) - 1:
    // 0, 0, 1 ... the middle pixel goes to the lower source pixel on a tie.
    const Dib d = dib24(2, {kRed, kGreen});
    vtest::EmfWriter w = ptest::pixelWriter(3, 1);
    stretchDIBits(w, 0, 0, 3, 1, 0, 0, 2, 1, d);
    Canvas c(3, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), kRed);
    EXPECT_EQ(c.at(1, 0), kRed);
    EXPECT_EQ(c.at(2, 0), kGreen);
}

// Shrinks the 4 x 2 source to 2 x 1 in `mode`.
Canvas shrink(int mode) {
    const Dib d = dib24(4, {0x00F0F0F0, 0x00FF00F0, 0x00FF0000, 0x0000FF00,  //
                            0x00F0FFF0, 0x00F000F0, 0x000000FF, 0x00FFFFFF});
    vtest::EmfWriter w = ptest::pixelWriter(2, 1);
    w.record(kSetStretchMode, {mode});
    stretchDIBits(w, 0, 0, 2, 1, 0, 0, 4, 2, d);
    Canvas c(2, 1);
    c.play(w.bytes());
    return c;
}

TEST(BitmapStretch, ShrinkingCombinesRowsAndColumnsByTheStretchMode) {
    // BLACKONWHITE ands the group of source pixels, WHITEONBLACK ors it.
    Canvas a = shrink(1);
    EXPECT_EQ(a.at(0, 0), 0x00F000F0u);
    EXPECT_EQ(a.at(1, 0), 0u);
    Canvas o = shrink(2);
    EXPECT_EQ(o.at(0, 0), 0x00FFFFF0u);
    EXPECT_EQ(o.at(1, 0), 0x00FFFFFFu);
}

TEST(BitmapStretch, ColorOnColorKeepsTheFirstRowAndLastColumnOfAGroup) {
    Canvas c = shrink(3);
    EXPECT_EQ(c.at(0, 0), 0x00FF00F0u);
    EXPECT_EQ(c.at(1, 0), 0x0000FF00u);
}

TEST(BitmapStretch, HalftoneInterpolatesBetweenSourcePixels) {
    // Doubling 2 pixels: destination i samples source i / 2, so pixel 1 is
    // half-way between both colours; the last clamps to the edge.
    const Dib d = dib24(2, {0x00000000, 0x00C8C8C8});
    vtest::EmfWriter w = ptest::pixelWriter(4, 1);
    w.record(kSetStretchMode, {4});
    stretchDIBits(w, 0, 0, 4, 1, 0, 0, 2, 1, d);
    Canvas c(4, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), 0u);
    EXPECT_EQ(c.at(1, 0), 0x00646464u);
    EXPECT_EQ(c.at(2, 0), 0x00C8C8C8u);
    EXPECT_EQ(c.at(3, 0), 0x00C8C8C8u);
}

TEST(BitmapStretch, NegativeDestinationWidthMirrors) {
    // Extent -3 from x = 3 covers pixels 3, 2, 1 in that order.
    const Dib d = dib24(3, {kRed, kGreen, kBlue});
    vtest::EmfWriter w = ptest::pixelWriter(5, 1);
    stretchDIBits(w, 3, 0, -3, 1, 0, 0, 3, 1, d);
    Canvas c(5, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), kKey);
    EXPECT_EQ(c.at(1, 0), kBlue);
    EXPECT_EQ(c.at(2, 0), kGreen);
    EXPECT_EQ(c.at(3, 0), kRed);
    EXPECT_EQ(c.at(4, 0), kKey);
}

TEST(BitmapStretch, FlippingMappingMirrorsTheBitmap) {
    // x' = 4 - x: the logical rectangle 0..3 lands on device pixels 4, 3, 2,
    // the source's first pixel at 4.
    const Dib d = dib24(3, {kRed, kGreen, kBlue});
    vtest::EmfWriter w = ptest::pixelWriter(6, 1);
    w.record(kSetMapMode, {8});
    w.record(kSetWindowExt, {1, 1});
    w.record(kSetViewportExt, {-1, 1});
    w.record(kSetViewportOrg, {4, 0});
    stretchDIBits(w, 0, 0, 3, 1, 0, 0, 3, 1, d);
    Canvas c(6, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(1, 0), kKey);
    EXPECT_EQ(c.at(2, 0), kBlue);
    EXPECT_EQ(c.at(3, 0), kGreen);
    EXPECT_EQ(c.at(4, 0), kRed);
    EXPECT_EQ(c.at(5, 0), kKey);
}

TEST(BitmapStretch, BottomUpSourceRectangleCountsFromTheBottom) {
    // Rows top to bottom: red, green, blue. ySrc = 0, height 1 of a
    // bottom-up DIB is its bottom row; a top-down DIB copied unscaled from
    // its origin takes its top row.
    const Dib up = dib24(1, {kRed, kGreen, kBlue});
    const Dib down = dib24(1, {kRed, kGreen, kBlue}, true);
    vtest::EmfWriter w = ptest::pixelWriter(3, 1);
    stretchDIBits(w, 0, 0, 1, 1, 0, 0, 1, 1, up);
    stretchDIBits(w, 1, 0, 1, 1, 0, 1, 1, 1, up);
    stretchDIBits(w, 2, 0, 1, 1, 0, 0, 1, 1, down);
    Canvas c(3, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), kBlue);
    EXPECT_EQ(c.at(1, 0), kGreen);
    EXPECT_EQ(c.at(2, 0), kRed);
}

TEST(BitmapStretch, StretchBltSourceIsTopDown) {
    // A device bitmap counts rows from the top whatever the DIB's order.
    const Dib d = dib24(1, {kRed, kGreen, kBlue});
    vtest::EmfWriter w = ptest::pixelWriter(2, 2);
    stretchBlt(w, 0, 0, 1, 2, d, 0, 1, 1, 2);
    bitBlt(w, 1, 0, 1, 1, kCopy, &d, 0, 0);
    Canvas c(2, 2);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), kGreen);
    EXPECT_EQ(c.at(0, 1), kBlue);
    EXPECT_EQ(c.at(1, 0), kRed);
    EXPECT_EQ(c.at(1, 1), kKey);
}

TEST(BitmapStretch, SourceRectanglePastTheBitmapDrawsOnlyWhatExists) {
    const Dib d = dib24(2, {kRed, kGreen});
    vtest::EmfWriter w = ptest::pixelWriter(4, 1);
    bitBlt(w, 0, 0, 4, 1, kCopy, &d, -1, 0);
    Canvas c(4, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), kKey);
    EXPECT_EQ(c.at(1, 0), kRed);
    EXPECT_EQ(c.at(2, 0), kGreen);
    EXPECT_EQ(c.at(3, 0), kKey);
}

TEST(BitmapSetDIBits, BandOfScanLinesDrawsUnscaled) {
    // A 1 x 4 DIB sent as the band of scan lines 1 and 2 (from the bottom):
    // the band's bits hold those rows, bottom first.
    Dib d = dib24(1, {kGreen, kBlue});
    set32(d.info, 8, 4);  // the whole DIB is 4 rows high
    vtest::EmfWriter w = ptest::pixelWriter(3, 4);
    w.record(kSetMapMode, {8});  // anisotropic, scaled by 2: no effect on the blit size
    w.record(kSetWindowExt, {1, 1});
    w.record(kSetViewportExt, {2, 2});
    setDIBitsToDevice(w, 0, 0, 0, 0, 1, 4, 1, 2, d);
    Canvas c(3, 4);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), kKey);
    EXPECT_EQ(c.at(0, 1), kGreen);
    EXPECT_EQ(c.at(0, 2), kBlue);
    EXPECT_EQ(c.at(0, 3), kKey);
    EXPECT_EQ(c.at(1, 1), kKey);
}

TEST(BitmapMaskBlt, MaskChoosesForegroundOrBackgroundOperation) {
    // Mask white (1): SRCCOPY; black (0): the destination stays (0xAA).
    const Dib src = dib24(4, {kRed, kGreen, kBlue, kRed});
    const Dib mask = dibIndexed(4, 1, {1, 0, 1, 0}, {0x000000, 0xFFFFFF});
    vtest::EmfWriter w = ptest::pixelWriter(4, 1);
    maskBlt(w, 0, 0, 4, 1, 0xAACC0020, src, mask);
    Canvas c(4, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), kRed);
    EXPECT_EQ(c.at(1, 0), kKey);
    EXPECT_EQ(c.at(2, 0), kBlue);
    EXPECT_EQ(c.at(3, 0), kKey);
}

TEST(BitmapAlphaBlend, ConstantAlphaMixesEveryChannel) {
    // (s * 128 + d * 127 + 127) / 255 per byte; a source without an alpha
    // byte counts as opaque in the alpha byte.
    const Dib d = dib24(1, {0x00FF0000});
    vtest::EmfWriter w = ptest::pixelWriter(1, 1);
    blendBlt(w, kAlphaBlend, 0, 0, 1, 1, d, 0, 0, 1, 1, blendFunction(128, false));
    Canvas c(1, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    auto mix = [](uint32_t s, uint32_t dst) { return (s * 128 + dst * 127 + 127) / 255; };
    const uint32_t want = mix(255, 0x7F) << 24 | mix(0xFF, 0x12) << 16 | mix(0, 0x34) << 8 | mix(0, 0x56);
    EXPECT_EQ(c.at(0, 0), want);
}

TEST(BitmapAlphaBlend, PerPixelAlphaIsPremultipliedSourceOver) {
    // Premultiplied half-transparent red: d * (255 - 128) / 255 + s.
    const Dib d = dib32(1, {0x80800000});
    vtest::EmfWriter w = ptest::pixelWriter(2, 1);
    blendBlt(w, kAlphaBlend, 0, 0, 1, 1, d, 0, 0, 1, 1, blendFunction(255, true));
    // A source rectangle reaching past the bitmap is refused.
    blendBlt(w, kAlphaBlend, 1, 0, 1, 1, d, 0, 0, 2, 1, blendFunction(255, true));
    Canvas c(2, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    auto over = [](uint32_t s, uint32_t dst) { return s + (dst * 127 + 127) / 255; };
    const uint32_t want = over(0x80, 0x7F) << 24 | over(0x80, 0x12) << 16 | over(0, 0x34) << 8 | over(0, 0x56);
    EXPECT_EQ(c.at(0, 0), want);
    EXPECT_EQ(c.at(1, 0), kKey);
}

TEST(BitmapPlgBlt, ParallelogramTurnsTheSourceAQuarter) {
    // Upper-left -> (0, 3), upper-right -> (0, 0), lower-left -> (2, 3):
    // the source's rows become columns, read upwards.
    const Dib d = dib24(3, {kRed, kGreen, kBlue, kRed, kGreen, kBlue}, true);
    vtest::EmfWriter w = ptest::pixelWriter(2, 3);
    plgBlt(w, {{0, 3}, {0, 0}, {2, 3}}, 0, 0, 3, 2, d);
    Canvas c(2, 3);
    ASSERT_TRUE(c.play(w.bytes()));
    for (int x = 0; x < 2; ++x) {
        EXPECT_EQ(c.at(x, 2), kRed) << x;
        EXPECT_EQ(c.at(x, 1), kGreen) << x;
        EXPECT_EQ(c.at(x, 0), kBlue) << x;
    }
}

TEST(BitmapTransparentBlt, TransparentColourLeavesTheDestination) {
    const Dib d = dib24(3, {kRed, 0x00010203, kBlue});
    vtest::EmfWriter w = ptest::pixelWriter(3, 1);
    blendBlt(w, kTransparentBlt, 0, 0, 3, 1, d, 0, 0, 3, 1, vtest::rgb(1, 2, 3));
    Canvas c(3, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), kRed);
    EXPECT_EQ(c.at(1, 0), kKey);
    EXPECT_EQ(c.at(2, 0), kBlue);
}

TEST(BitmapTransform, RotatedWorldTransformTurnsTheBitmap) {
    // A quarter turn (x' = -y, y' = x) moved 2 right: the 2 x 1 source
    // becomes a column, its first pixel on top.
    const Dib d = dib24(2, {kRed, kGreen});
    vtest::EmfWriter w = ptest::pixelWriter(3, 3);
    w.worldTransform(0, 1, -1, 0, 2, 0);
    stretchDIBits(w, 0, 0, 2, 1, 0, 0, 2, 1, d);
    Canvas c(3, 3);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(1, 0), kRed);
    EXPECT_EQ(c.at(1, 1), kGreen);
    EXPECT_EQ(c.count(kRed) + c.count(kGreen), 2);
}

}  // namespace
