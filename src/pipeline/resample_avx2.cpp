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

// A chunk of a row in general position, planned eight pixels at a time.
struct Plan {
    alignas(32) const uint8_t *p[kChunk];  // each block's first row
    alignas(32) ptrdiff_t s[kChunk];       // from one block row to the next
    // Byte offsets into the tables, unsigned so that they widen for free: of
    // the phases' factors and of the excess weight's lanes.
    alignas(32) uint32_t a[kChunk];  // kFactors2.a[tx]
    alignas(32) uint32_t b[kChunk];  // kFactors2.b[ty]
    alignas(32) uint32_t e[kChunk];  // kExcess.lanes[e]
    alignas(16) uint32_t blocks[kChunk][16];
};

inline const uint8_t *bytes(const void *p) { return static_cast<const uint8_t *>(p); }

// Pixels i and j of a plan, each weight made as it is used.
inline __m256i filterPlanned(const Plan &pl, int32_t i, int32_t j) {
    const __m256i z = _mm256_setzero_si256();
    const uint8_t *ai = bytes(kFactors2.a) + pl.a[i], *aj = bytes(kFactors2.a) + pl.a[j];
    const uint8_t *bi = bytes(kFactors2.b) + pl.b[i], *bj = bytes(kFactors2.b) + pl.b[j];
    const __m256i b01 = load2(bi, bj), b23 = load2(bi + 16, bj + 16);
    const __m256i a0 = load2(ai, aj), a1 = load2(ai + 16, aj + 16);
    const __m256i a2 = load2(ai + 32, aj + 32), a3 = load2(ai + 48, aj + 48);
    const uint8_t *pi = pl.p[i], *pj = pl.p[j];
    const ptrdiff_t si = pl.s[i], sj = pl.s[j];
    const __m256i r0 = load2(pi, pj), r1 = load2(pi + si, pj + sj);
    const __m256i r2 = load2(pi + 2 * si, pj + 2 * sj);
    const __m256i r3 = load2(pi + 3 * si, pj + 3 * sj);
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
    return quotient(sum, load2(bytes(kExcess.lanes) + pl.e[i], bytes(kExcess.lanes) + pl.e[j]));
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

// One coordinate's DDA eight pixels at a time. From a state (y, mod), step
// i has taken ceil((mod + i * rem) / cnt) carries: mod stays in (-cnt, 0]
// and rem in [1, cnt]. The quotient is below 8 and its numerator below 2^18,
// so single precision rounds it to the right side of every integer.
struct DdaEight {
    __m256i iRem, iLft;
    __m256 cnt;
    uint64_t inverse;  // ceil(2^40 / cnt): n / cnt = n * inverse >> 40 for n < 2^19
    explicit DdaEight(const Dda &d) {
        const __m256i i = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        iRem = _mm256_mullo_epi32(i, _mm256_set1_epi32(d.rem));
        iLft = _mm256_mullo_epi32(i, _mm256_set1_epi32(d.lft));
        cnt = _mm256_set1_ps(float(d.cnt));
        inverse = ((uint64_t(1) << 40) + uint64_t(d.cnt) - 1) / uint64_t(d.cnt);
    }
    // The coordinates of the next eight pixels; `d` moves past them.
    __m256i next(Dda &d) const {
        const __m256i a = _mm256_add_epi32(_mm256_set1_epi32(d.mod), iRem);
        const __m256i carries = _mm256_cvtps_epi32(_mm256_round_ps(
            _mm256_div_ps(_mm256_cvtepi32_ps(a), cnt), _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC));
        const __m256i v = _mm256_add_epi32(_mm256_add_epi32(_mm256_set1_epi32(d.y), iLft), carries);
        // ceil(a8 / cnt) as floor((a8 + cnt - 1) / cnt), its numerator in
        // [0, 9 cnt) since a8 > -cnt: below 2^19, where the product's error
        // (under numerator * cnt / 2^40) cannot reach the next integer.
        const int32_t a8 = d.mod + 8 * d.rem;
        const int32_t c8 = int32_t((uint64_t(a8 + d.cnt - 1) * inverse) >> 40);
        d.y += 8 * d.lft + c8;
        d.mod = a8 - c8 * d.cnt;
        return v;
    }
};

// The excess weights by class pair, as bytes at 5 * class(tx) + class(ty).
struct ExcessBytes {
    __m256i lo, hi;  // entries 0-15 and 16-31, in both halves
    ExcessBytes() {
        alignas(32) int8_t t[32] = {};
        for (int32_t c = 0; c < 5; ++c)
            for (int32_t d = 0; d < 5; ++d) t[5 * c + d] = int8_t(kExcess.byClass[c][d]);
        lo = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i *>(t)));
        hi = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i *>(t + 16)));
    }
    __m256i classOf(__m256i t) const {
        // t & 3, or 4 where t == 0
        return _mm256_blendv_epi8(_mm256_and_si256(t, _mm256_set1_epi32(3)), _mm256_set1_epi32(4),
                                  _mm256_cmpeq_epi32(t, _mm256_setzero_si256()));
    }
    __m256i of(__m256i tx, __m256i ty) const {
        const __m256i cx = classOf(tx),
                      idx = _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(cx, 2), cx),
                                             classOf(ty));
        // Index in each lane's low byte; the other bytes select zero.
        const __m256i ctrl = _mm256_or_si256(idx, _mm256_set1_epi32(int32_t(0x80808000u)));
        return _mm256_blendv_epi8(_mm256_shuffle_epi8(lo, ctrl), _mm256_shuffle_epi8(hi, ctrl),
                                  _mm256_cmpgt_epi32(idx, _mm256_set1_epi32(15)));
    }
};

