// Builders for the bitmap records of the player's bitmap tests: DIBs in
// every format the records carry, and the records themselves, written as the
// platform's recorder lays them out. The names avoid the platform's own
// macros, since the same tests are built against its headers.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "canvas.h"
#include "support/emf_writer.h"

namespace btest {

enum : uint32_t {
    kBitBlt = 76, kStretchBlt = 77, kMaskBlt = 78, kPlgBlt = 79, kSetDIBitsToDevice = 80,
    kStretchDIBits = 81, kCreateMonoBrush = 93, kCreateDibPatternBrush = 94, kAlphaBlend = 114,
    kTransparentBlt = 116, kGradientFill = 118, kSetStretchMode = 21, kSetBrushOrg = 13,
    kSetTextColor = 24, kSetBkColor = 25, kSetBkMode = 18, kSelectPalette = 48,
    kCreatePalette = 49, kSetPaletteEntries = 50, kResizePalette = 51, kRealizePalette = 52,
    kSetMapMode = 17, kSetWindowExt = 9, kSetViewportExt = 11, kSetViewportOrg = 12,
};

// Raster operations.
enum : uint32_t {
    kCopy = 0x00CC0020, kPaint = 0x00EE0086, kAnd = 0x008800C6, kInvert = 0x00660046,
    kNotCopy = 0x00330008, kMergeCopy = 0x00C000CA, kPatCopy = 0x00F00021, kPatInvert = 0x005A0049,
    kDstInvert = 0x00550009, kBlack = 0x00000042, kWhite = 0x00FF0062,
};

inline void put32(std::vector<uint8_t> &v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
inline void put16(std::vector<uint8_t> &v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
inline void set32(std::vector<uint8_t> &v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

// A DIB: its BITMAPINFO (header, masks, table) and its bits.
struct Dib {
    std::vector<uint8_t> info, bits;
};

// A BITMAPINFOHEADER of `size` bytes (40, or 108 / 124 for V4 / V5).
inline std::vector<uint8_t> infoHeader(int32_t w, int32_t h, uint16_t bpp, uint32_t compression = 0,
                                       uint32_t sizeImage = 0, uint32_t clrUsed = 0, uint32_t size = 40) {
    std::vector<uint8_t> v;
    put32(v, size);
    put32(v, uint32_t(w));
    put32(v, uint32_t(h));
    put16(v, 1);
    put16(v, bpp);
    put32(v, compression);
    put32(v, sizeImage);
    put32(v, 2835), put32(v, 2835);
    put32(v, clrUsed);
    put32(v, 0);
    v.resize(size, 0);
    return v;
}

inline uint32_t stride(int32_t w, int bpp) { return uint32_t((w * bpp + 31) / 32 * 4); }

// Rows are given top row first; `topDown` chooses the stored order.
inline std::vector<uint8_t> packRows(const std::vector<std::vector<uint8_t>> &rows, bool topDown) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto &r = rows[topDown ? i : rows.size() - 1 - i];
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

// 32-bit words 0xAARRGGBB, top row first.
inline Dib dib32(int32_t w, const std::vector<uint32_t> &px, bool topDown = false) {
    const int32_t h = int32_t(px.size()) / w;
    Dib d;
    d.info = infoHeader(w, topDown ? -h : h, 32);
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) put32(rows[size_t(y)], px[size_t(y * w + x)]);
    d.bits = packRows(rows, topDown);
    return d;
}

// 24-bit pixels from 0x00RRGGBB words, top row first.
inline Dib dib24(int32_t w, const std::vector<uint32_t> &px, bool topDown = false) {
    const int32_t h = int32_t(px.size()) / w;
    Dib d;
    d.info = infoHeader(w, topDown ? -h : h, 24);
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y) {
        auto &r = rows[size_t(y)];
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = px[size_t(y * w + x)];
            r.push_back(uint8_t(c)), r.push_back(uint8_t(c >> 8)), r.push_back(uint8_t(c >> 16));
        }
        r.resize(stride(w, 24), 0);
    }
    d.bits = packRows(rows, topDown);
    return d;
}

// 1, 4 or 8 bits a pixel: indices top row first, the table as 0x00RRGGBB.
// `clrUsed` 0 writes the full table.
inline Dib dibIndexed(int32_t w, int bpp, const std::vector<uint8_t> &indices,
                      const std::vector<uint32_t> &table, uint32_t clrUsed = 0, bool topDown = false) {
    const int32_t h = int32_t(indices.size()) / w;
    Dib d;
    d.info = infoHeader(w, topDown ? -h : h, uint16_t(bpp), 0, 0, clrUsed);
    for (uint32_t c : table) put32(d.info, c & 0xFFFFFF);
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y) {
        auto &r = rows[size_t(y)];
        r.assign(stride(w, bpp), 0);
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t v = indices[size_t(y * w + x)];
            const int bit = x * bpp;
            r[size_t(bit / 8)] |= uint8_t(v << (8 - bpp - bit % 8));
        }
    }
    d.bits = packRows(rows, topDown);
    return d;
}

