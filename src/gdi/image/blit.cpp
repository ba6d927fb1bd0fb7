#include "gdi/image/blit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gdi/dc/dc.h"
#include "gdi/raster/raster.h"
#include "gdi/image/rop.h"

namespace vellora::gdi {

namespace {

int32_t clamp32(int64_t v) {
    if (v > int64_t(limits::kMaxDeviceCoord)) return int32_t(limits::kMaxDeviceCoord);
    if (v < -int64_t(limits::kMaxDeviceCoord)) return -int32_t(limits::kMaxDeviceCoord);
    return int32_t(v);
}

// Device or image coordinates of one side of a blit: origin, signed extents
// and the visible part.
struct Coords {
    int64_t x = 0, y = 0, w = 0, h = 0;
    Rect vis;
};

// The pixels a signed extent covers: a negative one covers the pixels
// before the origin's successor, as the platform counts them.
Rect bounding(int64_t x, int64_t y, int64_t w, int64_t h) {
    int64_t l = x, r = x + w, t = y, b = y + h;
    if (l > r) std::swap(l, r), ++l, ++r;
    if (t > b) std::swap(t, b), ++t, ++b;
    return {clamp32(l), clamp32(t), clamp32(r), clamp32(b)};
}

bool intersectInto(Rect &a, const Rect &b) {
    a = intersect(a, b);
    return !a.empty();
}

// Narrows the visible rectangles of both sides to what maps onto the other
// (with the platform's one-pixel margins against rounding).
bool intersectVis(Coords &dst, Coords &src) {
    if (src.w == dst.w && src.h == dst.h) {
        Rect r = src.vis;
        const int64_t ox = dst.x - src.x, oy = dst.y - src.y;
        r = {clamp32(r.left + ox), clamp32(r.top + oy), clamp32(r.right + ox), clamp32(r.bottom + oy)};
        if (!intersectInto(r, dst.vis)) return false;
        dst.vis = r;
        src.vis = {clamp32(r.left - ox), clamp32(r.top - oy), clamp32(r.right - ox), clamp32(r.bottom - oy)};
        return true;
    }
    auto order = [](int64_t &a, int64_t &b) {
        if (a > b) std::swap(a, b);
    };
    int64_t l = src.vis.left - src.x - (src.w < 0), t = src.vis.top - src.y - (src.h < 0);
    int64_t r = src.vis.right - src.x - (src.w < 0), b = src.vis.bottom - src.y - (src.h < 0);
    l = l * dst.w / src.w, r = r * dst.w / src.w;
    t = t * dst.h / src.h, b = b * dst.h / src.h;
    order(l, r), order(t, b);
    Rect mapped{clamp32(l + dst.x - 1), clamp32(t + dst.y - 1), clamp32(r + dst.x + 1), clamp32(b + dst.y + 1)};
    if (!intersectInto(dst.vis, mapped)) return false;
    l = dst.vis.left - dst.x - (dst.w < 0), t = dst.vis.top - dst.y - (dst.h < 0);
    r = dst.vis.right - dst.x - (dst.w < 0), b = dst.vis.bottom - dst.y - (dst.h < 0);
    l = src.x + l * src.w / dst.w, r = src.x + r * src.w / dst.w;
    t = src.y + t * src.h / dst.h, b = src.y + b * src.h / dst.h;
    order(l, r), order(t, b);
    Rect back{clamp32(l - 1), clamp32(t - 1), clamp32(r + 1), clamp32(b + 1)};
    return intersectInto(src.vis, back);
}

// One axis of the platform's stretcher: for each visible destination
// pixel, the run of source pixels it takes (one when stretching, a group
// when shrinking), in the order the stretcher visits them.
struct AxisMap {
    int32_t lo = 0, hi = 0;  // visible destination pixels [lo, hi)
    bool stretch = true;     // destination at least as long as the source
    std::vector<int32_t> first, last;
    std::vector<uint8_t> valid;

