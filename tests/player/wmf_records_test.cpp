// Windows-metafile records as the platform draws them: converted to an
// enhanced metafile without a reference DC or picture format, then played.
// Each picture is framed so that its logical units are canvas pixels (see
// framedPicture), or twice that where the conversion's rounding shows.
// These tests also run against the platform's own conversion under Wine.
#include <gtest/gtest.h>

#include "canvas.h"
#include "support/wmf_writer.h"

using namespace vtest;
using ptest::Canvas;
using ptest::word;

namespace {

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kYellow = 0x00FFFF;
constexpr int kSolid = 0, kNull = 5;  // pen styles
constexpr int kBrushSolid = 0, kBrushNull = 1;

// Rows y0..y1 and columns x0..x1 (inclusive) all hold `w`.
bool filled(const Canvas &c, int x0, int y0, int x1, int y1, uint32_t w) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (c.at(x, y) != w) return false;
    return true;
}

// Number of pixels painted at all.
int paintedCount(const Canvas &c) { return c.width() * c.height() - c.count(ptest::kKey); }

// A null pen in slot 0 and a solid brush of `color` in slot 1, selected.
WmfWriter fillPicture(int w, int h, uint32_t color) {
    WmfWriter m = framedPicture(w, h);
    m.createPen(kNull, 0, 0).createBrush(kBrushSolid, color).select(0).select(1);
    return m;
}

void put16(std::vector<uint8_t> &v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t> &v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

// A packed bottom-up DIB: BITMAPINFOHEADER, `table` (RGBQUADs as
// 0x00RRGGBB) and rows padded to four bytes. `rows` are top first, one
// value a pixel: a COLORREF for 24 bits, an index otherwise.
std::vector<uint8_t> packedDib(int bpp, const std::vector<std::vector<uint32_t>> &rows,
                               const std::vector<uint32_t> &table = {}, bool tableImplied = false) {
    const int h = int(rows.size()), w = int(rows[0].size());
    std::vector<uint8_t> d;
    put32(d, 40), put32(d, uint32_t(w)), put32(d, uint32_t(h));
    put16(d, 1), put16(d, uint32_t(bpp));
    put32(d, 0), put32(d, 0), put32(d, 0), put32(d, 0);
    // biClrUsed: the table's length, or 0 for a full table of 2^bpp.
    put32(d, tableImplied ? 0 : uint32_t(table.size())), put32(d, 0);
    for (uint32_t c : table) put32(d, c);
    const size_t stride = (size_t(w) * bpp + 31) / 32 * 4;
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < w; ++x) {
            const uint32_t v = rows[size_t(y)][size_t(x)];
            if (bpp == 24) {
                row[3 * size_t(x)] = uint8_t(v >> 16), row[3 * size_t(x) + 1] = uint8_t(v >> 8);
                row[3 * size_t(x) + 2] = uint8_t(v);
            } else if (bpp == 8) {
                row[size_t(x)] = uint8_t(v);
            } else if (bpp == 4) {
                row[size_t(x) / 2] |= uint8_t(x % 2 ? v : v << 4);
            } else if (bpp == 1) {
                if (v) row[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
            }
        }
        d.insert(d.end(), row.begin(), row.end());
    }
    return d;
}

std::vector<uint16_t> wordsOf(const std::vector<uint8_t> &bytes) {
    std::vector<uint16_t> w;
    for (size_t i = 0; i < bytes.size(); i += 2)
        w.push_back(uint16_t(bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0)));
    return w;
}

// STRETCHDIB: destination (x, y, w, h), source (xs, ys, ws, hs), SRCCOPY.
void stretchDib(WmfWriter &m, int x, int y, int w, int h, int xs, int ys, int ws, int hs,
                const std::vector<uint8_t> &dib, int usage = 0) {
    std::vector<uint16_t> p{0x0020, 0x00CC, uint16_t(usage), uint16_t(hs), uint16_t(ws), uint16_t(ys),
                            uint16_t(xs), uint16_t(h), uint16_t(w), uint16_t(y), uint16_t(x)};
    const std::vector<uint16_t> d = wordsOf(dib);
    p.insert(p.end(), d.begin(), d.end());
    m.recordWords(WMF_STRETCHDIB, p);
}

}  // namespace

