// Hostile bitmap records: sizes, offsets and counts that lie, extents of
// 2^31, colour tables and runs past their data. Each draws a partial
// picture or nothing; the work budget keeps playback finite.
#include <gtest/gtest.h>

#include "bitmap_records.h"

using namespace btest;
using ptest::Canvas;
using ptest::kKey;

namespace {

Canvas playQuickly(const vtest::EmfWriter &w) {
    Canvas c(64, 64);
    EXPECT_TRUE(c.play(w.bytes()));
    return c;
}

TEST(Hostile, BitmapHeaderOfTwoBillionPixelsSquareDrawsNothing) {
    Dib d = dib24(1, {0x00FF0000});
    set32(d.info, 4, 0x7FFFFFFF), set32(d.info, 8, 0x7FFFFFFF);
    vtest::EmfWriter w = ptest::pixelWriter(64, 64);
    stretchDIBits(w, 0, 0, 64, 64, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF, d);
    bitBlt(w, 0, 0, 64, 64, kCopy, &d);
    setDIBitsToDevice(w, 0, 0, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF, 0, 0x7FFFFFFF, d);
    EXPECT_EQ(playQuickly(w).count(kKey), 64 * 64);
}

TEST(Hostile, BitmapExtentsOfTwoToTheThirtyOneStayBounded) {
    const Dib d = dib24(2, {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF});
    vtest::EmfWriter w = ptest::pixelWriter(64, 64);
    w.record(kSetStretchMode, {1});
    // Enlarged past any canvas, shrunk from a source rectangle of 2^31, and
    // mirrored across the whole coordinate range.
    stretchDIBits(w, -0x40000000, -0x40000000, 0x7FFFFFFF, 0x7FFFFFFF, 0, 0, 2, 2, d);
    stretchBlt(w, 0, 0, 8, 8, d, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF);
    stretchBlt(w, 0x7FFFFFFF, 0, int32_t(0x80000001), 64, d, 0, 0, 2, 2);
    gradientFill(w, {{-0x7FFFFFFF, -0x7FFFFFFF, 0xFF00, 0, 0, 0}, {0x7FFFFFFF, 0x7FFFFFFF, 0, 0, 0xFF00, 0}},
                 {0, 1}, 0);
    gradientFill(w, {{-0x7FFFFFFF, 0, 0xFF00, 0, 0, 0}, {0x7FFFFFFF, 5, 0, 0, 0, 0}, {0, 0x7FFFFFFF, 0, 0, 0, 0}},
                 {0, 1, 2}, 2);
    plgBlt(w, {{-0x7FFFFFFF, 0}, {0x7FFFFFFF, -0x7FFFFFFF}, {0, 0x7FFFFFFF}}, 0, 0, 2, 2, d);
    blendBlt(w, kAlphaBlend, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF, d, 0, 0, 2, 2, blendFunction(128, false));
    Canvas c = playQuickly(w);
    EXPECT_LT(c.count(kKey), 64 * 64);
}

TEST(Hostile, BitmapOffsetsAndSizesPastTheRecordDrawNothing) {
    const Dib d = dib24(2, {0x00FF0000, 0x0000FF00});
    vtest::EmfWriter w = ptest::pixelWriter(64, 64);
    std::vector<uint8_t> p;
    bounds(p);
    for (int32_t v : {0, 0, 0, 0, 2, 1}) put32(p, uint32_t(v));
    for (uint32_t v : {0xFFFFFFF0u, 40u, 60u, 0xFFFFFFFFu}) put32(p, v);  // offsets past the record
    put32(p, 0), put32(p, kCopy), put32(p, 64), put32(p, 64);
    p.insert(p.end(), d.info.begin(), d.info.end());
    p.insert(p.end(), d.bits.begin(), d.bits.end());
    w.recordBytes(kStretchDIBits, p);
    // A colour table of 2^32 - 1 entries in a record of a few bytes, and a
    // brush whose bitmap is cut short.
    Dib many = dibIndexed(2, 8, {0, 1}, {0x00FF00});
    set32(many.info, 32, 0xFFFFFFFF);
    stretchDIBits(w, 0, 0, 2, 1, 0, 0, 2, 1, many);
    Dib cut = dib24(8, std::vector<uint32_t>(64, 0x00FF0000));
    cut.bits.resize(10);
    patternBrush(w, kCreateDibPatternBrush, 1, cut);
    w.select(1);
    bitBlt(w, 0, 10, 64, 10, kPatCopy);
    Canvas c = playQuickly(w);
    // Only the table's one entry and its black rest drew, in row 0; the
    // brush the record could not make was never selected, so the stock
    // white brush painted the pattern blit.
    EXPECT_EQ(c.at(0, 0), 0x0000FF00u);
    EXPECT_EQ(c.at(1, 0), 0u);
    EXPECT_EQ(c.at(0, 10), 0x00FFFFFFu);
    EXPECT_EQ(c.count(kKey), 64 * 64 - 2 - 64 * 10);
}

TEST(Hostile, BitmapRunsPastTheImageStayInside) {
    // Runs of 255 past the right edge, deltas past the bottom, absolute
    // runs longer than the data, repeated ten thousand times.
    std::vector<uint8_t> data;
    for (int i = 0; i < 10000; ++i) {
        const uint8_t chunk[] = {255, 1, 0, 2, 255, 0, 0, 0, 0, 255, 1};
        data.insert(data.end(), chunk, chunk + sizeof chunk);
    }
    const Dib d = dibRle(4, 4, false, data, {0, 0xFF0000});
    const Dib d4 = dibRle(4, 4, true, data, {0, 0xFF0000});
    vtest::EmfWriter w = ptest::pixelWriter(64, 64);
    stretchDIBits(w, 0, 0, 4, 4, 0, 0, 4, 4, d);
    stretchDIBits(w, 8, 0, 4, 4, 0, 0, 4, 4, d4);
    stretchDIBits(w, 16, 0, 40, 40, 0, 0, 4, 4, d);
    Canvas c = playQuickly(w);
    EXPECT_EQ(c.at(0, 3), 0x00FF0000u);
}

TEST(Hostile, ManyLargeCompressedBitmapsExhaustTheWorkBudget) {
    // Each record describes a 4096 x 4096 image in a few bytes; decoding
    // them all would take minutes.
    const Dib d = dibRle(4096, 4096, false, {0, 1}, {0x0000FF});
    vtest::EmfWriter w = ptest::pixelWriter(64, 64);
    for (int i = 0; i < 2000; ++i) stretchDIBits(w, 0, 0, 64, 64, 0, 0, 4096, 4096, d);
    // Skipped pixels of a scaled RLE draw in colour 0 (blue) until the
    // budget runs out.
    Canvas c = playQuickly(w);
    EXPECT_EQ(c.at(10, 10), 0x000000FFu);
}

}  // namespace
