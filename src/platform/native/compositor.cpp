#include "platform/native/compositor.h"

#include <algorithm>

namespace vellora::native {

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
        for (int64_t x = x0; x < x1; ++x, d += 4, s += 4) {
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
