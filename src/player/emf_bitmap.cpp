#include "player/emf_bitmap.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "gdi/image/blit.h"
#include "gdi/image/dib.h"
#include "gdi/image/gradient.h"
#include "gdi/image/rop.h"
#include "player/emf_records.h"

namespace vellora::player {

using base::u16;
using base::u32;
using base::i32;
using base::f32;

namespace {

// A bitmap a record carries: its BITMAPINFO and bits, both inside the record.
struct RecordDib {
    const uint8_t *info = nullptr, *bits = nullptr;
    size_t infoSize = 0, bitsSize = 0;
    uint32_t usage = 0;
};

// Reads the (usage, offBmi, cbBmi, offBits, cbBits) fields at `at`; false
// when the offsets reach outside the record or there is no bitmap.
bool recordDib(const uint8_t *r, uint32_t size, size_t usageAt, size_t offAt, RecordDib &out) {
    if (offAt + 16 > size || usageAt + 4 > size) return false;
    const uint64_t offBmi = u32(r + offAt), cbBmi = u32(r + offAt + 4);
    const uint64_t offBits = u32(r + offAt + 8), cbBits = u32(r + offAt + 12);
    if (!offBmi || cbBmi < 12 || offBmi + cbBmi > size || offBits + cbBits > size) return false;
    out.info = r + offBmi;
    out.infoSize = size_t(cbBmi);
    out.bits = r + offBits;
    out.bitsSize = size_t(cbBits);
    out.usage = u32(r + usageAt);
    return true;
}

const gdi::Palette *palette(gdi::DeviceContext &dc) { return dc.state().palette.get(); }

// BI_JPEG and BI_PNG bitmaps pass through to printers that take them; the
// platform's display and memory device contexts refuse them, so playback
// draws nothing for them (the decoder reads them all the same).
bool printerOnly(const gdi::DibInfo &info) {
    return info.compression == gdi::BI_JPEG || info.compression == gdi::BI_PNG;
}

// The bitmap a source device context holds: the record's DIB made
// device-dependent, as CreateDIBitmap makes it for the playback device.
// Pixels RLE runs skip are black there.
bool sourceBitmap(gdi::DeviceContext &dc, const RecordDib &d, gdi::DibImage &image) {
    gdi::DibInfo info;
    if (!gdi::readDibInfo(d.info, d.infoSize, d.usage, palette(dc), info) || printerOnly(info)) return false;
    if (!gdi::decodeForPlayback(dc, info, d.bits, d.bitsSize, image)) return false;
    if (info.compression == gdi::BI_RLE8 || info.compression == gdi::BI_RLE4) {
        for (size_t i = 0; i < image.pixels.size(); ++i)
            if (!image.written[i]) image.pixels[i] = 0;
        image.written.clear();
    }
    return true;
}

// A monochrome mask bitmap (MASKBLT, PLGBLT).
bool maskBitmap(gdi::DeviceContext &dc, const RecordDib &d, gdi::DibImage &image) {
    return sourceBitmap(dc, d, image);
}

gdi::Matrix xform(const uint8_t *p) {
    gdi::Matrix m;
    m.m11 = f32(p), m.m12 = f32(p + 4), m.m21 = f32(p + 8), m.m22 = f32(p + 12);
    m.dx = f32(p + 16), m.dy = f32(p + 20);
    return m;
}

// The source rectangle in the source bitmap's pixels: the logical one
// through the source device context's world transform (an unusable
// transform leaves the identity, as SetWorldTransform refuses it).
gdi::BlitSource sourceRect(const gdi::DibImage &image, const uint8_t *xf, int32_t x, int32_t y, int32_t w,
                           int32_t h) {
    gdi::Matrix m = xform(xf);
    if (!m.invertible()) m = gdi::Matrix();
    m = gdi::toSingle(m);
    const gdi::PointF a = m.apply(x, y), b = m.apply(double(x) + w, double(y) + h);
    const int32_t x0 = gdi::roundCoord(a.x), y0 = gdi::roundCoord(a.y);
    const int64_t sw = int64_t(gdi::roundCoord(b.x)) - x0, sh = int64_t(gdi::roundCoord(b.y)) - y0;
    gdi::BlitSource s;
    s.image = &image;
    s.x = x0, s.y = y0;
    s.width = int32_t(std::max<int64_t>(std::min<int64_t>(sw, INT32_MAX), INT32_MIN + 1));
    s.height = int32_t(std::max<int64_t>(std::min<int64_t>(sh, INT32_MAX), INT32_MIN + 1));
    s.onlyWritten = true;
    return s;
}

// BITBLT and STRETCHBLT: without a bitmap, or with an operation that does
// not read it, a pattern blit.
void bitBlt(gdi::DeviceContext &dc, const uint8_t *r, uint32_t size, bool stretch) {
    const int32_t x = i32(r + 24), y = i32(r + 28), w = i32(r + 32), h = i32(r + 36);
    const uint32_t rop = u32(r + 40);
    if (!u32(r + 84) || !gdi::ropUsesSource(gdi::ropCode(rop))) {
        gdi::patBlt(dc, x, y, w, h, rop);
        return;
    }
    RecordDib d;
    gdi::DibImage image;
    if (!recordDib(r, size, 80, 84, d) || !sourceBitmap(dc, d, image)) return;
    const int32_t sw = stretch ? i32(r + 100) : w, sh = stretch ? i32(r + 104) : h;
    gdi::stretchBlt(dc, x, y, w, h, sourceRect(image, r + 52, i32(r + 44), i32(r + 48), sw, sh), rop);
}

void maskBlt(gdi::DeviceContext &dc, const uint8_t *r, uint32_t size) {
    const int32_t x = i32(r + 24), y = i32(r + 28), w = i32(r + 32), h = i32(r + 36);
    const uint32_t rop4 = u32(r + 40);
    RecordDib d, m;
    gdi::DibImage image, mask;
    const bool haveSource = recordDib(r, size, 80, 84, d) && sourceBitmap(dc, d, image);
    const bool haveMask = recordDib(r, size, 108, 112, m) && maskBitmap(dc, m, mask);
    gdi::BlitSource src;
    if (haveSource) src = sourceRect(image, r + 52, i32(r + 44), i32(r + 48), w, h);
    gdi::maskBlt(dc, x, y, w, h, src, haveMask ? &mask : nullptr, i32(r + 100), i32(r + 104), rop4);
}

void plgBlt(gdi::DeviceContext &dc, const uint8_t *r, uint32_t size) {
    const gdi::Point pts[3] = {{i32(r + 24), i32(r + 28)}, {i32(r + 32), i32(r + 36)}, {i32(r + 40), i32(r + 44)}};
    RecordDib d, m;
    gdi::DibImage image, mask;
    if (!recordDib(r, size, 92, 96, d) || !sourceBitmap(dc, d, image)) return;
    const bool haveMask = recordDib(r, size, 120, 124, m) && maskBitmap(dc, m, mask);
    const gdi::BlitSource src = sourceRect(image, r + 64, i32(r + 48), i32(r + 52), i32(r + 56), i32(r + 60));
    gdi::plgBlt(dc, pts, src, haveMask ? &mask : nullptr, i32(r + 112), i32(r + 116));
}

void setDIBitsToDevice(gdi::DeviceContext &dc, const uint8_t *r, uint32_t size) {
    RecordDib d;
    if (!recordDib(r, size, 64, 48, d)) return;
    gdi::DibInfo info;
    if (!gdi::readDibInfo(d.info, d.infoSize, d.usage, palette(dc), info) || printerOnly(info)) return;
    gdi::setDIBitsToDevice(dc, i32(r + 24), i32(r + 28), u32(r + 40), u32(r + 44), i32(r + 32), i32(r + 36),
                           u32(r + 68), u32(r + 72), info, d.bits, d.bitsSize);
}

void stretchDIBits(gdi::DeviceContext &dc, const uint8_t *r, uint32_t size) {
    RecordDib d;
    if (!recordDib(r, size, 64, 48, d)) return;
    gdi::DibInfo info;
    gdi::DibImage image;
    if (!gdi::readDibInfo(d.info, d.infoSize, d.usage, palette(dc), info) || printerOnly(info)) return;
    if (!gdi::decodeForPlayback(dc, info, d.bits, d.bitsSize, image)) return;
    gdi::stretchDIBits(dc, i32(r + 24), i32(r + 28), i32(r + 72), i32(r + 76), i32(r + 32), i32(r + 36),
                       i32(r + 40), i32(r + 44), info, image, u32(r + 68));
}

// ALPHABLEND and TRANSPARENTBLT share STRETCHBLT's layout.
void blendBlt(gdi::DeviceContext &dc, const uint8_t *r, uint32_t size, bool alpha) {
    RecordDib d;
    gdi::DibImage image;
    if (!recordDib(r, size, 80, 84, d)) return;
    if (alpha) {
        // A DIB section of the record's format: uncompressed only.
        gdi::DibInfo info;
        if (!gdi::readDibInfo(d.info, d.infoSize, d.usage, palette(dc), info)) return;
        if (info.compression != gdi::BI_RGB && info.compression != gdi::BI_BITFIELDS) return;
        if (!gdi::decodeForPlayback(dc, info, d.bits, d.bitsSize, image)) return;
    } else if (!sourceBitmap(dc, d, image)) {
        return;
    }
    const int32_t x = i32(r + 24), y = i32(r + 28), w = i32(r + 32), h = i32(r + 36);
    const gdi::BlitSource src = sourceRect(image, r + 52, i32(r + 44), i32(r + 48), i32(r + 100), i32(r + 104));
    if (alpha) gdi::alphaBlend(dc, x, y, w, h, src, u32(r + 40));
    else gdi::transparentBlt(dc, x, y, w, h, src, u32(r + 40));
}

void gradientFill(gdi::DeviceContext &dc, const uint8_t *r, uint32_t size) {
    const uint64_t nVer = u32(r + 24), nTri = u32(r + 28);
    const uint32_t mode = u32(r + 32);
    const uint64_t per = mode == gdi::GRADIENT_FILL_TRIANGLE ? 3 : 2;
    if (36 + nVer * 16 + nTri * per * 4 > size) return;
    std::vector<gdi::TriVertex> v(static_cast<size_t>(nVer));
    for (size_t i = 0; i < v.size(); ++i) {
        const uint8_t *p = r + 36 + 16 * i;
        v[i] = {i32(p), i32(p + 4), u16(p + 8), u16(p + 10), u16(p + 12), u16(p + 14)};
    }
    std::vector<uint32_t> idx(static_cast<size_t>(nTri * per));
    const uint8_t *p = r + 36 + nVer * 16;
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = u32(p + 4 * i);
    gdi::gradientFill(dc, v.data(), v.size(), idx.data(), size_t(nTri), mode);
}

}  // namespace

bool isBitmapRecord(uint32_t type) {
    switch (type) {
    case emr::BITBLT:
    case emr::STRETCHBLT:
    case emr::MASKBLT:
    case emr::PLGBLT:
    case emr::SETDIBITSTODEVICE:
    case emr::STRETCHDIBITS:
    case emr::ALPHABLEND:
    case emr::TRANSPARENTBLT:
    case emr::GRADIENTFILL: return true;
    default: return false;
    }
}

void playBitmapRecord(gdi::DeviceContext &dc, uint32_t type, const uint8_t *r, uint32_t size) {
    switch (type) {
    case emr::BITBLT: bitBlt(dc, r, size, false); break;
    case emr::STRETCHBLT: bitBlt(dc, r, size, true); break;
    case emr::MASKBLT: maskBlt(dc, r, size); break;
    case emr::PLGBLT: plgBlt(dc, r, size); break;
    case emr::SETDIBITSTODEVICE: setDIBitsToDevice(dc, r, size); break;
    case emr::STRETCHDIBITS: stretchDIBits(dc, r, size); break;
    case emr::ALPHABLEND: blendBlt(dc, r, size, true); break;
    case emr::TRANSPARENTBLT: blendBlt(dc, r, size, false); break;
    case emr::GRADIENTFILL: gradientFill(dc, r, size); break;
    default: break;
    }
}

}  // namespace vellora::player
