// The host API of vellora.h: device contexts over host memory, metafile
// handles from bytes, and the live-object count.
#include <cstring>
#include <new>

#include "gdi/text/font.h"
#include "platform/native/handles.h"
#include "platform/platform.h"

using vellora::native::BitmapObject;
using vellora::native::DeviceContextObject;
using vellora::native::Kind;

extern "C" HDC VelloraCreateBitmapDC(void *bits, int width, int height, int stride) {
    if (!bits || width < 1 || height < 1 || int64_t(stride) < int64_t(width) * 4) return nullptr;
    auto *dc = new (std::nothrow) DeviceContextObject;
    auto *bm = new (std::nothrow) BitmapObject;
    if (!dc || !bm) {
        delete dc;
        delete bm;
        return nullptr;
    }
    bm->surface = {static_cast<uint8_t *>(bits), width, height, stride};
    bm->selected = true;
    dc->hostBitmap = bm;
    dc->bitmap = bm;
    return static_cast<HDC>(vellora::native::registerObject(dc));
}

extern "C" HDC VelloraCreateNoAlphaDC(void) {
    HDC dc = vellora::platform::createCompatibleDC(nullptr);
    if (auto *d = vellora::native::as<DeviceContextObject>(dc, Kind::DeviceContext))
        d->acceptsAlpha = false;
    return dc;
}

extern "C" void VelloraDeleteDC(HDC hdc) {
    auto *d = vellora::native::as<DeviceContextObject>(hdc, Kind::DeviceContext);
    if (!d) return;
    BitmapObject *host = d->hostBitmap;
    vellora::platform::deleteDC(hdc);
    delete host;
}

extern "C" HENHMETAFILE VelloraSetEnhMetaFileBits(unsigned size, const unsigned char *data) {
    return vellora::platform::setEnhMetaFileBits(size, data);
}

extern "C" HENHMETAFILE VelloraSetWinMetaFileBits(unsigned size, const unsigned char *data) {
    return vellora::platform::setWinMetaFileBits(size, data);
}

extern "C" unsigned VelloraGetEnhMetaFileHeader(HENHMETAFILE metafile, unsigned size,
                                                ENHMETAHEADER *header) {
    ENHMETAHEADER h{};
    if (!vellora::platform::getEnhMetaFileHeader(metafile, &h)) return 0;
    if (!header) return sizeof h;
    const unsigned n = size < sizeof h ? size : unsigned(sizeof h);
    std::memcpy(header, &h, n);
    return n;
}

extern "C" void VelloraDeleteEnhMetaFile(HENHMETAFILE metafile) {
    vellora::platform::deleteEnhMetaFile(metafile);
}

extern "C" long VelloraLiveObjects(void) { return vellora::native::liveObjects(); }

extern "C" void VelloraLoadFonts(void) {
    try {
        vellora::gdi::loadFonts();
    } catch (...) {
        // Nothing may unwind into a C caller; a draw reports its own failures.
    }
}
