// Random drawings for the differential hunt (tools/reference-suite/hunt).
//
//   vellora-reference-record.exe --random SEED COUNT OUTDIR [WORD,WORD...]
//       for each seed from SEED to SEED+COUNT-1 writes OUTDIR\SEED.txt, the
//       seed's call list, and OUTDIR\SEED.emf, that list recorded; lines
//       holding one of the WORDs are left out (to hunt past a known
//       difference), the others stay as the seed made them
//   vellora-reference-record.exe --replay LIST OUT.emf [LIST OUT.emf ...]
//       records call lists (as written above, or shortened) again
//
// A call list is one GDI call (or one short fixed group of calls) a line:
// an operation name, then integers, text last. The generator only picks from
// its own seeded random sequence, so a seed always gives the same list, and
// the EMF is made by replaying that list on CreateEnhMetaFile's DC, the same
// path --replay takes. Rotations only come inside a line that saves the DC,
// turns, draws polygon-like output and restores, so that dropping lines while
// shrinking never puts ellipses, rectangles or blits under a turning
// transform, which Wine draws unlike Windows. ExtCreatePen, OffsetClipRgn,
// TransparentBlt, PlgBlt and MaskBlt are not used for the same reason.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int W = 160, H = 120;

// splitmix64: small, and the same on every compiler.
struct Rng {
    uint64_t s;
    uint64_t next() {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int in(int lo, int hi) { return lo + int(next() % uint64_t(hi - lo + 1)); }  // inclusive
    bool chance(int percent) { return in(0, 99) < percent; }
};

const int kPenStyles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
const int kHatches[] = {HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
const wchar_t *const kFaces[] = {L"Arial", L"Times New Roman", L"Courier New"};
const int kAligns[] = {TA_LEFT | TA_TOP,     TA_CENTER | TA_BASELINE, TA_RIGHT | TA_BOTTOM,
                       TA_LEFT | TA_BASELINE, TA_CENTER | TA_TOP,      TA_RIGHT | TA_TOP};
const DWORD kRops[] = {SRCCOPY, SRCAND, SRCPAINT, SRCINVERT, NOTSRCCOPY};
const char *const kWords[] = {"Vellora", "Hg", "WMF", "a1", "Quux", "xyz"};

std::string colour(Rng &r) {
    static const int palette[] = {0x000000, 0xFFFFFF, 0x1E1EDC, 0x3CA01E, 0xC83C28, 0x28DCFA, 0x808080, 0xFF00FF};
    const int c = r.chance(70) ? palette[r.in(0, 7)] : int(r.next() & 0xFFFFFF);
    return std::to_string(c);
}
int cx(Rng &r) { return r.in(-20, W + 20); }
int cy(Rng &r) { return r.in(-20, H + 20); }
std::string box(Rng &r) {
    std::ostringstream o;
    o << cx(r) << ' ' << cy(r) << ' ' << cx(r) << ' ' << cy(r);
    return o.str();
}
std::string points(Rng &r, int n) {
    std::ostringstream o;
    o << n;
    for (int i = 0; i < n; ++i) o << ' ' << cx(r) << ' ' << cy(r);
    return o.str();
}

std::string randomCall(Rng &r) {
    std::ostringstream o;
    switch (r.in(0, 33)) {
    case 0: case 1: o << "pen " << r.in(0, 6) << ' ' << (r.chance(50) ? r.in(0, 1) : r.in(2, 9)) << ' ' << colour(r); break;
    case 2: o << "brush solid " << colour(r); break;
    case 3: o << "brush hatch " << r.in(0, 5) << ' ' << colour(r); break;
    case 4: o << "brush null"; break;
    case 5: o << "bkmode " << r.in(1, 2) << ' ' << colour(r); break;
    case 6: o << "rop2 " << r.in(1, 16); break;
    case 7: o << "fillmode " << r.in(1, 2); break;
    case 8: o << "line " << box(r); break;
    case 9: o << "polyline " << points(r, r.in(2, 7)); break;
    case 10: o << "bezier " << points(r, 1 + 3 * r.in(1, 2)); break;
    case 11: case 12: o << "polygon " << points(r, r.in(3, 8)); break;
    case 13: o << "rect " << box(r); break;
    case 14: o << "roundrect " << box(r) << ' ' << r.in(0, 60) << ' ' << r.in(0, 60); break;
    case 15: o << "ellipse " << box(r); break;
    case 16: {
        static const char *const k[] = {"arc", "chord", "pie"};
        o << k[r.in(0, 2)] << ' ' << box(r) << ' ' << box(r) << ' ' << r.in(1, 2);
        break;
    }
    case 17: case 18: {
        static const char *const k[] = {"fill", "stroke", "strokefill"};
        o << "path " << k[r.in(0, 2)] << ' ' << (r.chance(30) ? "bezier " + points(r, 1 + 3 * r.in(1, 2))
                                                              : "polygon " + points(r, r.in(3, 7)));
        break;
    }
    case 19: o << "cliprect " << box(r); break;
    case 20: o << "excluderect " << box(r); break;
    case 21: o << "cliprgn " << r.in(0, 2) << ' ' << r.in(1, 5) << ' ' << box(r); break;
    case 22: o << "noclip"; break;
    case 23: o << "save"; break;
    case 24: o << "restore"; break;
    case 25: {
        static const int modes[] = {MM_TEXT, MM_ANISOTROPIC, MM_ISOTROPIC};
        o << "mapmode " << modes[r.in(0, 2)];
        break;
    }
    case 26: {
        static const char *const k[] = {"winext", "vpext", "winorg", "vporg"};
        const int which = r.in(0, 3);
        if (which < 2) {
            const int sx = r.chance(20) ? -1 : 1, sy = r.chance(20) ? -1 : 1;
            o << k[which] << ' ' << sx * r.in(W / 2, W * 2) << ' ' << sy * r.in(H / 2, H * 2);
        } else {
            o << k[which] << ' ' << r.in(-40, 40) << ' ' << r.in(-30, 30);
        }
        break;
    }
    case 27: o << "xform " << r.in(500, 1500) * (r.chance(15) ? -1 : 1) << ' ' << r.in(500, 1500) * (r.chance(15) ? -1 : 1)
               << ' ' << r.in(-30, 30) << ' ' << r.in(-30, 30); break;
    case 28: o << "resetxform"; break;
    case 29: o << "rotpoly " << r.in(-60, 60) << ' ' << (r.chance(50) ? "polygon " : "polyline ") << points(r, r.in(3, 6)); break;
    case 30: case 31:
        o << "text " << r.in(0, 2) << ' ' << r.in(8, 36) << ' ' << r.in(0, 5) << ' ' << r.in(0, 1) << ' ' << colour(r) << ' '
          << cx(r) << ' ' << cy(r) << ' ' << kWords[r.in(0, 5)];
        break;
    default:
        o << "blit " << cx(r) << ' ' << cy(r) << ' ' << r.in(-60, 60) << ' ' << r.in(-50, 50) << ' ' << r.in(1, 4) << ' '
          << r.in(0, 4);
        break;
    }
    return o.str();
}

std::vector<std::string> generate(uint64_t seed) {
    Rng r{seed * 0x2545F4914F6CDD1Dull + 1};
    std::vector<std::string> calls;
    const int n = r.in(8, 40);
    for (int i = 0; i < n; ++i) calls.push_back(randomCall(r));
    return calls;
}

// ---- replay ------------------------------------------------------------------

// A 16 x 12 24-bit DIB: four blocks of colour, a black diagonal, white border.
struct Dib {
    BITMAPINFO info{};
    std::vector<uint8_t> bits;
    Dib() {
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, 12, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        const int stride = 48;
        bits.assign(size_t(stride) * 12, 0);
        static const COLORREF blocks[4] = {RGB(220, 30, 30), RGB(30, 160, 60), RGB(40, 60, 200), RGB(250, 220, 40)};
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x) {
                COLORREF c = blocks[(x / 8) + 2 * (y / 6)];
                if (x == y) c = 0;
                if (x == 0 || y == 0 || x == 15 || y == 11) c = RGB(255, 255, 255);
                uint8_t *p = &bits[size_t(11 - y) * stride + size_t(x) * 3];
                p[0] = GetBValue(c);
                p[1] = GetGValue(c);
                p[2] = GetRValue(c);
            }
    }
};

struct Player {
    HDC dc;
    std::vector<HGDIOBJ> made;  // deleted at the end: saved states may still hold them
    Dib dib;

