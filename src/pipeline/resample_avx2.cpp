// The resampler's AVX2 form: the SSE2 arithmetic with two output pixels in
// the two halves of each register. Compiled with -mavx2 and chosen at run
// time.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "pipeline/resample_kernels.h"

namespace vellora::resample {

namespace {
// The weight factors scaled for vpmulhrsw, (64 ux * 128 uy + 2^14) >> 15 =
// (ux * uy + 2) >> 2: a[t][k] holds 64 u(t + 128 k) in every lane; b[t] holds
// {128 u(t), 128 u(t + 128)} x 4, then the same of t + 256 and t + 384.
struct alignas(16) Factors2 {
    int16_t a[128][4][8];
    int16_t b[128][2][8];
};

constexpr Factors2 makeFactors2() {
    Factors2 f{};
    for (int32_t t = 0; t < 128; ++t) {
        for (int32_t k = 0; k < 4; ++k)
            for (int32_t i = 0; i < 8; ++i) f.a[t][k][i] = int16_t(64 * tableUnit(t + 128 * k));
        for (int32_t i = 0; i < 4; ++i) {
            f.b[t][0][2 * i] = int16_t(128 * tableUnit(t));
            f.b[t][0][2 * i + 1] = int16_t(128 * tableUnit(t + 128));
            f.b[t][1][2 * i] = int16_t(128 * tableUnit(t + 256));
            f.b[t][1][2 * i + 1] = int16_t(128 * tableUnit(t + 384));
        }
    }
    return f;
}
const Factors2 kFactors2 = makeFactors2();

struct Weights {
    __m256i v[8];  // as in the SSE2 form, one pixel per 128-bit half
    __m256i excess;
};

inline __m256i load2(const void *lo, const void *hi) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(static_cast<const __m128i *>(lo))),
        _mm_loadu_si128(static_cast<const __m128i *>(hi)), 1);
}

// Channel sums over a total weight of 65536 + e (see blockTotal).
inline __m256i quotient(__m256i sum, __m256i e) {
    const __m256i q = _mm256_srli_epi32(sum, 16);
    const __m256i over = _mm256_cmpgt_epi32(_mm256_mullo_epi16(q, e),
                                            _mm256_and_si256(sum, _mm256_set1_epi32(0xFFFF)));
    return _mm256_add_epi32(q, over);
}

// Weights of two pixels of phases (tx0, ty0) and (tx1, ty1).
inline void weightsFor(int32_t tx0, int32_t ty0, int32_t tx1, int32_t ty1, Weights &w) {
    const __m256i b01 = load2(kFactors2.b[ty0][0], kFactors2.b[ty1][0]);
    const __m256i b23 = load2(kFactors2.b[ty0][1], kFactors2.b[ty1][1]);
    for (int32_t k = 0; k < 4; ++k) {
        const __m256i a = load2(kFactors2.a[tx0][k], kFactors2.a[tx1][k]);
        w.v[k] = _mm256_mulhrs_epi16(a, b01);
        w.v[4 + k] = _mm256_mulhrs_epi16(a, b23);
    }
    w.excess = load2(kExcess.lanes[kExcess.byClass[phaseClass(tx0)][phaseClass(ty0)]],
                     kExcess.lanes[kExcess.byClass[phaseClass(tx1)][phaseClass(ty1)]]);
}

// Quotients of two pixels whose block rows are r0..r3 (one pixel per half).
inline __m256i filterRows(__m256i r0, __m256i r1, __m256i r2, __m256i r3, const Weights &w) {
    const __m256i z = _mm256_setzero_si256();
    const __m256i lo01 = _mm256_unpacklo_epi8(r0, r1), hi01 = _mm256_unpackhi_epi8(r0, r1);
    const __m256i lo23 = _mm256_unpacklo_epi8(r2, r3), hi23 = _mm256_unpackhi_epi8(r2, r3);
    const __m256i s0 = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi8(lo01, z), w.v[0]),
                                        _mm256_madd_epi16(_mm256_unpackhi_epi8(lo01, z), w.v[1]));
    const __m256i s1 = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi8(hi01, z), w.v[2]),
                                        _mm256_madd_epi16(_mm256_unpackhi_epi8(hi01, z), w.v[3]));
    const __m256i s2 = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi8(lo23, z), w.v[4]),
                                        _mm256_madd_epi16(_mm256_unpackhi_epi8(lo23, z), w.v[5]));
    const __m256i s3 = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi8(hi23, z), w.v[6]),
                                        _mm256_madd_epi16(_mm256_unpackhi_epi8(hi23, z), w.v[7]));
    const __m256i sum =
        _mm256_add_epi32(_mm256_add_epi32(_mm256_add_epi32(s0, s1), _mm256_add_epi32(s2, s3)),
                         _mm256_set1_epi32(8192));
    return quotient(sum, w.excess);
}