// Plans `count` pixels (1 to kChunk) of a row from the DDAs' states, which
// move past them; entries up to the next multiple of 4 repeat the last one.
// Blocks reaching outside the canvas are gathered; the others are asked for
// ahead of the next row (see Source::ahead).
void planChunk(const Source &src, Dda &ddaX, Dda &ddaY, const DdaEight &ex, const DdaEight &ey,
               const ExcessBytes &xb, int32_t count, Plan &pl) {
    Dda dx = ddaX, dy = ddaY;  // in registers: the plan's stores cannot touch them
    const __m256i wLim = _mm256_set1_epi32(src.W - 3), hLim = _mm256_set1_epi32(src.H - 3);
    const __m256i hMax = _mm256_set1_epi32(src.H - 1), minus4 = _mm256_set1_epi32(-4);
    const __m256i minus1 = _mm256_set1_epi32(-1);
    const __m256i rowStep = _mm256_set1_epi32(int32_t(src.rowStep));
    const __m256i top = _mm256_set1_epi64x(int64_t(reinterpret_cast<intptr_t>(src.top)));
    const __m256i low8 = _mm256_set1_epi32(255);
    for (int32_t g = 0; g < count; g += 8) {
        const __m256i x = ex.next(dx), y = ey.next(dy);
        const __m256i xl = _mm256_srai_epi32(x, 8), yl = _mm256_srai_epi32(y, 8);
        const __m256i tx = _mm256_srli_epi32(_mm256_andnot_si256(x, low8), 1);
        const __m256i ty = _mm256_srli_epi32(_mm256_andnot_si256(y, low8), 1);
        const __m256i xIn =
            _mm256_and_si256(_mm256_cmpgt_epi32(xl, minus1), _mm256_cmpgt_epi32(wLim, xl));
        const __m256i yIn =
            _mm256_and_si256(_mm256_cmpgt_epi32(yl, minus1), _mm256_cmpgt_epi32(hLim, yl));
        // A block wholly above or below the canvas is four times its first or
        // last row: read with a zero row step.
        const __m256i yOut =
            _mm256_or_si256(_mm256_cmpgt_epi32(minus4, yl), _mm256_cmpgt_epi32(yl, hMax));
        const __m256i in = _mm256_and_si256(xIn, _mm256_or_si256(yIn, yOut));
        const __m256i yc = _mm256_min_epi32(_mm256_max_epi32(yl, _mm256_setzero_si256()), hMax);
        // Byte offsets of blocks in the canvas fit 32 bits: it is below 2^30 bytes.
        const __m256i off =
            _mm256_add_epi32(_mm256_mullo_epi32(yc, rowStep), _mm256_slli_epi32(xl, 2));
        const __m256i steps = _mm256_and_si256(yIn, rowStep);
        _mm256_store_si256(
            reinterpret_cast<__m256i *>(pl.p + g),
            _mm256_add_epi64(top, _mm256_cvtepi32_epi64(_mm256_castsi256_si128(off))));
        _mm256_store_si256(
            reinterpret_cast<__m256i *>(pl.p + g + 4),
            _mm256_add_epi64(top, _mm256_cvtepi32_epi64(_mm256_extracti128_si256(off, 1))));
        _mm256_store_si256(reinterpret_cast<__m256i *>(pl.s + g),
                           _mm256_cvtepi32_epi64(_mm256_castsi256_si128(steps)));
        _mm256_store_si256(reinterpret_cast<__m256i *>(pl.s + g + 4),
                           _mm256_cvtepi32_epi64(_mm256_extracti128_si256(steps, 1)));
        static_assert(sizeof kFactors2.a[0] == 64 && sizeof kFactors2.b[0] == 32 &&
                          sizeof kExcess.lanes[0] == 16,
                      "table rows of 64, 32 and 16 bytes");
        _mm256_store_si256(reinterpret_cast<__m256i *>(pl.a + g), _mm256_slli_epi32(tx, 6));
        _mm256_store_si256(reinterpret_cast<__m256i *>(pl.b + g), _mm256_slli_epi32(ty, 5));
        _mm256_store_si256(reinterpret_cast<__m256i *>(pl.e + g),
                           _mm256_slli_epi32(xb.of(tx, ty), 4));

        const int32_t n = std::min(count - g, 8);
        const uint32_t within = uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(in)));
        uint32_t outside = ~within & ((1u << n) - 1);
        if (outside) {
            alignas(32) int32_t xs[8], ys[8];
            _mm256_store_si256(reinterpret_cast<__m256i *>(xs), xl);
            _mm256_store_si256(reinterpret_cast<__m256i *>(ys), yl);
            while (outside) {
                const int32_t k = __builtin_ctz(outside);
                outside &= outside - 1;
                gatherClamped(src, xs[k], ys[k], pl.blocks[g + k]);
                pl.p[g + k] = reinterpret_cast<const uint8_t *>(pl.blocks[g + k]);
                pl.s[g + k] = 16;
            }
        }
        for (int32_t k = 0; k < n; ++k) {
            // Gathered blocks are asked for too, harmlessly.
            _mm_prefetch(reinterpret_cast<const char *>(address(pl.p[g + k], src.ahead[0])),
                         _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char *>(address(pl.p[g + k], src.ahead[1])),
                         _MM_HINT_T0);
        }
    }
    ddaX = dx;
    ddaY = dy;
    for (int32_t i = count; i & 3; ++i) {
        pl.p[i] = pl.p[count - 1];
        pl.s[i] = pl.s[count - 1];
        pl.a[i] = pl.a[count - 1];
        pl.b[i] = pl.b[count - 1];
        pl.e[i] = pl.e[count - 1];
    }
}

