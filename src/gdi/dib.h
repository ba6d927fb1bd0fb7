// A small DIB decoder for brush patterns: BITMAPCOREHEADER and
// BITMAPINFOHEADER (and the longer V4/V5 headers read as one), 1, 4, 8,
// 16, 24 and 32 bits a pixel, BI_RGB and BI_BITFIELDS, either row order.
// Every size is checked against the bytes given before anything is read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gdi/objects.h"

namespace vellora::gdi {

// The largest pattern, in pixels, a brush may carry.
constexpr uint64_t kMaxPatternPixels = uint64_t(1) << 22;

// Decodes the DIB described by `info` (header and colour table) with pixel
// data `bits` into `out` (top row first, BGRX words). With `indexOnly`, a
// 1-bit DIB yields its bit values 0 and 1 and `out.mono` is set (patterns
// drawn in the DC's text and background colours). False when the data is
// malformed, unsupported or too large.
bool decodeDib(const uint8_t *info, size_t infoSize, const uint8_t *bits, size_t bitsSize,
               bool indexOnly, Pattern &out);

}  // namespace vellora::gdi
