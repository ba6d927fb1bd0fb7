#include "pipeline/resample.h"

#include <algorithm>
#include <cstring>

#include "pipeline/resample_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellora {

namespace {
// Rotation centre in output pixels, from the bitmap size alone.
void centre(int32_t w, int32_t h, double *cx, double *cy) {
    const int32_t W = 2 * w + 2, H = 2 * h + 2;
    *cx = double(W / 4);
    *cy = double(H / 4);
}
}  // namespace

agg::trans_affine resampleTransform(int32_t w, int32_t h, double angle) {
    double cx, cy;
    centre(w, h, &cx, &cy);
    agg::trans_affine m;
    m *= agg::trans_affine_translation(-cx, -cy);
    m *= agg::trans_affine_rotation(angle);
    m *= agg::trans_affine_translation(cx, cy);
    m *= agg::trans_affine_scaling(2.0);
    return m;
}

namespace resample {

namespace {

constexpr Factors makeFactors() {
    Factors f{};
    for (int32_t t = 0; t < 128; ++t) {
        for (int32_t k = 0; k < 4; ++k)
            f.ax[t][2 * k] = f.ax[t][2 * k + 1] = int16_t(tableUnit(t + 128 * k));
        for (int32_t i = 0; i < 4; ++i) {
            f.by[t][0][2 * i] = int16_t(tableUnit(t));
            f.by[t][0][2 * i + 1] = int16_t(tableUnit(t + 128));
            f.by[t][1][2 * i] = int16_t(tableUnit(t + 256));
            f.by[t][1][2 * i + 1] = int16_t(tableUnit(t + 384));
        }
    }
    return f;
}

constexpr Excess makeExcess() {
    Excess e{};
    for (int32_t v = 0; v < 9; ++v)
        for (int32_t i = 0; i < 4; ++i) e.lanes[v][i] = v;
    const int32_t phaseOf[5] = {4, 1, 2, 3, 0};  // a phase of each class
    for (int32_t c = 0; c < 5; ++c)
        for (int32_t d = 0; d < 5; ++d)
            e.byClass[c][d] = blockTotal(phaseOf[c], phaseOf[d]) - 65536;
    return e;
}

// AGG's iround.
int32_t iround(double v) { return int32_t((v < 0.0) ? v - 0.5 : v + 0.5); }

// AGG's forward-adjusted dda2_line_interpolator(y1, y2, count).
Dda makeDda(int32_t y1, int32_t y2, int32_t count) {
    Dda d;
    d.cnt = count <= 0 ? 1 : count;
    d.lft = (y2 - y1) / d.cnt;
    d.rem = (y2 - y1) % d.cnt;
    d.mod = d.rem;
    d.y = y1;
    if (d.mod <= 0) {
        d.mod += count;
        d.rem += count;
        d.lft--;
    }
    d.mod -= count;
    return d;
}

// What the resampler adds to an interpolated coordinate before reading: the
// filter offset (0.5 pixel, 128) less the radius (2 pixels at scale 2, 512).
constexpr int32_t kOffset = 128 - 512;

// ---- portable form: AGG's loops, one tap at a time

void filterPortable(const Source &src, int32_t x, int32_t y, uint8_t *dst) {
    uint32_t block[16];
    gatherClamped(src, x >> 8, y >> 8, block);
    const int32_t tx = phase(x), ty = phase(y);
    int32_t fg[4] = {8192, 8192, 8192, 8192};  // image_filter_scale / 2
    int32_t total = 0;
    for (int32_t j = 0; j < 4; ++j) {
        const int32_t wy = 64 * tableUnit(ty + 128 * j);
        for (int32_t k = 0; k < 4; ++k) {
            const int32_t weight = (wy * 64 * tableUnit(tx + 128 * k) + 8192) >> 14;
            const uint8_t *p = reinterpret_cast<const uint8_t *>(&block[j * 4 + k]);
            for (int32_t c = 0; c < 4; ++c) fg[c] += p[c] * weight;
            total += weight;
        }
    }
    for (int32_t &v : fg) v /= total;  // never negative, alpha never above 255
    const uint32_t a = uint32_t(fg[3]);
    auto colour = [a](int32_t v) { return uint32_t(v) > a ? a : uint32_t(v); };
    storePixel(dst, colour(fg[0]), colour(fg[1]), colour(fg[2]), a);
}

void rowPortable(const Source &src, const Row &row) {
    Dda dx = row.x, dy = row.y;
    for (int32_t n = 0; n < row.len; ++n) {
        filterPortable(src, dx.y, dy.y, row.dst + 4 * n);
        dx.step();
        dy.step();
    }
}

void evenRowPortable(const Source &src, const EvenRow &row) {
    for (int32_t n = 0; n < row.len; ++n) {
        filterPortable(src, row.x + n * row.stepX, row.y + n * row.stepY, row.dst + 4 * n);
    }
}

#if defined(__SSE2__)
// ---- SSE2: one pixel's 16 taps in 8 multiply-adds of 16-bit pairs

struct Weights {
    __m128i v[8];    // {w(j, k), w(j + 1, k)} x 4 for column k of rows 0-1, then of rows 2-3
    __m128i excess;  // the weights' sum less 65536, in every lane
};

inline void weightsFor(int32_t tx, int32_t ty, const int32_t *excess, Weights &w) {
    const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i *>(kFactors.ax[tx]));
    const __m128i b01 = _mm_load_si128(reinterpret_cast<const __m128i *>(kFactors.by[ty][0]));
    const __m128i b23 = _mm_load_si128(reinterpret_cast<const __m128i *>(kFactors.by[ty][1]));
    const __m128i two = _mm_set1_epi16(2);
    // uy * ux fits 16 unsigned bits; the shift is logical.
    const __m128i c01 = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, b01), two), 2);
    const __m128i c23 = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, b23), two), 2);
    w.v[0] = _mm_shuffle_epi32(c01, 0x00);
    w.v[1] = _mm_shuffle_epi32(c01, 0x55);
    w.v[2] = _mm_shuffle_epi32(c01, 0xAA);
    w.v[3] = _mm_shuffle_epi32(c01, 0xFF);
    w.v[4] = _mm_shuffle_epi32(c23, 0x00);
    w.v[5] = _mm_shuffle_epi32(c23, 0x55);
    w.v[6] = _mm_shuffle_epi32(c23, 0xAA);
    w.v[7] = _mm_shuffle_epi32(c23, 0xFF);
    w.excess = _mm_load_si128(reinterpret_cast<const __m128i *>(excess));
}

