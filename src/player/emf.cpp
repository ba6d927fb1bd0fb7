// Enhanced-metafile playback: each record is checked against its own size,
// decoded, and handed to the emulated device context.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "base/bytes.h"
#include "gdi/dc/dc.h"
#include "gdi/image/dib.h"
#include "gdi/raster/floodfill.h"
#include "gdi/text/font.h"
#include "player/emf_records.h"
#include "player/emf_bitmap.h"
#include "player/emf_text.h"
#include "player/object_table.h"
#include "player/player.h"
#include "player/records.h"

namespace vellora::player {

using base::u16;
using base::i16;
using base::u32;
using base::i32;
using base::f32;

namespace {

using gdi::Point;

constexpr uint32_t kSignature = 0x464D4520u;  // " EMF"
constexpr uint32_t kStockFlag = 0x80000000u;

class Player {
public:
    Player(gdi::DeviceContext &dc, uint32_t handles) : dc_(dc), objects_(handles, 1) {}

    // Plays one record of `size` bytes (header included, checked by the
    // caller to lie inside the data).
    void play(uint32_t type, const uint8_t *r, uint32_t size);

private:
    static bool has(uint32_t size, uint32_t need) { return size >= need; }
    int32_t arg(size_t off) const { return i32(rec_ + off); }
    Point point(size_t off) const { return {i32(rec_ + off), i32(rec_ + off + 4)}; }
    // Reads `count` points at `off`, 32- or 16-bit; false when they do not
    // fit in the record.
    bool points(size_t off, uint64_t count, bool sixteen, std::vector<Point> &out) const;
    bool regionRects(size_t off, uint64_t cb, std::vector<gdi::Rect> &out) const;
    gdi::BrushRef brushAt(uint32_t index);
    gdi::Matrix xform(size_t off) const;

    void polyRecord(uint32_t type, bool sixteen);
    void polyPolyRecord(uint32_t type, bool sixteen);
    void polyDrawRecord(bool sixteen);
    void selectObject(uint32_t index);
    void createPen();
    void extCreatePen();
    void createBrush();
    void createPatternBrush(bool mono);
    void paletteRecord(uint32_t type);
    void clipRegion();
    void regionPaint(uint32_t type);

