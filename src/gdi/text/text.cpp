#include "gdi/text/text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gdi/text/font.h"
#include "gdi/text/text_bidi.h"

namespace vellora::gdi {

namespace {

constexpr uint32_t LAYOUT_RTL = 1;

// Characters of one string drawn at most; the rest of a longer string is
// left out (no real string comes near it).
constexpr size_t kMaxTextCount = size_t(1) << 20;

int32_t clamp32(double v) {
    if (!(v == v)) return 0;
    if (v > 2147483647.0) return 2147483647;
    if (v < -2147483648.0) return -2147483647 - 1;
    return int32_t(v);  // toward zero, as C converts
}
int32_t clamp32(int64_t v) {
    return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v)));
}
int32_t gdiRound(double v) { return clamp32(std::floor(v + 0.5)); }

// The device context's mapping as the platform applies it to text: points
// both ways, and the sizes of device lengths in logical units.
struct Mapping {
    DeviceContext &dc;
    Matrix fwd, inv;
    explicit Mapping(DeviceContext &d) : dc(d), fwd(d.transform()) {
        inv = fwd.invertible() ? toSingle(fwd.inverse()) : Matrix();
    }
    Point lpToDp(int32_t x, int32_t y) const { return dc.toDevice(Point{x, y}); }
    Point dpToLp(Point p) const {
        const PointF l = inv.apply(p.x, p.y);
        return {roundCoord(l.x), roundCoord(l.y)};
    }
    // Device height of a logical height along y (INTERNAL_YWSTODS).
    int32_t yLpToDp(int32_t h) const { return lpToDp(0, h).y - lpToDp(0, 0).y; }
    int32_t heightToLp(int32_t h) const { return gdiRound(h * std::fabs(inv.m22)); }
    int32_t xDpToLp(int32_t w) const { return gdiRound(w * inv.m11); }
    int32_t yDpToLp(int32_t h) const { return gdiRound(h * inv.m22); }
};

// The selected font's LOGFONT; a stock font's is built in `stock`. The
// reference lives while the font stays selected, or as long as `stock`.
const LogFont &selectedLogFont(const DcState &st, LogFont &stock) {
    if (st.font)
        if (auto *lf = dynamic_cast<const LogicalFont *>(st.font.get())) return lf->lf;
    stock = stockLogFont(st.stockFont);
    return stock;
}

// The font as the platform realizes it for this device context: in the
// compatible graphics mode only the height scales with the mapping (and the
// escapement turns the glyphs); in the advanced mode the glyphs go through
// the whole transform, a uniform scale folded into the height.
RealizedFontRef realizeFor(const DeviceContext &dc, const LogFont &lfIn) {
    const Matrix &m = dc.transform();
    const int mode = dc.state().graphicsMode;
    DeviceContext::FontMemo &memo = dc.fontMemo();
    for (const DeviceContext::FontMemo::Entry &e : memo.entries)
        if (e.font && e.graphicsMode == mode && e.m11 == m.m11 && e.m12 == m.m12 && e.m21 == m.m21 &&
            e.m22 == m.m22 && e.selected == lfIn)
            return e.font;
    FontRequest req;
    req.lf = lfIn;
    LogFont &lf = req.lf;
    lf.width = lf.width == INT32_MIN ? INT32_MAX : std::abs(lf.width);
    // Angles are periodic; reduced, they can be negated safely.
    lf.escapement %= 3600;
    lf.orientation %= 3600;
    if (dc.state().graphicsMode == GM_ADVANCED) {
        req.m11 = m.m11, req.m12 = m.m12, req.m21 = m.m21, req.m22 = m.m22;
        if (m.m21 == 0 && m.m12 == 0 && m.m11 == m.m22) {
            lf.height = clamp32(lf.height * std::fabs(m.m11));
            lf.width = clamp32(lf.width * std::fabs(m.m11));
            req.m11 = req.m22 = m.m11 < 0 ? -1 : 1;
        }
    } else {
        lf.orientation = lf.escapement;
        if (m.m11 * m.m22 < 0) lf.orientation = -lf.orientation;
        lf.height = clamp32(lf.height * std::fabs(m.m22));
        lf.width = clamp32(lf.width * std::fabs(m.m22));
    }
    if (!std::isfinite(req.m11) || !std::isfinite(req.m12) || !std::isfinite(req.m21) || !std::isfinite(req.m22))
        req.m11 = req.m22 = 1, req.m12 = req.m21 = 0;
    RealizedFontRef font = realizeFont(req);
    DeviceContext::FontMemo::Entry &e = memo.entries[memo.next];
    memo.next = (memo.next + 1) % 4;
    e.selected = lfIn;
    e.m11 = m.m11, e.m12 = m.m12, e.m21 = m.m21, e.m22 = m.m22;
    e.graphicsMode = mode;
    e.font = font;
    return font;
}

