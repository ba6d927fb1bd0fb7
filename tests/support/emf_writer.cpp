#include "support/emf_writer.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vtest {

namespace {
void put32(std::vector<uint8_t> &v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
void put16(std::vector<uint8_t> &v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
}  // namespace

EmfWriter::EmfWriter(int32_t l, int32_t t, int32_t r, int32_t b, int32_t pxX, int32_t pxY,
                     int32_t mmX, int32_t mmY)
    : frame_{l, t, r, b}, dev_{pxX, pxY, mmX, mmY} {}

EmfWriter &EmfWriter::record(uint32_t type, std::initializer_list<int32_t> params) {
    put32(body_, type);
    put32(body_, uint32_t(8 + 4 * params.size()));
    for (int32_t p : params) put32(body_, uint32_t(p));
    ++records_;
    return *this;
}

EmfWriter &EmfWriter::recordBytes(uint32_t type, const std::vector<uint8_t> &payload) {
    std::vector<uint8_t> p = payload;
    while (p.size() % 4) p.push_back(0);
    put32(body_, type);
    put32(body_, uint32_t(8 + p.size()));
    body_.insert(body_.end(), p.begin(), p.end());
    ++records_;
    return *this;
}

EmfWriter &EmfWriter::createPen(uint32_t index, uint32_t style, int32_t width, uint32_t color) {
    return record(EMR_CREATEPEN, {int32_t(index), int32_t(style), width, 0, int32_t(color)});
}

EmfWriter &EmfWriter::createBrush(uint32_t index, uint32_t style, uint32_t color,
                                  uint32_t hatch) {
    return record(EMR_CREATEBRUSHINDIRECT,
                  {int32_t(index), int32_t(style), int32_t(color), int32_t(hatch)});
}

EmfWriter &EmfWriter::select(uint32_t index) { return record(EMR_SELECTOBJECT, {int32_t(index)}); }

EmfWriter &EmfWriter::rectangle(int32_t l, int32_t t, int32_t r, int32_t b) {
    return record(EMR_RECTANGLE, {l, t, r, b});
}

EmfWriter &EmfWriter::ellipse(int32_t l, int32_t t, int32_t r, int32_t b) {
    return record(EMR_ELLIPSE, {l, t, r, b});
}

EmfWriter &EmfWriter::moveTo(int32_t x, int32_t y) { return record(EMR_MOVETOEX, {x, y}); }
EmfWriter &EmfWriter::lineTo(int32_t x, int32_t y) { return record(EMR_LINETO, {x, y}); }

static std::vector<uint8_t> polyPayload(const std::vector<Pt> &pts, bool sixteen) {
    std::vector<uint8_t> p;
    put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);  // bounds, unused by players
    put32(p, uint32_t(pts.size()));
    for (const Pt &q : pts) {
        if (sixteen) {
            put16(p, uint16_t(q.x));
            put16(p, uint16_t(q.y));
        } else {
            put32(p, uint32_t(q.x));
            put32(p, uint32_t(q.y));
        }
    }
    return p;
}

EmfWriter &EmfWriter::polygon(const std::vector<Pt> &pts, bool sixteen) {
    return recordBytes(sixteen ? EMR_POLYGON16 : EMR_POLYGON, polyPayload(pts, sixteen));
}

EmfWriter &EmfWriter::polyline(const std::vector<Pt> &pts, bool sixteen) {
    return recordBytes(sixteen ? EMR_POLYLINE16 : EMR_POLYLINE, polyPayload(pts, sixteen));
}

EmfWriter &EmfWriter::polyPolygon(const std::vector<std::vector<Pt>> &polys, bool sixteen) {
    std::vector<uint8_t> p;
    put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);
    uint32_t total = 0;
    for (const auto &poly : polys) total += uint32_t(poly.size());
    put32(p, uint32_t(polys.size()));
    put32(p, total);
    for (const auto &poly : polys) put32(p, uint32_t(poly.size()));
    for (const auto &poly : polys)
        for (const Pt &q : poly) {
            if (sixteen) {
                put16(p, uint16_t(q.x));
                put16(p, uint16_t(q.y));
            } else {
                put32(p, uint32_t(q.x));
                put32(p, uint32_t(q.y));
            }
        }
    return recordBytes(sixteen ? EMR_POLYPOLYGON16 : EMR_POLYPOLYGON, p);
}

