// The emulated device context: the state a metafile changes (mapping,
// world transform, objects, modes, clipping, path, SaveDC stack) and the
// drawing primitives, in logical units, painted into a 32-bit BGRA bitmap
// the way the platform's own device context paints them. Record decoders
// (EMF, WMF) call these; text and bitmap modules build on transform(),
// clip() and paint().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "gdi/text/font.h"
#include "gdi/dc/objects.h"
#include "gdi/image/palette.h"
#include "gdi/raster/path.h"
#include "gdi/raster/raster.h"
#include "gdi/raster/region.h"
#include "gdi/raster/stroke.h"
#include "gdi/text/text_scratch.h"
#include "gdi/types.h"
#include "base/surface.h"

namespace vellora::gdi {

using base::Surface;

// Size of the reference device in pixels and millimetres; the metric map
// modes are defined against it.
struct DeviceCaps {
    int32_t horzRes = 1, vertRes = 1, horzSize = 1, vertSize = 1;
};

enum : int {
    MM_TEXT = 1, MM_LOMETRIC = 2, MM_HIMETRIC = 3, MM_LOENGLISH = 4, MM_HIENGLISH = 5,
    MM_TWIPS = 6, MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8,
};
enum : int { GM_COMPATIBLE = 1, GM_ADVANCED = 2 };
enum : int { MWT_IDENTITY = 1, MWT_LEFTMULTIPLY = 2, MWT_RIGHTMULTIPLY = 3, MWT_SET = 4 };
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : int { ALTERNATE = 1, WINDING = 2 };
enum : int { AD_COUNTERCLOCKWISE = 1, AD_CLOCKWISE = 2 };
enum : int { R2_BLACK = 1, R2_NOP = 11, R2_COPYPEN = 13, R2_WHITE = 16 };

// What paints the pixels of a region.
struct Paint {
    enum Kind { None, Solid, Pattern } kind = None;
    uint32_t color = 0;                    // BGRA word, alpha 0
    const gdi::Pattern *pattern = nullptr;  // Pattern: pixels
    uint32_t fore = 0, back = 0;           // mono patterns and hatches
    bool backTransparent = false;          // hatch gaps left alone
    Point origin;                          // device pixel of pattern (0, 0)
};

// BGRA word (alpha 0) of a COLORREF.
inline uint32_t colorWord(ColorRef c) {
    c = resolveColor(c);
    return (c >> 16 & 0xFF) | (c & 0xFF00) | (c & 0xFF) << 16;
}

// The same with PALETTEINDEX colours looked up in `palette` (the selected
// logical palette; null for the default one).
inline uint32_t colorWord(ColorRef c, const Palette *palette) {
    return colorWord(resolveColor(c, palette));
}

struct DcState {
    int mapMode = MM_TEXT;
    Point windowOrg, viewportOrg;
    Point windowExt{1, 1}, viewportExt{1, 1};
    Matrix world;
    int graphicsMode = GM_COMPATIBLE;

    PenRef pen;
    BrushRef brush;
    FontRef font;
    uint32_t stockFont = 13;  // SYSTEM_FONT until a font is selected

    ColorRef bkColor = 0xFFFFFF, textColor = 0;
    int bkMode = OPAQUE, rop2 = R2_COPYPEN, polyFillMode = ALTERNATE;
    int arcDirection = AD_COUNTERCLOCKWISE, stretchMode = 1;
    uint32_t textAlign = 0, layout = 0, mapperFlags = 0;
    int32_t textCharExtra = 0, breakExtra = 0, breakCount = 0;
    double miterLimit = 10;
    Point brushOrg;
    Point curPos;  // logical

    // Clipping in device pixels: the metafile's clip and its meta region;
    // null means none.
    std::shared_ptr<const Region> clip, metaRegion;

    std::shared_ptr<const Path> path;  // the path, open or closed

    PaletteRef palette;  // the selected logical palette; null: DEFAULT_PALETTE
};

class DeviceContext {
public:
    // Draws into `bitmap`; `base` maps the reference device's pixels onto
    // the bitmap (the playback rectangle's mapping), `bounds` limits every
    // pixel painted.
    DeviceContext(const Surface &bitmap, const DeviceCaps &reference, const Matrix &base,
                  const Rect &bounds);

