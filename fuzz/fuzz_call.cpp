// A whole drawing call with the placement taken from the input: angle and
// crop window from the first bytes, the picture from the rest.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vellora.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 20 || size > (1u << 20)) return 0;
    int16_t q[5];
    std::memcpy(q, data, sizeof q);
    const double angle = q[0] / 1000.0;
    const double x0 = q[1] / 8000.0, y0 = q[2] / 8000.0, x1 = q[3] / 8000.0, y1 = q[4] / 8000.0;
    const int w = 1 + data[10] % 20, h = 1 + data[11] % 20;
    std::vector<uint8_t> body(data + 12, data + size);
    HENHMETAFILE mf = VelloraSetEnhMetaFileBits(unsigned(body.size()), body.data());
    if (!mf) mf = VelloraSetWinMetaFileBits(unsigned(body.size()), body.data());
    std::vector<uint8_t> px(24 * 24 * 4, 0x40);
    HDC dc = VelloraCreateBitmapDC(px.data(), 24, 24, 24 * 4);
    const RECT r{2, 1, 2 + w - 1, 1 + h - 1};
    Vellora(dc, mf, &r, data[12 % size], angle, x0, y0, x1, y1);
    VelloraDeleteDC(dc);
    VelloraDeleteEnhMetaFile(mf);
    return 0;
}