void rowAvx2(const Source &src, const Row &row) {
    Dda dx = row.x, dy = row.y;
    const DdaEight ex(dx), ey(dy);
    static const ExcessBytes xb;
    // Two chunks in turn: one is planned (its blocks asked for) while the
    // other is filtered.
    Plan plans[2];
    const __m256i order = orderPairs();
    int32_t count = std::min(row.len, kChunk);
    planChunk(src, dx, dy, ex, ey, xb, count, plans[0]);
    for (int32_t n = 0, c = 0; n < row.len; n += kChunk, c ^= 1) {
        const int32_t next = std::min(row.len - n - count, kChunk);
        if (next > 0) planChunk(src, dx, dy, ex, ey, xb, next, plans[c ^ 1]);
        const Plan &pl = plans[c];
        for (int32_t i = 0; i < count; i += 4) {
            const __m256i qa = filterPlanned(pl, i, i + 1);
            const __m256i qb = filterPlanned(pl, i + 2, i + 3);
            store(row.dst + 4 * (n + i), storedQuad(qa, qb, order), std::min(count - i, 4));
        }
        count = next;
    }
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
            const uint8_t *p0 =
                blockAt(src, (row.x >> 8) + m0 * sx, (row.y >> 8) + m0 * sy, block[0], &s0);
            const uint8_t *p1 =
                blockAt(src, (row.x >> 8) + m1 * sx, (row.y >> 8) + m1 * sy, block[1], &s1);
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
    int32_t n0, n1;
    innerPixels(src, row, &n0, &n1);

    evenPixels(src, row, w, 0, n0);
    int32_t n = n0;
    if (n1 > n0) {
        const ptrdiff_t s = src.rowStep;
        uintptr_t a = address(src.top, (ylr + n0 * sy) * s + ptrdiff_t(xlr + n0 * sx) * 4);
        if (sx == 2 && sy == 0) {
            // Upright: one 32-byte load per block row serves pixels n and n + 2.
            const __m256i order = orderStrided();
            auto row32 = [](const uint8_t *q) {
                return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q));
            };
            for (; n + 4 <= n1; n += 4, a += 32) {
                const uint8_t *p = at(a);
                const __m256i qa =
                    filterRows(row32(p), row32(p + s), row32(p + 2 * s), row32(p + 3 * s), w);
                const __m256i qb = filterRows(row32(p + 8), row32(p + 8 + s), row32(p + 8 + 2 * s),
                                              row32(p + 8 + 3 * s), w);
                store(row.dst + 4 * n, storedQuad(qa, qb, order), 4);
            }
        } else {
            const __m256i order = orderPairs();
            const ptrdiff_t step = ptrdiff_t(sx) * 4 + sy * s;
            for (; n + 4 <= n1; n += 4, a += uintptr_t(4 * step)) {
                const uint8_t *p = at(a);
                const __m256i qa = filterPair(p, s, p + step, s, w);
                const __m256i qb = filterPair(p + 2 * step, s, p + 3 * step, s, w);
                store(row.dst + 4 * n, storedQuad(qa, qb, order), 4);
            }
        }
    }
    evenPixels(src, row, w, n, row.len);
}

}  // namespace

bool avx2Usable() { return __builtin_cpu_supports("avx2"); }

const Kernels kAvx2{rowAvx2, evenRowAvx2};

}  // namespace vellora::resample
