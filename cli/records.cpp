#include "records.h"

#include <algorithm>
#include <iterator>

namespace vellora::cli {

namespace {

// What the native player handles is listed here, by record type, and nowhere
// else in the command: whoever teaches the player a new record moves it from
// Missing to Drawn in the tables below.
constexpr Support D = Support::Drawn;
constexpr Support N = Support::NoEffect;
constexpr Support M = Support::Missing;

// EMF, indexed by type; 0 and the gaps the format leaves are null.
constexpr RecordKind kEmf[] = {
    {nullptr, M},
    {"EMR_HEADER", D},
    {"EMR_POLYBEZIER", D},
    {"EMR_POLYGON", D},
    {"EMR_POLYLINE", D},
    {"EMR_POLYBEZIERTO", D},
    {"EMR_POLYLINETO", D},
    {"EMR_POLYPOLYLINE", D},
    {"EMR_POLYPOLYGON", D},
    {"EMR_SETWINDOWEXTEX", D},
    {"EMR_SETWINDOWORGEX", D},  // 10
    {"EMR_SETVIEWPORTEXTEX", D},
    {"EMR_SETVIEWPORTORGEX", D},
    {"EMR_SETBRUSHORGEX", D},
    {"EMR_EOF", D},
    {"EMR_SETPIXELV", D},
    {"EMR_SETMAPPERFLAGS", D},
    {"EMR_SETMAPMODE", D},
    {"EMR_SETBKMODE", D},
    {"EMR_SETPOLYFILLMODE", D},
    {"EMR_SETROP2", D},  // 20
    {"EMR_SETSTRETCHBLTMODE", D},
    {"EMR_SETTEXTALIGN", D},
    {"EMR_SETCOLORADJUSTMENT", N},
    {"EMR_SETTEXTCOLOR", D},
    {"EMR_SETBKCOLOR", D},
    {"EMR_OFFSETCLIPRGN", D},
    {"EMR_MOVETOEX", D},
    {"EMR_SETMETARGN", D},
    {"EMR_EXCLUDECLIPRECT", D},
    {"EMR_INTERSECTCLIPRECT", D},  // 30
    {"EMR_SCALEVIEWPORTEXTEX", D},
    {"EMR_SCALEWINDOWEXTEX", D},
    {"EMR_SAVEDC", D},
    {"EMR_RESTOREDC", D},
    {"EMR_SETWORLDTRANSFORM", D},
    {"EMR_MODIFYWORLDTRANSFORM", D},
    {"EMR_SELECTOBJECT", D},
    {"EMR_CREATEPEN", D},
    {"EMR_CREATEBRUSHINDIRECT", D},
    {"EMR_DELETEOBJECT", D},  // 40
    {"EMR_ANGLEARC", D},
    {"EMR_ELLIPSE", D},
    {"EMR_RECTANGLE", D},
    {"EMR_ROUNDRECT", D},
    {"EMR_ARC", D},
    {"EMR_CHORD", D},
    {"EMR_PIE", D},
    {"EMR_SELECTPALETTE", D},
    {"EMR_CREATEPALETTE", D},
    {"EMR_SETPALETTEENTRIES", D},  // 50
    {"EMR_RESIZEPALETTE", D},
    {"EMR_REALIZEPALETTE", N},
    {"EMR_EXTFLOODFILL", D},
    {"EMR_LINETO", D},
    {"EMR_ARCTO", D},
    {"EMR_POLYDRAW", D},
    {"EMR_SETARCDIRECTION", D},
    {"EMR_SETMITERLIMIT", D},
    {"EMR_BEGINPATH", D},
    {"EMR_ENDPATH", D},  // 60
    {"EMR_CLOSEFIGURE", D},
    {"EMR_FILLPATH", D},
    {"EMR_STROKEANDFILLPATH", D},
    {"EMR_STROKEPATH", D},
    {"EMR_FLATTENPATH", D},
    {"EMR_WIDENPATH", D},
    {"EMR_SELECTCLIPPATH", D},
    {"EMR_ABORTPATH", D},
    {nullptr, M},
    {"EMR_GDICOMMENT", N},  // 70
    {"EMR_FILLRGN", D},
    {"EMR_FRAMERGN", D},
    {"EMR_INVERTRGN", D},
    {"EMR_PAINTRGN", D},
    {"EMR_EXTSELECTCLIPRGN", D},
    {"EMR_BITBLT", D},
    {"EMR_STRETCHBLT", D},
    {"EMR_MASKBLT", D},
    {"EMR_PLGBLT", D},
    {"EMR_SETDIBITSTODEVICE", D},  // 80
    {"EMR_STRETCHDIBITS", D},
    {"EMR_EXTCREATEFONTINDIRECTW", D},
    {"EMR_EXTTEXTOUTA", D},
    {"EMR_EXTTEXTOUTW", D},
    {"EMR_POLYBEZIER16", D},
    {"EMR_POLYGON16", D},
    {"EMR_POLYLINE16", D},
    {"EMR_POLYBEZIERTO16", D},
    {"EMR_POLYLINETO16", D},
    {"EMR_POLYPOLYLINE16", D},  // 90
    {"EMR_POLYPOLYGON16", D},
    {"EMR_POLYDRAW16", D},
    {"EMR_CREATEMONOBRUSH", D},
    {"EMR_CREATEDIBPATTERNBRUSHPT", D},
    {"EMR_EXTCREATEPEN", D},
    {"EMR_POLYTEXTOUTA", D},
    {"EMR_POLYTEXTOUTW", D},
    {"EMR_SETICMMODE", N},
    {"EMR_CREATECOLORSPACE", D},
    {"EMR_SETCOLORSPACE", N},  // 100
    {"EMR_DELETECOLORSPACE", N},
    {"EMR_GLSRECORD", M},
    {"EMR_GLSBOUNDEDRECORD", M},
    {"EMR_PIXELFORMAT", N},
    {"EMR_DRAWESCAPE", N},
    {"EMR_EXTESCAPE", N},
    {nullptr, M},
    {"EMR_SMALLTEXTOUT", D},
    {"EMR_FORCEUFIMAPPING", N},
    {"EMR_NAMEDESCAPE", N},  // 110
    {"EMR_COLORCORRECTPALETTE", N},
    {"EMR_SETICMPROFILEA", N},
    {"EMR_SETICMPROFILEW", N},
    {"EMR_ALPHABLEND", D},
    {"EMR_SETLAYOUT", D},
    {"EMR_TRANSPARENTBLT", D},
    {nullptr, M},
    {"EMR_GRADIENTFILL", D},
    {"EMR_SETLINKEDUFIS", N},
    {"EMR_SETTEXTJUSTIFICATION", D},  // 120
    {"EMR_COLORMATCHTOTARGETW", N},
    {"EMR_CREATECOLORSPACEW", N},
};

struct WmfEntry {
    uint16_t function;
    RecordKind kind;
};

// WMF, sorted by function number.
constexpr WmfEntry kWmf[] = {
    {0x0000, {"META_EOF", D}},
    {0x001E, {"META_SAVEDC", D}},
    {0x0035, {"META_REALIZEPALETTE", N}},
    {0x0037, {"META_SETPALENTRIES", D}},
    {0x00F7, {"META_CREATEPALETTE", D}},
    {0x0102, {"META_SETBKMODE", D}},
    {0x0103, {"META_SETMAPMODE", D}},
    {0x0104, {"META_SETROP2", D}},
    {0x0105, {"META_SETRELABS", N}},
    {0x0106, {"META_SETPOLYFILLMODE", D}},
    {0x0107, {"META_SETSTRETCHBLTMODE", D}},
    {0x0108, {"META_SETTEXTCHAREXTRA", D}},
    {0x0127, {"META_RESTOREDC", D}},
    {0x012A, {"META_INVERTREGION", D}},
    {0x012B, {"META_PAINTREGION", D}},
    {0x012C, {"META_SELECTCLIPREGION", D}},
    {0x012D, {"META_SELECTOBJECT", D}},
    {0x012E, {"META_SETTEXTALIGN", D}},
    {0x0139, {"META_RESIZEPALETTE", D}},
    {0x0142, {"META_DIBCREATEPATTERNBRUSH", D}},
    {0x0149, {"META_SETLAYOUT", D}},
    {0x01F0, {"META_DELETEOBJECT", D}},
    {0x01F9, {"META_CREATEPATTERNBRUSH", D}},
    {0x0201, {"META_SETBKCOLOR", D}},
    {0x0209, {"META_SETTEXTCOLOR", D}},
    {0x020A, {"META_SETTEXTJUSTIFICATION", D}},
    {0x020B, {"META_SETWINDOWORG", D}},
    {0x020C, {"META_SETWINDOWEXT", D}},
    {0x020D, {"META_SETVIEWPORTORG", D}},
    {0x020E, {"META_SETVIEWPORTEXT", D}},
    {0x020F, {"META_OFFSETWINDOWORG", D}},
    {0x0211, {"META_OFFSETVIEWPORTORG", D}},
    {0x0213, {"META_LINETO", D}},
    {0x0214, {"META_MOVETO", D}},
    {0x0220, {"META_OFFSETCLIPRGN", D}},
    {0x0228, {"META_FILLREGION", D}},
    {0x0231, {"META_SETMAPPERFLAGS", N}},
    {0x0234, {"META_SELECTPALETTE", D}},
    {0x02FA, {"META_CREATEPENINDIRECT", D}},
    {0x02FB, {"META_CREATEFONTINDIRECT", D}},
    {0x02FC, {"META_CREATEBRUSHINDIRECT", D}},
    {0x0324, {"META_POLYGON", D}},
    {0x0325, {"META_POLYLINE", D}},
    {0x0410, {"META_SCALEWINDOWEXT", D}},
    {0x0412, {"META_SCALEVIEWPORTEXT", D}},
    {0x0415, {"META_EXCLUDECLIPRECT", D}},
    {0x0416, {"META_INTERSECTCLIPRECT", D}},
    {0x0418, {"META_ELLIPSE", D}},
    {0x0419, {"META_FLOODFILL", D}},
    {0x041B, {"META_RECTANGLE", D}},
    {0x041F, {"META_SETPIXEL", D}},
    {0x0429, {"META_FRAMEREGION", D}},
    {0x0436, {"META_ANIMATEPALETTE", D}},
    {0x0521, {"META_TEXTOUT", D}},
    {0x0538, {"META_POLYPOLYGON", D}},
    {0x0548, {"META_EXTFLOODFILL", D}},
    {0x061C, {"META_ROUNDRECT", D}},
    {0x061D, {"META_PATBLT", D}},
    {0x0626, {"META_ESCAPE", N}},
    {0x06FF, {"META_CREATEREGION", D}},
    {0x0817, {"META_ARC", D}},
    {0x081A, {"META_PIE", D}},
    {0x0830, {"META_CHORD", D}},
    {0x0922, {"META_BITBLT", D}},
    {0x0940, {"META_DIBBITBLT", D}},
    {0x0A32, {"META_EXTTEXTOUT", D}},
    {0x0B23, {"META_STRETCHBLT", D}},
    {0x0B41, {"META_DIBSTRETCHBLT", D}},
    {0x0D33, {"META_SETDIBTODEV", D}},
    {0x0F43, {"META_STRETCHDIB", D}},
};

// Types of the records that paint: lines and curves, shapes, paths filled
// or stroked, regions painted, blits, text and gradients.
constexpr uint8_t kEmfPainting[] = {2,  3,  4,  5,  6,  7,  8,  15, 41, 42, 43, 44,  45,  46,
                                    47, 53, 54, 55, 56, 62, 63, 64, 71, 72, 73, 74,  76,  77,
                                    78, 79, 80, 81, 83, 84, 85, 86, 87, 88, 89, 90,  91,  92,
                                    96, 97, 108, 114, 116, 118};
constexpr uint16_t kWmfPainting[] = {0x012A, 0x012B, 0x0213, 0x0228, 0x0324, 0x0325, 0x0418,
                                     0x0419, 0x041B, 0x041F, 0x0429, 0x0521, 0x0538, 0x0548,
                                     0x061C, 0x061D, 0x0817, 0x081A, 0x0830, 0x0922, 0x0940,
                                     0x0A32, 0x0B23, 0x0B41, 0x0D33, 0x0F43};

}  // namespace

bool emfPaints(uint32_t type) {
    return type < 256 && std::binary_search(std::begin(kEmfPainting), std::end(kEmfPainting), type);
}

bool wmfPaints(uint16_t function) {
    return std::binary_search(std::begin(kWmfPainting), std::end(kWmfPainting), function);
}

// EmfPlusClear (0x4009) to EmfPlusDrawString (0x401C), and DrawDriverString.
bool emfPlusPaints(uint16_t type) { return (type >= 0x4009 && type <= 0x401C) || type == 0x4036; }

RecordKind emfRecord(uint32_t type) {
    if (type < std::size(kEmf)) return kEmf[type];
    return {nullptr, M};
}

RecordKind wmfRecord(uint16_t function) {
    const auto *end = std::end(kWmf);
    const auto *it = std::lower_bound(std::begin(kWmf), end, function,
                                      [](const WmfEntry &e, uint16_t f) { return e.function < f; });
    if (it != end && it->function == function) return it->kind;
    return {nullptr, M};
}

}  // namespace vellora::cli
