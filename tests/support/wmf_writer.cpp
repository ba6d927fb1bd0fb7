#include "support/wmf_writer.h"

#include <algorithm>
#include <cstddef>

namespace vtest {

namespace {

uint16_t lo(uint32_t v) { return uint16_t(v & 0xFFFF); }
uint16_t hi(uint32_t v) { return uint16_t(v >> 16); }

void put16(std::vector<uint8_t> &v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t> &v, uint32_t x) {
    put16(v, lo(x));
    put16(v, hi(x));
}

}  // namespace

WmfWriter &WmfWriter::recordWords(uint16_t function, const std::vector<uint16_t> &params) {
    const uint32_t size = uint32_t(params.size()) + 3;
    words_.push_back(lo(size));
    words_.push_back(hi(size));
    words_.push_back(function);
    words_.insert(words_.end(), params.begin(), params.end());
    maxRecord_ = std::max(maxRecord_, size);
    return *this;
}

WmfWriter &WmfWriter::record(uint16_t function, std::initializer_list<int> params) {
    std::vector<uint16_t> p;
    for (int v : params) p.push_back(uint16_t(v));
    return recordWords(function, p);
}

WmfWriter &WmfWriter::setMapMode(int mode) { return record(WMF_SETMAPMODE, {mode}); }
WmfWriter &WmfWriter::setWindowOrg(int x, int y) { return record(WMF_SETWINDOWORG, {y, x}); }
WmfWriter &WmfWriter::setWindowExt(int x, int y) { return record(WMF_SETWINDOWEXT, {y, x}); }
WmfWriter &WmfWriter::setViewportOrg(int x, int y) { return record(WMF_SETVIEWPORTORG, {y, x}); }
WmfWriter &WmfWriter::setViewportExt(int x, int y) { return record(WMF_SETVIEWPORTEXT, {y, x}); }
WmfWriter &WmfWriter::saveDC() { return record(WMF_SAVEDC, {}); }
WmfWriter &WmfWriter::restoreDC(int level) { return record(WMF_RESTOREDC, {level}); }
WmfWriter &WmfWriter::setBkMode(int mode) { return record(WMF_SETBKMODE, {mode, 0}); }
WmfWriter &WmfWriter::setBkColor(uint32_t c) { return record(WMF_SETBKCOLOR, {lo(c), hi(c)}); }
WmfWriter &WmfWriter::setTextColor(uint32_t c) { return record(WMF_SETTEXTCOLOR, {lo(c), hi(c)}); }
WmfWriter &WmfWriter::setROP2(int rop) { return record(WMF_SETROP2, {rop, 0}); }
WmfWriter &WmfWriter::setPolyFillMode(int mode) { return record(WMF_SETPOLYFILLMODE, {mode, 0}); }

WmfWriter &WmfWriter::createPen(int style, int width, uint32_t c) {
    return record(WMF_CREATEPENINDIRECT, {style, width, 0, lo(c), hi(c)});
}

WmfWriter &WmfWriter::createBrush(int style, uint32_t c, int hatch) {
    return record(WMF_CREATEBRUSHINDIRECT, {style, lo(c), hi(c), hatch});
}

WmfWriter &WmfWriter::createRegion(const std::vector<WScan> &scans) {
    int l = 0x7FFF, t = 0x7FFF, r = -0x8000, b = -0x8000;
    size_t maxScan = 0, scanWords = 0;
    for (const WScan &s : scans) {
        t = std::min<int>(t, s.top), b = std::max<int>(b, s.bottom);
        for (int16_t x : s.xs) l = std::min<int>(l, x), r = std::max<int>(r, x);
        maxScan = std::max(maxScan, s.xs.size());
        scanWords += s.xs.size() + 4;
    }
    if (scans.empty()) l = t = r = b = 0;
    const size_t bytes = (11 + scanWords) * 2;
    std::vector<uint16_t> p{0, 6, 0, 0, uint16_t(bytes), uint16_t(scans.size()), uint16_t(maxScan),
                            uint16_t(l), uint16_t(t), uint16_t(r), uint16_t(b)};
    for (const WScan &s : scans) {
        p.push_back(uint16_t(s.xs.size()));
        p.push_back(uint16_t(s.top));
        p.push_back(uint16_t(s.bottom));
        for (int16_t x : s.xs) p.push_back(uint16_t(x));
        p.push_back(uint16_t(s.xs.size()));
    }
    return recordWords(WMF_CREATEREGION, p);
}

WmfWriter &WmfWriter::createDibBrush(const std::vector<uint8_t> &dib, int usage) {
    std::vector<uint16_t> p{5, uint16_t(usage)};  // BS_DIBPATTERN
    for (size_t i = 0; i < dib.size(); i += 2)
        p.push_back(uint16_t(dib[i] | (i + 1 < dib.size() ? dib[i + 1] << 8 : 0)));
    return recordWords(WMF_DIBCREATEPATTERNBRUSH, p);
}

WmfWriter &WmfWriter::select(int index) { return record(WMF_SELECTOBJECT, {index}); }
WmfWriter &WmfWriter::deleteObject(int index) { return record(WMF_DELETEOBJECT, {index}); }

WmfWriter &WmfWriter::intersectClipRect(int l, int t, int r, int b) {
    return record(WMF_INTERSECTCLIPRECT, {b, r, t, l});
}
WmfWriter &WmfWriter::excludeClipRect(int l, int t, int r, int b) {
    return record(WMF_EXCLUDECLIPRECT, {b, r, t, l});
}
WmfWriter &WmfWriter::offsetClipRgn(int x, int y) { return record(WMF_OFFSETCLIPRGN, {y, x}); }
WmfWriter &WmfWriter::selectClipRegion(int index) { return record(WMF_SELECTCLIPREGION, {index}); }

WmfWriter &WmfWriter::moveTo(int x, int y) { return record(WMF_MOVETO, {y, x}); }
WmfWriter &WmfWriter::lineTo(int x, int y) { return record(WMF_LINETO, {y, x}); }
WmfWriter &WmfWriter::rectangle(int l, int t, int r, int b) { return record(WMF_RECTANGLE, {b, r, t, l}); }
WmfWriter &WmfWriter::ellipse(int l, int t, int r, int b) { return record(WMF_ELLIPSE, {b, r, t, l}); }
WmfWriter &WmfWriter::roundRect(int l, int t, int r, int b, int w, int h) {
    return record(WMF_ROUNDRECT, {h, w, b, r, t, l});
}
WmfWriter &WmfWriter::arc(uint16_t function, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
    return record(function, {ye, xe, ys, xs, b, r, t, l});
}

WmfWriter &WmfWriter::polygon(const std::vector<WPt> &pts) {
    std::vector<uint16_t> p{uint16_t(pts.size())};
    for (const WPt &q : pts) p.push_back(uint16_t(q.x)), p.push_back(uint16_t(q.y));
    return recordWords(WMF_POLYGON, p);
}

WmfWriter &WmfWriter::polyline(const std::vector<WPt> &pts) {
    std::vector<uint16_t> p{uint16_t(pts.size())};
    for (const WPt &q : pts) p.push_back(uint16_t(q.x)), p.push_back(uint16_t(q.y));
    return recordWords(WMF_POLYLINE, p);
}

WmfWriter &WmfWriter::polyPolygon(const std::vector<std::vector<WPt>> &polys) {
    std::vector<uint16_t> p{uint16_t(polys.size())};
    for (const auto &poly : polys) p.push_back(uint16_t(poly.size()));
    for (const auto &poly : polys)
        for (const WPt &q : poly) p.push_back(uint16_t(q.x)), p.push_back(uint16_t(q.y));
    return recordWords(WMF_POLYPOLYGON, p);
}

WmfWriter &WmfWriter::setPixel(int x, int y, uint32_t c) { return record(WMF_SETPIXEL, {lo(c), hi(c), y, x}); }
WmfWriter &WmfWriter::floodFill(int x, int y, uint32_t c) { return record(WMF_FLOODFILL, {lo(c), hi(c), y, x}); }
WmfWriter &WmfWriter::extFloodFill(int x, int y, uint32_t c, int type) {
    return record(WMF_EXTFLOODFILL, {type, lo(c), hi(c), y, x});
}
WmfWriter &WmfWriter::patBlt(int x, int y, int w, int h, uint32_t rop) {
    return record(WMF_PATBLT, {lo(rop), hi(rop), h, w, y, x});
}
WmfWriter &WmfWriter::fillRegion(int region, int brush) { return record(WMF_FILLREGION, {brush, region}); }
WmfWriter &WmfWriter::frameRegion(int region, int brush, int w, int h) {
    return record(WMF_FRAMEREGION, {h, w, brush, region});
}
WmfWriter &WmfWriter::invertRegion(int region) { return record(WMF_INVERTREGION, {region}); }
WmfWriter &WmfWriter::paintRegion(int region) { return record(WMF_PAINTREGION, {region}); }

WmfWriter &WmfWriter::extTextOut(int x, int y, int options, int l, int t, int r, int b,
                                 const std::string &text) {
    std::vector<uint16_t> p{uint16_t(y), uint16_t(x), uint16_t(text.size()), uint16_t(options),
                            uint16_t(l), uint16_t(t), uint16_t(r), uint16_t(b)};
    for (size_t i = 0; i < text.size(); i += 2)
        p.push_back(uint16_t(uint8_t(text[i]) | (i + 1 < text.size() ? uint8_t(text[i + 1]) << 8 : 0)));
    return recordWords(WMF_EXTTEXTOUT, p);
}

WmfWriter &WmfWriter::escape(int function, const std::vector<uint8_t> &data) {
    std::vector<uint16_t> p{uint16_t(function), uint16_t(data.size())};
    for (size_t i = 0; i < data.size(); i += 2)
        p.push_back(uint16_t(data[i] | (i + 1 < data.size() ? data[i + 1] << 8 : 0)));
    return recordWords(WMF_ESCAPE, p);
}

std::vector<uint8_t> WmfWriter::bytes(uint16_t objects) const {
    std::vector<uint8_t> out;
    const uint32_t total = 9 + uint32_t(words_.size()) + 3;
    put16(out, 1);       // memory metafile
    put16(out, 9);       // header words
    put16(out, 0x300);   // version
    put32(out, total);   // size in words
    put16(out, objects);
    put32(out, maxRecord_);
    put16(out, 0);
    for (uint16_t w : words_) put16(out, w);
    put32(out, 3);  // WMF_EOF
    put16(out, 0);
    return out;
}

WmfWriter framedPicture(int w, int h) {
    WmfWriter m;
    m.setWindowOrg(0, 0).setWindowExt(w, h);
    m.createPen(5, 0, 0).createBrush(1, 0).select(0).select(1);  // PS_NULL, BS_NULL
    m.rectangle(0, 0, w + 1, h + 1);
    m.deleteObject(0).deleteObject(1);
    return m;
}

std::vector<std::vector<uint8_t>> emfComments(const std::vector<uint8_t> &emf, size_t chunk) {
    std::vector<std::vector<uint8_t>> out;
    const size_t n = (emf.size() + chunk - 1) / chunk;
    size_t left = emf.size();
    for (size_t i = 0; i < n; ++i) {
        const size_t size = std::min(chunk, left);
        left -= size;
        std::vector<uint8_t> c;
        put32(c, 0x43464D57u);  // "WMFC"
        put32(c, 1);            // comment type
        put32(c, 0x10000);      // version
        put16(c, 0);            // checksum, set by fixCommentChecksum
        put32(c, 0);            // flags
        put32(c, uint32_t(n));
        put32(c, uint32_t(size));
        put32(c, uint32_t(left));
        put32(c, uint32_t(emf.size()));
        c.insert(c.end(), emf.begin() + std::ptrdiff_t(emf.size() - left - size),
                 emf.begin() + std::ptrdiff_t(emf.size() - left));
        out.push_back(std::move(c));
    }
    return out;
}

void fixCommentChecksum(std::vector<uint8_t> &wmf) {
    // Header 18 bytes, record header 6, escape function and count 4, then
    // magic, type and version: the checksum word is at byte 40.
    const size_t at = 40;
    if (wmf.size() < at + 2) return;
    wmf[at] = wmf[at + 1] = 0;
    uint16_t sum = 0;
    for (size_t i = 0; i + 1 < wmf.size(); i += 2) sum = uint16_t(sum + (wmf[i] | wmf[i + 1] << 8));
    const uint16_t fix = uint16_t(0x10000 - sum);
    wmf[at] = uint8_t(fix);
    wmf[at + 1] = uint8_t(fix >> 8);
}

}  // namespace vtest
