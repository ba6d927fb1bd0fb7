// The three exports end to end, through a host device context.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <thread>
#include <vector>

#include "support/emf_writer.h"
#include "support/host.h"

using namespace vtest;

namespace {

constexpr uint32_t kGrey = 0xFF808080u;  // opaque grey background
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlue = 0xFF0000FFu;

// A 100 x 100 unit picture (10 mm at 10 px/mm): left half red, right half blue.
std::vector<uint8_t> halves() {
    EmfWriter w(0, 0, 1000, 1000);
    w.select(kStockNullPen)
        .createBrush(1, 0, rgb(255, 0, 0))
        .select(1)
        .rectangle(0, 0, 51, 101)
        .createBrush(2, 0, rgb(0, 0, 255))
        .select(2)
        .rectangle(50, 0, 101, 101)
        .select(kStockWhiteBrush)
        .record(EMR_DELETEOBJECT, {1})
        .record(EMR_DELETEOBJECT, {2});
    return w.bytes();
}

std::vector<uint8_t> empty() { return EmfWriter(0, 0, 1000, 1000).bytes(); }

struct Drawn {
    HostCanvas canvas;
    unsigned char result;
    Drawn(const std::vector<uint8_t> &emf, RECT r, int32_t key = 255, double angle = 0,
          double x0 = 0, double y0 = 0, double x1 = 1, double y1 = 1, int w = 64, int h = 64)
        : canvas(w, h, kGrey) {
        HENHMETAFILE mf = enhMetaFileFromBytes(emf);
        EXPECT_NE(mf, nullptr);
        result = Vellora(canvas.dc(), mf, &r, key, angle, x0, y0, x1, y1);
        deleteMetaFile(mf);
    }
};

}  // namespace

TEST(Vellora, DrawsThePictureIntoTheRectangleOnly) {
    const RECT r{8, 8, 47, 47};  // 40 x 40
    Drawn d(halves(), r);
    ASSERT_EQ(d.result, 1);
    EXPECT_EQ(d.canvas.at(12, 27), kRed);
    EXPECT_EQ(d.canvas.at(44, 27), kBlue);
    // Outside the rectangle, nothing changes.
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if (x < 8 || x > 47 || y < 8 || y > 47) {
                ASSERT_EQ(d.canvas.at(x, y), kGrey) << x << "," << y;
            }
}

TEST(Vellora, OnlyTheLowByteOfTheKeyCounts) {
    const RECT r{0, 0, 31, 31};
    Drawn a(halves(), r, 0x1FF), b(halves(), r, 0xFF);
    ASSERT_EQ(a.result, 1);
    EXPECT_EQ(a.canvas.pixels(), b.canvas.pixels());
}

TEST(Vellora, KeyBelowOpaqueBlendsHalfWay) {
    const RECT r{0, 0, 31, 31};
    Drawn d(halves(), r, 0x80);
    ASSERT_EQ(d.result, 1);
    const uint32_t p = d.canvas.at(5, 16);
    // Red limited to alpha 0x80 over grey: red ~0x80 + 0x80 * 127/255.
    EXPECT_NEAR(int(p >> 16 & 0xFF), 0x80 + 0x40, 3);
    EXPECT_NEAR(int(p >> 8 & 0xFF), 0x40, 3);
}

TEST(Vellora, ReversedAndOversizedCropWindowsDrawTheWholePicture) {
    const RECT r{0, 0, 31, 31};
    Drawn full(halves(), r);
    Drawn reversed(halves(), r, 255, 0, 1, 1, 0, 0);
    Drawn wide(halves(), r, 255, 0, -0.5, -2, 1.5, 3);
    EXPECT_EQ(reversed.canvas.pixels(), full.canvas.pixels());
    EXPECT_EQ(wide.canvas.pixels(), full.canvas.pixels());
}

TEST(Vellora, CropWindowStretchesItsPartOverTheRectangle) {
    const RECT r{0, 0, 31, 31};
    Drawn right(halves(), r, 255, 0, 0.5, 0, 1, 1);
    ASSERT_EQ(right.result, 1);
    EXPECT_EQ(right.canvas.at(2, 16), kBlue);
    EXPECT_EQ(right.canvas.at(16, 16), kBlue);
    EXPECT_EQ(right.canvas.at(29, 16), kBlue);
}

