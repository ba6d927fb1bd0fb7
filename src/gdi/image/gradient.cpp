#include "gdi/image/gradient.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "gdi/dc/dc.h"

namespace vellora::gdi {

namespace {

// A vertex in device pixels.
struct DevVertex {
    int64_t x, y;
    uint32_t c[4];  // red, green, blue, alpha (16 bits)
};

uint32_t word(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return (a & 0xFF) << 24 | (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
}

// Colour at `pos` of `len` between two vertices, in the device's unsigned
// 32-bit arithmetic.
uint32_t along(const DevVertex &a, const DevVertex &b, uint32_t pos, uint32_t len) {
    uint32_t ch[4];
    for (int i = 0; i < 4; ++i) ch[i] = (a.c[i] * (len - pos) + b.c[i] * pos) / len / 256;
    return word(ch[0], ch[1], ch[2], ch[3]);
}

// x on the edge (x1, y1)-(x2, y2) at row y, always followed from its right
// end so both sides of a shared edge round alike.
int64_t edgeX(int64_t y, int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
    if (x2 > x1) return x2 + (y - y2) * (x2 - x1) / (y2 - y1);
    return x1 + (y - y1) * (x2 - x1) / (y2 - y1);
}

// The rectangles of `bounds` that the clip lets through.
Region clipped(DeviceContext &dc, const Rect &bounds) {
    if (bounds.empty()) return Region();
    return Region::combine(Region::fromRect(bounds), dc.clip(), RegionOp::And);
}

template <class F>
void forRects(const Region &area, F &&f) {
    area.forEachRect([&](int32_t top, int32_t bottom, int32_t x0, int32_t x1) {
        f(Rect{x0, top, x1, bottom});
    });
}

uint32_t *row(DeviceContext &dc, int32_t y) {
    Surface &bm = dc.bitmap();
    return reinterpret_cast<uint32_t *>(bm.top + ptrdiff_t(y) * bm.stride);
}

void rectGradient(DeviceContext &dc, DevVertex v0, DevVertex v1, bool horizontal) {
    Rect bounds;
    if (horizontal) {
        if (v1.x < v0.x) std::swap(v0, v1);
        bounds = {int32_t(v0.x), int32_t(std::min(v0.y, v1.y)), int32_t(v1.x), int32_t(std::max(v0.y, v1.y))};
    } else {
        if (v1.y < v0.y) std::swap(v0, v1);
        bounds = {int32_t(std::min(v0.x, v1.x)), int32_t(v0.y), int32_t(std::max(v0.x, v1.x)), int32_t(v1.y)};
    }
    forRects(clipped(dc, bounds), [&](const Rect &rc) {
        if (!dc.work().spend(uint64_t(rc.right - rc.left) * uint64_t(rc.bottom - rc.top))) return;
        for (int32_t y = rc.top; y < rc.bottom; ++y) {
            uint32_t *p = row(dc, y);
            if (horizontal) {
                const uint32_t len = uint32_t(v1.x - v0.x);
                for (int32_t x = rc.left; x < rc.right; ++x)
                    p[x] = along(v0, v1, uint32_t(int64_t(x) - v0.x), len);
            } else {
                const uint32_t c = along(v0, v1, uint32_t(int64_t(y) - v0.y), uint32_t(v1.y - v0.y));
                for (int32_t x = rc.left; x < rc.right; ++x) p[x] = c;
            }
        }
    });
}

// False when the triangle has no area (the platform then fails the call).
bool triangleGradient(DeviceContext &dc, DevVertex a, DevVertex b, DevVertex c) {
    // Order by y as the platform does, keeping its tie order.
    DevVertex v[3];
    if (a.y > b.y) {
        if (c.y < b.y) v[0] = c, v[1] = b, v[2] = a;
        else if (c.y < a.y) v[0] = b, v[1] = c, v[2] = a;
        else v[0] = b, v[1] = a, v[2] = c;
    } else {
        if (c.y < a.y) v[0] = c, v[1] = a, v[2] = b;
        else if (c.y < b.y) v[0] = a, v[1] = c, v[2] = b;
        else v[0] = a, v[1] = b, v[2] = c;
    }
    const Rect bounds{int32_t(std::min({v[0].x, v[1].x, v[2].x})), int32_t(v[0].y),
                      int32_t(std::max({v[0].x, v[1].x, v[2].x})), int32_t(v[2].y)};
    const int64_t det = (v[2].y - v[1].y) * (v[2].x - v[0].x) - (v[2].x - v[1].x) * (v[2].y - v[0].y);
    const Region area = clipped(dc, bounds);
    if (area.empty()) return true;
    if (!det) return false;
    forRects(area, [&](const Rect &rc) {
        if (!dc.work().spend(uint64_t(rc.right - rc.left) * uint64_t(rc.bottom - rc.top))) return;
        for (int32_t y = rc.top; y < rc.bottom; ++y) {
            const int64_t x1 = y < v[1].y ? edgeX(y, v[0].x, v[0].y, v[1].x, v[1].y)
                                          : edgeX(y, v[1].x, v[1].y, v[2].x, v[2].y);
            const int64_t x2 = edgeX(y, v[0].x, v[0].y, v[2].x, v[2].y);
            const int64_t left = std::max<int64_t>(rc.left, std::min(x1, x2));
            const int64_t right = std::min<int64_t>(rc.right, std::max(x1, x2));
            uint32_t *p = row(dc, y);
            for (int64_t x = left; x < right; ++x) {
                const int64_t l1 = (v[1].y - v[2].y) * (x - v[2].x) - (v[1].x - v[2].x) * (y - v[2].y);
                const int64_t l2 = (v[2].y - v[0].y) * (x - v[2].x) - (v[2].x - v[0].x) * (y - v[2].y);
                // Weights reach 2^55 for vertices far off the canvas; 128 bits
                // keep the products exact where the platform's 64 would wrap.
                uint32_t ch[4];
                for (int i = 0; i < 4; ++i)
                    ch[i] = uint32_t((__int128(v[0].c[i]) * l1 + __int128(v[1].c[i]) * l2 +
                                      __int128(v[2].c[i]) * (det - l1 - l2)) / det / 256);
                p[x] = word(ch[0], ch[1], ch[2], ch[3]);
            }
        }
    });
    return true;
}

}  // namespace

bool gradientFill(DeviceContext &dc, const TriVertex *vertices, size_t vertexCount,
                  const uint32_t *indices, size_t count, uint32_t mode) {
    if (!vertices || !vertexCount || !indices || !count || mode > GRADIENT_FILL_TRIANGLE) return false;
    const size_t per = mode == GRADIENT_FILL_TRIANGLE ? 3 : 2;
    for (size_t i = 0; i < count * per; ++i)
        if (indices[i] >= vertexCount) return false;
    std::vector<DevVertex> dev(vertexCount);
    for (size_t i = 0; i < vertexCount; ++i) {
        const Point p = dc.toDevice(Point{vertices[i].x, vertices[i].y});
        dev[i] = {p.x, p.y, {vertices[i].red, vertices[i].green, vertices[i].blue, vertices[i].alpha}};
    }
    bool ok = true;
    for (size_t i = 0; i < count && !dc.work().exhausted(); ++i) {
        const uint32_t *k = indices + per * i;
        if (mode == GRADIENT_FILL_TRIANGLE) {
            if (!triangleGradient(dc, dev[k[0]], dev[k[1]], dev[k[2]])) ok = false;
        } else {
            rectGradient(dc, dev[k[0]], dev[k[1]], mode == GRADIENT_FILL_RECT_H);
        }
    }
    return ok;
}

}  // namespace vellora::gdi