    // Destination from `d0` over `dl` pixels (signed), source from `s0` over
    // `sl`; destination pixels in [visLo, visHi), source in [srcLo, srcHi).
    void build(int64_t d0, int64_t dl, int64_t s0, int64_t sl, int32_t visLo, int32_t visHi,
               int32_t srcLo, int32_t srcHi) {
        lo = visLo;
        hi = visHi > visLo ? visHi : visLo;
        const size_t n = size_t(hi - lo);
        first.assign(n, 0), last.assign(n, 0), valid.assign(n, 0);
        const int64_t a = dl < 0 ? -dl : dl, b = sl < 0 ? -sl : sl;
        if (!a || !b) return;
        const int64_t dinc = dl < 0 ? -1 : 1, sinc = sl < 0 ? -1 : 1;
        stretch = a >= b;
        // Iteration indices j whose source pixel lies in [srcLo, srcHi).
        int64_t jLo, jHi;  // inclusive
        if (sinc > 0) jLo = srcLo - s0, jHi = srcHi - 1 - s0;
        else jLo = s0 - (srcHi - 1), jHi = s0 - srcLo;
        jLo = std::max<int64_t>(jLo, 0), jHi = std::min<int64_t>(jHi, b - 1);
        for (int32_t c = lo; c < hi; ++c) {
            const int64_t k = (int64_t(c) - d0) * dinc;
            if (k < 0 || k >= a) continue;
            int64_t j0, j1;
            if (stretch) {
                j0 = j1 = ceilDiv((2 * k + 1) * b, 2 * a) - 1;
            } else {
                j0 = floorDiv(2 * k * b - a, 2 * a) + 1;
                j1 = floorDiv(2 * (k + 1) * b - a, 2 * a);
            }
            j0 = std::max(j0, jLo), j1 = std::min(j1, jHi);
            if (j0 > j1) continue;
            const size_t i = size_t(c - lo);
            first[i] = int32_t(s0 + j0 * sinc);
            last[i] = int32_t(s0 + j1 * sinc);
            valid[i] = 1;
        }
    }
};

// The platform's halftone stretch: bilinear, in its single-precision
// steps, with no alpha in the result. Each source row is first blended
// across to the destination's columns; that row serves every destination
// row that reads it (two to four of them when enlarging), which then only
// blend down.
class Halftone {
public:
    Halftone(const DibImage &img, const Rect &sr, int32_t dw, bool mirrored) : img_(img), dw_(dw) {
        const int32_t sw = sr.right - sr.left;
        const float inc = mirrored ? -float(sw) / float(dw) : float(sw) / float(dw);
        x0_.resize(size_t(dw)), x1_.resize(size_t(dw)), tx_.resize(size_t(dw));
        float fx = float(mirrored ? sr.right - 1 : sr.left);
        for (int32_t i = 0; i < dw; ++i, fx += inc) {
            fx = std::min(std::max(fx, float(sr.left)), float(sr.right - 1));
            const int32_t x0 = int32_t(fx);
            x0_[size_t(i)] = x0;
            x1_[size_t(i)] = std::min(x0 + 1, sr.right - 1);
            tx_[size_t(i)] = fx - float(x0);
        }
        for (Across &a : across_) a.pixels.resize(size_t(dw));
    }

    // The destination row between source rows y0 and y1 at `ty`.
    void row(int32_t y0, int32_t y1, float ty, uint32_t *out) {
        const uint32_t *top = across(y0, y1), *bottom = across(y1, y0);
        int32_t i = 0;
#if defined(__SSE2__)
        const __m128 t = _mm_set1_ps(ty);
        for (; i + 4 <= dw_; i += 4) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(top + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bottom + i));
            const __m128i z = _mm_setzero_si128();
            const __m128i a16[2] = {_mm_unpacklo_epi8(a, z), _mm_unpackhi_epi8(a, z)};
            const __m128i b16[2] = {_mm_unpacklo_epi8(b, z), _mm_unpackhi_epi8(b, z)};
            __m128i r16[2];
            for (int h = 0; h < 2; ++h)
                r16[h] = _mm_packs_epi32(lerpLanes(a16[h], b16[h], t, false), lerpLanes(a16[h], b16[h], t, true));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_packus_epi16(r16[0], r16[1]));
        }
#endif
        for (; i < dw_; ++i) out[i] = lerp(top[i], bottom[i], ty);
    }

private:
    // A pixel's blue, green and red each as uint8_t(a + (b - a) * t + 0.5f);
    // alpha 0.
    static uint32_t lerp(uint32_t a, uint32_t b, float t) {
        uint32_t v = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const int ca = int(a >> shift & 0xFF), cb = int(b >> shift & 0xFF);
            v |= uint32_t(uint8_t(float(ca) + float(cb - ca) * t + 0.5f)) << shift;
        }
        return v;
    }
#if defined(__SSE2__)
    // uint8_t(a + (b - a) * t + 0.5f) in four lanes, from the low or high
    // half of 16-bit lanes; returns 32-bit integers.
    static __m128i lerpLanes(__m128i a16, __m128i b16, __m128 t, bool high) {
        const __m128i z = _mm_setzero_si128();
        const __m128 a = _mm_cvtepi32_ps(high ? _mm_unpackhi_epi16(a16, z) : _mm_unpacklo_epi16(a16, z));
        const __m128 b = _mm_cvtepi32_ps(high ? _mm_unpackhi_epi16(b16, z) : _mm_unpacklo_epi16(b16, z));
        return _mm_cvttps_epi32(_mm_add_ps(_mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), t)), _mm_set1_ps(0.5f)));
    }
