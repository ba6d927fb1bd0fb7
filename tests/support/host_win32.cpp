// The Windows side of the test host: real GDI objects under the DLL.
#ifdef _WIN32
#include <windows.h>

#include <cstring>

#include "support/host.h"

namespace vtest {

HostCanvas::HostCanvas(int w, int h, uint32_t fill) : w_(w), h_(h) {
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;  // bottom-up, as most hosts make them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bm = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bm || !bits) return;
    bitmap_ = bm;
    stride_ = long(w) * 4;
    // Row 0 in memory is the bottom scanline.
    top_ = static_cast<uint8_t *>(bits) + (h - 1) * stride_;
    for (size_t i = 0; i < size_t(w) * h; ++i)
        std::memcpy(static_cast<uint8_t *>(bits) + i * 4, &fill, 4);
    dc_ = CreateCompatibleDC(nullptr);
    if (dc_) SelectObject(dc_, bm);
}

HostCanvas::~HostCanvas() {
    // Deleting the DC deselects the bitmap, which can then go too.
    if (dc_) DeleteDC(dc_);
    if (bitmap_) DeleteObject(static_cast<HGDIOBJ>(bitmap_));
}

uint32_t HostCanvas::at(int x, int y) const {
    // GDI may still hold drawing in its batch; the pixels are read after it.
    GdiFlush();
    uint32_t v;
    std::memcpy(&v, top_ - y * stride_ + x * 4, 4);
    return v;
}

std::vector<uint32_t> HostCanvas::pixels() const {
    GdiFlush();
    std::vector<uint32_t> out(size_t(w_) * h_);
    for (int y = 0; y < h_; ++y) std::memcpy(&out[size_t(y) * w_], top_ - y * stride_, size_t(w_) * 4);
    return out;
}

HENHMETAFILE enhMetaFileFromBytes(const std::vector<uint8_t> &bytes) {
    return SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
}

void deleteMetaFile(HENHMETAFILE mf) {
    if (mf) DeleteEnhMetaFile(mf);
}

namespace {

bool refusesAlphaBlend(HDC dc) {
    HDC mem = CreateCompatibleDC(dc);
    if (!mem) return false;
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP bm = CreateDIBSection(mem, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bm);
    const BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const BOOL ok = AlphaBlend(dc, 0, 0, 2, 2, mem, 0, 0, 2, 2, bf);
    SelectObject(mem, old);
    DeleteObject(bm);
    DeleteDC(mem);
    return !ok;
}

}  // namespace

// A Windows-metafile recorder refuses AlphaBlend, but Wine already refuses a
// memory DC compatible with it, so the blend is never reached. Headless Wine's
// display DC makes the memory DC and then refuses the blend: that one is
// taken where it does.
HDC createNoAlphaDC() {
    HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    if (display && refusesAlphaBlend(display)) return display;
    if (display) DeleteDC(display);
    return CreateMetaFileW(nullptr);
}

void deleteNoAlphaDC(HDC dc) {
    if (!dc) return;
    if (GetObjectType(dc) == OBJ_METADC) {
        if (HMETAFILE mf = CloseMetaFile(dc)) DeleteMetaFile(mf);
    } else {
        DeleteDC(dc);
    }
}

namespace {

// Wine's GetGuiResources is a stub; its GDI handle table, which the PEB
// points to as Windows' does, has 24-byte entries whose type byte is nonzero
// while the handle lives.
struct WineGdiEntry {
    uint64_t object;
    uint32_t owner;
    uint16_t unique;
    uint8_t type;
    uint8_t flags;
    uint64_t user;
};
static_assert(sizeof(WineGdiEntry) == 24, "Wine's GDI_HANDLE_ENTRY layout");

bool underWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

long wineGdiHandles() {
    // The TEB holds the PEB's address, and the PEB GdiSharedHandleTable, at
    // places that differ between the two word sizes; the entries do not.
    // (NtCurrentTeb() trips GCC's array-bounds check in mingw's headers.)
    const char *peb;
#if defined(__x86_64__)
    __asm__("movq %%gs:0x60, %0" : "=r"(peb));
    const size_t offset = 0xF8;
#else
    __asm__("movl %%fs:0x30, %0" : "=r"(peb));
    const size_t offset = 0x94;
#endif
    const auto *table = *reinterpret_cast<WineGdiEntry *const *>(peb + offset);
    if (!table) return -1;
    long n = 0;
    for (int i = 0; i < 0x10000; ++i) n += table[i].type != 0;
    return n;
}

}  // namespace

long liveGraphicsObjects() {
    static const bool wine = [] {
        // The first device context creates the stock objects; count after.
        DeleteDC(CreateCompatibleDC(nullptr));
        return underWine();
    }();
    if (wine) return wineGdiHandles();
    return long(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
}

}  // namespace vtest
#endif
