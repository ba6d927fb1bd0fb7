// Records the reference suite's metafiles with the platform's own recorders:
// CreateEnhMetaFile for EMF cases, CreateMetaFile for WMF cases (a placeable
// header is put in front of the recorded bytes for placeable-wmf, and
// SetWinMetaFileBits converts recorded WMF for setwinmetafilebits-frames),
// then ordinary GDI calls. Each case is one small picture named after what it
// shows.
//
//   vellora-reference-record.exe OUTDIR [--list] [--only TEXT] [--expected]
//   vellora-reference-record.exe --random SEED COUNT OUTDIR
//   vellora-reference-record.exe --replay LIST OUT.emf [LIST OUT.emf ...]
//
// writes OUTDIR\AREA\CASE.emf or .wmf for every case (or only those whose
// "AREA/CASE.EXT" contains TEXT) and prints that name, one a line; with
// --list it only prints the names. With --expected it records instead the
// variants of cases Wine draws wrongly: other calls that Windows draws the
// same way and Wine draws right, whose pictures become CASE.expected.png.
//
// Every picture is 160 x 120 logical units: EMF cases get a frame of 160 x 120
// pixels of the reference device, WMF cases an anisotropic window of that
// extent.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int W = 160, H = 120;
constexpr double kPi = 3.14159265358979323846;

enum class Kind { Emf, Wmf, Placeable, Converted };

struct Case {
    std::string area, name;
    Kind kind;
    std::function<void(HDC)> draw;
    // Placeable header: units per inch and bounding box.
    int inch = 96;
    RECT box{0, 0, W, H};
    // Converted: the METAFILEPICT handed to SetWinMetaFileBits (null when
    // hasPict is false).
    bool hasPict = false;
    METAFILEPICT pict{};
};

std::vector<Case> cases, variants;

void add(const std::string &area, const std::string &name, Kind kind, std::function<void(HDC)> draw,
         std::vector<Case> &to = cases) {
    Case c;
    c.area = area;
    c.name = name;
    c.kind = kind;
    c.draw = std::move(draw);
    to.push_back(std::move(c));
}
// The variant of AREA/NAME recorded with --expected.
void expected(const std::string &area, const std::string &name, Kind kind, std::function<void(HDC)> draw) {
    add(area, name, kind, std::move(draw), variants);
}
void emf(const std::string &area, const std::string &name, std::function<void(HDC)> draw) {
    add(area, name, Kind::Emf, std::move(draw));
}
void wmf(const std::string &name, std::function<void(HDC)> draw) {
    add("wmf", name, Kind::Wmf, std::move(draw));
}

// Selects a new object for its lifetime, then puts the old one back and
// deletes it, as a program would.
struct Use {
    HDC dc;
    HGDIOBJ obj, old;
    Use(HDC d, HGDIOBJ o) : dc(d), obj(o), old(SelectObject(d, o)) {}
    ~Use() {
        SelectObject(dc, old);
        DeleteObject(obj);
    }
    Use(const Use &) = delete;
    Use &operator=(const Use &) = delete;
};

const COLORREF kRed = RGB(220, 30, 30), kGreen = RGB(30, 160, 60), kBlue = RGB(40, 60, 200),
               kYellow = RGB(250, 220, 40), kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255);

HPEN solidPen(int w, COLORREF c) { return CreatePen(PS_SOLID, w, c); }

// Four vertical bands across the picture (black, white, yellow, blue): a
// background for raster operations and transparency.
void bands(HDC dc) {
    const COLORREF colours[4] = {kBlack, kWhite, kYellow, kBlue};
    Use pen(dc, GetStockObject(NULL_PEN));
    for (int i = 0; i < 4; ++i) {
        HBRUSH b = CreateSolidBrush(colours[i]);
        HGDIOBJ old = SelectObject(dc, b);
        Rectangle(dc, i * W / 4, 0, (i + 1) * W / 4 + 1, H + 1);
        SelectObject(dc, old);
        DeleteObject(b);
    }
    pen.obj = nullptr;  // stock object: nothing to delete
}

void zigzag(HDC dc) {
    const POINT p[] = {{10, 100}, {40, 20}, {70, 100}, {100, 20}, {130, 100}, {150, 30}};
    Polyline(dc, p, 6);
}

void star(HDC dc) {
    POINT p[5];
    for (int i = 0; i < 5; ++i) {
        const double a = -kPi / 2 + i * 4 * kPi / 5;
        p[i] = {LONG(80 + 50 * std::cos(a)), LONG(62 + 50 * std::sin(a))};
    }
    Polygon(dc, p, 5);
}

// Two nested squares and one overlapping one, as a poly-polygon.
void nested(HDC dc) {
    const POINT p[] = {{15, 10}, {105, 10}, {105, 100}, {15, 100},  // outer, clockwise
                       {35, 30}, {85, 30},  {85, 80},   {35, 80},   // inner, same way
                       {70, 45}, {145, 45}, {145, 112}, {70, 112}};
    const INT n[] = {4, 4, 4};
    PolyPolygon(dc, p, n, 3);
}

// A point on a circle around the picture's centre, for arc end points.
POINT radial(double degrees) {
    const double a = degrees * kPi / 180;
    return {LONG(std::lround(80 + 100 * std::cos(a))), LONG(std::lround(60 - 100 * std::sin(a)))};
}

struct Named {
    const char *name;
    int value;
};

const Named kPenStyles[] = {{"solid", PS_SOLID},     {"dash", PS_DASH},
                            {"dot", PS_DOT},         {"dashdot", PS_DASHDOT},
                            {"dashdotdot", PS_DASHDOTDOT}, {"null", PS_NULL},
                            {"insideframe", PS_INSIDEFRAME}};
const Named kRop2[] = {{"black", R2_BLACK},         {"notmergepen", R2_NOTMERGEPEN},
                       {"masknotpen", R2_MASKNOTPEN}, {"notcopypen", R2_NOTCOPYPEN},
                       {"maskpennot", R2_MASKPENNOT}, {"not", R2_NOT},
                       {"xorpen", R2_XORPEN},         {"notmaskpen", R2_NOTMASKPEN},
                       {"maskpen", R2_MASKPEN},       {"notxorpen", R2_NOTXORPEN},
                       {"nop", R2_NOP},               {"mergenotpen", R2_MERGENOTPEN},
                       {"copypen", R2_COPYPEN},       {"mergepennot", R2_MERGEPENNOT},
                       {"mergepen", R2_MERGEPEN},     {"white", R2_WHITE}};
const Named kHatches[] = {{"horizontal", HS_HORIZONTAL}, {"vertical", HS_VERTICAL},
                          {"fdiagonal", HS_FDIAGONAL},   {"bdiagonal", HS_BDIAGONAL},
                          {"cross", HS_CROSS},           {"diagcross", HS_DIAGCROSS}};
const Named kBkModes[] = {{"transparent", TRANSPARENT}, {"opaque", OPAQUE}};
const Named kFillModes[] = {{"alternate", ALTERNATE}, {"winding", WINDING}};
const Named kStretchModes[] = {{"blackonwhite", BLACKONWHITE}, {"whiteonblack", WHITEONBLACK},
                               {"coloroncolor", COLORONCOLOR}, {"halftone", HALFTONE}};

// ---- bitmaps ---------------------------------------------------------------

// A small test image (16 x 12) at a given depth: blocks of colour, a diagonal
// and a white border, so that scaling and orientation show.
struct Dib {
    std::vector<uint8_t> info;  // BITMAPINFOHEADER + colour table
    std::vector<uint8_t> bits;
    int w = 16, h = 12;
    BITMAPINFO *bmi() { return reinterpret_cast<BITMAPINFO *>(info.data()); }
};

COLORREF imageColour(int x, int y) {
    if (x == 0 || y == 0 || x == 15 || y == 11) return kWhite;
    if (x == y) return kBlack;
    static const COLORREF blocks[4] = {kRed, kGreen, kBlue, kYellow};
    return blocks[(x / 8) + 2 * (y / 6)];
}

Dib makeDib(int bpp, bool topDown = false, int w = 16, int h = 12) {
    Dib d;
    d.w = w;
    d.h = h;
    const int colours = bpp <= 8 ? 1 << bpp : 0;
    d.info.assign(sizeof(BITMAPINFOHEADER) + size_t(colours) * 4, 0);
    BITMAPINFOHEADER &hd = d.bmi()->bmiHeader;
    hd.biSize = sizeof hd;
    hd.biWidth = w;
    hd.biHeight = topDown ? -h : h;
    hd.biPlanes = 1;
    hd.biBitCount = WORD(bpp);
    hd.biCompression = BI_RGB;
    hd.biClrUsed = DWORD(colours);
    static const COLORREF table[6] = {kWhite, kBlack, kRed, kGreen, kBlue, kYellow};
    RGBQUAD *pal = d.bmi()->bmiColors;
    for (int i = 0; i < colours; ++i) {
        const COLORREF c = i < 6 ? table[i] : RGB(i * 37 % 256, i * 91 % 256, i * 53 % 256);
        pal[i] = {GetBValue(c), GetGValue(c), GetRValue(c), 0};
    }
    auto index = [&](COLORREF c) {
        if (bpp == 1) return c == kWhite || c == kYellow ? 0 : 1;
        for (int i = 0; i < 6; ++i)
            if (table[i] == c) return i;
        return 1;
    };
    const int stride = ((w * bpp + 31) / 32) * 4;
    d.bits.assign(size_t(stride) * h, 0);
    for (int y = 0; y < h; ++y) {
        const int row = topDown ? y : h - 1 - y;
        uint8_t *r = &d.bits[size_t(row) * stride];
        for (int x = 0; x < w; ++x) {
            const COLORREF c = imageColour(x * 16 / w, y * 12 / h);
            switch (bpp) {
            case 1: r[x / 8] |= uint8_t(index(c) << (7 - x % 8)); break;
            case 4: r[x / 2] |= uint8_t(index(c) << (x % 2 ? 0 : 4)); break;
            case 8: r[x] = uint8_t(index(c)); break;
            case 16: {
                const unsigned v = (GetRValue(c) >> 3) << 10 | (GetGValue(c) >> 3) << 5 | GetBValue(c) >> 3;
                r[x * 2] = uint8_t(v);
                r[x * 2 + 1] = uint8_t(v >> 8);
                break;
            }
            case 24:
                r[x * 3] = GetBValue(c);
                r[x * 3 + 1] = GetGValue(c);
                r[x * 3 + 2] = GetRValue(c);
                break;
            case 32:
                r[x * 4] = GetBValue(c);
                r[x * 4 + 1] = GetGValue(c);
                r[x * 4 + 2] = GetRValue(c);
                r[x * 4 + 3] = 255;
                break;
            }
        }
    }
    hd.biSizeImage = DWORD(d.bits.size());
    return d;
}

// A memory DC holding the test image, as a source for blits.
struct Source {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    explicit Source(int bpp = 24, int w = 16, int h = 12) {
        Dib d = makeDib(bpp, false, w, h);
        void *bits = nullptr;
        bitmap = CreateDIBSection(nullptr, d.bmi(), DIB_RGB_COLORS, &bits, nullptr, 0);
        std::memcpy(bits, d.bits.data(), d.bits.size());
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
    }
    ~Source() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
};

// 32-bit source with per-pixel alpha, premultiplied: a horizontal ramp.
struct AlphaSource {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    AlphaSource() {
        Dib d = makeDib(32);
        void *bits = nullptr;
        bitmap = CreateDIBSection(nullptr, d.bmi(), DIB_RGB_COLORS, &bits, nullptr, 0);
        uint8_t *p = static_cast<uint8_t *>(bits);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x) {
                uint8_t *q = p + (y * 16 + x) * 4;
                const int a = x * 17;
                q[0] = uint8_t(40 * a / 255);
                q[1] = uint8_t(160 * a / 255);
                q[2] = uint8_t(220 * a / 255);
                q[3] = uint8_t(a);
            }
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
    }
    ~AlphaSource() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
};

HBITMAP monoPattern() {
    static const WORD rows[8] = {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81};
    return CreateBitmap(8, 8, 1, 1, rows);
}

// ---- regions ----------------------------------------------------------------

const Named kRegionShapes[] = {{"rect", 0}, {"ellipse", 1}, {"polygon", 2}, {"roundrect", 3}};

HRGN makeRegion(int shape) {
    switch (shape) {
    case 0: return CreateRectRgn(30, 20, 120, 95);
    case 1: return CreateEllipticRgn(25, 15, 135, 105);
    case 2: {
        const POINT p[] = {{80, 5}, {150, 60}, {80, 115}, {10, 60}};
        return CreatePolygonRgn(p, 4, ALTERNATE);
    }
    case 3: return CreateRoundRectRgn(20, 15, 140, 105, 40, 30);
    default: {
        HRGN a = CreateRectRgn(10, 10, 90, 70), b = CreateEllipticRgn(60, 40, 150, 115);
        CombineRgn(a, a, b, RGN_XOR);
        DeleteObject(b);
        return a;
    }
    }
}

// ---- text -------------------------------------------------------------------

HFONT font(const wchar_t *face, int height, int weight = FW_NORMAL, int escapement = 0,
           bool italic = false, bool underline = false, bool strike = false,
           DWORD quality = DEFAULT_QUALITY) {
    return CreateFontW(height, 0, escapement, escapement, weight, italic, underline, strike,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, quality,
                       DEFAULT_PITCH, face);
}

void text(HDC dc, int x, int y, const wchar_t *s) { ExtTextOutW(dc, x, y, 0, nullptr, s, UINT(wcslen(s)), nullptr); }

// ---- the cases --------------------------------------------------------------

