// Ternary raster operations: the result for destination D, source S and
// pattern P is bit (4P + 2S + D) of the operation's code (bits 16-23 of the
// ROP). The platform's 32-bit device applies them to all 32 bits of a
// pixel, alpha byte included: that is why DSTINVERT flips the alpha byte
// and a copied 32-bit source brings its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora::gdi {

enum : uint32_t {
    SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046,
    SRCERASE = 0x00440328, NOTSRCCOPY = 0x00330008, NOTSRCERASE = 0x001100A6,
    MERGECOPY = 0x00C000CA, MERGEPAINT = 0x00BB0226, PATCOPY = 0x00F00021, PATPAINT = 0x00FB0A09,
    PATINVERT = 0x005A0049, DSTINVERT = 0x00550009, BLACKNESS = 0x00000042, WHITENESS = 0x00FF0062,
};

// The operation's code: bits 16-23 of a ROP.
inline uint8_t ropCode(uint32_t rop) { return uint8_t(rop >> 16); }

// Whether the result depends on the source or the pattern.
inline bool ropUsesSource(uint8_t code) { return ((code >> 2) & 0x33) != (code & 0x33); }
inline bool ropUsesPattern(uint8_t code) { return ((code >> 4) & 0x0F) != (code & 0x0F); }

// The result of `code` on one pixel, from its truth table.
inline uint32_t rop3FromTable(uint8_t code, uint32_t d, uint32_t s, uint32_t p) {
    uint32_t r = 0;
    for (int m = 0; m < 8; ++m) {
        if (!(code >> m & 1)) continue;
        r |= ((m & 4) ? p : ~p) & ((m & 2) ? s : ~s) & ((m & 1) ? d : ~d);
    }
    return r;
}

// As rop3FromTable, with the operations blits use most done directly.
inline uint32_t rop3(uint8_t code, uint32_t d, uint32_t s, uint32_t p) {
    switch (code) {
    case 0xCC: return s;      // SRCCOPY
    case 0x88: return d & s;  // SRCAND
    case 0xEE: return d | s;  // SRCPAINT
    case 0x66: return d ^ s;  // SRCINVERT
    case 0xF0: return p;      // PATCOPY
    case 0xC0: return p & s;  // MERGECOPY
    default: return rop3FromTable(code, d, s, p);
    }
}

// The binary raster operation (R2_ value, 1..16) that equals `code` when
// the source does not matter.
inline int rop2FromRop3(uint8_t code) {
    // bit (2 * pen + dest) of (rop2 - 1); the rop3 bits with S = 0.
    const int t = (code & 1) | (code >> 1 & 1) << 1 | (code >> 4 & 1) << 2 | (code >> 5 & 1) << 3;
    return t + 1;
}

// dst[i] = code(dst[i], src[i], pat[i]) for n pixels; `src` or `pat` may be
// null when `code` does not use them. The common operations take a direct
// path, the rest the truth table.
void applyRop(uint8_t code, uint32_t *dst, const uint32_t *src, const uint32_t *pat, size_t n);

}  // namespace vellora::gdi