    gdi::DeviceContext &dc_;
    ObjectTable objects_;
    const uint8_t *rec_ = nullptr;
    uint32_t size_ = 0;
    std::vector<Point> pts_;
};

bool Player::points(size_t off, uint64_t count, bool sixteen, std::vector<Point> &out) const {
    const uint64_t bytes = count * (sixteen ? 4 : 8);
    if (count > gdi::limits::kMaxPoints || off > size_ || bytes > size_ - off) return false;
    out.resize(size_t(count));
    const uint8_t *p = rec_ + off;
    for (size_t i = 0; i < count; ++i) {
        if (sixteen) out[i] = {i16(p + 4 * i), i16(p + 4 * i + 2)};
        else out[i] = {i32(p + 8 * i), i32(p + 8 * i + 4)};
    }
    return true;
}

gdi::Matrix Player::xform(size_t off) const {
    gdi::Matrix m;
    m.m11 = f32(rec_ + off);
    m.m12 = f32(rec_ + off + 4);
    m.m21 = f32(rec_ + off + 8);
    m.m22 = f32(rec_ + off + 12);
    m.dx = f32(rec_ + off + 16);
    m.dy = f32(rec_ + off + 20);
    return m;
}

void Player::polyRecord(uint32_t type, bool sixteen) {
    if (!points(28, u32(rec_ + 24), sixteen, pts_)) return;
    const size_t n = pts_.size();
    switch (type) {
    case emr::POLYBEZIER:
    case emr::POLYBEZIER16: dc_.polyBezier(pts_.data(), n); break;
    case emr::POLYGON:
    case emr::POLYGON16: dc_.polygon(pts_.data(), n); break;
    case emr::POLYLINE:
    case emr::POLYLINE16: dc_.polyline(pts_.data(), n); break;
    case emr::POLYBEZIERTO:
    case emr::POLYBEZIERTO16: dc_.polyBezierTo(pts_.data(), n); break;
    case emr::POLYLINETO:
    case emr::POLYLINETO16: dc_.polylineTo(pts_.data(), n); break;
    }
}

void Player::polyPolyRecord(uint32_t type, bool sixteen) {
    const uint64_t polys = u32(rec_ + 24), total = u32(rec_ + 28);
    if (polys == 0 || polys > gdi::limits::kMaxPoints || 32 + polys * 4 > size_) return;
    std::vector<uint32_t> counts;
    counts.resize(size_t(polys));
    uint64_t sum = 0;
    for (size_t i = 0; i < polys; ++i) {
        counts[i] = u32(rec_ + 32 + 4 * i);
        sum += counts[i];
    }
    if (sum > total) return;  // counts claim more points than the record holds
    if (!points(32 + size_t(polys) * 4, sum, sixteen, pts_)) return;
    if (type == emr::POLYPOLYGON || type == emr::POLYPOLYGON16)
        dc_.polyPolygon(pts_.data(), counts.data(), counts.size());
    else
        dc_.polyPolyline(pts_.data(), counts.data(), counts.size());
}

void Player::polyDrawRecord(bool sixteen) {
    const uint64_t n = u32(rec_ + 24);
    if (!points(28, n, sixteen, pts_)) return;
    const uint64_t typesAt = 28 + n * (sixteen ? 4 : 8);
    if (typesAt + n > size_) return;
    dc_.polyDraw(pts_.data(), rec_ + typesAt, size_t(n));
}

gdi::BrushRef Player::brushAt(uint32_t index) {
    if (index & kStockFlag) return gdi::stockBrush(index & ~kStockFlag);
    const Object *o = objects_.at(index);
    return o && o->kind == Object::Brush ? o->brush : nullptr;
}

void Player::selectObject(uint32_t index) {
    if (index & kStockFlag) {
        const uint32_t stock = index & ~kStockFlag;
        if (auto b = gdi::stockBrush(stock)) dc_.selectBrush(b);
        else if (auto p = gdi::stockPen(stock)) dc_.selectPen(p);
        else if ((stock >= 10 && stock <= 14) || stock == 16 || stock == 17) {
            dc_.state().font.reset();
            dc_.state().stockFont = stock;
        }
        return;
    }
    objects_.select(dc_, index);
}

void Player::createPen() {
    objects_.put(u32(rec_ + 8), Object::of(gdi::createPen(u32(rec_ + 12), i32(rec_ + 16), u32(rec_ + 24))));
}

void Player::extCreatePen() {
    const uint32_t index = u32(rec_ + 8);
    auto pen = std::make_shared<gdi::Pen>();
    pen->extended = true;
    pen->style = u32(rec_ + 28);
    pen->width = i32(rec_ + 32);
    pen->brush.style = u32(rec_ + 36);
    pen->brush.color = u32(rec_ + 40);
    pen->brush.hatch = u32(rec_ + 44);
    pen->color = pen->brush.color;
    const uint32_t entries = u32(rec_ + 48);
    const uint32_t style = pen->style & gdi::PS_STYLE_MASK;
    const bool geometric = (pen->style & gdi::PS_TYPE_MASK) == gdi::PS_GEOMETRIC;
    // The platform's ExtCreatePen checks, so that a pen it refuses is not
    // drawn here either.
    bool ok = style <= gdi::PS_ALTERNATE;
    if (entries && style != gdi::PS_USERSTYLE) ok = false;
    if (style == gdi::PS_USERSTYLE) {
        if (entries == 0 || entries > gdi::limits::kMaxStyleEntries || 52 + uint64_t(entries) * 4 > size_)
            ok = false;
        else
            for (uint32_t i = 0; i < entries; ++i) pen->dashes.push_back(u32(rec_ + 52 + 4 * i));
    }
    if (style == gdi::PS_INSIDEFRAME && !geometric) ok = false;
    if (style == gdi::PS_ALTERNATE && geometric) ok = false;
    if (!geometric && style != gdi::PS_NULL && pen->width != 1) ok = false;
    if (!ok) {
        objects_.put(index, Object{});
        return;
    }
    if (pen->brush.style != gdi::BS_SOLID && pen->brush.style != gdi::BS_HATCHED &&
        pen->brush.style != gdi::BS_NULL)
        pen->brush.style = gdi::BS_SOLID;  // pattern pens paint their colour here
    if (pen->brush.style == gdi::BS_NULL) pen->style = (pen->style & ~gdi::PS_STYLE_MASK) | gdi::PS_NULL;
    objects_.put(index, Object::of(gdi::PenRef(std::move(pen))));
}

void Player::createBrush() {
    objects_.put(u32(rec_ + 8), Object::of(gdi::createBrush(u32(rec_ + 12), u32(rec_ + 16), u32(rec_ + 20))));
}

void Player::createPatternBrush(bool mono) {
    const uint32_t index = u32(rec_ + 8);
    objects_.put(index, Object{});
    const uint32_t usage = u32(rec_ + 12);
    const uint64_t offBmi = u32(rec_ + 16), cbBmi = u32(rec_ + 20);
    const uint64_t offBits = u32(rec_ + 24), cbBits = u32(rec_ + 28);
    if (offBmi + cbBmi > size_ || offBits + cbBits > size_ || offBmi < 32 || offBits < 32) return;
    auto pattern = std::make_shared<gdi::Pattern>();
    if (!gdi::decodeBrushPattern(rec_ + offBmi, size_t(cbBmi), rec_ + offBits, size_t(cbBits), usage,
                                 dc_.state().palette.get(), mono, *pattern))
        return;
    objects_.put(index, Object::of(gdi::patternBrush(std::move(pattern))));
}

// Palettes change what PALETTEINDEX colours and DIB_PAL_COLORS tables name.
void Player::paletteRecord(uint32_t type) {
    const uint32_t index = u32(rec_ + 8);
    if (type == emr::SELECTPALETTE) {
        if (index == (kStockFlag | 15)) dc_.state().palette.reset();  // DEFAULT_PALETTE
        else if (const Object *o = objects_.at(index); o && o->kind == Object::Palette) dc_.state().palette = o->palette;
        return;
    }
    if (type == emr::CREATEPALETTE) {
        const uint32_t count = has(size_, 16) ? u16(rec_ + 14) : 0;
        if (16 + uint64_t(count) * 4 > size_) return objects_.put(index, Object{});
        objects_.put(index, Object::of(gdi::createPalette(rec_ + 16, count)));
        return;
    }
    Object *o = objects_.at(index);
    gdi::Palette *palette = o && o->kind == Object::Palette ? o->palette.get() : nullptr;
    if (!palette) return;
    if (type == emr::SETPALETTEENTRIES) {
        if (!has(size_, 20)) return;
        const uint64_t start = u32(rec_ + 12), count = u32(rec_ + 16);
        if (20 + count * 4 > size_ || count > gdi::kMaxPaletteEntries) return;
        std::vector<gdi::ColorRef> colors;
        for (size_t i = 0; i < count; ++i) colors.push_back(u32(rec_ + 20 + 4 * i));
        gdi::setPaletteEntries(*palette, uint32_t(start), colors.data(), uint32_t(count));
    } else if (type == emr::RESIZEPALETTE && has(size_, 16)) {
        gdi::resizePalette(*palette, u32(rec_ + 12));
    }
}

bool Player::regionRects(size_t off, uint64_t cb, std::vector<gdi::Rect> &out) const {
    out.clear();
    if (cb < 32 || off > size_ || cb > size_ - off) return false;
    const uint8_t *h = rec_ + off;
    const uint64_t headerSize = u32(h), count = u32(h + 8);
    if (headerSize < 32 || headerSize > cb) return false;
    if (count > gdi::limits::kMaxRegionRects || count * 16 > cb - headerSize) return false;
    out.reserve(size_t(count));
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *p = h + headerSize + 16 * i;
        out.push_back({i32(p), i32(p + 4), i32(p + 8), i32(p + 12)});
    }
    return true;
}

void Player::clipRegion() {
    const uint64_t cb = u32(rec_ + 8);
    const uint32_t mode = u32(rec_ + 12);
    if (mode < 1 || mode > 5) return;
    const auto op = static_cast<gdi::RegionOp>(mode);
    std::vector<gdi::Rect> rects;
    if (cb == 0 || !regionRects(16, cb, rects)) {
        if (op == gdi::RegionOp::Copy) dc_.selectClipRegion(nullptr, op);
        return;
    }
    const gdi::Region rgn = dc_.regionFromReference(rects);
    dc_.selectClipRegion(&rgn, op);
}

void Player::regionPaint(uint32_t type) {
    std::vector<gdi::Rect> rects;
    switch (type) {
    case emr::FILLRGN: {
        const gdi::BrushRef brush = brushAt(u32(rec_ + 28));
        if (!brush || !regionRects(32, u32(rec_ + 24), rects)) return;
        dc_.fillRegion(dc_.regionFromLogical(rects), *brush);
        break;
    }
    case emr::FRAMERGN: {
        const gdi::BrushRef brush = brushAt(u32(rec_ + 28));
        if (!brush || !regionRects(40, u32(rec_ + 24), rects)) return;
        dc_.frameRegion(dc_.regionFromLogical(rects), *brush, i32(rec_ + 32), i32(rec_ + 36));
        break;
    }
    case emr::INVERTRGN:
    case emr::PAINTRGN:
        if (!regionRects(28, u32(rec_ + 24), rects)) return;
        if (type == emr::INVERTRGN) dc_.invertRegion(dc_.regionFromLogical(rects));
        else dc_.paintRegion(dc_.regionFromLogical(rects));
        break;
    }
}

void Player::play(uint32_t type, const uint8_t *r, uint32_t size) {
    // Long: one case per record type, each a line or two; splitting the switch would only scatter the table.
    rec_ = r;
    size_ = size;
    // Smaller than its kind needs: skipped, as the decoders all skip it.
    if (size < emfRecord(type).minSize) return;
    gdi::DcState &st = dc_.state();
    switch (type) {
    case emr::POLYBEZIER:
    case emr::POLYGON:
    case emr::POLYLINE:
    case emr::POLYBEZIERTO:
    case emr::POLYLINETO: polyRecord(type, false); break;
    case emr::POLYBEZIER16:
    case emr::POLYGON16:
    case emr::POLYLINE16:
    case emr::POLYBEZIERTO16:
    case emr::POLYLINETO16: polyRecord(type - emr::POLYBEZIER16 + emr::POLYBEZIER, true); break;
    case emr::POLYPOLYLINE:
    case emr::POLYPOLYGON: polyPolyRecord(type, false); break;
    case emr::POLYPOLYLINE16: polyPolyRecord(emr::POLYPOLYLINE, true); break;
    case emr::POLYPOLYGON16: polyPolyRecord(emr::POLYPOLYGON, true); break;
    case emr::POLYDRAW: polyDrawRecord(false); break;
    case emr::POLYDRAW16: polyDrawRecord(true); break;

    case emr::SETWINDOWEXTEX:
        dc_.setWindowExt(arg(8), arg(12));
        break;
    case emr::SETWINDOWORGEX:
        dc_.setWindowOrg(arg(8), arg(12));
        break;
    case emr::SETVIEWPORTEXTEX:
        dc_.setViewportExt(arg(8), arg(12));
        break;
    case emr::SETVIEWPORTORGEX:
        dc_.setViewportOrg(arg(8), arg(12));
        break;
    case emr::SCALEVIEWPORTEXTEX:
        dc_.scaleViewportExt(arg(8), arg(12), arg(16), arg(20));
        break;
    case emr::SCALEWINDOWEXTEX:
        dc_.scaleWindowExt(arg(8), arg(12), arg(16), arg(20));
        break;
    case emr::SETBRUSHORGEX:
        st.brushOrg = point(8);
        break;
    case emr::SETMAPMODE:
        dc_.setMapMode(arg(8));
        break;
    case emr::SETBKMODE:
        if (arg(8) == gdi::TRANSPARENT || arg(8) == gdi::OPAQUE) st.bkMode = arg(8);
        break;
    case emr::SETPOLYFILLMODE:
        if (arg(8) == gdi::ALTERNATE || arg(8) == gdi::WINDING) st.polyFillMode = arg(8);
        break;
    case emr::SETROP2:
        if (arg(8) >= 1 && arg(8) <= 16) st.rop2 = arg(8);
        break;
    case emr::SETSTRETCHBLTMODE:
        if (arg(8) >= 1 && arg(8) <= 4) st.stretchMode = arg(8);
        break;
    case emr::SETTEXTALIGN:
        st.textAlign = u32(r + 8);
        break;
    case emr::SETTEXTCOLOR:
        st.textColor = u32(r + 8);
        break;
    case emr::SETBKCOLOR:
        st.bkColor = u32(r + 8);
        break;
    case emr::SETARCDIRECTION:
        if (arg(8) == gdi::AD_COUNTERCLOCKWISE || arg(8) == gdi::AD_CLOCKWISE)
            st.arcDirection = arg(8);
        break;
    case emr::SETMITERLIMIT:
        {
            // Written as an integer by some producers and as a float by others.
            const uint32_t v = u32(r + 8);
            const double limit = v < 0x10000 ? double(v) : double(f32(r + 8));
            if (std::isfinite(limit) && limit >= 1) st.miterLimit = limit;
        }
        break;
    case emr::SETLAYOUT:
        st.layout = u32(r + 8);
        break;
    case emr::SETMAPPERFLAGS:
        st.mapperFlags = u32(r + 8);
        break;
    case emr::SETTEXTJUSTIFICATION:
        st.breakExtra = arg(8), st.breakCount = arg(12);
        break;

    case emr::MOVETOEX:
        dc_.moveTo(point(8));
        break;
    case emr::LINETO:
        dc_.lineTo(point(8));
        break;
    case emr::SETPIXELV:
        dc_.setPixel(point(8), u32(r + 16));
        break;
    case emr::EXTFLOODFILL:
        gdi::extFloodFill(dc_, point(8), u32(r + 16), arg(20));
        break;
    case emr::RECTANGLE:
        dc_.rectangle(arg(8), arg(12), arg(16), arg(20));
        break;
    case emr::ELLIPSE:
        dc_.ellipse(arg(8), arg(12), arg(16), arg(20));
        break;
    case emr::ROUNDRECT:
        dc_.roundRect(arg(8), arg(12), arg(16), arg(20), arg(24), arg(28));
        break;
    case emr::ARC:
    case emr::CHORD:
    case emr::PIE:
    case emr::ARCTO:
        {
            const int kind = type == emr::ARC ? 0 : type == emr::CHORD ? 1 : type == emr::PIE ? 2 : -1;
            dc_.arc(arg(8), arg(12), arg(16), arg(20), point(24), point(32), kind);
        }
        break;
    case emr::ANGLEARC:
        dc_.angleArc(point(8), u32(r + 16), f32(r + 20), f32(r + 24));
        break;

    case emr::SAVEDC: dc_.saveDC(); break;
    case emr::RESTOREDC:
        dc_.restoreDC(arg(8));
        break;
    case emr::SETWORLDTRANSFORM:
        dc_.setWorldTransform(xform(8));
        break;
    case emr::MODIFYWORLDTRANSFORM:
        dc_.modifyWorldTransform(xform(8), arg(32));
        break;

    case emr::SELECTOBJECT:
        selectObject(u32(r + 8));
        break;
    case emr::DELETEOBJECT:
        objects_.remove(u32(r + 8));
        break;
    case emr::CREATEPEN: createPen(); break;
    case emr::EXTCREATEPEN: extCreatePen(); break;
    case emr::CREATEBRUSHINDIRECT: createBrush(); break;
    case emr::CREATEMONOBRUSH: createPatternBrush(true); break;
    case emr::CREATEDIBPATTERNBRUSHPT: createPatternBrush(false); break;
    case emr::EXTCREATEFONTINDIRECTW:
        // The LOGFONTW; the rest of the record (full name, style, design
        // vector) does not change the font drawn.
        objects_.put(u32(r + 8), Object::of(gdi::makeFont(gdi::decodeLogFontW(r + 12, size - 12))));
        break;
    case emr::CREATEPALETTE:
    case emr::SELECTPALETTE:
    case emr::SETPALETTEENTRIES:
    case emr::RESIZEPALETTE: paletteRecord(type); break;
    case emr::CREATECOLORSPACE:
        {
            Object o;
            o.kind = Object::Other;
            objects_.put(u32(r + 8), std::move(o));
        }
        break;

    case emr::INTERSECTCLIPRECT:
        dc_.intersectClipRect(arg(8), arg(12), arg(16), arg(20));
        break;
    case emr::EXCLUDECLIPRECT:
        dc_.excludeClipRect(arg(8), arg(12), arg(16), arg(20));
        break;
    case emr::OFFSETCLIPRGN:
        dc_.offsetClipRgn(arg(8), arg(12));
        break;
    case emr::EXTSELECTCLIPRGN: clipRegion(); break;
    case emr::SETMETARGN: dc_.setMetaRegion(); break;
    case emr::SELECTCLIPPATH:
        if (arg(8) >= 1 && arg(8) <= 5)
            dc_.selectClipPath(static_cast<gdi::RegionOp>(arg(8)));
        break;

    case emr::BEGINPATH: dc_.beginPath(); break;
    case emr::ENDPATH: dc_.endPath(); break;
    case emr::ABORTPATH: dc_.abortPath(); break;
    case emr::CLOSEFIGURE: dc_.closeFigure(); break;
    case emr::FILLPATH: dc_.fillPath(); break;
    case emr::STROKEPATH: dc_.strokePath(); break;
    case emr::STROKEANDFILLPATH: dc_.strokeAndFillPath(); break;
    case emr::FLATTENPATH: dc_.flattenPath(); break;
    case emr::WIDENPATH: dc_.widenPath(); break;

    case emr::FILLRGN:
    case emr::FRAMERGN:
    case emr::INVERTRGN:
    case emr::PAINTRGN: regionPaint(type); break;

    case emr::EXTTEXTOUTW:
    case emr::EXTTEXTOUTA:
    case emr::POLYTEXTOUTW:
    case emr::POLYTEXTOUTA:
    case emr::SMALLTEXTOUT: playTextRecord(dc_, type, r, size); break;

    default:
        if (isBitmapRecord(type)) playBitmapRecord(dc_, type, r, size);
        break;  // comments (EMF+ included), unknown records
    }
}

}  // namespace