TEST(WmfShapes, RectangleCoversTheSamePixelsAsOnTheRecordingDevice) {
    // GM_COMPATIBLE on the recording DC: right and bottom edges excluded,
    // so a one-pixel outline of (2, 2, 8, 6) runs over columns 2..7 and rows
    // 2..5, the brush inside.
    WmfWriter m = framedPicture(32, 24);
    m.createPen(kSolid, 0, 0).createBrush(kBrushSolid, kRed).select(0).select(1);
    m.rectangle(2, 2, 8, 6);
    Canvas c(32, 24);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{{word(0), 'k'}, {word(kRed), 'r'}};
    EXPECT_TRUE(filled(c, 2, 2, 7, 2, word(0))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 2, 5, 7, 5, word(0))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 2, 2, 2, 5, word(0))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 7, 2, 7, 5, word(0))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 3, 3, 6, 4, word(kRed))) << c.dump(legend);
    EXPECT_EQ(paintedCount(c), 6 * 4) << c.dump(legend);
}

TEST(WmfShapes, TheRecordedBoxLosesOneLogicalUnitNotOnePixel) {
    // Two pixels a unit: the recorder stores (2, 2, 7, 5) for the box
    // (2, 2, 8, 6), and playback includes that box's edges: columns 4..14,
    // rows 4..10, where drawing the box directly would reach column 15.
    WmfWriter m = framedPicture(16, 12);
    m.createPen(kSolid, 0, 0).createBrush(kBrushNull, 0).select(0).select(1);
    m.rectangle(2, 2, 8, 6);
    Canvas c(32, 24);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{{word(0), 'k'}};
    EXPECT_TRUE(filled(c, 4, 4, 14, 4, word(0))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 14, 4, 14, 10, word(0))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 4, 10, 14, 10, word(0))) << c.dump(legend);
    EXPECT_FALSE(c.painted(15, 7)) << c.dump(legend);
    EXPECT_FALSE(c.painted(9, 11)) << c.dump(legend);
}

TEST(WmfShapes, EmptyBoxesDrawNothing) {
    // The recorder refuses a box of no width or height, pen or not.
    WmfWriter m = framedPicture(16, 16);
    m.createPen(kSolid, 0, 0).createBrush(kBrushSolid, kRed).select(0).select(1);
    m.rectangle(2, 2, 2, 10).ellipse(4, 3, 12, 3).roundRect(5, 5, 5, 9, 2, 2);
    Canvas c(16, 16);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    EXPECT_EQ(paintedCount(c), 0) << c.dump({});
}

TEST(WmfShapes, EachShapeIsItsEnhancedCounterpart) {
    // What the conversion records for each shape, played as an EMF with the
    // same mapping, paints the same pixels as the WMF record.
    struct Shape {
        uint16_t wmf;
        uint32_t emf;
    };
    const Shape shapes[] = {{WMF_ELLIPSE, EMR_ELLIPSE}, {WMF_ROUNDRECT, EMR_ROUNDRECT},
                            {WMF_ARC, EMR_ARC},         {WMF_CHORD, EMR_CHORD},
                            {WMF_PIE, EMR_PIE}};
    for (const Shape &s : shapes) {
        WmfWriter m = framedPicture(16, 12);
        m.createPen(kSolid, 0, 0).createBrush(kBrushSolid, kGreen).select(0).select(1);
        // Drawn right to left and bottom to top: the recorder orders them.
        if (s.wmf == WMF_ELLIPSE) m.ellipse(13, 10, 2, 1);
        else if (s.wmf == WMF_ROUNDRECT) m.roundRect(13, 10, 2, 1, 5, 4);
        else m.arc(s.wmf, 13, 10, 2, 1, 14, 2, 1, 9);

        // The reference device of the conversion, the frame it gets, the
        // mapping it records, then the shape's box one unit smaller.
        EmfWriter e(0, 0, 27100, 20300, 1024, 768, 271, 203);
        e.record(EMR_SETMAPMODE, {8});
        e.record(EMR_SETVIEWPORTEXTEX, {1024, 768}).record(EMR_SETWINDOWEXTEX, {1024, 768});
        e.record(EMR_SETWINDOWORGEX, {0, 0}).record(EMR_SETWINDOWEXTEX, {16, 12});
        e.createPen(1, 0, 0, 0).createBrush(2, 0, kGreen).select(1).select(2);
        if (s.wmf == WMF_ELLIPSE) e.record(s.emf, {2, 1, 12, 9});
        else if (s.wmf == WMF_ROUNDRECT) e.record(s.emf, {2, 1, 12, 9, 5, 4});
        else e.record(s.emf, {2, 1, 12, 9, 14, 2, 1, 9});

        Canvas fromWmf(32, 24), fromEmf(32, 24);
        ASSERT_TRUE(fromWmf.playWmf(m.bytes()));
        ASSERT_TRUE(fromEmf.play(e.bytes()));
        const std::vector<std::pair<uint32_t, char>> legend{{word(0), 'k'}, {word(kGreen), 'g'}};
        EXPECT_GT(paintedCount(fromWmf), 20) << s.wmf << fromWmf.dump(legend);
        EXPECT_EQ(fromWmf.dump(legend), fromEmf.dump(legend)) << s.wmf;
    }
}

