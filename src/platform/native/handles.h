// What the native platform's handles stand for (HDC, HBITMAP, HENHMETAFILE)
// and the registry that validates handles and counts what is alive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/native/pixel_pool.h"
#include "player/player.h"
#include "vellora.h"

namespace vellora::native {

enum class Kind : uint32_t { DeviceContext, Bitmap, Metafile };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    const Kind kind;
};

// Gives a DIB section's pixel memory back to the pool it came from.
struct PixelRelease {
    size_t bytes = 0;
    void operator()(uint8_t *p) const { releasePixels(p, bytes); }
};

// A 32-bit BGRA pixel surface: a DIB section (owning, bottom-up) or a
// host's memory (borrowed, top-down).
struct BitmapObject : Object {
    BitmapObject() : Object(Kind::Bitmap) {}
    base::Surface surface{};
    // Owned pixels (null when the memory is the host's), from the thread's
    // pool of pixel memory and given back to it.
    std::unique_ptr<uint8_t, PixelRelease> storage;
    bool selected = false;         // a bitmap lives in at most one DC
};

struct DeviceContextObject : Object {
    DeviceContextObject() : Object(Kind::DeviceContext) {}
    BitmapObject *bitmap = nullptr;      // what is selected now
    BitmapObject stockBitmap;            // the 1 x 1 bitmap a new memory DC holds
    uint8_t stockPixel[4] = {};
    BitmapObject *hostBitmap = nullptr;  // owned by a host DC over its memory
    bool acceptsAlpha = true;
};

struct MetafileObject : Object {
    MetafileObject() : Object(Kind::Metafile) {}
    std::vector<uint8_t> bytes;
    bool windowsFormat = false;  // WMF data, played by the WMF player
    bool reframed = false;       // WMF data played with header.rclFrame, not its own frame
    ENHMETAHEADER header{};
};

// Registers a new object; the registry owns it from now on.
void *registerObject(Object *object);
// The object behind `handle` when it is alive and of kind `kind`, else null.
Object *lookup(const void *handle, Kind kind);
// Unregisters and deletes; false when `handle` is not a live object of `kind`.
bool destroy(const void *handle, Kind kind);
long liveObjects();

template <class T>
T *as(const void *handle, Kind kind) {
    return static_cast<T *>(lookup(handle, kind));
}

}  // namespace vellora::native