TEST(Vellora, QuarterTurnPutsTheRightEdgeAtTheTop) {
    const RECT r{0, 0, 39, 39};
    Drawn ccw(halves(), r, 255, M_PI / 2);
    ASSERT_EQ(ccw.result, 1);
    EXPECT_EQ(ccw.canvas.at(20, 5), kBlue);
    EXPECT_EQ(ccw.canvas.at(20, 34), kRed);
    Drawn cw(halves(), r, 255, -M_PI / 2);
    EXPECT_EQ(cw.canvas.at(20, 5), kRed);
    EXPECT_EQ(cw.canvas.at(20, 34), kBlue);
}

TEST(Vellora, EmptyPictureSucceedsAndChangesNothing) {
    const RECT r{0, 0, 63, 63};
    Drawn d(empty(), r);
    EXPECT_EQ(d.result, 1);
    for (uint32_t p : d.canvas.pixels()) ASSERT_EQ(p, kGrey);
}

TEST(Vellora, OnePixelRectangleIsAccepted) {
    const RECT r{5, 5, 5, 5};
    Drawn d(halves(), r);
    EXPECT_EQ(d.result, 1);
    EXPECT_NE(d.canvas.at(5, 5), kGrey);
    EXPECT_EQ(d.canvas.at(6, 5), kGrey);
}

