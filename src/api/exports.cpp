// The three exported functions.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "api/geometry.h"
#include "api/call_limits.h"
#include "api/loader.h"
#include "base/bytes.h"
#include "pipeline/capture.h"
#include "pipeline/resample.h"
#include "platform/platform.h"

using namespace vellora;
namespace plat = vellora::platform;

namespace {

// Everything one drawing call creates, released in the platform's order on
// every path out of the call.
struct CallObjects {
    HDC memDC = nullptr;
    plat::Object output = nullptr;
    plat::Object canvas = nullptr;
    plat::Object previous = nullptr;
    bool selected = false;

    ~CallObjects() {
        if (selected) plat::selectObject(memDC, previous);
        if (output) plat::deleteObject(output);
        if (canvas) plat::deleteObject(canvas);
        if (memDC) plat::deleteDC(memDC);
    }
};

Status draw(HDC hdc, HENHMETAFILE metafile, const RECT &rect, uint8_t key, double angle,
            const CropWindow &crop) {
    const int64_t w64 = targetWidth(rect), h64 = targetHeight(rect);
    if (!limits::targetFits(w64, h64)) return Status::Size;
    const int32_t w = int32_t(w64), h = int32_t(h64);
    const int32_t W = 2 * w + 2, H = 2 * h + 2;

    RECT playRect;
    if (!playbackRect(crop, w, h, &playRect)) return Status::Crop;

    CallObjects objs;
    objs.memDC = plat::createCompatibleDC(hdc);
    if (!objs.memDC) return Status::Memory;
    uint8_t *outBits = nullptr, *canvasBits = nullptr;
    objs.output = plat::createDIBSection32(objs.memDC, W, H, &outBits);
    if (!objs.output || !outBits) return Status::Memory;
    objs.canvas = plat::createDIBSection32(objs.memDC, W, H, &canvasBits);
    if (!objs.canvas || !canvasBits) return Status::Memory;
    objs.previous = plat::selectObject(objs.memDC, objs.canvas);
    objs.selected = true;

    const size_t pixels = size_t(W) * size_t(H);
    presetCanvas(canvasBits, pixels, key);
    plat::playEnhMetaFile(objs.memDC, metafile, &playRect);
    applyKey(canvasBits, pixels, key);
    clearBorder(canvasBits, W, H);

    // Only the w x h block of the output is ever read (the blend below), so
    // the rest is left as the platform handed it out.
    resampleBlock(canvasBits, outBits, w, h, angle);

    plat::selectObject(objs.memDC, objs.output);
    const plat::BlendFunction blend{0, 0, 255, 1};
    const bool ok = plat::alphaBlend(hdc, rect.left, rect.top, w, h, objs.memDC, 0, 0, w, h, blend);
    return ok ? Status::Ok : Status::Blend;
}

}  // namespace

Status vellora::drawMetafile(HDC hdc, HENHMETAFILE metafile, const RECT *rect, int32_t key,
                             double angle, double x0, double y0, double x1, double y1) {
    if (!hdc || !rect) return Status::Argument;
    if (!metafile) return Status::Format;
    // Non-finite placement has no picture to show.
    for (double v : {angle, x0, y0, x1, y1})
        if (!std::isfinite(v)) return Status::Argument;
    const CropWindow crop = normaliseCrop(x0, y0, x1, y1);
    // Nothing may unwind into a C caller: running out of memory in playback
    // or in the resampler ends the call with 0, after the objects are released.
    try {
        return draw(hdc, metafile, *rect, uint8_t(key & 0xFF), angle, crop);
    } catch (...) {
        return Status::Memory;
    }
}

extern "C" unsigned char VELLORA_API Vellora(HDC hdc, HENHMETAFILE metafile, const RECT *rect,
                                             int32_t key, double angle, double x0, double y0,
                                             double x1, double y1) {
    return drawMetafile(hdc, metafile, rect, key, angle, x0, y0, x1, y1) == Status::Ok ? 1 : 0;
}