// The platform's blend of a grey glyph level (0-16) over a pixel, as a share
// of 255.
const uint8_t kRamp[17] = {0, 0x4d, 0x68, 0x7c, 0x8c, 0x9a, 0xa7, 0xb2, 0xbd,
                           0xc7, 0xd0, 0xd9, 0xe1, 0xe9, 0xf0, 0xf8, 0xff};

uint8_t blendChannel(uint8_t dst, uint8_t text, int level) {
    if (dst == text) return dst;
    const unsigned lo = unsigned(kRamp[level]) * text / 0xFF;
    const unsigned hi = kRamp[16 - level] + (0xFFu - kRamp[16 - level]) * text / 0xFF;
    if (dst > text) return uint8_t(text + (unsigned(dst - text) * (hi - text)) / (0xFFu - text));
    return uint8_t(text - (unsigned(text - dst) * (text - lo)) / text);
}

// Paints the placed glyph images at their pen positions with the text
// colour, inside the clip region and `cut` (device pixels) if given.
void paintGlyphs(DeviceContext &dc, TextScratch &ts, const Rect *cut, uint32_t color) {
    const Region *area = &dc.clip();
    if (cut) {
        ts.rect.assignRect(*cut);
        Region::combineInto(*area, ts.rect, RegionOp::And, ts.area);
        area = &ts.area;
    }
    if (area->empty()) return;
    const std::vector<GlyphPlacement> &glyphs = ts.placed;
    const Rect cb = area->bounds();
    SpanSink &spans = ts.spans;
    spans.clear();
    std::vector<uint8_t> &part = ts.part;
    bool gray = false;
    for (const GlyphPlacement &g : glyphs) {
        if (!g.shaped.glyph || !g.shaped.font) continue;
        const Glyph &gl = *g.shaped.glyph;
        if (gl.width <= 0 || gl.height <= 0) continue;
        if (g.shaped.font->smoothed()) {
            gray = true;
            continue;
        }
        const int64_t left = int64_t(g.x) + gl.left, top = int64_t(g.y) - gl.top;
        // Only the part of the box that can be seen.
        const int64_t x0 = std::max<int64_t>(left, cb.left), x1 = std::min<int64_t>(left + gl.width, cb.right);
        const int64_t y0 = std::max<int64_t>(top, cb.top), y1 = std::min<int64_t>(top + gl.height, cb.bottom);
        if (x0 >= x1 || y0 >= y1) continue;
        if (!dc.work().spend(uint64_t(y1 - y0) * uint64_t(1 + (x1 - x0) / 64))) return;
        const bool kept = !gl.levels.empty();
        const int32_t bandRows = kept ? int32_t(y1 - y0) : 256;
        for (int64_t by = y0; by < y1; by += bandRows) {
            const int64_t ey = std::min<int64_t>(y1, by + bandRows);
            const uint8_t *levels;
            int64_t stride, ox, oy;
            if (kept) {
                levels = gl.levels.data();
                stride = gl.width;
                ox = left;
                oy = top;
            } else {
                g.shaped.font->renderPart(g.shaped.index, int32_t(x0 - left), int32_t(by - top), int32_t(x1 - left),
                                          int32_t(ey - top), part);
                if (part.empty()) continue;
                levels = part.data();
                stride = x1 - x0;
                ox = x0;
                oy = by;
            }
            for (int64_t y = by; y < ey; ++y) {
                const uint8_t *row = levels + (y - oy) * stride;
                int64_t x = x0;
                while (x < x1) {
                    while (x < x1 && row[x - ox] < 16) ++x;
                    const int64_t s = x;
                    while (x < x1 && row[x - ox] >= 16) ++x;
                    if (x > s) spans.add(int32_t(y), int32_t(s), int32_t(x));
                }
            }
        }
    }
    if (!spans.empty()) {
        // The spans lie within the bounds of the area, so within `cut`;
        // painting clips them to the clip region.
        spans.regionInto(ts.glyphs);
        Paint p;
        p.kind = Paint::Solid;
        p.color = color;
        dc.paint(ts.glyphs, p, R2_COPYPEN);
    }
    if (!gray) return;

    // Smoothed glyphs blend their grey levels into the pixels below.
    Surface &bm = dc.bitmap();
    const uint8_t tb = uint8_t(color), tg = uint8_t(color >> 8), tr = uint8_t(color >> 16);
    for (const GlyphPlacement &g : glyphs) {
        if (!g.shaped.glyph || !g.shaped.font || !g.shaped.font->smoothed()) continue;
        const Glyph &gl = *g.shaped.glyph;
        if (gl.width <= 0 || gl.height <= 0) continue;
        const int64_t left = int64_t(g.x) + gl.left, top = int64_t(g.y) - gl.top;
        area->forEachRect([&](int32_t rt, int32_t rb, int32_t rx0, int32_t rx1) {
            const int64_t x0 = std::max<int64_t>(left, rx0), x1 = std::min<int64_t>(left + gl.width, rx1);
            const int64_t y0 = std::max<int64_t>(top, rt), y1 = std::min<int64_t>(top + gl.height, rb);
            if (x0 >= x1 || y0 >= y1) return;
            if (!dc.work().spend(uint64_t(y1 - y0) * uint64_t(1 + (x1 - x0) / 16))) return;
            std::vector<uint8_t> &local = ts.part;
            const uint8_t *levels = gl.levels.data();
            int64_t stride = gl.width, ox = left, oy = top;
            if (gl.levels.empty()) {
                g.shaped.font->renderPart(g.shaped.index, int32_t(x0 - left), int32_t(y0 - top), int32_t(x1 - left),
                                          int32_t(y1 - top), local);
                if (local.empty()) return;
                levels = local.data();
                stride = x1 - x0;
                ox = x0;
                oy = y0;
            }
            for (int64_t y = y0; y < y1; ++y) {
                uint8_t *row = bm.top + ptrdiff_t(y) * bm.stride;
                const uint8_t *lv = levels + (y - oy) * stride;
                for (int64_t x = x0; x < x1; ++x) {
                    const int level = lv[x - ox];
                    if (level <= 1) continue;
                    uint8_t *px = row + 4 * x;
                    if (level >= 16) {
                        px[0] = tb, px[1] = tg, px[2] = tr, px[3] = 0;
                        continue;
                    }
                    px[0] = blendChannel(px[0], tb, level);
                    px[1] = blendChannel(px[1], tg, level);
                    px[2] = blendChannel(px[2], tr, level);
                    px[3] = 0;
                }
            }
        });
    }
}

