// The measuring pass: each record as the recorder bounds it. Records that
// only set state go through what both passes share (wmf_state.cpp); the
// rest add the box the recorder adds, in logical units mapped by the
// recording DC.
#include "player/wmf_bounds.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "gdi/text/font.h"
#include "player/wmf_records.h"

namespace vellora::player::wmf {

using gdi::Point;

namespace {

int32_t clamp32(int64_t v) { return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v))); }

}  // namespace

void Bounds::add(int32_t l, int32_t t, int32_t r, int32_t b) {
    // The recording DC maps the two corners and orders them.
    const Point a = dc_.toDevice({l, t}), c = dc_.toDevice({r, b});
    const RECT d{std::min(a.x, c.x), std::min(a.y, c.y), std::max(a.x, c.x), std::max(a.y, c.y)};
    if (bounds_.left > bounds_.right) {
        bounds_ = d;
        return;
    }
    bounds_.left = std::min(bounds_.left, d.left);
    bounds_.top = std::min(bounds_.top, d.top);
    bounds_.right = std::max(bounds_.right, d.right);
    bounds_.bottom = std::max(bounds_.bottom, d.bottom);
}

void Bounds::addPoints(const Point *pts, size_t n) {
    if (n == 0) {
        add(0, 0, -1, -1);  // the recorder's "empty" box, mapped all the same
        return;
    }
    int32_t l = pts[0].x, t = pts[0].y, r = l, b = t;
    for (size_t i = 1; i < n; ++i) {
        l = std::min(l, pts[i].x), r = std::max(r, pts[i].x);
        t = std::min(t, pts[i].y), b = std::max(b, pts[i].y);
    }
    add(l, t, r, b);
}

void Bounds::addExtent(int32_t x, int32_t y, int32_t wd, int32_t ht) {
    add(x, y, int32_t(int64_t(x) + wd - 1), int32_t(int64_t(y) + ht - 1));
}

void Bounds::play(uint16_t func, const uint8_t *p, size_t words) {
    if (!begin(func, p, words) || applyShared(func)) return;
    gdi::DcState &st = dc_.state();
    int32_t l = 0, t = 0, r = 0, b = 0;
    switch (func) {
    // Character and break extra live on the recording DC only: the recorder
    // folds them into the advances it writes, and an enhanced metafile
    // carries neither.
    case meta::SETTEXTCHAREXTRA: st.textCharExtra = s(0); break;
    case meta::SETTEXTJUSTIFICATION: {
        // SetTextJustification keeps the extra in device units, rounded.
        const int64_t wx = st.windowExt.x, vx = st.viewportExt.x;
        const int64_t extra = wx ? std::llabs((int64_t(s(1)) * vx + wx / 2) / wx) : 0;
        st.breakExtra = int32_t(std::min<int64_t>(extra, INT32_MAX));
        st.breakCount = extra ? s(0) : 0;
        break;
    }
    // Selecting a region clips, which does not limit the bounds; the other
    // clipping records are not applied for the same reason.
    case meta::SELECTOBJECT: objects_.select(dc_, w(0)); break;

    case meta::MOVETO: st.curPos = {s(1), s(0)}; break;
    case meta::LINETO: {
        const Point from = st.curPos, to{s(1), s(0)};
        add(std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x), std::max(from.y, to.y));
        st.curPos = to;
        break;
    }
    case meta::RECTANGLE:
    case meta::ELLIPSE:
        if (box(0, l, t, r, b)) add(l, t, r, b);
        break;
    case meta::ROUNDRECT:
        if (box(2, l, t, r, b)) add(l, t, r, b);
        break;
    case meta::ARC:
    case meta::CHORD:
    case meta::PIE: arc(func); break;
    case meta::POLYGON:
    case meta::POLYLINE:
        if (!points(1, w(0), pts_)) break;
        if (func == meta::POLYGON && pts_.size() < 2) break;  // the recorder refuses it
        addPoints(pts_.data(), pts_.size());
        break;
    case meta::POLYPOLYGON: {
        bool bounded = false;
        if (polyPolygon(bounded) && bounded) {
            size_t total = 0;
            for (uint32_t c : counts_) total += c;
            addPoints(pts_.data(), total);
        }
        break;
    }
    case meta::SETPIXEL: add(s(3), s(2), s(3), s(2)); break;
    case meta::FILLREGION:
    case meta::FRAMEREGION:
    case meta::INVERTREGION:
    case meta::PAINTREGION: {
        gdi::BrushRef brush;
        if (const Object *rgn = regionOf(func, brush))
            add(rgn->box.left, rgn->box.top, rgn->box.right - 1, rgn->box.bottom - 1);
        break;
    }
    case meta::PATBLT: addExtent(s(5), s(4), s(3), s(2)); break;
    case meta::TEXTOUT:
    case meta::EXTTEXTOUT: text(func); break;
    case meta::STRETCHDIB:
    case meta::SETDIBTODEV:
    case meta::DIBSTRETCHBLT:
    case meta::STRETCHBLT:
    case meta::DIBBITBLT:
    case meta::BITBLT: blit(func); break;
    // FLOODFILL and EXTFLOODFILL are not bounded by the recorder.
    default: break;
    }
}

