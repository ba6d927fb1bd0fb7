// The resampler's inner loops, shared by its portable, SSE2 and AVX2 forms.
//
// The arithmetic is AGG 2.4's span_image_resample_rgba_affine as the pipeline
// configures it (bilinear table, normalised; clone accessor; linear
// interpolator; scale 2 at every angle), rewritten for speed with the same
// integers. The figures it rests on:
//  - the transform's scale is 2 along both axes at every angle, so the
//    resampler's radius is 512 and its step through the table 128 (in 1/256
//    pixel): every output pixel reads a 4 x 4 block of canvas pixels;
//  - every entry of the normalised bilinear table is a multiple of 64, so a
//    tap's weight (wy * wx + 8192) >> 14 is (uy * ux + 2) >> 2 with u = w / 64,
//    small enough for 16-bit lanes;
//  - the weights of a block sum to 65536, 65540 or 65544 (see blockTotal) and
//    a channel's sum stays below 2^24, so dividing by them is a shift by 16
//    and at most one correction.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora::resample {

// Table entry i / 64 of AGG's normalised bilinear filter table (512 entries).
constexpr int32_t tableUnit(int32_t i) {
    return i == 0 ? 1 : i < 256 ? i : i == 256 ? 255 : 512 - i;
}

// The canvas as the resampler addresses it: row 0 is the top scanline.
struct Source {
    const uint8_t *top;  // first byte of row 0
    ptrdiff_t rowStep;   // bytes from a row to the one below it
    int32_t W, H;
    // From a block of a row in general position to the two block rows the
    // next output row reaches first, near the same place: asked for early.
    ptrdiff_t ahead[2];
};

// AGG's dda2_line_interpolator, forward-adjusted: one coordinate of a span in
// 1/256 pixel, stepped without division.
struct Dda {
    int32_t y, lft, rem, mod, cnt;
    void step() {
        mod += rem;
        y += lft;
        const int32_t carry = mod > 0;
        mod -= carry ? cnt : 0;
        y += carry;
    }
    // n steps at once: with mod in (-cnt, 0] and rem in [1, cnt], they carry
    // ceil((mod + n * rem) / cnt) times.
    void advance(int32_t n) {
        const int64_t a = mod + int64_t(n) * rem;
        const int64_t carries = a > 0 ? (a + cnt - 1) / cnt : 0;
        y += int32_t(int64_t(n) * lft + carries);
        mod = int32_t(a - carries * cnt);
    }
};

// One output row: `len` pixels from `dst`; the DDAs give each pixel's canvas
// coordinates with the filter offset applied (AGG's x - radius + dx).
struct Row {
    uint8_t *dst;
    int32_t len;
    Dda x, y;
};

// A row whose canvas coordinates advance by whole pixels (stepX, stepY in
// 1/256, multiples of 256): every pixel has the same filter phase. x, y are
// pixel 0's coordinates with the filter offset applied (AGG's x - radius + dx).
struct EvenRow {
    uint8_t *dst;
    int32_t len;
    int32_t x, y, stepX, stepY;
};

// The 16-bit weight factors: for a phase t (0..127, from a coordinate's
// fraction), ax[t] = {u0, u0, u1, u1, u2, u2, u3, u3} with uk = tableUnit(t +
// 128 k), and by[t] = {u0, u1} x 4 then {u2, u3} x 4. The SIMD forms multiply
// them lane by lane into the weights of row pairs (0, 1) and (2, 3).
struct alignas(16) Factors {
    int16_t ax[128][8];
    int16_t by[128][2][8];
};
extern const Factors kFactors;

// Fraction of a coordinate (filter offset applied) to its phase in the table:
// AGG's ((255 - (x & 255)) * rx_inv) >> 8 with rx_inv = 128.
inline int32_t phase(int32_t v) { return ((255 - (v & 255)) * 128) >> 8; }

// A block's total weight, sum of its 16 (uy * ux + 2) >> 2. The channel sums
// stay below 2^24, so their quotient by 65536 + e (e <= 8) is the shifted
// sum q, or q - 1 where q * e exceeds the sum's low 16 bits.
constexpr int32_t blockTotal(int32_t tx, int32_t ty) {
    int32_t total = 0;
    for (int32_t j = 0; j < 4; ++j)
        for (int32_t k = 0; k < 4; ++k)
            total += (tableUnit(ty + 128 * j) * tableUnit(tx + 128 * k) + 2) >> 2;
    return total;
}

// The factors of every phase sum to 512, and a weight's rounding depends on
// its factors mod 4 alone, which follow t mod 4 (t == 0 apart, whose first
// factor is 1): a block's total weight is 65536 + an excess that depends on
// the two phases' classes, and is 0, 4 or 8.
inline int32_t phaseClass(int32_t t) { return t == 0 ? 4 : t & 3; }
struct alignas(16) Excess {
    int32_t lanes[9][4];    // e in each of 4 lanes, for e = 0..8
    int32_t byClass[5][5];  // by phaseClass(tx), phaseClass(ty)
};
extern const Excess kExcess;