void pensLines() {
    const char *A = "pens-lines";
    const int widths[] = {1, 2, 6};
    for (const Named &s : kPenStyles)
        for (int w : widths)
            emf(A, std::string("style-") + s.name + "-w" + std::to_string(w), [s, w](HDC dc) {
                Use pen(dc, CreatePen(s.value, w, kBlue));
                Use brush(dc, GetStockObject(NULL_BRUSH));
                zigzag(dc);
                Rectangle(dc, 20, 30, 140, 90);
                brush.obj = nullptr;
            });
    for (const Named &m : kBkModes)
        for (int i = 1; i <= 4; ++i)
            emf(A, std::string("styled-bk-") + m.name + "-" + kPenStyles[i].name, [m, i](HDC dc) {
                bands(dc);
                SetBkMode(dc, m.value);
                SetBkColor(dc, RGB(0, 200, 200));
                Use pen(dc, CreatePen(kPenStyles[i].value, 1, kRed));
                for (int y = 10; y < H; y += 12) {
                    MoveToEx(dc, 5, y, nullptr);
                    LineTo(dc, 155, y + 6);
                }
            });
    for (const Named &r : kRop2) {
        emf(A, std::string("rop2-") + r.name + "-line", [r](HDC dc) {
            bands(dc);
            SetROP2(dc, r.value);
            Use pen(dc, solidPen(9, RGB(200, 60, 160)));
            zigzag(dc);
        });
        emf(A, std::string("rop2-") + r.name + "-fill", [r](HDC dc) {
            bands(dc);
            SetROP2(dc, r.value);
            Use pen(dc, solidPen(3, kGreen));
            Use brush(dc, CreateSolidBrush(RGB(200, 60, 160)));
            Ellipse(dc, 10, 15, 150, 105);
        });
    }
    // The recorder picks 16-bit point records when the coordinates fit, and
    // 32-bit ones otherwise: a window of 1000 units a pixel forces those.
    for (int big = 0; big < 2; ++big) {
        const std::string sfx = big ? "-32bit" : "";
        const int k = big ? 1000 : 1;
        auto setup = [big](HDC dc) {
            if (!big) return;
            SetMapMode(dc, MM_ANISOTROPIC);
            SetWindowExtEx(dc, W * 1000, H * 1000, nullptr);
            SetViewportExtEx(dc, W, H, nullptr);
        };
        emf(A, "polyline" + sfx, [setup, k](HDC dc) {
            setup(dc);
            Use pen(dc, solidPen(0, kRed));
            POINT p[] = {{10, 10}, {150, 20}, {20, 60}, {150, 110}, {10, 110}};
            for (POINT &q : p) q.x *= k, q.y *= k;
            Polyline(dc, p, 5);
        });
        emf(A, "polylineto" + sfx, [setup, k](HDC dc) {
            setup(dc);
            Use pen(dc, solidPen(3, kGreen));
            MoveToEx(dc, 10 * k, 60 * k, nullptr);
            POINT p[] = {{40, 10}, {80, 110}, {120, 10}, {150, 60}};
            for (POINT &q : p) q.x *= k, q.y *= k;
            PolylineTo(dc, p, 4);
            LineTo(dc, 10 * k, 60 * k);
        });
        emf(A, "polypolyline" + sfx, [setup, k](HDC dc) {
            setup(dc);
            Use pen(dc, solidPen(2, kBlue));
            POINT p[] = {{10, 10}, {150, 10}, {80, 60}, {10, 110}, {150, 110}, {30, 40}, {130, 80}};
            for (POINT &q : p) q.x *= k, q.y *= k;
            const DWORD n[] = {3, 2, 2};
            PolyPolyline(dc, p, n, 3);
        });
        emf(A, "polybezier" + sfx, [setup, k](HDC dc) {
            setup(dc);
            Use pen(dc, solidPen(2, kRed));
            POINT p[] = {{10, 100}, {40, 0}, {120, 0}, {150, 100}, {120, 120}, {40, 60}, {10, 20}};
            for (POINT &q : p) q.x *= k, q.y *= k;
            PolyBezier(dc, p, 7);
        });
        emf(A, "polybezierto" + sfx, [setup, k](HDC dc) {
            setup(dc);
            Use pen(dc, solidPen(1, kBlack));
            MoveToEx(dc, 10 * k, 60 * k, nullptr);
            POINT p[] = {{30, -20}, {130, 140}, {150, 60}};
            for (POINT &q : p) q.x *= k, q.y *= k;
            PolyBezierTo(dc, p, 3);
        });
        emf(A, "polydraw" + sfx, [setup, k](HDC dc) {
            setup(dc);
            Use pen(dc, solidPen(2, kBlue));
            POINT p[] = {{10, 20}, {70, 20}, {70, 100}, {150, 100}, {150, 20}, {110, 60}, {20, 110}};
            for (POINT &q : p) q.x *= k, q.y *= k;
            const BYTE t[] = {PT_MOVETO, PT_LINETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO,
                              PT_MOVETO, PT_LINETO | PT_CLOSEFIGURE};
            PolyDraw(dc, p, t, 7);
        });
    }
    emf(A, "lineto-fan", [](HDC dc) {
        Use pen(dc, solidPen(1, kBlack));
        for (int i = 0; i <= 16; ++i) {
            MoveToEx(dc, 80, 60, nullptr);
            const POINT p = radial(i * 22.5);
            LineTo(dc, 80 + (p.x - 80) / 2, 60 + (p.y - 60) / 2);
        }
    });
    emf(A, "setpixelv-grid", [](HDC dc) {
        for (int y = 4; y < H; y += 8)
            for (int x = 4; x < W; x += 8) SetPixelV(dc, x, y, RGB(x * 255 / W, y * 255 / H, 128));
    });
    emf(A, "setpixel-grid", [](HDC dc) {
        for (int y = 2; y < H; y += 5)
            for (int x = 2; x < W; x += 5) SetPixel(dc, x, y, kRed);
    });
    emf(A, "pen-colours-widths", [](HDC dc) {
        const COLORREF c[] = {kRed, kGreen, kBlue, kBlack, kYellow, RGB(128, 128, 128)};
        for (int i = 0; i < 6; ++i) {
            Use pen(dc, solidPen(i * 3, c[i]));
            MoveToEx(dc, 10, 10 + i * 19, nullptr);
            LineTo(dc, 150, 20 + i * 17);
        }
    });
    // Extended pens (EMR_EXTCREATEPEN).
    const Named caps[] = {{"round", PS_ENDCAP_ROUND}, {"square", PS_ENDCAP_SQUARE}, {"flat", PS_ENDCAP_FLAT}};
    const Named joins[] = {{"round", PS_JOIN_ROUND}, {"bevel", PS_JOIN_BEVEL}, {"miter", PS_JOIN_MITER}};
    for (const Named &c : caps)
        for (const Named &j : joins)
            emf(A, std::string("extpen-cap-") + c.name + "-join-" + j.name, [c, j](HDC dc) {
                LOGBRUSH lb{BS_SOLID, kRed, 0};
                Use pen(dc, ExtCreatePen(PS_GEOMETRIC | PS_SOLID | c.value | j.value, 12, &lb, 0, nullptr));
                const POINT p[] = {{20, 100}, {50, 20}, {80, 90}, {140, 30}};
                Polyline(dc, p, 4);
            });
    for (int i = 1; i <= 4; ++i)
        emf(A, std::string("extpen-geometric-") + kPenStyles[i].name, [i](HDC dc) {
            LOGBRUSH lb{BS_SOLID, kBlue, 0};
            Use pen(dc, ExtCreatePen(PS_GEOMETRIC | DWORD(kPenStyles[i].value) | PS_ENDCAP_FLAT, 4, &lb, 0,
                                     nullptr));
            zigzag(dc);
        });
    emf(A, "extpen-cosmetic-alternate", [](HDC dc) {
        LOGBRUSH lb{BS_SOLID, kBlack, 0};
        Use pen(dc, ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 1, &lb, 0, nullptr));
        zigzag(dc);
    });
    emf(A, "extpen-cosmetic-userstyle", [](HDC dc) {
        LOGBRUSH lb{BS_SOLID, kGreen, 0};
        const DWORD style[] = {6, 2, 1, 2};
        Use pen(dc, ExtCreatePen(PS_COSMETIC | PS_USERSTYLE, 1, &lb, 4, style));
        zigzag(dc);
    });
    emf(A, "extpen-geometric-userstyle", [](HDC dc) {
        LOGBRUSH lb{BS_SOLID, kRed, 0};
        const DWORD style[] = {12, 6, 3, 6};
        Use pen(dc, ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT, 5, &lb, 4, style));
        zigzag(dc);
    });
    emf(A, "extpen-hatched", [](HDC dc) {
        LOGBRUSH lb{BS_HATCHED, kBlue, HS_DIAGCROSS};
        Use pen(dc, ExtCreatePen(PS_GEOMETRIC | PS_SOLID, 16, &lb, 0, nullptr));
        zigzag(dc);
    });
    const int limits[] = {1, 4, 10};
    for (int l : limits)
        emf(A, "extpen-miterlimit-" + std::to_string(l), [l](HDC dc) {
            SetMiterLimit(dc, FLOAT(l), nullptr);
            LOGBRUSH lb{BS_SOLID, kGreen, 0};
            Use pen(dc, ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_JOIN_MITER, 8, &lb, 0, nullptr));
            const POINT p[] = {{10, 100}, {40, 20}, {55, 100}, {100, 80}, {150, 90}};
            Polyline(dc, p, 5);
        });
}

void brushesHatches() {
    const char *A = "brushes-hatches";
    for (const Named &h : kHatches)
        for (const Named &m : kBkModes)
            emf(A, std::string("hatch-") + h.name + "-" + m.name, [h, m](HDC dc) {
                bands(dc);
                SetBkMode(dc, m.value);
                SetBkColor(dc, RGB(0, 200, 200));
                Use brush(dc, CreateHatchBrush(h.value, kRed));
                Use pen(dc, solidPen(1, kBlack));
                Rectangle(dc, 10, 10, 150, 110);
            });
    for (const Named &h : kHatches)
        emf(A, std::string("hatch-") + h.name + "-brushorg", [h](HDC dc) {
            SetBrushOrgEx(dc, 3, 5, nullptr);
            Use brush(dc, CreateHatchBrush(h.value, kBlue));
            Use pen(dc, GetStockObject(NULL_PEN));
            Ellipse(dc, 10, 10, 150, 110);
            pen.obj = nullptr;
        });
    const COLORREF solids[] = {kRed, kGreen, kBlue, RGB(128, 64, 32)};
    for (int i = 0; i < 4; ++i)
        emf(A, "solid-" + std::to_string(i), [c = solids[i]](HDC dc) {
            Use brush(dc, CreateSolidBrush(c));
            Use pen(dc, solidPen(2, kBlack));
            RoundRect(dc, 10, 10, 150, 110, 30, 30);
        });
    const Named stock[] = {{"white", WHITE_BRUSH}, {"ltgray", LTGRAY_BRUSH}, {"gray", GRAY_BRUSH},
                           {"dkgray", DKGRAY_BRUSH}, {"black", BLACK_BRUSH}, {"null", NULL_BRUSH}};
    for (const Named &s : stock)
        emf(A, std::string("stock-") + s.name, [s](HDC dc) {
            bands(dc);
            HGDIOBJ old = SelectObject(dc, GetStockObject(s.value));
            Use pen(dc, solidPen(3, kRed));
            Ellipse(dc, 15, 15, 145, 105);
            SelectObject(dc, old);
        });
    for (const Named &m : kBkModes)
        for (int colours = 0; colours < 2; ++colours)
            emf(A, std::string("mono-pattern-") + m.name + (colours ? "-coloured" : "-default"),
                [m, colours](HDC dc) {
                    bands(dc);
                    SetBkMode(dc, m.value);
                    if (colours) {
                        SetTextColor(dc, kRed);
                        SetBkColor(dc, kGreen);
                    }
                    HBITMAP bm = monoPattern();
                    Use brush(dc, CreatePatternBrush(bm));
                    DeleteObject(bm);
                    Use pen(dc, solidPen(1, kBlack));
                    Rectangle(dc, 10, 10, 150, 110);
                });
    const int depths[] = {1, 4, 8, 16, 24, 32};
    for (int bpp : depths)
        emf(A, "dib-pattern-" + std::to_string(bpp) + "bpp", [bpp](HDC dc) {
            Dib d = makeDib(bpp, false, 8, 8);
            std::vector<uint8_t> packed(d.info);
            packed.insert(packed.end(), d.bits.begin(), d.bits.end());
            Use brush(dc, CreateDIBPatternBrushPt(packed.data(), DIB_RGB_COLORS));
            Use pen(dc, solidPen(1, kBlack));
            Ellipse(dc, 5, 5, 155, 115);
        });
    emf(A, "dib-pattern-24bpp-brushorg", [](HDC dc) {
        SetBrushOrgEx(dc, 3, 2, nullptr);
        Dib d = makeDib(24, false, 8, 8);
        std::vector<uint8_t> packed(d.info);
        packed.insert(packed.end(), d.bits.begin(), d.bits.end());
        Use brush(dc, CreateDIBPatternBrushPt(packed.data(), DIB_RGB_COLORS));
        Use pen(dc, GetStockObject(NULL_PEN));
        Rectangle(dc, 5, 5, 155, 115);
        pen.obj = nullptr;
    });
    emf(A, "colour-pattern-brush", [](HDC dc) {
        Source src(24, 8, 8);
        HBITMAP bm = static_cast<HBITMAP>(SelectObject(src.dc, src.old));
        Use brush(dc, CreatePatternBrush(bm));
        SelectObject(src.dc, bm);
        Use pen(dc, solidPen(1, kBlack));
        Rectangle(dc, 10, 10, 150, 110);
    });
    for (const Named &f : kFillModes) {
        emf(A, std::string("fill-") + f.name + "-star", [f](HDC dc) {
            SetPolyFillMode(dc, f.value);
            Use brush(dc, CreateSolidBrush(kGreen));
            Use pen(dc, solidPen(1, kBlack));
            star(dc);
        });
        emf(A, std::string("fill-") + f.name + "-polypolygon", [f](HDC dc) {
            SetPolyFillMode(dc, f.value);
            Use brush(dc, CreateSolidBrush(kBlue));
            Use pen(dc, solidPen(1, kRed));
            nested(dc);
        });
        emf(A, std::string("fill-") + f.name + "-hatched-star", [f](HDC dc) {
            SetPolyFillMode(dc, f.value);
            Use brush(dc, CreateHatchBrush(HS_CROSS, kBlue));
            Use pen(dc, solidPen(2, kBlack));
            star(dc);
        });
    }
}

