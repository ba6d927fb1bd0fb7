// The header the native layer reports for a Windows metafile: what the
// platform's SetWinMetaFileBits, given no reference DC and no picture
// format, records about the picture (docs/wmf.md).
#include <gtest/gtest.h>

#include "player/player.h"
#include "support/emf_writer.h"
#include "support/wmf_writer.h"

using namespace vtest;

namespace {

ENHMETAHEADER headerOf(const std::vector<uint8_t> &wmf) {
    ENHMETAHEADER h;
    vellora::player::winMetaFileHeader(wmf.data(), wmf.size(), &h);
    return h;
}

void expectRect(const RECT &r, int32_t l, int32_t t, int32_t rt, int32_t b) {
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rt);
    EXPECT_EQ(r.bottom, b);
}

// A picture whose logical units are reference-device pixels: the
// conversion starts with window and viewport both 1024 x 768.
WmfWriter devicePicture() { return WmfWriter(); }

}  // namespace

TEST(WmfHeader, RecognisesTheThreeHeaderFieldsItChecks) {
    const std::vector<uint8_t> good = WmfWriter().bytes();
    EXPECT_TRUE(vellora::player::isWinMetaFile(good.data(), good.size()));
    auto with = [&](size_t at, uint16_t v) {
        std::vector<uint8_t> b = good;
        b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
        return vellora::player::isWinMetaFile(b.data(), b.size());
    };
    EXPECT_TRUE(with(0, 2));       // disk metafile
    EXPECT_TRUE(with(4, 0x100));   // version 1.0
    EXPECT_FALSE(with(0, 3));      // no such type
    EXPECT_FALSE(with(2, 10));     // header of 10 words
    EXPECT_FALSE(with(4, 0x200));  // no such version
    EXPECT_FALSE(vellora::player::isWinMetaFile(good.data(), 17));
    EXPECT_FALSE(vellora::player::isWinMetaFile(nullptr, 100));
}

TEST(WmfHeader, FrameIsTheDrawnBoxOnTheReferenceDisplay) {
    // Window 200 x 100 over the 1024 x 768 display; the box (0, 0, 101, 51)
    // is recorded as (0, 0, 100, 50), half of each way: device pixels
    // (0, 0)-(512, 384), which at 271 x 203 mm are 13550 x 10150 hundredths
    // of a millimetre.
    WmfWriter m;
    m.setWindowOrg(0, 0).setWindowExt(200, 100).rectangle(0, 0, 101, 51);
    const ENHMETAHEADER h = headerOf(m.bytes());
    EXPECT_EQ(h.iType, 1u);
    EXPECT_EQ(h.dSignature, 0x464D4520u);
    EXPECT_EQ(h.szlDevice.cx, 1024);
    EXPECT_EQ(h.szlDevice.cy, 768);
    EXPECT_EQ(h.szlMillimeters.cx, 271);
    EXPECT_EQ(h.szlMillimeters.cy, 203);
    expectRect(h.rclBounds, 0, 0, 512, 384);
    expectRect(h.rclFrame, 0, 0, 13550, 10150);
}

TEST(WmfHeader, NothingDrawnLeavesTheRecordersEmptyBox) {
    // Bounds (0, 0, -1, -1) scaled like any others: -27100 / 1024 and
    // -20300 / 768 truncate to -26.
    WmfWriter m;
    m.setWindowExt(100, 100).createPen(0, 0, 0).select(0).moveTo(5, 5);
    m.intersectClipRect(0, 0, 50, 50).floodFill(3, 3, 0);
    const ENHMETAHEADER h = headerOf(m.bytes());
    expectRect(h.rclBounds, 0, 0, -1, -1);
    expectRect(h.rclFrame, 0, 0, -26, -26);
}

TEST(WmfHeader, BoundsOfEachKindOfRecord) {
    {
        // A line from the current position.
        WmfWriter m = devicePicture();
        m.moveTo(30, 10).lineTo(20, 40);
        expectRect(headerOf(m.bytes()).rclBounds, 20, 10, 30, 40);
    }
    {
        // Boxes one unit smaller, whichever way they are given.
        WmfWriter m = devicePicture();
        m.rectangle(30, 40, 10, 20);
        expectRect(headerOf(m.bytes()).rclBounds, 10, 20, 29, 39);
    }
    {
        // Pattern blits: the destination less one.
        WmfWriter m = devicePicture();
        m.patBlt(100, 200, 50, 10, 0xF00021);
        expectRect(headerOf(m.bytes()).rclBounds, 100, 200, 149, 209);
    }
    {
        // An arc from 0 to 45 degrees of the box (0, 0, 100, 100): its end
        // at (85.36, 14.64) truncated, the rightmost extreme (angle 0) taken
        // to the box's edge; a pie reaches to the centre (50, 50) too.
        WmfWriter arc = devicePicture(), pie = devicePicture();
        arc.arc(WMF_ARC, 0, 0, 101, 101, 100, 50, 100, 0);
        pie.arc(WMF_PIE, 0, 0, 101, 101, 100, 50, 100, 0);
        expectRect(headerOf(arc.bytes()).rclBounds, 85, 14, 100, 50);
        expectRect(headerOf(pie.bytes()).rclBounds, 50, 14, 100, 50);
    }
    {
        // Points of polygons and polylines; a one-point polygon is refused
        // and adds nothing.
        WmfWriter m = devicePicture();
        m.polygon({{500, 500}});
        m.polyline({{7, 9}, {3, 12}, {5, 2}});
        expectRect(headerOf(m.bytes()).rclBounds, 3, 2, 7, 12);
    }
    {
        // Regions: their box less one, through the mapping.
        WmfWriter m = devicePicture();
        m.createBrush(0, 0).createRegion({{10, 20, {30, 40}}, {20, 25, {35, 60}}});
        m.fillRegion(1, 0);
        expectRect(headerOf(m.bytes()).rclBounds, 30, 10, 59, 24);
    }
}

TEST(WmfHeader, MappingAtRecordTimeScalesTheBounds) {
    // The second rectangle is recorded after the window changed: its
    // device box is twice as large as its units say.
    WmfWriter m = devicePicture();
    m.rectangle(0, 0, 11, 11);
    m.setWindowExt(512, 384).rectangle(100, 100, 201, 151);
    expectRect(headerOf(m.bytes()).rclBounds, 0, 0, 400, 300);
}

TEST(WmfHeader, AnEmbeddedOriginalReportsItsOwnHeader) {
    EmfWriter e(0, 0, 2000, 1500, 800, 600, 200, 150);
    e.rectangle(1, 1, 5, 5);
    const std::vector<uint8_t> emf = e.bytes();
    WmfWriter m;
    for (const auto &data : emfComments(emf, 64)) m.escape(15, data);
    m.rectangle(0, 0, 300, 300);
    std::vector<uint8_t> wmf = m.bytes();
    fixCommentChecksum(wmf);
    const ENHMETAHEADER h = headerOf(wmf);
    expectRect(h.rclFrame, 0, 0, 2000, 1500);
    EXPECT_EQ(h.szlDevice.cx, 800);
    EXPECT_EQ(h.szlMillimeters.cy, 150);
    EXPECT_EQ(h.nBytes, uint32_t(emf.size()));
}