    void select(HGDIOBJ o) {
        SelectObject(dc, o);
        made.push_back(o);
    }
    static std::vector<POINT> pts(std::istringstream &in) {
        int n = 0;
        in >> n;
        std::vector<POINT> p(size_t(std::max(n, 0)));
        for (POINT &q : p) in >> q.x >> q.y;
        return p;
    }
    void shape(const std::string &kind, std::istringstream &in) {
        std::vector<POINT> p = pts(in);
        if (p.empty()) return;
        if (kind == "polygon") Polygon(dc, p.data(), int(p.size()));
        else if (kind == "polyline") Polyline(dc, p.data(), int(p.size()));
        else if (kind == "bezier") PolyBezier(dc, p.data(), DWORD(p.size()));
    }

    void call(const std::string &line) {
        std::istringstream in(line);
        std::string op;
        in >> op;
        int a = 0, b = 0, c = 0, d = 0, e = 0, f = 0, g = 0, h = 0, i = 0;
        if (op == "pen") {
            in >> a >> b >> c;
            select(CreatePen(kPenStyles[a % 7], b, COLORREF(c)));
        } else if (op == "brush") {
            std::string k;
            in >> k;
            if (k == "solid") {
                in >> a;
                select(CreateSolidBrush(COLORREF(a)));
            } else if (k == "hatch") {
                in >> a >> b;
                select(CreateHatchBrush(kHatches[a % 6], COLORREF(b)));
            } else {
                SelectObject(dc, GetStockObject(NULL_BRUSH));
            }
        } else if (op == "bkmode") {
            in >> a >> b;
            SetBkMode(dc, a);
            SetBkColor(dc, COLORREF(b));
        } else if (op == "rop2") {
            in >> a;
            SetROP2(dc, a);
        } else if (op == "fillmode") {
            in >> a;
            SetPolyFillMode(dc, a);
        } else if (op == "line") {
            in >> a >> b >> c >> d;
            MoveToEx(dc, a, b, nullptr);
            LineTo(dc, c, d);
        } else if (op == "polyline" || op == "polygon" || op == "bezier") {
            shape(op, in);
        } else if (op == "rect") {
            in >> a >> b >> c >> d;
            Rectangle(dc, a, b, c, d);
        } else if (op == "roundrect") {
            in >> a >> b >> c >> d >> e >> f;
            RoundRect(dc, a, b, c, d, e, f);
        } else if (op == "ellipse") {
            in >> a >> b >> c >> d;
            Ellipse(dc, a, b, c, d);
        } else if (op == "arc" || op == "chord" || op == "pie") {
            in >> a >> b >> c >> d >> e >> f >> g >> h >> i;
            SetArcDirection(dc, i);
            if (op == "arc") Arc(dc, a, b, c, d, e, f, g, h);
            else if (op == "chord") Chord(dc, a, b, c, d, e, f, g, h);
            else Pie(dc, a, b, c, d, e, f, g, h);
        } else if (op == "path") {
            std::string how, kind;
            in >> how >> kind;
            BeginPath(dc);
            shape(kind, in);
            EndPath(dc);
            if (how == "fill") FillPath(dc);
            else if (how == "stroke") StrokePath(dc);
            else StrokeAndFillPath(dc);
        } else if (op == "cliprect" || op == "excluderect") {
            in >> a >> b >> c >> d;
            if (op == "cliprect") IntersectClipRect(dc, a, b, c, d);
            else ExcludeClipRect(dc, a, b, c, d);
        } else if (op == "cliprgn") {
            in >> a >> b >> c >> d >> e >> f;
            HRGN rgn = a == 0 ? CreateRectRgn(c, d, e, f)
                     : a == 1 ? CreateEllipticRgn(c, d, e, f)
                              : CreateRoundRectRgn(c, d, e, f, 30, 20);
            ExtSelectClipRgn(dc, rgn, b);
            DeleteObject(rgn);
        } else if (op == "noclip") {
            SelectClipRgn(dc, nullptr);
        } else if (op == "save") {
            SaveDC(dc);
        } else if (op == "restore") {
            RestoreDC(dc, -1);
        } else if (op == "mapmode") {
            in >> a;
            SetMapMode(dc, a);
        } else if (op == "winext" || op == "vpext" || op == "winorg" || op == "vporg") {
            in >> a >> b;
            if (op == "winext") SetWindowExtEx(dc, a, b, nullptr);
            else if (op == "vpext") SetViewportExtEx(dc, a, b, nullptr);
            else if (op == "winorg") SetWindowOrgEx(dc, a, b, nullptr);
            else SetViewportOrgEx(dc, a, b, nullptr);
        } else if (op == "xform") {
            in >> a >> b >> c >> d;
            SetGraphicsMode(dc, GM_ADVANCED);
            const XFORM x{float(a / 1000.0), 0, 0, float(b / 1000.0), float(c), float(d)};
            SetWorldTransform(dc, &x);
        } else if (op == "resetxform") {
            SetGraphicsMode(dc, GM_ADVANCED);
            ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
        } else if (op == "rotpoly") {
            std::string kind;
            in >> a >> kind;
            SaveDC(dc);
            SetGraphicsMode(dc, GM_ADVANCED);
            const double t = a * 3.14159265358979323846 / 180, cs = std::cos(t), sn = std::sin(t);
            // Turn around the picture's centre, after the current transform.
            const XFORM x{float(cs), float(sn), float(-sn), float(cs), float(80 - 80 * cs + 60 * sn),
                          float(60 - 80 * sn - 60 * cs)};
            ModifyWorldTransform(dc, &x, MWT_LEFTMULTIPLY);
            shape(kind, in);
            RestoreDC(dc, -1);
        } else if (op == "text") {
            std::string word;
            in >> a >> b >> c >> d >> e >> f >> g >> word;
            HFONT font = CreateFontW(b, 0, 0, 0, d ? FW_BOLD : FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, kFaces[a % 3]);
            select(font);
            SetTextAlign(dc, UINT(kAligns[c % 6]));
            SetTextColor(dc, COLORREF(e));
            const std::wstring w(word.begin(), word.end());
            TextOutW(dc, f, g, w.c_str(), int(w.size()));
        } else if (op == "blit") {
            in >> a >> b >> c >> d >> e >> f;
            SetStretchBltMode(dc, e);
            StretchDIBits(dc, a, b, c, d, 0, 0, 16, 12, dib.bits.data(), &dib.info, DIB_RGB_COLORS, kRops[f % 5]);
        }
    }
};

std::wstring winPath(const std::wstring &p0) {
    std::wstring p = p0;
    if (!p.empty() && p[0] == L'/') {
        for (wchar_t &ch : p)
            if (ch == L'/') ch = L'\\';
        p = L"Z:" + p;
    }
    return p;
}

bool recordCalls(const std::vector<std::string> &calls, const std::wstring &path) {
    HDC ref = GetDC(nullptr);
    const RECT frame{0, 0, MulDiv(W, GetDeviceCaps(ref, HORZSIZE) * 100, GetDeviceCaps(ref, HORZRES)),
                     MulDiv(H, GetDeviceCaps(ref, VERTSIZE) * 100, GetDeviceCaps(ref, VERTRES))};
    HDC dc = CreateEnhMetaFileW(ref, winPath(path).c_str(), &frame, L"Vellora random\0\0");
    ReleaseDC(nullptr, ref);
    if (!dc) return false;
    Player p{dc, {}, {}};
    for (const std::string &line : calls)
        if (!line.empty() && line[0] != '#') p.call(line);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    for (HGDIOBJ o : p.made) DeleteObject(o);
    HENHMETAFILE mf = CloseEnhMetaFile(dc);
    if (!mf) return false;
    DeleteEnhMetaFile(mf);
    return true;
}

bool readLines(const std::wstring &path, std::vector<std::string> *out) {
    FILE *f = _wfopen(winPath(path).c_str(), L"rb");
    if (!f) return false;
    std::string all;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) all.append(buf, n);
    std::fclose(f);
    std::istringstream in(all);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out->push_back(line);
    }
    return true;
}

}  // namespace