#endif

    // Source row `sy` blended across, keeping the one of row `keep`.
    const uint32_t *across(int32_t sy, int32_t keep) {
        for (const Across &a : across_)
            if (a.row == sy) return a.pixels.data();
        Across &a = across_[0].row == keep ? across_[1] : across_[0];
        a.row = sy;
        const uint32_t *src = &img_.pixels[size_t(sy) * size_t(img_.width)];
        uint32_t *out = a.pixels.data();
        int32_t i = 0;
#if defined(__SSE2__)
        const __m128i z = _mm_setzero_si128();
        for (; i < dw_; ++i) {
            // One pixel's channels in four lanes (alpha cleared).
            const __m128i p0 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(src[x0_[size_t(i)]] & 0xFFFFFF)), z);
            const __m128i p1 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(src[x1_[size_t(i)]] & 0xFFFFFF)), z);
            const __m128i v = lerpLanes(p0, p1, _mm_set1_ps(tx_[size_t(i)]), false);
            const __m128i v16 = _mm_packs_epi32(v, v);
            out[i] = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v16, v16)));
        }
#endif
        for (; i < dw_; ++i) out[i] = lerp(src[x0_[size_t(i)]], src[x1_[size_t(i)]], tx_[size_t(i)]);
        return out;
    }

    struct Across {
        int32_t row = -1;
        std::vector<uint32_t> pixels;
    };
    const DibImage &img_;
    int32_t dw_;
    std::vector<int32_t> x0_, x1_;
    std::vector<float> tx_;
    Across across_[2];
};

// The selected brush as pixels, for operations that use the pattern.
class BrushPixels {
public:
    explicit BrushPixels(const Paint &p) : p_(p) {}
    uint32_t at(int32_t x, int32_t y) const {
        switch (p_.kind) {
        case Paint::Solid: return p_.color;
        case Paint::Pattern:
            if (!p_.pattern) {  // hatch, 8 x 8
                const int hx = int((int64_t(x) - p_.origin.x) & 7), hy = int((int64_t(y) - p_.origin.y) & 7);
                return hatchBit(p_.color, hx, hy) ? p_.fore : p_.back;
            } else {
                const Pattern &pt = *p_.pattern;
                int64_t px = (int64_t(x) - p_.origin.x) % pt.width, py = (int64_t(y) - p_.origin.y) % pt.height;
                if (px < 0) px += pt.width;
                if (py < 0) py += pt.height;
                uint32_t v = pt.pixels[size_t(py) * size_t(pt.width) + size_t(px)];
                return pt.mono ? (v ? p_.back : p_.fore) : v;
            }
        default: return 0;
        }
    }

private:
    Paint p_;
};

uint32_t *pixelRow(DeviceContext &dc, int32_t y) {
    Surface &bm = dc.bitmap();
    return reinterpret_cast<uint32_t *>(bm.top + ptrdiff_t(y) * bm.stride);
}

// The clip's rectangles inside `box`.
Region clipIn(DeviceContext &dc, const Rect &box) {
    if (box.empty()) return Region();
    return Region::combine(Region::fromRect(box), dc.clip(), RegionOp::And);
}

// The emitter of an ordinary raster operation.
struct RopEmit {
    uint8_t code;
    bool usesPattern;
    BrushPixels brush;
    void operator()(uint32_t *d, uint32_t s, int32_t x, int32_t y, int32_t, int32_t) const {
        const uint32_t p = usesPattern ? brush.at(x, y) : 0;
        *d = rop3(code, *d, s, p);
    }
};

// Emits the run of n source words `s` onto the device row at `d`, pixels
// (x, y) onwards, that no single source pixel stands behind. An ordinary
// operation without the pattern goes a row at a time.
template <class Emit>
void emitRun(Emit &emit, uint32_t *d, const uint32_t *s, int32_t n, int32_t x, int32_t y) {
    if constexpr (std::is_same_v<std::decay_t<Emit>, RopEmit>) {
        if (!emit.usesPattern) {
            applyRop(emit.code, d, s, nullptr, size_t(n));
            return;
        }
    }
    for (int32_t i = 0; i < n; ++i) emit(d + i, s[i], x + i, y, -1, -1);
}

