#include "platform/native/compositor.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellora::native {

namespace {

#if defined(__SSE2__)
// blendChannel on two pixels' eight channels in 16-bit lanes. The one
// formula covers every case exactly: an empty source leaves the
// destination, an opaque one replaces it.
inline __m128i blendPair(__m128i s, __m128i d) {
    // Each pixel's alpha in all four of its lanes.
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(d, _mm_sub_epi16(_mm_set1_epi16(255), a)), _mm_set1_epi16(128));
    t = _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    return _mm_add_epi16(s, t);
}

// Four pixels at a time; returns how many were done. Runs of empty
// source pixels, the most common, leave the destination untouched.
int64_t blendRow(uint8_t *d, const uint8_t *s, int64_t n) {
    const __m128i zero = _mm_setzero_si128();
    int64_t x = 0;
    for (; x + 4 <= n; x += 4, d += 16, s += 16) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(sv, zero)) == 0xFFFF) continue;
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d));
        const __m128i lo = blendPair(_mm_unpacklo_epi8(sv, zero), _mm_unpacklo_epi8(dv, zero));
        const __m128i hi = blendPair(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(dv, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm_packus_epi16(lo, hi));
    }
    return x;
}
#endif

}  // namespace

bool sourceOver(const base::Surface &dst, int32_t dx, int32_t dy, const base::Surface &src,
                int32_t sx, int32_t sy, int32_t w, int32_t h) {
    if (w < 0 || h < 0 || sx < 0 || sy < 0) return false;
    if (int64_t(sx) + w > src.width || int64_t(sy) + h > src.height) return false;
    // Clip the destination; the source follows it.
    int64_t x0 = dx, y0 = dy, x1 = int64_t(dx) + w, y1 = int64_t(dy) + h;
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    x1 = std::min<int64_t>(x1, dst.width);
    y1 = std::min<int64_t>(y1, dst.height);
    for (int64_t y = y0; y < y1; ++y) {
        uint8_t *d = dst.top + y * dst.stride + x0 * 4;
        const uint8_t *s = src.top + (sy + (y - dy)) * src.stride + (sx + (x0 - dx)) * 4;
        int64_t x = x0;
#if defined(__SSE2__)
        const int64_t done = blendRow(d, s, x1 - x0);
        x += done, d += done * 4, s += done * 4;
#endif
        for (; x < x1; ++x, d += 4, s += 4) {
            const uint8_t a = s[3];
            if (a == 0 && (s[0] | s[1] | s[2]) == 0) continue;
            if (a == 255) {
                d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
                continue;
            }
            d[0] = blendChannel(s[0], d[0], a);
            d[1] = blendChannel(s[1], d[1], a);
            d[2] = blendChannel(s[2], d[2], a);
            d[3] = blendChannel(a, d[3], a);
        }
    }
    return true;
}

}  // namespace vellora::native
