#include "gdi/dc/objects.h"

#include <cstdlib>

namespace vellora::gdi {

namespace {

BrushRef makeBrush(uint32_t style, ColorRef color) {
    auto b = std::make_shared<Brush>();
    b->style = style;
    b->color = color;
    return b;
}

PenRef makePen(uint32_t style, ColorRef color) {
    auto p = std::make_shared<Pen>();
    p->style = style;
    p->color = color;
    p->brush.color = color;
    return p;
}

}  // namespace

PenRef createPen(uint32_t style, int32_t width, ColorRef color) {
    auto pen = std::make_shared<Pen>();
    // The whole style word is compared: caps, joins and a type make it
    // one CreatePen does not know, as does anything past PS_INSIDEFRAME.
    pen->style = style <= PS_INSIDEFRAME ? style : PS_SOLID;
    pen->width = width == INT32_MIN ? INT32_MAX : std::abs(width);
    pen->color = color;
    if (pen->style == PS_NULL) pen->width = 1, pen->color = 0;
    pen->brush.color = pen->color;
    return pen;
}

BrushRef createBrush(uint32_t style, ColorRef color, uint32_t hatch) {
    auto brush = std::make_shared<Brush>();
    brush->style = style;
    brush->color = color;
    brush->hatch = hatch;
    switch (style) {
    case BS_SOLID:
    case BS_NULL: brush->hatch = 0; break;
    case BS_HATCHED:
        if (hatch > HS_DIAGCROSS) {
            if (hatch >= 12) return nullptr;
            brush->style = BS_SOLID;
            brush->hatch = 0;
        }
        break;
    default: return nullptr;
    }
    return brush;
}

BrushRef patternBrush(std::shared_ptr<const Pattern> pattern) {
    auto brush = std::make_shared<Brush>();
    brush->style = BS_DIBPATTERNPT;
    brush->pattern = std::move(pattern);
    return brush;
}

ColorRef defaultPaletteEntry(uint32_t i) {
    static const ColorRef entries[20] = {
        0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
        0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
        0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    return i < 20 ? entries[i] : entries[0];
}

BrushRef stockBrush(uint32_t index) {
    static const BrushRef white = makeBrush(BS_SOLID, 0xFFFFFF), ltgray = makeBrush(BS_SOLID, 0xC0C0C0),
                          gray = makeBrush(BS_SOLID, 0x808080), dkgray = makeBrush(BS_SOLID, 0x404040),
                          black = makeBrush(BS_SOLID, 0), null = makeBrush(BS_NULL, 0);
    switch (index) {
    case 0: return white;
    case 1: return ltgray;
    case 2: return gray;
    case 3: return dkgray;
    case 4: return black;
    case 5: return null;
    case 18: return white;  // DC_BRUSH, white by default
    default: return nullptr;
    }
}

PenRef stockPen(uint32_t index) {
    static const PenRef white = makePen(PS_SOLID, 0xFFFFFF), black = makePen(PS_SOLID, 0),
                        null = makePen(PS_NULL, 0);
    switch (index) {
    case 6: return white;
    case 7: return black;
    case 8: return null;
    case 19: return black;  // DC_PEN, black by default
    default: return nullptr;
    }
}

}  // namespace vellora::gdi
