// The DIB decoder alone, and its image blitted onto a small device context.
// Input: usage byte, flags byte, BITMAPINFO length (16 bits), the
// BITMAPINFO, then the bits.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gdi/image/blit.h"
#include "gdi/dc/dc.h"
#include "gdi/image/dib.h"

using namespace vellora::gdi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4 || size > (1u << 20)) return 0;
    const uint32_t usage = data[0] % 3;
    const uint8_t flags = data[1];
    const size_t infoSize = size_t(data[2] | data[3] << 8);
    if (4 + infoSize > size) return 0;
    // Copies, so that reads past either part are caught.
    const std::vector<uint8_t> info(data + 4, data + 4 + infoSize);
    const std::vector<uint8_t> bits(data + 4 + infoSize, data + size);

    Pattern pattern;
    decodeBrushPattern(info.data(), info.size(), bits.data(), bits.size(), usage, nullptr, flags & 1, pattern);

    DibInfo header;
    if (!readDibInfo(info.data(), info.size(), usage, nullptr, header)) return 0;
    DibImage image;
    const int32_t rows = (flags & 2) ? int32_t(flags >> 4) : 0;
    if (!decodeDibBits(header, bits.data(), bits.size(), image, rows)) return 0;
    if (image.pixels.size() != size_t(image.width) * size_t(image.height)) __builtin_trap();
    if (!image.written.empty() && image.written.size() != image.pixels.size()) __builtin_trap();

    // Blit it stretched, mirrored and shrunk with the flags' stretch mode
    // and raster operation.
    std::vector<uint32_t> px(24 * 16, 0);
    Surface bm{reinterpret_cast<uint8_t *>(px.data()), 24, 16, 24 * 4};
    DeviceCaps caps;
    DeviceContext dc(bm, caps, Matrix(), Rect{0, 0, 24, 16});
    dc.state().stretchMode = 1 + (flags >> 2 & 3);
    const uint32_t rop = uint32_t(flags) << 16;
    stretchDIBits(dc, 1, 1, 20, 12, 0, 0, image.width, image.height, header, image, rop);
    stretchDIBits(dc, 20, 14, -7, -5, 1, 1, image.width - 1, image.height - 2, header, image, rop);
    BlitSource src{&image, 0, 0, image.width, image.height, true};
    stretchBlt(dc, 0, 0, 3, 2, src, 0x00CC0020);
    alphaBlend(dc, 2, 2, 9, 9, src, 0x01FF0000);
    return 0;
}