void shapesArcs() {
    const char *A = "shapes-arcs";
    const Named dirs[] = {{"ccw", AD_COUNTERCLOCKWISE}, {"cw", AD_CLOCKWISE}};
    const int angles[4][2] = {{0, 90}, {45, 270}, {200, 20}, {90, 0}};
    const char *kinds[] = {"arc", "chord", "pie", "arcto"};
    for (int k = 0; k < 4; ++k)
        for (const Named &d : dirs)
            for (auto &a : angles) {
                const std::string name = std::string(kinds[k]) + "-" + d.name + "-" + std::to_string(a[0]) +
                                         "-" + std::to_string(a[1]);
                emf(A, name, [k, d, s = a[0], e = a[1]](HDC dc) {
                    SetArcDirection(dc, d.value);
                    Use pen(dc, solidPen(3, kBlue));
                    Use brush(dc, CreateSolidBrush(kYellow));
                    const POINT p = radial(s), q = radial(e);
                    switch (k) {
                    case 0: Arc(dc, 20, 10, 140, 110, p.x, p.y, q.x, q.y); break;
                    case 1: Chord(dc, 20, 10, 140, 110, p.x, p.y, q.x, q.y); break;
                    case 2: Pie(dc, 20, 10, 140, 110, p.x, p.y, q.x, q.y); break;
                    default:
                        MoveToEx(dc, 5, 5, nullptr);
                        ArcTo(dc, 20, 10, 140, 110, p.x, p.y, q.x, q.y);
                        LineTo(dc, 155, 115);
                    }
                });
            }
    for (int k = 0; k < 3; ++k)
        emf(A, std::string(kinds[k]) + "-full", [k](HDC dc) {
            Use pen(dc, solidPen(2, kRed));
            Use brush(dc, CreateSolidBrush(kGreen));
            const POINT p = radial(30);
            if (k == 0) Arc(dc, 20, 10, 140, 110, p.x, p.y, p.x, p.y);
            if (k == 1) Chord(dc, 20, 10, 140, 110, p.x, p.y, p.x, p.y);
            if (k == 2) Pie(dc, 20, 10, 140, 110, p.x, p.y, p.x, p.y);
        });
    const int sweeps[][2] = {{0, 90}, {45, -135}, {90, 270}, {30, 360}, {180, -300}, {0, 0}};
    for (auto &s : sweeps)
        emf(A, "anglearc-" + std::to_string(s[0]) + "-" + (s[1] < 0 ? "m" + std::to_string(-s[1]) : std::to_string(s[1])),
            [a = s[0], b = s[1]](HDC dc) {
                Use pen(dc, solidPen(3, kBlue));
                MoveToEx(dc, 10, 10, nullptr);
                AngleArc(dc, 80, 60, 45, FLOAT(a), FLOAT(b));
                LineTo(dc, 150, 110);
            });
    const char *shapes[] = {"rectangle", "ellipse", "roundrect"};
    auto shape = [](HDC dc, int k, int l, int t, int r, int b) {
        if (k == 0) Rectangle(dc, l, t, r, b);
        if (k == 1) Ellipse(dc, l, t, r, b);
        if (k == 2) RoundRect(dc, l, t, r, b, 40, 30);
    };
    const Named pens[] = {{"w1", 1}, {"w5", 5}, {"nullpen", 0}, {"insideframe5", -5}};
    const Named brushes[] = {{"solid", 1}, {"nullbrush", 0}};
    for (int k = 0; k < 3; ++k)
        for (const Named &p : pens)
            for (const Named &b : brushes)
                emf(A, std::string(shapes[k]) + "-" + p.name + "-" + b.name, [k, p, b, shape](HDC dc) {
                    HPEN pen = p.value == 0   ? CreatePen(PS_NULL, 0, 0)
                               : p.value < 0 ? CreatePen(PS_INSIDEFRAME, -p.value, kRed)
                                             : solidPen(p.value, kRed);
                    Use up(dc, pen);
                    Use ub(dc, b.value ? CreateSolidBrush(kBlue) : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
                    if (!b.value) ub.obj = nullptr;
                    shape(dc, k, 20, 15, 140, 105);
                });
    for (int k = 0; k < 3; ++k) {
        emf(A, std::string(shapes[k]) + "-reversed", [k, shape](HDC dc) {
            Use up(dc, solidPen(1, kBlack));
            Use ub(dc, CreateSolidBrush(kGreen));
            shape(dc, k, 140, 105, 20, 15);
        });
        emf(A, std::string(shapes[k]) + "-tiny", [k, shape](HDC dc) {
            Use up(dc, solidPen(1, kBlack));
            Use ub(dc, CreateSolidBrush(kRed));
            for (int s = 1; s <= 6; ++s) shape(dc, k, s * 22, 50, s * 22 + s, 50 + s);
        });
        emf(A, std::string(shapes[k]) + "-nullpen-tiny", [k, shape](HDC dc) {
            Use up(dc, CreatePen(PS_NULL, 0, 0));
            Use ub(dc, CreateSolidBrush(kBlue));
            for (int s = 1; s <= 6; ++s) shape(dc, k, s * 22, 50, s * 22 + s, 50 + s);
        });
    }
    const int corners[][2] = {{0, 0}, {10, 10}, {60, 20}, {200, 200}};
    for (auto &c : corners)
        emf(A, "roundrect-corner-" + std::to_string(c[0]) + "x" + std::to_string(c[1]), [cw = c[0], ch = c[1]](HDC dc) {
            Use up(dc, solidPen(2, kBlack));
            Use ub(dc, CreateSolidBrush(kYellow));
            RoundRect(dc, 15, 15, 145, 105, cw, ch);
        });
    emf(A, "polygon", [](HDC dc) {
        Use up(dc, solidPen(2, kBlack));
        Use ub(dc, CreateSolidBrush(kRed));
        const POINT p[] = {{10, 60}, {60, 10}, {150, 30}, {120, 110}, {40, 100}};
        Polygon(dc, p, 5);
    });
    emf(A, "polygon-32bit", [](HDC dc) {
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, W * 1000, H * 1000, nullptr);
        SetViewportExtEx(dc, W, H, nullptr);
        Use up(dc, solidPen(2, kBlack));
        Use ub(dc, CreateSolidBrush(kRed));
        const POINT p[] = {{10000, 60000}, {60000, 10000}, {150000, 30000}, {120000, 110000}, {40000, 100000}};
        Polygon(dc, p, 5);
    });
    emf(A, "polypolygon", [](HDC dc) {
        Use up(dc, solidPen(1, kBlack));
        Use ub(dc, CreateSolidBrush(kGreen));
        nested(dc);
    });
    emf(A, "polypolygon-32bit", [](HDC dc) {
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, W * 1000, H * 1000, nullptr);
        SetViewportExtEx(dc, W, H, nullptr);
        Use up(dc, solidPen(1, kBlack));
        Use ub(dc, CreateSolidBrush(kGreen));
        POINT p[] = {{15, 10}, {105, 10}, {105, 100}, {15, 100}, {35, 30}, {85, 30}, {85, 80}, {35, 80}};
        for (POINT &q : p) q.x *= 1000, q.y *= 1000;
        const INT n[] = {4, 4};
        PolyPolygon(dc, p, n, 2);
    });
    emf(A, "concentric-ellipses", [](HDC dc) {
        Use up(dc, solidPen(1, kBlack));
        Use ub(dc, GetStockObject(NULL_BRUSH));
        ub.obj = nullptr;
        for (int i = 0; i < 10; ++i) Ellipse(dc, 10 + i * 7, 5 + i * 5, 150 - i * 7, 115 - i * 5);
    });
}

void pathFigure(HDC dc, int figure) {
    switch (figure) {
    case 0: star(dc); break;
    case 1:
        Rectangle(dc, 10, 10, 100, 80);
        Rectangle(dc, 60, 40, 150, 110);
        break;
    case 2:
        Ellipse(dc, 10, 10, 110, 110);
        Rectangle(dc, 60, 30, 150, 90);
        break;
    case 3: {
        const POINT p[] = {{10, 100}, {40, -20}, {120, 160}, {150, 20}};
        MoveToEx(dc, 10, 100, nullptr);
        PolyBezierTo(dc, p + 1, 3);
        LineTo(dc, 80, 110);
        CloseFigure(dc);
        break;
    }
    case 4:
        MoveToEx(dc, 80, 60, nullptr);
        AngleArc(dc, 80, 60, 50, 30, 240);
        CloseFigure(dc);
        Pie(dc, 60, 10, 150, 100, 150, 55, 105, 10);
        break;
    default: zigzag(dc);
    }
}

void paths() {
    const char *A = "paths";
    const char *figures[] = {"star", "tworects", "ellipse-rect", "bezier", "arcs", "open-polyline"};
    for (int f = 0; f < 6; ++f) {
        for (const Named &m : kFillModes) {
            emf(A, std::string("fill-") + figures[f] + "-" + m.name, [f, m](HDC dc) {
                SetPolyFillMode(dc, m.value);
                Use ub(dc, CreateSolidBrush(kGreen));
                BeginPath(dc);
                pathFigure(dc, f);
                EndPath(dc);
                FillPath(dc);
            });
            emf(A, std::string("strokefill-") + figures[f] + "-" + m.name, [f, m](HDC dc) {
                SetPolyFillMode(dc, m.value);
                Use ub(dc, CreateSolidBrush(kYellow));
                Use up(dc, solidPen(3, kBlue));
                BeginPath(dc);
                pathFigure(dc, f);
                EndPath(dc);
                StrokeAndFillPath(dc);
            });
        }
        emf(A, std::string("stroke-") + figures[f], [f](HDC dc) {
            Use up(dc, solidPen(4, kRed));
            BeginPath(dc);
            pathFigure(dc, f);
            EndPath(dc);
            StrokePath(dc);
        });
    }
    for (int close = 0; close < 2; ++close)
        emf(A, close ? "closefigure" : "open-figure", [close](HDC dc) {
            Use up(dc, solidPen(7, kBlue));
            BeginPath(dc);
            MoveToEx(dc, 20, 100, nullptr);
            LineTo(dc, 80, 15);
            LineTo(dc, 140, 100);
            if (close) CloseFigure(dc);
            EndPath(dc);
            StrokePath(dc);
        });
    emf(A, "flattenpath-stroke", [](HDC dc) {
        Use up(dc, solidPen(1, kBlack));
        BeginPath(dc);
        pathFigure(dc, 3);
        EndPath(dc);
        FlattenPath(dc);
        StrokePath(dc);
    });
    emf(A, "flattenpath-fill", [](HDC dc) {
        Use ub(dc, CreateSolidBrush(kRed));
        BeginPath(dc);
        Ellipse(dc, 10, 10, 150, 110);
        EndPath(dc);
        FlattenPath(dc);
        FillPath(dc);
    });
    emf(A, "widenpath-fill", [](HDC dc) {
        Use up(dc, solidPen(10, kBlack));
        Use ub(dc, CreateSolidBrush(kBlue));
        BeginPath(dc);
        zigzag(dc);
        EndPath(dc);
        WidenPath(dc);
        FillPath(dc);
    });
    emf(A, "widenpath-stroke", [](HDC dc) {
        Use up(dc, solidPen(12, kGreen));
        BeginPath(dc);
        Ellipse(dc, 30, 20, 130, 100);
        EndPath(dc);
        WidenPath(dc);
        SelectObject(dc, GetStockObject(BLACK_PEN));
        StrokePath(dc);
    });
    const Named modes[] = {{"and", RGN_AND}, {"or", RGN_OR}, {"xor", RGN_XOR}, {"diff", RGN_DIFF}, {"copy", RGN_COPY}};
    for (const Named &m : modes)
        emf(A, std::string("selectclippath-") + m.name, [m](HDC dc) {
            IntersectClipRect(dc, 10, 10, 110, 90);
            BeginPath(dc);
            Ellipse(dc, 50, 20, 150, 110);
            EndPath(dc);
            SelectClipPath(dc, m.value);
            bands(dc);
        });
    emf(A, "abortpath", [](HDC dc) {
        Use ub(dc, CreateSolidBrush(kRed));
        BeginPath(dc);
        Rectangle(dc, 10, 10, 150, 110);
        AbortPath(dc);
        Use up(dc, solidPen(2, kBlue));
        Ellipse(dc, 40, 30, 120, 90);
    });
    emf(A, "polydraw-path", [](HDC dc) {
        Use ub(dc, CreateSolidBrush(kYellow));
        Use up(dc, solidPen(2, kBlack));
        const POINT p[] = {{10, 20}, {70, 20}, {70, 100}, {150, 100}, {150, 20}, {110, 60}, {20, 110}};
        const BYTE t[] = {PT_MOVETO, PT_LINETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO | PT_CLOSEFIGURE,
                          PT_MOVETO, PT_LINETO};
        BeginPath(dc);
        PolyDraw(dc, p, t, 7);
        EndPath(dc);
        StrokeAndFillPath(dc);
    });
    emf(A, "text-path", [](HDC dc) {
        Use uf(dc, font(L"Arial", 70, FW_BOLD));
        Use ub(dc, CreateHatchBrush(HS_DIAGCROSS, kRed));
        Use up(dc, solidPen(1, kBlue));
        SetBkMode(dc, TRANSPARENT);
        BeginPath(dc);
        text(dc, 10, 20, L"Ab");
        EndPath(dc);
        StrokeAndFillPath(dc);
    });
    emf(A, "arcto-path", [](HDC dc) {
        Use ub(dc, CreateSolidBrush(kBlue));
        BeginPath(dc);
        MoveToEx(dc, 10, 60, nullptr);
        ArcTo(dc, 20, 10, 140, 110, 150, 60, 10, 60);
        CloseFigure(dc);
        EndPath(dc);
        FillPath(dc);
    });
    emf(A, "path-then-transform", [](HDC dc) {
        Use ub(dc, CreateSolidBrush(kGreen));
        BeginPath(dc);
        Rectangle(dc, 20, 20, 100, 80);
        EndPath(dc);
        SetGraphicsMode(dc, GM_ADVANCED);
        XFORM x{1, 0, 0, 1, 40, 30};
        SetWorldTransform(dc, &x);
        FillPath(dc);
    });
}

