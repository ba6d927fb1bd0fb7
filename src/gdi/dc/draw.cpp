// The drawing calls: lines, polygons, Bezier curves, rectangles, ellipses, round
// rectangles, arcs, chords and pies, and single pixels, into the current path
// when one is open.
#include "gdi/dc/dc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gdi/dc/ordered_rect.h"
#include "gdi/raster/stroke.h"

namespace vellora::gdi {

// -------------------------------------------------------------- primitives

Path &DeviceContext::openPath() {
    if (!s_.path || s_.path.use_count() > 1) s_.path = std::make_shared<Path>(s_.path ? *s_.path : Path());
    return const_cast<Path &>(*s_.path);
}

void DeviceContext::moveTo(Point p) {
    s_.curPos = p;
    if (pathOpen()) openPath().newFigure = true;
}

void DeviceContext::lineTo(Point p) {
    if (pathOpen()) {
        Path &path = openPath();
        if (path.newFigure) path.moveTo(toDevice(s_.curPos));
        path.add(toDevice(p), PT_LINETO);
    } else {
        std::vector<Point> &pts = scratch_.pts;
        pts.assign({toDevice(s_.curPos), toDevice(p)});
        oneFigure(2, false);
        fillAndStroke(pts, scratch_.counts, scratch_.closed, false, true);
    }
    s_.curPos = p;
}

void DeviceContext::polyline(const Point *pts, size_t n) {
    if (n < 2) return;
    if (pathOpen()) {
        Path &path = openPath();
        path.moveTo(toDevice(pts[0]));
        for (size_t i = 1; i < n; ++i) path.add(toDevice(pts[i]), PT_LINETO);
        return;
    }
    std::vector<Point> &dev = scratch_.pts;
    toDevice(pts, n, dev);
    oneFigure(n, false);
    fillAndStroke(dev, scratch_.counts, scratch_.closed, false, true);
}

void DeviceContext::polylineTo(const Point *pts, size_t n) {
    if (n < 1) return;
    if (pathOpen()) {
        Path &path = openPath();
        if (path.newFigure) path.moveTo(toDevice(s_.curPos));
        for (size_t i = 0; i < n; ++i) path.add(toDevice(pts[i]), PT_LINETO);
    } else {
        std::vector<Point> &dev = scratch_.pts;
        dev.resize(n + 1);
        dev[0] = toDevice(s_.curPos);
        for (size_t i = 0; i < n; ++i) dev[i + 1] = toDevice(pts[i]);
        oneFigure(n + 1, false);
        fillAndStroke(dev, scratch_.counts, scratch_.closed, false, true);
    }
    s_.curPos = pts[n - 1];
}

void DeviceContext::polyPolyline(const Point *pts, const uint32_t *counts, size_t n) {
    size_t total = 0;
    for (size_t i = 0; i < n; ++i) {
        if (counts[i] < 2) return;  // the platform refuses the whole call
        total += counts[i];
    }
    if (pathOpen()) {
        size_t base = 0;
        for (size_t i = 0; i < n; ++i) {
            polyline(pts + base, counts[i]);
            base += counts[i];
        }
        return;
    }
    std::vector<Point> &dev = scratch_.pts;
    toDevice(pts, total, dev);
    scratch_.counts.assign(counts, counts + n);
    scratch_.closed.assign(n, false);
    fillAndStroke(dev, scratch_.counts, scratch_.closed, false, true);
}

void DeviceContext::polygon(const Point *pts, size_t n) {
    if (n < 2) return;
    const uint32_t c = uint32_t(n);
    polyPolygon(pts, &c, 1);
}

void DeviceContext::polyPolygon(const Point *pts, const uint32_t *counts, size_t n) {
    size_t total = 0;
    for (size_t i = 0; i < n; ++i) {
        if (counts[i] < 2) return;
        total += counts[i];
    }
    if (n == 0) return;
    if (pathOpen()) {
        Path &path = openPath();
        size_t base = 0;
        for (size_t i = 0; i < n; ++i) {
            path.moveTo(toDevice(pts[base]));
            for (size_t k = 1; k < counts[i]; ++k) path.add(toDevice(pts[base + k]), PT_LINETO);
            path.closeFigure();
            base += counts[i];
        }
        return;
    }
    std::vector<Point> &dev = scratch_.pts;
    toDevice(pts, total, dev);
    scratch_.counts.assign(counts, counts + n);
    scratch_.closed.assign(n, true);
    fillAndStroke(dev, scratch_.counts, scratch_.closed, true, true);
}

void DeviceContext::polyBezier(const Point *pts, size_t n) {
    if (n < 1 || (n - 1) % 3) return;
    if (pathOpen()) {
        Path &path = openPath();
        path.moveTo(toDevice(pts[0]));
        for (size_t i = 1; i < n; ++i) path.add(toDevice(pts[i]), PT_BEZIERTO);
        return;
    }
    // Outside a path the platform flattens in logical units and draws the
    // pieces as a polyline: under a scale they scale with it.
    std::vector<Point> flat{pts[0]};
    for (size_t i = 1; i + 2 < n; i += 3) gdi::flattenBezier(pts[i - 1], pts[i], pts[i + 1], pts[i + 2], flat);
    std::vector<Point> &dev = scratch_.pts;
    toDevice(flat.data(), flat.size(), dev);
    oneFigure(flat.size(), false);
    fillAndStroke(dev, scratch_.counts, scratch_.closed, false, true);
}

void DeviceContext::polyBezierTo(const Point *pts, size_t n) {
    if (n < 3 || n % 3) return;
    if (pathOpen()) {
        Path &path = openPath();
        if (path.newFigure) path.moveTo(toDevice(s_.curPos));
        for (size_t i = 0; i < n; ++i) path.add(toDevice(pts[i]), PT_BEZIERTO);
    } else {
        // As PolyBezier: flattened in logical units, drawn as a polyline.
        std::vector<Point> flat{s_.curPos};
        for (size_t i = 0; i + 2 < n; i += 3)
            gdi::flattenBezier(i ? pts[i - 1] : s_.curPos, pts[i], pts[i + 1], pts[i + 2], flat);
        std::vector<Point> &dev = scratch_.pts;
        toDevice(flat.data(), flat.size(), dev);
        oneFigure(flat.size(), false);
        fillAndStroke(dev, scratch_.counts, scratch_.closed, false, true);
    }
    s_.curPos = pts[n - 1];
}

void DeviceContext::polyDraw(const Point *pts, const uint8_t *types, size_t n) {
    // Validate first: a bezier needs three points, as the platform checks.
    for (size_t i = 0; i < n; ++i) {
        const uint8_t t = types[i] & ~PT_CLOSEFIGURE;
        if (t == PT_BEZIERTO) {
            if (i + 2 >= n || (types[i + 1] & ~PT_CLOSEFIGURE) != PT_BEZIERTO ||
                (types[i + 2] & ~PT_CLOSEFIGURE) != PT_BEZIERTO)
                return;
            i += 2;
        } else if (t != PT_MOVETO && t != PT_LINETO) {
            return;
        }
    }
    const bool inPath = pathOpen();
    Path tmp;
    Path &path = inPath ? openPath() : tmp;
    // Outside a path the platform flattens in logical units, as PolyBezier.
    auto at = [&](Point p) { return inPath ? toDevice(p) : p; };
    Point first = s_.curPos;
    if (!inPath || path.newFigure) path.moveTo(at(s_.curPos));
    for (size_t i = 0; i < n; ++i) {
        const uint8_t t = types[i] & ~PT_CLOSEFIGURE;
        if (t == PT_MOVETO) {
            path.moveTo(at(pts[i]));
            first = pts[i];
        } else if (t == PT_LINETO) {
            path.add(at(pts[i]), PT_LINETO);
        } else {
            for (int k = 0; k < 3; ++k) path.add(at(pts[i + size_t(k)]), PT_BEZIERTO);
            i += 2;
        }
        s_.curPos = pts[i];
        if (types[i] & PT_CLOSEFIGURE) {
            path.add(at(first), PT_LINETO);
            path.closeFigure();
            s_.curPos = first;
            path.moveTo(at(first));
        }
    }
    if (inPath) return;
    std::vector<Point> flat;
    std::vector<uint32_t> counts;
    std::vector<bool> closed;
    gdi::flattenPath(tmp, flat, counts, closed);
    for (Point &p : flat) p = toDevice(p);
    fillAndStroke(flat, counts, closed, false, true);
}

void DeviceContext::rectangle(int32_t l, int32_t t, int32_t r, int32_t b) {
    // Playback runs with the world transform in force, so rectangles follow
    // the advanced graphics mode: four transformed corners, right and
    // bottom edges included.
    const Point corners[4] = {{l, t}, {r, t}, {r, b}, {l, b}};
    if (pathOpen()) {
        Point d[4];
        for (int i = 0; i < 4; ++i) d[i] = toDevice(corners[i]);
        Path &path = openPath();
        // Counterclockwise from the top right, as the platform records it.
        const Point order[4] = {d[1], d[0], d[3], d[2]};
        if (s_.arcDirection == AD_CLOCKWISE) {
            path.moveTo(order[0]);
            for (int i = 3; i >= 1; --i) path.add(order[i], PT_LINETO);
        } else {
            path.moveTo(order[0]);
            for (int i = 1; i < 4; ++i) path.add(order[i], PT_LINETO);
        }
        path.closeFigure();
        return;
    }
    std::vector<Point> &dev = scratch_.pts;
    toDevice(corners, 4, dev);
    oneFigure(4, true);
    fillAndStroke(dev, scratch_.counts, scratch_.closed, true, true);
}

void DeviceContext::ellipse(int32_t l, int32_t t, int32_t r, int32_t b) {
    if (pathOpen()) {
        ellipsePath(l, t, r, b);
        return;
    }
    // The platform draws an ellipse as a round rectangle whose corners are
    // the whole box.
    roundRect(l, t, r, b, int32_t(std::min<int64_t>(INT32_MAX, std::llabs(int64_t(r) - l))),
              int32_t(std::min<int64_t>(INT32_MAX, std::llabs(int64_t(b) - t))));
}

bool DeviceContext::penRect(int32_t l, int32_t t, int32_t r, int32_t b, const PenInfo &pen, Rect &rect) const {
    rect = orderedRect(toDevice({l, t}), toDevice({r, b}));
    if (rect.left == rect.right || rect.top == rect.bottom) return false;
    if (pen.style == PS_INSIDEFRAME && !pen.null) {
        rect.left += pen.width / 2;
        rect.top += pen.width / 2;
        rect.right -= (pen.width - 1) / 2;
        rect.bottom -= (pen.width - 1) / 2;
    }
    return rect.left < rect.right && rect.top < rect.bottom;
}

void DeviceContext::fillAndStrokeShape(const std::vector<Point> &outlinePts, SpanSink &interiorSpans,
                                       const PenInfo &pen) {
    // Painting keeps to the clip, which lies inside the bounds.
    const bool haveFill = s_.brush->style != BS_NULL;
    if (haveFill) interiorSpans.regionInto(scratch_.interior);
    oneFigure(outlinePts.size(), true);
    paintFillAndOutline(haveFill, outlinePts, scratch_.counts, scratch_.closed, pen);
}

void DeviceContext::strokeShape(const std::vector<Point> &pts, bool closed, const PenInfo &pen) {
    oneFigure(pts.size(), closed);
    paintFillAndOutline(false, pts, scratch_.counts, scratch_.closed, pen);
}

void DeviceContext::ellipseRows(const std::vector<Point> &pts, SpanSink &sink) {
    // Each row of an ellipse runs between its outermost outline points.
    sink.clear();
    if (pts.empty()) return;
    int32_t first = pts[0].y, last = pts[0].y;
    for (const Point &p : pts) first = std::min(first, p.y), last = std::max(last, p.y);
    // Only the rows the clip holds are made; a figure millions of rows tall
    // would otherwise cost a row each. The row just above them that has
    // outline points stands in for every row above.
    const Rect clipBox = clip().bounds();
    const int32_t top = std::max(first, clipBox.top), bottom = std::min(last, clipBox.bottom - 1);
    if (top > bottom) return;
    std::vector<std::pair<int32_t, int32_t>> &rows = scratch_.rows;
    rows.assign(size_t(int64_t(bottom) - top + 1), {INT32_MAX, INT32_MIN});
    int32_t above = INT32_MIN;
    for (const Point &p : pts) {
        if (p.y < top) above = std::max(above, p.y);
        if (p.y < top || p.y > bottom) continue;
        auto &row = rows[size_t(p.y - top)];
        row.first = std::min(row.first, p.x);
        row.second = std::max(row.second, p.x);
    }
    if (rows[0].first > rows[0].second && above != INT32_MIN)
        for (const Point &p : pts)
            if (p.y == above) rows[0].first = std::min(rows[0].first, p.x), rows[0].second = std::max(rows[0].second, p.x);
    // Rows between two outline points far apart (the straight sides of a
    // round rectangle) span what the row above them spans.
    for (size_t i = 1; i < rows.size(); ++i)
        if (rows[i].first > rows[i].second) rows[i] = rows[i - 1];
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].first <= rows[i].second) sink.add(top + int32_t(i), rows[i].first, rows[i].second + 1);
}

