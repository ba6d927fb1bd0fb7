// Placeholder until the record decoders land.
#include <cstring>

#include "player/player.h"

namespace vellora::player {

namespace {
uint32_t u32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
}

bool isEnhMetaFile(const uint8_t *data, size_t size) {
    if (size < 88) return false;
    const uint32_t type = u32(data), recSize = u32(data + 4);
    return type == 1 && recSize >= 88 && recSize <= size && u32(data + 40) == 0x464D4520u;
}

bool isWinMetaFile(const uint8_t *data, size_t size) {
    if (size < 18) return false;
    const unsigned type = data[0] | data[1] << 8, hdr = data[2] | data[3] << 8;
    return (type == 1 || type == 2) && hdr == 9;
}

void winMetaFileHeader(const uint8_t *, size_t, ENHMETAHEADER *out) {
    std::memset(out, 0, sizeof *out);
    out->iType = 1;
    out->nSize = sizeof *out;
    out->dSignature = 0x464D4520u;
    out->rclFrame = RECT{0, 0, 1000, 1000};
}

bool playEnhMetaFile(const Surface &, const uint8_t *, size_t, const RECT &) { return true; }
bool playWinMetaFile(const Surface &, const uint8_t *, size_t, const RECT &) { return true; }

}  // namespace vellora::player