// Channel sums over a total weight of 65536 + e (see blockTotal).
inline __m128i quotient(__m128i sum, __m128i e) {
    const __m128i q = _mm_srli_epi32(sum, 16);
    // q < 256 and e <= 8: their product fits the low 16 bits of each lane.
    const __m128i over =
        _mm_cmpgt_epi32(_mm_mullo_epi16(q, e), _mm_and_si128(sum, _mm_set1_epi32(0xFFFF)));
    return _mm_add_epi32(q, over);
}

// Channel sums of the block whose rows start at p, p + s, p + 2s, p + 3s,
// divided by the total weight: B, G, R, A in 32-bit lanes.
inline __m128i filterSse2(const uint8_t *p, ptrdiff_t s, const Weights &w) {
    const __m128i z = _mm_setzero_si128();
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + s));
    const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 2 * s));
    const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 3 * s));
    // Byte-interleaving two rows puts each column's channel pairs side by side.
    const __m128i lo01 = _mm_unpacklo_epi8(r0, r1), hi01 = _mm_unpackhi_epi8(r0, r1);
    const __m128i lo23 = _mm_unpacklo_epi8(r2, r3), hi23 = _mm_unpackhi_epi8(r2, r3);
    const __m128i s0 = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(lo01, z), w.v[0]),
                                     _mm_madd_epi16(_mm_unpackhi_epi8(lo01, z), w.v[1]));
    const __m128i s1 = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(hi01, z), w.v[2]),
                                     _mm_madd_epi16(_mm_unpackhi_epi8(hi01, z), w.v[3]));
    const __m128i s2 = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(lo23, z), w.v[4]),
                                     _mm_madd_epi16(_mm_unpackhi_epi8(lo23, z), w.v[5]));
    const __m128i s3 = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(hi23, z), w.v[6]),
                                     _mm_madd_epi16(_mm_unpackhi_epi8(hi23, z), w.v[7]));
    const __m128i sum = _mm_add_epi32(_mm_add_epi32(_mm_add_epi32(s0, s1), _mm_add_epi32(s2, s3)),
                                      _mm_set1_epi32(8192));
    return quotient(sum, w.excess);
}

