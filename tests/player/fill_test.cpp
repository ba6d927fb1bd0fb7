// The polygon filler against the rule it implements, worked out pixel by
// pixel: a pixel is inside when the edges crossing its row at or left of
// it (the row's top, half-open in y) give an odd count, or a non-zero
// winding. Exact in 128 bits, so it also holds for coordinates near the
// ends of the 32-bit range, where the filler steps from row to row.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "gdi/raster/raster.h"
#include "gdi/raster/stroke.h"

using namespace vellora::gdi;

namespace {

std::vector<std::vector<bool>> byRule(const std::vector<Point> &pts, const std::vector<uint32_t> &counts,
                                      bool winding, const Rect &clip) {
    std::vector<std::vector<bool>> in(size_t(clip.bottom - clip.top),
                                      std::vector<bool>(size_t(clip.right - clip.left), false));
    for (int32_t y = clip.top; y < clip.bottom; ++y)
        for (int32_t x = clip.left; x < clip.right; ++x) {
            int odd = 0, wind = 0;
            size_t base = 0;
            for (uint32_t n : counts) {
                for (uint32_t i = 0; i < n; ++i) {
                    Point a = pts[base + i], b = pts[base + (i + 1) % n];
                    int dir = 1;
                    if (a.y == b.y) continue;
                    if (a.y > b.y) std::swap(a, b), dir = -1;
                    if (y < a.y || y >= b.y) continue;
                    // x >= crossing, with crossing = (a.x (b.y - y) + b.x (y - a.y)) / (b.y - a.y)
                    const int64_t above = int64_t(y) - a.y, below = int64_t(b.y) - y;
                    const __int128 num = __int128(a.x) * below + __int128(b.x) * above;
                    if (__int128(x) * (above + below) >= num) odd ^= 1, wind += dir;
                }
                base += n;
            }
            in[size_t(y - clip.top)][size_t(x - clip.left)] = winding ? wind != 0 : odd != 0;
        }
    return in;
}

std::vector<std::vector<bool>> byFiller(const std::vector<Point> &pts, const std::vector<uint32_t> &counts,
                                        bool winding, const Rect &clip, FillScratch *scratch) {
    SpanSink sink;
    WorkBudget work;
    fillPolygons(pts.data(), counts.data(), counts.size(), winding, clip, sink, work, scratch);
    std::vector<Span> spans;
    sink.take(spans);
    std::vector<std::vector<bool>> in(size_t(clip.bottom - clip.top),
                                      std::vector<bool>(size_t(clip.right - clip.left), false));
    for (const Span &s : spans)
        for (int32_t x = s.x0; x < s.x1; ++x) {
            auto px = in.at(size_t(s.y - clip.top)).at(size_t(x - clip.left));
            EXPECT_FALSE(px) << "pixel painted twice at " << x << "," << s.y;
            px = true;
        }
    return in;
}

}  // namespace

TEST(PolygonFill, EveryPixelFollowsTheCrossingRule) {
    std::mt19937 rng(20261209);
    FillScratch kept;  // reused across polygons, as playback reuses it
    int checked = 0;
    for (int round = 0; round < 300; ++round) {
        // Small pictures, pictures with far-away vertices, and ones whose
        // vertices sit near the ends of the coordinate range.
        const int32_t spread = round % 3 == 0 ? 40 : round % 3 == 1 ? 5000 : 2000000000;
        std::uniform_int_distribution<int32_t> coord(-spread, spread);
        std::uniform_int_distribution<int> figures(1, 3), corners(3, 7);
        std::vector<Point> pts;
        std::vector<uint32_t> counts;
        for (int f = figures(rng); f > 0; --f) {
            const int n = corners(rng);
            for (int i = 0; i < n; ++i) pts.push_back({coord(rng) / (i % 2 ? 1 : 7) + 20, coord(rng) + 20});
            counts.push_back(uint32_t(n));
        }
        const Rect clip{-4, -4, 44, 44};
        for (bool winding : {false, true}) {
            EXPECT_EQ(byFiller(pts, counts, winding, clip, round % 2 ? &kept : nullptr),
                      byRule(pts, counts, winding, clip))
                << "round " << round << (winding ? " winding" : " alternate");
            ++checked;
        }
    }
    EXPECT_EQ(checked, 600);
}

// A closed dashed figure that starts near the clip is dashed whole, so
// that its pattern wraps around; where it runs far from the clip it steps
// over whole periods of the pattern. What it paints inside a small clip
// must be exactly what it paints there under a clip holding the whole
// figure, where no such steps are taken.
TEST(DashedStroke, StepsFarFromTheClipPaintWhatWalkingDashByDashPaints) {
    std::mt19937 rng(912);
    const Rect small{100, 80, 140, 110}, whole{-5000, -5000, 5000, 5000};
    const std::vector<std::vector<uint32_t>> patterns = {{6, 4}, {3}, {5, 0, 2}, {1, 1}, {20, 7, 2, 7}};
    auto pixels = [&](const std::vector<Point> &pts, bool closed, int32_t width, uint32_t cap,
                      const std::vector<uint32_t> &dashes, const Rect &clip) {
        SpanSink sink;
        WorkBudget work;
        dashedWideLine(pts.data(), pts.size(), closed, width, cap, 0, 10, dashes, clip, sink, work);
        std::vector<Span> spans;
        sink.take(spans);
        std::vector<bool> in(size_t(small.right - small.left) * size_t(small.bottom - small.top), false);
        for (const Span &s : spans) {
            if (s.y < small.top || s.y >= small.bottom) continue;
            for (int32_t x = std::max(s.x0, small.left); x < std::min(s.x1, small.right); ++x)
                in[size_t(s.y - small.top) * size_t(small.right - small.left) + size_t(x - small.left)] = true;
        }
        return in;
    };
    int drawn = 0;
    for (int round = 0; round < 120; ++round) {
        std::uniform_int_distribution<int32_t> far(-3000, 3000), nearX(small.left, small.right - 1),
            nearY(small.top, small.bottom - 1);
        std::vector<Point> pts;
        const int n = 3 + round % 5;
        for (int i = 0; i < n; ++i) {
            // Alternate near and far vertices so that long segments cross the small clip.
            if (i % 2) pts.push_back({far(rng), far(rng)});
            else pts.push_back({nearX(rng), nearY(rng)});
        }
        const bool closed = true;
        const int32_t width = 1 + round % 9;
        const uint32_t cap = round % 2 ? 0u /* round */ : 0x200u /* flat */;
        const auto &dashes = patterns[size_t(round) % patterns.size()];
        const std::vector<bool> a = pixels(pts, closed, width, cap, dashes, small);
        const std::vector<bool> b = pixels(pts, closed, width, cap, dashes, whole);
        EXPECT_EQ(a, b) << "round " << round;
        for (bool p : a) drawn += p;
    }
    EXPECT_GT(drawn, 1000);  // the figures do cross the small clip
}
