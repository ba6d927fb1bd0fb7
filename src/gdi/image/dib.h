// The one DIB decoder: every bitmap a metafile carries (blits, DIB
// records, pattern brushes, masks) is read here. BITMAPCOREHEADER,
// BITMAPINFOHEADER and the longer V4/V5 headers; 1, 4 and 8 bits a pixel
// with colour tables (full, partial or DIB_PAL_COLORS indices); 16 bits 555
// and BI_BITFIELDS; 24; 32 with and without bitfields; BI_RLE4 and BI_RLE8;
// BI_JPEG and BI_PNG; top-down and bottom-up. Every size, offset and count is
// checked against the bytes given before anything is read, and no image
// larger than kMaxDibPixels is ever allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gdi/dc/objects.h"

namespace vellora::gdi {

struct Palette;

// The largest decoded image, in pixels (64 MiB of 32-bit words). Larger
// bitmaps are not drawn.
constexpr uint64_t kMaxDibPixels = uint64_t(1) << 24;

// The largest pattern, in pixels, a brush may carry.
constexpr uint64_t kMaxPatternPixels = uint64_t(1) << 22;

enum : uint32_t {
    BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_JPEG = 4, BI_PNG = 5,
};
enum : uint32_t { DIB_RGB_COLORS = 0, DIB_PAL_COLORS = 1, DIB_PAL_INDICES = 2 };

// A DIB header and colour table, as the platform reads them.
struct DibInfo {
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0;  // rows, always positive
    bool topDown = false;
    bool core = false;  // BITMAPCOREHEADER
    uint32_t bpp = 0;
    uint32_t compression = BI_RGB;
    uint32_t sizeImage = 0;  // as the header gives it
    uint32_t clrUsed = 0;    // as the header gives it
    uint32_t masks[3] = {};  // red, green, blue (16 and 32 bits)
    // Colour table as 32-bit device words (0x00RRGGBB); entries the header
    // does not give are black, as the platform zero-fills them.
    uint32_t colors = 0;
    uint32_t table[256] = {};
    // The table is black then white: the platform makes such bitmaps
    // monochrome in CREATEMONOBRUSH.
    bool blackWhite = false;
    // 32-bit pixels whose fourth byte the platform copies (BI_RGB, or
    // bitfields equal to the device's own): alpha is kept.
    bool keepsAlpha = false;
};

// Reads the header and colour table of `info` (`infoSize` bytes). With
// DIB_PAL_COLORS the table holds 16-bit indices into `palette` (the default
// palette when null). False when the header is malformed or describes a
// format the platform refuses.
bool readDibInfo(const uint8_t *info, size_t infoSize, uint32_t usage, const Palette *palette,
                 DibInfo &out);

// Bytes a packed DIB (header, masks and colour table followed by the bits,
// as WMF records and CreateDIBPatternBrushPt carry it) spends before its
// bits, as the platform counts them.
size_t packedDibHeaderSize(const DibInfo &info, uint32_t usage);

// A decoded bitmap: top row first, one 32-bit word a pixel as a 32-bit
// device holds it (0xAARRGGBB; alpha 0 unless the source keeps it).
struct DibImage {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
    // For RLE, JPEG and PNG: 1 where the data wrote the pixel, 0 where runs
    // skipped it or the data ended early. Empty when every pixel was given.
    std::vector<uint8_t> written;
    bool keepsAlpha = false;

    uint32_t at(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    bool wrote(int32_t x, int32_t y) const {
        return written.empty() || written[size_t(y) * size_t(width) + size_t(x)];
    }
};

// Decodes the pixel data `bits` (`bitsSize` bytes) that `info` describes.
// `rows`, when positive, is the number of rows the data holds (fewer than
// the header's height for SETDIBITSTODEVICE bands); those are the rows
// decoded, in the header's row order. False when nothing can be decoded;
// data that ends early decodes the rows it holds (RLE, JPEG and PNG mark the
// rest unwritten, uncompressed bitmaps need every row).
bool decodeDibBits(const DibInfo &info, const uint8_t *bits, size_t bitsSize, DibImage &out,
                   int32_t rows = 0);

// readDibInfo then decodeDibBits.
bool decodeDib(const uint8_t *info, size_t infoSize, const uint8_t *bits, size_t bitsSize,
               uint32_t usage, const Palette *palette, DibImage &out);

// The pattern of a brush record. A CREATEMONOBRUSH bitmap (`monoBrush`)
// whose table is black then white becomes a monochrome pattern drawn in the
// DC's text and background colours (`out.mono`, pixels 0 and 1), and so
// does a 1-bit DIB_PAL_INDICES bitmap, whose bits are read as a device
// bitmap's (rows padded to 16 bits, top row first). Other bitmaps keep their colours, DIB_PAL_COLORS tables looked up in
// `palette`. False when the bitmap is malformed or larger than
// kMaxPatternPixels.
bool decodeBrushPattern(const uint8_t *info, size_t infoSize, const uint8_t *bits, size_t bitsSize,
                        uint32_t usage, const Palette *palette, bool monoBrush, Pattern &out);

}  // namespace vellora::gdi