TEST(WmfShapes, PolygonsPolylinesAndPolyPolygons) {
    WmfWriter m = fillPicture(24, 16, kRed);
    m.polygon({{1, 1}, {7, 1}, {7, 7}, {1, 7}});  // [1, 7) x [1, 7)
    // Two overlapping squares, alternate fill: the overlap stays empty.
    m.polyPolygon({{{10, 1}, {16, 1}, {16, 7}, {10, 7}}, {{13, 4}, {19, 4}, {19, 10}, {13, 10}}});
    m.createPen(kSolid, 0, kBlue).select(2).polyline({{1, 12}, {20, 12}});
    Canvas c(24, 16);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{{word(kRed), 'r'}, {word(kBlue), 'b'}};
    EXPECT_TRUE(filled(c, 1, 1, 6, 6, word(kRed))) << c.dump(legend);
    EXPECT_FALSE(c.painted(7, 3)) << c.dump(legend);
    EXPECT_TRUE(filled(c, 10, 1, 15, 3, word(kRed))) << c.dump(legend);
    EXPECT_FALSE(c.painted(14, 5)) << c.dump(legend);  // overlap
    EXPECT_TRUE(filled(c, 16, 7, 18, 9, word(kRed))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 1, 12, 19, 12, word(kBlue))) << c.dump(legend);
    EXPECT_FALSE(c.painted(20, 12)) << c.dump(legend);  // last point left out
}

TEST(WmfObjects, ANewObjectTakesTheLowestFreeSlot) {
    WmfWriter m = framedPicture(16, 16);
    m.createPen(kNull, 0, 0);                                        // slot 0
    m.createBrush(kBrushSolid, kRed).createBrush(kBrushSolid, kGreen);  // slots 1, 2
    m.deleteObject(1);
    m.createBrush(kBrushSolid, kBlue);  // slot 1 again, not 3
    m.select(0).select(1).rectangle(0, 0, 5, 5);
    m.select(2).rectangle(5, 0, 10, 5);
    Canvas c(16, 16);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{{word(kBlue), 'b'}, {word(kGreen), 'g'}};
    // Null pen: each box fills four by four of its five units.
    EXPECT_TRUE(filled(c, 0, 0, 3, 3, word(kBlue))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 5, 0, 8, 3, word(kGreen))) << c.dump(legend);
}

TEST(WmfObjects, SelectingAnEmptySlotChangesNothing) {
    WmfWriter m = fillPicture(16, 16, kRed);
    m.createBrush(kBrushSolid, kGreen).deleteObject(2);
    m.select(2).select(9).rectangle(1, 1, 6, 6);
    Canvas c(16, 16);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    EXPECT_TRUE(filled(c, 1, 1, 4, 4, word(kRed))) << c.dump({{word(kRed), 'r'}});
}