namespace {

bool drawableRect(const RECT &r, bool fitted) {
    const int64_t w = targetWidth(r), h = targetHeight(r);
    if (!fitted) return limits::targetFits(w, h);
    return w >= 1 && h >= 1 &&
           (limits::targetFits(w, 1) || limits::targetFits(1, h));
}

struct FileData {
    plat::File *file = nullptr;
    uint8_t *data = nullptr;
    ~FileData() {
        if (file) plat::closeFile(file);
        std::free(data);
    }
};

}  // namespace

LoadedMetafile vellora::loadMetafile(const uint8_t *data, uint32_t size) {
    LoadedMetafile m;
    m.format = recogniseFormat(data, size);
    switch (m.format) {
    case MetafileFormat::Placeable:
        m.handle = plat::setWinMetaFileBits(size - kPlaceableHeaderSize, data + kPlaceableHeaderSize);
        m.aspect = aspectRatio(base::i16(data + 6), base::i16(data + 8), base::i16(data + 10),
                               base::i16(data + 12));
        break;
    case MetafileFormat::Enhanced:
        m.handle = plat::setEnhMetaFileBits(size, data);
        m.aspect = aspectRatio(base::i32(data + 24), base::i32(data + 28), base::i32(data + 32),
                               base::i32(data + 36));
        break;
    case MetafileFormat::Windows: {
        m.handle = plat::setWinMetaFileBits(size, data);
        ENHMETAHEADER header;
        std::memset(&header, 0, sizeof header);
        if (m.handle && plat::getEnhMetaFileHeader(m.handle, &header))
            m.aspect = aspectRatio(header.rclFrame.left, header.rclFrame.top,
                                   header.rclFrame.right, header.rclFrame.bottom);
        break;
    }
    }
    return m;
}

unsigned char vellora::drawMetafileData(HDC hdc, const uint8_t *data, uint32_t size,
                                        const RECT &rect, int32_t key, int32_t keepAspect,
                                        double angle) {
    const LoadedMetafile m = loadMetafile(data, size);
    RECT fitted = rect;
    if (keepAspect & 0xFF) fitted = fitToAspect(fitted, m.aspect);

    const unsigned char result = Vellora(hdc, m.handle, &fitted, key, angle, 0.0, 0.0, 1.0, 1.0);
    if (m.handle) plat::deleteEnhMetaFile(m.handle);
    return result;
}

extern "C" unsigned char VELLORA_API VelloraFileW(HDC hdc, const WCHAR *fileName, const RECT *rect,
                                                  int32_t key, int32_t keepAspect, double angle) {
    if (!hdc || !fileName || !rect) return 0;
    // A rectangle no fitting can bring within the limits fails before the file
    // is read: fitting keeps the left and top edges and moves at most one of
    // the others inwards, so an unfitted one must fit as it is, and a fitted
    // one at least in one of its sides.
    if (!drawableRect(*rect, keepAspect & 0xFF)) return 0;

    FileData fd;
    fd.file = plat::openFileForReading(fileName);
    if (!fd.file) return 0;
    const uint32_t size = plat::fileSize(fd.file);
    if (size > limits::kMaxFileBytes) return 0;
    // One byte more than asked for, so that an empty file still has a buffer.
    fd.data = static_cast<uint8_t *>(std::malloc(size_t(size) + 1));
    if (!fd.data) return 0;
    uint32_t got = 0;
    if (!plat::readFile(fd.file, fd.data, size, &got) || got != size) return 0;

    plat::closeFile(fd.file);
    fd.file = nullptr;
    return drawMetafileData(hdc, fd.data, size, *rect, key, keepAspect, angle);
}
extern "C" unsigned char VELLORA_API VelloraFile(HDC hdc, const char *fileName, const RECT *rect,
                                                 int32_t key, int32_t keepAspect, double angle) {
    if (!hdc || !fileName || !rect) return 0;
    const size_t n = std::strlen(fileName);
    if (n > (size_t(1) << 20)) return 0;
    WCHAR *wide = static_cast<WCHAR *>(std::malloc((n + 1) * sizeof(WCHAR)));
    if (!wide) return 0;
    unsigned char result = 0;
    if (plat::widenPath(fileName, n, wide))
        result = VelloraFileW(hdc, wide, rect, key, keepAspect, angle);
    std::free(wide);
    return result;
}
