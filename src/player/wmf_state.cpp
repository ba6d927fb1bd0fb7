// The part of Windows-metafile playback both passes share: record
// parameters, objects, DC state and mapping, and the decoding of the
// records one pass measures and the other draws.
#include "player/wmf_state.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "gdi/dc/objects.h"
#include "gdi/image/palette.h"
#include "gdi/image/rop.h"
#include "gdi/text/font.h"
#include "player/records.h"
#include "player/wmf_records.h"

namespace vellora::player::wmf {

using base::i16;
using gdi::Point;

bool State::points(size_t at, size_t count, std::vector<gdi::Point> &out) const {
    if (at > words_ || count > (words_ - at) / 2) return false;
    out.resize(count);
    for (size_t i = 0; i < count; ++i) out[i] = {s(at + 2 * i), s(at + 2 * i + 1)};
    return true;
}

void State::createPen() {
    objects_.add(Object::of(gdi::createPen(w(0), s(1), color(3))));
}

void State::createBrush() {
    // A brush the platform refuses takes no slot.
    if (auto brush = gdi::createBrush(w(0), color(1), w(3))) objects_.add(Object::of(std::move(brush)));
}

void State::createFont() {
    // LOGFONT16; short records cut the face name off.
    objects_.add(Object::of(gdi::makeFont(gdi::decodeLogFont16(p_, words_ * 2))));
}

bool State::packedDib(size_t at, uint32_t usage, gdi::DibInfo &info, const uint8_t *&bits,
                       size_t &bitsSize) const {
    const size_t bytes = words_ * 2;
    if (at >= bytes || usage > gdi::DIB_PAL_COLORS) return false;
    const uint8_t *dib = p_ + at;
    if (!gdi::readDibInfo(dib, bytes - at, usage, dc_.state().palette.get(), info)) return false;
    if (info.compression == gdi::BI_JPEG || info.compression == gdi::BI_PNG) return false;
    const size_t head = gdi::packedDibHeaderSize(info, usage);
    if (head > bytes - at) return false;
    bits = dib + head;
    bitsSize = bytes - at - head;
    return true;
}

void State::createDibBrush() {
    // Style (pattern or DIB pattern: the same here), colour usage, packed
    // DIB, which keeps its own colours.
    const uint32_t usage = w(1);
    gdi::DibInfo info;
    const uint8_t *bits = nullptr;
    size_t bitsSize = 0;
    if (!packedDib(4, usage, info, bits, bitsSize)) return;
    auto pattern = std::make_shared<gdi::Pattern>();
    const size_t head = size_t(bits - (p_ + 4));
    if (!gdi::decodeBrushPattern(p_ + 4, head, bits, bitsSize, usage, dc_.state().palette.get(), false,
                                 *pattern))
        return;
    objects_.add(Object::of(gdi::patternBrush(std::move(pattern))));
}

bool State::bitmap16(size_t at, gdi::DibImage &out) const {
    // Type, width, height, bytes a row, planes and bits a pixel (a byte
    // each), then the rows, top first. Monochrome bits draw in the text
    // colour (0) and the background colour (1), as a monochrome bitmap
    // blitted to a colour device does; 24- and 32-bit rows are BGR.
    // Palette-indexed device bitmaps depend on a device palette a file
    // does not carry, and are refused.
    const size_t bytes = words_ * 2;
    if (at > bytes || bytes - at < 10) return false;
    const uint8_t *b = p_ + at;
    const int32_t width = i16(b + 2), height = i16(b + 4), rowBytes = i16(b + 6);
    const uint8_t planes = b[8], bpp = b[9];
    if (width <= 0 || height <= 0 || planes != 1 || (bpp != 1 && bpp != 24 && bpp != 32)) return false;
    if (rowBytes < int64_t(width) * bpp / 8 || uint64_t(width) * uint64_t(height) > gdi::kMaxDibPixels) return false;
    if (uint64_t(rowBytes) * uint64_t(height) > bytes - at - 10) return false;
    const uint32_t fore = gdi::colorWord(dc_.state().textColor), back = gdi::colorWord(dc_.state().bkColor);
    out.width = width;
    out.height = height;
    out.written.clear();
    out.keepsAlpha = false;
    out.pixels.resize(size_t(width) * size_t(height));
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t *row = b + 10 + size_t(y) * size_t(rowBytes);
        uint32_t *dst = out.pixels.data() + size_t(y) * size_t(width);
        for (int32_t x = 0; x < width; ++x) {
            if (bpp == 1) {
                dst[x] = (row[x / 8] >> (7 - x % 8)) & 1 ? back : fore;
            } else {
                const uint8_t *px = row + size_t(x) * (bpp / 8);
                dst[x] = uint32_t(px[0]) | uint32_t(px[1]) << 8 | uint32_t(px[2]) << 16;
            }
        }
    }
    return true;
}

