#include "gdi/dib.h"

#include <cstring>

namespace vellora::gdi {

namespace {

uint32_t rd32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t rd16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

// Scales the masked field of v to 8 bits.
uint32_t field(uint32_t v, uint32_t mask) {
    if (!mask) return 0;
    int shift = 0;
    while (!(mask >> shift & 1)) ++shift;
    uint32_t m = mask >> shift, x = (v & mask) >> shift;
    int bits = 0;
    while (m >> bits & 1) ++bits;
    if (bits >= 8) return x >> (bits - 8);
    // Replicate the high bits into the low ones, as 5-bit channels expand.
    uint32_t r = 0;
    for (int have = 0; have < 8; have += bits) r = (r << bits) | x;
    return (r >> (((8 + bits - 1) / bits) * bits - 8)) & 0xFF;
}

}  // namespace

bool decodeDib(const uint8_t *info, size_t infoSize, const uint8_t *bits, size_t bitsSize,
               bool indexOnly, Pattern &out) {
    if (!info || infoSize < 12) return false;
    const uint32_t headerSize = rd32(info);
    int64_t width, height;
    uint32_t bpp, compression = 0, used = 0;
    bool core = false;
    if (headerSize == 12) {
        core = true;
        width = rd16(info + 4);
        height = int16_t(rd16(info + 6));
        bpp = rd16(info + 10);
    } else {
        if (headerSize < 40 || headerSize > infoSize) return false;
        width = int32_t(rd32(info + 4));
        height = int32_t(rd32(info + 8));
        bpp = rd16(info + 14);
        compression = rd32(info + 16);
        used = rd32(info + 32);
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0) return false;
    if (uint64_t(width) * uint64_t(height) > kMaxPatternPixels) return false;
    if (compression != 0 && !(compression == 3 && (bpp == 16 || bpp == 32))) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;

    uint32_t table[256] = {};
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bpp == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    if (compression == 3) {
        // The masks follow a 40-byte header; longer headers hold them inside.
        if (infoSize < 40 + 12) return false;
        for (int i = 0; i < 3; ++i) masks[i] = rd32(info + 40 + 4 * i);
    }
    if (bpp <= 8) {
        const uint32_t max = 1u << bpp;
        const uint32_t count = used == 0 || used > max ? max : used;
        const size_t entry = core ? 3 : 4;
        const size_t at = headerSize + (compression == 3 ? 12 : 0);
        if (at > infoSize || (infoSize - at) / entry < count) return false;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t *c = info + at + entry * i;
            table[i] = uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16;
        }
    }
    const uint64_t stride = ((uint64_t(width) * bpp + 31) / 32) * 4;
    if (!bits || stride * uint64_t(height) > bitsSize) return false;

    out.width = int32_t(width);
    out.height = int32_t(height);
    out.mono = indexOnly && bpp == 1;
    out.pixels.assign(size_t(width * height), 0);
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t *row = bits + stride * uint64_t(topDown ? y : height - 1 - y);
        uint32_t *dst = out.pixels.data() + y * width;
        for (int64_t x = 0; x < width; ++x) {
            uint32_t v = 0;
            switch (bpp) {
            case 1: v = row[x >> 3] >> (7 - (x & 7)) & 1; break;
            case 4: v = row[x >> 1] >> ((x & 1) ? 0 : 4) & 0xF; break;
            case 8: v = row[x]; break;
            case 16: v = rd16(row + 2 * x); break;
            case 24: v = uint32_t(row[3 * x]) | uint32_t(row[3 * x + 1]) << 8 | uint32_t(row[3 * x + 2]) << 16; break;
            case 32: v = rd32(row + 4 * x); break;
            }
            if (bpp <= 8) dst[x] = out.mono ? v : table[v];
            else if (bpp == 24) dst[x] = v;
            else dst[x] = field(v, masks[2]) | field(v, masks[1]) << 8 | field(v, masks[0]) << 16;
        }
    }
    return true;
}

}  // namespace vellora::gdi