void clippingRegions() {
    const char *A = "clipping-regions";
    emf(A, "intersectcliprect", [](HDC dc) {
        IntersectClipRect(dc, 30, 20, 130, 100);
        bands(dc);
    });
    emf(A, "excludecliprect", [](HDC dc) {
        ExcludeClipRect(dc, 30, 20, 130, 100);
        bands(dc);
    });
    emf(A, "intersect-exclude", [](HDC dc) {
        IntersectClipRect(dc, 10, 10, 150, 110);
        ExcludeClipRect(dc, 40, 30, 120, 90);
        ExcludeClipRect(dc, 70, 0, 90, 120);
        bands(dc);
    });
    emf(A, "offsetcliprgn", [](HDC dc) {
        IntersectClipRect(dc, 10, 10, 80, 60);
        OffsetClipRgn(dc, 50, 40);
        bands(dc);
    });
    emf(A, "savedc-restoredc-clip", [](HDC dc) {
        SaveDC(dc);
        IntersectClipRect(dc, 10, 10, 70, 110);
        bands(dc);
        RestoreDC(dc, -1);
        Use ub(dc, CreateHatchBrush(HS_CROSS, kRed));
        Use up(dc, solidPen(1, kBlack));
        Ellipse(dc, 40, 20, 150, 100);
    });
    const Named modes[] = {{"and", RGN_AND}, {"or", RGN_OR}, {"xor", RGN_XOR}, {"diff", RGN_DIFF}, {"copy", RGN_COPY}};
    for (const Named &m : modes)
        for (const Named &s : kRegionShapes)
            emf(A, std::string("extselectcliprgn-") + m.name + "-" + s.name, [m, s](HDC dc) {
                IntersectClipRect(dc, 5, 40, 155, 80);
                HRGN r = makeRegion(s.value);
                ExtSelectClipRgn(dc, r, m.value);
                DeleteObject(r);
                bands(dc);
            });
    emf(A, "selectcliprgn-null", [](HDC dc) {
        IntersectClipRect(dc, 40, 30, 120, 90);
        SelectClipRgn(dc, nullptr);
        bands(dc);
    });
    emf(A, "setmetargn", [](HDC dc) {
        IntersectClipRect(dc, 20, 10, 140, 110);
        SetMetaRgn(dc);
        ExcludeClipRect(dc, 60, 40, 100, 80);
        bands(dc);
    });
    const char *ops[] = {"fillrgn", "framergn", "invertrgn", "paintrgn"};
    for (int o = 0; o < 4; ++o)
        for (int s = 0; s < 5; ++s)
            emf(A, std::string(ops[o]) + "-" + (s < 4 ? kRegionShapes[s].name : "combined"), [o, s](HDC dc) {
                bands(dc);
                HRGN r = makeRegion(s);
                HBRUSH b = CreateHatchBrush(HS_DIAGCROSS, kRed);
                Use ub(dc, CreateSolidBrush(kGreen));
                if (o == 0) FillRgn(dc, r, b);
                if (o == 1) FrameRgn(dc, r, b, 4, 3);
                if (o == 2) InvertRgn(dc, r);
                if (o == 3) PaintRgn(dc, r);
                DeleteObject(b);
                DeleteObject(r);
            });
    emf(A, "clip-under-transform", [](HDC dc) {
        SetGraphicsMode(dc, GM_ADVANCED);
        XFORM x{0.8f, 0.4f, -0.4f, 0.8f, 50, 0};
        SetWorldTransform(dc, &x);
        IntersectClipRect(dc, 20, 20, 100, 80);
        ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
        bands(dc);
    });
    emf(A, "clip-under-mapmode", [](HDC dc) {
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, 80, 60, nullptr);
        SetViewportExtEx(dc, W, H, nullptr);
        IntersectClipRect(dc, 10, 10, 50, 40);
        bands(dc);
    });
}

void mappingTransforms() {
    const char *A = "mapping-transforms";
    const Named maps[] = {{"text", MM_TEXT},         {"lometric", MM_LOMETRIC}, {"himetric", MM_HIMETRIC},
                          {"loenglish", MM_LOENGLISH}, {"hienglish", MM_HIENGLISH}, {"twips", MM_TWIPS},
                          {"isotropic", MM_ISOTROPIC}, {"anisotropic", MM_ANISOTROPIC}};
    // The same figure in every mapping mode: its pixel points turned into
    // the mode's logical units by the recording DC.
    for (const Named &m : maps)
        emf(A, std::string("mapmode-") + m.name, [m](HDC dc) {
            SetMapMode(dc, m.value);
            if (m.value == MM_ISOTROPIC || m.value == MM_ANISOTROPIC) {
                SetWindowExtEx(dc, 1000, 1000, nullptr);
                SetViewportExtEx(dc, W, H, nullptr);
            }
            POINT p[] = {{10, 10}, {150, 110}, {40, 30}, {120, 90}, {10, 110}, {150, 10}};
            DPtoLP(dc, p, 6);
            Use up(dc, solidPen(0, kBlack));
            Use ub(dc, CreateSolidBrush(kYellow));
            Rectangle(dc, p[0].x, p[0].y, p[1].x, p[1].y);
            Ellipse(dc, p[2].x, p[2].y, p[3].x, p[3].y);
            MoveToEx(dc, p[4].x, p[4].y, nullptr);
            LineTo(dc, p[5].x, p[5].y);
        });
    struct View {
        const char *name;
        POINT wo, we, vo, ve;
    };
    const View views[] = {{"flip-x", {0, 0}, {160, 120}, {160, 0}, {-160, 120}},
                          {"flip-y", {0, 0}, {160, 120}, {0, 120}, {160, -120}},
                          {"flip-both", {0, 0}, {160, 120}, {160, 120}, {-160, -120}},
                          {"window-origin", {-40, -30}, {160, 120}, {0, 0}, {160, 120}},
                          {"viewport-origin", {0, 0}, {160, 120}, {40, 30}, {160, 120}},
                          {"zoom-in", {40, 30}, {80, 60}, {0, 0}, {160, 120}},
                          {"zoom-out", {0, 0}, {320, 240}, {0, 0}, {160, 120}},
                          {"stretch-x", {0, 0}, {80, 120}, {0, 0}, {160, 120}}};
    for (const View &v : views)
        for (int iso = 0; iso < 2; ++iso)
            emf(A, std::string(iso ? "isotropic-" : "anisotropic-") + v.name, [v, iso](HDC dc) {
                SetMapMode(dc, iso ? MM_ISOTROPIC : MM_ANISOTROPIC);
                SetWindowExtEx(dc, v.we.x, v.we.y, nullptr);
                SetViewportExtEx(dc, v.ve.x, v.ve.y, nullptr);
                SetWindowOrgEx(dc, v.wo.x, v.wo.y, nullptr);
                SetViewportOrgEx(dc, v.vo.x, v.vo.y, nullptr);
                Use up(dc, solidPen(2, kBlack));
                Use ub(dc, CreateSolidBrush(kGreen));
                const POINT p[] = {{10, 10}, {100, 10}, {10, 80}};
                Polygon(dc, p, 3);
                Use uf(dc, font(L"Arial", 20));
                text(dc, 60, 70, L"R");
            });
    emf(A, "scaleviewportextex", [](HDC dc) {
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, 160, 120, nullptr);
        SetViewportExtEx(dc, 160, 120, nullptr);
        ScaleViewportExtEx(dc, 3, 4, 2, 3, nullptr);
        Use ub(dc, CreateSolidBrush(kRed));
        Ellipse(dc, 10, 10, 150, 110);
    });
    emf(A, "scalewindowextex", [](HDC dc) {
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, 160, 120, nullptr);
        SetViewportExtEx(dc, 160, 120, nullptr);
        ScaleWindowExtEx(dc, 3, 2, 5, 4, nullptr);
        Use ub(dc, CreateSolidBrush(kBlue));
        Ellipse(dc, 10, 10, 150, 110);
    });
    emf(A, "offsetwindoworg", [](HDC dc) {
        OffsetWindowOrgEx(dc, -30, -20, nullptr);
        Use ub(dc, CreateSolidBrush(kBlue));
        Rectangle(dc, 0, 0, 100, 80);
    });
    emf(A, "offsetviewportorg", [](HDC dc) {
        OffsetViewportOrgEx(dc, 30, 20, nullptr);
        Use ub(dc, CreateSolidBrush(kRed));
        Rectangle(dc, 0, 0, 100, 80);
    });
    struct Xf {
        const char *name;
        XFORM x;
    };
    auto rot = [](double deg, double cx, double cy) {
        const float c = float(std::cos(deg * kPi / 180)), s = float(std::sin(deg * kPi / 180));
        return XFORM{c, s, -s, c, float(cx - c * cx + s * cy), float(cy - s * cx - c * cy)};
    };
    const Xf xfs[] = {{"rotate-15", rot(15, 80, 60)},  {"rotate-30", rot(30, 80, 60)},
                      {"rotate-45", rot(45, 80, 60)},  {"rotate-90", rot(90, 80, 60)},
                      {"rotate-180", rot(180, 80, 60)}, {"rotate-m60", rot(-60, 80, 60)},
                      {"scale-half", {0.5f, 0, 0, 0.5f, 40, 30}}, {"scale-2", {2, 0, 0, 2, -80, -60}},
                      {"shear-x", {1, 0, 0.5f, 1, -30, 0}},        {"shear-y", {1, 0.3f, 0, 1, 0, -24}},
                      {"reflect-x", {-1, 0, 0, 1, 160, 0}},       {"reflect-y", {1, 0, 0, -1, 0, 120}},
                      {"translate", {1, 0, 0, 1, 25.5f, 12.25f}}};
    for (const Xf &x : xfs)
        emf(A, std::string("world-") + x.name, [x](HDC dc) {
            SetGraphicsMode(dc, GM_ADVANCED);
            SetWorldTransform(dc, &x.x);
            Use up(dc, solidPen(3, kBlack));
            Use ub(dc, CreateHatchBrush(HS_CROSS, kBlue));
            Rectangle(dc, 30, 20, 130, 100);
            Use up2(dc, solidPen(1, kRed));
            Ellipse(dc, 50, 35, 110, 85);
            MoveToEx(dc, 30, 20, nullptr);
            LineTo(dc, 80, 5);
        });
    const Named mods[] = {{"leftmultiply", MWT_LEFTMULTIPLY}, {"rightmultiply", MWT_RIGHTMULTIPLY},
                          {"identity", MWT_IDENTITY}};
    for (const Named &m : mods)
        emf(A, std::string("modifyworldtransform-") + m.name, [m, rot](HDC dc) {
            SetGraphicsMode(dc, GM_ADVANCED);
            XFORM a{0.6f, 0, 0, 0.6f, 10, 10};
            SetWorldTransform(dc, &a);
            XFORM b = rot(30, 80, 60);
            ModifyWorldTransform(dc, &b, m.value);
            Use ub(dc, CreateSolidBrush(kGreen));
            Rectangle(dc, 20, 20, 140, 100);
        });
    emf(A, "world-savedc-restoredc", [rot](HDC dc) {
        SetGraphicsMode(dc, GM_ADVANCED);
        SaveDC(dc);
        XFORM x = rot(45, 80, 60);
        SetWorldTransform(dc, &x);
        Use ub(dc, CreateSolidBrush(kRed));
        Rectangle(dc, 50, 30, 110, 90);
        RestoreDC(dc, -1);
        Use ub2(dc, CreateSolidBrush(kBlue));
        Rectangle(dc, 10, 10, 40, 40);
    });
    // A small curve under a scale of 6: PolyBezier is flattened before the
    // scale (coarse pieces), PolyBezierTo after it (fine ones).
    emf(A, "world-scale-beziers", [](HDC dc) {
        SetGraphicsMode(dc, GM_ADVANCED);
        XFORM x{6, 0, 0, 6, 0, 0};
        SetWorldTransform(dc, &x);
        Use up(dc, solidPen(0, kBlack));
        const POINT p[] = {{2, 8}, {6, -4}, {20, 14}, {24, 2}};
        PolyBezier(dc, p, 4);
        MoveToEx(dc, 2, 18, nullptr);
        POINT q[] = {{6, 6}, {20, 24}, {24, 12}};
        PolyBezierTo(dc, q, 3);
    });
    emf(A, "world-and-mapmode", [rot](HDC dc) {
        SetGraphicsMode(dc, GM_ADVANCED);
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, 320, 240, nullptr);
        SetViewportExtEx(dc, W, H, nullptr);
        XFORM x = rot(20, 160, 120);
        SetWorldTransform(dc, &x);
        Use up(dc, solidPen(4, kBlack));
        Use ub(dc, CreateSolidBrush(kYellow));
        Ellipse(dc, 40, 40, 280, 200);
    });
}