void DeviceContext::turnedRoundRect(int32_t l, int32_t t, int32_t r, int32_t b, int32_t ew,
                                    int32_t eh) {
    // A world transform that turns or shears the box turns the figure with
    // it, as the platform draws it; the row-by-row stepping of the upright
    // case has no turned form, so the outline is traced as a polygon.
    const double x0 = std::min(l, r), x1 = std::max(l, r), y0 = std::min(t, b), y1 = std::max(t, b);
    if (x0 == x1 || y0 == y1) return;
    const double rx = std::min(std::fabs(double(ew)), x1 - x0) / 2;
    const double ry = std::min(std::fabs(double(eh)), y1 - y0) / 2;
    const PointF span = xform_.applyVector(std::max(rx, 1.0), std::max(ry, 1.0));
    const double radius = std::min(std::hypot(span.x, span.y), 1e6);
    const int perQuarter = std::clamp(int(std::ceil(std::sqrt(radius) * 2)), 2, 256);
    if (!work_.spend(uint64_t(4 * perQuarter))) return;
    // Corner centres, in the order the quarters are traced.
    const double cx[4] = {x1 - rx, x0 + rx, x0 + rx, x1 - rx};
    const double cy[4] = {y0 + ry, y0 + ry, y1 - ry, y1 - ry};
    std::vector<Point> pts;
    pts.reserve(size_t(4 * (perQuarter + 1)));
    for (int q = 0; q < 4; ++q)
        for (int i = 0; i <= perQuarter; ++i) {
            const double a = (q + double(i) / perQuarter) * M_PI / 2;
            const PointF d = xform_.apply(cx[q] + rx * std::cos(a), cy[q] - ry * std::sin(a));
            const Point p{roundCoord(d.x), roundCoord(d.y)};
            if (pts.empty() || !(pts.back() == p)) pts.push_back(p);
        }
    if (pts.size() < 3) return;
    fillAndStroke(pts, {uint32_t(pts.size())}, {true}, true, true);
}

