#include "gdi/image/rop.h"

namespace vellora::gdi {

void applyRop(uint8_t code, uint32_t *d, const uint32_t *s, const uint32_t *p, size_t n) {
    switch (code) {
    case 0x00:  // BLACKNESS
        for (size_t i = 0; i < n; ++i) d[i] = 0;
        return;
    case 0xFF:  // WHITENESS
        for (size_t i = 0; i < n; ++i) d[i] = ~0u;
        return;
    case 0xAA:  // D
        return;
    case 0x55:  // DSTINVERT
        for (size_t i = 0; i < n; ++i) d[i] = ~d[i];
        return;
    case 0xCC:  // SRCCOPY
        for (size_t i = 0; i < n; ++i) d[i] = s[i];
        return;
    case 0x33:  // NOTSRCCOPY
        for (size_t i = 0; i < n; ++i) d[i] = ~s[i];
        return;
    case 0xEE:  // SRCPAINT
        for (size_t i = 0; i < n; ++i) d[i] |= s[i];
        return;
    case 0x88:  // SRCAND
        for (size_t i = 0; i < n; ++i) d[i] &= s[i];
        return;
    case 0x66:  // SRCINVERT
        for (size_t i = 0; i < n; ++i) d[i] ^= s[i];
        return;
    case 0x44:  // SRCERASE
        for (size_t i = 0; i < n; ++i) d[i] = s[i] & ~d[i];
        return;
    case 0xF0:  // PATCOPY
        for (size_t i = 0; i < n; ++i) d[i] = p[i];
        return;
    case 0x5A:  // PATINVERT
        for (size_t i = 0; i < n; ++i) d[i] ^= p[i];
        return;
    case 0xC0:  // MERGECOPY
        for (size_t i = 0; i < n; ++i) d[i] = s[i] & p[i];
        return;
    case 0xBB:  // MERGEPAINT
        for (size_t i = 0; i < n; ++i) d[i] |= ~s[i];
        return;
    default: break;
    }
    const uint32_t zero = 0;
    const bool useS = ropUsesSource(code), useP = ropUsesPattern(code);
    for (size_t i = 0; i < n; ++i)
        d[i] = rop3(code, d[i], useS ? s[i] : zero, useP ? p[i] : zero);
}

}  // namespace vellora::gdi
