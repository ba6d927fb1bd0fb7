// Windows metafiles. The platform draws one by converting it to an enhanced
// metafile first (SetWinMetaFileBits without a reference DC or picture
// format): a recording DC on the display, mapping MM_ANISOTROPIC with the
// viewport and window both the display's size, plays the records, and the
// picture's frame is the bounding box of what they drew. Both steps run
// here over the WMF records themselves: a measuring pass finds that box on
// the reference device, then a drawing pass hands each record, as the
// recording DC would have recorded it, to the device context the EMF
// player drives. docs/wmf.md has the reasoning.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "base/bytes.h"
#include "gdi/image/blit.h"
#include "gdi/dc/dc.h"
#include "gdi/image/dib.h"
#include "gdi/raster/floodfill.h"
#include "gdi/text/font.h"
#include "gdi/image/palette.h"
#include "gdi/image/rop.h"
#include "player/objects.h"
#include "gdi/text/text.h"
#include "player/player.h"
#include "player/records.h"
#include "player/wmf_records.h"

namespace vellora::player {

using base::u16;
using base::i16;
using base::u32;

namespace {

using gdi::Point;

// The reference device of the conversion: a 1024 x 768 display at 96 dpi.
// Windows takes whatever screen it runs on; a fixed, common one keeps the
// pictures the same on every machine.
constexpr int32_t kRefWidth = 1024, kRefHeight = 768;
constexpr int32_t kRefWidthMm = 271, kRefHeightMm = 203;

constexpr size_t kHeaderBytes = 18;
constexpr uint32_t kEmfSignature = 0x464D4520u;  // " EMF"
constexpr uint32_t kWmfcMagic = 0x43464D57u;      // "WMFC", EMF chunks in comments

// ---------------------------------------------------------------- header

struct WmfHeader {
    size_t end = 0;        // bytes of the data that records may occupy
    uint32_t objects = 0;  // object table slots
};

bool readHeader(const uint8_t *data, size_t size, WmfHeader &h) {
    if (!isWinMetaFile(data, size)) return false;
    // mtSize is not trusted: the records run to the end of the data (the
    // platform sizes the metafile from the buffer it is given) and stop at
    // META_EOF. mtMaxRecord is not used at all.
    h.end = size & ~size_t(1);
    h.objects = u16(data + 10);
    return true;
}

// Calls f(function, params, words) for each record up to META_EOF; a
// record smaller than its own header or reaching past the data ends the
// walk. Linear in the data: every record advances by its size.
template <class F>
void forEachRecord(const uint8_t *data, const WmfHeader &h, F &&f) {
    size_t off = kHeaderBytes;
    while (off + 6 <= h.end) {
        const uint32_t words = u32(data + off);
        const uint16_t func = u16(data + off + 4);
        if (words < 3 || words > (h.end - off) / 2) break;
        if (func == meta::EOF_) break;
        if (!f(func, data + off + 6, size_t(words) - 3)) break;
        off += size_t(words) * 2;
    }
}

// ---------------------------------------------------------- embedded EMF

// A WMF written by GetWinMetaFileBits carries the original EMF in MFCOMMENT
// escapes at its start; converting it back returns that EMF. It is taken
// when the chunks come first and in order, their sizes agree, and the 16-bit
// sum of the whole WMF is zero, as SetWinMetaFileBits checks.
bool embeddedEmf(const uint8_t *data, const WmfHeader &h, std::vector<uint8_t> &emf) {
    emf.clear();
    uint32_t total = 0, remaining = 0, chunks = 0;
    bool started = false, done = false;
    forEachRecord(data, h, [&](uint16_t func, const uint8_t *p, size_t words) {
        // Escape function, byte count, then the comment: magic, type,
        // version, a 16-bit checksum, flags, chunk count, this chunk's
        // size, bytes left after it, EMF size, the chunk.
        constexpr size_t kChunkHeader = 34;
        if (func != meta::ESCAPE || words < 2 + kChunkHeader / 2 || u16(p) != meta::MFCOMMENT) return false;
        const uint8_t *c = p + 4;
        if (u32(c) != kWmfcMagic) return false;
        const uint32_t count = u32(c + 18), size = u32(c + 22), left = u32(c + 26);
        const uint32_t emfSize = u32(c + 30);
        if (!started) {
            // Never more than the WMF could hold.
            if (emfSize < sizeof(ENHMETAHEADER) || emfSize > h.end || count == 0) return false;
            total = remaining = emfSize;
            chunks = count;
            emf.reserve(emfSize);
            started = true;
        }
        if (size > remaining || size > (words - 2) * 2 - kChunkHeader) return false;
        remaining -= size;
        if (left != remaining) return false;
        emf.insert(emf.end(), c + kChunkHeader, c + kChunkHeader + size);
        if (--chunks == 0) {
            done = true;
            return false;
        }
        return true;
    });
    if (!done || remaining != 0 || emf.size() != total) return false;
    uint16_t sum = 0;
    for (size_t i = 0; i + 1 < h.end; i += 2) sum = uint16_t(sum + u16(data + i));
    if (sum != 0) return false;
    return isEnhMetaFile(emf.data(), emf.size());
}

// ------------------------------------------------------------- objects


// ---------------------------------------------------------------- player

class Player {
public:
    enum class Mode { Measure, Draw };