void textCases() {
    const char *A = "text";
    const Named faces[] = {{"arial", 0}, {"times", 1}, {"courier", 2}, {"tahoma", 3}};
    const wchar_t *faceNames[] = {L"Arial", L"Times New Roman", L"Courier New", L"Tahoma"};
    const int heights[] = {12, 24, -30};
    for (const Named &f : faces)
        for (int h : heights)
            emf(A, std::string("face-") + f.name + "-" + (h < 0 ? "em" + std::to_string(-h) : std::to_string(h)),
                [f, h, faceNames](HDC dc) {
                    Use uf(dc, font(faceNames[f.value], h));
                    SetTextColor(dc, kBlack);
                    SetBkMode(dc, TRANSPARENT);
                    text(dc, 4, 10, L"Hamburg 1234");
                    text(dc, 4, 60, L"gjpqy WAVE");
                });
    struct Style {
        const char *name;
        int weight;
        bool italic, underline, strike;
    };
    const Style styles[] = {{"bold", FW_BOLD, false, false, false},     {"italic", FW_NORMAL, true, false, false},
                            {"underline", FW_NORMAL, false, true, false}, {"strikeout", FW_NORMAL, false, false, true},
                            {"bold-italic-underline", FW_BOLD, true, true, false}};
    for (const Style &s : styles)
        emf(A, std::string("style-") + s.name, [s](HDC dc) {
            Use uf(dc, font(L"Arial", 28, s.weight, 0, s.italic, s.underline, s.strike));
            SetTextColor(dc, kBlue);
            SetBkMode(dc, TRANSPARENT);
            text(dc, 6, 40, L"Styled");
        });
    const int escapements[] = {0, 45, 90, 135, 180, 270, 315};
    for (int e : escapements)
        emf(A, "escapement-" + std::to_string(e), [e](HDC dc) {
            Use uf(dc, font(L"Arial", 22, FW_NORMAL, e * 10));
            SetTextColor(dc, kRed);
            SetBkMode(dc, TRANSPARENT);
            text(dc, 80, 60, L"Turn");
        });
    const Named hAlign[] = {{"left", TA_LEFT}, {"center", TA_CENTER}, {"right", TA_RIGHT}};
    const Named vAlign[] = {{"top", TA_TOP}, {"baseline", TA_BASELINE}, {"bottom", TA_BOTTOM}};
    for (const Named &h : hAlign)
        for (const Named &v : vAlign)
            emf(A, std::string("align-") + h.name + "-" + v.name, [h, v](HDC dc) {
                Use up(dc, solidPen(1, kRed));
                MoveToEx(dc, 0, 60, nullptr);
                LineTo(dc, 160, 60);
                MoveToEx(dc, 80, 0, nullptr);
                LineTo(dc, 80, 120);
                SetTextAlign(dc, UINT(h.value | v.value));
                Use uf(dc, font(L"Arial", 24));
                SetBkMode(dc, TRANSPARENT);
                text(dc, 80, 60, L"Align");
            });
    emf(A, "align-updatecp", [](HDC dc) {
        SetTextAlign(dc, TA_UPDATECP);
        Use uf(dc, font(L"Times New Roman", 20));
        SetBkMode(dc, TRANSPARENT);
        MoveToEx(dc, 5, 20, nullptr);
        text(dc, 0, 0, L"One ");
        text(dc, 0, 0, L"two ");
        text(dc, 0, 0, L"three");
    });
    for (const Named &m : kBkModes)
        emf(A, std::string("bk-") + m.name, [m](HDC dc) {
            bands(dc);
            SetBkMode(dc, m.value);
            SetBkColor(dc, RGB(0, 200, 200));
            SetTextColor(dc, kRed);
            Use uf(dc, font(L"Arial", 30, FW_BOLD));
            text(dc, 5, 40, L"Opaque?");
        });
    emf(A, "eto-opaque", [](HDC dc) {
        SetBkColor(dc, kYellow);
        Use uf(dc, font(L"Arial", 24));
        const RECT r{10, 20, 150, 100};
        ExtTextOutW(dc, 20, 40, ETO_OPAQUE, &r, L"Boxed", 5, nullptr);
    });
    emf(A, "eto-clipped", [](HDC dc) {
        Use uf(dc, font(L"Arial", 48));
        SetBkMode(dc, TRANSPARENT);
        const RECT r{30, 40, 120, 80};
        ExtTextOutW(dc, 5, 30, ETO_CLIPPED, &r, L"Clipped", 7, nullptr);
    });
    emf(A, "eto-opaque-clipped", [](HDC dc) {
        SetBkColor(dc, RGB(180, 220, 255));
        Use uf(dc, font(L"Courier New", 40));
        const RECT r{20, 30, 130, 90};
        ExtTextOutW(dc, 5, 30, ETO_OPAQUE | ETO_CLIPPED, &r, L"Clipped", 7, nullptr);
    });
    emf(A, "dx-spacing", [](HDC dc) {
        Use uf(dc, font(L"Arial", 20));
        SetBkMode(dc, TRANSPARENT);
        const INT dx[] = {30, 10, 25, 5, 40};
        ExtTextOutW(dc, 5, 40, 0, nullptr, L"Space", 5, dx);
    });
    emf(A, "textcharacterextra", [](HDC dc) {
        SetTextCharacterExtra(dc, 6);
        Use uf(dc, font(L"Arial", 20));
        SetBkMode(dc, TRANSPARENT);
        text(dc, 5, 40, L"Extra");
    });
    emf(A, "textjustification", [](HDC dc) {
        Use uf(dc, font(L"Arial", 18));
        SetBkMode(dc, TRANSPARENT);
        SetTextJustification(dc, 40, 2);
        text(dc, 5, 40, L"a b c");
    });
    emf(A, "exttextouta", [](HDC dc) {
        Use uf(dc, font(L"Times New Roman", 26));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, kGreen);
        ExtTextOutA(dc, 8, 40, 0, nullptr, "ANSI text", 9, nullptr);
    });
    emf(A, "polytextoutw", [](HDC dc) {
        Use uf(dc, font(L"Arial", 18));
        SetBkMode(dc, TRANSPARENT);
        POLYTEXTW t[3];
        const wchar_t *s[] = {L"first", L"second", L"third"};
        for (int i = 0; i < 3; ++i) {
            t[i] = POLYTEXTW{10 + i * 20, 10 + i * 35, UINT(wcslen(s[i])), s[i], 0, {0, 0, 0, 0}, nullptr};
        }
        PolyTextOutW(dc, t, 3);
    });
    const int rotations[] = {30, 90, 200};
    for (int r : rotations)
        emf(A, "world-rotate-" + std::to_string(r), [r](HDC dc) {
            SetGraphicsMode(dc, GM_ADVANCED);
            const float c = float(std::cos(r * kPi / 180)), s = float(std::sin(r * kPi / 180));
            XFORM x{c, s, -s, c, float(80 - c * 80 + s * 60), float(60 - s * 80 - c * 60)};
            SetWorldTransform(dc, &x);
            Use uf(dc, font(L"Arial", 24));
            SetBkMode(dc, TRANSPARENT);
            SetTextAlign(dc, TA_CENTER | TA_BASELINE);
            text(dc, 80, 68, L"World");
        });
    emf(A, "world-scale-x", [](HDC dc) {
        SetGraphicsMode(dc, GM_ADVANCED);
        XFORM x{2, 0, 0, 1, 0, 0};
        SetWorldTransform(dc, &x);
        Use uf(dc, font(L"Arial", 24));
        SetBkMode(dc, TRANSPARENT);
        text(dc, 2, 40, L"Wide");
    });
    for (int iso = 0; iso < 2; ++iso)
        emf(A, iso ? "mapmode-isotropic" : "mapmode-anisotropic", [iso](HDC dc) {
            SetMapMode(dc, iso ? MM_ISOTROPIC : MM_ANISOTROPIC);
            SetWindowExtEx(dc, 100, 100, nullptr);
            SetViewportExtEx(dc, W, H, nullptr);
            Use uf(dc, font(L"Arial", 20));
            SetBkMode(dc, TRANSPARENT);
            text(dc, 5, 30, L"Mapped");
        });
    emf(A, "mapmode-twips", [](HDC dc) {
        SetMapMode(dc, MM_TWIPS);
        Use uf(dc, font(L"Times New Roman", 360));
        SetBkMode(dc, TRANSPARENT);
        text(dc, 100, -400, L"Twips");
    });
    emf(A, "antialiased-quality", [](HDC dc) {
        Use uf(dc, font(L"Arial", 28, FW_NORMAL, 0, false, false, false, ANTIALIASED_QUALITY));
        SetBkMode(dc, TRANSPARENT);
        text(dc, 6, 40, L"Smooth");
    });
    emf(A, "colours", [](HDC dc) {
        Use uf(dc, font(L"Arial", 20, FW_BOLD));
        SetBkMode(dc, TRANSPARENT);
        const COLORREF c[] = {kRed, kGreen, kBlue, kYellow};
        for (int i = 0; i < 4; ++i) {
            SetTextColor(dc, c[i]);
            text(dc, 5 + i * 10, 5 + i * 28, L"Colour");
        }
    });
    emf(A, "non-latin", [](HDC dc) {
        Use uf(dc, font(L"Arial", 22));
        SetBkMode(dc, TRANSPARENT);
        text(dc, 5, 20, L"\u00c5\u00e9\u00df \u0416\u0436");
        text(dc, 5, 60, L"\u03a9\u03b1\u03b2");
    });
}

const Named kRop3[] = {{"srccopy", SRCCOPY},     {"srcpaint", SRCPAINT},     {"srcand", SRCAND},
                       {"srcinvert", SRCINVERT}, {"srcerase", SRCERASE},     {"notsrccopy", NOTSRCCOPY},
                       {"notsrcerase", NOTSRCERASE}, {"mergecopy", MERGECOPY}, {"mergepaint", MERGEPAINT},
                       {"patcopy", PATCOPY},     {"patpaint", PATPAINT},     {"patinvert", PATINVERT},
                       {"dstinvert", DSTINVERT}, {"blackness", BLACKNESS},   {"whiteness", WHITENESS},
                       {"psdpxax", 0x00B8074A}};

void bitmapsRops() {
    const char *A = "bitmaps-rops";
    for (const Named &r : kRop3)
        emf(A, std::string("stretchblt-") + r.name, [r](HDC dc) {
            bands(dc);
            Source src;
            Use ub(dc, CreateHatchBrush(HS_CROSS, kGreen));
            StretchBlt(dc, 16, 12, 128, 96, src.dc, 0, 0, 16, 12, DWORD(r.value));
        });
    emf(A, "bitblt-srccopy", [](HDC dc) {
        Source src;
        BitBlt(dc, 20, 20, 16, 12, src.dc, 0, 0, SRCCOPY);
        BitBlt(dc, 100, 70, 10, 8, src.dc, 3, 2, SRCCOPY);
    });
    const Named pats[] = {{"patcopy", PATCOPY}, {"patinvert", PATINVERT}, {"dstinvert", DSTINVERT},
                          {"blackness", BLACKNESS}};
    for (const Named &p : pats)
        emf(A, std::string("patblt-") + p.name, [p](HDC dc) {
            bands(dc);
            Use ub(dc, CreateHatchBrush(HS_DIAGCROSS, kRed));
            PatBlt(dc, 20, 15, 120, 90, DWORD(p.value));
        });
    const int depths[] = {1, 4, 8, 16, 24, 32};
    for (int bpp : depths)
        emf(A, "stretchdibits-" + std::to_string(bpp) + "bpp", [bpp](HDC dc) {
            Dib d = makeDib(bpp);
            StretchDIBits(dc, 16, 12, 128, 96, 0, 0, 16, 12, d.bits.data(), d.bmi(), DIB_RGB_COLORS, SRCCOPY);
        });
    emf(A, "stretchdibits-topdown", [](HDC dc) {
        Dib d = makeDib(24, true);
        StretchDIBits(dc, 16, 12, 128, 96, 0, 0, 16, 12, d.bits.data(), d.bmi(), DIB_RGB_COLORS, SRCCOPY);
    });
    emf(A, "stretchdibits-part", [](HDC dc) {
        Dib d = makeDib(24);
        StretchDIBits(dc, 10, 10, 140, 100, 4, 3, 8, 6, d.bits.data(), d.bmi(), DIB_RGB_COLORS, SRCCOPY);
    });
    const Named dibRops[] = {{"srcand", SRCAND}, {"srcinvert", SRCINVERT}, {"srcpaint", SRCPAINT}};
    for (const Named &r : dibRops)
        emf(A, std::string("stretchdibits-") + r.name, [r](HDC dc) {
            bands(dc);
            Dib d = makeDib(24);
            StretchDIBits(dc, 16, 12, 128, 96, 0, 0, 16, 12, d.bits.data(), d.bmi(), DIB_RGB_COLORS, DWORD(r.value));
        });
    emf(A, "setdibitstodevice", [](HDC dc) {
        Dib d = makeDib(24);
        SetDIBitsToDevice(dc, 30, 30, 16, 12, 0, 0, 0, 12, d.bits.data(), d.bmi(), DIB_RGB_COLORS);
        SetDIBitsToDevice(dc, 90, 60, 16, 12, 0, 0, 0, 12, d.bits.data(), d.bmi(), DIB_RGB_COLORS);
    });
    emf(A, "setdibitstodevice-scanlines", [](HDC dc) {
        Dib d = makeDib(8);
        SetDIBitsToDevice(dc, 60, 50, 16, 12, 0, 0, 2, 6, d.bits.data() + 2 * 16, d.bmi(), DIB_RGB_COLORS);
    });
    emf(A, "maskblt", [](HDC dc) {
        bands(dc);
        Source src;
        HBITMAP mask = monoPattern();
        MaskBlt(dc, 40, 30, 16, 12, src.dc, 0, 0, mask, 0, 0, MAKEROP4(SRCCOPY, DSTINVERT));
        DeleteObject(mask);
    });
    emf(A, "maskblt-nomask", [](HDC dc) {
        Source src;
        MaskBlt(dc, 70, 50, 16, 12, src.dc, 0, 0, nullptr, 0, 0, SRCCOPY);
    });
    emf(A, "plgblt", [](HDC dc) {
        Source src;
        const POINT p[3] = {{40, 10}, {150, 40}, {10, 90}};
        PlgBlt(dc, p, src.dc, 0, 0, 16, 12, nullptr, 0, 0);
    });
    emf(A, "plgblt-mask", [](HDC dc) {
        bands(dc);
        Source src;
        HBITMAP mask = monoPattern();
        const POINT p[3] = {{20, 20}, {140, 20}, {20, 100}};
        PlgBlt(dc, p, src.dc, 0, 0, 8, 8, mask, 0, 0);
        DeleteObject(mask);
    });
    emf(A, "transparentblt", [](HDC dc) {
        bands(dc);
        Source src;
        TransparentBlt(dc, 16, 12, 128, 96, src.dc, 0, 0, 16, 12, kWhite);
    });
    emf(A, "transparentblt-red", [](HDC dc) {
        Source src;
        TransparentBlt(dc, 16, 12, 128, 96, src.dc, 0, 0, 16, 12, kRed);
    });
    emf(A, "alphablend-constant", [](HDC dc) {
        bands(dc);
        Source src;
        BLENDFUNCTION bf{AC_SRC_OVER, 0, 128, 0};
        AlphaBlend(dc, 16, 12, 128, 96, src.dc, 0, 0, 16, 12, bf);
    });
    emf(A, "alphablend-perpixel", [](HDC dc) {
        bands(dc);
        AlphaSource src;
        BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, 16, 12, 128, 96, src.dc, 0, 0, 16, 12, bf);
    });
    emf(A, "alphablend-perpixel-constant", [](HDC dc) {
        bands(dc);
        AlphaSource src;
        BLENDFUNCTION bf{AC_SRC_OVER, 0, 160, AC_SRC_ALPHA};
        AlphaBlend(dc, 16, 12, 128, 96, src.dc, 0, 0, 16, 12, bf);
    });
    emf(A, "stretchblt-mono-source", [](HDC dc) {
        SetTextColor(dc, kRed);
        SetBkColor(dc, kYellow);
        Source src(1);
        StretchBlt(dc, 16, 12, 128, 96, src.dc, 0, 0, 16, 12, SRCCOPY);
    });
}

