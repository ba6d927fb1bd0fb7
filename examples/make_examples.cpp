// Writes the sample metafiles of this folder:
//   landscape.emf  a small scene of rectangles, ellipses, polygons, polylines,
//                  a poly-polygon and wide pens, with both polygon fill modes
//   pattern.emf    rotated squares and a rosette through world transforms in an
//                  anisotropic map mode: thin slanted edges that show the smoothing
//   badge.wmf      a placeable Windows metafile (ellipses, polygon, rectangle)
//   badge-plain.wmf the same picture without the placeable header
// Usage: make_examples DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

using Bytes = std::vector<uint8_t>;

void put16(Bytes &b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(Bytes &b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void putF(Bytes &b, float f) {
    uint32_t u;
    static_assert(sizeof u == sizeof f, "32-bit float");
    __builtin_memcpy(&u, &f, 4);
    put32(b, u);
}

uint32_t rgb(uint32_t hex) { return (hex >> 16 & 0xFF) | (hex & 0xFF00) | (hex & 0xFF) << 16; }

struct P {
    int x, y;
};

// ---- EMF -------------------------------------------------------------------

class Emf {
public:
    // A picture of w x h logical pixels on a 96 dpi reference device.
    Emf(int w, int h) : w_(w), h_(h) {}

    void rec(uint32_t type, const Bytes &payload) {
        put32(body_, type);
        put32(body_, uint32_t(8 + payload.size()));
        body_.insert(body_.end(), payload.begin(), payload.end());
        ++records_;
    }
    void rec(uint32_t type, std::initializer_list<int32_t> v) {
        Bytes p;
        for (int32_t x : v) put32(p, uint32_t(x));
        rec(type, p);
    }

    void pen(uint32_t slot, uint32_t style, int width, uint32_t hex) {
        rec(38, {int32_t(slot), int32_t(style), width, 0, int32_t(rgb(hex))});
        handles_ = std::max(handles_, slot + 1);
    }
    void brush(uint32_t slot, uint32_t hex) {
        rec(39, {int32_t(slot), 0, int32_t(rgb(hex)), 0});
        handles_ = std::max(handles_, slot + 1);
    }
    void select(uint32_t slot) { rec(37, {int32_t(slot)}); }
    void del(uint32_t slot) { rec(40, {int32_t(slot)}); }
    void rect(int l, int t, int r, int b) { rec(43, {l, t, r, b}); }
    void ellipse(int l, int t, int r, int b) { rec(42, {l, t, r, b}); }
    void fillMode(int mode) { rec(19, {mode}); }
    void poly(uint32_t type, const std::vector<P> &pts, bool sixteen) {
        Bytes p;
        for (int i = 0; i < 4; ++i) put32(p, 0);  // bounds: players recompute them
        put32(p, uint32_t(pts.size()));
        for (const P &q : pts) {
            if (sixteen) {
                put16(p, uint16_t(q.x));
                put16(p, uint16_t(q.y));
            } else {
                put32(p, uint32_t(q.x));
                put32(p, uint32_t(q.y));
            }
        }
        rec(type, p);
    }
    void polygon(const std::vector<P> &pts) { poly(3, pts, false); }
    void polygon16(const std::vector<P> &pts) { poly(86, pts, true); }
    void polyline(const std::vector<P> &pts) { poly(4, pts, false); }
    void polyline16(const std::vector<P> &pts) { poly(87, pts, true); }
    void polyPolygon(const std::vector<std::vector<P>> &polys) {
        Bytes p;
        for (int i = 0; i < 4; ++i) put32(p, 0);
        size_t total = 0;
        for (const auto &q : polys) total += q.size();
        put32(p, uint32_t(polys.size()));
        put32(p, uint32_t(total));
        for (const auto &q : polys) put32(p, uint32_t(q.size()));
        for (const auto &q : polys)
            for (const P &pt : q) put32(p, uint32_t(pt.x)), put32(p, uint32_t(pt.y));
        rec(8, p);
    }
    // Sets (mode 4) or pre-multiplies (mode 2) the world transform.
    void transform(double m11, double m12, double m21, double m22, double dx, double dy,
                   int mode) {
        Bytes p;
        for (double v : {m11, m12, m21, m22, dx, dy}) putF(p, float(v));
        if (mode) put32(p, uint32_t(mode));
        rec(mode ? 36 : 35, p);
    }

    Bytes bytes() const {
        // 96 dpi reference device: 1920 x 1440 pixels over 508 x 381 mm.
        const int devW = 1920, devH = 1440, mmW = 508, mmH = 381;
        Bytes out;
        const uint32_t headerSize = 108;
        put32(out, 1);
        put32(out, headerSize);
        for (int v : {0, 0, w_ - 1, h_ - 1}) put32(out, uint32_t(v));  // bounds, inclusive
        // frame in 0.01 mm, inclusive, from the device's pixels per millimetre
        put32(out, 0);
        put32(out, 0);
        put32(out, uint32_t(std::lround(w_ * 100.0 * mmW / devW)));
        put32(out, uint32_t(std::lround(h_ * 100.0 * mmH / devH)));
        put32(out, 0x464D4520u);
        put32(out, 0x10000u);
        put32(out, uint32_t(headerSize + body_.size() + 20));
        put32(out, records_ + 2);
        put16(out, handles_);
        put16(out, 0);
        put32(out, 0);  // no description
        put32(out, 0);
        put32(out, 0);  // no palette
        put32(out, devW), put32(out, devH), put32(out, mmW), put32(out, mmH);
        put32(out, 0), put32(out, 0), put32(out, 0);
        put32(out, mmW * 1000), put32(out, mmH * 1000);
        out.insert(out.end(), body_.begin(), body_.end());
        put32(out, 14), put32(out, 20), put32(out, 0), put32(out, 16), put32(out, 20);
        return out;
    }

private:
    int w_, h_;
    Bytes body_;
    uint32_t records_ = 0;
    uint32_t handles_ = 1;  // slot 0 is the metafile itself
};

std::vector<P> star(int cx, int cy, int r) {
    std::vector<P> pts;
    for (int i = 0; i < 5; ++i) {
        const double a = -kPi / 2 + i * 4 * kPi / 5;  // every second tip: a pentagram
        pts.push_back({int(std::lround(cx + r * std::cos(a))), int(std::lround(cy + r * std::sin(a)))});
    }
    return pts;
}

Bytes landscape() {
    const int W = 640, H = 400;
    Emf e(W, H);
    constexpr uint32_t kNullPen = 0x80000008u;
    // sky
    e.brush(1, 0xDCEBFA);
    e.select(1);
    e.select(kNullPen);
    e.rect(0, 0, W, H);
    // sun with a wide orange rim, and rays
    e.brush(2, 0xFFD23C);
    e.pen(3, 0, 6, 0xF08A24);
    e.select(2);
    e.select(3);
    e.ellipse(480, 40, 580, 140);
    for (int i = 0; i < 12; ++i) {
        const double a = i * kPi / 6;
        const P from{int(std::lround(530 + 62 * std::cos(a))), int(std::lround(90 + 62 * std::sin(a)))};
        const P to{int(std::lround(530 + 84 * std::cos(a))), int(std::lround(90 + 84 * std::sin(a)))};
        e.rec(27, {from.x, from.y});  // MoveToEx
        e.rec(54, {to.x, to.y});      // LineTo
    }
    // two pentagrams: alternate fill leaves the middle open, winding fills it
    e.brush(4, 0x7A4FD0);
    e.select(4);
    e.select(kNullPen);
    e.fillMode(1);
    e.polygon(star(70, 80, 50));
    e.fillMode(2);
    e.polygon(star(190, 80, 50));
    // far and near hills, sampled curves
    std::vector<P> far{{0, H}}, nearHill{{0, H}};
    for (int x = 0; x <= W; x += 16) {
        far.push_back({x, int(std::lround(270 - 40 * std::sin(x / 110.0)))});
        nearHill.push_back({x, int(std::lround(320 + 30 * std::sin(x / 70.0 + 1.3)))});
    }
    far.push_back({W, H});
    nearHill.push_back({W, H});
    e.brush(5, 0x8CC46E);
    e.select(5);
    e.polygon16(far);
    e.brush(6, 0x4E9A3A);
    e.select(6);
    e.polygon16(nearHill);
    // house: walls, roof, door, and a window as a frame with a hole (poly-polygon)
    e.pen(7, 0, 3, 0x5A3A22);
    e.select(7);
    e.brush(8, 0xF4E3C1);
    e.select(8);
    e.rect(300, 230, 440, 330);
    e.brush(9, 0xB5452D);
    e.select(9);
    e.polygon({{290, 235}, {370, 170}, {450, 235}});
    e.brush(10, 0x7B4A2A);
    e.select(10);
    e.rect(330, 270, 360, 330);
    e.brush(11, 0x3C6FB4);
    e.select(11);
    e.fillMode(1);
    e.polyPolygon({{{385, 255}, {425, 255}, {425, 295}, {385, 295}},
                   {{390, 260}, {420, 260}, {420, 290}, {390, 290}}});
    // a kite on a zig-zag string
    e.pen(12, 0, 2, 0x333333);
    e.select(12);
    e.polyline16({{250, 300}, {235, 260}, {255, 220}, {232, 180}, {250, 150}});
    e.brush(13, 0xE8413B);
    e.select(13);
    e.polygon({{250, 150}, {230, 120}, {250, 80}, {270, 120}});
    e.pen(14, 0, 1, 0xFFFFFF);
    e.select(14);
    e.polyline({{250, 80}, {250, 150}});
    e.polyline({{230, 120}, {270, 120}});
    for (uint32_t slot = 1; slot <= 14; ++slot) e.del(slot);
    return e.bytes();
}

Bytes pattern() {
    const int W = 480, H = 480;
    Emf e(W, H);
    // Anisotropic mapping: logical -1000..1000 on both axes onto the picture.
    e.rec(17, {8});             // SetMapMode(MM_ANISOTROPIC)
    e.rec(9, {2000, 2000});     // window extent
    e.rec(10, {-1000, -1000});  // window origin
    e.rec(11, {W, H});          // viewport extent
    e.rec(12, {0, 0});          // viewport origin
    e.rec(33, {});              // SaveDC
    constexpr uint32_t kNullPen = 0x80000008u;
    e.select(kNullPen);
    // A ring of turned squares whose colours walk around the hue circle.
    for (int i = 0; i < 18; ++i) {
        const double a = i * kPi / 9;
        const double hue = i / 18.0;
        const auto channel = [hue](double shift) {
            return uint32_t(std::lround(127.5 + 127.5 * std::cos(2 * kPi * (hue + shift))));
        };
        const uint32_t hex = channel(0) << 16 | channel(1.0 / 3) << 8 | channel(2.0 / 3);
        e.brush(1, hex);
        e.select(1);
        e.transform(std::cos(a), std::sin(a), -std::sin(a), std::cos(a), 0, 0, 4);
        e.rect(420, -90, 600, 90);
        e.select(0x80000000u);  // white brush, so slot 1 can go
        e.del(1);
    }
    e.transform(1, 0, 0, 1, 0, 0, 4);
    // A rosette of thin slanted ellipses drawn with a cosmetic pen.
    e.pen(2, 0, 0, 0x1F2A44);
    e.select(2);
    e.select(0x80000005u);  // hollow brush
    for (int i = 0; i < 12; ++i) {
        const double a = i * kPi / 12;
        e.transform(std::cos(a), std::sin(a), -std::sin(a), std::cos(a), 0, 0, 4);
        e.ellipse(-330, -70, 330, 70);
    }
    e.rec(34, {-1});  // RestoreDC
    e.select(0x80000007u);  // black pen, so slot 2 can go
    e.del(2);
    return e.bytes();
}

// ---- WMF -------------------------------------------------------------------

class Wmf {
public:
    void rec(uint16_t function, std::initializer_list<int> params) {
        put32(body_, uint32_t(3 + params.size()));
        put16(body_, function);
        for (int v : params) put16(body_, uint16_t(int16_t(v)));
        maxWords_ = std::max<uint32_t>(maxWords_, uint32_t(3 + params.size()));
    }
    void recWords(uint16_t function, const std::vector<int> &params) {
        put32(body_, uint32_t(3 + params.size()));
        put16(body_, function);
        for (int v : params) put16(body_, uint16_t(int16_t(v)));
        maxWords_ = std::max<uint32_t>(maxWords_, uint32_t(3 + params.size()));
    }
    void objects(uint16_t n) { objects_ = n; }

    Bytes bytes() const {
        Bytes out;
        put16(out, 1);  // in memory
        put16(out, 9);
        put16(out, 0x0300);
        const uint32_t words = uint32_t(9 + body_.size() / 2 + 3);
        put32(out, words);
        put16(out, objects_);
        put32(out, std::max<uint32_t>(maxWords_, 3));
        put16(out, 0);
        out.insert(out.end(), body_.begin(), body_.end());
        put32(out, 3), put16(out, 0);  // META_EOF
        return out;
    }

private:
    Bytes body_;
    uint32_t maxWords_ = 0;
    uint16_t objects_ = 0;
};

// A round badge with a check mark, in a 1000 x 1000 logical window.
Bytes badgeWmf() {
    Wmf m;
    m.objects(5);
    m.rec(0x020B, {0, 0});        // SetWindowOrg(y, x)
    m.rec(0x020C, {1000, 1000});  // SetWindowExt(y, x)
    m.rec(0x0106, {2});           // SetPolyFillMode(WINDING)
    // brushes and pens: style, colour (two words), hatch
    const auto brush = [&m](uint32_t hex) {
        const uint32_t c = rgb(hex);
        m.rec(0x02FC, {0, int(c & 0xFFFF), int(c >> 16), 0});
    };
    const auto pen = [&m](int width, uint32_t hex) {
        const uint32_t c = rgb(hex);
        m.rec(0x02FA, {0, width, 0, int(c & 0xFFFF), int(c >> 16)});
    };
    brush(0x2F6DB5);                        // object 0
    pen(40, 0x17375E);                      // object 1
    m.rec(0x012D, {0});                     // SelectObject
    m.rec(0x012D, {1});
    m.rec(0x0418, {960, 960, 40, 40});      // Ellipse(bottom, right, top, left)
    brush(0xFFFFFF);                        // object 2
    m.rec(0x012D, {2});
    m.rec(0x0418, {820, 820, 180, 180});
    brush(0x2E9E5B);                        // object 3
    m.rec(0x012D, {3});
    m.rec(0x02FA, {5, 0, 0, 0, 0});         // object 4: a null pen, so the check has no outline
    m.rec(0x012D, {4});
    std::vector<int> check{6, 300, 520, 440, 660, 720, 340, 780, 400, 440, 780, 240, 580};
    m.recWords(0x0324, check);              // Polygon
    m.rec(0x041B, {905, 700, 860, 300});    // Rectangle(bottom, right, top, left): a base bar
    for (int slot : {0, 1, 2, 3, 4}) m.rec(0x01F0, {slot});  // DeleteObject
    return m.bytes();
}

Bytes placeable(const Bytes &wmf, int16_t w, int16_t h, uint16_t unitsPerInch) {
    Bytes out;
    put32(out, 0x9AC6CDD7u);
    put16(out, 0);
    put16(out, 0), put16(out, 0), put16(out, uint16_t(w)), put16(out, uint16_t(h));
    put16(out, unitsPerInch);
    put32(out, 0);
    uint16_t sum = 0;
    for (size_t i = 0; i + 1 < out.size(); i += 2) sum ^= uint16_t(out[i] | out[i + 1] << 8);
    put16(out, sum);
    out.insert(out.end(), wmf.begin(), wmf.end());
    return out;
}

bool save(const std::string &path, const Bytes &b) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_examples DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const Bytes badge = badgeWmf();
    const bool ok = save(dir + "/landscape.emf", landscape()) &&
                    save(dir + "/pattern.emf", pattern()) &&
                    // 1000 logical units as 2.5 inches: 240 pixels at 96 dpi
                    save(dir + "/badge.wmf", placeable(badge, 1000, 1000, 400)) &&
                    save(dir + "/badge-plain.wmf", badge);
    if (!ok) {
        std::perror("make_examples");
        return 1;
    }
    return 0;
}