void DeviceContext::ellipsePath(int32_t l, int32_t t, int32_t r, int32_t b) {
    // The whole ellipse from the right end of its middle line.
    arcPath(l, t, r, b, nullptr, nullptr, 3);
}

void DeviceContext::arcPath(int32_t l, int32_t t, int32_t r, int32_t b, const PointF *start, const PointF *end,
                            int kind) {
    // In a path the platform keeps an arc as one cubic Bezier per quadrant
    // it crosses, between the angles where the rays from the centre through
    // the start and end points meet the ellipse. Upright, the box is taken
    // in device units; under a turning transform the Beziers are turned.
    // kind: 0 arc, 1 chord, 2 pie, 3 ellipse, -1 arcto.
    if (l == r || t == b) return;
    const bool upright = xform_.m12 == 0 && xform_.m21 == 0;
    PointF c0{double(l), double(t)}, c1{double(r), double(b)};
    if (upright) c0 = xform_.apply(c0.x, c0.y), c1 = xform_.apply(c1.x, c1.y);
    // A whole ellipse takes its box at whole device pixels.
    if (upright && kind == 3) {
        c0 = {std::floor(c0.x + 0.5), std::floor(c0.y + 0.5)};
        c1 = {std::floor(c1.x + 0.5), std::floor(c1.y + 0.5)};
    }
    if (c0.x > c1.x) std::swap(c0.x, c1.x);
    if (c0.y > c1.y) std::swap(c0.y, c1.y);
    if (!(c0.x < c1.x && c0.y < c1.y)) return;
    bool clockwise = s_.arcDirection == AD_CLOCKWISE;
    if (!upright && xform_.determinant() < 0) clockwise = !clockwise;
    auto angle = [&](const PointF &p) {
        const PointF d = upright ? xform_.apply(p.x, p.y) : p;
        return std::atan2((d.y - c0.y) / (c1.y - c0.y) * 2 - 1, (d.x - c0.x) / (c1.x - c0.x) * 2 - 1);
    };
    double a0 = 0, a1 = clockwise ? 2 * M_PI : -2 * M_PI;
    if (kind != 3) {
        a0 = angle(*start), a1 = angle(*end);
        if (clockwise && a1 <= a0) a1 += 2 * M_PI;
        if (!clockwise && a1 >= a0) a1 -= 2 * M_PI;
    }
    auto at = [&](double u, double v) {
        const double x = c0.x + (c1.x - c0.x) * 0.5 * (u + 1), y = c0.y + (c1.y - c0.y) * 0.5 * (v + 1);
        const PointF d = upright ? PointF{x, y} : xform_.apply(x, y);
        return Point{roundCoord(d.x), roundCoord(d.y)};
    };
    Path &path = openPath();
    if (kind == -1 && path.newFigure) path.moveTo(toDevice(s_.curPos));
    const double q = M_PI / 2;
    double from = a0;
    bool first = true;
    for (int n = 0; n < 8; ++n) {
        double to = clockwise ? (std::floor(from / q) + 1) * q : (std::ceil(from / q) - 1) * q;
        const bool last = clockwise ? a1 <= to : a1 >= to;
        if (last) to = a1;
        const double h = (to - from) / 2;
        const double k = std::fabs(h) > 1e-8 ? 4.0 / 3.0 * (1 - std::cos(h)) / std::sin(h) : 0;
        const double x0 = std::cos(from), y0 = std::sin(from), x3 = std::cos(to), y3 = std::sin(to);
        if (first) {
            const Point p = at(x0, y0);
            if (kind == -1) path.add(p, PT_LINETO);
            else path.moveTo(p);
            first = false;
        }
        path.add(at(x0 - k * y0, y0 + k * x0), PT_BEZIERTO);
        path.add(at(x3 + k * y3, y3 - k * x3), PT_BEZIERTO);
        path.add(at(x3, y3), PT_BEZIERTO);
        from = to;
        if (last) break;
    }
    if (kind == 2) {
        const PointF m = upright ? PointF{(c0.x + c1.x) / 2, (c0.y + c1.y) / 2}
                                 : xform_.apply((c0.x + c1.x) / 2, (c0.y + c1.y) / 2);
        path.add({int32_t(std::floor(m.x)), int32_t(std::floor(m.y))}, PT_LINETO);
    }
    if (kind > 0) path.closeFigure();
}