void stretchModes() {
    const char *A = "stretch-modes";
    for (const Named &m : kStretchModes) {
        for (int enlarge = 0; enlarge < 2; ++enlarge) {
            const std::string size = enlarge ? "-enlarge" : "-shrink";
            emf(A, std::string("stretchblt-") + m.name + size, [m, enlarge](HDC dc) {
                SetStretchBltMode(dc, m.value);
                Source src(24, 64, 48);
                if (enlarge) StretchBlt(dc, 5, 5, 150, 110, src.dc, 0, 0, 24, 18, SRCCOPY);
                else StretchBlt(dc, 50, 40, 27, 19, src.dc, 0, 0, 64, 48, SRCCOPY);
            });
            emf(A, std::string("stretchdibits-") + m.name + size, [m, enlarge](HDC dc) {
                SetStretchBltMode(dc, m.value);
                Dib d = makeDib(24, false, 64, 48);
                if (enlarge)
                    StretchDIBits(dc, 5, 5, 150, 110, 0, 0, 24, 18, d.bits.data(), d.bmi(), DIB_RGB_COLORS, SRCCOPY);
                else
                    StretchDIBits(dc, 50, 40, 27, 19, 0, 0, 64, 48, d.bits.data(), d.bmi(), DIB_RGB_COLORS, SRCCOPY);
            });
        }
        emf(A, std::string("stretchblt-") + m.name + "-flipped", [m](HDC dc) {
            SetStretchBltMode(dc, m.value);
            Source src;
            StretchBlt(dc, 150, 110, -140, -100, src.dc, 0, 0, 16, 12, SRCCOPY);
        });
        emf(A, std::string("stretchdibits-") + m.name + "-mono-shrink", [m](HDC dc) {
            SetStretchBltMode(dc, m.value);
            Dib d = makeDib(1, false, 64, 48);
            StretchDIBits(dc, 40, 30, 21, 15, 0, 0, 64, 48, d.bits.data(), d.bmi(), DIB_RGB_COLORS, SRCCOPY);
        });
    }
}

void gradients() {
    const char *A = "gradients";
    auto vtx = [](LONG x, LONG y, COLORREF c) {
        return TRIVERTEX{x, y, COLOR16(GetRValue(c) << 8), COLOR16(GetGValue(c) << 8), COLOR16(GetBValue(c) << 8),
                         0xFF00};
    };
    const COLORREF pairs[][2] = {{kRed, kBlue}, {kBlack, kWhite}, {kYellow, kGreen}};
    for (int i = 0; i < 3; ++i) {
        const COLORREF a = pairs[i][0], b = pairs[i][1];
        emf(A, "rect-h-" + std::to_string(i), [vtx, a, b](HDC dc) {
            TRIVERTEX v[2] = {vtx(10, 10, a), vtx(150, 110, b)};
            GRADIENT_RECT r{0, 1};
            GradientFill(dc, v, 2, &r, 1, GRADIENT_FILL_RECT_H);
        });
        emf(A, "rect-v-" + std::to_string(i), [vtx, a, b](HDC dc) {
            TRIVERTEX v[2] = {vtx(10, 10, a), vtx(150, 110, b)};
            GRADIENT_RECT r{0, 1};
            GradientFill(dc, v, 2, &r, 1, GRADIENT_FILL_RECT_V);
        });
        emf(A, "triangle-" + std::to_string(i), [vtx, a, b](HDC dc) {
            TRIVERTEX v[3] = {vtx(80, 5, a), vtx(155, 115, b), vtx(5, 100, kGreen)};
            GRADIENT_TRIANGLE t{0, 1, 2};
            GradientFill(dc, v, 3, &t, 1, GRADIENT_FILL_TRIANGLE);
        });
    }
    emf(A, "rects-several", [vtx](HDC dc) {
        TRIVERTEX v[4] = {vtx(5, 5, kRed), vtx(75, 55, kYellow), vtx(85, 65, kBlue), vtx(155, 115, kGreen)};
        GRADIENT_RECT r[2] = {{0, 1}, {2, 3}};
        GradientFill(dc, v, 4, r, 2, GRADIENT_FILL_RECT_H);
    });
    emf(A, "triangles-mesh", [vtx](HDC dc) {
        TRIVERTEX v[4] = {vtx(5, 5, kRed), vtx(155, 5, kGreen), vtx(155, 115, kBlue), vtx(5, 115, kYellow)};
        GRADIENT_TRIANGLE t[2] = {{0, 1, 2}, {0, 2, 3}};
        GradientFill(dc, v, 4, t, 2, GRADIENT_FILL_TRIANGLE);
    });
    emf(A, "rect-reversed", [vtx](HDC dc) {
        TRIVERTEX v[2] = {vtx(150, 110, kRed), vtx(10, 10, kBlue)};
        GRADIENT_RECT r{0, 1};
        GradientFill(dc, v, 2, &r, 1, GRADIENT_FILL_RECT_H);
    });
    emf(A, "rect-under-transform", [vtx](HDC dc) {
        SetGraphicsMode(dc, GM_ADVANCED);
        XFORM x{0.5f, 0, 0, 0.5f, 40, 30};
        SetWorldTransform(dc, &x);
        TRIVERTEX v[2] = {vtx(0, 0, kBlack), vtx(160, 120, kYellow)};
        GRADIENT_RECT r{0, 1};
        GradientFill(dc, v, 2, &r, 1, GRADIENT_FILL_RECT_V);
    });
}

// The LOGPALETTEs makePalette made for the case being recorded, in order.
std::vector<std::vector<uint8_t>> madePalettes;