inline __m256i filterPair(const uint8_t *p0, ptrdiff_t s0, const uint8_t *p1, ptrdiff_t s1,
                          const Weights &w) {
    return filterRows(load2(p0, p1), load2(p0 + s0, p1 + s1), load2(p0 + 2 * s0, p1 + 2 * s1),
                      load2(p0 + 3 * s0, p1 + 3 * s1), w);
}

// Two taps of a row in general position, each weight made as it is used.
inline __m256i filterTaps(const Tap &t0, const Tap &t1) {
    const __m256i z = _mm256_setzero_si256();
    const __m256i b01 = load2(kFactors2.b[t0.ty][0], kFactors2.b[t1.ty][0]);
    const __m256i b23 = load2(kFactors2.b[t0.ty][1], kFactors2.b[t1.ty][1]);
    const __m256i a0 = load2(kFactors2.a[t0.tx][0], kFactors2.a[t1.tx][0]);
    const __m256i a1 = load2(kFactors2.a[t0.tx][1], kFactors2.a[t1.tx][1]);
    const __m256i a2 = load2(kFactors2.a[t0.tx][2], kFactors2.a[t1.tx][2]);
    const __m256i a3 = load2(kFactors2.a[t0.tx][3], kFactors2.a[t1.tx][3]);
    const __m256i r0 = load2(t0.p, t1.p), r1 = load2(t0.p + t0.s, t1.p + t1.s);
    const __m256i r2 = load2(t0.p + 2 * t0.s, t1.p + 2 * t1.s);
    const __m256i r3 = load2(t0.p + 3 * t0.s, t1.p + 3 * t1.s);
    const __m256i lo01 = _mm256_unpacklo_epi8(r0, r1), hi01 = _mm256_unpackhi_epi8(r0, r1);
    const __m256i lo23 = _mm256_unpacklo_epi8(r2, r3), hi23 = _mm256_unpackhi_epi8(r2, r3);
    auto tap = [&](__m256i px, __m256i a, __m256i b) {
        return _mm256_madd_epi16(px, _mm256_mulhrs_epi16(a, b));
    };
    const __m256i s0 = _mm256_add_epi32(tap(_mm256_unpacklo_epi8(lo01, z), a0, b01),
                                        tap(_mm256_unpackhi_epi8(lo01, z), a1, b01));
    const __m256i s1 = _mm256_add_epi32(tap(_mm256_unpacklo_epi8(hi01, z), a2, b01),
                                        tap(_mm256_unpackhi_epi8(hi01, z), a3, b01));
    const __m256i s2 = _mm256_add_epi32(tap(_mm256_unpacklo_epi8(lo23, z), a0, b23),
                                        tap(_mm256_unpackhi_epi8(lo23, z), a1, b23));
    const __m256i s3 = _mm256_add_epi32(tap(_mm256_unpacklo_epi8(hi23, z), a2, b23),
                                        tap(_mm256_unpackhi_epi8(hi23, z), a3, b23));
    const __m256i sum =
        _mm256_add_epi32(_mm256_add_epi32(_mm256_add_epi32(s0, s1), _mm256_add_epi32(s2, s3)),
                         _mm256_set1_epi32(8192));
    return quotient(sum, load2(t0.excess, t1.excess));
}

