// Enhanced-metafile bitmap records: BITBLT, STRETCHBLT, MASKBLT, PLGBLT,
// SETDIBITSTODEVICE, STRETCHDIBITS, ALPHABLEND, TRANSPARENTBLT and
// GRADIENTFILL, checked against their own size and drawn through gdi/image/blit.h
// and gdi/image/gradient.h.
#pragma once

#include <cstdint>

#include "gdi/dc/dc.h"

namespace vellora::player {

// True for the record types playBitmapRecord plays.
bool isBitmapRecord(uint32_t type);

// Plays one bitmap record of `size` bytes (header included, at least the
// minimum emf_records.def gives its type). A record whose
// bitmap reaches outside it, or is malformed, draws nothing.
void playBitmapRecord(gdi::DeviceContext &dc, uint32_t type, const uint8_t *record, uint32_t size);

}  // namespace vellora::player