// Reads the 4 x 4 block at (xlr, ylr) with the clone accessor's clamping into
// `block` (row after row, 16 bytes each).
void gatherClamped(const Source &src, int32_t xlr, int32_t ylr, uint32_t block[16]);

inline bool inside(const Source &src, int32_t xlr, int32_t ylr) {
    return uint32_t(xlr) <= uint32_t(src.W - 4) && uint32_t(ylr) <= uint32_t(src.H - 4);
}

// Addresses in integers, for steps and prefetches that may go past the canvas
// where no block is read.
inline uintptr_t address(const void *p, ptrdiff_t offset = 0) {
    return reinterpret_cast<uintptr_t>(p) + uintptr_t(offset);
}
inline const uint8_t *at(uintptr_t a) { return reinterpret_cast<const uint8_t *>(a); }

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

// The pixels [n0, n1) of an even row whose blocks lie wholly in the canvas:
// the blocks move in a straight line, so the others are at the ends, and few.
inline void innerPixels(const Source &src, const EvenRow &row, int32_t *n0, int32_t *n1) {
    const int32_t sx = row.stepX / 256, sy = row.stepY / 256;
    const int32_t xlr = row.x >> 8, ylr = row.y >> 8;
    auto in = [&](int32_t n) { return inside(src, xlr + n * sx, ylr + n * sy); };
    int32_t a = 0, b = row.len;
    while (a < b && !in(a)) ++a;
    while (b > a && !in(b - 1)) --b;
    *n0 = a;
    *n1 = b;
}

// One pixel of a row in general position, ready for the filter.
struct Tap {
    const uint8_t *p;       // the block's first row
    ptrdiff_t s;            // from one block row to the next
    int32_t tx, ty;         // phases
    const int32_t *excess;  // the block's excess weight in 4 lanes
};

// Pixels planned at a time.
constexpr int32_t kChunk = 64;

// Steps the DDAs over `count` pixels (1 to kChunk), filling `taps`; blocks that
// reach outside the canvas are gathered into `blocks`, the others asked for
// ahead of the next row. Taps up to the next multiple of 4 repeat the last one.
inline void plan(const Source &src, Dda &ddaX, Dda &ddaY, int32_t count, Tap *taps,
                 uint32_t (*blocks)[16]) {
    Dda dx = ddaX, dy = ddaY;  // in registers: the taps' stores cannot touch them
    for (int32_t i = 0; i < count; ++i) {
        const int32_t x = dx.y, y = dy.y;
        dx.step();
        dy.step();
        const int32_t xlr = x >> 8, ylr = y >> 8;
        Tap &t = taps[i];
        t.tx = phase(x);
        t.ty = phase(y);
        t.excess = kExcess.lanes[kExcess.byClass[phaseClass(t.tx)][phaseClass(t.ty)]];
        if (inside(src, xlr, ylr)) {
            t.s = src.rowStep;
            t.p = src.top + ylr * src.rowStep + ptrdiff_t(xlr) * 4;
            __builtin_prefetch(at(address(t.p, src.ahead[0])));
            __builtin_prefetch(at(address(t.p, src.ahead[1])));
        } else if (uint32_t(xlr) <= uint32_t(src.W - 4) && (ylr < -3 || ylr >= src.H)) {
            // Wholly above or below the canvas: four times its first or last row.
            t.s = 0;
            t.p = src.top + (ylr < 0 ? 0 : src.H - 1) * src.rowStep + ptrdiff_t(xlr) * 4;
        } else {
            gatherClamped(src, xlr, ylr, blocks[i]);
            t.s = 16;
            t.p = reinterpret_cast<const uint8_t *>(blocks[i]);
        }
    }
    for (int32_t i = count; i & 3; ++i) taps[i] = taps[count - 1];
    ddaX = dx;
    ddaY = dy;
}

// Writes one filtered colour (channel sums divided, colours limited to alpha)
// as AGG's premultiplied blend writes it over a cleared pixel.
inline void storePixel(uint8_t *dst, uint32_t b, uint32_t g, uint32_t r, uint32_t a) {
    if (a != 0 && a != 255) a += 1;  // 255 - ((255 - a) * 255 >> 8)
    dst[0] = uint8_t(b), dst[1] = uint8_t(g), dst[2] = uint8_t(r), dst[3] = uint8_t(a);
}

using RowFn = void (*)(const Source &, const Row &);
using EvenRowFn = void (*)(const Source &, const EvenRow &);

struct Kernels {
    RowFn row;
    EvenRowFn evenRow;
};

extern const Kernels kPortable;
#if defined(__SSE2__)
extern const Kernels kSse2;
#endif
#if defined(VELLORA_RESAMPLE_AVX2)
extern const Kernels kAvx2;
bool avx2Usable();
#endif

// The resampler's forms, for the tests and the bench: each one is exact.
enum class Code { Portable, Sse2, Avx2 };
bool available(Code code);
void resampleWith(Code code, const uint8_t *canvas, uint8_t *out, int32_t w, int32_t h,
                  double angle);

}  // namespace vellora::resample