// Four pixels' quotients, two per register, as stored (colours limited to
// alpha, the blend's alpha), in the order `order` reads them back.
inline __m128i storedQuad(__m256i qa, __m256i qb, __m256i order) {
    __m256i x = _mm256_packs_epi32(qa, qb);
    const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(x, 0xFF), 0xFF);
    x = _mm256_min_epi16(x, a);
    const __m256i partial = _mm256_and_si256(_mm256_cmpgt_epi16(x, _mm256_setzero_si256()),
                                             _mm256_cmpgt_epi16(_mm256_set1_epi16(255), x));
    const __m256i alphaLanes = _mm256_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0);
    x = _mm256_sub_epi16(x, _mm256_and_si256(partial, alphaLanes));
    x = _mm256_packus_epi16(x, x);
    return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(x, order));
}

// After packs and packus, dword i of half h holds the pixel packed i-th from
// that half; these orders read them back as pixels 0, 1, 2, 3.
//  - qa = (0 | 1), qb = (2 | 3): half 0 has 0, 2; half 1 has 1, 3.
//  - qa = (0 | 2), qb = (1 | 3): half 0 has 0, 1; half 1 has 2, 3.
inline __m256i orderPairs() { return _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0); }
inline __m256i orderStrided() { return _mm256_setr_epi32(0, 1, 4, 5, 0, 0, 0, 0); }

inline void store(uint8_t *dst, __m128i px, int32_t count) {
    if (count == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), px);
    } else {
        alignas(16) uint8_t tmp[16];
        _mm_store_si128(reinterpret_cast<__m128i *>(tmp), px);
        std::memcpy(dst, tmp, size_t(count) * 4);
    }
}

// Where pixel (xlr, ylr)'s block is: in the canvas, or gathered with clamping.
inline const uint8_t *blockAt(const Source &src, int32_t xlr, int32_t ylr, uint32_t *block,
                              ptrdiff_t *step) {
    if (inside(src, xlr, ylr)) {
        *step = src.rowStep;
        return src.top + ylr * src.rowStep + ptrdiff_t(xlr) * 4;
    }
    gatherClamped(src, xlr, ylr, block);
    *step = 16;
    return reinterpret_cast<const uint8_t *>(block);
}

void rowAvx2(const Source &src, const Row &row) {
    Dda dx = row.x, dy = row.y;
    // Two chunks in turn: one is planned (its blocks asked for) while the
    // other is filtered.
    alignas(16) uint32_t blocks[2][kChunk][16];
    Tap taps[2][kChunk];
    const __m256i order = orderPairs();
    int32_t count = std::min(row.len, kChunk);
    plan(src, dx, dy, count, taps[0], blocks[0]);
    for (int32_t n = 0, c = 0; n < row.len; n += kChunk, c ^= 1) {
        const int32_t next = std::min(row.len - n - count, kChunk);
        if (next > 0) plan(src, dx, dy, next, taps[c ^ 1], blocks[c ^ 1]);
        const Tap *t = taps[c];
        for (int32_t i = 0; i < count; i += 4) {
            const __m256i qa = filterTaps(t[i], t[i + 1]);
            const __m256i qb = filterTaps(t[i + 2], t[i + 3]);
            store(row.dst + 4 * (n + i), storedQuad(qa, qb, order), std::min(count - i, 4));
        }
        count = next;
    }
}

// Pixels n with lo <= v0 + n * s <= hi, within [0, len): [*n0, *n1).
void progression(int64_t v0, int64_t s, int64_t lo, int64_t hi, int32_t len, int32_t *n0,
                 int32_t *n1) {
    int64_t a = 0, b = len;
    auto floorDiv = [](int64_t p, int64_t q) { return p / q - ((p % q != 0) && ((p < 0) != (q < 0))); };
    if (s == 0) {
        if (v0 < lo || v0 > hi) b = 0;
    } else if (s > 0) {
        a = std::max<int64_t>(a, -floorDiv(-(lo - v0), s));  // ceil((lo - v0) / s)
        b = std::min<int64_t>(b, floorDiv(hi - v0, s) + 1);
    } else {
        a = std::max<int64_t>(a, -floorDiv(-(hi - v0), s));  // ceil((hi - v0) / s)
        b = std::min<int64_t>(b, floorDiv(lo - v0, s) + 1);
    }
    if (b < a) b = a;
    *n0 = int32_t(std::min<int64_t>(a, len));
    *n1 = int32_t(std::min<int64_t>(b, len));
}

