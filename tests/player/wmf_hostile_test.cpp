// Malformed and hostile Windows metafiles: playback skips or stops, keeps
// what was drawn, never reads past the data and never runs away.
#include <gtest/gtest.h>

#include "canvas.h"
#include "player/player.h"
#include "support/wmf_writer.h"

using namespace vtest;
using ptest::Canvas;
using ptest::word;

namespace {

constexpr uint32_t kRed = 0x0000FF;

// Byte offset of the record `index` (0 = first after the header).
size_t recordAt(const std::vector<uint8_t> &wmf, size_t index) {
    size_t off = 18;
    for (size_t i = 0; i < index; ++i)
        off += 2 * size_t(wmf[off] | wmf[off + 1] << 8 | wmf[off + 2] << 16 | uint32_t(wmf[off + 3]) << 24);
    return off;
}

void put32(std::vector<uint8_t> &v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

// framedPicture(8, 8) (nine records) with a null pen and a red brush.
WmfWriter redPicture() {
    WmfWriter m = framedPicture(8, 8);
    m.createPen(5, 0, 0).createBrush(0, kRed).select(0).select(1);
    return m;
}
constexpr size_t kRedPictureRecords = 13;

}  // namespace

TEST(Hostile, WmfRecordSizesOfZeroOrPastTheDataEndPlayback) {
    for (uint32_t size : {0u, 1u, 2u, 0x10000u, 0xFFFFFFFFu}) {
        WmfWriter m = redPicture();
        m.rectangle(0, 0, 5, 5);
        m.record(0x4242, {1, 2, 3});
        m.rectangle(4, 4, 9, 9);
        std::vector<uint8_t> wmf = m.bytes();
        put32(wmf, recordAt(wmf, kRedPictureRecords + 1), size);
        Canvas c(8, 8);
        EXPECT_TRUE(c.playWmf(wmf));
        EXPECT_EQ(c.at(1, 1), word(kRed)) << size;
        EXPECT_FALSE(c.painted(6, 6)) << size;
    }
}

TEST(Hostile, WmfCountsPastTheirRecordDrawNothing) {
    WmfWriter m = redPicture();
    // 65535 points in a 20-byte polygon record.
    m.record(WMF_POLYGON, {-1, 0, 0, 8, 0, 8});
    // Polygon counts summing past the record, and more polygons than words.
    m.record(WMF_POLYPOLYGON, {2, 30000, 30000, 0, 0, 8, 8, 0, 8});
    m.record(WMF_POLYPOLYGON, {-1, 3, 0, 0, 8, 0, 8, 8});
    m.record(WMF_POLYPOLYGON, {1, -3, 0, 0, 8, 0, 8, 8});  // a negative count
    m.record(WMF_POLYLINE, {0x7FFF, 1, 1});
    // Text whose string runs past the record.
    m.record(0x0A32, {1, 1, 0x7FFF, 2, 0, 0, 8, 8});
    m.record(0x0521, {0x7FFF, 0x4141});
    // Short records of every drawing kind.
    for (uint16_t f : {WMF_RECTANGLE, WMF_ELLIPSE, WMF_ROUNDRECT, WMF_ARC, WMF_PIE, WMF_CHORD,
                       WMF_PATBLT, WMF_SETPIXEL, WMF_EXTFLOODFILL, WMF_FRAMEREGION,
                       WMF_DIBCREATEPATTERNBRUSH, WMF_CREATEFONTINDIRECT, WMF_DIBBITBLT})
        m.record(f, {1});
    Canvas c(8, 8);
    EXPECT_TRUE(c.playWmf(m.bytes()));
    EXPECT_EQ(c.count(ptest::kKey), 64) << c.dump({});
}

TEST(Hostile, WmfRegionsWithAbsurdScansAreRefused) {
    WmfWriter m = redPicture();
    // Claims 65535 scans, holds one.
    m.record(WMF_CREATEREGION, {0, 6, 0, 0, 40, -1, 2, 0, 0, 8, 8, 2, 0, 8, 0, 8, 2});
    // A scan whose x count runs past the record, and one with mismatched counts.
    m.record(WMF_CREATEREGION, {0, 6, 0, 0, 40, 1, 2, 0, 0, 8, 8, 20000, 0, 8, 0, 8});
    m.record(WMF_CREATEREGION, {0, 6, 0, 0, 40, 1, 2, 0, 0, 8, 8, 2, 0, 8, 0, 8, 4});
    // Had any been made, it would sit in slot 2.
    m.fillRegion(2, 1).paintRegion(2).invertRegion(2).selectClipRegion(2);
    m.createBrush(0, 0x00FF00);  // slot 2 is still free
    m.select(2).rectangle(0, 0, 3, 3);
    Canvas c(8, 8);
    EXPECT_TRUE(c.playWmf(m.bytes()));
    EXPECT_EQ(c.count(word(0x00FF00)), 4) << c.dump({});
    EXPECT_EQ(c.count(ptest::kKey), 60) << c.dump({});
}

TEST(Hostile, WmfObjectIndicesPastTheTableAreIgnored) {
    // Three slots: the fourth object created finds none and is dropped.
    WmfWriter m = redPicture();
    m.createBrush(0, 0x00FF00).createBrush(0, 0xFF0000);
    m.select(3).select(65535).deleteObject(65535).deleteObject(3).fillRegion(65535, 65535);
    m.rectangle(0, 0, 5, 5);
    Canvas c(8, 8);
    EXPECT_TRUE(c.playWmf(m.bytes(3)));
    EXPECT_EQ(c.at(1, 1), word(kRed)) << c.dump({});

    // A table of 65535 slots in a tiny file costs only what it uses.
    Canvas d(8, 8);
    WmfWriter n = redPicture();
    n.rectangle(0, 0, 5, 5);
    EXPECT_TRUE(d.playWmf(n.bytes(65535)));
    EXPECT_EQ(d.at(1, 1), word(kRed));
}

TEST(Hostile, WmfStateStacksStayBounded) {
    WmfWriter m = redPicture();
    for (int i = 0; i < 5000; ++i) m.saveDC();
    m.restoreDC(-32768).restoreDC(32767).restoreDC(0).restoreDC(-4000);
    m.rectangle(0, 0, 5, 5);
    Canvas c(8, 8);
    EXPECT_TRUE(c.playWmf(m.bytes()));
    EXPECT_EQ(c.at(1, 1), word(kRed));
}

TEST(Hostile, WmfEmbeddedOriginalsThatLieAreConvertedInstead) {
    // A chunk claiming a 2 GiB metafile, one claiming more than it holds,
    // and chunks whose remaining counts disagree.
    std::vector<uint8_t> base(38, 0);
    put32(base, 0, 0x43464D57u);
    auto chunk = [&](uint32_t count, uint32_t size, uint32_t left, uint32_t total) {
        std::vector<uint8_t> c = base;
        put32(c, 18, count), put32(c, 22, size), put32(c, 26, left), put32(c, 30, total);
        return c;
    };
    for (const auto &c : {chunk(1, 4, 0, 0x7FFFFFFF), chunk(1, 400, 0, 400), chunk(2, 4, 7, 120),
                          chunk(0, 4, 0, 4)}) {
        WmfWriter m;
        m.escape(15, c);
        m.setWindowOrg(0, 0).setWindowExt(8, 8);
        m.createPen(5, 0, 0).createBrush(0, kRed).select(0).select(1).rectangle(0, 0, 9, 9);
        std::vector<uint8_t> wmf = m.bytes();
        fixCommentChecksum(wmf);
        Canvas d(8, 8);
        EXPECT_TRUE(d.playWmf(wmf));
        EXPECT_EQ(d.count(word(kRed)), 64);
    }
}

TEST(Hostile, WmfEveryTruncationAndByteFlipIsSurvived) {
    // A picture using most record kinds, cut at every length and with
    // bytes flipped; run under the sanitizers this catches any over-read.
    WmfWriter m = redPicture();
    m.createRegion({{1, 3, {1, 4}}, {3, 6, {2, 7}}}).fillRegion(2, 1).selectClipRegion(2);
    m.polygon({{0, 0}, {7, 1}, {3, 7}}).polyPolygon({{{0, 0}, {3, 0}, {3, 3}}, {{4, 4}, {7, 4}, {7, 7}}});
    m.arc(WMF_PIE, 0, 0, 8, 8, 8, 4, 4, 0).roundRect(1, 1, 7, 7, 3, 3).patBlt(0, 0, 4, 4, 0x5A0049);
    m.extTextOut(1, 1, 2, 0, 0, 4, 4, "ab").floodFill(6, 6, 0).setPixel(2, 2, 0);
    m.saveDC().intersectClipRect(1, 1, 6, 6).restoreDC(-1).deleteObject(2);
    // A 2 x 2 24-bit DIB (header, two padded rows) in the DIB records, a
    // DIB pattern brush and a device bitmap.
    const std::vector<uint16_t> dib{40, 0, 2, 0, 2, 0, 1, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0xFF, 0xFF00, 0, 0, 0xFF00, 0xFF, 0, 0};
    auto with = [&](std::vector<uint16_t> head) {
        head.insert(head.end(), dib.begin(), dib.end());
        return head;
    };
    m.recordWords(WMF_STRETCHDIB, with({0x20, 0xCC, 0, 2, 2, 0, 0, 4, 4, 1, 1}));
    m.recordWords(WMF_DIBBITBLT, with({0x20, 0xCC, 0, 0, 2, 2, 3, 3}));
    m.recordWords(0x0B41, with({0x46, 0x66, 2, 2, 0, 0, 6, 6, 0, 0}));  // DIBSTRETCHBLT, SRCINVERT
    m.recordWords(WMF_SETDIBTODEV, with({0, 2, 0, 0, 0, 2, 2, 5, 5}));
    m.recordWords(WMF_DIBCREATEPATTERNBRUSH, with({5, 0}));
    m.recordWords(WMF_BITBLT, {0x20, 0xCC, 0, 0, 2, 2, 1, 1, 0, 2, 2, 2, 0x0101, 0x40, 0x80});
    m.select(2).rectangle(0, 0, 8, 8);  // the pattern brush took the region's freed slot
    const std::vector<uint8_t> wmf = m.bytes();
    for (size_t n = 0; n <= wmf.size(); ++n) {
        std::vector<uint8_t> cut(wmf.begin(), wmf.begin() + std::ptrdiff_t(n));
        Canvas c(8, 8);
        // Anything with a whole header plays, as far as its records go.
        EXPECT_EQ(c.playWmf(cut), n >= 18) << n;
        ENHMETAHEADER h;
        vellora::player::winMetaFileHeader(cut.data(), cut.size(), &h);
        EXPECT_EQ(h.iType, n >= 18 ? 1u : 0u) << n;
    }
    uint32_t seed = 12345;
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bad = wmf;
        for (int k = 0; k < 4; ++k) {
            seed = seed * 1103515245u + 12345u;
            bad[18 + (seed >> 8) % (bad.size() - 18)] ^= uint8_t(seed >> 24 | 1);
        }
        Canvas c(8, 8);
        EXPECT_TRUE(c.playWmf(bad)) << round;
    }
}