HPALETTE makePalette(int n) {
    std::vector<uint8_t> buf(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * size_t(n));
    LOGPALETTE *lp = reinterpret_cast<LOGPALETTE *>(buf.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = WORD(n);
    const COLORREF c[] = {kRed, kGreen, kBlue, kYellow, RGB(128, 0, 128), RGB(0, 128, 128), kBlack, kWhite};
    for (int i = 0; i < n; ++i)
        lp->palPalEntry[i] = {GetRValue(c[i % 8]), GetGValue(c[i % 8]), GetBValue(c[i % 8]), 0};
    buf.resize(4 + sizeof(PALETTEENTRY) * size_t(n));
    madePalettes.push_back(buf);
    return CreatePalette(lp);
}

void palettes() {
    const char *A = "palettes";
    for (int i = 0; i < 4; ++i)
        emf(A, "paletteindex-brush-" + std::to_string(i), [i](HDC dc) {
            HPALETTE p = makePalette(8);
            HPALETTE old = SelectPalette(dc, p, FALSE);
            RealizePalette(dc);
            Use ub(dc, CreateSolidBrush(PALETTEINDEX(i)));
            Use up(dc, CreatePen(PS_SOLID, 4, PALETTEINDEX(7 - i)));
            Ellipse(dc, 10, 10, 150, 110);
            SelectPalette(dc, old, FALSE);
            DeleteObject(p);
        });
    emf(A, "setpaletteentries", [](HDC dc) {
        HPALETTE p = makePalette(4);
        HPALETTE old = SelectPalette(dc, p, FALSE);
        PALETTEENTRY e{250, 128, 0, 0};
        SetPaletteEntries(p, 1, 1, &e);
        RealizePalette(dc);
        Use ub(dc, CreateSolidBrush(PALETTEINDEX(1)));
        Rectangle(dc, 20, 20, 140, 100);
        SelectPalette(dc, old, FALSE);
        DeleteObject(p);
    });
    emf(A, "resizepalette", [](HDC dc) {
        HPALETTE p = makePalette(2);
        HPALETTE old = SelectPalette(dc, p, FALSE);
        ResizePalette(p, 6);
        PALETTEENTRY e{0, 200, 250, 0};
        SetPaletteEntries(p, 5, 1, &e);
        RealizePalette(dc);
        Use ub(dc, CreateSolidBrush(PALETTEINDEX(5)));
        Rectangle(dc, 20, 20, 140, 100);
        SelectPalette(dc, old, FALSE);
        DeleteObject(p);
    });
    emf(A, "palettergb", [](HDC dc) {
        HPALETTE p = makePalette(8);
        HPALETTE old = SelectPalette(dc, p, FALSE);
        RealizePalette(dc);
        Use ub(dc, CreateSolidBrush(PALETTERGB(200, 40, 40)));
        Rectangle(dc, 20, 20, 140, 100);
        SelectPalette(dc, old, FALSE);
        DeleteObject(p);
    });
    emf(A, "dib-pal-colors", [](HDC dc) {
        HPALETTE p = makePalette(8);
        HPALETTE old = SelectPalette(dc, p, FALSE);
        RealizePalette(dc);
        Dib d = makeDib(4);
        WORD *idx = reinterpret_cast<WORD *>(d.bmi()->bmiColors);
        for (int i = 0; i < 16; ++i) idx[i] = WORD(i % 8);
        StretchDIBits(dc, 16, 12, 128, 96, 0, 0, 16, 12, d.bits.data(), d.bmi(), DIB_PAL_COLORS, SRCCOPY);
        SelectPalette(dc, old, FALSE);
        DeleteObject(p);
    });
    emf(A, "stock-default-palette", [](HDC dc) {
        HPALETTE old = SelectPalette(dc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
        RealizePalette(dc);
        Use ub(dc, CreateSolidBrush(PALETTEINDEX(3)));
        Rectangle(dc, 20, 20, 140, 100);
        SelectPalette(dc, old, FALSE);
    });
}

// WMF: the drawings a 16-bit metafile can hold.
void wmfCases() {
    const int widths[] = {1, 4};
    for (const Named &s : kPenStyles)
        for (int w : widths)
            wmf(std::string("pen-") + s.name + "-w" + std::to_string(w), [s, w](HDC dc) {
                Use pen(dc, CreatePen(s.value, w, kBlue));
                Use brush(dc, GetStockObject(NULL_BRUSH));
                brush.obj = nullptr;
                zigzag(dc);
                Rectangle(dc, 20, 30, 140, 90);
            });
    for (const Named &r : kRop2)
        wmf(std::string("rop2-") + r.name, [r](HDC dc) {
            bands(dc);
            SetROP2(dc, r.value);
            Use pen(dc, solidPen(9, RGB(200, 60, 160)));
            Use brush(dc, CreateSolidBrush(RGB(60, 200, 160)));
            Ellipse(dc, 20, 20, 140, 100);
        });
    for (const Named &h : kHatches)
        for (const Named &m : kBkModes)
            wmf(std::string("hatch-") + h.name + "-" + m.name, [h, m](HDC dc) {
                bands(dc);
                SetBkMode(dc, m.value);
                SetBkColor(dc, RGB(0, 200, 200));
                Use brush(dc, CreateHatchBrush(h.value, kRed));
                Rectangle(dc, 10, 10, 150, 110);
            });
    const int angles[2][2] = {{0, 90}, {200, 20}};
    const char *kinds[] = {"arc", "chord", "pie"};
    for (int k = 0; k < 3; ++k)
        for (auto &a : angles)
            wmf(std::string(kinds[k]) + "-" + std::to_string(a[0]) + "-" + std::to_string(a[1]),
                [k, s = a[0], e = a[1]](HDC dc) {
                    Use pen(dc, solidPen(3, kBlue));
                    Use brush(dc, CreateSolidBrush(kYellow));
                    const POINT p = radial(s), q = radial(e);
                    if (k == 0) Arc(dc, 20, 10, 140, 110, p.x, p.y, q.x, q.y);
                    if (k == 1) Chord(dc, 20, 10, 140, 110, p.x, p.y, q.x, q.y);
                    if (k == 2) Pie(dc, 20, 10, 140, 110, p.x, p.y, q.x, q.y);
                });
    wmf("rectangle", [](HDC dc) {
        Use pen(dc, solidPen(2, kBlack));
        Use brush(dc, CreateSolidBrush(kGreen));
        Rectangle(dc, 20, 15, 140, 105);
    });
    wmf("ellipse", [](HDC dc) {
        Use pen(dc, solidPen(2, kBlack));
        Use brush(dc, CreateSolidBrush(kRed));
        Ellipse(dc, 20, 15, 140, 105);
    });
    wmf("roundrect", [](HDC dc) {
        Use pen(dc, solidPen(2, kBlack));
        Use brush(dc, CreateSolidBrush(kBlue));
        RoundRect(dc, 20, 15, 140, 105, 40, 30);
    });
    wmf("polyline", [](HDC dc) {
        Use pen(dc, solidPen(2, kRed));
        zigzag(dc);
    });
    wmf("lineto", [](HDC dc) {
        Use pen(dc, solidPen(1, kBlack));
        for (int i = 0; i < 8; ++i) {
            MoveToEx(dc, 80, 60, nullptr);
            const POINT p = radial(i * 45);
            LineTo(dc, 80 + (p.x - 80) / 2, 60 + (p.y - 60) / 2);
        }
    });
    for (const Named &f : kFillModes) {
        wmf(std::string("polygon-") + f.name, [f](HDC dc) {
            SetPolyFillMode(dc, f.value);
            Use brush(dc, CreateSolidBrush(kGreen));
            star(dc);
        });
        wmf(std::string("polypolygon-") + f.name, [f](HDC dc) {
            SetPolyFillMode(dc, f.value);
            Use brush(dc, CreateSolidBrush(kBlue));
            nested(dc);
        });
    }
    wmf("setpixel", [](HDC dc) {
        for (int y = 4; y < H; y += 8)
            for (int x = 4; x < W; x += 8) SetPixel(dc, x, y, RGB(x * 255 / W, y * 255 / H, 128));
    });
    const Named hAlign[] = {{"left", TA_LEFT}, {"center", TA_CENTER}, {"right", TA_RIGHT}};
    const Named vAlign[] = {{"top", TA_TOP}, {"baseline", TA_BASELINE}, {"bottom", TA_BOTTOM}};
    for (const Named &h : hAlign)
        for (const Named &v : vAlign)
            wmf(std::string("text-align-") + h.name + "-" + v.name, [h, v](HDC dc) {
                SetTextAlign(dc, UINT(h.value | v.value));
                Use uf(dc, font(L"Arial", 24));
                SetBkMode(dc, TRANSPARENT);
                TextOutW(dc, 80, 60, L"Align", 5);
            });
    const wchar_t *faceNames[] = {L"Arial", L"Times New Roman", L"Courier New", L"Tahoma"};
    const char *faces[] = {"arial", "times", "courier", "tahoma"};
    for (int f = 0; f < 4; ++f)
        wmf(std::string("text-face-") + faces[f], [f, faceNames](HDC dc) {
            Use uf(dc, font(faceNames[f], 22));
            SetBkMode(dc, TRANSPARENT);
            TextOutW(dc, 5, 20, L"Hamburg", 7);
            ExtTextOutW(dc, 5, 60, 0, nullptr, L"gjpq 12", 7, nullptr);
        });
    const int escapements[] = {45, 90, 180, 270};
    for (int e : escapements)
        wmf("text-escapement-" + std::to_string(e), [e](HDC dc) {
            Use uf(dc, font(L"Arial", 22, FW_NORMAL, e * 10));
            SetBkMode(dc, TRANSPARENT);
            TextOutW(dc, 80, 60, L"Turn", 4);
        });
    wmf("text-opaque", [](HDC dc) {
        SetBkColor(dc, kYellow);
        SetBkMode(dc, OPAQUE);
        Use uf(dc, font(L"Arial", 28));
        TextOutW(dc, 10, 40, L"Opaque", 6);
    });
    wmf("text-eto-clipped", [](HDC dc) {
        Use uf(dc, font(L"Arial", 48));
        SetBkColor(dc, kYellow);
        const RECT r{30, 40, 120, 80};
        ExtTextOutW(dc, 5, 30, ETO_CLIPPED | ETO_OPAQUE, &r, L"Clipped", 7, nullptr);
    });
    wmf("text-dx", [](HDC dc) {
        Use uf(dc, font(L"Arial", 20));
        SetBkMode(dc, TRANSPARENT);
        const INT dx[] = {30, 10, 25, 5, 40};
        ExtTextOutW(dc, 5, 40, 0, nullptr, L"Space", 5, dx);
    });
    wmf("text-characterextra", [](HDC dc) {
        SetTextCharacterExtra(dc, 6);
        Use uf(dc, font(L"Arial", 20));
        SetBkMode(dc, TRANSPARENT);
        TextOutW(dc, 5, 40, L"Extra", 5);
    });
    wmf("text-justification", [](HDC dc) {
        Use uf(dc, font(L"Arial", 18));
        SetBkMode(dc, TRANSPARENT);
        SetTextJustification(dc, 40, 2);
        TextOutW(dc, 5, 40, L"a b c", 5);
    });
    wmf("text-styles", [](HDC dc) {
        Use uf(dc, font(L"Times New Roman", 26, FW_BOLD, 0, true, true, false));
        SetTextColor(dc, kRed);
        SetBkMode(dc, TRANSPARENT);
        TextOutW(dc, 5, 40, L"Styled", 6);
    });
    wmf("intersectcliprect", [](HDC dc) {
        IntersectClipRect(dc, 30, 20, 130, 100);
        bands(dc);
    });
    wmf("excludecliprect", [](HDC dc) {
        ExcludeClipRect(dc, 30, 20, 130, 100);
        bands(dc);
    });
    wmf("offsetcliprgn", [](HDC dc) {
        IntersectClipRect(dc, 10, 10, 80, 60);
        OffsetClipRgn(dc, 50, 40);
        bands(dc);
    });
    for (const Named &s : kRegionShapes)
        wmf(std::string("selectcliprgn-") + s.name, [s](HDC dc) {
            HRGN r = makeRegion(s.value);
            SelectClipRgn(dc, r);
            DeleteObject(r);
            bands(dc);
        });
    const char *ops[] = {"fillrgn", "framergn", "invertrgn", "paintrgn"};
    for (int o = 0; o < 4; ++o)
        for (int s : {0, 1, 4})
            wmf(std::string(ops[o]) + "-" + (s < 4 ? kRegionShapes[s].name : "combined"), [o, s](HDC dc) {
                bands(dc);
                HRGN r = makeRegion(s);
                HBRUSH b = CreateHatchBrush(HS_DIAGCROSS, kRed);
                Use ub(dc, CreateSolidBrush(kGreen));
                if (o == 0) FillRgn(dc, r, b);
                if (o == 1) FrameRgn(dc, r, b, 4, 3);
                if (o == 2) InvertRgn(dc, r);
                if (o == 3) PaintRgn(dc, r);
                DeleteObject(b);
                DeleteObject(r);
            });
    const int depths[] = {1, 4, 8, 24};
    for (int bpp : depths)
        wmf("stretchdibits-" + std::to_string(bpp) + "bpp", [bpp](HDC dc) {
            Dib d = makeDib(bpp);
            StretchDIBits(dc, 16, 12, 128, 96, 0, 0, 16, 12, d.bits.data(), d.bmi(), DIB_RGB_COLORS, SRCCOPY);
        });
    wmf("setdibitstodevice", [](HDC dc) {
        Dib d = makeDib(24);
        SetDIBitsToDevice(dc, 30, 30, 16, 12, 0, 0, 0, 12, d.bits.data(), d.bmi(), DIB_RGB_COLORS);
    });
    const Named rops[] = {{"srccopy", SRCCOPY}, {"srcpaint", SRCPAINT}, {"srcand", SRCAND},
                          {"srcinvert", SRCINVERT}, {"notsrccopy", NOTSRCCOPY}, {"mergecopy", MERGECOPY}};
    for (const Named &r : rops) {
        wmf(std::string("stretchblt-") + r.name, [r](HDC dc) {
            bands(dc);
            Source src;
            Use ub(dc, CreateHatchBrush(HS_CROSS, kGreen));
            StretchBlt(dc, 16, 12, 128, 96, src.dc, 0, 0, 16, 12, DWORD(r.value));
        });
    }
    wmf("bitblt", [](HDC dc) {
        Source src;
        BitBlt(dc, 20, 20, 16, 12, src.dc, 0, 0, SRCCOPY);
        BitBlt(dc, 100, 70, 16, 12, src.dc, 0, 0, SRCCOPY);
    });
    const Named pats[] = {{"patcopy", PATCOPY}, {"patinvert", PATINVERT}, {"dstinvert", DSTINVERT}};
    for (const Named &p : pats)
        wmf(std::string("patblt-") + p.name, [p](HDC dc) {
            bands(dc);
            Use ub(dc, CreateHatchBrush(HS_DIAGCROSS, kRed));
            PatBlt(dc, 20, 15, 120, 90, DWORD(p.value));
        });
    for (const Named &m : kStretchModes)
        wmf(std::string("stretchmode-") + m.name, [m](HDC dc) {
            SetStretchBltMode(dc, m.value);
            Dib d = makeDib(24, false, 64, 48);
            StretchDIBits(dc, 50, 40, 27, 19, 0, 0, 64, 48, d.bits.data(), d.bmi(), DIB_RGB_COLORS, SRCCOPY);
        });
    for (int bpp : {1, 24})
        wmf("dib-pattern-" + std::to_string(bpp) + "bpp", [bpp](HDC dc) {
            Dib d = makeDib(bpp, false, 8, 8);
            std::vector<uint8_t> packed(d.info);
            packed.insert(packed.end(), d.bits.begin(), d.bits.end());
            Use brush(dc, CreateDIBPatternBrushPt(packed.data(), DIB_RGB_COLORS));
            Ellipse(dc, 5, 5, 155, 115);
        });
    wmf("mono-pattern-brush", [](HDC dc) {
        SetTextColor(dc, kRed);
        SetBkColor(dc, kYellow);
        HBITMAP bm = monoPattern();
        Use brush(dc, CreatePatternBrush(bm));
        DeleteObject(bm);
        Rectangle(dc, 10, 10, 150, 110);
    });
    wmf("palette-index-brush", [](HDC dc) {
        HPALETTE p = makePalette(8);
        HPALETTE old = SelectPalette(dc, p, FALSE);
        RealizePalette(dc);
        Use ub(dc, CreateSolidBrush(PALETTEINDEX(2)));
        Ellipse(dc, 10, 10, 150, 110);
        SelectPalette(dc, old, FALSE);
        DeleteObject(p);
    });
    wmf("palette-resize-set", [](HDC dc) {
        HPALETTE p = makePalette(2);
        HPALETTE old = SelectPalette(dc, p, FALSE);
        ResizePalette(p, 6);
        PALETTEENTRY e{0, 200, 250, 0};
        SetPaletteEntries(p, 5, 1, &e);
        RealizePalette(dc);
        Use ub(dc, CreateSolidBrush(PALETTEINDEX(5)));
        Rectangle(dc, 20, 20, 140, 100);
        SelectPalette(dc, old, FALSE);
        DeleteObject(p);
    });
    wmf("savedc-restoredc", [](HDC dc) {
        SaveDC(dc);
        IntersectClipRect(dc, 10, 10, 70, 110);
        Use ub(dc, CreateSolidBrush(kRed));
        Rectangle(dc, 0, 0, 160, 120);
        RestoreDC(dc, -1);
        Use ub2(dc, CreateHatchBrush(HS_CROSS, kBlue));
        Ellipse(dc, 40, 20, 150, 100);
    });
    wmf("offsetwindoworg", [](HDC dc) {
        OffsetWindowOrgEx(dc, -30, -20, nullptr);
        Use ub(dc, CreateSolidBrush(kBlue));
        Rectangle(dc, 0, 0, 100, 80);
    });
    wmf("offsetviewportorg", [](HDC dc) {
        OffsetViewportOrgEx(dc, 30, 20, nullptr);
        Use ub(dc, CreateSolidBrush(kRed));
        Rectangle(dc, 0, 0, 100, 80);
    });
    wmf("scalewindowext", [](HDC dc) {
        ScaleWindowExtEx(dc, 3, 2, 3, 2, nullptr);
        Use ub(dc, CreateSolidBrush(kGreen));
        Ellipse(dc, 10, 10, 150, 110);
    });
    wmf("scaleviewportext", [](HDC dc) {
        SetViewportExtEx(dc, 160, 120, nullptr);
        ScaleViewportExtEx(dc, 1, 2, 1, 2, nullptr);
        Use ub(dc, CreateSolidBrush(kYellow));
        Ellipse(dc, 10, 10, 150, 110);
    });
    wmf("window-flip-y", [](HDC dc) {
        SetWindowOrgEx(dc, 0, 120, nullptr);
        SetWindowExtEx(dc, 160, -120, nullptr);
        Use ub(dc, CreateSolidBrush(kGreen));
        const POINT p[] = {{10, 10}, {100, 10}, {10, 80}};
        Polygon(dc, p, 3);
        Use uf(dc, font(L"Arial", 20));
        TextOutW(dc, 60, 70, L"R", 1);
    });
}

// Placeable WMF: the same recording behind headers with other units per inch
// and bounding boxes.
void placeableCases() {
    struct Scene {
        const char *name;
        std::function<void(HDC)> draw;
    };
    const Scene scenes[] = {
        {"shapes",
         [](HDC dc) {
             Use up(dc, solidPen(2, kBlack));
             Use ub(dc, CreateSolidBrush(kYellow));
             Ellipse(dc, 10, 10, 150, 110);
             Rectangle(dc, 40, 30, 120, 90);
         }},
        {"text",
         [](HDC dc) {
             Use uf(dc, font(L"Arial", 24));
             SetBkMode(dc, TRANSPARENT);
             TextOutW(dc, 10, 40, L"Placeable", 9);
         }},
        {"hatch",
         [](HDC dc) {
             Use ub(dc, CreateHatchBrush(HS_DIAGCROSS, kBlue));
             Rectangle(dc, 10, 10, 150, 110);
         }},
        {"bitmap",
         [](HDC dc) {
             Dib d = makeDib(24);
             StretchDIBits(dc, 16, 12, 128, 96, 0, 0, 16, 12, d.bits.data(), d.bmi(), DIB_RGB_COLORS, SRCCOPY);
         }},
    };
    struct Header {
        const char *name;
        int inch;
        RECT box;
    };
    const Header headers[] = {{"inch96", 96, {0, 0, 160, 120}},
                              {"inch1440", 1440, {0, 0, 160, 120}},
                              {"inch2540", 2540, {0, 0, 160, 120}},
                              {"box-offset", 96, {-20, -10, 140, 110}},
                              {"box-part", 96, {40, 30, 120, 90}},
                              {"box-wider", 96, {0, 0, 320, 120}}};
    for (const Scene &s : scenes)
        for (const Header &h : headers) {
            add("placeable-wmf", std::string(s.name) + "-" + h.name, Kind::Placeable, s.draw);
            cases.back().inch = h.inch;
            cases.back().box = h.box;
        }
}

// EMF converted from a recorded WMF by SetWinMetaFileBits, under different
// METAFILEPICT frames.
void convertedCases() {
    struct Pict {
        const char *name;
        bool has;
        METAFILEPICT p;
    };
    const Pict picts[] = {{"null", false, {}},
                          {"anisotropic-size", true, {MM_ANISOTROPIC, 4233, 3175, nullptr}},
                          {"anisotropic-wide", true, {MM_ANISOTROPIC, 8000, 3000, nullptr}},
                          {"anisotropic-negative", true, {MM_ANISOTROPIC, -4, -3, nullptr}},
                          {"anisotropic-zero", true, {MM_ANISOTROPIC, 0, 0, nullptr}},
                          {"isotropic-size", true, {MM_ISOTROPIC, 4233, 3175, nullptr}},
                          {"isotropic-negative", true, {MM_ISOTROPIC, -1, -1, nullptr}},
                          {"text", true, {MM_TEXT, 0, 0, nullptr}},
                          {"himetric", true, {MM_HIMETRIC, 0, 0, nullptr}},
                          {"twips", true, {MM_TWIPS, 0, 0, nullptr}}};
    const std::function<void(HDC)> scenes[] = {
        [](HDC dc) {
            Use up(dc, solidPen(2, kBlack));
            Use ub(dc, CreateHatchBrush(HS_CROSS, kRed));
            Ellipse(dc, 10, 10, 150, 110);
            Use uf(dc, font(L"Arial", 20));
            SetBkMode(dc, TRANSPARENT);
            TextOutW(dc, 30, 50, L"Frame", 5);
        },
        [](HDC dc) {
            Use ub(dc, CreateSolidBrush(kBlue));
            const POINT p[] = {{0, 0}, {160, 0}, {0, 120}};
            Polygon(dc, p, 3);
            Use ub2(dc, CreateSolidBrush(kGreen));
            Rectangle(dc, 120, 90, 160, 120);
        }};
    for (int s = 0; s < 2; ++s)
        for (const Pict &p : picts) {
            add("setwinmetafilebits-frames", std::string(s ? "corners-" : "ellipse-") + p.name, Kind::Converted,
                scenes[s]);
            cases.back().hasPict = p.has;
            cases.back().pict = p.p;
        }
}

// What Windows draws for cases Wine draws wrongly (divergences.txt), made
// from calls Windows draws alike and Wine draws right.
void expectedVariants() {
    // MERGECOPY is P & S: the source copied, then the pattern ANDed on
    // (Wine's one-step P & S shifts the pattern by twice the destination's
    // distance from the device origin).
    const auto mergecopy = [](HDC dc) {
        bands(dc);
        Source src;
        Use ub(dc, CreateHatchBrush(HS_CROSS, kGreen));
        StretchBlt(dc, 16, 12, 128, 96, src.dc, 0, 0, 16, 12, SRCCOPY);
        PatBlt(dc, 16, 12, 128, 96, 0x00A000C9);
    };
    expected("bitmaps-rops", "stretchblt-mergecopy", Kind::Emf, mergecopy);
    expected("wmf", "stretchblt-mergecopy", Kind::Wmf, mergecopy);
    // PATPAINT (P | ~S | D, the same Wine fault): MERGEPAINT, then PatBlt DPo.
    expected("bitmaps-rops", "stretchblt-patpaint", Kind::Emf, [](HDC dc) {
        bands(dc);
        Source src;
        Use ub(dc, CreateHatchBrush(HS_CROSS, kGreen));
        StretchBlt(dc, 16, 12, 128, 96, src.dc, 0, 0, 16, 12, MERGEPAINT);
        PatBlt(dc, 16, 12, 128, 96, 0x00FA0089);
    });
    // MaskBlt without a mask is BitBlt with the foreground operation.
    expected("bitmaps-rops", "maskblt-nomask", Kind::Emf, [](HDC dc) {
        Source src;
        BitBlt(dc, 70, 50, 16, 12, src.dc, 0, 0, SRCCOPY);
    });
    // TransparentBlt enlarging 16 x 12 to 128 x 96: each source pixel is an
    // 8 x 8 block, so copying the blocks of the kept pixels draws the same.
    const auto blocks = [](HDC dc, HDC src, int x, int y, int w, int h) {
        StretchBlt(dc, 16 + 8 * x, 12 + 8 * y, 8 * w, 8 * h, src, x, y, w, h, SRCCOPY);
    };
    expected("bitmaps-rops", "transparentblt", Kind::Emf, [blocks](HDC dc) {
        bands(dc);
        Source src;
        blocks(dc, src.dc, 1, 1, 14, 10);  // all but the white border (imageColour)
    });
    expected("bitmaps-rops", "transparentblt-red", Kind::Emf, [blocks](HDC dc) {
        Source src;
        // All but the red quarter's inside: x 1..7, y 1..5 off the diagonal.
        blocks(dc, src.dc, 0, 0, 16, 1);
        blocks(dc, src.dc, 0, 6, 16, 6);
        blocks(dc, src.dc, 0, 1, 1, 5);
        blocks(dc, src.dc, 8, 1, 8, 5);
        for (int i = 1; i <= 5; ++i) blocks(dc, src.dc, i, i, 1, 1);
    });
    // The recorded palette keeps its 2 entries (red, green): PALETTEINDEX(5)
    // is past its end and paints entry 0, as Wine plays palettes/resizepalette.
    expected("wmf", "palette-resize-set", Kind::Wmf, [](HDC dc) {
        Use ub(dc, CreateSolidBrush(kRed));
        Rectangle(dc, 20, 20, 140, 100);
    });
    // PALETTEINDEX(2) of the selected palette (makePalette) is blue.
    expected("wmf", "palette-index-brush", Kind::Wmf, [](HDC dc) {
        Use ub(dc, CreateSolidBrush(kBlue));
        Ellipse(dc, 10, 10, 150, 110);
    });
}

// ---- recording ----------------------------------------------------------------

std::wstring widen(const std::string &s) { return std::wstring(s.begin(), s.end()); }

bool writeBytes(const std::wstring &path, const void *data, size_t size) {
    FILE *f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// The recorded WMF's bytes. The window is set first, as programs that write
// WMF do, so that players know its extent.
std::vector<uint8_t> recordWmf(const Case &c) {
    HDC dc = CreateMetaFileW(nullptr);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, W, H, nullptr);
    c.draw(dc);
    HMETAFILE mf = CloseMetaFile(dc);
    std::vector<uint8_t> bytes(GetMetaFileBitsEx(mf, 0, nullptr));
    GetMetaFileBitsEx(mf, UINT(bytes.size()), bytes.data());
    DeleteMetaFile(mf);
    return bytes;
}

// Wine's EMF recorder writes EMR_CREATEPALETTE with an empty LOGPALETTE (it
// asks GetObjectW for the palette, which gives only the entry count), where
// Windows records the entries. The records get the palettes makePalette
// made, in order, so that the cases hold what Windows records.
bool fillPalettes(const std::wstring &path) {
    FILE *f = _wfopen(path.c_str(), L"rb");
    if (!f) return false;
    std::vector<uint8_t> in;
    uint8_t chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) in.insert(in.end(), chunk, chunk + n);
    std::fclose(f);
    auto u32 = [](const uint8_t *p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); };
    auto put32 = [](uint8_t *p, size_t v) {
        for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
    };
    std::vector<uint8_t> out;
    size_t made = 0;
    for (size_t at = 0; at + 8 <= in.size();) {
        const uint32_t type = u32(&in[at]), size = u32(&in[at + 4]);
        if (size < 8 || at + size > in.size()) return false;
        if (type == EMR_CREATEPALETTE && size >= 16 && made < madePalettes.size()) {
            const std::vector<uint8_t> &lp = madePalettes[made++];
            const size_t start = out.size();
            out.insert(out.end(), in.begin() + at, in.begin() + at + 12);  // type, size, ihPal
            out.insert(out.end(), lp.begin(), lp.end());
            put32(&out[start + 4], out.size() - start);
        } else {
            out.insert(out.end(), in.begin() + at, in.begin() + at + size);
        }
        at += size;
    }
    if (!made) return true;
    put32(&out[48], out.size());  // ENHMETAHEADER.nBytes
    return writeBytes(path, out.data(), out.size());
}

