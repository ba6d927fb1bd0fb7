// Premultiplied source-over, the arithmetic of the native alpha blend.
#pragma once

#include <cstdint>

#include "player/player.h"

namespace vellora::native {

// dst = src + dst * (255 - src alpha) / 255 per channel, alpha included,
// rounded to nearest; a colour above its alpha (not premultiplied) saturates.
inline uint8_t blendChannel(uint8_t src, uint8_t dst, uint8_t srcAlpha) {
    const uint32_t t = uint32_t(dst) * (255u - srcAlpha) + 128u;
    const uint32_t v = src + ((t + (t >> 8)) >> 8);
    return uint8_t(v > 255 ? 255 : v);
}

// Blends the w x h block of `src` at (sx, sy) onto `dst` at (dx, dy), clipped
// to `dst`. The source block must lie inside `src`; false when it does not.
bool sourceOver(const base::Surface &dst, int32_t dx, int32_t dy, const base::Surface &src,
                int32_t sx, int32_t sy, int32_t w, int32_t h);

}  // namespace vellora::native