    // `recording`: in Draw mode, the recording DC kept in step with the
    // records (text is measured on it); Measure mode measures on `dc`.
    Player(gdi::DeviceContext &dc, Mode mode, uint32_t slots, gdi::DeviceContext *recording = nullptr)
        : dc_(dc), mode_(mode), objects_(slots, 0), recording_(recording) {
        // What the conversion records before the first WMF record.
        dc_.setMapMode(gdi::MM_ANISOTROPIC);
        dc_.setViewportExt(kRefWidth, kRefHeight);
        dc_.setWindowExt(kRefWidth, kRefHeight);
    }

    void play(uint16_t func, const uint8_t *p, size_t words);

    // Measure: the bounds the recording DC collected, device pixels,
    // inclusive; left > right while nothing was bounded.
    const RECT &bounds() const { return bounds_; }

private:
    bool measuring() const { return mode_ == Mode::Measure; }
    bool has(size_t n) const { return words_ >= n; }
    uint16_t w(size_t i) const { return u16(p_ + 2 * i); }
    int16_t s(size_t i) const { return i16(p_ + 2 * i); }
    uint32_t color(size_t i) const { return uint32_t(w(i)) | uint32_t(w(i + 1)) << 16; }
    // `count` points of 16-bit pairs from word `at`; false when they do not
    // fit in the record.
    bool points(size_t at, size_t count, std::vector<Point> &out) const;

    void addBounds(int32_t l, int32_t t, int32_t r, int32_t b);
    void addPointBounds(const Point *pts, size_t n);

    Object *slot(uint32_t index) { return objects_.at(index); }
    void selectObject(uint32_t index);
    void selectClip(const Object *o);
    gdi::Region regionOf(const Object &o, bool logical) const;

    void createPen();
    void createBrush();
    void createFont();
    void createDibBrush();
    void createDdbBrush();
    void createRegion();
    void createPalette();
    void paletteRecord(uint16_t func);
    // The packed DIB from byte `at` of the parameters: header and colour
    // table read, the bits after them. False when it is malformed or one
    // the recorder refuses (JPEG and PNG pass-through formats).
    bool packedDib(size_t at, uint32_t usage, gdi::DibInfo &info, const uint8_t *&bits,
                   size_t &bitsSize) const;
    // A Bitmap16 (device-dependent bitmap) from byte `at`, as a device
    // would hold it.
    bool bitmap16(size_t at, gdi::DibImage &out) const;

    void box(uint16_t func);
    void arc(uint16_t func);
    void poly(uint16_t func);
    void polyPolygon();
    void regionRecord(uint16_t func);
    void patBlt(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rop);
    void text(uint16_t func);
    void blit(uint16_t func);

    gdi::DeviceContext &rec() { return recording_ ? *recording_ : dc_; }