// The recorder's box of an arc: the ends where the lines from the centre
// through the start and end points meet the ellipse, widened to every
// extreme of the ellipse the arc passes counterclockwise, and to the centre
// for a pie. Integer steps as the recorder takes them.
void Bounds::arc(uint16_t func) {
    const Point end{s(1), s(0)}, start{s(3), s(2)};
    int32_t l = 0, t = 0, r = 0, b = 0;
    if (!box(4, l, t, r, b)) return;
    const int32_t xc = (l + r + 1) / 2, yc = (t + b + 1) / 2;
    const double hw = double((r - l + 1) / 2), hh = double((b - t + 1) / 2);
    double as = std::atan2(-double(start.y - yc), double(start.x - xc));
    double ae = std::atan2(-double(end.y - yc), double(end.x - xc));
    const double xs = hw * std::cos(as) + xc, ys = -hh * std::sin(as) + yc;
    const double xe = hw * std::cos(ae) + xc, ye = -hh * std::sin(ae) + yc;
    if (as < 0) as += 2 * M_PI;
    if (ae < 0) ae += 2 * M_PI;
    if (ae < as) ae += 2 * M_PI;
    int32_t bl = int32_t(std::min(xs, xe)), bt = int32_t(std::min(ys, ye));
    int32_t br = int32_t(std::max(xs, xe)), bb = int32_t(std::max(ys, ye));
    for (int i = 0; i <= 8; ++i) {
        if (i * M_PI / 2 < as) continue;
        if (i * M_PI / 2 > ae) break;
        switch (i % 4) {
        case 0: br = r; break;
        case 1: bt = t; break;
        case 2: bl = l; break;
        case 3: bb = b; break;
        }
    }
    if (func == meta::PIE) {
        if (bl > xc) bl = xc;
        else if (br < xc) br = xc;
        if (bt > yc) bt = yc;
        else if (bb < yc) bb = yc;
    }
    add(bl, bt, br, bb);
}

// The text's box from its advances and the font's height, placed by the
// text alignment.
void Bounds::text(uint16_t func) {
    TextRun run;
    if (!textRun(func, dc_, run)) return;
    const int64_t x = run.x, y = run.y, height = run.height;
    const int32_t tw = int32_t(std::min<int64_t>(run.width, INT32_MAX / 2));
    int64_t l, rt, t, b;
    switch (dc_.state().textAlign & gdi::TA_CENTER) {
    case gdi::TA_CENTER: l = x - tw / 2 - 1, rt = x + tw / 2 + 1; break;
    case gdi::TA_RIGHT: l = x - tw - 1, rt = x; break;
    default: l = x, rt = x + tw + 1; break;
    }
    switch (dc_.state().textAlign & gdi::TA_BASELINE) {
    case gdi::TA_BASELINE: t = y - height - 1, b = y + gdi::textDescent(dc_) + 1; break;
    case gdi::TA_BOTTOM: t = y - height - 1, b = y; break;
    default: t = y, b = y + height + 1; break;
    }
    add(clamp32(l), clamp32(t), clamp32(rt), clamp32(b));
}

// A bitmap record is bounded by its destination once its bitmap reads; the
// forms without one, or under an operation that ignores it, as the pattern
// blit the recorder writes instead.
void Bounds::blit(uint16_t func) {
    BlitArgs a;
    if (!blitArgs(func, a)) return;
    gdi::DibInfo info;
    const uint8_t *bits = nullptr;
    size_t bitsSize = 0;
    if (func == meta::SETDIBTODEV) {
        if (!packedDib(a.bitmapAt, a.usage, info, bits, bitsSize)) return;
        // The recorder keeps the scans the source rectangle reaches and
        // records nothing when none are left.
        uint32_t kept = a.lines;
        if (!info.topDown) {
            int64_t srcHeight = info.height;
            if (srcHeight > int64_t(a.ys) + a.ht) srcHeight = int64_t(a.ys) + a.ht;
            if (srcHeight < int64_t(a.startScan)) kept = 0;
            else if (int64_t(kept) > srcHeight - a.startScan) kept = uint32_t(srcHeight - a.startScan);
        }
        if (kept) addExtent(a.x, a.y, a.wd, a.ht);
        return;
    }
    if (patternOnly(a)) {
        addExtent(a.x, a.y, a.wd, a.ht);
        return;
    }
    if (a.dib) {
        if (!packedDib(a.bitmapAt, a.usage, info, bits, bitsSize)) return;
    } else {
        gdi::DibImage image;
        if (!bitmap16(a.bitmapAt, image)) return;
    }
    addExtent(a.x, a.y, a.wd, a.ht);
}

}  // namespace vellora::player::wmf
