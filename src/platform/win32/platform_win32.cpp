// The platform operations of the core, forwarded to gdi32, msimg32, user32
// and kernel32 as they are.
#include <windows.h>

#include <new>

#include "platform/platform.h"

namespace vellora::platform {

struct File {
    HANDLE handle;
};

// ---- rasterisation

HDC createCompatibleDC(HDC dc) { return CreateCompatibleDC(dc); }

Object createDIBSection32(HDC dc, int32_t width, int32_t height, uint8_t **bits) {
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // positive: bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    *bits = static_cast<uint8_t *>(pixels);
    return bitmap;
}

Object selectObject(HDC dc, Object object) {
    return SelectObject(dc, static_cast<HGDIOBJ>(object));
}

bool playEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT *rect) {
    return PlayEnhMetaFile(dc, metafile, rect) != FALSE;
}

bool alphaBlend(HDC dst, int32_t x, int32_t y, int32_t w, int32_t h, HDC src, int32_t sx,
                int32_t sy, int32_t sw, int32_t sh, BlendFunction blend) {
    BLENDFUNCTION bf;
    bf.BlendOp = blend.blendOp;
    bf.BlendFlags = blend.blendFlags;
    bf.SourceConstantAlpha = blend.sourceConstantAlpha;
    bf.AlphaFormat = blend.alphaFormat;
    return AlphaBlend(dst, x, y, w, h, src, sx, sy, sw, sh, bf) != FALSE;
}

void deleteObject(Object object) { DeleteObject(static_cast<HGDIOBJ>(object)); }

void deleteDC(HDC dc) { DeleteDC(dc); }

// ---- metafile handles

HENHMETAFILE setWinMetaFileBits(uint32_t size, const uint8_t *data) {
    return SetWinMetaFileBits(size, data, nullptr, nullptr);
}

HENHMETAFILE setEnhMetaFileBits(uint32_t size, const uint8_t *data) {
    return SetEnhMetaFileBits(size, data);
}

static_assert(sizeof(ENHMETAHEADER) == 108, "the header size the platform is asked for");

bool getEnhMetaFileHeader(HENHMETAFILE metafile, ENHMETAHEADER *header) {
    return GetEnhMetaFileHeader(metafile, sizeof(ENHMETAHEADER), header) != 0;
}

void deleteEnhMetaFile(HENHMETAFILE metafile) { DeleteEnhMetaFile(metafile); }

// ---- files

File *openFileForReading(const WCHAR *path) {
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    File *f = new (std::nothrow) File{h};
    if (!f) CloseHandle(h);
    return f;
}

uint32_t fileSize(File *file) {
    // A failure reads as INVALID_FILE_SIZE, which the core's size limit refuses.
    return GetFileSize(file->handle, nullptr);
}

bool readFile(File *file, void *buffer, uint32_t size, uint32_t *got) {
    DWORD n = 0;
    const BOOL ok = ReadFile(file->handle, buffer, size, &n, nullptr);
    *got = n;
    return ok != FALSE;
}

void closeFile(File *file) {
    CloseHandle(file->handle);
    delete file;
}

bool widenPath(const char *path, size_t n, WCHAR *out) {
    // wsprintfW stores at most 1024 units, terminator included; a result that
    // fills it may have been cut short and would name another file.
    const int stored = wsprintfW(out, L"%S", path);
    return stored >= 0 && stored < 1023 && size_t(stored) <= n;
}

}  // namespace vellora::platform
