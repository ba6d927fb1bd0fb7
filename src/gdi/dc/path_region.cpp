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

void DeviceContext::widenPath() {
    if (!s_.path || s_.path->open) return;
    const PenInfo pen = penInfo();
    if (pen.null) return;
    std::vector<Point> pts;
    std::vector<uint32_t> counts;
    std::vector<bool> closed;
    gdi::flattenPath(*s_.path, pts, counts, closed);
    // The widened path is the outline of the pen's pixels, kept as the
    // pixel rectangles of the stroke.
    SpanSink on, off;
    strokeOutline(pts, counts, closed, pen, on, off);
    auto p = std::make_shared<Path>();
    on.region().forEachRect([&](int32_t top, int32_t bottom, int32_t x0, int32_t x1) {
        p->moveTo({x0, top});
        p->add({x1, top}, PT_LINETO);
        p->add({x1, bottom}, PT_LINETO);
        p->add({x0, bottom}, PT_LINETO);
        p->closeFigure();
    });
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