// Pixels [n, end) of an even row one or two at a time, blocks read or gathered.
void evenPixels(const Source &src, const EvenRow &row, const Weights &w, int32_t n, int32_t end) {
    const int32_t sx = row.stepX / 256, sy = row.stepY / 256;
    alignas(16) uint32_t block[2][16];
    const __m256i order = orderPairs();
    while (n < end) {
        __m256i q[2];
        const int32_t count = std::min(end - n, 4);
        for (int32_t i = 0; i < 2; ++i) {
            const int32_t m0 = std::min(n + 2 * i, end - 1), m1 = std::min(n + 2 * i + 1, end - 1);
            ptrdiff_t s0, s1;
            const uint8_t *p0 = blockAt(src, (row.x >> 8) + m0 * sx, (row.y >> 8) + m0 * sy,
                                        block[0], &s0);
            const uint8_t *p1 = blockAt(src, (row.x >> 8) + m1 * sx, (row.y >> 8) + m1 * sy,
                                        block[1], &s1);
            q[i] = filterPair(p0, s0, p1, s1, w);
        }
        store(row.dst + 4 * n, storedQuad(q[0], q[1], order), count);
        n += count;
    }
}

void evenRowAvx2(const Source &src, const EvenRow &row) {
    Weights w;
    const int32_t tx = phase(row.x), ty = phase(row.y);
    weightsFor(tx, ty, tx, ty, w);
    const int32_t sx = row.stepX / 256, sy = row.stepY / 256;
    const int32_t xlr = row.x >> 8, ylr = row.y >> 8;
    // The pixels whose blocks lie wholly in the canvas.
    int32_t a0, a1, b0, b1;
    progression(xlr, sx, 0, src.W - 4, row.len, &a0, &a1);
    progression(ylr, sy, 0, src.H - 4, row.len, &b0, &b1);
    const int32_t n0 = std::max(a0, b0), n1 = std::max(n0, std::min(a1, b1));

    evenPixels(src, row, w, 0, n0);
    int32_t n = n0;
    if (sx == 2 && sy == 0) {
        // Upright: one 32-byte load per block row serves pixels n and n + 2.
        const uint8_t *p = src.top + ylr * src.rowStep + ptrdiff_t(xlr) * 4;
        const ptrdiff_t s = src.rowStep;
        const __m256i order = orderStrided();
        for (; n + 4 <= n1; n += 4) {
            const uint8_t *c = p + ptrdiff_t(n) * 8;
            auto at = [](const uint8_t *q) {
                return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q));
            };
            const __m256i qa = filterRows(at(c), at(c + s), at(c + 2 * s), at(c + 3 * s), w);
            const __m256i qb =
                filterRows(at(c + 8), at(c + 8 + s), at(c + 8 + 2 * s), at(c + 8 + 3 * s), w);
            store(row.dst + 4 * n, storedQuad(qa, qb, order), 4);
        }
    } else {
        const __m256i order = orderPairs();
        const ptrdiff_t step = ptrdiff_t(sx) * 4 + sy * src.rowStep;
        const uint8_t *p = src.top + ylr * src.rowStep + ptrdiff_t(xlr) * 4;
        const ptrdiff_t s = src.rowStep;
        for (; n + 4 <= n1; n += 4) {
            const uint8_t *c = p + n * step;
            const __m256i qa = filterPair(c, s, c + step, s, w);
            const __m256i qb = filterPair(c + 2 * step, s, c + 3 * step, s, w);
            store(row.dst + 4 * n, storedQuad(qa, qb, order), 4);
        }
    }
    evenPixels(src, row, w, n, row.len);
}

}  // namespace

bool avx2Usable() { return __builtin_cpu_supports("avx2"); }

const Kernels kAvx2{rowAvx2, evenRowAvx2};

}  // namespace vellora::resample
