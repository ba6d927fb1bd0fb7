// Windows metafiles. The platform draws one by converting it to an enhanced
// metafile first (SetWinMetaFileBits without a reference DC or picture
// format): a recording DC on the display, mapping MM_ANISOTROPIC with the
// viewport and window both the display's size, plays the records, and the
// picture's frame is the bounding box of what they drew. Both steps run
// here over the WMF records themselves: a measuring pass (wmf_bounds.cpp)
// finds that box on the reference device, then a drawing pass hands each
// record, as the recording DC would have recorded it, to the device context
// the EMF player drives. What the two share is in wmf_state.cpp;
// docs/wmf.md has the reasoning.
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "gdi/dc/dc.h"
#include "gdi/image/blit.h"
#include "gdi/image/dib.h"
#include "gdi/raster/floodfill.h"
#include "gdi/text/text.h"
#include "player/player.h"
#include "player/wmf_bounds.h"
#include "player/wmf_records.h"
#include "player/wmf_state.h"

namespace vellora::player {

using base::u16;
using base::u32;

namespace {

using gdi::Point;
using wmf::kRefHeight;
using wmf::kRefHeightMm;
using wmf::kRefWidth;
using wmf::kRefWidthMm;

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

// ---------------------------------------------------------------- player

// The drawing pass: each record as the recorder would have recorded it,
// played on the playback DC. `recording` is the recording DC, kept in step
// by the measuring pass beside this one; text is measured on it.
class Player : public wmf::State {
public:
    Player(gdi::DeviceContext &dc, uint32_t slots, gdi::DeviceContext &recording)
        : State(dc, slots), recording_(recording) {}

    void play(uint16_t func, const uint8_t *p, size_t words);

private:
    void selectClip(const Object *o);
    bool clipRecord(uint16_t func);
    void regionRecord(uint16_t func);
    void text(uint16_t func);
    void blit(uint16_t func);