void DeviceContext::setPixel(Point p, ColorRef c) {
    const Point d = toDevice(p);
    Paint paint;
    paint.kind = Paint::Solid;
    paint.color = colorWord(c, s_.palette.get());
    this->paint(Region::fromRect({d.x, d.y, d.x + 1, d.y + 1}), paint, s_.rop2);
}

void DeviceContext::roundRect(int32_t l, int32_t t, int32_t r, int32_t b, int32_t ew, int32_t eh) {
    const bool inPath = pathOpen();
    // Quarter turns map the box onto a box: the figure stays upright. The
    // recorded XFORM holds floats, so cos(90) arrives as a tiny number.
    const double tiny = 1e-6 * std::max({std::fabs(xform_.m11), std::fabs(xform_.m12), std::fabs(xform_.m21),
                                         std::fabs(xform_.m22)});
    const bool boxToBox = (std::fabs(xform_.m12) <= tiny && std::fabs(xform_.m21) <= tiny) ||
                          (std::fabs(xform_.m11) <= tiny && std::fabs(xform_.m22) <= tiny);
    if (!inPath && !boxToBox) {
        turnedRoundRect(l, t, r, b, ew, eh);
        return;
    }
    const PenInfo pen = inPath ? PenInfo() : penInfo();
    Rect rect;
    if (!penRect(l, t, r, b, pen, rect)) {
        // A PS_INSIDEFRAME pen wider than the box leaves no corners to
        // round: the box is drawn as a rectangle, as with small corners.
        if (penRect(l, t, r, b, PenInfo(), rect)) rectangle(l, t, r, b);
        return;
    }
    const int64_t w = int64_t(rect.right) - rect.left, h = int64_t(rect.bottom) - rect.top;
    const Point e0 = toDevice({0, 0}), e1 = toDevice({ew, eh});
    const int64_t cw = std::min<int64_t>(w, std::llabs(int64_t(e1.x) - e0.x));
    const int64_t ch = std::min<int64_t>(h, std::llabs(int64_t(e1.y) - e0.y));
    if (cw <= 2 || ch <= 2) {
        rectangle(l, t, r, b);
        return;
    }
    if (inPath && (cw > limits::kMaxExactEllipse || ch > limits::kMaxExactEllipse)) return;
    if (cw > limits::kMaxExactEllipse || ch > limits::kMaxExactEllipse) {
        // Far larger than any canvas: a polygon along the same curve.
        std::vector<Point> pts;
        const double rx = cw / 2.0, ry = ch / 2.0;
        const int n = limits::kMaxCurveSegments;
        for (int i = 0; i < n; ++i) {
            const double a = 2 * M_PI * i / n;
            double x = std::cos(a) * rx, y = std::sin(a) * ry;
            x += x >= 0 ? rect.right - rx : rect.left + rx;
            y += y >= 0 ? rect.bottom - ry : rect.top + ry;
            pts.push_back({roundCoord(x), roundCoord(y)});
        }
        fillAndStroke(pts, {uint32_t(pts.size())}, {true}, true, true);
        return;
    }
    if (!work_.spend(uint64_t(cw + ch))) return;
    std::vector<Point> &q = scratch_.quad;
    ellipseQuadrant(cw, ch, q);
    const size_t count = q.size();
    std::vector<Point> &pts = scratch_.shape;
    pts.resize(count);
    // The corner curve at the bottom right (clockwise) or top right, then
    // mirrored across the middle column and the middle row.
    for (size_t i = 0; i < count; ++i) {
        const int64_t x = rect.right - cw + q[i].x;
        const int64_t y = s_.arcDirection == AD_CLOCKWISE ? rect.bottom - ch + q[i].y : rect.top + ch - 1 - q[i].y;
        pts[i] = {int32_t(x), int32_t(y)};
    }
    size_t end = 2 * count - 1;
    if ((cw & 1) && cw == w) --end;
    pts.resize(end + 1);
    for (size_t i = 0; i < count; ++i)
        pts[end - i] = {int32_t(int64_t(rect.left) + rect.right - 1 - pts[i].x), pts[i].y};
    const size_t half = end + 1;
    end = 2 * half - 1;
    if ((ch & 1) && ch == h) --end;
    pts.resize(end + 1);
    for (size_t i = 0; i < half; ++i)
        pts[end - i] = {pts[i].x, int32_t(int64_t(rect.top) + rect.bottom - 1 - pts[i].y)};
    if (inPath) {
        Path &path = openPath();
        path.moveTo(pts[0]);
        for (size_t i = 1; i < pts.size(); ++i) path.add(pts[i], PT_LINETO);
        path.closeFigure();
        return;
    }
    ellipseRows(pts, scratch_.fill);
    fillAndStrokeShape(pts, scratch_.fill, pen);
}

