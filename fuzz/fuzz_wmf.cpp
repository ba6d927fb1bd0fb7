// The WMF player on arbitrary records, onto a small surface.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "player/player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::vector<uint8_t> copy(data, data + size);
    if (!vellora::player::isWinMetaFile(copy.data(), copy.size())) return 0;
    std::vector<uint8_t> px(40 * 30 * 4, 0);
    vellora::player::Surface s{px.data() + 29 * 160, 40, 30, -160};
    const RECT r{1, 0, 39, 28};
    vellora::player::playWinMetaFile(s, copy.data(), copy.size(), r);
    return 0;
}
