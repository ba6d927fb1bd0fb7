#include "gdi/raster/raster.h"

#include <algorithm>

namespace vellora::gdi {

namespace {

using Edge = FillScratch::Edge;
using Crossing = FillScratch::Crossing;

}  // namespace

void fillPolygons(const Point *pts, const uint32_t *counts, size_t polygons, bool winding,
                  const Rect &clip, SpanSink &out, WorkBudget &work, FillScratch *scratch) {
    if (clip.empty()) return;
    FillScratch local;
    FillScratch &mem = scratch ? *scratch : local;
    std::vector<Edge> &edges = mem.edges;
    edges.clear();
    size_t base = 0;
    for (size_t p = 0; p < polygons; ++p) {
        const uint32_t n = counts[p];
        for (uint32_t i = 0; i < n; ++i) {
            const Point a = pts[base + i], b = pts[base + (i + 1 == n ? 0 : i + 1)];
            if (a.y == b.y) continue;
            Edge e;
            if (a.y < b.y) e = {a.x, a.y, b.x, b.y, 1};
            else e = {b.x, b.y, a.x, a.y, -1};
            if (e.y2 <= clip.top || e.y1 >= clip.bottom) continue;
            e.step = floorDiv(e.x2 - e.x1, e.y2 - e.y1);
            e.stepRem = (e.x2 - e.x1) - e.step * (e.y2 - e.y1);
            edges.push_back(e);
        }
        base += n;
    }
    if (edges.empty()) return;
    if (!work.spend(edges.size())) return;
    std::sort(edges.begin(), edges.end(), [](const Edge &a, const Edge &b) { return a.y1 < b.y1; });
    int64_t y = std::max<int64_t>(edges.front().y1, clip.top);
    int64_t yEnd = clip.bottom;
    std::vector<Edge *> &active = mem.active;
    std::vector<Crossing> &xs = mem.xs;
    active.clear();
    size_t next = 0;
    for (; y < yEnd; ++y) {
        // Admit edges that start on or above this row, drop finished ones.
        while (next < edges.size() && edges[next].y1 <= y) active.push_back(&edges[next++]);
        active.erase(std::remove_if(active.begin(), active.end(),
                                    [y](const Edge *e) { return e->y2 <= y; }),
                     active.end());
        if (active.empty()) {
            if (next >= edges.size()) break;
            y = std::max<int64_t>(edges[next].y1, clip.top) - 1;
            continue;
        }
        if (!work.spend(active.size())) return;
        xs.resize(active.size());
        Crossing *cross = xs.data();
        for (Edge *e : active) {
            // The first pixel at or right of the exact crossing.
            const int64_t den = e->y2 - e->y1;
            if (e->row == y - 1) {
                // One row down adds x2 - x1 to the numerator.
                e->x += e->step;
                e->rem -= e->stepRem;
                if (e->rem < 0) ++e->x, e->rem += den;
            } else {
                const int64_t num = e->x1 * (e->y2 - y) + e->x2 * (y - e->y1);
                e->x = ceilDiv(num, den);
                e->rem = e->x * den - num;
            }
            e->row = y;
            cross->x = e->x;
            cross->dir = e->dir;
            ++cross;
        }
        std::sort(xs.begin(), xs.end(), [](const Crossing &a, const Crossing &b) { return a.x < b.x; });
        auto emit = [&](int64_t x0, int64_t x1) {
            if (x0 < clip.left) x0 = clip.left;
            if (x1 > clip.right) x1 = clip.right;
            if (x0 < x1) out.add(int32_t(y), int32_t(x0), int32_t(x1));
        };
        if (!winding) {
            for (size_t i = 0; i + 1 < xs.size(); i += 2) emit(xs[i].x, xs[i + 1].x);
        } else {
            int w = 0;
            int64_t start = 0;
            for (const Crossing &c : xs) {
                const int before = w;
                w += c.dir;
                if (before == 0 && w != 0) start = c.x;
                else if (before != 0 && w == 0) emit(start, c.x);
            }
        }
    }
}

void ellipseQuadrant(int64_t w, int64_t h, std::vector<Point> &q) {
    q.clear();
    if (w <= 0 || h <= 0) return;
    // Diameters w - 1 and h - 1 between pixel centres; the error terms are
    // those of the rasterising algorithm for ellipses by A. Zingl.
    const int64_t a = w - 1, b = h - 1;
    const int64_t stepX = 8 * b * b, stepY = 8 * a * a;
    int64_t ex = 4 * b * b * (1 - a);
    int64_t ey = 4 * a * a * (1 + (b & 1));
    int64_t err = ex + ey + a * a * (b & 1);
    int64_t px = a, py = h / 2;
    while (px >= w / 2) {
        q.push_back({int32_t(px), int32_t(py)});
        const int64_t e2 = 2 * err;
        if (e2 >= ex) {
            --px;
            ex += stepX;
            err += ex;
        }
        if (e2 <= ey) {
            ++py;
            ey += stepY;
            err += ey;
        }
    }
}

void ellipsePoints(const Rect &r, std::vector<Point> &out) {
    out.clear();
    const int64_t w = int64_t(r.right) - r.left, h = int64_t(r.bottom) - r.top;
    if (w <= 0 || h <= 0) return;
    std::vector<Point> q;
    ellipseQuadrant(w, h, q);
    const size_t count = q.size();
    // Bottom-right quadrant, then mirrored to the left, then upwards; the
    // centre column or row is not repeated for odd sizes.
    std::vector<Point> half;
    half.reserve(2 * count);
    for (size_t i = 0; i < count; ++i) half.push_back({int32_t(r.left + q[i].x), int32_t(r.top + q[i].y)});
    const bool oddW = w & 1, oddH = h & 1;
    for (size_t i = count; i-- > 0;) {
        if (oddW && i == count - 1) continue;
        half.push_back({int32_t(r.left + r.right - 1 - (r.left + q[i].x)), int32_t(r.top + q[i].y)});
    }
    out = half;
    for (size_t i = half.size(); i-- > 0;) {
        if (oddH && i == half.size() - 1) continue;
        out.push_back({half[i].x, int32_t(r.top + r.bottom - 1 - half[i].y)});
    }
}

}  // namespace vellora::gdi