// Two pixels' quotients as stored: colours limited to alpha, then the blend's
// alpha (a + 1 for 0 < a < 255), in 16-bit lanes.
inline __m128i storedPair(__m128i q0, __m128i q1) {
    __m128i x = _mm_packs_epi32(q0, q1);
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xFF), 0xFF);
    x = _mm_min_epi16(x, a);
    const __m128i partial = _mm_and_si128(_mm_cmpgt_epi16(x, _mm_setzero_si128()),
                                          _mm_cmplt_epi16(x, _mm_set1_epi16(255)));
    const __m128i alphaLanes = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
    return _mm_sub_epi16(x, _mm_and_si128(partial, alphaLanes));
}

inline void store(uint8_t *dst, const __m128i q[4], int32_t count) {
    const __m128i px = _mm_packus_epi16(storedPair(q[0], q[1]), storedPair(q[2], q[3]));
    if (count == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), px);
    } else {
        alignas(16) uint8_t tmp[16];
        _mm_store_si128(reinterpret_cast<__m128i *>(tmp), px);
        std::memcpy(dst, tmp, size_t(count) * 4);
    }
}

void rowSse2(const Source &src, const Row &row) {
    Dda dx = row.x, dy = row.y;
    alignas(16) uint32_t blocks[kChunk][16];
    Tap taps[kChunk];
    Weights w;
    for (int32_t n = 0; n < row.len; n += kChunk) {
        const int32_t count = std::min(row.len - n, kChunk);
        plan(src, dx, dy, count, taps, blocks);
        for (int32_t i = 0; i < count; i += 4) {
            __m128i q[4];
            for (int32_t k = 0; k < 4; ++k) {
                const Tap &t = taps[i + k];
                weightsFor(t.tx, t.ty, t.excess, w);
                q[k] = filterSse2(t.p, t.s, w);
            }
            store(row.dst + 4 * (n + i), q, std::min(count - i, 4));
        }
    }
}

// Pixels [n, end) of an even row, blocks read or gathered.
void evenPixelsSse2(const Source &src, const EvenRow &row, const Weights &w, int32_t n,
                    int32_t end) {
    const int32_t sx = row.stepX / 256, sy = row.stepY / 256;
    alignas(16) uint32_t block[16];
    for (; n < end; n += 4) {
        __m128i q[4];
        const int32_t count = std::min(end - n, 4);
        for (int32_t i = 0; i < 4; ++i) {
            const int32_t m = std::min(n + i, end - 1);
            ptrdiff_t s;
            const uint8_t *p =
                blockAt(src, (row.x >> 8) + m * sx, (row.y >> 8) + m * sy, block, &s);
            q[i] = filterSse2(p, s, w);
        }
        store(row.dst + 4 * n, q, count);
    }
}

// The two columns a block shares with the next one on an upright row, as
// 16-bit channel pairs of rows (0, 1) and (2, 3): from the 8 bytes at p.
struct Columns {
    __m128i c01[2], c23[2];
    Columns(const uint8_t *p, ptrdiff_t s) {
        const __m128i z = _mm_setzero_si128();
        auto half = [](const uint8_t *q) {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(q));
        };
        const __m128i i01 = _mm_unpacklo_epi8(half(p), half(p + s));
        const __m128i i23 = _mm_unpacklo_epi8(half(p + 2 * s), half(p + 3 * s));
        c01[0] = _mm_unpacklo_epi8(i01, z);
        c01[1] = _mm_unpackhi_epi8(i01, z);
        c23[0] = _mm_unpacklo_epi8(i23, z);
        c23[1] = _mm_unpackhi_epi8(i23, z);
    }
};

