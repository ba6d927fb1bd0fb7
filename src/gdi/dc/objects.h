// Graphics objects as the device context holds them. The player creates
// them from records; the device context only reads them, so a selected
// object outlives its deletion from the player's object table.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace vellora::gdi {

// Pen styles, brush styles and hatches: the platform's values.
enum : uint32_t {
    PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5,
    PS_INSIDEFRAME = 6, PS_USERSTYLE = 7, PS_ALTERNATE = 8, PS_STYLE_MASK = 0xF,
    PS_ENDCAP_ROUND = 0x000, PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200,
    PS_ENDCAP_MASK = 0xF00,
    PS_JOIN_ROUND = 0x0000, PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000,
    PS_JOIN_MASK = 0xF000,
    PS_COSMETIC = 0x00000, PS_GEOMETRIC = 0x10000, PS_TYPE_MASK = 0xF0000,
};
enum : uint32_t {
    BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2, BS_PATTERN = 3, BS_DIBPATTERN = 5,
    BS_DIBPATTERNPT = 6, BS_PATTERN8X8 = 7, BS_DIBPATTERN8X8 = 8, BS_MONOPATTERN = 9,
};
enum : uint32_t {
    HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4,
    HS_DIAGCROSS = 5,
};

// Whether pixel (x, y) of a hatch's 8 x 8 cell is a line pixel.
inline bool hatchBit(uint32_t hatch, int x, int y) {
    switch (hatch) {
    case HS_HORIZONTAL: return y == 3;
    case HS_VERTICAL: return x == 4;
    case HS_FDIAGONAL: return x == y;
    case HS_BDIAGONAL: return x + y == 7;
    case HS_CROSS: return y == 3 || x == 4;
    case HS_DIAGCROSS: return x == y || x + y == 7;
    default: return false;
    }
}

// A COLORREF (0x00bbggrr).
using ColorRef = uint32_t;

// A decoded brush pattern: top row first, one BGRA word per pixel (alpha
// 0 unless a 32-bit pattern brings its own). A mono
// pattern holds 0 or 1 per pixel, drawn in the text and background colours.
struct Pattern {
    int32_t width = 0, height = 0;
    bool mono = false;
    std::vector<uint32_t> pixels;
};

struct Brush {
    uint32_t style = BS_SOLID;
    ColorRef color = 0;
    uint32_t hatch = 0;
    std::shared_ptr<const Pattern> pattern;  // BS_DIBPATTERN and kin
};

struct Pen {
    uint32_t style = PS_SOLID;  // PS_ style, end cap, join and type bits
    int32_t width = 0;          // logical units; cosmetic pens draw one pixel
    ColorRef color = 0;
    bool extended = false;      // made by ExtCreatePen
    Brush brush;                // geometric pens paint with a brush
    std::vector<uint32_t> dashes;  // PS_USERSTYLE entries
};

// Fonts belong to the text renderer; the device context only carries them.
struct Font {
    virtual ~Font() = default;
};

using PenRef = std::shared_ptr<const Pen>;
using BrushRef = std::shared_ptr<const Brush>;
using FontRef = std::shared_ptr<const Font>;

// Entry `i` of the default palette (its 20 static colours); black past
// the end, as the platform falls back to the first entry.
ColorRef defaultPaletteEntry(uint32_t i);

// The RGB a COLORREF paints on a 32-bit device: PALETTEINDEX through the
// default palette, PALETTERGB and plain RGB as they are.
inline ColorRef resolveColor(ColorRef c) {
    if ((c >> 24) == 1) return defaultPaletteEntry(c & 0xFFFF);
    if ((c >> 16) == 0x10FF) return 0;  // DIBINDEX: no colour table here
    return c & 0xFFFFFF;
}

// The object rules of playback, shared by EMF and WMF: both play their
// creation records through the same platform calls.
//
// CreatePenIndirect: a style it does not know draws solid, the width's
// sign is dropped, and a null pen is one pixel wide and black.
PenRef createPen(uint32_t style, int32_t width, ColorRef color);
// CreateBrushIndirect: null where the platform makes no brush (pattern
// styles, which name a bitmap handle a record cannot carry; hatches past
// the twelve it knows); hatches 6 to 11 paint solid.
BrushRef createBrush(uint32_t style, ColorRef color, uint32_t hatch);
// A pattern brush over a decoded pattern (CreateDIBPatternBrushPt and
// the monochrome and device-dependent forms).
BrushRef patternBrush(std::shared_ptr<const Pattern> pattern);

// Stock objects, by their GetStockObject index.
PenRef stockPen(uint32_t index);      // null when `index` is no pen
BrushRef stockBrush(uint32_t index);  // null when `index` is no brush

}  // namespace vellora::gdi
