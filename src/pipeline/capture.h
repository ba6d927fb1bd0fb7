// The supersampled canvas: coverage-key passes around playback and the
// transparent border.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora {

// Clears the canvas and writes `key` into every alpha byte.
void presetCanvas(uint8_t *bits, size_t pixels, uint8_t key);
// XORs every alpha byte with `key`: untouched pixels end 0, painted ones `key`.
void applyKey(uint8_t *bits, size_t pixels, uint8_t key);
// Sets every pixel of the one-pixel border of a W x H canvas to 0.
void clearBorder(uint8_t *bits, int32_t W, int32_t H);

}  // namespace vellora
