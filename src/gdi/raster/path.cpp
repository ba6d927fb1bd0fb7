#include "gdi/raster/path.h"

#include <cmath>

namespace vellora::gdi {

namespace {

// Curves are split in 1/16 pixel fixed point until a piece is flat: its
// control points lie between its ends along the major axis and within a
// pixel of the chord; at most 8 levels deep, the platform's flattening.
constexpr int kShift = 4;
constexpr int64_t kPixel = 1 << kShift;
constexpr int kMaxDepth = 8;

struct P64 {
    int64_t x, y;
};

// (v + 8) >> 4 with the shift rounding down, written as a division.
int64_t shiftDown(int64_t v) {
    const int64_t a = v + kPixel / 2;
    return a >= 0 ? a / kPixel : -((-a + kPixel - 1) / kPixel);
}
P64 middle(P64 a, P64 b) { return {(a.x + b.x + 1) / 2, (a.y + b.y + 1) / 2}; }

bool between(int64_t c, int64_t a, int64_t b) {
    if (c < a) return c >= b;
    return c <= b;
}

bool flatEnough(const P64 *p) {
    int64_t dx = p[3].x - p[0].x, dy = p[3].y - p[0].y;
    const bool shallow = (dy < 0 ? -dy : dy) <= (dx < 0 ? -dx : dx);
    if (shallow) {
        if (!between(p[1].x, p[0].x, p[3].x) || !between(p[2].x, p[0].x, p[3].x)) return false;
        dx = shiftDown(dx);
        if (!dx) return true;
        const int64_t slope = dy / dx;
        for (int i = 1; i <= 2; ++i) {
            const int64_t off = p[i].y - p[0].y - slope * shiftDown(p[i].x - p[0].x);
            if ((off < 0 ? -off : off) > kPixel) return false;
        }
        return true;
    }
    if (!between(p[1].y, p[0].y, p[3].y) || !between(p[2].y, p[0].y, p[3].y)) return false;
    dy = shiftDown(dy);
    if (!dy) return true;
    const int64_t slope = dx / dy;
    for (int i = 1; i <= 2; ++i) {
        const int64_t off = p[i].x - p[0].x - slope * shiftDown(p[i].y - p[0].y);
        if ((off < 0 ? -off : off) > kPixel) return false;
    }
    return true;
}

void split(P64 *p, int level, std::vector<Point> &out) {
    if (!level || flatEnough(p)) {
        out.push_back({int32_t(shiftDown(p[3].x)), int32_t(shiftDown(p[3].y))});
        return;
    }
    P64 q[4];
    q[3] = p[3];
    q[2] = middle(p[2], p[3]);
    q[0] = middle(p[1], p[2]);
    q[1] = middle(q[0], q[2]);
    p[1] = middle(p[0], p[1]);
    p[2] = middle(p[1], q[0]);
    p[3] = middle(p[2], q[1]);
    q[0] = p[3];
    split(p, level - 1, out);
    split(q, level - 1, out);
}

}  // namespace

void flattenBezier(Point p0, Point c1, Point c2, Point p3, std::vector<Point> &out) {
    P64 p[4] = {{p0.x * kPixel, p0.y * kPixel},
                {c1.x * kPixel, c1.y * kPixel},
                {c2.x * kPixel, c2.y * kPixel},
                {p3.x * kPixel, p3.y * kPixel}};
    split(p, kMaxDepth, out);
}

void flattenPath(const Path &path, std::vector<Point> &pts, std::vector<uint32_t> &counts,
                 std::vector<bool> &closed) {
    pts.clear();
    counts.clear();
    closed.clear();
    size_t figStart = 0;
    auto endFigure = [&](bool close) {
        const size_t n = pts.size() - figStart;
        if (n == 0) return;
        counts.push_back(uint32_t(n));
        closed.push_back(close);
        figStart = pts.size();
    };
    const size_t n = path.pts.size();
    for (size_t i = 0; i < n; ++i) {
        const uint8_t t = path.types[i] & ~PT_CLOSEFIGURE;
        if (t == PT_MOVETO || pts.size() == figStart) {
            if (t == PT_MOVETO) {
                endFigure(false);
                pts.push_back(path.pts[i]);
                continue;
            }
        }
        if (t == PT_BEZIERTO && i + 2 < n) {
            const Point p0 = pts.empty() ? path.pts[i] : pts.back();
            flattenBezier(p0, path.pts[i], path.pts[i + 1], path.pts[i + 2], pts);
            i += 2;
        } else {
            pts.push_back(path.pts[i]);
        }
        if (path.types[i] & PT_CLOSEFIGURE) endFigure(true);
    }
    endFigure(false);
}

}  // namespace vellora::gdi