bool isEnhMetaFile(const uint8_t *data, size_t size) {
    // As the platform checks: room for the full header structure, the
    // type and signature, and a size that is aligned and inside the data.
    // The header record's own size is not checked; playback starts after
    // it and finds nothing when it points past the end.
    if (!data || size < sizeof(ENHMETAHEADER)) return false;
    if (u32(data) != emr::HEADER || u32(data + 40) != kSignature) return false;
    const uint32_t bytes = u32(data + 48);
    return bytes % 4 == 0 && bytes <= size;
}

gdi::Matrix playbackTransform(const ENHMETAHEADER &h, const RECT &rect) {
    gdi::Matrix m;
    const double fw = double(h.rclFrame.right) - h.rclFrame.left;
    const double fh = double(h.rclFrame.bottom) - h.rclFrame.top;
    if (fw == 0 || fh == 0) return m;  // no frame: device units one to one
    const double rw = double(rect.right) - rect.left, rh = double(rect.bottom) - rect.top;
    // One reference pixel is szlMillimeters / szlDevice mm, the frame is in
    // 0.01 mm, and the frame's edges land on the rectangle's edges.
    const double pxX = h.szlDevice.cx > 0 && h.szlMillimeters.cx > 0
                           ? double(h.szlMillimeters.cx) / h.szlDevice.cx : 1.0;
    const double pxY = h.szlDevice.cy > 0 && h.szlMillimeters.cy > 0
                           ? double(h.szlMillimeters.cy) / h.szlDevice.cy : 1.0;
    m.m11 = rw * 100.0 / fw * pxX;
    m.m22 = rh * 100.0 / fh * pxY;
    m.dx = rect.left - rw / fw * h.rclFrame.left;
    m.dy = rect.top - rh / fh * h.rclFrame.top;
    if (!m.finite()) return gdi::Matrix();
    return m;
}

bool playEnhMetaFile(const Surface &surface, const uint8_t *data, size_t size, const RECT &rect) {
    if (!isEnhMetaFile(data, size) || !surface.top || surface.width <= 0 || surface.height <= 0)
        return false;
    ENHMETAHEADER h{};
    std::memcpy(&h, data, sizeof h);
    const size_t end = std::min<size_t>(size, h.nBytes);

    base::Surface bm = surface;
    gdi::DeviceCaps ref;
    ref.horzRes = h.szlDevice.cx;
    ref.vertRes = h.szlDevice.cy;
    ref.horzSize = h.szlMillimeters.cx;
    ref.vertSize = h.szlMillimeters.cy;
    gdi::DeviceContext dc(bm, ref, playbackTransform(h, rect), {0, 0, surface.width, surface.height});
    Player player(dc, h.nHandles);

    size_t off = h.nSize;
    while (off + 8 <= end && !dc.work().exhausted()) {
        const uint32_t type = u32(data + off), recSize = u32(data + off + 4);
        // A record reaching outside the data ends playback.
        if (recSize < 8 || recSize > end - off) break;
        if (type == emr::EOF_) break;
        player.play(type, data + off, recSize);
        off += recSize;
    }
    return true;
}

}  // namespace vellora::player