    // ---- state
    DcState &state() { return s_; }
    const DcState &state() const { return s_; }
    void setMapMode(int mode);
    void setWindowOrg(int32_t x, int32_t y);
    void setViewportOrg(int32_t x, int32_t y);
    bool setWindowExt(int32_t x, int32_t y);
    bool setViewportExt(int32_t x, int32_t y);
    bool scaleWindowExt(int32_t xn, int32_t xd, int32_t yn, int32_t yd);
    bool scaleViewportExt(int32_t xn, int32_t xd, int32_t yn, int32_t yd);
    void offsetWindowOrg(int32_t dx, int32_t dy);
    void offsetViewportOrg(int32_t dx, int32_t dy);
    bool setWorldTransform(const Matrix &m);
    bool modifyWorldTransform(const Matrix &m, int mode);
    void setGraphicsMode(int mode);
    int saveDC();
    bool restoreDC(int level);

    void selectPen(PenRef pen) { if (pen) s_.pen = std::move(pen); }
    void selectBrush(BrushRef brush) { if (brush) s_.brush = std::move(brush); }

    // ---- transforms
    // Logical to device, as the platform computes it (single precision).
    const Matrix &transform() const { return xform_; }
    PointF toDeviceF(double x, double y) const { return xform_.apply(x, y); }
    Point toDevice(Point p) const;
    void toDevice(const Point *in, size_t n, std::vector<Point> &out) const;

    // ---- clipping (device pixels)
    void intersectClipRect(int32_t l, int32_t t, int32_t r, int32_t b);
    void excludeClipRect(int32_t l, int32_t t, int32_t r, int32_t b);
    void offsetClipRgn(int32_t dx, int32_t dy);  // logical offset
    // `rgn` null with RGN_COPY resets the clip.
    void selectClipRegion(const Region *rgn, RegionOp op);
    void setMetaRegion();
    // The pixels drawing may touch now: bounds, meta region and clip.
    const Region &clip();

    // ---- primitives (logical units)
    void moveTo(Point p);
    void lineTo(Point p);
    void polyline(const Point *pts, size_t n);
    void polylineTo(const Point *pts, size_t n);
    void polyPolyline(const Point *pts, const uint32_t *counts, size_t n);
    void polygon(const Point *pts, size_t n);
    void polyPolygon(const Point *pts, const uint32_t *counts, size_t n);
    void polyBezier(const Point *pts, size_t n);
    void polyBezierTo(const Point *pts, size_t n);
    void polyDraw(const Point *pts, const uint8_t *types, size_t n);
    void rectangle(int32_t l, int32_t t, int32_t r, int32_t b);
    void roundRect(int32_t l, int32_t t, int32_t r, int32_t b, int32_t w, int32_t h);
    void ellipse(int32_t l, int32_t t, int32_t r, int32_t b);
    // kind: 0 arc, 1 chord, 2 pie, -1 arcto
    void arc(int32_t l, int32_t t, int32_t r, int32_t b, Point start, Point end, int kind);
    void angleArc(Point centre, uint32_t radius, float start, float sweep);
    void setPixel(Point p, ColorRef c);

    // ---- regions (device pixels as given by the records)
    void fillRegion(const Region &rgn, const Brush &brush);
    void frameRegion(const Region &rgn, const Brush &brush, int32_t w, int32_t h);
    void invertRegion(const Region &rgn);
    void paintRegion(const Region &rgn);

    // ---- paths
    void beginPath();
    void endPath();
    void abortPath();
    void closeFigure();
    void fillPath();
    void strokePath();
    void strokeAndFillPath();
    void flattenPath();
    void widenPath();
    void selectClipPath(RegionOp op);
    bool pathOpen() const { return s_.path && s_.path->open; }
    // The open path (device points), for modules that add figures of their
    // own (text outlines); null when no path is open.
    Path *currentPath() { return pathOpen() ? &openPath() : nullptr; }

    // ---- painting, for modules that draw their own shapes
    // Paints `pixels` (device) clipped to clip(), with `paint` and `rop2`.
    void paint(const Region &pixels, const Paint &paint, int rop2);
    void paintSpans(SpanSink &spans, const Paint &paint, int rop2);
    Paint brushPaint(const Brush &brush) const;
    Paint penPaint() const;
    // Region record data: rectangles in logical units (FillRgn and kin),
    // or in reference-device pixels (clip regions).
    Region regionFromLogical(const std::vector<Rect> &rects) const;
    Region regionFromReference(const std::vector<Rect> &rects) const;
    Surface &bitmap() { return bitmap_; }
    const Rect &bounds() const { return bounds_; }
    WorkBudget &work() { return work_; }

private:
    void updateTransform();
    void fixIsotropic();
    void setClip(Region r);
    Path &openPath();