// Adds glyph outlines to the open path as the platform's path driver does:
// quadratic runs become Bezier triples through the control points, points
// rounded to whole device pixels.
void addOutline(Path &path, int32_t x, int32_t y, const GlyphOutline &o) {
    auto dev = [&](size_t i) {
        auto r = [](int64_t v) { return (v >> 6) + ((v & 63) >= 32 ? 1 : 0); };
        return Point{clamp32(int64_t(x) + r(o.x[i])), clamp32(int64_t(y) - r(o.y[i]))};
    };
    size_t first = 0;
    for (size_t end : o.ends) {
        if (end < first || end >= o.x.size()) break;
        if (end == first) {  // single-point contours are skipped
            first = end + 1;
            continue;
        }
        path.moveTo(dev(first));
        Point prev = dev(first);
        size_t p = first + 1;
        while (p <= end) {
            const bool line = o.on[p];
            std::vector<Point> run;
            do {
                run.push_back(dev(p));
                ++p;
            } while (p <= end && o.on[p] == o.on[p - 1]);
            if (p > end && !o.on[p - 1]) {
                run.push_back(dev(first));
            } else if (p <= end && o.on[p]) {
                run.push_back(dev(p));
                ++p;
            }
            if (line) {
                for (const Point &q : run) path.add(q, PT_LINETO);
            } else {
                std::vector<Point> pts;
                pts.push_back(prev);
                pts.insert(pts.end(), run.begin(), run.end());
                const size_t n = pts.size();
                if (n == 2) {
                    path.add(pts[1], PT_LINETO);
                } else if (n == 3) {
                    for (const Point &q : pts) path.add(q, PT_BEZIERTO);
                } else if (n > 3) {
                    Point t[3];
                    t[2] = pts[0];
                    size_t left = n - 1, i = 0;
                    while (left > 2) {
                        t[0] = t[2];
                        t[1] = pts[i + 1];
                        t[2] = Point{int32_t((int64_t(pts[i + 2].x) + pts[i + 1].x) / 2),
                                     int32_t((int64_t(pts[i + 2].y) + pts[i + 1].y) / 2)};
                        for (const Point &q : t) path.add(q, PT_BEZIERTO);
                        --left;
                        ++i;
                    }
                    t[0] = t[2];
                    t[1] = pts[i + 1];
                    t[2] = pts[i + 2];
                    for (const Point &q : t) path.add(q, PT_BEZIERTO);
                }
            }
            prev = run.back();
        }
        path.closeFigure();
        first = end + 1;
    }
}

