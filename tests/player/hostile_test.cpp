// Malformed and hostile metafiles: playback ends or skips, never crashes,
// never reads past its data, and stays fast.
#include <gtest/gtest.h>

#include <chrono>

#include "canvas.h"
#include "gdi/dc/objects.h"
#include "gdi/raster/stroke.h"

using namespace vtest;
using ptest::Canvas;
using ptest::word;

namespace {

void put32(std::vector<uint8_t> &v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

TEST(Hostile, RecordPastTheEndStopsPlaybackKeepingWhatWasDrawn) {
    EmfWriter w = ptest::pixelWriter(10, 10);
    w.select(kStockNullPen).select(kStockBlackBrush).rectangle(0, 0, 5, 5);
    w.record(0x4242, {1, 2, 3});  // patched below to claim 64 KiB
    w.rectangle(5, 5, 10, 10);
    auto bytes = w.bytes();
    // Find the fake record: header 108 + three records of 12, 12, 24 bytes.
    const size_t at = 108 + 12 + 12 + 24;
    ASSERT_EQ(bytes[at], 0x42);
    put32(bytes, at + 4, 0x10000);
    Canvas c(10, 10);
    EXPECT_TRUE(c.play(bytes));
    EXPECT_TRUE(c.painted(2, 2));
    EXPECT_FALSE(c.painted(7, 7));
}

TEST(Hostile, UnknownAndZeroSizedRecords) {
    EmfWriter w = ptest::pixelWriter(10, 10);
    w.record(0x7777, {1});
    w.select(kStockNullPen).select(kStockBlackBrush).rectangle(0, 0, 5, 5);
    w.record(0x4242, {});
    w.rectangle(5, 5, 10, 10);
    auto bytes = w.bytes();
    Canvas c(10, 10);
    c.play(bytes);
    EXPECT_TRUE(c.painted(2, 2));  // unknown record skipped
    EXPECT_TRUE(c.painted(7, 7));
    const size_t at = 108 + 12 + 12 + 12 + 24;
    ASSERT_EQ(bytes[at], 0x42);
    put32(bytes, at + 4, 0);  // a zero size would never advance
    Canvas d(10, 10);
    d.play(bytes);
    EXPECT_TRUE(d.painted(2, 2));
    EXPECT_FALSE(d.painted(7, 7));
}

TEST(Hostile, CountsPastTheRecordDrawNothing) {
    EmfWriter w = ptest::pixelWriter(10, 10);
    w.select(kStockBlackBrush);
    w.record(EMR_POLYGON, {0, 0, 0, 0, 0x7FFFFFFF, 1, 1, 8, 1, 8, 8});
    w.record(EMR_POLYGON16, {0, 0, 0, 0, -1, 0x00010001, 0x00010008});
    w.record(EMR_POLYPOLYGON16, {0, 0, 0, 0, 2, 3, 0x40000000, 0x40000000, 0x00010001});
    w.record(EMR_POLYPOLYGON, {0, 0, 0, 0, 1, 1, 5, 1, 1});  // counts exceed total
    w.record(EMR_RECTANGLE, {1, 1});                       // short record
    w.record(EMR_EXTSELECTCLIPRGN, {0x7FFFFFF0, 5, 32, 1, 0x10000000});
    Canvas c(10, 10);
    c.play(w.bytes());
    EXPECT_EQ(c.count(ptest::kKey), 100) << c.dump({});
}

TEST(Hostile, AbsurdCoordinatesAreClippedNotWrapped) {
    EmfWriter w = ptest::pixelWriter(10, 10);
    w.select(kStockNullPen).select(kStockBlackBrush);
    w.rectangle(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
    w.worldTransform(1e30f, 0, 0, 1e30f, 0, 0);
    w.rectangle(-5, -5, 5, 5);
    w.moveTo(INT32_MIN, 3).lineTo(INT32_MAX, 3);
    w.ellipse(-2000000000, -2000000000, 2000000000, 2000000000);
    Canvas c(10, 10);
    c.play(w.bytes());
    EXPECT_EQ(c.count(word(0)), 100) << c.dump({});
}

TEST(Hostile, NanTransformIsRefused) {
    EmfWriter w = ptest::pixelWriter(10, 10);
    w.select(kStockNullPen).select(kStockBlackBrush);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    w.worldTransform(nan, 0, 0, 1, 0, 0);
    w.worldTransform(1, 0, 0, 1, nan, 0, 2);
    w.rectangle(0, 0, 5, 5);
    Canvas c(10, 10);
    c.play(w.bytes());
    EXPECT_EQ(c.count(word(0)), 25) << c.dump({});
}

TEST(Hostile, DeepSaveDCAndManyPointsStayBounded) {
    EmfWriter w = ptest::pixelWriter(64, 64);
    for (int i = 0; i < 200000; ++i) w.record(EMR_SAVEDC, {});
    w.select(kStockBlackBrush);
    std::vector<Pt> zigzag;
    for (int i = 0; i < 400000; ++i) zigzag.push_back({(i % 2) ? 63 : 0, (i * 7) % 64});
    w.polygon(zigzag);
    w.polyline(zigzag, true);
    for (int i = 0; i < 200000; ++i) w.record(EMR_RESTOREDC, {-1});
    const auto start = std::chrono::steady_clock::now();
    Canvas c(64, 64);
    c.play(w.bytes());
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(secs, 20.0);  // a hang guard, not a speed measurement
    EXPECT_GT(c.count(word(0)), 0);
}

TEST(Hostile, WideDashedPenOverHugeLineEndsByBudget) {
    EmfWriter w = ptest::pixelWriter(16, 16);
    w.extCreatePen(1, 0x10000 | 0x200 | 7, 3, 0, {1, 1}).select(1);  // geometric user style
    w.moveTo(-100000000, 8).lineTo(100000000, 9);
    w.extCreatePen(2, 0x10000 | 7, 2, 0, {0, 0}).select(2);  // all-zero style
    w.moveTo(0, 0).lineTo(15, 15);
    Canvas c(16, 16);
    c.play(w.bytes());
    EXPECT_GT(c.count(word(0)), 0);
}

// A pen far wider than the bitmap: its round dots at every cap and join
// give spans for the visible rows only, so each costs the bitmap's height
// and not the pen's width.
TEST(Hostile, RoundDotsOfAHugePenStayInsideTheBitmap) {
    using namespace vellora::gdi;
    std::vector<Point> pts;
    for (int i = 0; i < 60; ++i) pts.push_back({(i * 7) % 48, (i * 13) % 48});
    const Rect clip{0, 0, 48, 48};
    for (bool scratch : {false, true}) {
        SpanSink sink;
        WorkBudget work;
        StrokeScratch kept;
        wideLine(pts.data(), pts.size(), false, 60000, PS_ENDCAP_ROUND, PS_JOIN_ROUND, 10, clip, sink, work,
                 scratch ? &kept : nullptr);
        std::vector<Span> spans;
        sink.take(spans);
        ASSERT_FALSE(spans.empty());
        EXPECT_LE(spans.size(), size_t(48) * 3 * pts.size());
        for (const Span &sp : spans) {
            ASSERT_GE(sp.y, clip.top);
            ASSERT_LT(sp.y, clip.bottom);
            ASSERT_GE(sp.x0, clip.left);
            ASSERT_LE(sp.x1, clip.right);
        }
    }
}

TEST(Hostile, CorpusBrokenFilesPlayWithoutCrashing) {
    // Every byte prefix of a small valid metafile, with nBytes patched to
    // the prefix: playback must stop cleanly at whatever is cut.
    EmfWriter w = ptest::pixelWriter(10, 10);
    w.select(kStockBlackBrush).rectangle(0, 0, 5, 5).polygon({{1, 1}, {8, 1}, {8, 8}}, true);
    w.ellipse(1, 1, 9, 9).moveTo(0, 0).lineTo(9, 9);
    const auto full = w.bytes();
    for (size_t n = 108; n <= full.size(); n += 4) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + long(n));
        put32(cut, 48, uint32_t(n));
        Canvas c(10, 10);
        EXPECT_TRUE(c.play(cut)) << n;
    }
}

}  // namespace
