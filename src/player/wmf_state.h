// What the two passes over a Windows metafile share: reading a record's
// parameters, the object table the creation records fill, the state and
// mapping records both apply alike, and the decoding of the records that
// are measured in one pass and drawn in the other. The measuring pass
// (wmf_bounds.cpp) and the drawing pass (wmf.cpp) each add their own
// dispatch over wmf_records.def on top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "gdi/dc/dc.h"
#include "gdi/image/dib.h"
#include "gdi/text/text.h"
#include "player/object_table.h"

namespace vellora::player::wmf {

// The reference device of the conversion: a 1024 x 768 display at 96 dpi.
// Windows takes whatever screen it runs on; a fixed, common one keeps the
// pictures the same on every machine.
constexpr int32_t kRefWidth = 1024, kRefHeight = 768;
constexpr int32_t kRefWidthMm = 271, kRefHeightMm = 203;

// A bitmap record's parameters, whichever of the six forms it comes in.
struct BlitArgs {
    uint32_t rop = 0, usage = 0;
    int32_t x = 0, y = 0, wd = 0, ht = 0;  // destination
    int32_t xs = 0, ys = 0, ws = 0, hs = 0;  // source
    uint32_t lines = 0, startScan = 0;       // SETDIBTODEV
    size_t bitmapAt = 0;                     // byte of the bitmap in the parameters
    bool hasBitmap = true;
    bool dib = false;  // a packed DIB, rather than a Bitmap16
};

// A text record as the recorder turns it into EXTTEXTOUTW; the characters
// and their advances are in the DC's text scratch (chars, dx).
struct TextRun {
    int32_t x = 0, y = 0;
    uint32_t options = 0;
    gdi::TextRect rect;
    bool haveRect = false;
    size_t count = 0;  // characters
    int64_t width = 0;  // sum of the advances
    int32_t height = 0;
};

class State {
public:
    // Sets up `dc` as the conversion does before the first WMF record.
    State(gdi::DeviceContext &dc, uint32_t slots);

protected:
    // Takes the record's parameters; false when it is smaller than its kind
    // needs (wmf_records.def), and then skipped, as the decoders all skip it.
    bool begin(uint16_t func, const uint8_t *p, size_t words);
    // The records both passes apply alike: DC state, mapping, SaveDC and
    // RestoreDC, object creation and deletion, palettes. False for the rest.
    bool applyShared(uint16_t func);

    bool has(size_t n) const { return words_ >= n; }
    uint16_t w(size_t i) const { return base::u16(p_ + 2 * i); }
    int16_t s(size_t i) const { return base::i16(p_ + 2 * i); }
    uint32_t color(size_t i) const { return uint32_t(w(i)) | uint32_t(w(i + 1)) << 16; }
    // `count` points of 16-bit pairs from word `at`; false when they do not
    // fit in the record.
    bool points(size_t at, size_t count, std::vector<gdi::Point> &out) const;

    Object *slot(uint32_t index) { return objects_.at(index); }

    // RECTANGLE, ELLIPSE, ROUNDRECT, ARC, CHORD, PIE: the box from word
    // `first`, as the recorder keeps it: refused when empty, corners
    // ordered and, the recording DC being in GM_COMPATIBLE, one unit
    // smaller to the right and bottom.
    bool box(size_t first, int32_t &l, int32_t &t, int32_t &r, int32_t &b) const;
    // POLYPOLYGON: counts_ and pts_; `bounded` when the recorder bounds it
    // (every polygon whole). False when the record is dropped.
    bool polyPolygon(bool &bounded);
    // FILLREGION, FRAMEREGION, INVERTREGION, PAINTREGION: the region and
    // brush they name; false when either is missing.
    const Object *regionOf(uint16_t func, gdi::BrushRef &brush);
    // The bitmap records; false when the record cannot be read.
    bool blitArgs(uint16_t func, BlitArgs &a) const;
    // A pattern blit stands in for it: no bitmap, or a device-dependent
    // one under an operation that ignores the source.
    static bool patternOnly(const BlitArgs &a);
    // TEXTOUT, EXTTEXTOUT, measured on `measure` (the recording DC).
    bool textRun(uint16_t func, gdi::DeviceContext &measure, TextRun &run);

    // The packed DIB from byte `at` of the parameters: header and colour
    // table read, the bits after them. False when it is malformed or one
    // the recorder refuses (JPEG and PNG pass-through formats).
    bool packedDib(size_t at, uint32_t usage, gdi::DibInfo &info, const uint8_t *&bits,
                   size_t &bitsSize) const;
    // A Bitmap16 (device-dependent bitmap) from byte `at`, as a device
    // would hold it.
    bool bitmap16(size_t at, gdi::DibImage &out) const;

    gdi::DeviceContext &dc_;
    ObjectTable objects_;
    const uint8_t *p_ = nullptr;
    size_t words_ = 0;
    std::vector<gdi::Point> pts_;
    std::vector<uint32_t> counts_;

private:
    bool applyMapping(uint16_t func);
    void createPen();
    void createBrush();
    void createFont();
    void createDibBrush();
    void createDdbBrush();
    void createRegion();
    void createPalette();
    void paletteRecord(uint16_t func);
};

}  // namespace vellora::player::wmf
