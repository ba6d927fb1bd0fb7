// Enhanced-metafile text records: EXTTEXTOUTW/A, POLYTEXTOUTW/A and
// SMALLTEXTOUT, checked against their own size and drawn through the
// device context's text output.
#pragma once

#include <cstdint>

#include "gdi/dc/dc.h"

namespace vellora::player {

// Plays one text record of `size` bytes (header included, at least the
// minimum emf_records.def gives its type). A record whose
// string or dx array reaches outside it draws nothing.
void playTextRecord(gdi::DeviceContext &dc, uint32_t type, const uint8_t *record, uint32_t size);

}  // namespace vellora::player
