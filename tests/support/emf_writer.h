// A small EMF writer for tests: records are appended in order and the header
// is completed by bytes().
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vtest {

// Record types used by the tests (values of the EMF format).
enum EmfRecord : uint32_t {
    EMR_HEADER = 1, EMR_POLYBEZIER = 2, EMR_POLYGON = 3, EMR_POLYLINE = 4,
    EMR_POLYBEZIERTO = 5, EMR_POLYLINETO = 6, EMR_POLYPOLYLINE = 7, EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9, EMR_SETWINDOWORGEX = 10, EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12, EMR_EOF = 14, EMR_SETPIXELV = 15, EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18, EMR_SETPOLYFILLMODE = 19, EMR_SETROP2 = 20, EMR_MOVETOEX = 27,
    EMR_SAVEDC = 33, EMR_RESTOREDC = 34, EMR_SETWORLDTRANSFORM = 35,
    EMR_MODIFYWORLDTRANSFORM = 36, EMR_SELECTOBJECT = 37, EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39, EMR_DELETEOBJECT = 40, EMR_ELLIPSE = 42,
    EMR_RECTANGLE = 43, EMR_ROUNDRECT = 44, EMR_LINETO = 54,
    EMR_POLYGON16 = 86, EMR_POLYLINE16 = 87, EMR_POLYPOLYGON16 = 91,
    EMR_SCALEVIEWPORTEXTEX = 31, EMR_SCALEWINDOWEXTEX = 32, EMR_INTERSECTCLIPRECT = 30,
    EMR_EXCLUDECLIPRECT = 29, EMR_OFFSETCLIPRGN = 26, EMR_SETMETARGN = 28,
    EMR_SETBKCOLOR = 25, EMR_SETARCDIRECTION = 57, EMR_ARC = 45, EMR_CHORD = 46, EMR_PIE = 47,
    EMR_BEGINPATH = 59, EMR_ENDPATH = 60, EMR_CLOSEFIGURE = 61, EMR_FILLPATH = 62,
    EMR_STROKEANDFILLPATH = 63, EMR_STROKEPATH = 64, EMR_SELECTCLIPPATH = 67, EMR_ABORTPATH = 68,
    EMR_GDICOMMENT = 70, EMR_FILLRGN = 71, EMR_EXTSELECTCLIPRGN = 75, EMR_EXTCREATEPEN = 95,
    EMR_POLYPOLYLINE16 = 90, EMR_POLYBEZIER16 = 85,
};

struct Pt {
    int32_t x, y;
};

class EmfWriter {
public:
    // bounds in device pixels, frame in 0.01 mm; the reference device is
    // `devicePx` pixels over `deviceMm` millimetres.
    EmfWriter(int32_t frameL, int32_t frameT, int32_t frameR, int32_t frameB,
              int32_t devicePxX = 1000, int32_t devicePxY = 1000, int32_t deviceMmX = 100,
              int32_t deviceMmY = 100);

    // A raw record: type and 32-bit parameters.
    EmfWriter &record(uint32_t type, std::initializer_list<int32_t> params);
    EmfWriter &recordBytes(uint32_t type, const std::vector<uint8_t> &payload);

    EmfWriter &createPen(uint32_t index, uint32_t style, int32_t width, uint32_t colorref);
    EmfWriter &createBrush(uint32_t index, uint32_t style, uint32_t colorref, uint32_t hatch = 0);
    EmfWriter &select(uint32_t indexOrStock);
    EmfWriter &rectangle(int32_t l, int32_t t, int32_t r, int32_t b);
    EmfWriter &ellipse(int32_t l, int32_t t, int32_t r, int32_t b);
    EmfWriter &polygon(const std::vector<Pt> &pts, bool sixteen = false);
    EmfWriter &polyline(const std::vector<Pt> &pts, bool sixteen = false);
    EmfWriter &moveTo(int32_t x, int32_t y);
    EmfWriter &lineTo(int32_t x, int32_t y);
    EmfWriter &polyPolygon(const std::vector<std::vector<Pt>> &polys, bool sixteen = false);
    // SETWORLDTRANSFORM (mode 0) or MODIFYWORLDTRANSFORM with `mode`.
    EmfWriter &worldTransform(float m11, float m12, float m21, float m22, float dx, float dy,
                              uint32_t mode = 0);
    EmfWriter &extCreatePen(uint32_t index, uint32_t style, int32_t width, uint32_t colorref,
                            const std::vector<uint32_t> &dashes = {});
    // EXTSELECTCLIPRGN with rectangles in reference-device pixels; no
    // rectangles writes a record without region data.
    EmfWriter &selectClipRects(uint32_t mode, const std::vector<std::vector<int32_t>> &rects);

    // The finished metafile, with EOF appended and the header's counts set.
    std::vector<uint8_t> bytes() const;

private:
    std::vector<uint8_t> body_;
    uint32_t records_ = 0;
    int32_t frame_[4];
    int32_t dev_[4];
};

constexpr uint32_t kStockNullPen = 0x80000008u;
constexpr uint32_t kStockNullBrush = 0x80000005u;
constexpr uint32_t kStockBlackBrush = 0x80000004u;
constexpr uint32_t kStockWhiteBrush = 0x80000000u;

inline uint32_t rgb(uint8_t r, uint8_t g, uint8_t b) { return r | g << 8 | uint32_t(b) << 16; }

// Writes `data` to a temporary file and returns its path.
std::string writeTempFile(const std::string &name, const std::vector<uint8_t> &data);

}  // namespace vtest