    gdi::DeviceContext &recording_;
};

void Player::selectClip(const Object *o) {
    // The recorder writes the region's data; anything that is not a region
    // records none, and no data selects no clip.
    if (!o || o->kind != Object::Region) {
        dc_.selectClipRegion(nullptr, gdi::RegionOp::Copy);
        return;
    }
    const gdi::Region rgn = dc_.regionFromReference(*o->rects);
    dc_.selectClipRegion(&rgn, gdi::RegionOp::Copy);
}

// Clipping, in device units of the reference device for regions.
bool Player::clipRecord(uint16_t func) {
    switch (func) {
    case meta::INTERSECTCLIPRECT: dc_.intersectClipRect(s(3), s(2), s(1), s(0)); break;
    case meta::EXCLUDECLIPRECT: dc_.excludeClipRect(s(3), s(2), s(1), s(0)); break;
    case meta::OFFSETCLIPRGN: dc_.offsetClipRgn(s(1), s(0)); break;
    case meta::SELECTCLIPREGION:
        // Index 0 stands for no region: the clip is reset.
        selectClip(w(0) ? slot(w(0)) : nullptr);
        break;
    case meta::SELECTOBJECT: {
        const Object *o = objects_.select(dc_, w(0));
        if (o && o->kind == Object::Region) selectClip(o);  // SelectObject of a region clips
        break;
    }
    default: return false;
    }
    return true;
}

void Player::regionRecord(uint16_t func) {
    gdi::BrushRef brush;
    const Object *rgn = regionOf(func, brush);
    if (!rgn) return;
    const gdi::Region r = dc_.regionFromLogical(*rgn->rects);
    switch (func) {
    case meta::FILLREGION: dc_.fillRegion(r, *brush); break;
    case meta::FRAMEREGION: dc_.frameRegion(r, *brush, s(1), s(0)); break;
    case meta::INVERTREGION: dc_.invertRegion(r); break;
    case meta::PAINTREGION: dc_.paintRegion(r); break;
    }
}

// TEXTOUT and EXTTEXTOUT as EXTTEXTOUTW, with the advances the recording
// DC gives.
void Player::text(uint16_t func) {
    wmf::TextRun run;
    if (!textRun(func, recording_, run)) return;
    gdi::TextScratch &ts = dc_.textScratch();
    gdi::extTextOutW(dc_, run.x, run.y, run.options, run.haveRect ? &run.rect : nullptr, ts.chars.data(),
                     run.count, run.count ? ts.dx.data() : nullptr);
}

// The bitmap records; the forms without a bitmap, and operations that
// ignore the source, are pattern blits.
void Player::blit(uint16_t func) {
    wmf::BlitArgs a;
    if (!blitArgs(func, a)) return;
    gdi::DibInfo info;
    const uint8_t *bits = nullptr;
    size_t bitsSize = 0;
    if (func == meta::SETDIBTODEV) {
        if (!packedDib(a.bitmapAt, a.usage, info, bits, bitsSize)) return;
        gdi::setDIBitsToDevice(dc_, a.x, a.y, uint32_t(a.wd), uint32_t(a.ht), a.xs, a.ys, a.startScan, a.lines,
                               info, bits, bitsSize);
        return;
    }
    if (patternOnly(a)) {
        gdi::patBlt(dc_, a.x, a.y, a.wd, a.ht, a.rop);
        return;
    }
    gdi::DibImage image;
    if (a.dib) {
        if (!packedDib(a.bitmapAt, a.usage, info, bits, bitsSize)) return;
        if (!gdi::decodeDibBits(info, bits, bitsSize, image)) return;
        gdi::stretchDIBits(dc_, a.x, a.y, a.wd, a.ht, a.xs, a.ys, a.ws, a.hs, info, image, a.rop);
        return;
    }
    if (!bitmap16(a.bitmapAt, image)) return;
    gdi::BlitSource src;
    src.image = &image;
    src.x = a.xs, src.y = a.ys, src.width = a.ws, src.height = a.hs;
    src.onlyWritten = false;
    gdi::stretchBlt(dc_, a.x, a.y, a.wd, a.ht, src, a.rop);
}

void Player::play(uint16_t func, const uint8_t *p, size_t words) {
    if (!begin(func, p, words) || applyShared(func) || clipRecord(func)) return;
    int32_t l = 0, t = 0, r = 0, b = 0;
    switch (func) {
    // SETTEXTCHAREXTRA and SETTEXTJUSTIFICATION set the recording DC only
    // (wmf_bounds.cpp): the recorder folds them into the advances it writes.
    case meta::MOVETO: dc_.moveTo({s(1), s(0)}); break;
    case meta::LINETO: dc_.lineTo({s(1), s(0)}); break;
    // The boxes drawn with their edges included.
    case meta::RECTANGLE:
        if (box(0, l, t, r, b)) dc_.rectangle(l, t, r, b);
        break;
    case meta::ELLIPSE:
        if (box(0, l, t, r, b)) dc_.ellipse(l, t, r, b);
        break;
    case meta::ROUNDRECT:
        if (box(2, l, t, r, b)) dc_.roundRect(l, t, r, b, s(1), s(0));
        break;
    case meta::ARC:
    case meta::CHORD:
    case meta::PIE:
        if (box(4, l, t, r, b))
            dc_.arc(l, t, r, b, {s(3), s(2)}, {s(1), s(0)}, func == meta::ARC ? 0 : func == meta::CHORD ? 1 : 2);
        break;
    case meta::POLYGON:
    case meta::POLYLINE:
        if (!points(1, w(0), pts_)) break;
        if (func == meta::POLYLINE) dc_.polyline(pts_.data(), pts_.size());
        else if (pts_.size() >= 2) dc_.polygon(pts_.data(), pts_.size());  // the recorder refuses fewer
        break;
    case meta::POLYPOLYGON: {
        bool bounded = false;
        if (polyPolygon(bounded)) dc_.polyPolygon(pts_.data(), counts_.data(), counts_.size());
        break;
    }
    case meta::SETPIXEL: dc_.setPixel({s(3), s(2)}, color(0)); break;
    case meta::FLOODFILL: gdi::extFloodFill(dc_, {s(3), s(2)}, color(0), gdi::FLOODFILLBORDER); break;
    case meta::EXTFLOODFILL: gdi::extFloodFill(dc_, {s(4), s(3)}, color(1), w(0)); break;
    case meta::FILLREGION:
    case meta::FRAMEREGION:
    case meta::INVERTREGION:
    case meta::PAINTREGION: regionRecord(func); break;
    case meta::PATBLT: gdi::patBlt(dc_, s(5), s(4), s(3), s(2), color(0)); break;
    case meta::TEXTOUT:
    case meta::EXTTEXTOUT: text(func); break;
    case meta::STRETCHDIB:
    case meta::SETDIBTODEV:
    case meta::DIBSTRETCHBLT:
    case meta::STRETCHBLT:
    case meta::DIBBITBLT:
    case meta::BITBLT: blit(func); break;
    default: break;
    }
}

// The conversion's recording DC: the reference display, mapped as the
// conversion sets it up, collecting bounds.
struct RecordingDC {
    explicit RecordingDC(const WmfHeader &h)
        : bm{reinterpret_cast<uint8_t *>(&pixel), 1, 1, 4},
          dc(bm, gdi::DeviceCaps{kRefWidth, kRefHeight, kRefWidthMm, kRefHeightMm}, gdi::Matrix(), {0, 0, 1, 1}),
          bounds(dc, h.objects) {}
    uint32_t pixel = 0;
    gdi::Surface bm;
    gdi::DeviceContext dc;
    wmf::Bounds bounds;
};

// Runs the measuring pass: the bounds the recording DC would collect.
RECT measure(const uint8_t *data, const WmfHeader &h) {
    RecordingDC recording(h);
    forEachRecord(data, h, [&](uint16_t func, const uint8_t *p, size_t words) {
        recording.bounds.play(func, p, words);
        return true;
    });
    return recording.bounds.bounds();
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
    base::Surface bm = surface;
    gdi::DeviceCaps ref{kRefWidth, kRefHeight, kRefWidthMm, kRefHeightMm};
    gdi::DeviceContext dc(bm, ref, playbackTransform(header, rect), {0, 0, surface.width, surface.height});
    RecordingDC recording(h);
    Player player(dc, h.objects, recording.dc);
    forEachRecord(data, h, [&](uint16_t func, const uint8_t *p, size_t words) {
        if (dc.work().exhausted()) return false;
        player.play(func, p, words);
        recording.bounds.play(func, p, words);
        return true;
    });
    return true;
}

}  // namespace vellora::player