// Calls emit(dst, s, x, y, sx, sy) for every device pixel (x, y) the
// axis-aligned blit of `src` onto the device rectangle `dst` draws, with
// the source word s the stretch mode makes and the source pixel (sx, sy)
// it starts from.
template <class Emit>
void blitDevice(DeviceContext &dc, Coords dst, const BlitSource &bs, int mode, Emit &&emit) {
    // Long: the stretch modes share the row and column walks they pick from, which one pass keeps together.
    const DibImage &img = *bs.image;
    Coords src{bs.x, bs.y, bs.width, bs.height, {}};
    if (!dst.w || !dst.h || !src.w || !src.h) return;
    dst.vis = intersect(bounding(dst.x, dst.y, dst.w, dst.h), dc.clip().bounds());
    src.vis = intersect(bounding(src.x, src.y, src.w, src.h), Rect{0, 0, img.width, img.height});
    if (dst.vis.empty() || src.vis.empty() || !intersectVis(dst, src)) return;
    const Region area = clipIn(dc, dst.vis);
    auto usable = [&](int32_t sx, int32_t sy) { return !bs.onlyWritten || img.wrote(sx, sy); };

    if (src.w == dst.w && src.h == dst.h) {
        const int64_t ox = src.x - dst.x, oy = src.y - dst.y;
        area.forEachRect([&](int32_t top, int32_t bottom, int32_t x0, int32_t x1) {
            if (!dc.work().spend(uint64_t(bottom - top) * uint64_t(x1 - x0))) return;
            for (int32_t y = top; y < bottom; ++y) {
                uint32_t *row = pixelRow(dc, y);
                const int32_t sy = int32_t(y + oy);
                for (int32_t x = x0; x < x1; ++x) {
                    const int32_t sx = int32_t(x + ox);
                    if (usable(sx, sy)) emit(row + x, img.at(sx, sy), x, y, sx, sy);
                }
            }
        });
        return;
    }

    if (mode == HALFTONE) {
        // Bilinear, in the platform's single-precision steps; the result has
        // no alpha.
        const Rect sr = intersect(bounding(src.x, src.y, src.w, src.h), src.vis);
        const Rect dr = intersect(bounding(dst.x, dst.y, dst.w, dst.h), dst.vis);
        if (sr.empty() || dr.empty()) return;
        const int32_t sh = sr.bottom - sr.top;
        const int32_t dw = dr.right - dr.left, dh = dr.bottom - dr.top;
        const bool mx = (dst.w < 0) != (src.w < 0), my = (dst.h < 0) != (src.h < 0);
        const float incY = my ? -float(sh) / float(dh) : float(sh) / float(dh);
        Halftone halftone(img, sr, dw, mx);
        std::vector<uint32_t> line(static_cast<size_t>(dw));
        float fy = float(my ? sr.bottom - 1 : sr.top);
        for (int32_t j = 0; j < dh; ++j, fy += incY) {
            fy = std::min(std::max(fy, float(sr.top)), float(sr.bottom - 1));
            const int32_t y0 = int32_t(fy), y1 = std::min(y0 + 1, sr.bottom - 1);
            halftone.row(y0, y1, fy - float(y0), line.data());
            const int32_t y = dr.top + j;
            if (!dc.work().spend(uint64_t(dw))) return;
            area.forEachRect([&](int32_t top, int32_t bottom, int32_t x0, int32_t x1) {
                if (y < top || y >= bottom) return;
                const int32_t from = std::max(x0, dr.left), to = std::min(x1, dr.right);
                if (from < to) emitRun(emit, pixelRow(dc, y) + from, &line[size_t(from - dr.left)], to - from, from, y);
            });
        }
        return;
    }

    AxisMap ax, ay;
    ax.build(dst.x, dst.w, src.x, src.w, dst.vis.left, dst.vis.right, src.vis.left, src.vis.right);
    ay.build(dst.y, dst.h, src.y, src.h, dst.vis.top, dst.vis.bottom, src.vis.top, src.vis.bottom);
    if (ax.stretch && ay.stretch) mode = COLORONCOLOR;
    const bool combine = mode == BLACKONWHITE || mode == WHITEONBLACK;
    area.forEachRect([&](int32_t top, int32_t bottom, int32_t x0, int32_t x1) {
        for (int32_t y = top; y < bottom; ++y) {
            const size_t iy = size_t(y - ay.lo);
            if (!ay.valid[iy]) continue;
            if (!dc.work().spend(uint64_t(x1 - x0))) return;
            uint32_t *row = pixelRow(dc, y);
            const int32_t ry0 = std::min(ay.first[iy], ay.last[iy]), ry1 = std::max(ay.first[iy], ay.last[iy]);
            for (int32_t x = x0; x < x1; ++x) {
                const size_t ix = size_t(x - ax.lo);
                if (!ax.valid[ix]) continue;
                if (!combine) {
                    // The first source row of a group, the last pixel of a
                    // row group: as the platform's stretcher overwrites.
                    const int32_t sx = ax.last[ix], sy = ay.first[iy];
                    if (usable(sx, sy)) emit(row + x, img.at(sx, sy), x, y, sx, sy);
                    continue;
                }
                const int32_t rx0 = std::min(ax.first[ix], ax.last[ix]), rx1 = std::max(ax.first[ix], ax.last[ix]);
                if (!dc.work().spend(uint64_t(rx1 - rx0 + 1) * uint64_t(ry1 - ry0 + 1))) return;
                uint32_t s = mode == BLACKONWHITE ? ~0u : 0u;
                bool any = false;
                for (int32_t sy = ry0; sy <= ry1; ++sy)
                    for (int32_t sx = rx0; sx <= rx1; ++sx) {
                        if (!usable(sx, sy)) continue;
                        s = mode == BLACKONWHITE ? s & img.at(sx, sy) : s | img.at(sx, sy);
                        any = true;
                    }
                if (any) emit(row + x, s, x, y, ax.first[ix], ay.first[iy]);
            }
        }
    });
}

