// The file loader on arbitrary bytes: recognition, headers, aspect fitting,
// handle making and the drawing it leads to.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "api/loader.h"
#include "vellora.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 20)) return 0;
    // Exactly the file's bytes, so that any over-read is caught.
    std::vector<uint8_t> copy(data, data + size);
    std::vector<uint8_t> px(24 * 24 * 4, 0x7F);
    HDC dc = VelloraCreateBitmapDC(px.data(), 24, 24, 24 * 4);
    const RECT r{0, 0, 23, 23};
    vellora::drawMetafileData(dc, copy.data(), uint32_t(copy.size()), r, 255, 1, 0.0);
    VelloraDeleteDC(dc);
    return 0;
}
