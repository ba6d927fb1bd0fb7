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
    {"EMR_SELECTPALETTE", M},
    {"EMR_CREATEPALETTE", D},
    {"EMR_SETPALETTEENTRIES", M},  // 50
    {"EMR_RESIZEPALETTE", M},
    {"EMR_REALIZEPALETTE", N},
    {"EMR_EXTFLOODFILL", M},
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
    {"EMR_BITBLT", M},
    {"EMR_STRETCHBLT", M},
    {"EMR_MASKBLT", M},
    {"EMR_PLGBLT", M},
    {"EMR_SETDIBITSTODEVICE", M},  // 80
    {"EMR_STRETCHDIBITS", M},
    {"EMR_EXTCREATEFONTINDIRECTW", D},
    {"EMR_EXTTEXTOUTA", M},
    {"EMR_EXTTEXTOUTW", M},
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
    {"EMR_POLYTEXTOUTA", M},
    {"EMR_POLYTEXTOUTW", M},
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
    {"EMR_SMALLTEXTOUT", M},
    {"EMR_FORCEUFIMAPPING", N},
    {"EMR_NAMEDESCAPE", N},  // 110
    {"EMR_COLORCORRECTPALETTE", N},
    {"EMR_SETICMPROFILEA", N},
    {"EMR_SETICMPROFILEW", N},
    {"EMR_ALPHABLEND", M},
    {"EMR_SETLAYOUT", D},
    {"EMR_TRANSPARENTBLT", M},
    {nullptr, M},
    {"EMR_GRADIENTFILL", M},
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
    {0x001E, {"META_SAVEDC", M}},
    {0x0035, {"META_REALIZEPALETTE", N}},
    {0x0037, {"META_SETPALENTRIES", M}},
    {0x00F7, {"META_CREATEPALETTE", M}},
    {0x0102, {"META_SETBKMODE", M}},
    {0x0103, {"META_SETMAPMODE", M}},
    {0x0104, {"META_SETROP2", M}},
    {0x0105, {"META_SETRELABS", N}},
    {0x0106, {"META_SETPOLYFILLMODE", M}},
    {0x0107, {"META_SETSTRETCHBLTMODE", M}},
    {0x0108, {"META_SETTEXTCHAREXTRA", M}},
    {0x0127, {"META_RESTOREDC", M}},
    {0x012A, {"META_INVERTREGION", M}},
    {0x012B, {"META_PAINTREGION", M}},
    {0x012C, {"META_SELECTCLIPREGION", M}},
    {0x012D, {"META_SELECTOBJECT", M}},
    {0x012E, {"META_SETTEXTALIGN", M}},
    {0x0139, {"META_RESIZEPALETTE", M}},
    {0x0142, {"META_DIBCREATEPATTERNBRUSH", M}},
    {0x0149, {"META_SETLAYOUT", M}},
    {0x01F0, {"META_DELETEOBJECT", M}},
    {0x01F9, {"META_CREATEPATTERNBRUSH", M}},
    {0x0201, {"META_SETBKCOLOR", M}},
    {0x0209, {"META_SETTEXTCOLOR", M}},
    {0x020A, {"META_SETTEXTJUSTIFICATION", M}},
    {0x020B, {"META_SETWINDOWORG", M}},
    {0x020C, {"META_SETWINDOWEXT", M}},
    {0x020D, {"META_SETVIEWPORTORG", M}},
    {0x020E, {"META_SETVIEWPORTEXT", M}},
    {0x020F, {"META_OFFSETWINDOWORG", M}},
    {0x0211, {"META_OFFSETVIEWPORTORG", M}},
    {0x0213, {"META_LINETO", M}},
    {0x0214, {"META_MOVETO", M}},
    {0x0220, {"META_OFFSETCLIPRGN", M}},
    {0x0228, {"META_FILLREGION", M}},
    {0x0231, {"META_SETMAPPERFLAGS", N}},
    {0x0234, {"META_SELECTPALETTE", M}},
    {0x02FA, {"META_CREATEPENINDIRECT", M}},
    {0x02FB, {"META_CREATEFONTINDIRECT", M}},
    {0x02FC, {"META_CREATEBRUSHINDIRECT", M}},
    {0x0324, {"META_POLYGON", M}},
    {0x0325, {"META_POLYLINE", M}},
    {0x0410, {"META_SCALEWINDOWEXT", M}},
    {0x0412, {"META_SCALEVIEWPORTEXT", M}},
    {0x0415, {"META_EXCLUDECLIPRECT", M}},
    {0x0416, {"META_INTERSECTCLIPRECT", M}},
    {0x0418, {"META_ELLIPSE", M}},
    {0x0419, {"META_FLOODFILL", M}},
    {0x041B, {"META_RECTANGLE", M}},
    {0x041F, {"META_SETPIXEL", M}},
    {0x0429, {"META_FRAMEREGION", M}},
    {0x0436, {"META_ANIMATEPALETTE", M}},
    {0x0521, {"META_TEXTOUT", M}},
    {0x0538, {"META_POLYPOLYGON", M}},
    {0x0548, {"META_EXTFLOODFILL", M}},
    {0x061C, {"META_ROUNDRECT", M}},
    {0x061D, {"META_PATBLT", M}},
    {0x0626, {"META_ESCAPE", N}},
    {0x06FF, {"META_CREATEREGION", M}},
    {0x0817, {"META_ARC", M}},
    {0x081A, {"META_PIE", M}},
    {0x0830, {"META_CHORD", M}},
    {0x0922, {"META_BITBLT", M}},
    {0x0940, {"META_DIBBITBLT", M}},
    {0x0A32, {"META_EXTTEXTOUT", M}},
    {0x0B23, {"META_STRETCHBLT", M}},
    {0x0B41, {"META_DIBSTRETCHBLT", M}},
    {0x0D33, {"META_SETDIBTODEV", M}},
    {0x0F43, {"META_STRETCHDIB", M}},
};

}  // namespace

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