// Calls emit as blitDevice does for a source rectangle mapped onto the
// device parallelogram p0 (its first corner), p1 (the end of its first
// row), p2 (the start of its last row): each pixel whose centre lies
// inside takes the source pixel under it.
template <class Emit>
void blitAffine(DeviceContext &dc, PointF p0, PointF p1, PointF p2, const BlitSource &bs, Emit &&emit) {
    const DibImage &img = *bs.image;
    const double ex = p1.x - p0.x, ey = p1.y - p0.y, fx = p2.x - p0.x, fy = p2.y - p0.y;
    const double det = ex * fy - ey * fx;
    if (!std::isfinite(det) || std::fabs(det) < 1e-9 || !bs.width || !bs.height) return;
    const double xs[4] = {p0.x, p1.x, p2.x, p1.x + fx}, ys[4] = {p0.y, p1.y, p2.y, p1.y + fy};
    const double minX = *std::min_element(xs, xs + 4), maxX = *std::max_element(xs, xs + 4);
    const double minY = *std::min_element(ys, ys + 4), maxY = *std::max_element(ys, ys + 4);
    const Rect box{int32_t(std::floor(clampCoord(minX))), int32_t(std::floor(clampCoord(minY))),
                   int32_t(std::ceil(clampCoord(maxX))) + 1, int32_t(std::ceil(clampCoord(maxY))) + 1};
    const Region area = clipIn(dc, box);
    const int64_t aw = bs.width < 0 ? -int64_t(bs.width) : bs.width;
    const int64_t ah = bs.height < 0 ? -int64_t(bs.height) : bs.height;
    const int64_t sxInc = bs.width < 0 ? -1 : 1, syInc = bs.height < 0 ? -1 : 1;
    area.forEachRect([&](int32_t top, int32_t bottom, int32_t x0, int32_t x1) {
        if (!dc.work().spend(uint64_t(bottom - top) * uint64_t(x1 - x0))) return;
        for (int32_t y = top; y < bottom; ++y) {
            uint32_t *row = pixelRow(dc, y);
            for (int32_t x = x0; x < x1; ++x) {
                const double dx = x + 0.5 - p0.x, dy = y + 0.5 - p0.y;
                const double u = (dx * fy - dy * fx) / det, v = (ex * dy - ey * dx) / det;
                if (!(u >= 0 && u < 1 && v >= 0 && v < 1)) continue;
                const int64_t sx = bs.x + sxInc * std::min<int64_t>(int64_t(u * double(aw)), aw - 1);
                const int64_t sy = bs.y + syInc * std::min<int64_t>(int64_t(v * double(ah)), ah - 1);
                if (sx < 0 || sy < 0 || sx >= img.width || sy >= img.height) continue;
                if (bs.onlyWritten && !img.wrote(int32_t(sx), int32_t(sy))) continue;
                emit(row + x, img.at(int32_t(sx), int32_t(sy)), x, y, int32_t(sx), int32_t(sy));
            }
        }
    });
}

bool rotates(const Matrix &m) { return m.m12 != 0 || m.m21 != 0; }

PointF devicePoint(const DeviceContext &dc, int64_t x, int64_t y) { return dc.toDeviceF(double(x), double(y)); }

// Runs emit over the destination of a logical rectangle: stretched between
// its mapped corners, or, when the transform rotates, over the mapped
// parallelogram.
template <class Emit>
void blitLogical(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h, const BlitSource &bs,
                 int mode, bool widthQuirk, Emit &&emit) {
    if (!bs.image || bs.image->pixels.empty()) return;
    if (rotates(dc.transform())) {
        blitAffine(dc, devicePoint(dc, x, y), devicePoint(dc, int64_t(x) + w, y),
                   devicePoint(dc, x, int64_t(y) + h), bs, emit);
        return;
    }
    const PointF a = devicePoint(dc, x, y), b = devicePoint(dc, int64_t(x) + w, int64_t(y) + h);
    Coords dst;
    dst.x = roundCoord(a.x), dst.y = roundCoord(a.y);
    dst.w = int64_t(roundCoord(b.x)) - dst.x, dst.h = int64_t(roundCoord(b.y)) - dst.y;
    BlitSource s = bs;
    if (widthQuirk) {
        // A one-pixel destination takes one source pixel fewer.
        if (dst.w == 1 && s.width > 1) --s.width;
        if (dst.h == 1 && s.height > 1) --s.height;
    }
    blitDevice(dc, dst, s, mode, emit);
}

