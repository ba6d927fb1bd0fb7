#include "gdi/path.h"

#include <cmath>

namespace vellora::gdi {

namespace {

// Subdivides until the control points lie within a quarter pixel of the
// chord, which keeps rounded points on the curve the platform draws.
void subdivide(PointF p0, PointF c1, PointF c2, PointF p3, int depth, std::vector<PointF> &out) {
    const double dx = p3.x - p0.x, dy = p3.y - p0.y;
    const double len2 = dx * dx + dy * dy;
    auto dist2 = [&](PointF c) {
        if (len2 < 1e-12) return (c.x - p0.x) * (c.x - p0.x) + (c.y - p0.y) * (c.y - p0.y);
        const double cr = (c.x - p0.x) * dy - (c.y - p0.y) * dx;
        return cr * cr / len2;
    };
    if (depth >= 16 || (dist2(c1) <= 0.0625 && dist2(c2) <= 0.0625)) {
        out.push_back(p3);
        return;
    }
    const PointF a{(p0.x + c1.x) / 2, (p0.y + c1.y) / 2}, b{(c1.x + c2.x) / 2, (c1.y + c2.y) / 2},
        c{(c2.x + p3.x) / 2, (c2.y + p3.y) / 2};
    const PointF ab{(a.x + b.x) / 2, (a.y + b.y) / 2}, bc{(b.x + c.x) / 2, (b.y + c.y) / 2};
    const PointF m{(ab.x + bc.x) / 2, (ab.y + bc.y) / 2};
    subdivide(p0, a, ab, m, depth + 1, out);
    subdivide(m, bc, c, p3, depth + 1, out);
}

}  // namespace

void flattenBezier(PointF p0, PointF c1, PointF c2, PointF p3, std::vector<PointF> &out) {
    // Curves far larger than any canvas are cut into straight chords early.
    const double span = std::fabs(p0.x - p3.x) + std::fabs(p0.y - p3.y) + std::fabs(c1.x - p0.x) +
                        std::fabs(c1.y - p0.y) + std::fabs(c2.x - p3.x) + std::fabs(c2.y - p3.y);
    const int maxDepth = span > 1e6 ? 12 : 0;
    subdivide(p0, c1, c2, p3, maxDepth, out);
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
    std::vector<PointF> curve;
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
            curve.clear();
            flattenBezier({double(p0.x), double(p0.y)}, {double(path.pts[i].x), double(path.pts[i].y)},
                          {double(path.pts[i + 1].x), double(path.pts[i + 1].y)},
                          {double(path.pts[i + 2].x), double(path.pts[i + 2].y)}, curve);
            for (const PointF &q : curve)
                pts.push_back({int32_t(std::lround(q.x)), int32_t(std::lround(q.y))});
            i += 2;
        } else {
            pts.push_back(path.pts[i]);
        }
        if (path.types[i] & PT_CLOSEFIGURE) endFigure(true);
    }
    endFigure(false);
}

}  // namespace vellora::gdi