// One ExtTextOutW call once its characters are in visual order and its
// font is realized: the arguments, the font and mapping, and what each step
// below works out for the steps after it.
struct TextCall {
    TextCall(DeviceContext &dc_, DcState &st_, TextScratch &ts_, const Mapping &map_, const LogFont &lf_,
             const RealizedFontRef &font_, int32_t x_, int32_t y_, uint32_t flags_, uint32_t align_,
             const TextRect *rect_, const char16_t *str_, size_t count_, const int32_t *dx_)
        : dc(dc_), st(st_), ts(ts_), map(map_), lf(lf_), font(font_), fm(font_->metrics()),
          m(dc_.transform()), compatible(st_.graphicsMode != GM_ADVANCED), x(x_), y(y_),
          flags(flags_), align(align_), rect(rect_), str(str_), count(count_), dx(dx_),
          deltas(ts_.deltas), shaped(ts_.shaped) {}

    // The steps, in the order extTextOutW takes them.
    void turnByEscapement();
    void fillOpaqueRect();
    void measure();
    void alignOrigin();
    void fillBackground();
    void drawGlyphs();
    void drawLines();

    DeviceContext &dc;
    DcState &st;
    TextScratch &ts;
    const Mapping &map;
    const LogFont &lf;
    const RealizedFontRef &font;
    const FontMetrics &fm;
    const Matrix &m;
    const bool compatible;
    const int32_t x, y;
    uint32_t flags;
    const uint32_t align;
    const TextRect *const rect;
    const char16_t *const str;
    const size_t count;
    const int32_t *const dx;

    int64_t escapement = 0;
    double cosEsc = 1, sinEsc = 0;
    Rect rc;
    bool inPath = false;
    Point width{0, 0};  // the text's advance, device units
    int32_t ox = 0, oy = 0;  // where the first glyph's pen starts, device units
    std::vector<Point> &deltas;
    std::vector<RealizedFont::Shaped> &shaped;
    int32_t ascent = 0, descent = 0;
};


// The escapement the text runs along, as a sine and cosine.
void TextCall::turnByEscapement() {
    // Not reduced: a full turn (3600) leaves the sine a hair below zero,
    // and the truncations below move such text by a pixel, as on the
    // platform's arithmetic.
    escapement = fm.scalable ? lf.escapement : 0;
    if (compatible && m.m11 * m.m22 < 0) escapement = -escapement;
    if (escapement != 0) {
        cosEsc = std::cos(double(escapement) * M_PI / 1800);
        sinEsc = std::sin(double(escapement) * M_PI / 1800);
    }
}

