// Path brackets and the path records (fill, stroke, flatten, widen, clip
// to path), and the region records (fill, paint, invert, frame).
#include "gdi/dc/dc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gdi/dc/ordered_rect.h"
#include "gdi/raster/stroke.h"

namespace vellora::gdi {

// ------------------------------------------------------------------ paths

void DeviceContext::beginPath() {
    auto p = std::make_shared<Path>();
    p->open = true;
    s_.path = std::move(p);
}

void DeviceContext::endPath() {
    if (pathOpen()) openPath().open = false;
}

void DeviceContext::abortPath() { s_.path.reset(); }

void DeviceContext::closeFigure() {
    if (pathOpen()) openPath().closeFigure();
}

void DeviceContext::drawPath(bool fill, bool stroke) {
    if (!s_.path || s_.path->open) return;
    std::vector<Point> pts;
    std::vector<uint32_t> counts;
    std::vector<bool> closed;
    gdi::flattenPath(*s_.path, pts, counts, closed);
    s_.path.reset();
    if (fill) {
        // Filling closes every figure.
        std::fill(closed.begin(), closed.end(), true);
    }
    fillAndStroke(pts, counts, closed, fill, stroke);
}

void DeviceContext::fillPath() { drawPath(true, false); }
void DeviceContext::strokePath() { drawPath(false, true); }
void DeviceContext::strokeAndFillPath() { drawPath(true, true); }

void DeviceContext::flattenPath() {
    if (!s_.path || s_.path->open) return;
    std::vector<Point> pts;
    std::vector<uint32_t> counts;
    std::vector<bool> closed;
    gdi::flattenPath(*s_.path, pts, counts, closed);
    auto p = std::make_shared<Path>();
    size_t base = 0;
    for (size_t f = 0; f < counts.size(); ++f) {
        p->moveTo(pts[base]);
        for (size_t i = 1; i < counts[f]; ++i) p->add(pts[base + i], PT_LINETO);
        if (closed[f]) p->closeFigure();
        base += counts[f];
    }
    s_.path = std::move(p);
}

namespace {

// The boundary of a pixel region as closed polygons through pixel corners,
// clockwise with the pixels on the right: filled with either fill mode they
// cover the region's pixels again, stroked they outline it.
void regionOutline(const Region &rgn, Path &path) {
    struct Band {
        int32_t top, bottom;
        std::vector<int32_t> xs;
    };
    std::vector<Band> bands;
    rgn.forEachRect([&](int32_t top, int32_t bottom, int32_t x0, int32_t x1) {
        if (bands.empty() || bands.back().top != top) bands.push_back({top, bottom, {}});
        bands.back().xs.push_back(x0);
        bands.back().xs.push_back(x1);
    });
    struct Edge {
        Point a, b;
    };
    std::vector<Edge> edges;
    // Horizontal edges at y: rightwards where `below` has pixels and `above`
    // has none, leftwards the other way.
    auto horizontal = [&](int32_t y, const std::vector<int32_t> &above, const std::vector<int32_t> &below) {
        std::vector<int32_t> cuts(above);
        cuts.insert(cuts.end(), below.begin(), below.end());
        std::sort(cuts.begin(), cuts.end());
        auto in = [](const std::vector<int32_t> &xs, int32_t x) {
            for (size_t i = 0; i + 1 < xs.size(); i += 2)
                if (x >= xs[i] && x < xs[i + 1]) return true;
            return false;
        };
        for (size_t i = 0; i + 1 < cuts.size(); ++i) {
            const int32_t x0 = cuts[i], x1 = cuts[i + 1];
            if (x0 == x1) continue;
            const bool a = in(above, x0), b = in(below, x0);
            if (b && !a) edges.push_back({{x0, y}, {x1, y}});
            if (a && !b) edges.push_back({{x1, y}, {x0, y}});
        }
    };
    const std::vector<int32_t> none;
    for (size_t i = 0; i < bands.size(); ++i) {
        const Band &b = bands[i];
        const bool joinsAbove = i > 0 && bands[i - 1].bottom == b.top;
        horizontal(b.top, joinsAbove ? bands[i - 1].xs : none, b.xs);
        if (i + 1 == bands.size() || bands[i + 1].top != b.bottom) horizontal(b.bottom, b.xs, none);
        for (size_t k = 0; k + 1 < b.xs.size(); k += 2) {
            edges.push_back({{b.xs[k], b.bottom}, {b.xs[k], b.top}});
            edges.push_back({{b.xs[k + 1], b.top}, {b.xs[k + 1], b.bottom}});
        }
    }
    // Link the edges into loops; where two loops touch at a corner, turn
    // right, so that each loop stays simple.
    auto key = [](const Point &p) { return std::make_pair(p.y, p.x); };
    std::vector<size_t> order(edges.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(edges[a].a) < key(edges[b].a); });
    std::vector<bool> used(edges.size());
    auto outgoing = [&](const Point &p, const Point &dir) {
        auto it = std::lower_bound(order.begin(), order.end(), key(p),
                                   [&](size_t e, const std::pair<int32_t, int32_t> &k) { return key(edges[e].a) < k; });
        size_t best = SIZE_MAX;
        for (; it != order.end() && edges[*it].a == p; ++it) {
            if (used[*it]) continue;
            const Point d{edges[*it].b.x - p.x, edges[*it].b.y - p.y};
            // Right turn (y down): cross product of dir and d is positive.
            if (best == SIZE_MAX || int64_t(dir.x) * d.y - int64_t(dir.y) * d.x > 0) best = *it;
        }
        return best;
    };
    auto sign = [](int32_t v) { return int32_t(v > 0) - int32_t(v < 0); };
    for (size_t start : order) {
        if (used[start]) continue;
        std::vector<Point> loop;
        size_t e = start;
        while (e != SIZE_MAX) {
            used[e] = true;
            const Point d{sign(edges[e].b.x - edges[e].a.x), sign(edges[e].b.y - edges[e].a.y)};
            // Keep only corners: drop a point that continues the same direction.
            if (loop.size() >= 2) {
                const Point &p = loop[loop.size() - 2], &q = loop.back();
                if (sign(q.x - p.x) == d.x && sign(q.y - p.y) == d.y) loop.pop_back();
            }
            if (loop.empty()) loop.push_back(edges[e].a);
            loop.push_back(edges[e].b);
            e = outgoing(edges[e].b, d);
        }
        if (loop.size() > 1 && loop.back() == loop.front()) loop.pop_back();
        if (loop.size() < 3) continue;
        path.moveTo(loop[0]);
        for (size_t i = 1; i < loop.size(); ++i) path.add(loop[i], PT_LINETO);
        path.closeFigure();
    }
}

}  // namespace

