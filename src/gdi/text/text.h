// Text on the emulated device context: ExtTextOut as the platform draws
// it, for the EMF and WMF players alike. Positions follow the platform's
// arithmetic step by step (reference point, dx arrays, character extra,
// justification, escapement, alignment and the current position), glyphs
// are the font module's images, and every pixel painted gets the text or
// background colour with alpha 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gdi/dc/dc.h"

namespace vellora::gdi {

enum : uint32_t {
    ETO_OPAQUE = 0x0002, ETO_CLIPPED = 0x0004, ETO_GLYPH_INDEX = 0x0010, ETO_RTLREADING = 0x0080,
    ETO_NO_RECT = 0x0100, ETO_SMALL_CHARS = 0x0200, ETO_IGNORELANGUAGE = 0x1000, ETO_PDY = 0x2000,
};
enum : uint32_t {
    TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24, TA_RTLREADING = 256,
};

// A logical rectangle as a text record carries it (not yet ordered).
struct TextRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// ExtTextOutW with the device context's current font, colours, alignment,
// background mode, character extra and justification. `x`, `y` and
// `rect` are logical; `dx` holds `count` advances (2 * `count` with
// ETO_PDY) in logical units, or is null for the font's own advances.
// Draws into the open path instead when one is open.
void extTextOutW(DeviceContext &dc, int32_t x, int32_t y, uint32_t options, const TextRect *rect,
                 const char16_t *text, size_t count, const int32_t *dx);

// ExtTextOutA: `count` bytes in the code page of the selected font's
// character set; `dx` has one entry per byte (two with ETO_PDY), and the
// entries of a double-byte character are added together. With
// ETO_GLYPH_INDEX `text` holds `count` 16-bit glyph indices instead.
void extTextOutA(DeviceContext &dc, int32_t x, int32_t y, uint32_t options, const TextRect *rect,
                 const uint8_t *text, size_t count, const int32_t *dx);

// What a recording device context measures of text (the Windows-metafile
// conversion stores it): GetTextExtentPoint32W of `count` UTF-16 units in
// the selected font, logical units (x the extent, y the font's height);
// GetTextMetricsW's tmDescent, logical units; and the code page ExtTextOutA
// reads 8-bit text in with the selected font.
Point textExtentW(DeviceContext &dc, const char16_t *text, size_t count);
int32_t textDescent(DeviceContext &dc);
uint32_t textCodePage(DeviceContext &dc);

}  // namespace vellora::gdi