// The opaque rectangle, painted in the background colour; the clipping
// one kept for the glyphs.
void TextCall::fillOpaqueRect() {
    inPath = dc.pathOpen();
    if (rect && (flags & (ETO_OPAQUE | ETO_CLIPPED))) {
        const Point a = map.lpToDp(rect->left, rect->top), b = map.lpToDp(rect->right, rect->bottom);
        rc = {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
        if ((flags & ETO_OPAQUE) && !inPath && !rc.empty()) {
            Paint p;
            p.kind = Paint::Solid;
            p.color = colorWord(st.bkColor);
            ts.rect.assignRect(rc);
            dc.paint(ts.rect, p, R2_COPYPEN);
        }
    } else {
        flags &= ~uint32_t(ETO_CLIPPED);
    }
}

// The glyphs of the string, and how far each moves the pen: the widths
// given, or the text extents with character and break extra.
void TextCall::measure() {
    deltas.clear();
    shaped.clear();
    const bool indices = (flags & ETO_GLYPH_INDEX) != 0;
    if (count) {
        const Point origin = map.lpToDp(x, y);
        ox = origin.x, oy = origin.y;
        font->shape(str, count, indices, shaped);

        // Break extra as SetTextJustification left it: the playback DC's own
        // window and viewport are one to one.
        int32_t breakExtra = 0, breakRem = 0;
        {
            const int32_t extra = std::abs(st.breakExtra == INT32_MIN ? INT32_MAX : st.breakExtra);
            const int32_t breaks = extra ? st.breakCount : 0;
            if (breaks > 0) {
                breakExtra = extra / breaks;
                breakRem = extra - breaks * breakExtra;
            }
        }
        const int32_t charExtra = st.textCharExtra;
        // Text extent positions in logical units (GetTextExtentExPoint).
        auto extents = [&](std::vector<int64_t> &pos) {
            pos.resize(count);
            int64_t total = 0, space = 0;
            int32_t rem = breakRem;
            for (size_t i = 0; i < count; ++i) {
                if (shaped[i].glyph) total += shaped[i].glyph->extent;
                if ((breakExtra || breakRem) && str[i] == fm.breakChar) {
                    space += breakExtra;
                    if (rem > 0) ++space, --rem;
                }
                pos[i] = std::abs(map.xDpToLp(clamp32(total + space))) + int64_t(i + 1) * charExtra;
            }
        };
        if (charExtra || breakExtra || breakRem || dx || escapement != 0) {
            std::vector<int64_t> &lx = ts.lx, &ly = ts.ly;
            lx.assign(count, 0);
            ly.assign(count, 0);
            if (dx) {
                for (size_t i = 0; i < count; ++i) {
                    if (flags & ETO_PDY) {
                        lx[i] = int64_t(dx[2 * i]) + charExtra;
                        ly[i] = -int64_t(dx[2 * i + 1]);
                    } else {
                        lx[i] = int64_t(dx[i]) + charExtra;
                    }
                }
            } else {
                std::vector<int64_t> &pos = ts.pos;
                extents(pos);
                for (size_t i = 0; i < count; ++i) lx[i] = i ? pos[i] - pos[i - 1] : pos[0];
            }
            deltas.resize(count);
            int64_t tx = 0, ty = 0;
            const Point d0 = map.lpToDp(0, 0);
            for (size_t i = 0; i < count; ++i) {
                tx = std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, tx + lx[i]));
                ty = std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, ty + ly[i]));
                const int32_t wx = clamp32(cosEsc * double(tx) + sinEsc * double(ty));
                const int32_t wy = clamp32(-sinEsc * double(tx) + cosEsc * double(ty));
                const Point d1 = map.lpToDp(wx, wy);
                Point d{d1.x - d0.x, d1.y - d0.y};
                if (compatible) {
                    if (m.m11 < 0) d.x = -d.x;
                    if (m.m22 < 0) d.y = -d.y;
                }
                deltas[i] = {d.x - width.x, d.y - width.y};
                width = d;
            }
            flags |= ETO_PDY;
        } else {
            std::vector<int64_t> &pos = ts.pos;
            extents(pos);
            const int32_t sz = clamp32(count ? pos[count - 1] : int64_t(0));
            const Point d1 = map.lpToDp(sz, 0), d0 = map.lpToDp(0, 0);
            Point d{d1.x - d0.x, d1.y - d0.y};
            if (compatible) {
                if (m.m11 < 0) d.x = -d.x;
                if (m.m22 < 0) d.y = -d.y;
            }
            width = d;
        }
    }
}