int stretchMode(const DeviceContext &dc) {
    const int m = dc.state().stretchMode;
    return m >= BLACKONWHITE && m <= HALFTONE ? m : BLACKONWHITE;
}

RopEmit ropEmit(DeviceContext &dc, uint32_t rop) {
    const uint8_t code = ropCode(rop);
    return RopEmit{code, ropUsesPattern(code), BrushPixels(dc.brushPaint(*dc.state().brush))};
}

// Bit of a monochrome mask at (x, y), the mask repeating past its edges.
bool maskBit(const DibImage &mask, int64_t x, int64_t y) {
    int64_t mx = x % mask.width, my = y % mask.height;
    if (mx < 0) mx += mask.width;
    if (my < 0) my += mask.height;
    const uint32_t c = mask.at(int32_t(mx), int32_t(my));
    // The nearer of black and white, as the platform converts to one bit.
    const int r = int(c >> 16 & 0xFF), g = int(c >> 8 & 0xFF), b = int(c & 0xFF);
    const int toBlack = r * r + g * g + b * b;
    const int toWhite = (255 - r) * (255 - r) + (255 - g) * (255 - g) + (255 - b) * (255 - b);
    return toWhite < toBlack;
}

}  // namespace

bool decodeForPlayback(DeviceContext &dc, const DibInfo &info, const uint8_t *bits, size_t bitsSize,
                       DibImage &out, int32_t rows) {
    const uint64_t pixels = uint64_t(info.width) * uint64_t(rows > 0 ? rows : info.height);
    // Uncompressed pixels come from bytes the file holds; compressed ones
    // can be described by a few bytes each, so a file of such images is
    // charged enough that a handful of them exhaust the budget.
    const bool compressed = info.compression != BI_RGB && info.compression != BI_BITFIELDS;
    if (pixels > kMaxDibPixels || !dc.work().spend(compressed ? 16 * pixels : pixels)) return false;
    return decodeDibBits(info, bits, bitsSize, out, rows);
}

void patBlt(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rop) {
    const uint8_t code = ropCode(rop);
    if (ropUsesSource(code)) return;  // the platform refuses these
    Rect r;
    if (rotates(dc.transform())) {
        // The parallelogram's pixels, by their centres.
        const PointF p0 = devicePoint(dc, x, y), p1 = devicePoint(dc, int64_t(x) + w, y);
        const PointF p2 = devicePoint(dc, x, int64_t(y) + h);
        DibImage one;
        one.width = one.height = 1;
        one.pixels.assign(1, 0);
        BlitSource unit{&one, 0, 0, 1, 1, false};
        RopEmit e = ropEmit(dc, rop);
        blitAffine(dc, p0, p1, p2, unit, [&](uint32_t *d, uint32_t, int32_t px, int32_t py, int32_t, int32_t) {
            *d = rop3(e.code, *d, 0, e.usesPattern ? e.brush.at(px, py) : 0);
        });
        return;
    }
    const PointF a = devicePoint(dc, x, y), b = devicePoint(dc, int64_t(x) + w, int64_t(y) + h);
    const int64_t dx = roundCoord(a.x), dy = roundCoord(a.y);
    r = bounding(dx, dy, int64_t(roundCoord(b.x)) - dx, int64_t(roundCoord(b.y)) - dy);
    if (r.empty()) return;
    Paint paint = dc.brushPaint(*dc.state().brush);
    if (!ropUsesPattern(code)) {
        // BLACKNESS, WHITENESS, DSTINVERT and kin: a solid word.
        paint = Paint{};
        paint.kind = Paint::Solid;
        paint.color = 0;
    }
    dc.paint(Region::fromRect(r), paint, rop2FromRop3(code));
}

void stretchBlt(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h, const BlitSource &src,
                uint32_t rop) {
    const uint8_t code = ropCode(rop);
    if (!ropUsesSource(code)) {
        patBlt(dc, x, y, w, h, rop);
        return;
    }
    blitLogical(dc, x, y, w, h, src, stretchMode(dc), true, ropEmit(dc, rop));
}