// 16-bit pixels, BI_RGB (5-5-5) or BI_BITFIELDS with `masks`.
inline Dib dib16(int32_t w, const std::vector<uint16_t> &px, const std::vector<uint32_t> &masks = {}) {
    const int32_t h = int32_t(px.size()) / w;
    Dib d;
    d.info = infoHeader(w, h, 16, masks.empty() ? 0 : 3);
    for (uint32_t m : masks) put32(d.info, m);
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) put16(rows[size_t(y)], px[size_t(y * w + x)]);
        rows[size_t(y)].resize(stride(w, 16), 0);
    }
    d.bits = packRows(rows, false);
    return d;
}

// An RLE8 or RLE4 bitmap from its encoded bytes.
inline Dib dibRle(int32_t w, int32_t h, bool four, const std::vector<uint8_t> &data,
                  const std::vector<uint32_t> &table) {
    Dib d;
    d.info = infoHeader(w, h, four ? 4 : 8, four ? 2 : 1, uint32_t(data.size()), uint32_t(table.size()));
    for (uint32_t c : table) put32(d.info, c & 0xFFFFFF);
    d.bits = data;
    return d;
}

// Appends `d` at the end of `rec`, filling the (offBmi, cbBmi, offBits,
// cbBits) fields at `at`.
inline void appendDib(std::vector<uint8_t> &rec, size_t at, const Dib &d) {
    const uint32_t base = 8 + uint32_t(rec.size());  // the record header comes first
    set32(rec, at - 8, base);
    set32(rec, at - 8 + 4, uint32_t(d.info.size()));
    rec.insert(rec.end(), d.info.begin(), d.info.end());
    while (rec.size() % 4) rec.push_back(0);
    set32(rec, at - 8 + 8, 8 + uint32_t(rec.size()));
    set32(rec, at - 8 + 12, uint32_t(d.bits.size()));
    rec.insert(rec.end(), d.bits.begin(), d.bits.end());
}

inline void bounds(std::vector<uint8_t> &p) { put32(p, 0), put32(p, 0), put32(p, ~0u), put32(p, ~0u); }

inline void stretchDIBits(vtest::EmfWriter &w, int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t xs,
                          int32_t ys, int32_t cxs, int32_t cys, const Dib &d, uint32_t rop = kCopy,
                          uint32_t usage = 0) {
    std::vector<uint8_t> p;
    bounds(p);
    for (int32_t v : {x, y, xs, ys, cxs, cys}) put32(p, uint32_t(v));
    put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);  // offsets, filled below
    put32(p, usage);
    put32(p, rop);
    put32(p, uint32_t(cx)), put32(p, uint32_t(cy));
    appendDib(p, 48, d);
    w.recordBytes(kStretchDIBits, p);
}

// SETDIBITSTODEVICE with `d` holding the band of `scans` rows from `start`.
inline void setDIBitsToDevice(vtest::EmfWriter &w, int32_t x, int32_t y, int32_t xs, int32_t ys, int32_t cx,
                              int32_t cy, uint32_t start, uint32_t scans, const Dib &d) {
    std::vector<uint8_t> p;
    bounds(p);
    for (int32_t v : {x, y, xs, ys, cx, cy}) put32(p, uint32_t(v));
    put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);
    put32(p, 0);  // DIB_RGB_COLORS
    put32(p, start), put32(p, scans);
    appendDib(p, 48, d);
    w.recordBytes(kSetDIBitsToDevice, p);
}

inline void identityXform(std::vector<uint8_t> &p) {
    const float m[6] = {1, 0, 0, 1, 0, 0};
    for (float f : m) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        put32(p, v);
    }
}

// BITBLT or STRETCHBLT (`cxs` > 0); without `d`, a pattern blit.
inline void bitBlt(vtest::EmfWriter &w, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rop,
                   const Dib *d = nullptr, int32_t xs = 0, int32_t ys = 0, int32_t cxs = 0, int32_t cys = 0,
                   uint32_t type = kBitBlt) {
    std::vector<uint8_t> p;
    bounds(p);
    for (int32_t v : {x, y, cx, cy}) put32(p, uint32_t(v));
    put32(p, rop);
    put32(p, uint32_t(xs)), put32(p, uint32_t(ys));
    identityXform(p);
    put32(p, 0);  // background colour of the source
    put32(p, 0);  // usage
    put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);
    if (type != kBitBlt) put32(p, uint32_t(cxs)), put32(p, uint32_t(cys));
    if (d) appendDib(p, 84, *d);
    w.recordBytes(type, p);
}

inline void stretchBlt(vtest::EmfWriter &w, int32_t x, int32_t y, int32_t cx, int32_t cy, const Dib &d,
                       int32_t xs, int32_t ys, int32_t cxs, int32_t cys, uint32_t rop = kCopy) {
    bitBlt(w, x, y, cx, cy, rop, &d, xs, ys, cxs, cys, kStretchBlt);
}