    // Device-space drawing of outlines and fills.
    struct PenInfo {
        bool null = true, cosmetic = true;
        bool wide = false;    // drawn as polygons (width above one pixel)
        bool region = false;  // outline painted as one region over the fill
        int32_t width = 1;  // device pixels
        uint32_t style = PS_SOLID, endcap = PS_ENDCAP_ROUND, join = PS_JOIN_ROUND;
        std::vector<uint32_t> dashes;  // device pixels, on/off
    };
    PenInfo penInfo() const;
    // Draws the pen along device figures, each open or closed.
    void strokeOutline(const std::vector<Point> &pts, const std::vector<uint32_t> &counts,
                       const std::vector<bool> &closed, const PenInfo &pen, SpanSink &on,
                       SpanSink &off);
    void fillAndStroke(const std::vector<Point> &pts, const std::vector<uint32_t> &counts,
                       const std::vector<bool> &closed, bool fill, bool stroke);
    void drawPath(bool fill, bool stroke);
    // Paints the brush over the kept interior region (when `haveFill`) and
    // the pen along the figures, as the filled primitives all do.
    void paintFillAndOutline(bool haveFill, const std::vector<Point> &pts,
                             const std::vector<uint32_t> &counts, const std::vector<bool> &closed,
                             const PenInfo &pen);
    // Sets the kept figure counts to one figure of `points` points.
    void oneFigure(size_t points, bool closed);
    void fillAndStrokeShape(const std::vector<Point> &outline, SpanSink &interior, const PenInfo &pen);
    void strokeShape(const std::vector<Point> &pts, bool closed, const PenInfo &pen);
    // The device box of a rectangle record, shrunk for PS_INSIDEFRAME;
    // false when it is empty.
    bool penRect(int32_t l, int32_t t, int32_t r, int32_t b, const PenInfo &pen, Rect &rect) const;
    // Sets a window or viewport extent where the map mode allows it.
    bool changeExtent(Point &ext, int64_t x, int64_t y);
    // A round rectangle or ellipse under a turning world transform.
    void turnedRoundRect(int32_t l, int32_t t, int32_t r, int32_t b, int32_t ew, int32_t eh);
    void ellipseRows(const std::vector<Point> &pts, SpanSink &out);
    void ellipsePath(int32_t l, int32_t t, int32_t r, int32_t b);
    void arcPath(int32_t l, int32_t t, int32_t r, int32_t b, const PointF *start, const PointF *end, int kind);

    Surface bitmap_;
    DeviceCaps ref_;
    Matrix base_, xform_;
    Rect bounds_;
    DcState s_;
    std::vector<DcState> saved_;
    WorkBudget work_;
    Region clipCache_;
    bool clipDirty_ = true;

    // Working memory of the drawing calls, kept from record to record so
    // that common records allocate nothing once it has grown.
    struct Scratch {
        std::vector<Point> pts;
        std::vector<uint32_t> counts;
        std::vector<bool> closed;
        std::vector<Point> quad, shape;
        std::vector<std::pair<int32_t, int32_t>> rows;
        SpanSink fill, on, off;
        Region interior, outline, extra;
        StrokeScratch stroke;
        TextScratch text;
    };
    Scratch scratch_;

public:
    TextScratch &textScratch() { return scratch_.text; }

    // The fonts the text records realized last, with what they were realized
    // from: text comes in runs in a few fonts, and realizing goes through
    // the process-wide font cache and its lock.
    struct FontMemo {
        struct Entry {
            LogFont selected;
            double m11 = 0, m12 = 0, m21 = 0, m22 = 0;
            int graphicsMode = 0;
            RealizedFontRef font;
        };
        Entry entries[4];
        unsigned next = 0;  // the entry to replace
    };
    FontMemo &fontMemo() const { return fontMemo_; }

private:
    mutable FontMemo fontMemo_;
};

}  // namespace vellora::gdi
