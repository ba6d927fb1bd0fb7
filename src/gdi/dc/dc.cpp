#include "gdi/dc/dc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gdi/raster/stroke.h"

namespace vellora::gdi {

namespace {

constexpr int32_t kExtentLimit = 1 << 27;

int32_t clampExtent(int64_t v) {
    if (v > kExtentLimit) return kExtentLimit;
    if (v < -kExtentLimit) return -kExtentLimit;
    return int32_t(v);
}

uint32_t rop2Word(int rop, uint32_t d, uint32_t p) {
    // The 16 binary raster operations as truth tables over (pen, dest):
    // bit (2*pen + dest) of (rop - 1) is the result for those inputs.
    const unsigned t = unsigned(rop - 1) & 15;
    uint32_t r = 0;
    if (t & 1) r |= ~p & ~d;
    if (t & 2) r |= ~p & d;
    if (t & 4) r |= p & ~d;
    if (t & 8) r |= p & d;
    return r;
}

bool hatchBit(uint32_t hatch, int x, int y) {
    switch (hatch) {
    case HS_HORIZONTAL: return y == 3;
    case HS_VERTICAL: return x == 4;
    case HS_FDIAGONAL: return x == y;
    case HS_BDIAGONAL: return x + y == 7;
    case HS_CROSS: return y == 3 || x == 4;
    case HS_DIAGCROSS: return x == y || x + y == 7;
    default: return false;
    }
}

}  // namespace

DeviceContext::DeviceContext(const Bitmap &bitmap, const DeviceCaps &reference, const Matrix &base,
                             const Rect &bounds)
    : bitmap_(bitmap), ref_(reference), base_(base) {
    bounds_ = intersect(bounds, Rect{0, 0, bitmap.width, bitmap.height});
    if (ref_.horzRes <= 0) ref_.horzRes = 1;
    if (ref_.vertRes <= 0) ref_.vertRes = 1;
    if (ref_.horzSize <= 0) ref_.horzSize = 1;
    if (ref_.vertSize <= 0) ref_.vertSize = 1;
    s_.pen = stockPen(7);
    s_.brush = stockBrush(0);
    updateTransform();
}

// ---------------------------------------------------------------- mapping

void DeviceContext::updateTransform() {
    Matrix page;
    page.m11 = double(s_.viewportExt.x) / s_.windowExt.x;
    page.m22 = double(s_.viewportExt.y) / s_.windowExt.y;
    page.dx = s_.viewportOrg.x - page.m11 * s_.windowOrg.x;
    page.dy = s_.viewportOrg.y - page.m22 * s_.windowOrg.y;
    Matrix m = combine(combine(s_.world, page), base_);
    if (!m.finite()) m = base_;
    xform_ = toSingle(m);
}

void DeviceContext::setMapMode(int mode) {
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
    if (mode == s_.mapMode && (mode == MM_ISOTROPIC || mode == MM_ANISOTROPIC)) return;
    s_.mapMode = mode;
    const int32_t hs = ref_.horzSize, vs = ref_.vertSize, hr = ref_.horzRes, vr = ref_.vertRes;
    auto metric = [&](int64_t wx, int64_t wy) {
        s_.windowExt = {clampExtent(wx), clampExtent(wy)};
        s_.viewportExt = {hr, -vr};
    };
    switch (mode) {
    case MM_TEXT:
        s_.windowExt = s_.viewportExt = {1, 1};
        break;
    case MM_LOMETRIC:
    case MM_ISOTROPIC: metric(int64_t(hs) * 10, int64_t(vs) * 10); break;
    case MM_HIMETRIC: metric(int64_t(hs) * 100, int64_t(vs) * 100); break;
    case MM_LOENGLISH: metric(int64_t(hs) * 1000 / 254, int64_t(vs) * 1000 / 254); break;
    case MM_HIENGLISH: metric(int64_t(hs) * 10000 / 254, int64_t(vs) * 10000 / 254); break;
    case MM_TWIPS: metric(int64_t(hs) * 14400 / 254, int64_t(vs) * 14400 / 254); break;
    case MM_ANISOTROPIC: break;  // keeps the extents it inherits
    }
    if (s_.windowExt.x == 0) s_.windowExt.x = 1;
    if (s_.windowExt.y == 0) s_.windowExt.y = 1;
    updateTransform();
}

void DeviceContext::fixIsotropic() {
    // Shrink one viewport extent so that a logical unit covers the same
    // physical distance along both axes of the reference device.
    const double xdim = std::fabs(double(s_.viewportExt.x) * ref_.horzSize /
                                  (double(ref_.horzRes) * s_.windowExt.x));
    const double ydim = std::fabs(double(s_.viewportExt.y) * ref_.vertSize /
                                  (double(ref_.vertRes) * s_.windowExt.y));
    if (!(xdim > 0) || !(ydim > 0)) return;
    if (xdim > ydim) {
        const int32_t sign = s_.viewportExt.x >= 0 ? 1 : -1;
        s_.viewportExt.x = clampExtent(int64_t(std::floor(s_.viewportExt.x * ydim / xdim + 0.5)));
        if (!s_.viewportExt.x) s_.viewportExt.x = sign;
    } else {
        const int32_t sign = s_.viewportExt.y >= 0 ? 1 : -1;
        s_.viewportExt.y = clampExtent(int64_t(std::floor(s_.viewportExt.y * xdim / ydim + 0.5)));
        if (!s_.viewportExt.y) s_.viewportExt.y = sign;
    }
}

void DeviceContext::setWindowOrg(int32_t x, int32_t y) {
    s_.windowOrg = {x, y};
    updateTransform();
}

void DeviceContext::setViewportOrg(int32_t x, int32_t y) {
    s_.viewportOrg = {x, y};
    updateTransform();
}

void DeviceContext::offsetWindowOrg(int32_t dx, int32_t dy) {
    setWindowOrg(clampExtent(int64_t(s_.windowOrg.x) + dx), clampExtent(int64_t(s_.windowOrg.y) + dy));
}

void DeviceContext::offsetViewportOrg(int32_t dx, int32_t dy) {
    setViewportOrg(clampExtent(int64_t(s_.viewportOrg.x) + dx),
                   clampExtent(int64_t(s_.viewportOrg.y) + dy));
}

bool DeviceContext::changeExtent(Point &ext, int64_t x, int64_t y) {
    // Extents mean something only in the two scalable modes, and never 0.
    if (s_.mapMode != MM_ISOTROPIC && s_.mapMode != MM_ANISOTROPIC) return false;
    if (x == 0 || y == 0) return false;
    ext = {clampExtent(x), clampExtent(y)};
    if (s_.mapMode == MM_ISOTROPIC) fixIsotropic();
    updateTransform();
    return true;
}

bool DeviceContext::setWindowExt(int32_t x, int32_t y) { return changeExtent(s_.windowExt, x, y); }

bool DeviceContext::setViewportExt(int32_t x, int32_t y) { return changeExtent(s_.viewportExt, x, y); }

bool DeviceContext::scaleWindowExt(int32_t xn, int32_t xd, int32_t yn, int32_t yd) {
    if (xd == 0 || yd == 0) return false;
    return changeExtent(s_.windowExt, int64_t(s_.windowExt.x) * xn / xd,
                        int64_t(s_.windowExt.y) * yn / yd);
}

bool DeviceContext::scaleViewportExt(int32_t xn, int32_t xd, int32_t yn, int32_t yd) {
    if (xd == 0 || yd == 0) return false;
    return changeExtent(s_.viewportExt, int64_t(s_.viewportExt.x) * xn / xd,
                        int64_t(s_.viewportExt.y) * yn / yd);
}

bool DeviceContext::setWorldTransform(const Matrix &m) {
    if (!m.invertible()) return false;
    s_.world = m;
    updateTransform();
    return true;
}

bool DeviceContext::modifyWorldTransform(const Matrix &m, int mode) {
    Matrix w;
    switch (mode) {
    case MWT_IDENTITY: break;
    case MWT_LEFTMULTIPLY: w = combine(m, s_.world); break;
    case MWT_RIGHTMULTIPLY: w = combine(s_.world, m); break;
    case MWT_SET: w = m; break;
    default: return false;
    }
    if (!w.invertible()) return false;
    s_.world = w;
    updateTransform();
    return true;
}

void DeviceContext::setGraphicsMode(int mode) {
    if (mode == GM_COMPATIBLE || mode == GM_ADVANCED) s_.graphicsMode = mode;
}

int DeviceContext::saveDC() {
    if (int(saved_.size()) >= limits::kMaxSaveDepth) return 0;
    saved_.push_back(s_);
    return int(saved_.size());
}

bool DeviceContext::restoreDC(int level) {
    const int depth = int(saved_.size());
    const int target = level < 0 ? depth + level + 1 : level;
    if (level == 0 || target < 1 || target > depth) return false;
    s_ = std::move(saved_[size_t(target - 1)]);
    saved_.resize(size_t(target - 1));
    clipDirty_ = true;
    updateTransform();
    return true;
}

Point DeviceContext::toDevice(Point p) const {
    const PointF d = xform_.apply(p.x, p.y);
    return {roundCoord(d.x), roundCoord(d.y)};
}

void DeviceContext::toDevice(const Point *in, size_t n, std::vector<Point> &out) const {
    out.resize(n);
    for (size_t i = 0; i < n; ++i) out[i] = toDevice(in[i]);
}

// --------------------------------------------------------------- clipping

const Region &DeviceContext::clip() {
    if (clipDirty_) {
        Region r = Region::fromRect(bounds_);
        if (s_.metaRegion) r = Region::combine(r, *s_.metaRegion, RegionOp::And);
        if (s_.clip) r = Region::combine(r, *s_.clip, RegionOp::And);
        clipCache_ = std::move(r);
        clipDirty_ = false;
    }
    return clipCache_;
}

void DeviceContext::setClip(Region r) {
    s_.clip = std::make_shared<const Region>(std::move(r));
    clipDirty_ = true;
}

namespace {
Rect orderedRect(Point a, Point b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}
}  // namespace

void DeviceContext::intersectClipRect(int32_t l, int32_t t, int32_t r, int32_t b) {
    const Region rect = Region::fromRect(orderedRect(toDevice({l, t}), toDevice({r, b})));
    setClip(s_.clip ? Region::combine(*s_.clip, rect, RegionOp::And) : rect);
}

void DeviceContext::excludeClipRect(int32_t l, int32_t t, int32_t r, int32_t b) {
    const Region rect = Region::fromRect(orderedRect(toDevice({l, t}), toDevice({r, b})));
    const Region base = s_.clip ? *s_.clip : Region::fromRect({0, 0, bitmap_.width, bitmap_.height});
    setClip(Region::combine(base, rect, RegionOp::Diff));
}

void DeviceContext::offsetClipRgn(int32_t dx, int32_t dy) {
    if (!s_.clip) return;
    const PointF v = xform_.applyVector(dx, dy);
    Region r = *s_.clip;
    r.offset(roundCoord(v.x), roundCoord(v.y));
    setClip(std::move(r));
}

void DeviceContext::selectClipRegion(const Region *rgn, RegionOp op) {
    if (!rgn) {
        if (op == RegionOp::Copy) {
            s_.clip.reset();
            clipDirty_ = true;
        }
        return;
    }
    if (op == RegionOp::Copy) {
        setClip(*rgn);
        return;
    }
    // Without a clip region the whole device is the first operand.
    const Region base = s_.clip ? *s_.clip : Region::fromRect({0, 0, bitmap_.width, bitmap_.height});
    setClip(Region::combine(base, *rgn, op));
}

void DeviceContext::setMetaRegion() {
    if (!s_.clip) return;
    if (s_.metaRegion)
        s_.metaRegion = std::make_shared<const Region>(
            Region::combine(*s_.metaRegion, *s_.clip, RegionOp::And));
    else
        s_.metaRegion = s_.clip;
    s_.clip.reset();
    clipDirty_ = true;
}

// ---------------------------------------------------------------- painting

Paint DeviceContext::brushPaint(const Brush &brush) const {
    Paint p;
    switch (brush.style) {
    case BS_SOLID:
        p.kind = Paint::Solid;
        p.color = colorWord(brush.color, s_.palette.get());
        break;
    case BS_HATCHED:
        if (brush.hatch > HS_DIAGCROSS) {  // unknown hatches paint solid
            p.kind = Paint::Solid;
            p.color = colorWord(brush.color, s_.palette.get());
            break;
        }
        p.kind = Paint::Pattern;
        p.pattern = nullptr;
        p.fore = colorWord(brush.color, s_.palette.get());
        p.back = colorWord(s_.bkColor, s_.palette.get());
        p.backTransparent = s_.bkMode == TRANSPARENT;
        p.origin = s_.brushOrg;
        p.color = brush.hatch;
        break;
    case BS_NULL: break;
    default:
        if (brush.pattern && brush.pattern->width > 0 && brush.pattern->height > 0) {
            p.kind = Paint::Pattern;
            p.pattern = brush.pattern.get();
            p.fore = colorWord(s_.textColor, s_.palette.get());
            p.back = colorWord(s_.bkColor, s_.palette.get());
            p.origin = s_.brushOrg;
        } else {
            p.kind = Paint::Solid;
            p.color = colorWord(brush.color, s_.palette.get());
        }
        break;
    }
    return p;
}

void DeviceContext::paint(const Region &pixels, const Paint &paint, int rop2) {
    if (paint.kind == Paint::None || pixels.empty() || rop2 == R2_NOP) return;
    const bool copy = rop2 == R2_COPYPEN;
    const auto fill = [&](int32_t top, int32_t bottom, int32_t x0, int32_t x1) {
        for (int32_t y = top; y < bottom; ++y) {
            uint8_t *row = bitmap_.top + ptrdiff_t(y) * bitmap_.stride;
            if (paint.kind == Paint::Solid) {
                if (copy) {
                    for (int32_t x = x0; x < x1; ++x) std::memcpy(row + 4 * x, &paint.color, 4);
                } else {
                    for (int32_t x = x0; x < x1; ++x) {
                        uint32_t d;
                        std::memcpy(&d, row + 4 * x, 4);
                        d = rop2Word(rop2, d, paint.color);
                        std::memcpy(row + 4 * x, &d, 4);
                    }
                }
                continue;
            }
            for (int32_t x = x0; x < x1; ++x) {
                uint32_t p;
                if (!paint.pattern) {  // hatch, 8 x 8
                    const int hx = int((int64_t(x) - paint.origin.x) & 7);
                    const int hy = int((int64_t(y) - paint.origin.y) & 7);
                    if (hatchBit(paint.color, hx, hy)) p = paint.fore;
                    else if (paint.backTransparent) continue;
                    else p = paint.back;
                } else {
                    const Pattern &pt = *paint.pattern;
                    int64_t px = (int64_t(x) - paint.origin.x) % pt.width;
                    int64_t py = (int64_t(y) - paint.origin.y) % pt.height;
                    if (px < 0) px += pt.width;
                    if (py < 0) py += pt.height;
                    p = pt.pixels[size_t(py) * size_t(pt.width) + size_t(px)];
                    // 32-bit patterns bring their alpha byte, as the
                    // platform copies them.
                    if (pt.mono) p = p ? paint.back : paint.fore;
                }
                uint32_t d;
                std::memcpy(&d, row + 4 * x, 4);
                d = copy ? p : rop2Word(rop2, d, p);
                std::memcpy(row + 4 * x, &d, 4);
            }
        }
    };
    const Region &c = clip();
    if (c.bandCount() == 1 && c.spanCount() == 1) {
        // A rectangular clip, the usual case: each rectangle is cut to it
        // as it is painted, without building the intersection.
        const Rect box = c.bounds();
        if (!work_.spend(pixels.spanCount())) return;
        pixels.forEachRect([&](int32_t top, int32_t bottom, int32_t x0, int32_t x1) {
            const Rect r = intersect(Rect{x0, top, x1, bottom}, box);
            if (!r.empty()) fill(r.top, r.bottom, r.left, r.right);
        });
        return;
    }
    const Region area = Region::combine(pixels, c, RegionOp::And);
    if (!work_.spend(area.spanCount())) return;
    area.forEachRect(fill);
}

void DeviceContext::paintSpans(SpanSink &spans, const Paint &p, int rop2) {
    if (spans.empty()) return;
    paint(spans.region(), p, rop2);
}

// ---------------------------------------------------------------- pens

DeviceContext::PenInfo DeviceContext::penInfo() const {
    PenInfo info;
    const Pen &pen = *s_.pen;
    const uint32_t style = pen.style & PS_STYLE_MASK;
    if (style == PS_NULL) return info;
    info.null = false;
    info.style = style;
    info.endcap = pen.style & PS_ENDCAP_MASK;
    info.join = pen.style & PS_JOIN_MASK;
    const bool geometric = (pen.style & PS_TYPE_MASK) == PS_GEOMETRIC;
    int64_t width = pen.extended && !geometric ? 0 : pen.width;
    if (width < 0) width = -width;
    if (width == 0) {
        info.width = 1;
    } else {
        // The device length of a logical width along x, as the platform
        // measures it: both ends rounded, the distance truncated.
        const Point a = toDevice({0, 0});
        const PointF e = xform_.apply(double(std::min<int64_t>(width, INT32_MAX)), 0);
        const Point b{roundCoord(e.x), roundCoord(e.y)};
        const double len = std::floor(std::hypot(double(b.x) - a.x, double(b.y) - a.y));
        info.width = int32_t(std::max(1.0, std::min<double>(len, limits::kMaxPenWidth)));
    }
    info.cosmetic = !geometric;
    info.wide = info.width > 1 && style != PS_ALTERNATE;
    info.region = geometric || info.width > 1;
    static const uint32_t cosmeticDashes[4][6] = {
        {18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
    static const uint32_t geometricDashes[4][6] = {
        {3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
    static const size_t dashCounts[4] = {2, 2, 4, 6};
    switch (style) {
    case PS_DASH:
    case PS_DOT:
    case PS_DASHDOT:
    case PS_DASHDOTDOT: {
        const size_t n = dashCounts[style - 1];
        if (geometric) {
            info.dashes.assign(geometricDashes[style - 1], geometricDashes[style - 1] + n);
            if (info.width > 1) {
                for (uint32_t &d : info.dashes) d *= uint32_t(info.width);
                if (info.endcap != PS_ENDCAP_FLAT)  // room for the caps
                    for (size_t i = 0; i + 1 < n; i += 2)
                        info.dashes[i] -= uint32_t(info.width), info.dashes[i + 1] += uint32_t(info.width);
            }
        } else if (info.width == 1) {
            info.dashes.assign(cosmeticDashes[style - 1], cosmeticDashes[style - 1] + n);
        }
        break;
    }
    case PS_ALTERNATE: info.dashes = {1, 1}; break;
    case PS_USERSTYLE:
        for (uint32_t d : pen.dashes) info.dashes.push_back(std::min<uint32_t>(d, 1u << 20));
        if (!geometric)
            for (uint32_t &d : info.dashes) d *= 3;
        break;
    default: break;
    }
    if (!info.dashes.empty()) {
        uint64_t total = 0;
        for (uint32_t d : info.dashes) total += d;
        if (total == 0) info.dashes.clear();
    }
    return info;
}

void DeviceContext::strokeOutline(const std::vector<Point> &pts, const std::vector<uint32_t> &counts,
                                  const std::vector<bool> &closed, const PenInfo &pen, SpanSink &on,
                                  SpanSink &off) {
    const Rect &clipRect = bounds_;
    size_t base = 0;
    for (size_t f = 0; f < counts.size(); ++f) {
        const Point *p = pts.data() + base;
        const size_t n = counts[f];
        base += n;
        if (n < 2) continue;
        if (pen.wide) {
            if (pen.dashes.empty())
                wideLine(p, n, closed[f], pen.width, pen.endcap, pen.join, s_.miterLimit, clipRect, on,
                         work_, &scratch_.stroke);
            else
                dashedWideLine(p, n, closed[f], pen.width, pen.endcap, pen.join, s_.miterLimit,
                               pen.dashes, clipRect, on, work_);
            continue;
        }
        Dasher dash(pen.dashes);
        const size_t segments = closed[f] ? n : n - 1;
        for (size_t i = 0; i < segments && !work_.exhausted(); ++i) {
            const Point a = p[i], b = p[i + 1 == n ? 0 : i + 1];
            const uint64_t start = dash.position();
            walkLine(a, b, clipRect, work_, [&](int32_t x, int32_t y, int64_t step) {
                if (dash.solid() || dash.on(start + uint64_t(step))) on.pixel(x, y);
                else off.pixel(x, y);
            });
            const int64_t len = std::max(std::llabs(int64_t(b.x) - a.x), std::llabs(int64_t(b.y) - a.y));
            dash.advance(uint64_t(len));
        }
    }
}

void DeviceContext::fillAndStroke(const std::vector<Point> &pts, const std::vector<uint32_t> &counts,
                                  const std::vector<bool> &closed, bool fill, bool stroke) {
    const bool haveFill = fill && s_.brush->style != BS_NULL;
    if (haveFill) {
        SpanSink &sink = scratch_.fill;
        sink.clear();
        fillPolygons(pts.data(), counts.data(), counts.size(), s_.polyFillMode == WINDING, bounds_, sink,
                     work_, &scratch_.stroke.fill);
        sink.regionInto(scratch_.interior);
    }
    paintFillAndOutline(haveFill, pts, counts, closed, stroke ? penInfo() : PenInfo());
}

void DeviceContext::paintFillAndOutline(bool haveFill, const std::vector<Point> &pts,
                                        const std::vector<uint32_t> &counts,
                                        const std::vector<bool> &closed, const PenInfo &pen) {
    const Region &interior = scratch_.interior;
    const Brush &brush = *s_.brush;
    if (pen.null) {
        if (haveFill) paint(interior, brushPaint(brush), s_.rop2);
        return;
    }
    SpanSink &on = scratch_.on, &off = scratch_.off;
    on.clear();
    off.clear();
    strokeOutline(pts, counts, closed, pen, on, off);
    Region &outline = scratch_.outline;
    on.regionInto(outline);
    if (pen.region) {
        if (haveFill) {
            Region::combineInto(interior, outline, RegionOp::Diff, scratch_.extra);
            paint(scratch_.extra, brushPaint(brush), s_.rop2);
        }
        paint(outline, penPaint(), s_.rop2);
        return;
    }
    if (haveFill) paint(interior, brushPaint(brush), s_.rop2);
    paint(outline, penPaint(), s_.rop2);
    if (!off.empty() && s_.bkMode == OPAQUE && !s_.pen->extended) {
        Paint bk;
        bk.kind = Paint::Solid;
        bk.color = colorWord(s_.bkColor, s_.palette.get());
        off.regionInto(scratch_.extra);
        paint(scratch_.extra, bk, s_.rop2);
    }
}

void DeviceContext::oneFigure(size_t points, bool closed) {
    scratch_.counts.assign(1, uint32_t(points));
    scratch_.closed.assign(1, closed);
}

Paint DeviceContext::penPaint() const {
    const Pen &pen = *s_.pen;
    if (pen.extended && pen.brush.style != BS_SOLID) {
        Paint p = brushPaint(pen.brush);
        if (p.kind != Paint::None) return p;
    }
    Paint p;
    p.kind = Paint::Solid;
    p.color = colorWord(pen.extended ? pen.brush.color : pen.color, s_.palette.get());
    return p;
}

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
    int32_t top = pts[0].y, bottom = pts[0].y;
    for (const Point &p : pts) top = std::min(top, p.y), bottom = std::max(bottom, p.y);
    std::vector<std::pair<int32_t, int32_t>> &rows = scratch_.rows;
    rows.assign(size_t(bottom - top + 1), {INT32_MAX, INT32_MIN});
    for (const Point &p : pts) {
        auto &row = rows[size_t(p.y - top)];
        row.first = std::min(row.first, p.x);
        row.second = std::max(row.second, p.x);
    }
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

namespace vellora::gdi {

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
