// Pure arithmetic of the exports: crop window, playback rectangle, format
// recognition and aspect fitting. No platform calls, so it is unit-tested alone.
#pragma once

#include <cstdint>

#include "vellora.h"

namespace vellora {

struct CropWindow {
    double x0, y0, x1, y1;
};

// Orders each pair and clamps lo to >= 0 and hi to <= 1; nothing else.
CropWindow normaliseCrop(double x0, double y0, double x1, double y1);

// Target width and height of an inclusive rectangle, widened so that absurd
// rectangles cannot overflow.
int64_t targetWidth(const RECT &r);
int64_t targetHeight(const RECT &r);

// The rectangle, in canvas pixels, onto which the whole picture is played so
// that the crop window lands on canvas x 1..2w+1 and y 0..2h. False when the
// window has no finite, positive extent (an empty pair, or one lying wholly
// outside the picture) or the rectangle leaves the range the player can
// address.
bool playbackRect(const CropWindow &c, int32_t w, int32_t h, RECT *out);

enum class MetafileFormat { Placeable, Enhanced, Windows };

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr uint32_t kEmfSignature = 0x464D4520u;
constexpr uint32_t kPlaceableHeaderSize = 22;

// Reads bytes 0-3 and 40-43 only, and only where the data has them.
MetafileFormat recogniseFormat(const uint8_t *data, uint32_t size);

// Width over height, in double, held as a float as callers rely on.
float aspectRatio(int32_t left, int32_t top, int32_t right, int32_t bottom);

// Shrinks a copy of `r` to aspect ratio `a`, keeping its left and top edges.
RECT fitToAspect(const RECT &r, float a);

}  // namespace vellora
