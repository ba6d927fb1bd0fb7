// The emulated device context's state: construction, the mapping from
// logical to device units (map modes, window and viewport, world
// transform), SaveDC and RestoreDC, and clipping. Drawing is in paint.cpp,
// draw.cpp and path_region.cpp.
#include "gdi/dc/dc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gdi/dc/ordered_rect.h"
#include "gdi/raster/stroke.h"

namespace vellora::gdi {

namespace {

constexpr int32_t kExtentLimit = 1 << 27;

int32_t clampExtent(int64_t v) {
    if (v > kExtentLimit) return kExtentLimit;
    if (v < -kExtentLimit) return -kExtentLimit;
    return int32_t(v);
}

}  // namespace

DeviceContext::DeviceContext(const Surface &bitmap, const DeviceCaps &reference, const Matrix &base,
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
    // The platform's XFORMs are floats: each factor and each product.
    Matrix page;
    page.m11 = float(s_.viewportExt.x) / float(s_.windowExt.x);
    page.m22 = float(s_.viewportExt.y) / float(s_.windowExt.y);
    page.dx = float(s_.viewportOrg.x) - float(page.m11) * float(s_.windowOrg.x);
    page.dy = float(s_.viewportOrg.y) - float(page.m22) * float(s_.windowOrg.y);
    Matrix m = combine(toSingle(combine(toSingle(s_.world), page)), toSingle(base_));
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

}  // namespace vellora::gdi
