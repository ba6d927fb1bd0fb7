// Drawing a whole metafile file held in memory, as the file exports do after
// reading it.
#pragma once

#include <cstdint>

#include "vellora.h"

namespace vellora {

// Recognises the format, makes a metafile handle, fits a copy of `rect` to
// the picture's aspect ratio when the low byte of `keepAspect` is set, draws
// the whole picture and releases the handle. Never reads past size bytes.
unsigned char drawMetafileData(HDC hdc, const uint8_t *data, uint32_t size, const RECT &rect,
                               int32_t key, int32_t keepAspect, double angle);

}  // namespace vellora