void State::createDdbBrush() {
    // Bitmap16 (type, width, height, bytes a row, planes, bits a pixel, a
    // 32-bit pointer), 18 reserved bytes, then the rows top first. Only
    // monochrome bitmaps are device independent enough to use: they draw in
    // the text and background colours.
    const int32_t width = s(1), height = s(2), rowBytes = s(3);
    const uint16_t planes = w(4) & 0xFF, bpp = w(4) >> 8;
    if (width <= 0 || height <= 0 || planes != 1 || bpp != 1 || rowBytes < (width + 7) / 8) return;
    if (uint64_t(width) * uint64_t(height) > gdi::kMaxPatternPixels) return;
    const size_t at = 2 * 7 + 18;
    const uint64_t need = uint64_t(rowBytes) * uint64_t(height);
    if (need > words_ * 2 - at) return;
    auto pattern = std::make_shared<gdi::Pattern>();
    pattern->width = width;
    pattern->height = height;
    pattern->mono = true;
    pattern->pixels.resize(size_t(width) * size_t(height));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t byte = p_[at + size_t(y) * size_t(rowBytes) + size_t(x / 8)];
            pattern->pixels[size_t(y) * size_t(width) + size_t(x)] = (byte >> (7 - x % 8)) & 1;
        }
    objects_.add(Object::of(gdi::patternBrush(std::move(pattern))));
}

void State::createRegion() {
    // Region object: next in chain, type, object count, size in bytes, scan
    // count, largest scan, bounding box, then the scans: count of x values,
    // top, bottom, the x pairs, the count again. A malformed scan drops the
    // whole region, as the platform refuses it.
    const uint16_t scans = w(5);
    auto rects = std::make_shared<std::vector<gdi::Rect>>();
    size_t at = 11;
    for (uint16_t i = 0; i < scans; ++i) {
        if (at >= words_) return;
        const uint16_t n = w(at);
        if (n % 2) return;
        if (size_t(n) + 3 >= words_ - at) return;  // scan past the record
        if (w(at + n + 3) != n) return;
        const int32_t top = s(at + 1), bottom = s(at + 2);
        for (size_t k = 0; k < n; k += 2) {
            int32_t l = s(at + 3 + k), r = s(at + 4 + k);
            int32_t t = top, b = bottom;
            if (l > r) std::swap(l, r);
            if (t > b) std::swap(t, b);
            if (l < r && t < b && rects->size() < gdi::limits::kMaxRegionRects) rects->push_back({l, t, r, b});
        }
        at += size_t(n) + 4;
    }
    Object o;
    o.kind = Object::Region;
    if (!rects->empty()) {
        gdi::Rect bb = (*rects)[0];
        for (const gdi::Rect &r : *rects) {
            bb.left = std::min(bb.left, r.left), bb.top = std::min(bb.top, r.top);
            bb.right = std::max(bb.right, r.right), bb.bottom = std::max(bb.bottom, r.bottom);
        }
        o.box = bb;
    }
    o.rects = std::move(rects);
    objects_.add(std::move(o));
}

void State::createPalette() {
    // LOGPALETTE: version, entry count, entries (red, green, blue, flags).
    const uint16_t n = w(1);
    if (size_t(n) * 2 > words_ - 2) return;
    if (auto palette = gdi::createPalette(p_ + 4, n)) objects_.add(Object::of(std::move(palette)));
}