    gdi::DeviceContext &dc_;
    Mode mode_;
    ObjectTable objects_;
    gdi::DeviceContext *recording_;
    const uint8_t *p_ = nullptr;
    size_t words_ = 0;
    std::vector<Point> pts_;
    std::vector<uint32_t> counts_;
    RECT bounds_{0, 0, -1, -1};
};

bool Player::points(size_t at, size_t count, std::vector<Point> &out) const {
    if (at > words_ || count > (words_ - at) / 2) return false;
    out.resize(count);
    for (size_t i = 0; i < count; ++i) out[i] = {s(at + 2 * i), s(at + 2 * i + 1)};
    return true;
}

void Player::addBounds(int32_t l, int32_t t, int32_t r, int32_t b) {
    // The recording DC maps the two corners and orders them.
    const Point a = dc_.toDevice({l, t}), c = dc_.toDevice({r, b});
    const RECT d{std::min(a.x, c.x), std::min(a.y, c.y), std::max(a.x, c.x), std::max(a.y, c.y)};
    if (bounds_.left > bounds_.right) {
        bounds_ = d;
        return;
    }
    bounds_.left = std::min(bounds_.left, d.left);
    bounds_.top = std::min(bounds_.top, d.top);
    bounds_.right = std::max(bounds_.right, d.right);
    bounds_.bottom = std::max(bounds_.bottom, d.bottom);
}

void Player::addPointBounds(const Point *pts, size_t n) {
    if (n == 0) {
        addBounds(0, 0, -1, -1);  // the recorder's "empty" box, mapped all the same
        return;
    }
    int32_t l = pts[0].x, t = pts[0].y, r = l, b = t;
    for (size_t i = 1; i < n; ++i) {
        l = std::min(l, pts[i].x), r = std::max(r, pts[i].x);
        t = std::min(t, pts[i].y), b = std::max(b, pts[i].y);
    }
    addBounds(l, t, r, b);
}

gdi::Region Player::regionOf(const Object &o, bool logical) const {
    return logical ? dc_.regionFromLogical(*o.rects) : dc_.regionFromReference(*o.rects);
}

void Player::selectClip(const Object *o) {
    if (measuring()) return;  // clipping does not limit the recorded bounds
    // The recorder writes the region's data; anything that is not a region
    // records none, and no data selects no clip.
    if (!o || o->kind != Object::Region) {
        dc_.selectClipRegion(nullptr, gdi::RegionOp::Copy);
        return;
    }
    const gdi::Region rgn = regionOf(*o, false);
    dc_.selectClipRegion(&rgn, gdi::RegionOp::Copy);
}

void Player::selectObject(uint32_t index) {
    const Object *o = objects_.select(dc_, index);
    if (o && o->kind == Object::Region) selectClip(o);  // SelectObject of a region clips
}

void Player::createPen() {
    objects_.add(Object::of(gdi::createPen(w(0), s(1), color(3))));
}

void Player::createBrush() {
    // A brush the platform refuses takes no slot.
    if (auto brush = gdi::createBrush(w(0), color(1), w(3))) objects_.add(Object::of(std::move(brush)));
}

void Player::createFont() {
    // LOGFONT16; short records cut the face name off.
    objects_.add(Object::of(gdi::makeFont(gdi::decodeLogFont16(p_, words_ * 2))));
}

bool Player::packedDib(size_t at, uint32_t usage, gdi::DibInfo &info, const uint8_t *&bits,
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

void Player::createDibBrush() {
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

bool Player::bitmap16(size_t at, gdi::DibImage &out) const {
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

void Player::createDdbBrush() {
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

void Player::createRegion() {
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

void Player::createPalette() {
    // LOGPALETTE: version, entry count, entries (red, green, blue, flags).
    const uint16_t n = w(1);
    if (size_t(n) * 2 > words_ - 2) return;
    if (auto palette = gdi::createPalette(p_ + 4, n)) objects_.add(Object::of(std::move(palette)));
}

// SELECTPALETTE (palette index), SETPALENTRIES and ANIMATEPALETTE (start,
// count, entries; animation changes the entries as setting does), and
// RESIZEPALETTE (new count) on the palette selected into the DC.
void Player::paletteRecord(uint16_t func) {
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

// RECTANGLE, ELLIPSE, ROUNDRECT: the recorder refuses an empty box, orders
// the corners and, the recording DC being in GM_COMPATIBLE, records the box
// one unit smaller to the right and bottom; playback draws that box with
// its edges included.
void Player::box(uint16_t func) {
    const size_t first = func == meta::ROUNDRECT ? 2 : 0;
    int32_t b = s(first), r = s(first + 1), t = s(first + 2), l = s(first + 3);
    if (l == r || t == b) return;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    --r, --b;
    if (measuring()) {
        addBounds(l, t, r, b);
        return;
    }
    switch (func) {
    case meta::RECTANGLE: dc_.rectangle(l, t, r, b); break;
    case meta::ELLIPSE: dc_.ellipse(l, t, r, b); break;
    case meta::ROUNDRECT: dc_.roundRect(l, t, r, b, s(1), s(0)); break;
    }
}

void Player::arc(uint16_t func) {
    const Point end{s(1), s(0)}, start{s(3), s(2)};
    int32_t b = s(4), r = s(5), t = s(6), l = s(7);
    if (l == r || t == b) return;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    --r, --b;
    const int kind = func == meta::ARC ? 0 : func == meta::CHORD ? 1 : 2;
    if (!measuring()) {
        dc_.arc(l, t, r, b, start, end, kind);
        return;
    }
    // The recorder's box of an arc: the ends where the lines from the
    // centre through the start and end points meet the ellipse, widened to
    // every extreme of the ellipse the arc passes counterclockwise, and to
    // the centre for a pie. Integer steps as the recorder takes them.
    const int32_t xc = (l + r + 1) / 2, yc = (t + b + 1) / 2;
    const double hw = double((r - l + 1) / 2), hh = double((b - t + 1) / 2);
    double as = std::atan2(-double(start.y - yc), double(start.x - xc));
    double ae = std::atan2(-double(end.y - yc), double(end.x - xc));
    const double xs = hw * std::cos(as) + xc, ys = -hh * std::sin(as) + yc;
    const double xe = hw * std::cos(ae) + xc, ye = -hh * std::sin(ae) + yc;
    if (as < 0) as += 2 * M_PI;
    if (ae < 0) ae += 2 * M_PI;
    if (ae < as) ae += 2 * M_PI;
    int32_t bl = int32_t(std::min(xs, xe)), bt = int32_t(std::min(ys, ye));
    int32_t br = int32_t(std::max(xs, xe)), bb = int32_t(std::max(ys, ye));
    for (int i = 0; i <= 8; ++i) {
        if (i * M_PI / 2 < as) continue;
        if (i * M_PI / 2 > ae) break;
        switch (i % 4) {
        case 0: br = r; break;
        case 1: bt = t; break;
        case 2: bl = l; break;
        case 3: bb = b; break;
        }
    }
    if (kind == 2) {
        if (bl > xc) bl = xc;
        else if (br < xc) br = xc;
        if (bt > yc) bt = yc;
        else if (bb < yc) bb = yc;
    }
    addBounds(bl, bt, br, bb);
}

void Player::poly(uint16_t func) {
    if (!points(1, w(0), pts_)) return;
    const size_t n = pts_.size();
    if (func == meta::POLYGON && n < 2) return;  // the recorder refuses it
    if (measuring()) {
        addPointBounds(pts_.data(), n);
        return;
    }
    if (func == meta::POLYGON) dc_.polygon(pts_.data(), n);
    else dc_.polyline(pts_.data(), n);
}

void Player::polyPolygon() {
    const size_t polys = w(0);
    if (polys > words_ - 1) return;
    std::vector<uint32_t> &counts = counts_;
    counts.assign(polys, 0);
    size_t total = 0;
    bool boundsValid = polys > 0;
    for (size_t i = 0; i < polys; ++i) {
        const uint16_t c = w(1 + i);
        // A negative count makes the recorded point total wrap; playback
        // drops such a record.
        if (c & 0x8000) return;
        counts[i] = c;
        total += c;
        if (c < 2) boundsValid = false;
    }
    if (!points(1 + polys, total, pts_)) return;
    // The recorder writes the record even when a polygon has fewer than two
    // points, but bounds it only when all are whole.
    if (measuring()) {
        if (boundsValid && total > 0) addPointBounds(pts_.data(), total);
        return;
    }
    dc_.polyPolygon(pts_.data(), counts.data(), polys);
}

void Player::regionRecord(uint16_t func) {
    // FILLREGION: brush, region. FRAMEREGION: height, width, brush, region.
    // INVERTREGION, PAINTREGION: region.
    size_t regionAt = 0, brushAt = 0;
    switch (func) {
    case meta::FILLREGION: regionAt = 1, brushAt = 0; break;
    case meta::FRAMEREGION: regionAt = 3, brushAt = 2; break;
    default: regionAt = 0; break;
    }
    Object *rgn = slot(w(regionAt));
    if (!rgn || rgn->kind != Object::Region) return;
    gdi::BrushRef brush;
    if (func == meta::FILLREGION || func == meta::FRAMEREGION) {
        Object *b = slot(w(brushAt));
        if (!b || b->kind != Object::Brush) return;
        brush = b->brush;
    }
    if (measuring()) {
        addBounds(rgn->box.left, rgn->box.top, rgn->box.right - 1, rgn->box.bottom - 1);
        return;
    }
    const gdi::Region r = regionOf(*rgn, true);
    switch (func) {
    case meta::FILLREGION: dc_.fillRegion(r, *brush); break;
    case meta::FRAMEREGION: dc_.frameRegion(r, *brush, s(1), s(0)); break;
    case meta::INVERTREGION: dc_.invertRegion(r); break;
    case meta::PAINTREGION: dc_.paintRegion(r); break;
    }
}

// PATBLT, and the blits without a bitmap or whose raster operation
// ignores it: the recorder writes a pattern blit.
void Player::patBlt(int32_t x, int32_t y, int32_t wd, int32_t ht, uint32_t rop) {
    if (measuring()) addBounds(x, y, int32_t(int64_t(x) + wd - 1), int32_t(int64_t(y) + ht - 1));
    else gdi::patBlt(dc_, x, y, wd, ht, rop);
}

// TEXTOUT and EXTTEXTOUT, as the recorder turns them into EXTTEXTOUTW:
// the string in UTF-16 through the font's code page, one advance per
// character (the record's, summed over the bytes of a character, or what
// the recording DC measures a character to be), and bounds from those
// advances and the font's height.
void Player::text(uint16_t func) {
    int32_t x = 0, y = 0;
    uint32_t options = 0;
    gdi::TextRect rect;
    bool haveRect = false;
    size_t count = 0, strAt = 0;
    bool haveDx = false;
    size_t dxAt = 0;
    if (func == meta::TEXTOUT) {
        // count, string, y, x
        count = w(0);
        const size_t strWords = (count + 1) / 2;
        if (!has(1 + strWords + 2)) return;
        strAt = 2;
        y = s(1 + strWords);
        x = s(2 + strWords);
    } else {
        // y, x, count, options, [rectangle], string, [dx]
        y = s(0), x = s(1);
        count = w(2);
        options = w(3) & ~uint32_t(gdi::ETO_PDY);  // one advance a byte here
        size_t at = 4;
        if (options & (gdi::ETO_OPAQUE | gdi::ETO_CLIPPED)) {
            if (!has(8)) return;
            rect = {s(4), s(5), s(6), s(7)};
            haveRect = true;
            at = 8;
        }
        const size_t strWords = (count + 1) / 2;
        if (!has(at + strWords)) return;
        strAt = at * 2;
        // The advances are there when the record is exactly long enough
        // for them; any other length is read as none.
        if (count && words_ == at + strWords + count) haveDx = true, dxAt = at + strWords;
    }

    gdi::DeviceContext &r = rec();
    gdi::TextScratch &ts = dc_.textScratch();
    std::u16string &wide = ts.chars;
    std::vector<uint8_t> &units = ts.units;
    gdi::decodeText(p_ + strAt, count, gdi::textCodePage(r), wide, &units);
    const size_t n = wide.size();
    std::vector<int32_t> &dx = ts.dx;
    dx.assign(n, 0);
    int64_t width = 0;
    int32_t height = 0;
    if (haveDx) {
        size_t b = 0;
        for (size_t i = 0; i < n; ++i) {
            int64_t sum = 0;
            for (size_t k = 0; k < units[i] && b + k < count; ++k) sum += s(dxAt + b + k);
            b += units[i];
            dx[i] = int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, sum)));
            width += dx[i];
        }
        height = gdi::textExtentW(r, wide.data(), n).y;
    } else {
        for (size_t i = 0; i < n; ++i) {
            const Point e = gdi::textExtentW(r, wide.data() + i, 1);
            dx[i] = e.x;
            width += e.x;
            height = std::max(height, e.y);
        }
    }

    if (!measuring()) {
        gdi::extTextOutW(dc_, x, y, options, haveRect ? &rect : nullptr, wide.data(), n,
                         n ? dx.data() : nullptr);
        return;
    }
    const int32_t tw = int32_t(std::min<int64_t>(width, INT32_MAX / 2));
    int64_t l, rt, t, b;
    switch (r.state().textAlign & gdi::TA_CENTER) {
    case gdi::TA_CENTER: l = int64_t(x) - tw / 2 - 1, rt = int64_t(x) + tw / 2 + 1; break;
    case gdi::TA_RIGHT: l = int64_t(x) - tw - 1, rt = x; break;
    default: l = x, rt = int64_t(x) + tw + 1; break;
    }
    switch (r.state().textAlign & gdi::TA_BASELINE) {
    case gdi::TA_BASELINE: t = int64_t(y) - height - 1, b = int64_t(y) + gdi::textDescent(r) + 1; break;
    case gdi::TA_BOTTOM: t = int64_t(y) - height - 1, b = y; break;
    default: t = y, b = int64_t(y) + height + 1; break;
    }
    auto c32 = [](int64_t v) { return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v))); };
    addBounds(c32(l), c32(t), c32(rt), c32(b));
}

// The bitmap records, as the platform plays them on the recording DC:
// STRETCHDIB, DIBSTRETCHBLT and DIBBITBLT are StretchDIBits (the source
// counted from the bottom of a bottom-up DIB), SETDIBTODEV is
// SetDIBitsToDevice, STRETCHBLT and BITBLT blit a device-dependent bitmap.
// The forms without a bitmap, and operations that ignore the source, are
// pattern blits.
void Player::blit(uint16_t func) {
    uint32_t rop = 0, usage = gdi::DIB_RGB_COLORS;
    int32_t x = 0, y = 0, wd = 0, ht = 0, xs = 0, ys = 0, ws = 0, hs = 0;
    size_t bitmapAt = 0;
    bool hasBitmap = true;
    switch (func) {
    case meta::STRETCHDIB:
        // rop, usage, source h, w, y, x, destination h, w, y, x, DIB
        rop = color(0), usage = w(2);
        hs = s(3), ws = s(4), ys = s(5), xs = s(6), ht = s(7), wd = s(8), y = s(9), x = s(10);
        bitmapAt = 22;
        break;
    case meta::DIBSTRETCHBLT:
    case meta::STRETCHBLT:
        // rop, source h, w, y, x, [reserved when no bitmap], destination h,
        // w, y, x, bitmap
        hasBitmap = words_ > 11;  // the bare form is 11 words
        {
            const size_t d = hasBitmap ? 6 : 7;
            if (!has(d + 4)) return;
            rop = color(0), hs = s(2), ws = s(3), ys = s(4), xs = s(5);
            ht = s(d), wd = s(d + 1), y = s(d + 2), x = s(d + 3);
            bitmapAt = 2 * (d + 4);
        }
        break;
    case meta::DIBBITBLT:
    case meta::BITBLT:
        // rop, source y, x, [reserved when no bitmap], h, w, destination y,
        // x, bitmap
        hasBitmap = words_ > 9;  // the bare form is 9 words
        {
            const size_t d = hasBitmap ? 4 : 5;
            if (!has(d + 4)) return;
            rop = color(0), ys = s(2), xs = s(3);
            ht = s(d), wd = s(d + 1), y = s(d + 2), x = s(d + 3);
            hs = ht, ws = wd;
            bitmapAt = 2 * (d + 4);
        }
        break;
    case meta::SETDIBTODEV: {
        // usage, scan count, first scan, source y, x, h, w, destination y,
        // x, DIB
        usage = w(0);
        const uint32_t lines = w(1), startScan = w(2);
        ys = s(3), xs = s(4);
        const int32_t cy = s(5), cx = s(6);
        y = s(7), x = s(8);
        gdi::DibInfo info;
        const uint8_t *bits = nullptr;
        size_t bitsSize = 0;
        if (!packedDib(18, usage, info, bits, bitsSize)) return;
        if (measuring()) {
            // The recorder keeps the scans the source rectangle reaches and
            // records nothing when none are left.
            uint32_t kept = lines;
            if (!info.topDown) {
                int64_t srcHeight = info.height;
                if (srcHeight > int64_t(ys) + cy) srcHeight = int64_t(ys) + cy;
                if (srcHeight < int64_t(startScan)) kept = 0;
                else if (int64_t(kept) > srcHeight - startScan) kept = uint32_t(srcHeight - startScan);
            }
            if (kept) addBounds(x, y, int32_t(int64_t(x) + cx - 1), int32_t(int64_t(y) + cy - 1));
            return;
        }
        gdi::setDIBitsToDevice(dc_, x, y, uint32_t(cx), uint32_t(cy), xs, ys, startScan, lines, info, bits,
                               bitsSize);
        return;
    }
    default: return;
    }
    const bool dib = func == meta::STRETCHDIB || func == meta::DIBSTRETCHBLT || func == meta::DIBBITBLT;
    if (!hasBitmap || (!dib && !gdi::ropUsesSource(gdi::ropCode(rop)))) {
        patBlt(x, y, wd, ht, rop);
        return;
    }
    if (dib) {
        gdi::DibInfo info;
        const uint8_t *bits = nullptr;
        size_t bitsSize = 0;
        if (!packedDib(bitmapAt, usage, info, bits, bitsSize)) return;
        if (measuring()) {
            addBounds(x, y, int32_t(int64_t(x) + wd - 1), int32_t(int64_t(y) + ht - 1));
            return;
        }
        gdi::DibImage image;
        if (!gdi::decodeDibBits(info, bits, bitsSize, image)) return;
        gdi::stretchDIBits(dc_, x, y, wd, ht, xs, ys, ws, hs, info, image, rop);
        return;
    }
    gdi::DibImage image;
    if (!bitmap16(bitmapAt, image)) return;
    if (measuring()) {
        addBounds(x, y, int32_t(int64_t(x) + wd - 1), int32_t(int64_t(y) + ht - 1));
        return;
    }
    gdi::BlitSource src;
    src.image = &image;
    src.x = xs, src.y = ys, src.width = ws, src.height = hs;
    src.onlyWritten = false;
    gdi::stretchBlt(dc_, x, y, wd, ht, src, rop);
}

void Player::play(uint16_t func, const uint8_t *p, size_t words) {
    p_ = p;
    words_ = words;
    // Smaller than its kind needs: skipped, as the decoders all skip it.
    if (6 + 2 * uint64_t(words) < wmfRecord(func).minSize) return;
    gdi::DcState &st = dc_.state();
    switch (func) {
    // ---- state
    case meta::SETBKCOLOR:
        st.bkColor = color(0);
        break;
    case meta::SETTEXTCOLOR:
        st.textColor = color(0);
        break;
    case meta::SETBKMODE:
        if (w(0) == gdi::TRANSPARENT || w(0) == gdi::OPAQUE) st.bkMode = w(0);
        break;
    case meta::SETMAPMODE:
        dc_.setMapMode(s(0));
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
    case meta::SETTEXTALIGN:
        st.textAlign = w(0);
        break;
    // Character and break extra live on the recording DC only: the recorder
    // folds them into the advances it writes, and an enhanced metafile
    // carries neither.
    case meta::SETTEXTCHAREXTRA:
        if (measuring()) st.textCharExtra = s(0);
        break;
    case meta::SETTEXTJUSTIFICATION:
        if (measuring()) {
            // SetTextJustification keeps the extra in device units, rounded.
            const int64_t wx = st.windowExt.x, vx = st.viewportExt.x;
            const int64_t extra = wx ? std::llabs((int64_t(s(1)) * vx + wx / 2) / wx) : 0;
            st.breakExtra = int32_t(std::min<int64_t>(extra, INT32_MAX));
            st.breakCount = extra ? s(0) : 0;
        }
        break;
    case meta::SETMAPPERFLAGS:
        st.mapperFlags = color(0);
        break;
    case meta::SETLAYOUT:
        st.layout = w(0);
        break;
    case meta::SETRELABS: break;  // no effect since 16-bit Windows

    case meta::SETWINDOWORG:
        dc_.setWindowOrg(s(1), s(0));
        break;
    case meta::SETWINDOWEXT:
        dc_.setWindowExt(s(1), s(0));
        break;
    case meta::SETVIEWPORTORG:
        dc_.setViewportOrg(s(1), s(0));
        break;
    case meta::SETVIEWPORTEXT:
        dc_.setViewportExt(s(1), s(0));
        break;
    case meta::OFFSETWINDOWORG:
        dc_.offsetWindowOrg(s(1), s(0));
        break;
    case meta::OFFSETVIEWPORTORG:
        dc_.offsetViewportOrg(s(1), s(0));
        break;
    case meta::SCALEWINDOWEXT:
        dc_.scaleWindowExt(s(3), s(2), s(1), s(0));
        break;
    case meta::SCALEVIEWPORTEXT:
        dc_.scaleViewportExt(s(3), s(2), s(1), s(0));
        break;
    case meta::SAVEDC: dc_.saveDC(); break;
    case meta::RESTOREDC:
        dc_.restoreDC(s(0));
        break;

    // ---- clipping (device units of the reference device for regions)
    case meta::INTERSECTCLIPRECT:
        if (!measuring()) dc_.intersectClipRect(s(3), s(2), s(1), s(0));
        break;
    case meta::EXCLUDECLIPRECT:
        if (!measuring()) dc_.excludeClipRect(s(3), s(2), s(1), s(0));
        break;
    case meta::OFFSETCLIPRGN:
        if (!measuring()) dc_.offsetClipRgn(s(1), s(0));
        break;
    case meta::SELECTCLIPREGION:
        // Index 0 stands for no region: the clip is reset.
        selectClip(w(0) ? slot(w(0)) : nullptr);
        break;

    // ---- objects
    case meta::SELECTOBJECT:
        selectObject(w(0));
        break;
    case meta::DELETEOBJECT:
        objects_.remove(w(0));
        break;
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

    // ---- drawing
    case meta::MOVETO:
        {
            if (measuring()) st.curPos = {s(1), s(0)};
            else dc_.moveTo({s(1), s(0)});
        }
        break;
    case meta::LINETO:
        {
            const Point to{s(1), s(0)};
            if (measuring()) {
                const Point from = st.curPos;
                addBounds(std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x),
                          std::max(from.y, to.y));
                st.curPos = to;
            } else {
                dc_.lineTo(to);
            }
        }
        break;
    case meta::RECTANGLE:
    case meta::ELLIPSE:
    case meta::ROUNDRECT: box(func); break;
    case meta::ARC:
    case meta::CHORD:
    case meta::PIE: arc(func); break;
    case meta::POLYGON:
    case meta::POLYLINE: poly(func); break;
    case meta::POLYPOLYGON: polyPolygon(); break;
    case meta::SETPIXEL:
        {
            if (measuring()) addBounds(s(3), s(2), s(3), s(2));
            else dc_.setPixel({s(3), s(2)}, color(0));
        }
        break;
    case meta::FLOODFILL:
        // Not bounded by the recorder.
        if (!measuring()) gdi::extFloodFill(dc_, {s(3), s(2)}, color(0), gdi::FLOODFILLBORDER);
        break;
    case meta::EXTFLOODFILL:
        if (!measuring()) gdi::extFloodFill(dc_, {s(4), s(3)}, color(1), w(0));
        break;
    case meta::FILLREGION:
    case meta::FRAMEREGION:
    case meta::INVERTREGION:
    case meta::PAINTREGION: regionRecord(func); break;
    case meta::PATBLT:
        patBlt(s(5), s(4), s(3), s(2), color(0));
        break;
    case meta::TEXTOUT:
    case meta::EXTTEXTOUT: text(func); break;
    case meta::STRETCHDIB:
    case meta::SETDIBTODEV:
    case meta::DIBSTRETCHBLT:
    case meta::STRETCHBLT:
    case meta::DIBBITBLT:
    case meta::BITBLT: blit(func); break;

    // Escapes: comments, and printer escapes a memory DC does not honour.
    // Nothing in a metafile makes playback call back or stop (SETABORTPROC
    // included).
    case meta::ESCAPE: break;
    default: break;
    }
}

// The conversion's recording DC: the reference display, mapped as the
// conversion sets it up, collecting bounds.
struct RecordingDC {
    explicit RecordingDC(const WmfHeader &h)
        : bm{reinterpret_cast<uint8_t *>(&pixel), 1, 1, 4},
          dc(bm, gdi::DeviceCaps{kRefWidth, kRefHeight, kRefWidthMm, kRefHeightMm}, gdi::Matrix(), {0, 0, 1, 1}),
          player(dc, Player::Mode::Measure, h.objects) {}
    uint32_t pixel = 0;
    gdi::Bitmap bm;
    gdi::DeviceContext dc;
    Player player;
};

// Runs the measuring pass: the bounds the recording DC would collect.
RECT measure(const uint8_t *data, const WmfHeader &h) {
    RecordingDC recording(h);
    forEachRecord(data, h, [&](uint16_t func, const uint8_t *p, size_t words) {
        recording.player.play(func, p, words);
        return true;
    });
    return recording.player.bounds();
}

int32_t frameCoord(int32_t v, int32_t mm, int32_t px) {
    // As the recorder computes it: bounds * millimetres * 100 / pixels,
    // truncated toward zero.
    const int64_t r = int64_t(v) * mm * 100 / px;
    return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, r)));
}