TEST(Vellora, RefusesBadArgumentsWithoutLeavingAnything) {
    HostCanvas canvas(16, 16, kGrey);
    HENHMETAFILE mf = enhMetaFileFromBytes(halves());
    ASSERT_NE(mf, nullptr);
    const long before = liveGraphicsObjects();
    const RECT ok{0, 0, 15, 15};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Vellora(nullptr, mf, &ok, 255, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(Vellora(canvas.dc(), nullptr, &ok, 255, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(Vellora(canvas.dc(), mf, nullptr, 255, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(Vellora(canvas.dc(), mf, &ok, 255, nan, 0, 0, 1, 1), 0);
    EXPECT_EQ(Vellora(canvas.dc(), mf, &ok, 255, inf, 0, 0, 1, 1), 0);
    EXPECT_EQ(Vellora(canvas.dc(), mf, &ok, 255, 0, nan, 0, 1, 1), 0);
    EXPECT_EQ(Vellora(canvas.dc(), mf, &ok, 255, 0, 0, 0, 1, -inf), 0);
    // Zero extent after normalisation.
    EXPECT_EQ(Vellora(canvas.dc(), mf, &ok, 255, 0, 0.5, 0, 0.5, 1), 0);
    EXPECT_EQ(Vellora(canvas.dc(), mf, &ok, 255, 0, 2, 0, 3, 1), 0);
    // Reversed and absurd rectangles.
    const RECT reversed{10, 10, 5, 12}, huge{0, 0, 1000000, 1000000},
        extreme{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    EXPECT_EQ(Vellora(canvas.dc(), mf, &reversed, 255, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(Vellora(canvas.dc(), mf, &huge, 255, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(Vellora(canvas.dc(), mf, &extreme, 255, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(liveGraphicsObjects(), before);
    for (uint32_t p : canvas.pixels()) ASSERT_EQ(p, kGrey);
    deleteMetaFile(mf);
}

TEST(Vellora, RefusedBlendGivesZeroAndReleasesEverything) {
    HENHMETAFILE mf = enhMetaFileFromBytes(halves());
    HDC dc = createNoAlphaDC();
    ASSERT_NE(dc, nullptr);
    const long before = liveGraphicsObjects();
    const RECT r{0, 0, 19, 19};
    EXPECT_EQ(Vellora(dc, mf, &r, 255, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(liveGraphicsObjects(), before);
    deleteNoAlphaDC(dc);
    deleteMetaFile(mf);
}

TEST(Vellora, ManyCallsLeaveNothingBehind) {
    HostCanvas canvas(24, 24, kGrey);
    HENHMETAFILE mf = enhMetaFileFromBytes(halves());
    const long before = liveGraphicsObjects();
    for (int i = 0; i < 1000; ++i) {
        const RECT r{i % 5, i % 7, 10 + i % 13, 12 + i % 11};
        ASSERT_EQ(Vellora(canvas.dc(), mf, &r, 255, i * 0.01, 0, 0, 1, 1), 1);
    }
    EXPECT_EQ(liveGraphicsObjects(), before);
    deleteMetaFile(mf);
}

TEST(Vellora, TenThousandMixedCallsLeaveNothingBehind) {
    HostCanvas canvas(24, 24, kGrey);
    HENHMETAFILE mf = enhMetaFileFromBytes(halves());
    HDC refusing = createNoAlphaDC();
    std::vector<uint8_t> junk(100, 0x33);
    const std::string good = writeTempFile("mixed-good.emf", halves());
    const std::string bad = writeTempFile("mixed-bad.emf", junk);
    const long before = liveGraphicsObjects();
    int succeeded = 0;
    for (int i = 0; i < 10000; ++i) {
        const RECT r{i % 3, i % 5, 8 + i % 9, 6 + i % 7};
        const RECT reversed{10, 10, 2, 2};
        switch (i % 8) {
        case 0: succeeded += Vellora(canvas.dc(), mf, &r, 255, i * 0.1, 0, 0, 1, 1); break;
        case 1: succeeded += Vellora(refusing, mf, &r, 255, 0, 0, 0, 1, 1); break;
        case 2: succeeded += Vellora(canvas.dc(), mf, &reversed, 255, 0, 0, 0, 1, 1); break;
        case 3: succeeded += Vellora(canvas.dc(), mf, &r, 255, 0, 0.3, 0.3, 0.3, 1); break;
        case 4: succeeded += VelloraFile(canvas.dc(), good.c_str(), &r, 255, 1, 0.2); break;
        case 5: succeeded += VelloraFile(canvas.dc(), bad.c_str(), &r, 255, 1, 0); break;
        case 6: succeeded += VelloraFile(canvas.dc(), "no-such-file.emf", &r, 255, 1, 0); break;
        default: succeeded += VelloraFile(refusing, good.c_str(), &r, 255, 0, 0); break;
        }
    }
    EXPECT_EQ(succeeded, 2500);  // the two drawing cases of eight
    EXPECT_EQ(liveGraphicsObjects(), before);
    std::remove(good.c_str());
    std::remove(bad.c_str());
    deleteNoAlphaDC(refusing);
    deleteMetaFile(mf);
}

TEST(Vellora, ConcurrentCallsDrawWhatOneThreadDraws) {
    // Eight different pictures, each drawn by its own thread into its own
    // device context, must come out as they do one at a time.
    std::vector<std::vector<uint8_t>> pictures;
    for (int t = 0; t < 8; ++t) {
        EmfWriter w(0, 0, 1000, 1000);
        w.createPen(1, 0, 1 + t, rgb(uint8_t(30 * t), 0, 0)).select(1);
        w.createBrush(2, t % 2 ? 0 : 2, rgb(0, uint8_t(200 - 20 * t), 255), uint32_t(t % 6)).select(2);
        w.ellipse(5 + t, 10, 95 - t, 90 - 2 * t).rectangle(20, 20 + t, 60 + 3 * t, 70);
        w.polygon({{10, 90}, {50, 5 + 5 * t}, {90, 90}}, t % 2 == 1);
        pictures.push_back(w.bytes());
    }
    const RECT r{2, 3, 41, 37};
    std::vector<std::vector<uint32_t>> want;
    for (int t = 0; t < 8; ++t) want.push_back(Drawn(pictures[t], r, 255, 0.4 * t).canvas.pixels());
    std::vector<std::thread> threads;
    std::vector<int> same(8, 0);
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                Drawn d(pictures[t], r, 255, 0.4 * t);
                same[t] += d.result == 1 && d.canvas.pixels() == want[t];
            }
        });
    for (auto &th : threads) th.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(same[t], 20) << "thread " << t;
    // The pictures differ, so a thread drawing another's would be caught.
    EXPECT_NE(want[0], want[1]);
}

// ---- file variants

namespace {
std::vector<uint16_t> utf16(const std::string &s) {
    // Test paths are ASCII or UTF-8; decode enough of UTF-8 for them.
    std::vector<uint16_t> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        uint32_t cp;
        if (c < 0x80) cp = c, i += 1;
        else if (c < 0xE0) cp = (c & 0x1F) << 6 | (s[i + 1] & 0x3F), i += 2;
        else cp = (c & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F), i += 3;
        out.push_back(uint16_t(cp));
    }
    out.push_back(0);
    return out;
}
}  // namespace

// Every size in the int range either draws the whole picture or fails at
// once with nothing drawn: the sides the resampler and rasteriser carry, the
// bytes of the two bitmaps, and rectangles that are not rectangles. Drawn
// targets are checked at both ends through an 8 x 8 window, for the handle
// and the file variants alike.
TEST(Vellora, SizesAtTheLimitsDrawWholeOrFailAtOnce) {
    struct Case {
        int64_t w, h;
        int expected;
    } cases[] = {
        {32767, 4, 1},       {32768, 4, 0},          {32769, 4, 0},
        {65535, 4, 0},       {65536, 2, 0},          {4, 1 << 20, 1},
        {4, (1 << 20) + 1, 0}, {4, 1 << 22, 0},      {1 << 22, 4, 0},
        {5792, 5792, 0},     {INT32_MAX, 4, 0},      {4, INT32_MAX, 0},
        {0, 4, 0},           {4, -5, 0},             {-3, 4, 0},
    };
    HENHMETAFILE mf = enhMetaFileFromBytes(halves());
    ASSERT_NE(mf, nullptr);
    const std::string path = writeTempFile("limits.emf", halves());
    const auto wide = utf16(path);
    const long before = liveGraphicsObjects();
    for (const Case &c : cases) {
        for (bool atEnd : {false, true}) {
            // Right and bottom as the caller would write them, wrapped to 32 bits.
            const int64_t left = atEnd ? 8 - c.w : 0, top = atEnd ? 8 - c.h : 0;
            const RECT r{int32_t(left), int32_t(top), int32_t(uint32_t(left + c.w - 1)),
                         int32_t(uint32_t(top + c.h - 1))};
            SCOPED_TRACE(::testing::Message() << c.w << " x " << c.h << (atEnd ? " at its end" : ""));
            HostCanvas byHandle(8, 8, kGrey), byName(8, 8, kGrey), byWideName(8, 8, kGrey);
            EXPECT_EQ(Vellora(byHandle.dc(), mf, &r, 255, 0, 0, 0, 1, 1), c.expected);
            EXPECT_EQ(VelloraFile(byName.dc(), path.c_str(), &r, 255, 0, 0.0), c.expected);
            EXPECT_EQ(VelloraFileW(byWideName.dc(), reinterpret_cast<const WCHAR *>(wide.data()), &r,
                                   255, 0, 0.0),
                      c.expected);
            EXPECT_EQ(byName.pixels(), byHandle.pixels());
            EXPECT_EQ(byWideName.pixels(), byHandle.pixels());
            if (!c.expected) {
                for (uint32_t p : byHandle.pixels()) ASSERT_EQ(p, kGrey);
                continue;
            }
            // Inside the picture's one-pixel soft edge: red on the left, blue
            // on the right, at the first and the last rows alike.
            const int x = !atEnd ? 1 : c.w > 8 ? 6 : int(9 - c.w);
            const int y = !atEnd ? 1 : c.h > 8 ? 6 : int(9 - c.h);
            const uint32_t want = atEnd && c.w > 8 ? kBlue : kRed;
            EXPECT_EQ(byHandle.at(x, y), want);
        }
    }
    EXPECT_EQ(liveGraphicsObjects(), before);
    std::remove(path.c_str());
    deleteMetaFile(mf);
}

TEST(VelloraFile, DrawsAFileAsTheHandleVariantDoes) {
    const std::string path = writeTempFile("halves.emf", halves());
    const RECT r{0, 0, 31, 31};
    HostCanvas viaFile(32, 32, kGrey);
    EXPECT_EQ(VelloraFile(viaFile.dc(), path.c_str(), &r, 255, 0, 0.0), 1);
    Drawn viaHandle(halves(), r, 255, 0, 0, 0, 1, 1, 32, 32);
    EXPECT_EQ(viaFile.pixels(), viaHandle.canvas.pixels());
    HostCanvas wide(32, 32, kGrey);
    const auto w = utf16(path);
    EXPECT_EQ(VelloraFileW(wide.dc(), reinterpret_cast<const WCHAR *>(w.data()), &r, 255, 0, 0.0), 1);
    EXPECT_EQ(wide.pixels(), viaHandle.canvas.pixels());
    std::remove(path.c_str());
}

TEST(VelloraFile, KeepAspectFitsACopyIntoTheTopLeft) {
    // Frame 1000 x 3000: ratio 1/3 held as a float. A tall picture filled
    // with blue; the target 41 x 301 shrinks to 41 x (40 / 0.3333) + 1 rows.
    EmfWriter w(0, 0, 1000, 3000);
    w.select(kStockNullPen).createBrush(1, 0, rgb(0, 0, 255)).select(1).rectangle(-10, -10, 200, 400);
    const std::string path = writeTempFile("tall.emf", w.bytes());
    RECT r{0, 0, 40, 300};
    const RECT copy = r;
    HostCanvas canvas(64, 320, kGrey);
    EXPECT_EQ(VelloraFile(canvas.dc(), path.c_str(), &r, 255, 1, 0.0), 1);
    EXPECT_EQ(r.left, copy.left);
    EXPECT_EQ(r.right, copy.right);
    EXPECT_EQ(r.bottom, copy.bottom);
    EXPECT_EQ(canvas.at(20, 60), kBlue);
    EXPECT_EQ(canvas.at(20, 118), kBlue);  // last fitted row is 119
    EXPECT_EQ(canvas.at(20, 121), kGrey);
    EXPECT_EQ(canvas.at(20, 250), kGrey);
    // The low byte alone decides: 0x100 does not fit.
    HostCanvas unfitted(64, 320, kGrey);
    EXPECT_EQ(VelloraFile(unfitted.dc(), path.c_str(), &r, 255, 0x100, 0.0), 1);
    EXPECT_EQ(unfitted.at(20, 250), kBlue);
    std::remove(path.c_str());
}

TEST(VelloraFile, RefusesWhatIsNotADrawableFile) {
    HostCanvas canvas(16, 16, kGrey);
    const RECT r{0, 0, 15, 15};
    const long before = liveGraphicsObjects();
    EXPECT_EQ(VelloraFile(nullptr, "x.emf", &r, 255, 1, 0), 0);
    EXPECT_EQ(VelloraFile(canvas.dc(), nullptr, &r, 255, 1, 0), 0);
    EXPECT_EQ(VelloraFile(canvas.dc(), "x.emf", nullptr, 255, 1, 0), 0);
    EXPECT_EQ(VelloraFileW(canvas.dc(), nullptr, &r, 255, 1, 0), 0);
    EXPECT_EQ(VelloraFile(canvas.dc(), "/nonexistent/dir/none.emf", &r, 255, 1, 0), 0);
    // Short and junk files: no metafile handle, so nothing is drawn.
    const std::string tiny = writeTempFile("tiny.wmf", {1, 0, 9});
    const std::string none = writeTempFile("empty.wmf", {});
    std::vector<uint8_t> junk(300, 0x5A);
    const std::string junkPath = writeTempFile("junk.emf", junk);
    auto truncated = halves();
    truncated.resize(60);
    const std::string cut = writeTempFile("cut.emf", truncated);
    for (const std::string &p : {tiny, none, junkPath, cut}) {
        EXPECT_EQ(VelloraFile(canvas.dc(), p.c_str(), &r, 255, 1, 0), 0) << p;
        std::remove(p.c_str());
    }
    EXPECT_EQ(liveGraphicsObjects(), before);
    for (uint32_t p : canvas.pixels()) ASSERT_EQ(p, kGrey);
}