void stretchDIBits(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h, int32_t xSrc,
                   int32_t ySrc, int32_t wSrc, int32_t hSrc, const DibInfo &info, const DibImage &image,
                   uint32_t rop) {
    if (image.pixels.empty()) return;
    const bool copy = (rop & 0xFFFFFF) == SRCCOPY;
    if (rotates(dc.transform())) {
        // Rows count from the bottom of a bottom-up DIB.
        const int64_t sy = info.topDown ? int64_t(ySrc) : int64_t(image.height) - ySrc - hSrc;
        BlitSource bs{&image, xSrc, clamp32(sy), wSrc, hSrc, true};
        blitLogical(dc, x, y, w, h, bs, stretchMode(dc), false, ropEmit(dc, rop));
        return;
    }
    const PointF a = devicePoint(dc, x, y), b = devicePoint(dc, int64_t(x) + w, int64_t(y) + h);
    Coords dst;
    dst.x = roundCoord(a.x), dst.y = roundCoord(a.y);
    dst.w = int64_t(roundCoord(b.x)) - dst.x, dst.h = int64_t(roundCoord(b.y)) - dst.y;
    int64_t sx = xSrc, sy = ySrc, sw = wSrc, sh = hSrc;
    const int64_t height = image.height;
    const bool fromOrigin = sx == 0 && sy == 0 && sw == dst.w && sh == dst.h;
    // RLE pixels the runs skip are left alone only in an unscaled copy from
    // the origin; otherwise they draw in colour 0.
    const bool runsClip = (info.compression == BI_RLE8 || info.compression == BI_RLE4) ? fromOrigin && copy : true;
    if (!copy || fromOrigin) {
        if (dst.w == 1 && sw > 1) --sw;
        if (dst.h == 1 && sh > 1) --sh;
    }
    if (!copy) {
        // Equal mirrored extents draw unmirrored, one pixel over.
        if (dst.w < 0 && dst.w == sw) dst.x += dst.w, sx += sw, dst.w = -dst.w, sw = -sw;
        if (dst.h < 0 && dst.h == sh) dst.y += dst.h, sy += sh, dst.h = -dst.h, sh = -sh;
    }
    if (!info.topDown || (copy && !fromOrigin)) sy = height - sy - sh;
    if (sy >= height && sy + sh + 1 < height) sy = height - 1;
    else if (sy > 0 && sy + sh + 1 < 0) sy = -sh - 1;
    BlitSource bs{&image, clamp32(sx), clamp32(sy), clamp32(sw), clamp32(sh), runsClip};
    blitDevice(dc, dst, bs, stretchMode(dc), ropEmit(dc, rop));
}

void setDIBitsToDevice(DeviceContext &dc, int32_t x, int32_t y, uint32_t cx, uint32_t cy,
                       int32_t xSrc, int32_t ySrc, uint32_t startScan, uint32_t lines,
                       const DibInfo &info, const uint8_t *bits, size_t bitsSize) {
    if (!lines || !cx || !cy) return;
    const int64_t w = std::min<uint32_t>(cx, 1u << 30), h = std::min<uint32_t>(cy, 1u << 30);
    DibImage image;
    int64_t sy;
    if (info.compression == BI_RLE8 || info.compression == BI_RLE4) {
        // The runs are laid out on a bitmap just large enough for the
        // source rectangle.
        DibInfo sized = info;
        const int64_t rw = int64_t(xSrc) + w, rh = int64_t(ySrc) + h;
        if (rw <= 0 || rh <= 0 || rw > INT32_MAX || rh > INT32_MAX) return;
        sized.width = int32_t(rw), sized.height = int32_t(rh);
        if (!decodeForPlayback(dc, sized, bits, bitsSize, image)) return;
        sy = 0;
    } else {
        // The band holds `lines` rows; the source rectangle counts up from
        // its bottom row for bottom-up DIBs.
        const int64_t height = info.height;
        if (startScan >= height) return;
        int64_t n = lines;
        if (!info.topDown && n > height - startScan) n = height - startScan;
        if (info.topDown && n > height) n = height;
        sy = int64_t(startScan) + n - (int64_t(ySrc) + h);
        if (sy > 0 && sy >= n) return;
        if (!decodeForPlayback(dc, info, bits, bitsSize, image, int32_t(n))) return;
    }
    BlitSource src{&image, xSrc, clamp32(sy), int32_t(w), int32_t(h), true};
    const PointF p = devicePoint(dc, x, y);
    Coords dst;
    dst.x = roundCoord(p.x), dst.y = roundCoord(p.y);
    dst.w = w, dst.h = h;
    // Never scaled: the device rectangle has the source's size whatever
    // the transform.
    blitDevice(dc, dst, src, COLORONCOLOR,
               [](uint32_t *d, uint32_t v, int32_t, int32_t, int32_t, int32_t) { *d = v; });
}

