// Flood fill over the pixels drawn so far (FLOODFILL, EXTFLOODFILL).
#pragma once

#include "gdi/dc/dc.h"

namespace vellora::gdi {

enum : int { FLOODFILLBORDER = 0, FLOODFILLSURFACE = 1 };

// Paints with the selected brush and ROP2 the 4-connected area of device
// pixels around the pixel of the logical point `start`, inside the clip:
// the pixels that are not `color` (FLOODFILLBORDER) or that are `color`
// (FLOODFILLSURFACE). Pixels compare as whole 32-bit words against the
// colour with alpha 0, as the platform's 32-bit DIBs compare them, so a
// pixel nothing has painted never matches a colour. False when the start
// pixel is outside the clip or not part of the area.
bool extFloodFill(DeviceContext &dc, Point start, ColorRef color, int type);

}  // namespace vellora::gdi
