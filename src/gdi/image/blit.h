// Bitmap blits onto the emulated device context: the platform's
// BitBlt/StretchBlt, StretchDIBits, SetDIBitsToDevice, MaskBlt, PlgBlt,
// TransparentBlt, AlphaBlend and PatBlt, shared by the EMF and WMF players.
//
// Destinations are logical rectangles mapped by the device context's
// transform. Under a transform without rotation the platform maps the two
// corners and stretches between them, picking source pixels with its
// Bresenham stretcher and combining them by the stretch mode; mirrored
// rectangles (negative extents, or a transform that flips) draw mirrored.
// Under a rotating or shearing transform each device pixel whose centre
// falls inside the transformed rectangle takes the source pixel under it.
// Raster operations apply to all 32 bits of a pixel (see rop.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "gdi/image/dib.h"
#include "gdi/types.h"

namespace vellora::gdi {

class DeviceContext;

// SetStretchBltMode values.
enum : int { BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4 };

// A source for blits: a decoded image and a rectangle of it in image pixels
// (top row 0), as the source device context's mapping gives it. Negative
// extents mirror.
struct BlitSource {
    const DibImage *image = nullptr;
    int32_t x = 0, y = 0, width = 0, height = 0;
    // Pixels the data did not write are left out (RLE runs, and JPEG or PNG
    // data that ended early); when false they draw as decoded.
    bool onlyWritten = true;
};

// Decodes a bitmap a record carries, charging the pixels it allocates to
// the playback's work budget: compressed data can describe a large image in
// a few bytes, and playback must stay linear in the data it is given.
bool decodeForPlayback(DeviceContext &dc, const DibInfo &info, const uint8_t *bits, size_t bitsSize,
                       DibImage &out, int32_t rows = 0);

// PatBlt: `rop` (one that does not use a source) with the selected brush.
void patBlt(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rop);

// StretchBlt (and BitBlt, with the source extents equal to the
// destination's), from a device-dependent bitmap.
void stretchBlt(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h, const BlitSource &src,
                uint32_t rop);

// StretchDIBits: the source rectangle counts rows from the bottom of a
// bottom-up DIB, with the platform's other special cases. `info` and
// `image` are the decoded DIB.
void stretchDIBits(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h, int32_t xSrc,
                   int32_t ySrc, int32_t wSrc, int32_t hSrc, const DibInfo &info, const DibImage &image,
                   uint32_t rop);

// SetDIBitsToDevice: `bits` holds the `lines` scan lines from `startScan`
// (counted from the bottom of the DIB `info` describes), drawn unscaled at
// the device point of (x, y).
void setDIBitsToDevice(DeviceContext &dc, int32_t x, int32_t y, uint32_t cx, uint32_t cy,
                       int32_t xSrc, int32_t ySrc, uint32_t startScan, uint32_t lines,
                       const DibInfo &info, const uint8_t *bits, size_t bitsSize);

// MaskBlt: where the monochrome `mask` (white = 1) has 1 the foreground
// operation (low 24 bits of `rop4`) applies, elsewhere the background one
// (its high byte). The mask repeats past its edges. A null mask is BitBlt.
void maskBlt(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h, const BlitSource &src,
             const DibImage *mask, int32_t xMask, int32_t yMask, uint32_t rop4);

// PlgBlt: the source rectangle onto the parallelogram of the three logical
// points (upper-left, upper-right, lower-left); where `mask` has 0 the
// destination is left alone.
void plgBlt(DeviceContext &dc, const Point pts[3], const BlitSource &src, const DibImage *mask,
            int32_t xMask, int32_t yMask);

// TransparentBlt: the source stretched onto the destination, leaving out the
// pixels of `transparent` (a COLORREF).
void transparentBlt(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h,
                    const BlitSource &src, uint32_t transparent);

// AlphaBlend with a BLENDFUNCTION (op, flags, constant alpha, format in
// bytes 0-3): source over destination, alpha byte included. Per-pixel
// alpha (AC_SRC_ALPHA) needs a source that keeps its alpha byte. False when
// the platform refuses the call (source rectangle outside the bitmap,
// negative extents, per-pixel alpha without an alpha byte).
bool alphaBlend(DeviceContext &dc, int32_t x, int32_t y, int32_t w, int32_t h, const BlitSource &src,
                uint32_t blendFunction);

}  // namespace vellora::gdi