TEST(WmfObjects, ADeletedObjectStaysInUseWhileSelected) {
    WmfWriter m = fillPicture(16, 16, kRed);
    m.deleteObject(1);                // the selected brush
    m.createBrush(kBrushSolid, kBlue);  // takes slot 1, not selected
    m.rectangle(1, 1, 6, 6);
    Canvas c(16, 16);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    EXPECT_TRUE(filled(c, 1, 1, 4, 4, word(kRed))) << c.dump({{word(kRed), 'r'}});
}

TEST(WmfState, RestoreDCBringsBackObjectsAndMapping) {
    WmfWriter m = fillPicture(16, 16, kRed);
    m.saveDC();
    m.createBrush(kBrushSolid, kGreen).select(2);
    m.setWindowOrg(-8, 0);
    m.restoreDC(-1);
    m.rectangle(1, 1, 6, 6);
    Canvas c(16, 16);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    EXPECT_TRUE(filled(c, 1, 1, 4, 4, word(kRed))) << c.dump({{word(kRed), 'r'}, {word(kGreen), 'g'}});
    EXPECT_EQ(paintedCount(c), 16);
}

TEST(WmfState, ViewportIsInReferenceDevicePixels) {
    // The viewport maps onto the 1024 x 768 reference device; played onto
    // 32 x 24 pixels, 320 device pixels are 10 canvas pixels.
    WmfWriter m = fillPicture(32, 24, kRed);
    m.setViewportOrg(320, 64);
    m.rectangle(0, 0, 4, 4);
    Canvas c(32, 24);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    EXPECT_TRUE(filled(c, 10, 2, 12, 4, word(kRed))) << c.dump({{word(kRed), 'r'}});
    EXPECT_EQ(paintedCount(c), 9);
}

TEST(WmfClip, ClipRectanglesLimitDrawing) {
    WmfWriter m = fillPicture(16, 16, kRed);
    m.intersectClipRect(2, 2, 12, 12).excludeClipRect(4, 4, 8, 8);
    m.rectangle(0, 0, 17, 17);
    Canvas c(16, 16);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    EXPECT_TRUE(filled(c, 2, 2, 11, 3, word(kRed))) << c.dump({{word(kRed), 'r'}});
    EXPECT_FALSE(c.painted(5, 5));
    EXPECT_FALSE(c.painted(1, 5));
    EXPECT_FALSE(c.painted(12, 5));
    EXPECT_EQ(paintedCount(c), 100 - 16);
}

TEST(WmfClip, ClipRegionsAreInReferenceDevicePixelsAndIndexZeroResets) {
    // A region over reference pixels [0, 512) x [0, 384), the top left
    // quarter of the picture, in slot 2 (slot 0 would mean "no region").
    WmfWriter m = fillPicture(32, 24, kRed);
    m.createRegion({{0, 384, {0, 512}}});
    m.selectClipRegion(2).rectangle(0, 0, 33, 25);
    m.createBrush(kBrushSolid, kBlue).select(3);
    m.selectClipRegion(0).rectangle(30, 20, 32, 22);  // clip reset
    Canvas c(32, 24);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{{word(kRed), 'r'}, {word(kBlue), 'b'}};
    EXPECT_TRUE(filled(c, 0, 0, 15, 11, word(kRed))) << c.dump(legend);
    EXPECT_FALSE(c.painted(16, 5)) << c.dump(legend);
    EXPECT_FALSE(c.painted(5, 12)) << c.dump(legend);
    EXPECT_EQ(c.at(30, 20), word(kBlue)) << c.dump(legend);
}

TEST(WmfClip, SelectObjectOfARegionClipsToo) {
    WmfWriter m = fillPicture(32, 24, kRed);
    m.createRegion({{384, 768, {512, 1024}}});  // bottom right quarter
    m.select(2).rectangle(0, 0, 33, 25);
    Canvas c(32, 24);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    EXPECT_TRUE(filled(c, 16, 12, 31, 23, word(kRed))) << c.dump({{word(kRed), 'r'}});
    EXPECT_EQ(paintedCount(c), 16 * 12);
}