// The text alignment moves the origin (and the current position).
void TextCall::alignOrigin() {
    switch (align & TA_CENTER) {
    case 0:  // TA_LEFT
        if (align & TA_UPDATECP) st.curPos = map.dpToLp({ox + width.x, oy + width.y});
        break;
    case TA_CENTER:
        ox -= width.x / 2;
        oy -= width.y / 2;
        break;
    case TA_RIGHT:
        ox -= width.x;
        oy -= width.y;
        if (align & TA_UPDATECP) st.curPos = map.dpToLp({ox, oy});
        break;
    }
    switch (align & TA_BASELINE) {
    case 0:  // TA_TOP
        oy = clamp32(oy + ascent * cosEsc);
        ox = clamp32(ox + ascent * sinEsc);
        break;
    case TA_BOTTOM:
        oy = clamp32(oy - descent * cosEsc);
        ox = clamp32(ox - descent * sinEsc);
        break;
    default: break;
    }
}

// The background behind the glyphs in OPAQUE mode.
void TextCall::fillBackground() {
    if (!inPath && st.bkMode != TRANSPARENT && !((flags & ETO_CLIPPED) && (flags & ETO_OPAQUE))) {
        const bool covered = (flags & ETO_OPAQUE) && rect && ox >= rc.left && ox + width.x < rc.right &&
                             oy - ascent >= rc.top && oy + descent < rc.bottom;
        if (!covered) {
            Rect box{ox, oy - ascent, clamp32(int64_t(ox) + width.x), oy + descent};
            if (flags & ETO_CLIPPED) box = intersect(box, rc);
            if (!box.empty()) {
                Paint p;
                p.kind = Paint::Solid;
                p.color = colorWord(st.bkColor);
                ts.rect.assignRect(box);
                dc.paint(ts.rect, p, R2_COPYPEN);
            }
        }
    }
}

void TextCall::drawGlyphs() {
    // Pen positions of the glyphs; into a path, glyphs advance by their
    // outlines' metrics.
    Path *path = dc.currentPath();
    std::vector<GlyphPlacement> &placed = ts.placed;
    placed.clear();
    placed.reserve(count);
    int64_t px = ox, py = oy;
    for (size_t i = 0; i < count; ++i) {
        placed.push_back({clamp32(px), clamp32(py), shaped[i]});
        if (!deltas.empty()) {
            px += deltas[i].x;
            py += deltas[i].y;
        } else if (const Glyph *g = shaped[i].glyph.get()) {
            px += path ? g->outlineAdvanceX : g->advanceX;
            py += path ? g->outlineAdvanceY : g->advanceY;
        }
    }
    if (path) {
        GlyphOutline outline;
        for (const GlyphPlacement &g : placed) {
            if (!g.shaped.font || !g.shaped.glyph) continue;
            if (g.shaped.font->outline(g.shaped.index, outline)) addOutline(*path, g.x, g.y, outline);
            if (path->full()) break;
        }
    } else {
        paintGlyphs(dc, ts, (flags & ETO_CLIPPED) ? &rc : nullptr, colorWord(st.textColor));
    }
    // The glyphs and fonts are not held past the record.
    placed.clear();
    shaped.clear();
}