void maskBlt(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h, const BlitSource &src,
             const DibImage *mask, int32_t xMask, int32_t yMask, uint32_t rop4) {
    const uint8_t fore = uint8_t(rop4 >> 16), back = uint8_t(rop4 >> 24);
    if (!mask || mask->pixels.empty()) {
        stretchBlt(dc, x, y, w, h, src, rop4 & 0xFFFFFF);
        return;
    }
    const BrushPixels brush(dc.brushPaint(*dc.state().brush));
    const bool usesPattern = ropUsesPattern(fore) || ropUsesPattern(back);
    if (!src.image) {
        if (ropUsesSource(fore) || ropUsesSource(back)) return;
        // Without a source bitmap the mask itself places the pixels.
        const BlitSource bs{mask, xMask, yMask, w, h, false};
        blitLogical(dc, x, y, w, h, bs, COLORONCOLOR, true,
                    [&](uint32_t *d, uint32_t, int32_t px, int32_t py, int32_t sx, int32_t sy) {
                        const bool bit = maskBit(*mask, sx, sy);
                        *d = rop3(bit ? fore : back, *d, 0, usesPattern ? brush.at(px, py) : 0);
                    });
        return;
    }
    blitLogical(dc, x, y, w, h, src, stretchMode(dc), true,
                [&](uint32_t *d, uint32_t s, int32_t px, int32_t py, int32_t sx, int32_t sy) {
                    const bool bit = maskBit(*mask, int64_t(xMask) + sx - src.x, int64_t(yMask) + sy - src.y);
                    *d = rop3(bit ? fore : back, *d, s, usesPattern ? brush.at(px, py) : 0);
                });
}

void plgBlt(DeviceContext &dc, const Point pts[3], const BlitSource &src, const DibImage *mask,
            int32_t xMask, int32_t yMask) {
    if (!src.image || src.image->pixels.empty()) return;
    const bool useMask = mask && !mask->pixels.empty();
    blitAffine(dc, dc.toDeviceF(pts[0].x, pts[0].y), dc.toDeviceF(pts[1].x, pts[1].y),
               dc.toDeviceF(pts[2].x, pts[2].y), src,
               [&](uint32_t *d, uint32_t s, int32_t, int32_t, int32_t sx, int32_t sy) {
                   if (useMask && !maskBit(*mask, int64_t(xMask) + sx - src.x, int64_t(yMask) + sy - src.y))
                       return;
                   *d = s;
               });
}

void transparentBlt(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h,
                    const BlitSource &src, uint32_t transparent) {
    if (w < 0 || h < 0 || src.width < 0 || src.height < 0) return;  // it cannot mirror
    int mode = stretchMode(dc);
    if (mode == BLACKONWHITE || mode == WHITEONBLACK) mode = COLORONCOLOR;
    const uint32_t key = colorWord(transparent, dc.state().palette.get());
    blitLogical(dc, x, y, w, h, src, mode, true, [&](uint32_t *d, uint32_t s, int32_t, int32_t, int32_t, int32_t) {
        if ((s & 0xFFFFFF) != key) *d = s;
    });
}

bool alphaBlend(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h, const BlitSource &src,
                uint32_t blendFunction) {
    if (!src.image || src.image->pixels.empty()) return false;
    const DibImage &img = *src.image;
    if (src.x < 0 || src.y < 0 || src.width < 0 || src.height < 0) return false;
    if (int64_t(src.width) > int64_t(img.width) - src.x || int64_t(src.height) > int64_t(img.height) - src.y)
        return false;
    if (w < 0 || h < 0) return false;
    const uint32_t sca = blendFunction >> 16 & 0xFF;
    const bool perPixel = (blendFunction >> 24 & 0xFF) & 1;  // AC_SRC_ALPHA
    if (perPixel && !img.keepsAlpha) return false;
    auto div255 = [](uint32_t v) { return (v + 127) / 255; };
    auto blend = [&](uint32_t d, uint32_t s) {
        uint32_t out = 0;
        if (perPixel) {
            // Premultiplied source over the destination, alpha included.
            uint32_t sc[4];
            for (int i = 0; i < 4; ++i) sc[i] = s >> (8 * i) & 0xFF;
            if (sca != 255)
                for (int i = 0; i < 4; ++i) sc[i] = div255(sc[i] * sca);
            const uint32_t inv = 255 - sc[3];
            for (int i = 0; i < 4; ++i) out |= ((sc[i] + div255((d >> (8 * i) & 0xFF) * inv)) & 0xFF) << (8 * i);
            return out;
        }
        // Constant alpha: each channel mixed; a source without an alpha
        // byte counts as opaque there.
        for (int i = 0; i < 4; ++i) {
            const uint32_t sv = (i == 3 && !img.keepsAlpha) ? 255 : s >> (8 * i) & 0xFF;
            out |= (div255(sv * sca + (d >> (8 * i) & 0xFF) * (255 - sca)) & 0xFF) << (8 * i);
        }
        return out;
    };
    BlitSource bs = src;
    bs.onlyWritten = false;
    blitLogical(dc, x, y, w, h, bs, COLORONCOLOR, false,
                [&](uint32_t *d, uint32_t s, int32_t, int32_t, int32_t, int32_t) { *d = blend(*d, s); });
    return true;
}

}  // namespace vellora::gdi
