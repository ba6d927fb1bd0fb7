// Every DIB format the records carry, drawn unscaled by STRETCHDIBITS: each
// pixel must come out as the 32-bit word the format's decoding gives it,
// alpha 0 except where a 32-bit source brings its own.
#include <gtest/gtest.h>

#include "bitmap_records.h"

using namespace btest;
using ptest::Canvas;
using ptest::kKey;

namespace {

// Plays `d` 1:1 onto a canvas of its size and compares every pixel with
// `want` (top row first).
void expectPixels(const Dib &d, int w, int h, const std::vector<uint32_t> &want, uint32_t usage = 0) {
    vtest::EmfWriter wr = ptest::pixelWriter(w, h);
    stretchDIBits(wr, 0, 0, w, h, 0, 0, w, h, d, kCopy, usage);
    Canvas c(w, h);
    ASSERT_TRUE(c.play(wr.bytes()));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(c.at(x, y), want[size_t(y * w + x)]) << "pixel " << x << "," << y;
}

const std::vector<uint32_t> kQuad{0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF,
                                  0x00102030, 0x00405060, 0x00708090, 0x00A0B0C0};

TEST(BitmapFormats, Rgb24BottomUpAndTopDown) {
    expectPixels(dib24(4, kQuad), 4, 2, kQuad);
    expectPixels(dib24(4, kQuad, true), 4, 2, kQuad);
}

TEST(BitmapFormats, Rgb32WithoutAlphaPaintsAlphaZero) {
    expectPixels(dib32(4, kQuad), 4, 2, kQuad);
}

TEST(BitmapFormats, Rgb32AlphaByteIsCopied) {
    // The platform copies a 32-bit source's fourth byte as it is.
    std::vector<uint32_t> px = kQuad;
    px[0] |= 0xFF000000, px[5] |= 0x80000000;
    expectPixels(dib32(4, px, true), 4, 2, px);
}

TEST(BitmapFormats, Bitfields32WithOtherMasksDropAlpha) {
    // Masks other than the device's own are read field by field.
    Dib d = dib32(2, {0xFF0000FF, 0x0000FF00});
    set32(d.info, 16, 3);  // BI_BITFIELDS
    for (uint32_t m : {0x000000FFu, 0x0000FF00u, 0x00FF0000u}) put32(d.info, m);
    expectPixels(d, 2, 1, {0x00FF0000, 0x0000FF00});
}

TEST(BitmapFormats, Rgb555ExpandsFiveBitChannels) {
    // 5 bits to 8: the top three bits repeat below.
    expectPixels(dib16(3, {0x7C00, 0x03E0, 0x4210}), 3, 1, {0x00FF0000, 0x0000FF00, 0x00848484});
}

TEST(BitmapFormats, Bitfields565) {
    expectPixels(dib16(3, {0xF800, 0x07E0, 0x0841}, {0xF800, 0x07E0, 0x001F}), 3, 1,
                 {0x00FF0000, 0x0000FF00, 0x00080808});
}

TEST(BitmapFormats, Indexed8FullAndPartialTable) {
    expectPixels(dibIndexed(3, 8, {0, 1, 2}, {0xFF0000, 0x00FF00, 0x0000FF}), 3, 1,
                 {0x00FF0000, 0x0000FF00, 0x000000FF});
    // biClrUsed = 2: index 2 has no entry and paints black.
    expectPixels(dibIndexed(3, 8, {0, 1, 2}, {0xFF0000, 0x00FF00}, 2), 3, 1,
                 {0x00FF0000, 0x0000FF00, 0x00000000});
}

TEST(BitmapFormats, Indexed4And1) {
    expectPixels(dibIndexed(5, 4, {1, 0, 15, 1, 0}, std::vector<uint32_t>(16, 0x123456)), 5, 1,
                 std::vector<uint32_t>(5, 0x00123456));
    std::vector<uint32_t> table(16, 0);
    table[1] = 0xFF0000, table[15] = 0x0000FF;
    expectPixels(dibIndexed(3, 4, {1, 15, 0}, table), 3, 1, {0x00FF0000, 0x000000FF, 0});
    expectPixels(dibIndexed(10, 1, {1, 0, 0, 1, 1, 1, 0, 0, 0, 1}, {0x00FF00, 0xFF00FF}), 10, 1,
                 {0x00FF00FF, 0x0000FF00, 0x0000FF00, 0x00FF00FF, 0x00FF00FF, 0x00FF00FF, 0x0000FF00,
                  0x0000FF00, 0x0000FF00, 0x00FF00FF});
}

TEST(BitmapFormats, CoreHeaderWithTripleTable) {
    Dib d;
    put32(d.info, 12);
    put16(d.info, 2), put16(d.info, 1), put16(d.info, 1), put16(d.info, 8);
    for (uint32_t c : {0x112233u, 0x445566u}) d.info.push_back(uint8_t(c)), d.info.push_back(uint8_t(c >> 8)),
        d.info.push_back(uint8_t(c >> 16));
    d.bits = {1, 0, 0, 0};
    expectPixels(d, 2, 1, {0x00445566, 0x00112233});
}

TEST(BitmapFormats, V5HeaderReadsLikeInfoHeader) {
    Dib d = dib24(4, kQuad);
    std::vector<uint8_t> v5 = infoHeader(4, 2, 24, 0, 0, 0, 124);
    d.info = v5;
    expectPixels(d, 4, 2, kQuad);
}

TEST(BitmapFormats, Rle8RunsEscapesAndSkippedPixels) {
    // Bottom row: a run of 2 (index 1), absolute run 2,1,2 (padded), end of
    // line. Top row: delta right 2, run 1 of index 2, end of bitmap. An
    // unscaled copy from the origin leaves skipped pixels alone.
    const std::vector<uint8_t> data{2, 1, 0, 3, 2, 1, 2, 0, 0, 0, 0, 2, 2, 0, 1, 2, 0, 1};
    const Dib d = dibRle(5, 2, false, data, {0x000000, 0xFF0000, 0x00FF00});
    expectPixels(d, 5, 2,
                 {kKey, kKey, 0x0000FF00, kKey, kKey, 0x00FF0000, 0x00FF0000, 0x0000FF00, 0x00FF0000,
                  0x0000FF00});
}

TEST(BitmapFormats, Rle4AlternatesNibbles) {
    // A run of 5 pixels alternating 3 and 4, then end of bitmap.
    std::vector<uint32_t> table(16, 0);
    table[3] = 0x0000FF, table[4] = 0xFFFF00;
    const Dib d = dibRle(5, 1, true, {5, 0x34, 0, 1}, table);
    expectPixels(d, 5, 1, {0x000000FF, 0x00FFFF00, 0x000000FF, 0x00FFFF00, 0x000000FF});
}

TEST(BitmapFormats, RleSkippedPixelsTakeColourZeroWhenStretched) {
    const Dib d = dibRle(2, 1, false, {1, 1, 0, 1}, {0x0000FF, 0xFF0000});
    vtest::EmfWriter wr = ptest::pixelWriter(4, 1);
    stretchDIBits(wr, 0, 0, 4, 1, 0, 0, 2, 1, d);
    Canvas c(4, 1);
    ASSERT_TRUE(c.play(wr.bytes()));
    EXPECT_EQ(c.at(0, 0), 0x00FF0000u);
    EXPECT_EQ(c.at(1, 0), 0x00FF0000u);
    EXPECT_EQ(c.at(2, 0), 0x000000FFu);
    EXPECT_EQ(c.at(3, 0), 0x000000FFu);
}

TEST(BitmapFormats, PaletteIndicesLookUpTheSelectedPalette) {
    // DIB_PAL_COLORS: the table holds indices into the DC's palette.
    const Dib d = dibPalIndices(3, {0, 1, 2}, {2, 0, 1});
    vtest::EmfWriter wr = ptest::pixelWriter(3, 2);
    createPalette(wr, 3, {vtest::rgb(255, 0, 0), vtest::rgb(0, 255, 0), vtest::rgb(0, 0, 255)});
    wr.record(kSelectPalette, {3});
    wr.record(kRealizePalette, {});
    stretchDIBits(wr, 0, 0, 3, 1, 0, 0, 3, 1, d, kCopy, 1);
    setPaletteEntries(wr, 3, 0, {vtest::rgb(9, 9, 9)});
    stretchDIBits(wr, 0, 1, 3, 1, 0, 0, 3, 1, d, kCopy, 1);
    Canvas c(3, 2);
    ASSERT_TRUE(c.play(wr.bytes()));
    EXPECT_EQ(c.at(0, 0), 0x000000FFu);
    EXPECT_EQ(c.at(1, 0), 0x00FF0000u);
    EXPECT_EQ(c.at(2, 0), 0x0000FF00u);
    // The entry changed after the palette was selected.
    EXPECT_EQ(c.at(1, 1), 0x00090909u);
}

TEST(BitmapFormats, PaletteIndicesWithoutPaletteUseTheDefaultOne) {
    // Entries 13 and 19 of the default palette: red and white.
    std::vector<uint16_t> table(256, 0);
    table[0] = 13, table[1] = 19;
    const Dib d = dibPalIndices(2, {0, 1}, table);
    expectPixels(d, 2, 1, {0x00FF0000, 0x00FFFFFF}, 1);
}

}  // namespace