// SELECTPALETTE (palette index), SETPALENTRIES and ANIMATEPALETTE (start,
// count, entries; animation changes the entries as setting does), and
// RESIZEPALETTE (new count) on the palette selected into the DC.
void State::paletteRecord(uint16_t func) {
    gdi::DcState &st = dc_.state();
    if (func == meta::SELECTPALETTE) {
        Object *o = slot(w(0));
        if (o && o->kind == Object::Palette) st.palette = o->palette;
        return;
    }
    // The records name no palette: they change the one selected.
    gdi::Palette *palette = objects_.selectedPalette(dc_);
    if (!palette) return;
    if (func == meta::RESIZEPALETTE) {
        gdi::resizePalette(*palette, w(0));
        return;
    }
    const uint16_t start = w(0), n = w(1);
    if (size_t(n) * 2 > words_ - 2) return;
    std::vector<gdi::ColorRef> colors(n);
    for (size_t i = 0; i < n; ++i) colors[i] = color(2 + 2 * i) & 0xFFFFFF;
    gdi::setPaletteEntries(*palette, start, colors.data(), n);
}

State::State(gdi::DeviceContext &dc, uint32_t slots) : dc_(dc), objects_(slots, 0) {
    // What the conversion records before the first WMF record.
    dc_.setMapMode(gdi::MM_ANISOTROPIC);
    dc_.setViewportExt(kRefWidth, kRefHeight);
    dc_.setWindowExt(kRefWidth, kRefHeight);
}

bool State::begin(uint16_t func, const uint8_t *p, size_t words) {
    p_ = p;
    words_ = words;
    return 6 + 2 * uint64_t(words) >= wmfRecord(func).minSize;
}

bool State::applyShared(uint16_t func) {
    gdi::DcState &st = dc_.state();
    switch (func) {
    case meta::SETBKCOLOR: st.bkColor = color(0); break;
    case meta::SETTEXTCOLOR: st.textColor = color(0); break;
    case meta::SETBKMODE:
        if (w(0) == gdi::TRANSPARENT || w(0) == gdi::OPAQUE) st.bkMode = w(0);
        break;
    case meta::SETROP2:
        if (w(0) >= 1 && w(0) <= 16) st.rop2 = w(0);
        break;
    case meta::SETPOLYFILLMODE:
        if (w(0) == gdi::ALTERNATE || w(0) == gdi::WINDING) st.polyFillMode = w(0);
        break;
    case meta::SETSTRETCHBLTMODE:
        if (w(0) >= 1 && w(0) <= 4) st.stretchMode = w(0);
        break;
    case meta::SETTEXTALIGN: st.textAlign = w(0); break;
    case meta::SETMAPPERFLAGS: st.mapperFlags = color(0); break;
    case meta::SETLAYOUT: st.layout = w(0); break;
    case meta::SETRELABS: break;  // no effect since 16-bit Windows
    case meta::SAVEDC: dc_.saveDC(); break;
    case meta::RESTOREDC: dc_.restoreDC(s(0)); break;

    case meta::DELETEOBJECT: objects_.remove(w(0)); break;
    case meta::CREATEPENINDIRECT: createPen(); break;
    case meta::CREATEBRUSHINDIRECT: createBrush(); break;
    case meta::CREATEFONTINDIRECT: createFont(); break;
    case meta::DIBCREATEPATTERNBRUSH: createDibBrush(); break;
    case meta::CREATEPATTERNBRUSH: createDdbBrush(); break;
    case meta::CREATEREGION: createRegion(); break;
    case meta::CREATEPALETTE: createPalette(); break;
    case meta::SELECTPALETTE:
    case meta::ANIMATEPALETTE:
    case meta::SETPALENTRIES:
    case meta::RESIZEPALETTE: paletteRecord(func); break;
    case meta::REALIZEPALETTE: break;  // a 32-bit device maps no colours

    // Escapes: comments, and printer escapes a memory DC does not honour.
    // Nothing in a metafile makes playback call back or stop (SETABORTPROC
    // included).
    case meta::ESCAPE: break;
    default: return applyMapping(func);
    }
    return true;
}

