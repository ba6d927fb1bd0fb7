// A view of 32-bit BGRA pixels, the one every layer passes: `top` is the
// first byte of the top row, `stride` the step to the next row down
// (negative for bottom-up bitmaps).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora::base {

struct Surface {
    uint8_t *top = nullptr;
    int32_t width = 0, height = 0;
    ptrdiff_t stride = 0;
};

}  // namespace vellora::base
