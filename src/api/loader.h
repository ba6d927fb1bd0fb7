// Metafile data held in memory: its handle and aspect ratio as the file
// exports take them, and drawing it as they do after reading the file.
#pragma once

#include <cstdint>

#include "api/geometry.h"
#include "api/status.h"
#include "vellora.h"

namespace vellora {

struct LoadedMetafile {
    HENHMETAFILE handle = nullptr;  // null when the platform refuses the data
    float aspect = 1.0f;            // width / height from the headers
    MetafileFormat format = MetafileFormat::Windows;
};

// Recognises the format and makes a handle; never reads past size bytes.
// The caller releases the handle.
LoadedMetafile loadMetafile(const uint8_t *data, uint32_t size);

// Vellora with the reason for a failure.
Status drawMetafile(HDC hdc, HENHMETAFILE metafile, const RECT *rect, int32_t key, double angle,
                    double x0, double y0, double x1, double y1);

// A new handle over the same records whose header frame is `frame` (0.01 mm):
// the picture keeps its place and scale in frame units, so a larger frame
// draws it smaller, with room around it. Any of the three formats; native
// build only. Null when out of memory; the caller releases the handle.
HENHMETAFILE metafileWithFrame(HENHMETAFILE metafile, const RECT &frame);

// Loads, fits a copy of `rect` to the picture's aspect ratio when the low
// byte of `keepAspect` is set, draws the whole picture and releases the
// handle.
unsigned char drawMetafileData(HDC hdc, const uint8_t *data, uint32_t size, const RECT &rect,
                               int32_t key, int32_t keepAspect, double angle);

}  // namespace vellora
