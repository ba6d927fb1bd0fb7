#include "desktop_fixtures.h"

#include <fstream>
#include <stdexcept>

#include <zlib.h>

#include "support/emf_writer.h"

namespace vdesk {

std::vector<uint8_t> halvesEmf() {
    constexpr uint32_t kRed = 0x0000FF, kBlue = 0xFF0000;  // COLORREFs
    // The reference device has 10 pixels per millimetre: 1016 x 508 of them.
    vtest::EmfWriter w(0, 0, 10160, 5080);
    w.createBrush(1, 0, kRed).select(1).select(vtest::kStockNullPen).rectangle(0, 0, 509, 509);
    w.createBrush(2, 0, kBlue).select(2).rectangle(508, 0, 1017, 509);
    return w.bytes();
}

std::vector<uint8_t> gzipped(const std::vector<uint8_t> &data) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::vector<uint8_t> out(deflateBound(&z, uLong(data.size())) + 32);
    z.next_in = const_cast<Bytef *>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

std::vector<uint8_t> brokenEmf() {
    std::vector<uint8_t> b = halvesEmf();
    b.resize(60);
    return b;
}

void writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

}  // namespace vdesk