bool State::applyMapping(uint16_t func) {
    switch (func) {
    case meta::SETMAPMODE: dc_.setMapMode(s(0)); break;
    case meta::SETWINDOWORG: dc_.setWindowOrg(s(1), s(0)); break;
    case meta::SETWINDOWEXT: dc_.setWindowExt(s(1), s(0)); break;
    case meta::SETVIEWPORTORG: dc_.setViewportOrg(s(1), s(0)); break;
    case meta::SETVIEWPORTEXT: dc_.setViewportExt(s(1), s(0)); break;
    case meta::OFFSETWINDOWORG: dc_.offsetWindowOrg(s(1), s(0)); break;
    case meta::OFFSETVIEWPORTORG: dc_.offsetViewportOrg(s(1), s(0)); break;
    case meta::SCALEWINDOWEXT: dc_.scaleWindowExt(s(3), s(2), s(1), s(0)); break;
    case meta::SCALEVIEWPORTEXT: dc_.scaleViewportExt(s(3), s(2), s(1), s(0)); break;
    default: return false;
    }
    return true;
}

bool State::box(size_t first, int32_t &l, int32_t &t, int32_t &r, int32_t &b) const {
    b = s(first), r = s(first + 1), t = s(first + 2), l = s(first + 3);
    if (l == r || t == b) return false;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    --r, --b;
    return true;
}

bool State::polyPolygon(bool &bounded) {
    const size_t polys = w(0);
    if (polys > words_ - 1) return false;
    counts_.assign(polys, 0);
    size_t total = 0;
    bounded = polys > 0;
    for (size_t i = 0; i < polys; ++i) {
        const uint16_t c = w(1 + i);
        // A negative count makes the recorded point total wrap; playback
        // drops such a record.
        if (c & 0x8000) return false;
        counts_[i] = c;
        total += c;
        if (c < 2) bounded = false;
    }
    if (!points(1 + polys, total, pts_)) return false;
    // The recorder writes the record even when a polygon has fewer than two
    // points, but bounds it only when all are whole.
    if (total == 0) bounded = false;
    return true;
}

const Object *State::regionOf(uint16_t func, gdi::BrushRef &brush) {
    // FILLREGION: brush, region. FRAMEREGION: height, width, brush, region.
    // INVERTREGION, PAINTREGION: region.
    size_t regionAt = 0, brushAt = 0;
    switch (func) {
    case meta::FILLREGION: regionAt = 1, brushAt = 0; break;
    case meta::FRAMEREGION: regionAt = 3, brushAt = 2; break;
    default: regionAt = 0; break;
    }
    const Object *rgn = slot(w(regionAt));
    if (!rgn || rgn->kind != Object::Region) return nullptr;
    if (func == meta::FILLREGION || func == meta::FRAMEREGION) {
        const Object *b = slot(w(brushAt));
        if (!b || b->kind != Object::Brush) return nullptr;
        brush = b->brush;
    }
    return rgn;
}

// The bitmap records, as the platform plays them on the recording DC:
// STRETCHDIB, DIBSTRETCHBLT and DIBBITBLT are StretchDIBits (the source
// counted from the bottom of a bottom-up DIB), SETDIBTODEV is
// SetDIBitsToDevice, STRETCHBLT and BITBLT blit a device-dependent bitmap.
bool State::blitArgs(uint16_t func, BlitArgs &a) const {
    a.usage = gdi::DIB_RGB_COLORS;
    a.dib = func == meta::STRETCHDIB || func == meta::DIBSTRETCHBLT || func == meta::DIBBITBLT;
    switch (func) {
    case meta::STRETCHDIB:
        // rop, usage, source h, w, y, x, destination h, w, y, x, DIB
        a.rop = color(0), a.usage = w(2);
        a.hs = s(3), a.ws = s(4), a.ys = s(5), a.xs = s(6), a.ht = s(7), a.wd = s(8), a.y = s(9), a.x = s(10);
        a.bitmapAt = 22;
        return true;
    case meta::DIBSTRETCHBLT:
    case meta::STRETCHBLT: {
        // rop, source h, w, y, x, [reserved when no bitmap], destination h,
        // w, y, x, bitmap
        a.hasBitmap = words_ > 11;  // the bare form is 11 words
        const size_t d = a.hasBitmap ? 6 : 7;
        if (!has(d + 4)) return false;
        a.rop = color(0), a.hs = s(2), a.ws = s(3), a.ys = s(4), a.xs = s(5);
        a.ht = s(d), a.wd = s(d + 1), a.y = s(d + 2), a.x = s(d + 3);
        a.bitmapAt = 2 * (d + 4);
        return true;
    }
    case meta::DIBBITBLT:
    case meta::BITBLT: {
        // rop, source y, x, [reserved when no bitmap], h, w, destination y,
        // x, bitmap
        a.hasBitmap = words_ > 9;  // the bare form is 9 words
        const size_t d = a.hasBitmap ? 4 : 5;
        if (!has(d + 4)) return false;
        a.rop = color(0), a.ys = s(2), a.xs = s(3);
        a.ht = s(d), a.wd = s(d + 1), a.y = s(d + 2), a.x = s(d + 3);
        a.hs = a.ht, a.ws = a.wd;
        a.bitmapAt = 2 * (d + 4);
        return true;
    }
    case meta::SETDIBTODEV:
        // usage, scan count, first scan, source y, x, h, w, destination y,
        // x, DIB
        a.usage = w(0), a.lines = w(1), a.startScan = w(2);
        a.ys = s(3), a.xs = s(4), a.ht = s(5), a.wd = s(6), a.y = s(7), a.x = s(8);
        a.bitmapAt = 18;
        return true;
    default: return false;
    }
}

