#include "gdi/objects.h"

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
