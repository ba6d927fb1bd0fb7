// The thin layer between the core and a graphics platform. Each operation is
// named after the platform call it stands for; platform/win32 forwards them to
// gdi32, msimg32 and kernel32, platform/native implements them itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vellora.h"

namespace vellora::platform {

using Object = void *;  // any graphics object handle (bitmap, ...)
struct File;            // an open file

// Blend descriptor, the four bytes the platform takes, in its order.
struct BlendFunction {
    uint8_t blendOp;
    uint8_t blendFlags;
    uint8_t sourceConstantAlpha;
    uint8_t alphaFormat;
};

// ---- rasterisation
HDC createCompatibleDC(HDC dc);
// A 32-bit BI_RGB bottom-up DIB section of width x height pixels; *bits
// receives its pixel memory (rows of 4 * width bytes, bottom row first). The
// caller writes every pixel before reading it: Windows hands out zeroed
// memory, but the native layer may hand back the memory of the thread's
// previous bitmap of the same size as that bitmap left it.
Object createDIBSection32(HDC dc, int32_t width, int32_t height, uint8_t **bits);
Object selectObject(HDC dc, Object object);
bool playEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT *rect);
bool alphaBlend(HDC dst, int32_t x, int32_t y, int32_t w, int32_t h, HDC src, int32_t sx,
                int32_t sy, int32_t sw, int32_t sh, BlendFunction blend);
void deleteObject(Object object);
void deleteDC(HDC dc);

// ---- metafile handles
HENHMETAFILE setWinMetaFileBits(uint32_t size, const uint8_t *data);
HENHMETAFILE setEnhMetaFileBits(uint32_t size, const uint8_t *data);
// Fills `header` (zeroed by the caller); false when the handle has none.
bool getEnhMetaFileHeader(HENHMETAFILE metafile, ENHMETAHEADER *header);
// Native build only: a new handle over the same records with `frame` as the
// frame of its header; null when out of memory or not a metafile handle.
HENHMETAFILE copyWithFrame(HENHMETAFILE metafile, const RECT &frame);
void deleteEnhMetaFile(HENHMETAFILE metafile);

// ---- files: shared reading of a whole file
File *openFileForReading(const WCHAR *path);  // null when it cannot be opened
uint32_t fileSize(File *file);                 // low 32 bits of the size
// One read of `size` bytes; false on failure. *got receives the count read.
bool readFile(File *file, void *buffer, uint32_t size, uint32_t *got);
void closeFile(File *file);

// Converts the 8-bit path `path` (n bytes, system code page) into `out`, which
// has room for n + 1 code units, zero-terminated. False when it cannot.
bool widenPath(const char *path, size_t n, WCHAR *out);

}  // namespace vellora::platform