// Underline and strike-out, as polygons in the text colour.
void TextCall::drawLines() {
    int32_t underPos, underWidth, strikePos, strikeWidth;
    auto lineWidth = [&](int32_t lp) {
        int32_t w = std::abs(map.yLpToDp(lp));
        if (w == 0) w = 1;
        return lp < 0 ? -w : w;
    };
    if (fm.outline) {
        const int32_t upLp = map.heightToLp(fm.underlinePosition);
        underPos = std::abs(map.yLpToDp(upLp));
        if (upLp < 0) underPos = -underPos;
        underWidth = lineWidth(map.heightToLp(fm.underlineSize));
        const int32_t spLp = map.heightToLp(fm.strikeoutPosition);
        strikePos = std::abs(map.yLpToDp(spLp));
        if (spLp < 0) strikePos = -strikePos;
        strikeWidth = lineWidth(map.yDpToLp(fm.strikeoutSize));
    } else {
        underPos = 0;
        underWidth = ascent / 20 + 1;
        strikePos = ascent / 2;
        strikeWidth = underWidth;
    }
    auto bar = [&](int32_t pos, int32_t w) {
        const double off = double(pos) + w / 2;
        Point pts[5];
        pts[0] = {clamp32(ox - off * sinEsc), clamp32(oy - off * cosEsc)};
        pts[1] = {clamp32(double(ox) + width.x - off * sinEsc), clamp32(double(oy) + width.y - off * cosEsc)};
        pts[2] = {clamp32(pts[1].x + w * sinEsc), clamp32(pts[1].y + w * cosEsc)};
        pts[3] = {clamp32(pts[0].x + w * sinEsc), clamp32(pts[0].y + w * cosEsc)};
        pts[4] = pts[0];
        for (Point &p : pts) p = map.dpToLp(p);
        // A polygon in the text colour without an outline.
        const PenRef pen = st.pen;
        const BrushRef brush = st.brush;
        auto fill = std::make_shared<Brush>();
        fill->style = BS_SOLID;
        fill->color = st.textColor;
        st.pen = stockPen(8);
        st.brush = fill;
        dc.polygon(pts, 5);
        dc.state().pen = pen;
        dc.state().brush = brush;
    };
    if (lf.underline) bar(underPos, underWidth);
    if (lf.strikeOut) bar(strikePos, strikeWidth);
}

}  // namespace

void extTextOutW(DeviceContext &dc, int32_t x, int32_t y, uint32_t flags, const TextRect *rect,
                 const char16_t *str, size_t count, const int32_t *dx) {
    DcState &st = dc.state();
    if (dc.work().exhausted()) return;
    if (count > kMaxTextCount) count = kMaxTextCount;
    TextScratch &ts = dc.textScratch();
    // Characters go in visual order, as the platform's ExtTextOutW reorders
    // them before drawing.
    std::u16string &visual = ts.visual;
    if (!(flags & (ETO_GLYPH_INDEX | ETO_IGNORELANGUAGE)) && count > 0) {
        visual.assign(str, count);
        arabicShape(visual);
        bidiReorder(visual, (st.textAlign & TA_RTLREADING) || (flags & ETO_RTLREADING));
        str = visual.data();
        flags |= ETO_IGNORELANGUAGE;
    }
    uint32_t align = st.textAlign;
    if (flags & ETO_RTLREADING) align |= TA_RTLREADING;
    if (st.layout & LAYOUT_RTL) {
        if ((align & TA_CENTER) != TA_CENTER) align ^= TA_RIGHT;
        align ^= TA_RTLREADING;
    }
    if (align & TA_UPDATECP) x = st.curPos.x, y = st.curPos.y;

    const Mapping map(dc);
    LogFont stock;
    const LogFont &lf = selectedLogFont(st, stock);
    const RealizedFontRef font = realizeFor(dc, lf);
    if (!font) return;
    TextCall call(dc, st, ts, map, lf, font, x, y, flags, align, rect, str, count, dx);

    // Metrics as the platform reads them: in logical units first.
    const int32_t tmAscent = map.heightToLp(font->metrics().ascent),
                  tmDescent = map.heightToLp(font->metrics().descent);
    call.turnByEscapement();
    call.fillOpaqueRect();
    call.measure();
    call.ascent = std::abs(map.yLpToDp(tmAscent));
    call.descent = std::abs(map.yLpToDp(tmDescent));
    if (count) {
        call.alignOrigin();
        call.fillBackground();
        call.drawGlyphs();
    }
    if (count && (lf.underline || lf.strikeOut)) call.drawLines();
}

