// GRADIENTFILL: rectangles shaded along x or y and Gouraud-shaded
// triangles, with the platform's integer arithmetic, so each pixel gets the
// exact colour (and alpha byte) its 32-bit device computes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora::gdi {

class DeviceContext;

enum : uint32_t { GRADIENT_FILL_RECT_H = 0, GRADIENT_FILL_RECT_V = 1, GRADIENT_FILL_TRIANGLE = 2 };

// A TRIVERTEX: logical position and 16-bit channels.
struct TriVertex {
    int32_t x = 0, y = 0;
    uint16_t red = 0, green = 0, blue = 0, alpha = 0;
};

// Fills `count` rectangles (2 vertex indices each) or triangles (3 each)
// from `indices`. False when the mode or an index is invalid, as the
// platform refuses the whole call then.
bool gradientFill(DeviceContext &dc, const TriVertex *vertices, size_t vertexCount,
                  const uint32_t *indices, size_t count, uint32_t mode);

}  // namespace vellora::gdi
