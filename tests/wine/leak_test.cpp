// Nothing a call creates outlives it, counted in Wine's own GDI handle table,
// and a refused blend is a clean failure.
#include <gtest/gtest.h>

#include "support/host.h"
#include "wine_support.h"

using namespace wtest;
using vtest::HostCanvas;
using vtest::liveGraphicsObjects;

// The count the tests below rely on sees one object come and go.
TEST(WineLeaks, CounterSeesEveryGraphicsObject) {
    const long before = liveGraphicsObjects();
    ASSERT_GT(before, 0) << "no GDI handle count on this platform";
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(liveGraphicsObjects(), before + 2);
    DeleteDC(dc);
    DeleteObject(brush);
    EXPECT_EQ(liveGraphicsObjects(), before);
}

namespace {

// Every export into `dc` gives 0, leaves no object and no open file behind.
void expectCleanRefusal(HDC dc) {
    HENHMETAFILE mf = recordEmf(drawHalves);
    TempDir dir;
    const std::wstring path = dir.write(L"halves.emf", emfBytes(mf));
    const long before = liveGraphicsObjects();
    const RECT r{0, 0, 49, 29};
    EXPECT_EQ(Vellora(dc, mf, &r, 255, 0.2, 0, 0, 1, 1), 0);
    EXPECT_EQ(VelloraFileW(dc, path.c_str(), &r, 255, 1, 0.0), 0);
    EXPECT_EQ(VelloraFile(dc, toAnsi(path).c_str(), &r, 255, 0, 0.0), 0);
    EXPECT_EQ(liveGraphicsObjects(), before);
    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << "the file was left open";
    CloseHandle(exclusive);
    DeleteEnhMetaFile(mf);
}

BOOL blendOnto(HDC dc) {
    HDC mem = CreateCompatibleDC(dc);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP bm = CreateDIBSection(mem, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bm);
    const BOOL ok = AlphaBlend(dc, 0, 0, 2, 2, mem, 0, 0, 2, 2, {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA});
    SelectObject(mem, old);
    DeleteObject(bm);
    DeleteDC(mem);
    return ok;
}

}  // namespace

// Wine makes no memory DC compatible with a Windows-metafile recorder, so the
// call ends before its blend; the recorder must still work afterwards.
TEST(WineLeaks, WindowsMetafileRecorderIsRefusedCleanly) {
    HDC recorder = CreateMetaFileW(nullptr);
    ASSERT_NE(recorder, nullptr);
    expectCleanRefusal(recorder);
    HMETAFILE wmf = CloseMetaFile(recorder);
    EXPECT_NE(wmf, nullptr);
    DeleteMetaFile(wmf);
}

// Headless Wine's display DC takes the memory DC and refuses the blend: the
// call has made all its objects by then, and must release them all.
TEST(WineLeaks, RefusedBlendReleasesEverythingTheCallMade) {
    HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(display, nullptr);
    if (blendOnto(display)) {
        DeleteDC(display);
        GTEST_SKIP() << "this display accepts AlphaBlend (a display driver is loaded)";
    }
    expectCleanRefusal(display);
    DeleteDC(display);
}

TEST(WineLeaks, ThousandsOfCallsLeaveNoGraphicsObjectBehind) {
    HENHMETAFILE mf = recordEmf(drawHalves);
    TempDir dir;
    const std::vector<uint8_t> wmf = recordWmf(drawHalves);
    const std::wstring files[] = {dir.write(L"e.emf", emfBytes(mf)), dir.write(L"w.wmf", wmf),
                                  dir.write(L"p.wmf", placeable(wmf, 0, 0, 400, 300)),
                                  dir.write(L"junk.emf", std::vector<uint8_t>(200, 0x41)),
                                  dir.path() + L"\\missing.emf"};
    std::string ansi[5];
    for (int i = 0; i < 5; ++i) ansi[i] = toAnsi(files[i]);
    HostCanvas canvas(40, 30, kGrey);
    HDC recorder = vtest::createNoAlphaDC();
    const long before = liveGraphicsObjects();
    int drawn = 0;
    for (int i = 0; i < 3000; ++i) {
        const RECT r{i % 3, i % 5, 12 + i % 17, 8 + i % 19};
        switch (i % 6) {
        case 0: drawn += Vellora(canvas.dc(), mf, &r, i, i * 0.01, 0, 0.1, 1, 0.9); break;
        case 1: drawn += VelloraFileW(canvas.dc(), files[i / 6 % 5].c_str(), &r, 255, i & 1, 0.0); break;
        case 2: drawn += VelloraFile(canvas.dc(), ansi[i / 6 % 5].c_str(), &r, 255, i & 1, 1.0); break;
        case 3: drawn += Vellora(recorder, mf, &r, 255, 0, 0, 0, 1, 1); break;
        case 4: drawn += Vellora(canvas.dc(), mf, &r, 255, 0, 0.5, 0.5, 0.5, 1); break;
        default: drawn += VelloraFileW(recorder, files[0].c_str(), &r, 255, 1, 0.0); break;
        }
    }
    EXPECT_EQ(liveGraphicsObjects(), before);
    // Handles: 500; files: 3 of 5 draw in 1000 calls; the rest refuse.
    EXPECT_EQ(drawn, 500 + 600);
    vtest::deleteNoAlphaDC(recorder);
    DeleteEnhMetaFile(mf);
}