TEST(WmfRegions, FillPaintFrameAndInvert) {
    WmfWriter m = fillPicture(32, 16, kRed);
    m.createBrush(kBrushSolid, kBlue);                              // slot 2
    m.createRegion({{1, 5, {1, 5}}});                               // slot 3
    m.createRegion({{1, 5, {8, 12}}});                              // slot 4
    m.createRegion({{1, 7, {15, 21}}});                             // slot 5
    m.createRegion({{10, 14, {1, 5}}});                             // slot 6
    m.fillRegion(3, 2);        // blue, the selected brush untouched
    m.paintRegion(4);          // the selected brush: red
    m.frameRegion(5, 2, 1, 1);  // a one-unit blue frame
    m.invertRegion(6);
    Canvas c(32, 16);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{{word(kRed), 'r'}, {word(kBlue), 'b'}};
    EXPECT_TRUE(filled(c, 1, 1, 4, 4, word(kBlue))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 8, 1, 11, 4, word(kRed))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 15, 1, 20, 1, word(kBlue))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 15, 1, 15, 6, word(kBlue))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 20, 1, 20, 6, word(kBlue))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 15, 6, 20, 6, word(kBlue))) << c.dump(legend);
    EXPECT_FALSE(c.painted(17, 3)) << c.dump(legend);
    // Inverting flips all 32 bits of the untouched pixels.
    EXPECT_TRUE(filled(c, 1, 10, 4, 13, ~ptest::kKey)) << c.dump(legend);
}

TEST(WmfBlits, PatternBlitsFollowTheirRasterOperation) {
    WmfWriter m = fillPicture(32, 8, kGreen);
    m.patBlt(1, 1, 4, 3, 0xF00021);  // PATCOPY: the brush
    m.patBlt(7, 1, 4, 3, 0x000042);  // BLACKNESS
    m.patBlt(13, 1, 4, 3, 0x550009);  // DSTINVERT
    m.patBlt(19, 1, 4, 3, 0xCC0020);  // SRCCOPY needs a source: nothing
    // Negative extents reach back from the start pixel and include it:
    // [26, 30) x [3, 6).
    m.patBlt(29, 5, -4, -3, 0xF00021);
    Canvas c(32, 8);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{{word(kGreen), 'g'}, {word(0), 'k'}};
    EXPECT_TRUE(filled(c, 1, 1, 4, 3, word(kGreen))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 7, 1, 10, 3, word(0))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 13, 1, 16, 3, ~ptest::kKey)) << c.dump(legend);
    EXPECT_FALSE(c.painted(20, 2)) << c.dump(legend);
    EXPECT_TRUE(filled(c, 26, 3, 29, 5, word(kGreen))) << c.dump(legend);
    EXPECT_EQ(paintedCount(c), 4 * 12) << c.dump(legend);
}

TEST(WmfFlood, BorderFillStopsAtTheColourAndSurfaceFillReplacesIt) {
    WmfWriter m = framedPicture(24, 12);
    m.createPen(kSolid, 0, 0).createBrush(kBrushNull, 0).select(0).select(1);
    m.rectangle(1, 1, 9, 9);  // black outline, nothing inside
    m.createBrush(kBrushSolid, kRed).select(2);
    m.floodFill(4, 4, 0);  // fill up to black
    m.createPen(kNull, 0, 0).createBrush(kBrushSolid, kGreen).select(3).select(4);
    m.rectangle(12, 1, 20, 9);  // a green square
    m.createBrush(kBrushSolid, kBlue).select(5);
    m.extFloodFill(15, 4, kGreen, 1);  // FLOODFILLSURFACE: green becomes blue
    Canvas c(24, 12);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{
        {word(0), 'k'}, {word(kRed), 'r'}, {word(kGreen), 'g'}, {word(kBlue), 'b'}};
    EXPECT_TRUE(filled(c, 2, 2, 7, 7, word(kRed))) << c.dump(legend);
    EXPECT_FALSE(c.painted(0, 0)) << c.dump(legend);
    EXPECT_FALSE(c.painted(10, 4)) << c.dump(legend);
    EXPECT_TRUE(filled(c, 12, 1, 18, 7, word(kBlue))) << c.dump(legend);
    EXPECT_EQ(c.count(word(kGreen)), 0) << c.dump(legend);
}

