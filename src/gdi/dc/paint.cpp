// Painting: brushes and pens as paints, a region or spans painted with a
// binary raster operation, and the outlines and fills the drawing calls share.
#include "gdi/dc/dc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gdi/raster/stroke.h"

namespace vellora::gdi {

namespace {

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

}  // namespace

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

}  // namespace vellora::gdi