bool record(const Case &c, const std::wstring &path) {
    madePalettes.clear();
    switch (c.kind) {
    case Kind::Emf: {
        HDC ref = GetDC(nullptr);
        const RECT frame{0, 0, MulDiv(W, GetDeviceCaps(ref, HORZSIZE) * 100, GetDeviceCaps(ref, HORZRES)),
                         MulDiv(H, GetDeviceCaps(ref, VERTSIZE) * 100, GetDeviceCaps(ref, VERTRES))};
        HDC dc = CreateEnhMetaFileW(ref, path.c_str(), &frame, widen("Vellora reference\0" + c.name + "\0\0").c_str());
        ReleaseDC(nullptr, ref);
        if (!dc) return false;
        c.draw(dc);
        HENHMETAFILE mf = CloseEnhMetaFile(dc);
        if (!mf) return false;
        DeleteEnhMetaFile(mf);
        return fillPalettes(path);
    }
    case Kind::Wmf: {
        const std::vector<uint8_t> b = recordWmf(c);
        return !b.empty() && writeBytes(path, b.data(), b.size());
    }
    case Kind::Placeable: {
        const std::vector<uint8_t> b = recordWmf(c);
        uint8_t head[22] = {};
        auto put16 = [&](int at, int v) {
            head[at] = uint8_t(v);
            head[at + 1] = uint8_t(unsigned(v) >> 8);
        };
        put16(0, 0xCDD7);
        put16(2, 0x9AC6);
        put16(6, c.box.left);
        put16(8, c.box.top);
        put16(10, c.box.right);
        put16(12, c.box.bottom);
        put16(14, c.inch);
        unsigned sum = 0;
        for (int i = 0; i < 20; i += 2) sum ^= unsigned(head[i] | head[i + 1] << 8);
        put16(20, int(sum));
        std::vector<uint8_t> out(head, head + 22);
        out.insert(out.end(), b.begin(), b.end());
        return !b.empty() && writeBytes(path, out.data(), out.size());
    }
    case Kind::Converted: {
        const std::vector<uint8_t> b = recordWmf(c);
        HDC ref = GetDC(nullptr);
        HENHMETAFILE mf = SetWinMetaFileBits(UINT(b.size()), b.data(), ref, c.hasPict ? &c.pict : nullptr);
        ReleaseDC(nullptr, ref);
        if (!mf) return false;
        std::vector<uint8_t> e(GetEnhMetaFileBits(mf, 0, nullptr));
        GetEnhMetaFileBits(mf, UINT(e.size()), e.data());
        DeleteEnhMetaFile(mf);
        return !e.empty() && writeBytes(path, e.data(), e.size());
    }
    }
    return false;
}

std::wstring windowsPath(std::wstring p) {
    if (!p.empty() && p[0] == L'/') {
        for (wchar_t &ch : p)
            if (ch == L'/') ch = L'\\';
        p = L"Z:" + p;
    }
    return p;
}

}  // namespace

int randomMain(int argc, wchar_t **argv);  // random_win32.cpp: --random and --replay

int wmain(int argc, wchar_t **argv) {
    if (const int rc = randomMain(argc, argv); rc >= 0) return rc;
    if (argc < 2) {
        std::fprintf(stderr, "usage: vellora-reference-record OUTDIR [--list] [--only TEXT] [--expected]\n"
                             "       vellora-reference-record --random SEED COUNT OUTDIR\n"
                             "       vellora-reference-record --replay LIST OUT.emf [LIST OUT.emf ...]\n");
        return 2;
    }
    bool listOnly = false, variantsOnly = false;
    std::string only;
    for (int i = 2; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--list") == 0) listOnly = true;
        else if (std::wcscmp(argv[i], L"--expected") == 0) variantsOnly = true;
        else if (std::wcscmp(argv[i], L"--only") == 0 && i + 1 < argc)
            for (const wchar_t *p = argv[++i]; *p; ++p) only += char(*p);
    }
    pensLines();
    brushesHatches();
    shapesArcs();
    paths();
    clippingRegions();
    mappingTransforms();
    textCases();
    bitmapsRops();
    stretchModes();
    gradients();
    palettes();
    wmfCases();
    placeableCases();
    convertedCases();
    expectedVariants();
    if (variantsOnly) cases = variants;
    const std::wstring out = windowsPath(argv[1]);
    CreateDirectoryW(out.c_str(), nullptr);
    int failed = 0;
    for (const Case &c : cases) {
        const std::string rel = c.area + "/" + c.name + (c.kind == Kind::Emf || c.kind == Kind::Converted ? ".emf" : ".wmf");
        if (rel.find(only) == std::string::npos) continue;
        if (listOnly) {
            std::printf("%s\n", rel.c_str());
            continue;
        }
        CreateDirectoryW((out + L"\\" + widen(c.area)).c_str(), nullptr);
        std::wstring path = out + L"\\" + widen(rel);
        for (wchar_t &ch : path)
            if (ch == L'/') ch = L'\\';
        if (record(c, path)) {
            std::printf("%s\n", rel.c_str());
        } else {
            std::fprintf(stderr, "vellora-reference-record: %s was not recorded\n", rel.c_str());
            ++failed;
        }
    }
    std::fflush(stdout);
    return failed ? 1 : 0;
}