void convertedHeader(const uint8_t *data, const WmfHeader &h, ENHMETAHEADER *out) {
    std::memset(out, 0, sizeof *out);
    out->iType = 1;
    out->nSize = sizeof *out;
    out->dSignature = kEmfSignature;
    out->nVersion = 0x10000;
    out->nBytes = sizeof *out;
    out->nRecords = 1;
    out->nHandles = 1;
    out->szlDevice = {kRefWidth, kRefHeight};
    out->szlMillimeters = {kRefWidthMm, kRefHeightMm};
    out->szlMicrometers = {kRefWidthMm * 1000, kRefHeightMm * 1000};
    const RECT b = measure(data, h);
    out->rclBounds = b;
    out->rclFrame = {frameCoord(b.left, kRefWidthMm, kRefWidth), frameCoord(b.top, kRefHeightMm, kRefHeight),
                     frameCoord(b.right, kRefWidthMm, kRefWidth),
                     frameCoord(b.bottom, kRefHeightMm, kRefHeight)};
}

}  // namespace

bool isWinMetaFile(const uint8_t *data, size_t size) {
    // mtType memory (1) or disk (2), mtHeaderSize 9 words, mtVersion 1.0 or 3.0.
    if (!data || size < kHeaderBytes) return false;
    const unsigned type = u16(data), hdr = u16(data + 2), version = u16(data + 4);
    return (type == 1 || type == 2) && hdr == 9 && (version == 0x100 || version == 0x300);
}