EmfWriter &EmfWriter::worldTransform(float m11, float m12, float m21, float m22, float dx, float dy,
                                     uint32_t mode) {
    std::vector<uint8_t> p;
    for (float f : {m11, m12, m21, m22, dx, dy}) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        put32(p, v);
    }
    if (mode) put32(p, mode);
    return recordBytes(mode ? EMR_MODIFYWORLDTRANSFORM : EMR_SETWORLDTRANSFORM, p);
}

EmfWriter &EmfWriter::extCreatePen(uint32_t index, uint32_t style, int32_t width, uint32_t color,
                                   const std::vector<uint32_t> &dashes) {
    std::vector<uint8_t> p;
    put32(p, index);
    put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);  // no brush bitmap
    put32(p, style);
    put32(p, uint32_t(width));
    put32(p, 0);  // BS_SOLID
    put32(p, color);
    put32(p, 0);
    put32(p, uint32_t(dashes.size()));
    for (uint32_t d : dashes) put32(p, d);
    return recordBytes(EMR_EXTCREATEPEN, p);
}

EmfWriter &EmfWriter::selectClipRects(uint32_t mode, const std::vector<std::vector<int32_t>> &rects) {
    std::vector<uint8_t> p;
    const uint32_t cb = rects.empty() ? 0 : 32 + 16 * uint32_t(rects.size());
    put32(p, cb);
    put32(p, mode);
    if (!rects.empty()) {
        put32(p, 32), put32(p, 1), put32(p, uint32_t(rects.size())), put32(p, 16 * uint32_t(rects.size()));
        put32(p, 0), put32(p, 0), put32(p, 0), put32(p, 0);
        for (const auto &r : rects)
            for (int32_t v : r) put32(p, uint32_t(v));
    }
    return recordBytes(EMR_EXTSELECTCLIPRGN, p);
}

std::vector<uint8_t> EmfWriter::bytes() const {
    std::vector<uint8_t> out;
    const uint32_t headerSize = 108;
    put32(out, EMR_HEADER);
    put32(out, headerSize);
    // rclBounds in device pixels, from the frame
    for (int i = 0; i < 4; ++i) {
        const int32_t px = dev_[i % 2], mm = dev_[2 + i % 2];
        put32(out, uint32_t(int64_t(frame_[i]) * px / (mm * 100)));
    }
    for (int i = 0; i < 4; ++i) put32(out, uint32_t(frame_[i]));
    put32(out, 0x464D4520u);
    put32(out, 0x10000u);
    const uint32_t total = headerSize + uint32_t(body_.size()) + 20;
    put32(out, total);
    put32(out, records_ + 2);
    put16(out, 16);  // handles
    put16(out, 0);
    put32(out, 0), put32(out, 0), put32(out, 0);  // description, palette
    put32(out, uint32_t(dev_[0])), put32(out, uint32_t(dev_[1]));
    put32(out, uint32_t(dev_[2])), put32(out, uint32_t(dev_[3]));
    put32(out, 0), put32(out, 0), put32(out, 0);  // pixel format, OpenGL
    put32(out, uint32_t(dev_[2] * 1000)), put32(out, uint32_t(dev_[3] * 1000));
    out.insert(out.end(), body_.begin(), body_.end());
    put32(out, EMR_EOF), put32(out, 20), put32(out, 0), put32(out, 0x10), put32(out, 20);
    return out;
}

std::string writeTempFile(const std::string &name, const std::vector<uint8_t> &data) {
    const char *dir = std::getenv("TMPDIR");
    std::string path = std::string(dir ? dir : "/tmp") + "/vellora-test-" +
                       std::to_string(::getpid()) + "-" + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f) {
        if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
    return path;
}

}  // namespace vtest
