// The platform's integer rasterisation rules, on device points:
// polygons sample each pixel at its integer corner (x, y), left and top
// edges in, right and bottom edges out; one-pixel lines step with the
// platform's Bresenham variant and leave out their last pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gdi/raster/region.h"
#include "gdi/types.h"

namespace vellora::gdi {

// Counts rasteriser steps against the playback's budget.
struct WorkBudget {
    uint64_t left = limits::kMaxRasterWork;
    bool spend(uint64_t n) {
        if (n > left) {
            left = 0;
            return false;
        }
        left -= n;
        return true;
    }
    bool exhausted() const { return left == 0; }
};

// Working memory of fillPolygons, for callers that fill many small figures
// (the pieces of a wide line) and would otherwise allocate for each.
struct FillScratch {
    struct Edge {
        int64_t x1, y1, x2, y2;  // y1 < y2
        int dir;                 // +1 when the figure runs downwards here
        // The crossing on row `row`: x = ceil(num / den) with num = x * den - rem,
        // 0 <= rem < den; stepped from row to row instead of divided.
        int64_t row = INT64_MIN, x = 0, rem = 0;
        int64_t step = 0, stepRem = 0;  // x2 - x1 = step * den + stepRem, 0 <= stepRem < den
    };
    struct Crossing {
        int64_t x;
        int dir;
    };
    std::vector<Edge> edges;
    std::vector<Edge *> active;
    std::vector<Crossing> xs;
};

// Fills polygons (each closed implicitly) with the alternate (even-odd) or
// winding rule, producing spans inside `clip`.
void fillPolygons(const Point *pts, const uint32_t *counts, size_t polygons, bool winding,
                  const Rect &clip, SpanSink &out, WorkBudget &work, FillScratch *scratch = nullptr);

inline int64_t floorDiv(int64_t a, int64_t b) {  // b > 0
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
inline int64_t ceilDiv(int64_t a, int64_t b) { return -floorDiv(-a, b); }

// Visits the pixels of the one-pixel line from a to b without b, calling
// visit(x, y, step) for those inside `clip`; `step` counts pixels from a,
// for dash patterns. Work is bounded by the clip size, not the line length.
template <class F>
void walkLine(Point a, Point b, const Rect &clip, WorkBudget &work, F &&visit) {
    const int64_t dx = int64_t(b.x) - a.x, dy = int64_t(b.y) - a.y;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    if (adx == 0 && ady == 0) return;
    // Octants 3, 5, 6 and 8 (counted clockwise from +x, y down) round their
    // ties the other way, as the platform's lines do.
    bool xMajor;
    bool bias;
    if (dy > 0) {
        if (dx > 0) xMajor = dx > dy, bias = false;           // 1, 2
        else xMajor = -dx > dy, bias = !xMajor;               // 4, 3
    } else {
        if (dx < 0) xMajor = -dx > -dy, bias = true;           // 5, 6
        else xMajor = dx > -dy, bias = xMajor;                // 8, 7
    }
    const int64_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
    // Steps whose major coordinate lies inside the clip.
    int64_t lo = 0, hi = major;  // [lo, hi)
    const int64_t m0 = xMajor ? a.x : a.y, ms = xMajor ? sx : sy;
    const int64_t cmin = xMajor ? clip.left : clip.top, cmax = xMajor ? clip.right : clip.bottom;
    if (ms > 0) {
        if (cmin - m0 > lo) lo = cmin - m0;
        if (cmax - m0 < hi) hi = cmax - m0;
    } else {
        if (m0 - (cmax - 1) > lo) lo = m0 - (cmax - 1);
        if (m0 - cmin + 1 < hi) hi = m0 - cmin + 1;
    }
    if (lo >= hi) return;
    if (!work.spend(uint64_t(hi - lo))) return;
    const int64_t n0 = minor ? ceilDiv(2 * lo * minor - major + (bias ? 1 : 0), 2 * major) : 0;
    int64_t n = n0 < 0 ? 0 : n0;
    // err tracks 2*i*minor - major + bias - 2*n*major incrementally.
    int64_t err = 2 * lo * minor - major + (bias ? 1 : 0) - 2 * n * major;
    const int64_t n1 = xMajor ? sy : sx;
    const int64_t c0 = xMajor ? a.y : a.x;
    const int64_t omin = xMajor ? clip.top : clip.left, omax = xMajor ? clip.bottom : clip.right;
    for (int64_t i = lo; i < hi; ++i) {
        while (err > 0) err -= 2 * major, ++n;  // n = ceil((2i*minor - major + bias) / 2major)
        const int64_t mj = m0 + ms * i, mn = c0 + n1 * n;
        if (mn >= omin && mn < omax) {
            if (xMajor) visit(int32_t(mj), int32_t(mn), i);
            else visit(int32_t(mn), int32_t(mj), i);
        }
        err += 2 * minor;
    }
}

// One quadrant of the platform's integer ellipse of w x h pixels (A.
// Zingl's stepping): from the right end of the middle row (w - 1, h / 2)
// down to the middle column, relative to the bounding box's corner.
void ellipseQuadrant(int64_t w, int64_t h, std::vector<Point> &q);

// The integer points of the outline of the ellipse inscribed in the
// half-open device rectangle r, clockwise from the rightmost point on the
// centre row, as the platform's one-pixel ellipses visit them.
void ellipsePoints(const Rect &r, std::vector<Point> &out);

}  // namespace vellora::gdi