namespace {

// Where the ray from the centre through (x, y) meets the platform's arc
// point list, as an index into the four quadrants of `q` (points relative
// to the centre, first quadrant).
size_t arcIntersection(const std::vector<Point> &q, int64_t x, int64_t y) {
    const size_t count = q.size();
    size_t i = 0;
    if (y >= 0) {
        if (x >= 0) {
            for (; i < count; ++i)
                if (int64_t(q[i].x) * y <= int64_t(q[i].y) * x) break;
            return i;
        }
        for (; i < count; ++i)
            if (int64_t(q[i].x) * y < int64_t(q[i].y) * -x) break;
        return 2 * count - i;
    }
    if (x >= 0) {
        for (; i < count; ++i)
            if (int64_t(q[i].x) * -y <= int64_t(q[i].y) * x) break;
        return 4 * count - i;
    }
    for (; i < count; ++i)
        if (int64_t(q[i].x) * -y < int64_t(q[i].y) * -x) break;
    return 2 * count + i;
}

}  // namespace

void DeviceContext::arc(int32_t l, int32_t t, int32_t r, int32_t b, Point start, Point end, int kind) {
    // ArcTo leaves the current position where the ray from the centre
    // through the end point meets the ellipse.
    const double xr = (double(r) - l) / 2, yr = (double(b) - t) / 2;
    const double ea = std::atan2(yr != 0 ? (end.y - (t + yr)) / yr : 0, xr != 0 ? (end.x - (l + xr)) / xr : 0);
    const Point arcEnd{int32_t(std::lround(l + xr + std::cos(ea) * xr)),
                       int32_t(std::lround(t + yr + std::sin(ea) * yr))};
    if (pathOpen()) {
        const PointF ps{double(start.x), double(start.y)}, pe{double(end.x), double(end.y)};
        arcPath(l, t, r, b, &ps, &pe, kind);
        if (kind == -1) s_.curPos = arcEnd;
        return;
    }
    const PenInfo pen = penInfo();
    Rect rect;
    if (!penRect(l, t, r, b, pen, rect)) return;
    const int64_t w = int64_t(rect.right) - rect.left, h = int64_t(rect.bottom) - rect.top;
    if (w > limits::kMaxExactEllipse || h > limits::kMaxExactEllipse) return;
    if (!work_.spend(uint64_t(w + h) * 2)) return;
    const int64_t cx = rect.left + w / 2, cy = rect.top + h / 2;
    const Point ds = toDevice(start), de = toDevice(end);
    int64_t sx = ds.x - cx, sy = ds.y - cy, ex = de.x - cx, ey = de.y - cy;
    std::vector<Point> q;
    ellipseQuadrant(w, h, q);
    for (Point &p : q) p.x -= int32_t(w / 2), p.y -= int32_t(h / 2);
    const bool clockwise = s_.arcDirection == AD_CLOCKWISE;
    if (!clockwise) sy = -sy, ey = -ey;
    const size_t count = q.size();
    const size_t from = arcIntersection(q, sx, sy);
    size_t to = arcIntersection(q, ex, ey);
    if (to <= from) to += 4 * count;
    std::vector<Point> pts;
    if (kind == -1) pts.push_back(toDevice(s_.curPos));
    const int64_t left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
    for (size_t i = from; i < to; ++i) {
        const Point &p = q[i % count], &m = q[count - 1 - i % count];
        int64_t x = 0, y = 0;
        switch ((i / count) % 4) {
        case 0: x = left + w / 2 + p.x, y = clockwise ? top + h / 2 + p.y : bottom - 1 - h / 2 - p.y; break;
        case 1: x = right - 1 - w / 2 - m.x, y = clockwise ? top + h / 2 + m.y : bottom - 1 - h / 2 - m.y; break;
        case 2: x = right - 1 - w / 2 - p.x, y = clockwise ? bottom - 1 - h / 2 - p.y : top + h / 2 + p.y; break;
        case 3: x = left + w / 2 + m.x, y = clockwise ? bottom - 1 - h / 2 - m.y : top + h / 2 + m.y; break;
        }
        pts.push_back({int32_t(x), int32_t(y)});
    }
    if (kind == 2) pts.push_back({int32_t(cx), int32_t(cy)});
    if (kind == -1) s_.curPos = arcEnd;
    if (pts.size() < 2) return;
    if (kind > 0 && s_.brush->style != BS_NULL) {
        // Chords and pies: the interior is the polygon of the arc points,
        // painted under the outline.
        SpanSink &interior = scratch_.fill;
        interior.clear();
        const uint32_t c = uint32_t(pts.size());
        fillPolygons(pts.data(), &c, 1, true, bounds_, interior, work_, &scratch_.stroke.fill);
        fillAndStrokeShape(pts, interior, pen);
        return;
    }
    strokeShape(pts, kind > 0, pen);
}

