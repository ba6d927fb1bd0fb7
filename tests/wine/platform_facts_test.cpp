// What the pipeline relies on the platform's playback and blend to do,
// checked on the Wine it runs on. When one of these changes, the coverage
// channel or the failure path changes with it.
#include <gtest/gtest.h>

#include "wine_support.h"

using namespace wtest;

namespace {

// A 32-bit bottom-up DIB section in a memory DC, every pixel `fill`.
struct Dib {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bm = nullptr;
    uint32_t *px = nullptr;
    int w, h;
    Dib(int width, int height, uint32_t fill) : w(width), h(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void *bits = nullptr;
        bm = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        px = static_cast<uint32_t *>(bits);
        for (int i = 0; i < w * h; ++i) px[i] = fill;
        SelectObject(dc, bm);
    }
    ~Dib() {
        DeleteDC(dc);
        DeleteObject(bm);
    }
    uint32_t at(int x, int y) const { return px[(h - 1 - y) * w + x]; }
};

}  // namespace

TEST(WineGdiFacts, PlaybackZeroesTheAlphaOfWhatItPaintsAndNothingElse) {
    HENHMETAFILE mf = recordEmf([](HDC dc) {
        SetPixelV(dc, 0, 0, RGB(255, 255, 255));
        SetPixelV(dc, 99, 99, RGB(255, 255, 255));
        HBRUSH b = CreateSolidBrush(RGB(10, 20, 30));
        SelectObject(dc, GetStockObject(NULL_PEN));
        SelectObject(dc, b);
        Rectangle(dc, 10, 10, 41, 41);
        HPEN p = CreatePen(PS_SOLID, 3, RGB(200, 100, 50));
        SelectObject(dc, p);
        MoveToEx(dc, 60, 20, nullptr);
        LineTo(dc, 90, 20);
        HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(0, 0, 0));
        SelectObject(dc, GetStockObject(NULL_PEN));
        SelectObject(dc, hatch);
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, RGB(255, 255, 0));
        Rectangle(dc, 60, 60, 91, 91);
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        SelectObject(dc, GetStockObject(BLACK_PEN));
        DeleteObject(b);
        DeleteObject(p);
        DeleteObject(hatch);
    });
    Dib dib(100, 100, 0x5A123456u);
    RECT r{0, 0, 100, 100};
    PlayEnhMetaFile(dib.dc, mf, &r);
    GdiFlush();
    EXPECT_EQ(dib.at(20, 20), 0x000A141Eu);  // brush: colour, alpha 0
    EXPECT_EQ(dib.at(75, 20), 0x00C86432u);  // pen
    EXPECT_EQ(dib.at(75, 75) >> 24, 0u);     // hatch or its opaque background
    EXPECT_EQ(dib.at(50, 50), 0x5A123456u);  // untouched: all four bytes kept
    EXPECT_EQ(dib.at(5, 90), 0x5A123456u);
    DeleteEnhMetaFile(mf);
}

namespace {

// Plays a picture of 100 x 100 reference pixels onto a 100 x 100 bitmap whose
// pixels are all `fill`.
template <class Draw>
void play(Dib &dib, Draw draw) {
    HENHMETAFILE mf = recordEmf([&](HDC dc) {
        SetPixelV(dc, 0, 0, RGB(255, 255, 255));
        SetPixelV(dc, 99, 99, RGB(255, 255, 255));
        draw(dc);
    });
    RECT r{0, 0, 100, 100};
    PlayEnhMetaFile(dib.dc, mf, &r);
    GdiFlush();
    DeleteEnhMetaFile(mf);
}

void blit32(HDC dc, int x, int bits, uint32_t pixel) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, 2, 1, WORD(bits), BI_RGB, 0, 0, 0, 0, 0};
    const uint32_t px[4] = {pixel, pixel, pixel, pixel};  // 2 x 2 at 24 or 32 bits fits
    StretchDIBits(dc, x, 10, 20, 20, 0, 0, 2, 2, px, &info, DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace

// Blits carry alpha as the source says: none from 24-bit sources, their own
// from 32-bit ones; DSTINVERT flips the alpha byte with the colour.
TEST(WineGdiFacts, BlitsWriteAlphaAsTheirSourceSays) {
    Dib dib(100, 100, 0x5A123456u);
    play(dib, [](HDC dc) {
        blit32(dc, 10, 24, 0x00FF8040u);
        blit32(dc, 40, 32, 0x80FF8040u);
        PatBlt(dc, 70, 10, 20, 20, DSTINVERT);
    });
    EXPECT_EQ(dib.at(20, 20) >> 24, 0u);
    EXPECT_EQ(dib.at(50, 20) >> 24, 0x80u);
    EXPECT_EQ(dib.at(80, 20), ~0x5A123456u);
    EXPECT_EQ(dib.at(50, 60), 0x5A123456u);
}

// An XOR pen changes the colour and leaves the alpha byte alone, so under the
// coverage key those pixels count as untouched.
TEST(WineGdiFacts, XorPenLeavesTheAlphaByte) {
    Dib dib(100, 100, 0x5A123456u);
    play(dib, [](HDC dc) {
        HPEN pen = CreatePen(PS_SOLID, 5, RGB(255, 255, 255));
        HGDIOBJ old = SelectObject(dc, pen);
        SetROP2(dc, R2_XORPEN);
        MoveToEx(dc, 10, 50, nullptr);
        LineTo(dc, 90, 50);
        SelectObject(dc, old);
        DeleteObject(pen);
    });
    EXPECT_EQ(dib.at(50, 50), 0x5AEDCBA9u);
}

TEST(WineGdiFacts, AlphaBlendRefusesRecordersNullDCsAndSourcesOutsideTheBitmap) {
    Dib src(8, 8, 0xFF00FF00u), dst(8, 8, 0);
    const BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    EXPECT_TRUE(AlphaBlend(dst.dc, 0, 0, 8, 8, src.dc, 0, 0, 8, 8, bf));
    EXPECT_EQ(dst.at(3, 3), 0xFF00FF00u);
    HDC recorder = CreateMetaFileW(nullptr);
    EXPECT_FALSE(AlphaBlend(recorder, 0, 0, 8, 8, src.dc, 0, 0, 8, 8, bf));
    DeleteMetaFile(CloseMetaFile(recorder));
    EXPECT_FALSE(AlphaBlend(nullptr, 0, 0, 8, 8, src.dc, 0, 0, 8, 8, bf));
    EXPECT_FALSE(AlphaBlend(dst.dc, 0, 0, 8, 8, src.dc, 4, 4, 8, 8, bf));
}

// Premultiplied source-over, alpha channel included: 128 of white over 255
// of black gives 128 + 0 and alpha 128 + 255 * 127 / 255.
TEST(WineGdiFacts, AlphaBlendIsPremultipliedSourceOver) {
    Dib src(4, 4, 0x80808080u), dst(4, 4, 0xFF000000u);
    const BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 4, 4, src.dc, 0, 0, 4, 4, bf));
    const uint32_t p = dst.at(1, 1);
    EXPECT_EQ(p & 0xFF, 0x80u);
    EXPECT_EQ(p >> 24, 0xFFu);
}