// ALPHABLEND (`blend` = BLENDFUNCTION word) or TRANSPARENTBLT (`blend` = colour).
inline void blendBlt(vtest::EmfWriter &w, uint32_t type, int32_t x, int32_t y, int32_t cx, int32_t cy,
                     const Dib &d, int32_t xs, int32_t ys, int32_t cxs, int32_t cys, uint32_t blend) {
    bitBlt(w, x, y, cx, cy, blend, &d, xs, ys, cxs, cys, type);
}

inline uint32_t blendFunction(uint8_t constantAlpha, bool perPixel) {
    return uint32_t(constantAlpha) << 16 | uint32_t(perPixel ? 1 : 0) << 24;
}

inline void maskBlt(vtest::EmfWriter &w, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rop4,
                    const Dib &src, const Dib &mask, int32_t xm = 0, int32_t ym = 0) {
    std::vector<uint8_t> p;
    bounds(p);
    for (int32_t v : {x, y, cx, cy}) put32(p, uint32_t(v));
    put32(p, rop4);
    put32(p, 0), put32(p, 0);
    identityXform(p);
    put32(p, 0), put32(p, 0);
    put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);
    put32(p, uint32_t(xm)), put32(p, uint32_t(ym));
    put32(p, 0);  // mask usage
    put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);
    appendDib(p, 84, src);
    appendDib(p, 112, mask);
    w.recordBytes(kMaskBlt, p);
}

inline void plgBlt(vtest::EmfWriter &w, const std::vector<vtest::Pt> &pts, int32_t xs, int32_t ys, int32_t cxs,
                   int32_t cys, const Dib &src) {
    std::vector<uint8_t> p;
    bounds(p);
    for (const auto &q : pts) put32(p, uint32_t(q.x)), put32(p, uint32_t(q.y));
    for (int32_t v : {xs, ys, cxs, cys}) put32(p, uint32_t(v));
    identityXform(p);
    put32(p, 0), put32(p, 0);
    put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);
    put32(p, 0), put32(p, 0), put32(p, 0);
    put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);  // no mask
    appendDib(p, 96, src);
    w.recordBytes(kPlgBlt, p);
}

struct Vertex {
    int32_t x, y;
    uint16_t r, g, b, a;
};

inline void gradientFill(vtest::EmfWriter &w, const std::vector<Vertex> &v, const std::vector<uint32_t> &idx,
                         uint32_t mode) {
    std::vector<uint8_t> p;
    bounds(p);
    put32(p, uint32_t(v.size()));
    put32(p, uint32_t(idx.size() / (mode == 2 ? 3 : 2)));
    put32(p, mode);
    for (const Vertex &q : v) {
        put32(p, uint32_t(q.x)), put32(p, uint32_t(q.y));
        put16(p, q.r), put16(p, q.g), put16(p, q.b), put16(p, q.a);
    }
    for (uint32_t i : idx) put32(p, i);
    w.recordBytes(kGradientFill, p);
}

// CREATEDIBPATTERNBRUSHPT or CREATEMONOBRUSH.
inline void patternBrush(vtest::EmfWriter &w, uint32_t type, uint32_t index, const Dib &d, uint32_t usage = 0) {
    std::vector<uint8_t> p;
    put32(p, index);
    put32(p, usage);
    put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);
    appendDib(p, 16, d);
    w.recordBytes(type, p);
}

inline void createPalette(vtest::EmfWriter &w, uint32_t index, const std::vector<uint32_t> &colorrefs) {
    std::vector<uint8_t> p;
    put32(p, index);
    put16(p, 0x300);
    put16(p, uint16_t(colorrefs.size()));
    for (uint32_t c : colorrefs) put32(p, c & 0xFFFFFF);
    w.recordBytes(kCreatePalette, p);
}

inline void setPaletteEntries(vtest::EmfWriter &w, uint32_t index, uint32_t start,
                              const std::vector<uint32_t> &colorrefs) {
    std::vector<uint8_t> p;
    put32(p, index), put32(p, start), put32(p, uint32_t(colorrefs.size()));
    for (uint32_t c : colorrefs) put32(p, c & 0xFFFFFF);
    w.recordBytes(kSetPaletteEntries, p);
}

// A BITMAPINFO whose table holds 16-bit palette indices (DIB_PAL_COLORS).
inline Dib dibPalIndices(int32_t w, const std::vector<uint8_t> &indices, const std::vector<uint16_t> &palIndex) {
    const int32_t h = int32_t(indices.size()) / w;
    Dib d;
    d.info = infoHeader(w, h, 8, 0, 0, palIndex.size() == 256 ? 0 : uint32_t(palIndex.size()));
    for (uint16_t i : palIndex) put16(d.info, i);
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) rows[size_t(y)].push_back(indices[size_t(y * w + x)]);
        rows[size_t(y)].resize(stride(w, 8), 0);
    }
    d.bits = packRows(rows, false);
    return d;
}

}  // namespace btest
