// The platform operations of the core, on our own device contexts.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/native/compositor.h"
#include "platform/native/handles.h"
#include "platform/native/text_path.h"
#include "platform/platform.h"

namespace vellora::platform {

using native::BitmapObject;
using native::DeviceContextObject;
using native::Kind;
using native::MetafileObject;

namespace {

DeviceContextObject *dcOf(HDC dc) { return native::as<DeviceContextObject>(dc, Kind::DeviceContext); }

// A new memory DC holds a 1 x 1 bitmap, as the platform's do.
void initStockBitmap(DeviceContextObject *dc) {
    dc->stockBitmap.surface = {dc->stockPixel, 1, 1, 4};
    dc->stockBitmap.selected = true;
    dc->bitmap = &dc->stockBitmap;
}

}  // namespace

HDC createCompatibleDC(HDC dc) {
    // Null stands for the screen, as on the platform.
    if (dc && !dcOf(dc)) return nullptr;
    auto *mem = new (std::nothrow) DeviceContextObject;
    if (!mem) return nullptr;
    initStockBitmap(mem);
    return static_cast<HDC>(native::registerObject(mem));
}

Object createDIBSection32(HDC, int32_t width, int32_t height, uint8_t **bits) {
    *bits = nullptr;
    if (width <= 0 || height <= 0) return nullptr;
    const uint64_t bytes = uint64_t(width) * uint64_t(height) * 4;
    if (bytes > (uint64_t(1) << 32)) return nullptr;
    auto *bm = new (std::nothrow) BitmapObject;
    if (!bm) return nullptr;
    size_t capacity = 0;
    uint8_t *pixels = native::acquirePixels(size_t(bytes), &capacity);
    bm->storage = {pixels, native::PixelRelease{capacity}};
    if (!bm->storage) {
        delete bm;
        return nullptr;
    }
    const ptrdiff_t row = ptrdiff_t(width) * 4;
    // Bottom-up: the first row in memory is the bottom scanline.
    bm->surface = {bm->storage.get() + (height - 1) * row, width, height, -row};
    *bits = bm->storage.get();
    return native::registerObject(bm);
}

Object selectObject(HDC dc, Object object) {
    DeviceContextObject *d = dcOf(dc);
    if (!d) return nullptr;
    BitmapObject *bm = object == &d->stockBitmap ? &d->stockBitmap
                                           : native::as<BitmapObject>(object, Kind::Bitmap);
    if (!bm) return nullptr;
    if (bm == d->bitmap) return bm;
    // A bitmap can be selected into one device context only.
    if (bm->selected && bm != &d->stockBitmap) return nullptr;
    BitmapObject *old = d->bitmap;
    old->selected = false;
    bm->selected = true;
    d->bitmap = bm;
    return old;
}

bool playEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT *rect) {
    DeviceContextObject *d = dcOf(dc);
    MetafileObject *mf = native::as<MetafileObject>(metafile, Kind::Metafile);
    if (!d || !mf || !rect || !d->bitmap) return false;
    const base::Surface &s = d->bitmap->surface;
    if (mf->windowsFormat)
        return player::playWinMetaFile(s, mf->bytes.data(), mf->bytes.size(), *rect,
                                       mf->reframed ? &mf->header.rclFrame : nullptr);
    return player::playEnhMetaFile(s, mf->bytes.data(), mf->bytes.size(), *rect);
}

bool alphaBlend(HDC dst, int32_t x, int32_t y, int32_t w, int32_t h, HDC src, int32_t sx,
                int32_t sy, int32_t sw, int32_t sh, BlendFunction blend) {
    DeviceContextObject *d = dcOf(dst), *s = dcOf(src);
    if (!d || !s || !d->acceptsAlpha || !d->bitmap || !s->bitmap) return false;
    // Only the unstretched, per-pixel-alpha form is ours to support.
    if (w != sw || h != sh || blend.blendOp != 0 || blend.sourceConstantAlpha != 255 ||
        blend.alphaFormat != 1 || w <= 0 || h <= 0)
        return false;
    return native::sourceOver(d->bitmap->surface, x, y, s->bitmap->surface, sx, sy, w, h);
}

void deleteObject(Object object) {
    BitmapObject *bm = native::as<BitmapObject>(object, Kind::Bitmap);
    // A selected bitmap cannot be deleted, as on the platform.
    if (!bm || bm->selected) return;
    native::destroy(bm, Kind::Bitmap);
}