void DeviceContext::angleArc(Point centre, uint32_t radius, float start, float sweep) {
    // As the platform draws it: a line from the current position to the
    // start of the arc, then the arc in the sweep's direction, which ends
    // where the current position is left.
    if (!std::isfinite(start) || !std::isfinite(sweep)) return;
    const double r = std::min<double>(radius, limits::kMaxDeviceCoord);
    const double a0 = double(start) * M_PI / 180, a1 = (double(start) + double(sweep)) * M_PI / 180;
    auto at = [&](double v) { return int32_t(std::floor(std::max(-2e9, std::min(2e9, v)) + 0.5)); };
    const Point p0{at(centre.x + std::cos(a0) * r), at(centre.y - std::sin(a0) * r)};
    const Point p1{at(centre.x + std::cos(a1) * r), at(centre.y - std::sin(a1) * r)};
    const int saved = s_.arcDirection;
    s_.arcDirection = sweep >= 0 ? AD_COUNTERCLOCKWISE : AD_CLOCKWISE;
    const int32_t rr = int32_t(r);
    arc(int32_t(std::max<int64_t>(INT32_MIN, int64_t(centre.x) - rr)),
        int32_t(std::max<int64_t>(INT32_MIN, int64_t(centre.y) - rr)),
        int32_t(std::min<int64_t>(INT32_MAX, int64_t(centre.x) + rr)),
        int32_t(std::min<int64_t>(INT32_MAX, int64_t(centre.y) + rr)), p0, p1, -1);
    s_.arcDirection = saved;
}

}  // namespace vellora::gdi
