#ifndef _WIN32
#include <cstring>

#include "support/host.h"

namespace vtest {

HostCanvas::HostCanvas(int w, int h, uint32_t fill) : w_(w), h_(h) {
    own_.resize(size_t(w) * h * 4);
    for (size_t i = 0; i < size_t(w) * h; ++i) std::memcpy(&own_[i * 4], &fill, 4);
    top_ = own_.data();
    stride_ = long(w) * 4;
    dc_ = VelloraCreateBitmapDC(top_, w, h, int(stride_));
}

HostCanvas::~HostCanvas() { VelloraDeleteDC(dc_); }

uint32_t HostCanvas::at(int x, int y) const {
    uint32_t v;
    std::memcpy(&v, top_ + y * stride_ + x * 4, 4);
    return v;
}

std::vector<uint32_t> HostCanvas::pixels() const {
    std::vector<uint32_t> out(size_t(w_) * h_);
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x) out[size_t(y) * w_ + x] = at(x, y);
    return out;
}

HENHMETAFILE enhMetaFileFromBytes(const std::vector<uint8_t> &bytes) {
    return VelloraSetEnhMetaFileBits(unsigned(bytes.size()), bytes.data());
}
void deleteMetaFile(HENHMETAFILE mf) { VelloraDeleteEnhMetaFile(mf); }
HDC createNoAlphaDC() { return VelloraCreateNoAlphaDC(); }
void deleteNoAlphaDC(HDC dc) { VelloraDeleteDC(dc); }
long liveGraphicsObjects() { return VelloraLiveObjects(); }

}  // namespace vtest
#endif