void deleteDC(HDC dc) {
    DeviceContextObject *d = dcOf(dc);
    if (!d) return;
    if (d->bitmap) d->bitmap->selected = false;
    native::destroy(d, Kind::DeviceContext);
}

// ---- metafile handles

namespace {
// A metafile object holding its own copy of the bytes; null when out of memory.
MetafileObject *copyMetafile(uint32_t size, const uint8_t *data) {
    auto *mf = new (std::nothrow) MetafileObject;
    if (!mf) return nullptr;
    try {
        mf->bytes.assign(data, data + size);
    } catch (const std::bad_alloc &) {
        delete mf;
        return nullptr;
    }
    return mf;
}
}  // namespace

HENHMETAFILE setWinMetaFileBits(uint32_t size, const uint8_t *data) {
    if (!data || !player::isWinMetaFile(data, size)) return nullptr;
    MetafileObject *mf = copyMetafile(size, data);
    if (!mf) return nullptr;
    mf->windowsFormat = true;
    player::winMetaFileHeader(data, size, &mf->header);
    return static_cast<HENHMETAFILE>(native::registerObject(mf));
}

HENHMETAFILE setEnhMetaFileBits(uint32_t size, const uint8_t *data) {
    if (!data || !player::isEnhMetaFile(data, size)) return nullptr;
    MetafileObject *mf = copyMetafile(size, data);
    if (!mf) return nullptr;
    // The header record may be shorter than the full structure (old writers).
    uint32_t n = uint32_t(data[4]) | uint32_t(data[5]) << 8 | uint32_t(data[6]) << 16 |
                 uint32_t(data[7]) << 24;
    if (n > sizeof(ENHMETAHEADER)) n = sizeof(ENHMETAHEADER);
    std::memcpy(&mf->header, data, n);
    return static_cast<HENHMETAFILE>(native::registerObject(mf));
}

HENHMETAFILE copyWithFrame(HENHMETAFILE metafile, const RECT &frame) {
    const MetafileObject *mf = native::as<MetafileObject>(metafile, Kind::Metafile);
    if (!mf) return nullptr;
    MetafileObject *copy = copyMetafile(uint32_t(mf->bytes.size()), mf->bytes.data());
    if (!copy) return nullptr;
    copy->windowsFormat = mf->windowsFormat;
    copy->header = mf->header;
    copy->header.rclFrame = frame;
    if (copy->windowsFormat)
        copy->reframed = true;
    else  // an EMF plays with the frame of its own header record
        std::memcpy(copy->bytes.data() + offsetof(ENHMETAHEADER, rclFrame), &frame, sizeof frame);
    return static_cast<HENHMETAFILE>(native::registerObject(copy));
}

bool getEnhMetaFileHeader(HENHMETAFILE metafile, ENHMETAHEADER *header) {
    MetafileObject *mf = native::as<MetafileObject>(metafile, Kind::Metafile);
    if (!mf || !header) return false;
    *header = mf->header;
    return true;
}

void deleteEnhMetaFile(HENHMETAFILE metafile) { native::destroy(metafile, Kind::Metafile); }

// ---- files

struct File {
    int fd;
};

File *openFileForReading(const WCHAR *path) {
    std::string bytes;
    try {
        if (!path || !native::narrowPath(path, &bytes) || bytes.empty()) return nullptr;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    // Non-blocking open so that a FIFO cannot hang the call; only regular
    // files are metafiles.
    const int fd = ::open(bytes.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    auto *f = new (std::nothrow) File{fd};
    if (!f) ::close(fd);
    return f;
}

uint32_t fileSize(File *file) {
    struct stat st;
    if (!file || ::fstat(file->fd, &st) != 0) return 0;
    return uint32_t(uint64_t(st.st_size) & 0xFFFFFFFFu);
}

bool readFile(File *file, void *buffer, uint32_t size, uint32_t *got) {
    *got = 0;
    if (!file) return false;
    auto *p = static_cast<uint8_t *>(buffer);
    while (*got < size) {
        const ssize_t r = ::read(file->fd, p + *got, size - *got);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) break;
        *got += uint32_t(r);
    }
    return true;
}

void closeFile(File *file) {
    if (!file) return;
    ::close(file->fd);
    delete file;
}

bool widenPath(const char *path, size_t n, WCHAR *out) {
    return native::widenLocalePath(path, n, out);
}

}  // namespace vellora::platform