void extTextOutA(DeviceContext &dc, int32_t x, int32_t y, uint32_t options, const TextRect *rect,
                 const uint8_t *text, size_t count, const int32_t *dx) {
    TextScratch &ts = dc.textScratch();
    if (options & ETO_GLYPH_INDEX) {
        // Glyph indices are 16-bit whatever the record's string type.
        std::u16string &idx = ts.wide;
        idx.assign(count, u'\0');
        for (size_t i = 0; i < idx.size(); ++i) idx[i] = char16_t(text[2 * i] | text[2 * i + 1] << 8);
        extTextOutW(dc, x, y, options, rect, idx.data(), idx.size(), dx);
        return;
    }
    LogFont stock;
    const LogFont &lf = selectedLogFont(dc.state(), stock);
    const RealizedFontRef font = realizeFor(dc, lf);
    const uint32_t codePage = font ? font->codePage() : charsetCodePage(lf.charSet);
    std::u16string &wide = ts.wide;
    std::vector<uint8_t> &units = ts.units;
    decodeText(text, count, codePage, wide, &units);
    std::vector<int32_t> &wdx = ts.wideDx;
    wdx.clear();
    if (dx) {
        const bool pdy = (options & ETO_PDY) != 0;
        size_t b = 0;
        for (size_t i = 0; i < wide.size(); ++i) {
            const size_t n = units[i];
            int64_t sx = 0, sy = 0;
            for (size_t k = 0; k < n && b + k < count; ++k) {
                sx += pdy ? dx[2 * (b + k)] : dx[b + k];
                if (pdy) sy += dx[2 * (b + k) + 1];
            }
            wdx.push_back(clamp32(sx));
            if (pdy) wdx.push_back(clamp32(sy));
            b += n;
        }
    }
    extTextOutW(dc, x, y, options, rect, wide.data(), wide.size(), dx ? wdx.data() : nullptr);
}

Point textExtentW(DeviceContext &dc, const char16_t *text, size_t count) {
    const DcState &st = dc.state();
    LogFont stock;
    const RealizedFontRef font = realizeFor(dc, selectedLogFont(st, stock));
    if (!font) return {0, 0};
    if (count > kMaxTextCount) count = kMaxTextCount;
    const Mapping map(dc);
    const FontMetrics &fm = font->metrics();
    const int32_t height = std::abs(map.yDpToLp(fm.height));
    if (!count) return {0, height};
    std::vector<RealizedFont::Shaped> &shaped = dc.textScratch().shaped;
    font->shape(text, count, false, shaped);
    // Device advances, break extra on the break characters, then logical
    // units and the character extra, as GetTextExtentExPoint sums them.
    int64_t total = 0, space = 0;
    const int32_t extra = std::abs(st.breakExtra == INT32_MIN ? INT32_MAX : st.breakExtra);
    const int32_t breaks = extra ? st.breakCount : 0;
    int32_t breakExtra = 0, rem = 0;
    if (breaks > 0) breakExtra = extra / breaks, rem = extra - breaks * breakExtra;
    for (size_t i = 0; i < count && i < shaped.size(); ++i) {
        if (shaped[i].glyph) total += shaped[i].glyph->extent;
        if ((breakExtra || rem) && text[i] == fm.breakChar) {
            space += breakExtra;
            if (rem > 0) ++space, --rem;
        }
    }
    shaped.clear();
    const int64_t cx = std::abs(int64_t(map.xDpToLp(clamp32(total + space)))) + int64_t(count) * st.textCharExtra;
    return {clamp32(cx), height};
}

int32_t textDescent(DeviceContext &dc) {
    LogFont stock;
    const RealizedFontRef font = realizeFor(dc, selectedLogFont(dc.state(), stock));
    if (!font) return 0;
    return Mapping(dc).heightToLp(font->metrics().descent);
}

uint32_t textCodePage(DeviceContext &dc) {
    LogFont stock;
    const LogFont &lf = selectedLogFont(dc.state(), stock);
    const RealizedFontRef font = realizeFor(dc, lf);
    return font ? font->codePage() : charsetCodePage(lf.charSet);
}

}  // namespace vellora::gdi