void DeviceContext::widenPath() {
    if (!s_.path || s_.path->open) return;
    const PenInfo pen = penInfo();
    if (pen.null) return;
    std::vector<Point> pts;
    std::vector<uint32_t> counts;
    std::vector<bool> closed;
    gdi::flattenPath(*s_.path, pts, counts, closed);
    // The widened path is the outline of the pen's pixels.
    SpanSink on, off;
    strokeOutline(pts, counts, closed, pen, on, off);
    auto p = std::make_shared<Path>();
    regionOutline(on.region(), *p);
    s_.path = std::move(p);
}

void DeviceContext::selectClipPath(RegionOp op) {
    if (!s_.path || s_.path->open) return;
    std::vector<Point> pts;
    std::vector<uint32_t> counts;
    std::vector<bool> closed;
    gdi::flattenPath(*s_.path, pts, counts, closed);
    s_.path.reset();
    SpanSink sink;
    const Rect everywhere{-(1 << 30), -(1 << 30), 1 << 30, 1 << 30};
    fillPolygons(pts.data(), counts.data(), counts.size(), s_.polyFillMode == WINDING,
                 intersect(everywhere, Rect{0, 0, bitmap_.width, bitmap_.height}), sink, work_);
    Region r = sink.region();
    selectClipRegion(&r, op);
}

// ---------------------------------------------------------------- regions

Region DeviceContext::regionFromLogical(const std::vector<Rect> &rects) const {
    std::vector<Rect> dev;
    dev.reserve(rects.size());
    for (const Rect &r : rects) {
        if (r.left >= r.right || r.top >= r.bottom) continue;
        dev.push_back(orderedRect(toDevice({r.left, r.top}), toDevice({r.right, r.bottom})));
    }
    return Region::fromRects(dev);
}

Region DeviceContext::regionFromReference(const std::vector<Rect> &rects) const {
    std::vector<Rect> dev;
    dev.reserve(rects.size());
    const Matrix m = toSingle(base_);
    auto map = [&](int32_t x, int32_t y) {
        const PointF d = m.apply(x, y);
        return Point{roundCoord(d.x), roundCoord(d.y)};
    };
    for (const Rect &r : rects) {
        if (r.left >= r.right || r.top >= r.bottom) continue;
        dev.push_back(orderedRect(map(r.left, r.top), map(r.right, r.bottom)));
    }
    return Region::fromRects(dev);
}

void DeviceContext::fillRegion(const Region &rgn, const Brush &brush) {
    paint(rgn, brushPaint(brush), s_.rop2);
}

void DeviceContext::paintRegion(const Region &rgn) { paint(rgn, brushPaint(*s_.brush), s_.rop2); }

void DeviceContext::invertRegion(const Region &rgn) {
    Paint p;
    p.kind = Paint::Solid;
    p.color = 0;
    paint(rgn, p, 6);  // R2_NOT
}

void DeviceContext::frameRegion(const Region &rgn, const Brush &brush, int32_t w, int32_t h) {
    // The frame: pixels of the region whose neighbours w across or h down
    // are not all inside.
    const PointF v = xform_.applyVector(w, h);
    const int32_t fw = std::max(1, std::abs(roundCoord(v.x))), fh = std::max(1, std::abs(roundCoord(v.y)));
    Region shrunk = rgn, moved = rgn;
    moved.offset(-fw, 0);
    shrunk = Region::combine(shrunk, moved, RegionOp::And);
    moved = rgn;
    moved.offset(fw, 0);
    shrunk = Region::combine(shrunk, moved, RegionOp::And);
    moved = rgn;
    moved.offset(0, -fh);
    shrunk = Region::combine(shrunk, moved, RegionOp::And);
    moved = rgn;
    moved.offset(0, fh);
    shrunk = Region::combine(shrunk, moved, RegionOp::And);
    paint(Region::combine(rgn, shrunk, RegionOp::Diff), brushPaint(brush), s_.rop2);
}

}  // namespace vellora::gdi
