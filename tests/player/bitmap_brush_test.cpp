// Pattern brushes from bitmaps: CREATEDIBPATTERNBRUSHPT keeps the bitmap's
// colours (a 32-bit one its alpha byte too), CREATEMONOBRUSH of a black and
// white bitmap paints its 0 bits in the text colour and its 1 bits in the
// background colour; both tile from the brush origin.
#include <gtest/gtest.h>

#include "bitmap_records.h"

using namespace btest;
using ptest::Canvas;
using ptest::kKey;
using ptest::word;

namespace {

const uint32_t kNullPen = 0x80000008u;

// Fills (0, 0, w, h) with pattern brush object 1, after `setup`.
template <class Setup>
Canvas fill(int w, int h, Setup &&setup) {
    vtest::EmfWriter wr = ptest::pixelWriter(w, h);
    wr.select(kNullPen);
    setup(wr);
    wr.select(1);
    wr.rectangle(0, 0, w, h);
    Canvas c(w, h);
    c.play(wr.bytes());
    return c;
}

TEST(BitmapBrush, DibPatternTilesFromTheBrushOrigin) {
    const Dib d = dib24(2, {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF});
    Canvas c = fill(4, 2, [&](vtest::EmfWriter &w) { patternBrush(w, kCreateDibPatternBrush, 1, d); });
    EXPECT_EQ(c.at(0, 0), 0x00FF0000u);
    EXPECT_EQ(c.at(3, 0), 0x0000FF00u);
    EXPECT_EQ(c.at(2, 1), 0x000000FFu);
    Canvas s = fill(4, 2, [&](vtest::EmfWriter &w) {
        patternBrush(w, kCreateDibPatternBrush, 1, d);
        w.record(kSetBrushOrg, {1, 1});
    });
    // Pattern pixel (0, 0) now lands on device pixel (1, 1).
    EXPECT_EQ(s.at(1, 1), 0x00FF0000u);
    EXPECT_EQ(s.at(0, 0), 0x00FFFFFFu);
}

TEST(BitmapBrush, ThirtyTwoBitPatternKeepsItsAlphaByte) {
    const Dib d = dib32(1, {0x80102030});
    Canvas c = fill(2, 1, [&](vtest::EmfWriter &w) { patternBrush(w, kCreateDibPatternBrush, 1, d); });
    EXPECT_EQ(c.at(0, 0), 0x80102030u);
    EXPECT_EQ(c.at(1, 0), 0x80102030u);
}

TEST(BitmapBrush, MonoBrushPaintsInTextAndBackgroundColours) {
    const Dib d = dibIndexed(2, 1, {0, 1}, {0x000000, 0xFFFFFF});
    Canvas c = fill(2, 1, [&](vtest::EmfWriter &w) {
        patternBrush(w, kCreateMonoBrush, 1, d);
        w.record(kSetTextColor, {int32_t(vtest::rgb(255, 0, 0))});
        w.record(kSetBkColor, {int32_t(vtest::rgb(0, 0, 255))});
    });
    EXPECT_EQ(c.at(0, 0), word(vtest::rgb(255, 0, 0)));
    EXPECT_EQ(c.at(1, 0), word(vtest::rgb(0, 0, 255)));
}

TEST(BitmapBrush, MonoBrushWithPaletteIndicesReadsDeviceBitmapRows) {
    // DIB_PAL_INDICES: no colour table; the bits are taken as a monochrome
    // device bitmap's, rows of 16 bits from the top. Bytes 0-1 are row 0,
    // bytes 2-3 row 1 (not the padding of a 32-bit DIB row).
    Dib d;
    d.info = infoHeader(2, 2, 1);
    d.bits = {0x40, 0, 0x80, 0, 0, 0, 0, 0};
    Canvas c = fill(2, 2, [&](vtest::EmfWriter &w) {
        patternBrush(w, kCreateMonoBrush, 1, d, 2);
        w.record(kSetTextColor, {int32_t(vtest::rgb(1, 2, 3))});
        w.record(kSetBkColor, {int32_t(vtest::rgb(4, 5, 6))});
    });
    const uint32_t fore = word(vtest::rgb(1, 2, 3)), back = word(vtest::rgb(4, 5, 6));
    EXPECT_EQ(c.at(0, 0), fore);
    EXPECT_EQ(c.at(1, 0), back);
    EXPECT_EQ(c.at(0, 1), back);
    EXPECT_EQ(c.at(1, 1), fore);
}

TEST(BitmapBrush, OneBitDibPatternKeepsItsOwnColours) {
    const Dib d = dibIndexed(2, 1, {0, 1}, {0x00FF00, 0xFF00FF});
    Canvas c = fill(2, 1, [&](vtest::EmfWriter &w) {
        patternBrush(w, kCreateDibPatternBrush, 1, d);
        w.record(kSetTextColor, {int32_t(vtest::rgb(1, 2, 3))});
    });
    EXPECT_EQ(c.at(0, 0), 0x0000FF00u);
    EXPECT_EQ(c.at(1, 0), 0x00FF00FFu);
}

TEST(BitmapBrush, PatternBlitWithADibPatternBrush) {
    const Dib d = dib24(2, {0x00FF0000, 0x0000FF00});
    vtest::EmfWriter w = ptest::pixelWriter(3, 1);
    patternBrush(w, kCreateDibPatternBrush, 1, d);
    w.select(1);
    bitBlt(w, 0, 0, 3, 1, kPatCopy);
    Canvas c(3, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), 0x00FF0000u);
    EXPECT_EQ(c.at(1, 0), 0x0000FF00u);
    EXPECT_EQ(c.at(2, 0), 0x00FF0000u);
}

}  // namespace

namespace {

TEST(BitmapPalette, PaletteIndexColoursComeFromTheSelectedPalette) {
    // PALETTEINDEX(1) names entry 1 of the palette selected when drawing,
    // whenever the brush was made; an index past the end names entry 0.
    vtest::EmfWriter w = ptest::pixelWriter(3, 1);
    w.select(kNullPen);
    w.createBrush(1, 0, 0x01000001).createBrush(2, 0, 0x01000007);
    createPalette(w, 3, {vtest::rgb(10, 20, 30), vtest::rgb(40, 50, 60)});
    w.select(1).rectangle(0, 0, 1, 1);
    w.record(kSelectPalette, {3});
    w.select(1).rectangle(1, 0, 2, 1);
    w.select(2).rectangle(2, 0, 3, 1);
    Canvas c(3, 1);
    ASSERT_TRUE(c.play(w.bytes()));
    EXPECT_EQ(c.at(0, 0), word(vtest::rgb(128, 0, 0)));  // the default palette's entry 1
    EXPECT_EQ(c.at(1, 0), word(vtest::rgb(40, 50, 60)));
    EXPECT_EQ(c.at(2, 0), word(vtest::rgb(10, 20, 30)));
}

}  // namespace
