// Metafile playback onto a 32-bit BGRA surface, as the platform's own
// playback draws: each pixel painted gets its colour and alpha byte 0, every
// other pixel keeps all four bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/surface.h"
#include "gdi/types.h"
#include "vellora.h"

namespace vellora::player {

using base::Surface;

// True when `data` starts with a well-formed enhanced-metafile header record
// that lies inside the data.
bool isEnhMetaFile(const uint8_t *data, size_t size);

// True when `data` starts with a well-formed Windows-metafile header.
bool isWinMetaFile(const uint8_t *data, size_t size);

// The enhanced-metafile header the platform reports for a Windows metafile
// converted without a reference device or picture format.
void winMetaFileHeader(const uint8_t *data, size_t size, ENHMETAHEADER *out);

// Plays the metafile onto `surface`, mapping its frame onto `rect` (surface
// pixels). Never reads outside the data; a record reaching outside it ends
// playback there, keeping what was drawn. False when nothing could be played.
// A Windows metafile plays with the frame of the header winMetaFileHeader
// reports, or with `frame` (0.01 mm) in its place when given: the picture
// keeps its place in frame units, so a larger frame draws it smaller.
bool playEnhMetaFile(const Surface &surface, const uint8_t *data, size_t size, const RECT &rect);
bool playWinMetaFile(const Surface &surface, const uint8_t *data, size_t size, const RECT &rect,
                     const RECT *frame = nullptr);

// The transform playEnhMetaFile starts from: reference-device pixels of
// the header's device onto `rect`, so that rclFrame (0.01 mm) lands on the
// rectangle's edges.
gdi::Matrix playbackTransform(const ENHMETAHEADER &header, const RECT &rect);

}  // namespace vellora::player