void evenRowSse2(const Source &src, const EvenRow &row) {
    Weights w;
    const int32_t tx = phase(row.x), ty = phase(row.y);
    weightsFor(tx, ty, kExcess.lanes[kExcess.byClass[phaseClass(tx)][phaseClass(ty)]], w);
    const int32_t sx = row.stepX / 256, sy = row.stepY / 256;
    int32_t n0, n1;
    innerPixels(src, row, &n0, &n1);
    evenPixelsSse2(src, row, w, 0, n0);
    const ptrdiff_t s = src.rowStep;
    uintptr_t a =
        address(src.top, ((row.y >> 8) + n0 * sy) * s + ptrdiff_t((row.x >> 8) + n0 * sx) * 4);
    int32_t n = n0;
    if (!(sx == 2 && sy == 0)) {
        const ptrdiff_t step = ptrdiff_t(sx) * 4 + sy * s;
        for (; n + 4 <= n1; n += 4) {
            __m128i q[4];
            for (int32_t i = 0; i < 4; ++i, a += uintptr_t(step)) q[i] = filterSse2(at(a), s, w);
            store(row.dst + 4 * n, q, 4);
        }
        evenPixelsSse2(src, row, w, n, row.len);
        return;
    }
    // Upright: a block's last two columns are the next block's first two, so
    // each pixel reads and widens only the two it adds.
    if (n1 - n0 < 4) {
        evenPixelsSse2(src, row, w, n, row.len);
        return;
    }
    Columns first(at(a), s);
    for (; n + 4 <= n1; n += 4) {
        __m128i q[4];
        for (int32_t i = 0; i < 4; ++i, a += 8) {
            const Columns next(at(a + 8), s);
            const __m128i s01 = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(first.c01[0], w.v[0]),
                                                            _mm_madd_epi16(first.c01[1], w.v[1])),
                                              _mm_add_epi32(_mm_madd_epi16(next.c01[0], w.v[2]),
                                                            _mm_madd_epi16(next.c01[1], w.v[3])));
            const __m128i s23 = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(first.c23[0], w.v[4]),
                                                            _mm_madd_epi16(first.c23[1], w.v[5])),
                                              _mm_add_epi32(_mm_madd_epi16(next.c23[0], w.v[6]),
                                                            _mm_madd_epi16(next.c23[1], w.v[7])));
            q[i] = quotient(_mm_add_epi32(_mm_add_epi32(s01, s23), _mm_set1_epi32(8192)), w.excess);
            first = next;
        }
        store(row.dst + 4 * n, q, 4);
    }
    evenPixelsSse2(src, row, w, n, row.len);
}
#endif  // __SSE2__

const Kernels &fastest() {
#if defined(VELLORA_RESAMPLE_AVX2)
    static const Kernels &k = avx2Usable() ? kAvx2 : kSse2;
    return k;
#elif defined(__SSE2__)
    return kSse2;
#else
    return kPortable;
#endif
}

void run(const Kernels &kernels, const uint8_t *canvas, uint8_t *out, int32_t w, int32_t h,
         double angle, bool clearOutside = true) {
    const int32_t W = 2 * w + 2, H = 2 * h + 2;
    const ptrdiff_t rowBytes = ptrdiff_t(W) * 4;

    // Everything outside the w x h block is (0, 0, 0, 0): the h + 2 bottom rows
    // in memory whole, and the right-hand part of the others.
    if (clearOutside) {
        std::memset(out, 0, size_t(H - h) * size_t(rowBytes));
        for (int32_t y = H - h; y < H; ++y)
            std::memset(out + y * rowBytes + ptrdiff_t(w) * 4, 0, size_t(W - w) * 4);
    }

    const agg::trans_affine m = resampleTransform(w, h, angle);
    // The next output row lies (shx, sy) canvas pixels on; the block rows it
    // reaches first are the last two in that direction. A turned row crosses
    // canvas rows faster than the hardware prefetchers follow.
    const ptrdiff_t down = m.sy >= 0 ? -rowBytes : rowBytes;  // one canvas row on
    const ptrdiff_t next =
        ptrdiff_t(m.shx * 4) + ptrdiff_t(m.sy + (m.sy >= 0 ? 0.5 : -0.5)) * -rowBytes;
    const ptrdiff_t lead = m.sy >= 0 ? 3 * down : 0;
    const Source src{
        canvas + (H - 1) * rowBytes, -rowBytes, W, H, {next + lead, next + lead - down}};

    // Rows that cross many canvas rows go in vertical strips, so that the
    // canvas rows one strip's row crosses stay cached (and their pages
    // mapped) for the next row. A strip's row crosses about 96 canvas rows
    // (|shy| per output pixel): narrower strips cost more in setting up
    // their rows than they save (measured at 0.3, 0.9, 1.2 and pi/2 radians).
    const double slope = m.shy < 0 ? -m.shy : m.shy;
    const int32_t strip = slope * w <= 96.0 ? w : std::max(int32_t(96.0 / slope) & ~7, 8);

    for (int32_t n0 = 0; n0 < w; n0 += strip) {
        const int32_t len = std::min(strip, w - n0);
        for (int32_t py = 0; py < h; ++py) {
            uint8_t *dst = out + (H - 1 - py) * rowBytes + ptrdiff_t(n0) * 4;
            // The interpolator's begin() for the span of row py: its first
            // pixel centre and the point one span further, in 1/256 canvas pixel.
            double x = 0.5, y = py + 0.5;
            m.transform(&x, &y);
            const int32_t x1 = iround(x * 256), y1 = iround(y * 256);
            x = 0.5 + w;
            y = py + 0.5;
            m.transform(&x, &y);
            const int32_t x2 = iround(x * 256), y2 = iround(y * 256);

            // Whole-pixel steps need spans that are multiples of 256 first.
            const int32_t spanX = x2 - x1, spanY = y2 - y1;
            if ((spanX & 255) == 0 && (spanY & 255) == 0 && spanX % w == 0 && spanY % w == 0 &&
                (spanX / w) % 256 == 0 && (spanY / w) % 256 == 0) {
                // The DDAs step by exactly spanX / w and spanY / w, whole pixels.
                const int32_t sx = spanX / w, sy = spanY / w;
                kernels.evenRow(
                    src, EvenRow{dst, len, x1 + kOffset + n0 * sx, y1 + kOffset + n0 * sy, sx, sy});
            } else {
                Row row{dst, len, makeDda(x1, x2, w), makeDda(y1, y2, w)};
                row.x.advance(n0);
                row.y.advance(n0);
                row.x.y += kOffset;
                row.y.y += kOffset;
                kernels.row(src, row);
            }
        }
    }
}

}  // namespace