TEST(WmfFlood, PixelsNothingPaintedMatchNoColour) {
    // The untouched canvas holds its key with a nonzero alpha byte; a fill
    // of the surface in the key's colour finds nothing to fill, and a border
    // fill in that colour floods everything it reaches.
    const uint32_t keyColour = ptest::kKey & 0xFFFFFF;
    const uint32_t asColorref = (keyColour >> 16) | (keyColour & 0xFF00) | (keyColour & 0xFF) << 16;
    WmfWriter m = fillPicture(8, 8, kRed);
    m.extFloodFill(3, 3, asColorref, 1);
    Canvas c(8, 8);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    EXPECT_EQ(paintedCount(c), 0) << c.dump({{word(kRed), 'r'}});
    WmfWriter n = fillPicture(8, 8, kRed);
    n.floodFill(3, 3, asColorref);
    Canvas d(8, 8);
    ASSERT_TRUE(d.playWmf(n.bytes()));
    EXPECT_EQ(d.count(word(kRed)), 64) << d.dump({{word(kRed), 'r'}});
}

TEST(WmfText, OpaqueRectangleTakesTheBackgroundColourWhateverTheRop) {
    WmfWriter m = framedPicture(16, 8);
    m.setBkColor(kBlue).setROP2(11);  // R2_NOP does not stop the background
    m.extTextOut(2, 2, 2, 2, 2, 10, 6, "");
    Canvas c(16, 8);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    EXPECT_TRUE(filled(c, 2, 2, 9, 5, word(kBlue))) << c.dump({{word(kBlue), 'b'}});
    EXPECT_EQ(paintedCount(c), 8 * 4);
}

TEST(WmfEscapes, AnAbortProcedureIsNeverCalledAndPlaybackGoesOn) {
    WmfWriter m = fillPicture(8, 8, kRed);
    // SETABORTPROC with a "procedure address" pointing nowhere.
    m.escape(9, {0xEF, 0xBE, 0xAD, 0xDE});
    m.escape(15, {'n', 'o', 't', 'e'});  // a comment
    m.rectangle(1, 1, 6, 6);
    Canvas c(8, 8);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    EXPECT_TRUE(filled(c, 1, 1, 4, 4, word(kRed))) << c.dump({{word(kRed), 'r'}});
}

TEST(WmfEmbedded, AMetafileCarryingItsEnhancedOriginalPlaysTheOriginal) {
    // GetWinMetaFileBits keeps the EMF in comments at the start of the WMF
    // and makes the 16-bit sum of the file zero; converting back returns
    // that EMF, whose red square is drawn instead of the WMF's green one.
    EmfWriter e = ptest::pixelWriter(16, 16);
    e.select(kStockNullPen).createBrush(1, 0, kRed).select(1).rectangle(2, 2, 8, 8);
    auto build = [&](size_t chunk) {
        WmfWriter m;
        for (const auto &data : emfComments(e.bytes(), chunk)) m.escape(15, data);
        m.setWindowOrg(0, 0).setWindowExt(16, 16);
        m.createPen(kNull, 0, 0).createBrush(kBrushSolid, kGreen).select(0).select(1);
        m.rectangle(0, 0, 17, 17);
        return m.bytes();
    };
    auto wmf = build(100);
    fixCommentChecksum(wmf);
    Canvas c(16, 16);
    ASSERT_TRUE(c.playWmf(wmf));
    const std::vector<std::pair<uint32_t, char>> legend{{word(kRed), 'r'}, {word(kGreen), 'g'}};
    EXPECT_TRUE(filled(c, 2, 2, 7, 7, word(kRed))) << c.dump(legend);
    EXPECT_EQ(c.count(word(kGreen)), 0) << c.dump(legend);

    // A sum that is not zero: the records are converted instead.
    auto broken = build(100);
    fixCommentChecksum(broken);
    broken[40] ^= 1;
    Canvas d(16, 16);
    ASSERT_TRUE(d.playWmf(broken));
    EXPECT_EQ(d.count(word(kGreen)), 256) << d.dump(legend);
}

