// A small Windows-metafile writer for tests: records are appended in order
// and bytes() adds the header and WMF_EOF. The call-like methods take GDI's
// argument order; the file stores parameters last to first, as the
// platform's recorder does.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vtest {

// Record functions used by the tests (values of the WMF format).
enum WmfRecord : uint16_t {
    WMF_SAVEDC = 0x001E, WMF_CREATEPALETTE = 0x00F7, WMF_SETBKMODE = 0x0102,
    WMF_SETMAPMODE = 0x0103, WMF_SETROP2 = 0x0104, WMF_SETPOLYFILLMODE = 0x0106,
    WMF_RESTOREDC = 0x0127, WMF_INVERTREGION = 0x012A, WMF_PAINTREGION = 0x012B,
    WMF_SELECTCLIPREGION = 0x012C, WMF_SELECTOBJECT = 0x012D, WMF_DIBCREATEPATTERNBRUSH = 0x0142,
    WMF_DELETEOBJECT = 0x01F0, WMF_SETBKCOLOR = 0x0201, WMF_SETTEXTCOLOR = 0x0209,
    WMF_SETWINDOWORG = 0x020B, WMF_SETWINDOWEXT = 0x020C, WMF_SETVIEWPORTORG = 0x020D,
    WMF_SETVIEWPORTEXT = 0x020E, WMF_OFFSETWINDOWORG = 0x020F, WMF_OFFSETVIEWPORTORG = 0x0211,
    WMF_LINETO = 0x0213, WMF_MOVETO = 0x0214, WMF_OFFSETCLIPRGN = 0x0220,
    WMF_FILLREGION = 0x0228, WMF_CREATEPENINDIRECT = 0x02FA, WMF_CREATEFONTINDIRECT = 0x02FB,
    WMF_CREATEBRUSHINDIRECT = 0x02FC, WMF_POLYGON = 0x0324, WMF_POLYLINE = 0x0325,
    WMF_SCALEWINDOWEXT = 0x0410, WMF_SCALEVIEWPORTEXT = 0x0412, WMF_EXCLUDECLIPRECT = 0x0415,
    WMF_INTERSECTCLIPRECT = 0x0416, WMF_ELLIPSE = 0x0418, WMF_FLOODFILL = 0x0419,
    WMF_RECTANGLE = 0x041B, WMF_SETPIXEL = 0x041F, WMF_FRAMEREGION = 0x0429,
    WMF_POLYPOLYGON = 0x0538, WMF_EXTFLOODFILL = 0x0548, WMF_ROUNDRECT = 0x061C,
    WMF_PATBLT = 0x061D, WMF_ESCAPE = 0x0626, WMF_CREATEREGION = 0x06FF, WMF_ARC = 0x0817,
    WMF_PIE = 0x081A, WMF_CHORD = 0x0830, WMF_DIBBITBLT = 0x0940, WMF_EXTTEXTOUT = 0x0A32,
    WMF_STRETCHDIB = 0x0F43, WMF_SETDIBTODEV = 0x0D33, WMF_BITBLT = 0x0922,
};

struct WPt {
    int16_t x, y;
};

// One band of a region: rows [top, bottom) and x pairs [x0, x1), ...
struct WScan {
    int16_t top, bottom;
    std::vector<int16_t> xs;
};

class WmfWriter {
public:
    // A raw record: function and 16-bit parameters in file order.
    WmfWriter &record(uint16_t function, std::initializer_list<int> params);
    WmfWriter &recordWords(uint16_t function, const std::vector<uint16_t> &params);

    WmfWriter &setMapMode(int mode);
    WmfWriter &setWindowOrg(int x, int y);
    WmfWriter &setWindowExt(int x, int y);
    WmfWriter &setViewportOrg(int x, int y);
    WmfWriter &setViewportExt(int x, int y);
    WmfWriter &saveDC();
    WmfWriter &restoreDC(int level);
    WmfWriter &setBkMode(int mode);
    WmfWriter &setBkColor(uint32_t colorref);
    WmfWriter &setTextColor(uint32_t colorref);
    WmfWriter &setROP2(int rop);
    WmfWriter &setPolyFillMode(int mode);

    WmfWriter &createPen(int style, int width, uint32_t colorref);
    WmfWriter &createBrush(int style, uint32_t colorref, int hatch = 0);
    // A region of bands, its bounding box computed from them.
    WmfWriter &createRegion(const std::vector<WScan> &scans);
    // A DIB pattern brush from a packed DIB (header, colours, pixels).
    WmfWriter &createDibBrush(const std::vector<uint8_t> &packedDib, int usage = 0);
    WmfWriter &select(int index);
    WmfWriter &deleteObject(int index);

    WmfWriter &intersectClipRect(int l, int t, int r, int b);
    WmfWriter &excludeClipRect(int l, int t, int r, int b);
    WmfWriter &offsetClipRgn(int x, int y);
    WmfWriter &selectClipRegion(int index);

    WmfWriter &moveTo(int x, int y);
    WmfWriter &lineTo(int x, int y);
    WmfWriter &rectangle(int l, int t, int r, int b);
    WmfWriter &ellipse(int l, int t, int r, int b);
    WmfWriter &roundRect(int l, int t, int r, int b, int w, int h);
    WmfWriter &arc(uint16_t function, int l, int t, int r, int b, int xs, int ys, int xe, int ye);
    WmfWriter &polygon(const std::vector<WPt> &pts);
    WmfWriter &polyline(const std::vector<WPt> &pts);
    WmfWriter &polyPolygon(const std::vector<std::vector<WPt>> &polys);
    WmfWriter &setPixel(int x, int y, uint32_t colorref);
    WmfWriter &floodFill(int x, int y, uint32_t colorref);
    WmfWriter &extFloodFill(int x, int y, uint32_t colorref, int type);
    WmfWriter &patBlt(int x, int y, int w, int h, uint32_t rop);
    WmfWriter &fillRegion(int region, int brush);
    WmfWriter &frameRegion(int region, int brush, int w, int h);
    WmfWriter &invertRegion(int region);
    WmfWriter &paintRegion(int region);
    // EXTTEXTOUT with a rectangle (options ETO_OPAQUE = 2, ETO_CLIPPED = 4).
    WmfWriter &extTextOut(int x, int y, int options, int l, int t, int r, int b,
                          const std::string &text);
    WmfWriter &escape(int function, const std::vector<uint8_t> &data);

    // The metafile: header with `objects` table slots, the records, WMF_EOF.
    std::vector<uint8_t> bytes(uint16_t objects = 16) const;

private:
    std::vector<uint16_t> words_;
    uint32_t maxRecord_ = 3;
};

// A picture whose logical units are the pixels of a w x h canvas it is
// played onto: the window is w x h at (0, 0), and an invisible rectangle
// over the whole window (recorded one unit smaller, so w + 1 by h + 1) makes
// the converted picture's frame that window. Slots 0 and 1 are free again
// afterwards; a null pen and a null brush stay selected.
WmfWriter framedPicture(int w, int h);

// Escape data of GetWinMetaFileBits' comments carrying `emf` in chunks of
// at most `chunk` bytes, one vector per WMF_ESCAPE (MFCOMMENT).
std::vector<std::vector<uint8_t>> emfComments(const std::vector<uint8_t> &emf, size_t chunk);
// Sets the checksum word of the first comment so that the 16-bit sum of
// the whole metafile is zero, as GetWinMetaFileBits leaves it.
void fixCommentChecksum(std::vector<uint8_t> &wmf);

}  // namespace vtest