const Factors kFactors = makeFactors();

const Excess kExcess = makeExcess();

void gatherClamped(const Source &src, int32_t xlr, int32_t ylr, uint32_t block[16]) {
    auto clamp = [](int32_t v, int32_t hi) { return v < 0 ? 0 : v > hi ? hi : v; };
    const bool across = xlr >= 0 && xlr <= src.W - 4;  // all four columns in the canvas
    ptrdiff_t cols[4];
    for (int32_t k = 0; k < 4; ++k) cols[k] = ptrdiff_t(clamp(xlr + k, src.W - 1)) * 4;
    for (int32_t j = 0; j < 4; ++j) {
        const uint8_t *row = src.top + clamp(ylr + j, src.H - 1) * src.rowStep;
        if (across) {
            std::memcpy(&block[j * 4], row + cols[0], 16);
        } else {
            for (int32_t k = 0; k < 4; ++k) std::memcpy(&block[j * 4 + k], row + cols[k], 4);
        }
    }
}

const Kernels kPortable{rowPortable, evenRowPortable};
#if defined(__SSE2__)
const Kernels kSse2{rowSse2, evenRowSse2};
#endif

bool available(Code code) {
    switch (code) {
    case Code::Portable: return true;
#if defined(__SSE2__)
    case Code::Sse2: return true;
#endif
#if defined(VELLORA_RESAMPLE_AVX2)
    case Code::Avx2: return avx2Usable();
#endif
    default: return false;
    }
}

void resampleWith(Code code, const uint8_t *canvas, uint8_t *out, int32_t w, int32_t h,
                  double angle) {
    switch (code) {
#if defined(__SSE2__)
    case Code::Sse2: run(kSse2, canvas, out, w, h, angle); return;
#endif
#if defined(VELLORA_RESAMPLE_AVX2)
    case Code::Avx2: run(kAvx2, canvas, out, w, h, angle); return;
#endif
    default: run(kPortable, canvas, out, w, h, angle); return;
    }
}

}  // namespace resample

void resampleCanvas(const uint8_t *canvas, uint8_t *out, int32_t w, int32_t h, double angle) {
    resample::run(resample::fastest(), canvas, out, w, h, angle);
}

void resampleBlock(const uint8_t *canvas, uint8_t *out, int32_t w, int32_t h, double angle) {
    resample::run(resample::fastest(), canvas, out, w, h, angle, false);
}

}  // namespace vellora