bool State::patternOnly(const BlitArgs &a) {
    return !a.hasBitmap || (!a.dib && !gdi::ropUsesSource(gdi::ropCode(a.rop)));
}

// TEXTOUT and EXTTEXTOUT, as the recorder turns them into EXTTEXTOUTW:
// the string in UTF-16 through the font's code page, one advance per
// character (the record's, summed over the bytes of a character, or what
// the recording DC measures a character to be), and the font's height.
bool State::textRun(uint16_t func, gdi::DeviceContext &measure, TextRun &run) {
    size_t count = 0, strAt = 0, dxAt = 0;
    bool haveDx = false;
    if (func == meta::TEXTOUT) {
        // count, string, y, x
        count = w(0);
        const size_t strWords = (count + 1) / 2;
        if (!has(1 + strWords + 2)) return false;
        strAt = 2;
        run.y = s(1 + strWords);
        run.x = s(2 + strWords);
    } else {
        // y, x, count, options, [rectangle], string, [dx]
        run.y = s(0), run.x = s(1);
        count = w(2);
        run.options = w(3) & ~uint32_t(gdi::ETO_PDY);  // one advance a byte here
        size_t at = 4;
        if (run.options & (gdi::ETO_OPAQUE | gdi::ETO_CLIPPED)) {
            if (!has(8)) return false;
            run.rect = {s(4), s(5), s(6), s(7)};
            run.haveRect = true;
            at = 8;
        }
        const size_t strWords = (count + 1) / 2;
        if (!has(at + strWords)) return false;
        strAt = at * 2;
        // The advances are there when the record is exactly long enough
        // for them; any other length is read as none.
        if (count && words_ == at + strWords + count) haveDx = true, dxAt = at + strWords;
    }

    gdi::TextScratch &ts = dc_.textScratch();
    std::u16string &wide = ts.chars;
    std::vector<uint8_t> &units = ts.units;
    gdi::decodeText(p_ + strAt, count, gdi::textCodePage(measure), wide, &units);
    const size_t n = run.count = wide.size();
    std::vector<int32_t> &dx = ts.dx;
    dx.assign(n, 0);
    if (haveDx) {
        size_t b = 0;
        for (size_t i = 0; i < n; ++i) {
            int64_t sum = 0;
            for (size_t k = 0; k < units[i] && b + k < count; ++k) sum += s(dxAt + b + k);
            b += units[i];
            dx[i] = int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, sum)));
            run.width += dx[i];
        }
        run.height = gdi::textExtentW(measure, wide.data(), n).y;
    } else {
        for (size_t i = 0; i < n; ++i) {
            const Point e = gdi::textExtentW(measure, wide.data() + i, 1);
            dx[i] = e.x;
            run.width += e.x;
            run.height = std::max(run.height, e.y);
        }
    }
    return true;
}

}  // namespace vellora::player::wmf
