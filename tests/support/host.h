// What a test needs from the host side, the same on both builds: a device
// context over 32-bit pixels it can read, and metafile handles from bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "vellora.h"

namespace vtest {

// A w x h device context over 32-bit BGRA pixels, filled with `fill`
// (bytes in memory order B, G, R, A as one little-endian word 0xAARRGGBB).
class HostCanvas {
public:
    HostCanvas(int w, int h, uint32_t fill = 0);
    ~HostCanvas();
    HostCanvas(const HostCanvas &) = delete;
    HostCanvas &operator=(const HostCanvas &) = delete;

    HDC dc() const { return dc_; }
    int width() const { return w_; }
    int height() const { return h_; }
    // Pixel (x, y), y counted from the top, as 0xAARRGGBB.
    uint32_t at(int x, int y) const;
    std::vector<uint32_t> pixels() const;

private:
    int w_, h_;
    HDC dc_ = nullptr;
    void *bitmap_ = nullptr;  // platform bitmap, where there is one
    uint8_t *top_ = nullptr;
    long stride_ = 0;
    std::vector<uint8_t> own_;
};

HENHMETAFILE enhMetaFileFromBytes(const std::vector<uint8_t> &bytes);
void deleteMetaFile(HENHMETAFILE mf);

// A device context on which the alpha blend fails.
HDC createNoAlphaDC();
void deleteNoAlphaDC(HDC dc);

// Objects the graphics layer holds alive, for leak checks; -1 where unknown.
long liveGraphicsObjects();

}  // namespace vtest
