// Working memory of the text records, kept by the device context from one
// record to the next so that runs of text allocate nothing once it has grown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gdi/text/font.h"
#include "gdi/raster/raster.h"
#include "gdi/raster/region.h"
#include "gdi/types.h"

namespace vellora::gdi {

struct GlyphPlacement {
    int32_t x, y;  // pen position, device
    RealizedFont::Shaped shaped;
};

struct TextScratch {
    // A record's own string and advances, as the player reads them.
    std::u16string chars;
    std::vector<int32_t> dx;
    // 8-bit text widened, with the bytes behind each character and the
    // advances summed to match.
    std::u16string wide;
    std::vector<uint8_t> units;
    std::vector<int32_t> wideDx;
    // The characters in visual order, their glyphs and where they go.
    std::u16string visual;
    std::vector<RealizedFont::Shaped> shaped;
    std::vector<int64_t> lx, ly, pos;
    std::vector<Point> deltas;
    std::vector<GlyphPlacement> placed;
    // Painting: aliased glyphs' spans, rows of a glyph too large to keep,
    // and the clip rectangle and visible area of an ETO_CLIPPED record.
    SpanSink spans;
    Region glyphs;
    std::vector<uint8_t> part;
    Region rect, area;
};

}  // namespace vellora::gdi
