// Windows metafiles: recognition and the header the platform reports. The
// WMF record player is not written yet; playback draws nothing.
#include <cstring>

#include "player/bytes.h"
#include "player/player.h"

namespace vellora::player {

bool isWinMetaFile(const uint8_t *data, size_t size) {
    if (!data || size < 18) return false;
    const unsigned type = u16(data), hdr = u16(data + 2);
    return (type == 1 || type == 2) && hdr == 9;
}

void winMetaFileHeader(const uint8_t *, size_t, ENHMETAHEADER *out) {
    std::memset(out, 0, sizeof *out);
    out->iType = 1;
    out->nSize = sizeof *out;
    out->dSignature = 0x464D4520u;
    out->rclFrame = RECT{0, 0, 1000, 1000};
}

bool playWinMetaFile(const Surface &, const uint8_t *data, size_t size, const RECT &) {
    return isWinMetaFile(data, size);
}

}  // namespace vellora::player