TEST(WmfBitmaps, StretchDibStretchesTheWholeDib) {
    // A 2 x 2 DIB over 8 x 8 pixels: each of its pixels becomes a 4 x 4
    // block, the DIB's top row on top.
    WmfWriter m = framedPicture(16, 16);
    stretchDib(m, 4, 4, 8, 8, 0, 0, 2, 2, packedDib(24, {{kRed, kGreen}, {kBlue, kYellow}}));
    Canvas c(16, 16);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{
        {word(kRed), 'r'}, {word(kGreen), 'g'}, {word(kBlue), 'b'}, {word(kYellow), 'y'}};
    EXPECT_TRUE(filled(c, 4, 4, 7, 7, word(kRed))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 8, 4, 11, 7, word(kGreen))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 4, 8, 7, 11, word(kBlue))) << c.dump(legend);
    EXPECT_TRUE(filled(c, 8, 8, 11, 11, word(kYellow))) << c.dump(legend);
    EXPECT_EQ(paintedCount(c), 64);
}

TEST(WmfBitmaps, DibBlitSourceRowsCountFromTheBottom) {
    // DIBBITBLT plays as StretchDIBits: a source y of 0 is the bottom row
    // of the bottom-up DIB, so the 2 x 2 block at source (2, 0) is the
    // bottom right quarter.
    const std::vector<std::vector<uint32_t>> rows{
        {kRed, kRed, kGreen, kGreen}, {kRed, kRed, kGreen, kGreen},
        {kBlue, kBlue, kYellow, kYellow}, {kBlue, kBlue, kYellow, kYellow}};
    std::vector<uint16_t> p{0x0020, 0x00CC, 0, 2, 2, 2, 3, 1};  // rop, ySrc, xSrc, h, w, y, x
    const std::vector<uint16_t> d = wordsOf(packedDib(24, rows));
    p.insert(p.end(), d.begin(), d.end());
    WmfWriter m = framedPicture(8, 8);
    m.recordWords(WMF_DIBBITBLT, p);
    Canvas c(8, 8);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    EXPECT_TRUE(filled(c, 1, 3, 2, 4, word(kYellow))) << c.dump({{word(kYellow), 'y'}});
    EXPECT_EQ(paintedCount(c), 4);
}

TEST(WmfBitmaps, PatternBrushesFromDibsTile) {
    // A 2 x 2 DIB pattern tiles from the device origin.
    WmfWriter m = framedPicture(8, 8);
    m.createPen(kNull, 0, 0).createDibBrush(packedDib(24, {{kRed, kBlue}, {kBlue, kRed}}));
    m.select(0).select(1).rectangle(0, 0, 7, 7);
    Canvas c(8, 8);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{{word(kRed), 'r'}, {word(kBlue), 'b'}};
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(c.at(x, y), word((x + y) % 2 ? kBlue : kRed)) << x << "," << y << c.dump(legend);
}

TEST(WmfBitmaps, PalettedDibsKeepTheirColourTable) {
    // 1- and 8-bit DIBs draw their table's colours (RGBQUADs, written here
    // as 0x00RRGGBB words): red and green; blue, red and yellow.
    WmfWriter m = framedPicture(8, 4);
    stretchDib(m, 0, 0, 2, 2, 0, 0, 2, 2, packedDib(1, {{0, 1}, {1, 0}}, {0x00FF0000, 0x0000FF00}));
    stretchDib(m, 4, 0, 2, 2, 0, 0, 2, 2, packedDib(8, {{2, 1}, {0, 2}}, {0x000000FF, 0x00FF0000, 0x00FFFF00}));
    Canvas c(8, 4);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{
        {word(kRed), 'r'}, {word(kGreen), 'g'}, {word(kBlue), 'b'}, {word(kYellow), 'y'}};
    EXPECT_EQ(c.at(0, 0), word(kRed)) << c.dump(legend);
    EXPECT_EQ(c.at(1, 0), word(kGreen)) << c.dump(legend);
    EXPECT_EQ(c.at(0, 1), word(kGreen)) << c.dump(legend);
    EXPECT_EQ(c.at(4, 0), word(kYellow)) << c.dump(legend);
    EXPECT_EQ(c.at(5, 0), word(kRed)) << c.dump(legend);
    EXPECT_EQ(c.at(4, 1), word(kBlue)) << c.dump(legend);
}