TEST(Hostile, WmfBitmapsLargerThanTheirRecordDrawNothing) {
    // DIB headers claiming 30000 x 30000 pixels, or more colours than the
    // record holds, in a few bytes; a device bitmap likewise; scan counts
    // and source rectangles far outside.
    WmfWriter m = redPicture();
    const std::vector<uint16_t> huge{40, 0, 30000, 0, 30000, 0, 1, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<uint16_t> colours{40, 0, 2, 0, 2, 0, 1, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFF, 0x7FFF, 0, 0};
    for (const auto &dib : {huge, colours}) {
        std::vector<uint16_t> p{0x20, 0xCC, 0, 2, 2, 0, 0, 8, 8, 0, 0};
        p.insert(p.end(), dib.begin(), dib.end());
        m.recordWords(WMF_STRETCHDIB, p);
        std::vector<uint16_t> q{0, 0xFFFF, 0xFFFF, 0x8000, 0x8000, 0x7FFF, 0x7FFF, 0, 0};
        q.insert(q.end(), dib.begin(), dib.end());
        m.recordWords(WMF_SETDIBTODEV, q);
        std::vector<uint16_t> r{5, 0};
        r.insert(r.end(), dib.begin(), dib.end());
        m.recordWords(WMF_DIBCREATEPATTERNBRUSH, r);
    }
    m.recordWords(WMF_BITBLT, {0x20, 0xCC, 0, 0, 8, 8, 0, 0, 0, 30000, 30000, 3750, 0x0101, 0});
    m.recordWords(WMF_BITBLT, {0x20, 0xCC, 0, 0, 8, 8, 0, 0, 0, 2, 2, 2, 0x0801});  // 8-bit: refused
    Canvas c(8, 8);
    EXPECT_TRUE(c.playWmf(m.bytes()));
    EXPECT_EQ(c.count(ptest::kKey), 64) << c.dump({});
}
