#include "api/geometry.h"

#include <cmath>
#include <initializer_list>

#include "base/bytes.h"

namespace vellora {

namespace {

void orderAndClamp(double &lo, double &hi) {
    if (lo > hi) {
        double t = lo;
        lo = hi;
        hi = t;
    }
    if (lo < 0) lo = 0;
    if (hi > 1) hi = 1;
}

// Truncates toward zero; false when the value has no 32-bit integer image.
bool truncToInt(double v, int32_t *out) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return false;
    *out = int32_t(v);
    return true;
}

// The player clips in 24.8 fixed point and beyond; a playback rectangle wider
// than this is a crop window too small to show anything meaningful.
constexpr int32_t kMaxPlaybackCoordinate = 1 << 26;

}  // namespace

CropWindow normaliseCrop(double x0, double y0, double x1, double y1) {
    CropWindow c{x0, y0, x1, y1};
    orderAndClamp(c.x0, c.x1);
    orderAndClamp(c.y0, c.y1);
    return c;
}

int64_t targetWidth(const RECT &r) { return int64_t(r.right) - r.left + 1; }
int64_t targetHeight(const RECT &r) { return int64_t(r.bottom) - r.top + 1; }

bool playbackRect(const CropWindow &c, int32_t w, int32_t h, RECT *out) {
    if (!std::isfinite(c.x0) || !std::isfinite(c.x1) || !std::isfinite(c.y0) ||
        !std::isfinite(c.y1))
        return false;
    const double dx = c.x1 - c.x0;
    const double dy = c.y1 - c.y0;
    // A pair still reversed after clamping lies wholly outside the picture,
    // and an empty one selects nothing: neither has a picture to show.
    if (!(dx > 0) || !(dy > 0)) return false;
    int32_t l, r, t, b;
    if (!truncToInt(-((c.x0 / dx) * (2.0 * w)), &l) ||
        !truncToInt(((1 - c.x0) / dx) * (2.0 * w), &r) ||
        !truncToInt(-((c.y0 / dy) * (2.0 * h)), &t) ||
        !truncToInt(((1 - c.y0) / dy) * (2.0 * h), &b))
        return false;
    for (int32_t v : {l, r, t, b})
        if (v > kMaxPlaybackCoordinate || v < -kMaxPlaybackCoordinate) return false;
    *out = RECT{1 + l, t, 1 + r, b};
    return true;
}

MetafileFormat recogniseFormat(const uint8_t *data, uint32_t size) {
    if (size >= 4 && base::u32(data) == kPlaceableKey && size >= kPlaceableHeaderSize)
        return MetafileFormat::Placeable;
    if (size >= 44 && base::u32(data + 40) == kEmfSignature) return MetafileFormat::Enhanced;
    return MetafileFormat::Windows;
}

float aspectRatio(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    // Differences in 32 bits as the header values are stored; wrap-around is
    // defined by doing it unsigned.
    const int32_t dw = int32_t(uint32_t(right) - uint32_t(left));
    const int32_t dh = int32_t(uint32_t(bottom) - uint32_t(top));
    return float(double(dw) / double(dh));
}

namespace {

// edge + trunc(v), when both the quotient and the new edge are 32-bit values.
bool movedEdge(int32_t edge, double v, int32_t *out) {
    int32_t d;
    if (!truncToInt(v, &d)) return false;
    const int64_t e = int64_t(edge) + d;
    if (e < INT32_MIN || e > INT32_MAX) return false;
    *out = int32_t(e);
    return true;
}

}  // namespace

RECT fitToAspect(const RECT &r, float a) {
    // Extents as the header arithmetic has them: 32-bit, wrapping.
    const int32_t dw = int32_t(uint32_t(r.right) - uint32_t(r.left));
    const int32_t dh = int32_t(uint32_t(r.bottom) - uint32_t(r.top));
    const double ad = a;
    // A degenerate frame gives no usable ratio: draw unfitted.
    if (!std::isfinite(ad) || ad <= 0) return r;
    int32_t v;
    if (ad > 1.0) {
        if (movedEdge(r.left, dh * ad, &v) && v <= r.right) return RECT{r.left, r.top, v, r.bottom};
        if (movedEdge(r.top, dw / ad, &v)) return RECT{r.left, r.top, r.right, v};
        return r;
    }
    if (movedEdge(r.top, dw / ad, &v) && v <= r.bottom) return RECT{r.left, r.top, r.right, v};
    if (movedEdge(r.left, dh * ad, &v)) return RECT{r.left, r.top, v, r.bottom};
    return r;
}

}  // namespace vellora