void winMetaFileHeader(const uint8_t *data, size_t size, ENHMETAHEADER *out) {
    std::memset(out, 0, sizeof *out);
    WmfHeader h;
    if (!readHeader(data, size, h)) return;
    std::vector<uint8_t> emf;
    if (embeddedEmf(data, h, emf)) {
        const size_t n = std::min<size_t>(u32(emf.data() + 4), sizeof *out);
        std::memcpy(out, emf.data(), n);
        return;
    }
    convertedHeader(data, h, out);
}

bool playWinMetaFile(const Surface &surface, const uint8_t *data, size_t size, const RECT &rect,
                     const RECT *frame) {
    WmfHeader h;
    if (!readHeader(data, size, h) || !surface.top || surface.width <= 0 || surface.height <= 0)
        return false;
    std::vector<uint8_t> emf;
    if (embeddedEmf(data, h, emf)) {
        if (frame) std::memcpy(emf.data() + offsetof(ENHMETAHEADER, rclFrame), frame, sizeof *frame);
        return playEnhMetaFile(surface, emf.data(), emf.size(), rect);
    }

    ENHMETAHEADER header;
    convertedHeader(data, h, &header);
    if (frame) header.rclFrame = *frame;
    gdi::Bitmap bm{surface.top, surface.width, surface.height, surface.stride};
    gdi::DeviceCaps ref{kRefWidth, kRefHeight, kRefWidthMm, kRefHeightMm};
    gdi::DeviceContext dc(bm, ref, playbackTransform(header, rect), {0, 0, surface.width, surface.height});
    RecordingDC recording(h);
    Player player(dc, Player::Mode::Draw, h.objects, &recording.dc);
    forEachRecord(data, h, [&](uint16_t func, const uint8_t *p, size_t words) {
        if (dc.work().exhausted()) return false;
        player.play(func, p, words);
        recording.player.play(func, p, words);
        return true;
    });
    return true;
}

}  // namespace vellora::player