// Returns the exit code, or -1 when argv holds neither mode.
int randomMain(int argc, wchar_t **argv) {
    if (argc >= 5 && std::wcscmp(argv[1], L"--random") == 0) {
        const uint64_t first = std::wcstoull(argv[2], nullptr, 10);
        const int count = _wtoi(argv[3]);
        const std::wstring dir = argv[4];
        std::vector<std::string> without;
        if (argc >= 6) {
            std::string w;
            for (const wchar_t *p = argv[5];; ++p) {
                if (*p == L',' || !*p) {
                    if (!w.empty()) without.push_back(" " + w + " ");
                    w.clear();
                    if (!*p) break;
                } else {
                    w += char(*p);
                }
            }
        }
        CreateDirectoryW(winPath(dir).c_str(), nullptr);
        int failed = 0;
        for (int k = 0; k < count; ++k) {
            const uint64_t seed = first + uint64_t(k);
            std::vector<std::string> calls;
            for (const std::string &c : generate(seed)) {
                bool keep = true;
                for (const std::string &w : without) keep = keep && (" " + c + " ").find(w) == std::string::npos;
                if (keep) calls.push_back(c);
            }
            const std::wstring stem = dir + L"/" + std::to_wstring(seed);
            FILE *f = _wfopen(winPath(stem + L".txt").c_str(), L"wb");
            if (!f) return 1;
            for (const std::string &c : calls) std::fprintf(f, "%s\n", c.c_str());
            std::fclose(f);
            if (!recordCalls(calls, stem + L".emf")) {
                std::fprintf(stderr, "vellora-reference-record: seed %llu was not recorded\n",
                             static_cast<unsigned long long>(seed));
                ++failed;
            }
        }
        return failed ? 1 : 0;
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"--replay") == 0) {
        int failed = 0;
        for (int k = 2; k + 1 < argc; k += 2) {
            std::vector<std::string> calls;
            if (!readLines(argv[k], &calls) || !recordCalls(calls, argv[k + 1])) ++failed;
        }
        return failed ? 1 : 0;
    }
    return -1;
}