TEST(WmfBitmaps, PalettedDibsWithTheirFullTableImplied) {
    // biClrUsed 0: the table has 2^bpp entries.
    std::vector<uint32_t> table(16, 0);
    table[3] = 0x0000FF00, table[9] = 0x00FFFF00;
    WmfWriter m = framedPicture(4, 4);
    stretchDib(m, 0, 0, 2, 2, 0, 0, 2, 2, packedDib(4, {{3, 9}, {9, 3}}, table, true));
    Canvas c(4, 4);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{{word(kGreen), 'g'}, {word(kYellow), 'y'}};
    EXPECT_EQ(c.at(0, 0), word(kGreen)) << c.dump(legend);
    EXPECT_EQ(c.at(1, 0), word(kYellow)) << c.dump(legend);
    EXPECT_EQ(c.at(0, 1), word(kYellow)) << c.dump(legend);
}

TEST(WmfBitmaps, SetDibToDeviceDrawsUnscaledAtTheMappedPoint) {
    // Two logical units a pixel: the 2 x 2 DIB still covers 2 x 2 pixels,
    // from the device point of (3, 1), here (6, 2).
    WmfWriter m = framedPicture(8, 8);
    std::vector<uint16_t> p{0, 2, 0, 0, 0, 2, 2, 1, 3};  // usage, scans, first, ySrc, xSrc, h, w, y, x
    const std::vector<uint16_t> d = wordsOf(packedDib(24, {{kRed, kGreen}, {kBlue, kYellow}}));
    p.insert(p.end(), d.begin(), d.end());
    m.recordWords(WMF_SETDIBTODEV, p);
    Canvas c(16, 16);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{
        {word(kRed), 'r'}, {word(kGreen), 'g'}, {word(kBlue), 'b'}, {word(kYellow), 'y'}};
    EXPECT_EQ(c.at(6, 2), word(kRed)) << c.dump(legend);
    EXPECT_EQ(c.at(7, 2), word(kGreen)) << c.dump(legend);
    EXPECT_EQ(c.at(6, 3), word(kBlue)) << c.dump(legend);
    EXPECT_EQ(c.at(7, 3), word(kYellow)) << c.dump(legend);
    EXPECT_EQ(paintedCount(c), 4) << c.dump(legend);
}

TEST(WmfBitmaps, MonochromeDeviceBitmapsBlitInTextAndBackgroundColours) {
    // BITBLT with a Bitmap16 (type, width, height, bytes a row, planes and
    // bits a pixel, rows top first): 0 bits take the text colour, 1 bits
    // the background colour.
    WmfWriter m = framedPicture(8, 8);
    m.setTextColor(kRed).setBkColor(kBlue);
    // rop, ySrc, xSrc, h, w, y, x, then the bitmap: 2 x 2, rows 0b01, 0b10.
    m.recordWords(WMF_BITBLT, {0x0020, 0x00CC, 0, 0, 2, 2, 1, 1, 0, 2, 2, 2, 0x0101, 0x0040, 0x0080});
    Canvas c(8, 8);
    ASSERT_TRUE(c.playWmf(m.bytes()));
    const std::vector<std::pair<uint32_t, char>> legend{{word(kRed), 'r'}, {word(kBlue), 'b'}};
    EXPECT_EQ(c.at(1, 1), word(kRed)) << c.dump(legend);
    EXPECT_EQ(c.at(2, 1), word(kBlue)) << c.dump(legend);
    EXPECT_EQ(c.at(1, 2), word(kBlue)) << c.dump(legend);
    EXPECT_EQ(c.at(2, 2), word(kRed)) << c.dump(legend);
    EXPECT_EQ(paintedCount(c), 4) << c.dump(legend);
}
