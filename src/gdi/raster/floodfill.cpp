#include "gdi/raster/floodfill.h"

#include <cstring>
#include <vector>

namespace vellora::gdi {

bool extFloodFill(DeviceContext &dc, Point start, ColorRef color, int type) {
    if (type != FLOODFILLBORDER && type != FLOODFILLSURFACE) return false;
    const Surface &bm = dc.bitmap();
    const int32_t w = bm.width, h = bm.height;
    const Point s = dc.toDevice(start);
    if (w <= 0 || h <= 0 || s.x < 0 || s.y < 0 || s.x >= w || s.y >= h) return false;
    const Region &clip = dc.clip();
    if (!clip.contains(s.x, s.y)) return false;
    // Every pixel of the bitmap may be looked at once.
    if (!dc.work().spend(uint64_t(w) * uint64_t(h))) return false;

    // Pixels the fill may enter: inside the clip and matching the rule.
    std::vector<uint8_t> open(size_t(w) * size_t(h), 0);
    const uint32_t want = colorWord(color);
    const bool border = type == FLOODFILLBORDER;
    clip.forEachRect([&](int32_t top, int32_t bottom, int32_t x0, int32_t x1) {
        for (int32_t y = top; y < bottom; ++y) {
            const uint8_t *row = bm.top + ptrdiff_t(y) * bm.stride;
            uint8_t *o = open.data() + size_t(y) * size_t(w);
            for (int32_t x = x0; x < x1; ++x) {
                uint32_t px;
                std::memcpy(&px, row + 4 * x, 4);
                o[x] = (px == want) != border;
            }
        }
    });
    if (!open[size_t(s.y) * size_t(w) + size_t(s.x)]) return false;

    // Scanline fill: each run found is taken whole, then the rows above and
    // below are searched for runs touching it. Taken pixels are closed, so
    // each pixel is visited a bounded number of times.
    SpanSink spans;
    std::vector<Point> seeds{s};
    while (!seeds.empty()) {
        const Point p = seeds.back();
        seeds.pop_back();
        uint8_t *o = open.data() + size_t(p.y) * size_t(w);
        if (!o[p.x]) continue;
        int32_t x0 = p.x, x1 = p.x + 1;
        while (x0 > 0 && o[x0 - 1]) --x0;
        while (x1 < w && o[x1]) ++x1;
        std::memset(o + x0, 0, size_t(x1 - x0));
        spans.add(p.y, x0, x1);
        for (int32_t ny : {p.y - 1, p.y + 1}) {
            if (ny < 0 || ny >= h) continue;
            const uint8_t *n = open.data() + size_t(ny) * size_t(w);
            for (int32_t x = x0; x < x1; ++x)
                if (n[x] && (x == x0 || !n[x - 1])) seeds.push_back({x, ny});
        }
    }
    const BrushRef brush = dc.state().brush;
    if (!brush) return false;
    Region area = spans.region();
    dc.paint(area, dc.brushPaint(*brush), dc.state().rop2);
    return true;
}

}  // namespace vellora::gdi
