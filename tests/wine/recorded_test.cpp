// Pictures recorded with the platform's own recorders, drawn into device
// contexts over DIB sections as Windows hosts make them.
#include <gtest/gtest.h>

#include <cmath>

#include "support/host.h"
#include "wine_support.h"

using namespace wtest;
using vtest::HostCanvas;

namespace {

// A DIB section DC whose rows are stored top-down (negative height).
class TopDownCanvas {
public:
    TopDownCanvas(int w, int h, uint32_t fill) : w_(w), h_(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void *bits = nullptr;
        bm_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        px_ = static_cast<uint32_t *>(bits);
        for (int i = 0; i < w * h; ++i) px_[i] = fill;
        dc_ = CreateCompatibleDC(nullptr);
        SelectObject(dc_, bm_);
    }
    ~TopDownCanvas() {
        DeleteDC(dc_);
        DeleteObject(bm_);
    }
    HDC dc() const { return dc_; }
    std::vector<uint32_t> pixels() const {
        GdiFlush();
        return std::vector<uint32_t>(px_, px_ + w_ * h_);
    }

private:
    int w_, h_;
    HBITMAP bm_;
    HDC dc_;
    uint32_t *px_;
};

}  // namespace

TEST(RecordedMetafiles, EnhancedMetafileFillsTheRectangle) {
    HENHMETAFILE mf = recordEmf(drawHalves);
    ASSERT_NE(mf, nullptr);
    HostCanvas c(100, 60, kGrey);
    const RECT r{10, 10, 89, 49};
    ASSERT_EQ(Vellora(c.dc(), mf, &r, 255, 0, 0, 0, 1, 1), 1);
    // Away from the middle seam and the anti-aliased outer edge, the colours
    // are exact and opaque.
    for (int y = 13; y <= 46; ++y) {
        EXPECT_EQ(c.at(14, y), kRed) << y;
        EXPECT_EQ(c.at(46, y), kRed) << y;
        EXPECT_EQ(c.at(53, y), kBlue) << y;
        EXPECT_EQ(c.at(86, y), kBlue) << y;
    }
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
            if (x < 10 || x > 89 || y < 10 || y > 49) {
                ASSERT_EQ(c.at(x, y), kGrey) << x << "," << y;
            }
    DeleteEnhMetaFile(mf);
}

TEST(RecordedMetafiles, WindowsMetafileDrawsThroughItsConversion) {
    const std::vector<uint8_t> wmf = recordWmf(drawHalves);
    ASSERT_FALSE(wmf.empty());
    HENHMETAFILE mf = SetWinMetaFileBits(UINT(wmf.size()), wmf.data(), nullptr, nullptr);
    ASSERT_NE(mf, nullptr);
    HostCanvas c(100, 60, kGrey);
    const RECT r{10, 10, 89, 49};
    ASSERT_EQ(Vellora(c.dc(), mf, &r, 255, 0, 0, 0, 1, 1), 1);
    EXPECT_EQ(c.at(20, 30), kRed);
    EXPECT_EQ(c.at(80, 30), kBlue);
    EXPECT_EQ(c.at(9, 30), kGrey);
    EXPECT_EQ(c.at(90, 30), kGrey);
    DeleteEnhMetaFile(mf);
}

// Over a transparent destination the result is the coverage itself, as
// premultiplied pixels: a disc has opaque inside, partial edge, clear outside.
TEST(RecordedMetafiles, TransparentDestinationReceivesPremultipliedCoverage) {
    HENHMETAFILE mf = recordEmf([](HDC dc) {
        SelectObject(dc, GetStockObject(NULL_PEN));
        HBRUSH b = CreateSolidBrush(RGB(40, 200, 120));
        SelectObject(dc, b);
        Ellipse(dc, 0, 0, 201, 201);
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        DeleteObject(b);
    });
    HostCanvas c(64, 64, 0);
    const RECT r{0, 0, 63, 63};
    ASSERT_EQ(Vellora(c.dc(), mf, &r, 255, 0, 0, 0, 1, 1), 1);
    EXPECT_EQ(c.at(32, 32), 0xFF28C878u);
    EXPECT_EQ(c.at(1, 1), 0u);
    int partial = 0;
    for (uint32_t p : c.pixels()) {
        const uint32_t a = p >> 24;
        ASSERT_LE(p >> 16 & 0xFF, a);
        ASSERT_LE(p >> 8 & 0xFF, a);
        ASSERT_LE(p & 0xFF, a);
        partial += a > 0 && a < 255;
    }
    // The rim of a 64-pixel disc is some hundred pixels long.
    EXPECT_GT(partial, 100);
    DeleteEnhMetaFile(mf);
}

// Text drawn by the platform's font engine counts as painted, like shapes.
TEST(RecordedMetafiles, TextIsCoveredAndStaysInItsRectangle) {
    HENHMETAFILE mf = recordEmf([](HDC dc) {
        // Two corner pixels fix the frame at 200 x 100.
        SetPixelV(dc, 0, 0, RGB(255, 255, 255));
        SetPixelV(dc, 199, 99, RGB(255, 255, 255));
        HFONT font = CreateFontW(-80, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                 NONANTIALIASED_QUALITY, 0, L"Tahoma");
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        TextOutW(dc, 0, 0, L"HH", 2);
        SelectObject(dc, old);
        DeleteObject(font);
    });
    HostCanvas c(120, 80, kGrey);
    const RECT r{10, 10, 109, 59};
    ASSERT_EQ(Vellora(c.dc(), mf, &r, 255, 0, 0, 0, 1, 1), 1);
    int dark = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 120; ++x) {
            const uint32_t p = c.at(x, y);
            if (x < 10 || x > 109 || y < 10 || y > 59) {
                ASSERT_EQ(p, kGrey) << x << "," << y;
            } else {
                dark += p == 0xFF000000u;
            }
        }
    EXPECT_GT(dark, 200) << "the letters' stems are solid black";
    DeleteEnhMetaFile(mf);
}

// The rectangle is in the logical units of the caller's device context.
TEST(RecordedMetafiles, RectangleIsInTheCallersLogicalUnits) {
    HENHMETAFILE mf = recordEmf(drawHalves);
    HostCanvas plain(100, 60, kGrey), shifted(100, 60, kGrey);
    const RECT r{0, 0, 39, 19};
    ASSERT_EQ(Vellora(plain.dc(), mf, &r, 255, 0, 0, 0, 1, 1), 1);
    SetViewportOrgEx(shifted.dc(), 30, 20, nullptr);
    ASSERT_EQ(Vellora(shifted.dc(), mf, &r, 255, 0, 0, 0, 1, 1), 1);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(shifted.at(x + 30, y + 20), plain.at(x, y));
    EXPECT_EQ(shifted.at(5, 5), kGrey);
    DeleteEnhMetaFile(mf);
}

TEST(RecordedMetafiles, TopDownAndBottomUpDestinationsGetTheSamePicture) {
    HENHMETAFILE mf = recordEmf(drawHalves);
    HostCanvas bottomUp(70, 50, kGrey);
    TopDownCanvas topDown(70, 50, kGrey);
    const RECT r{3, 4, 62, 41};
    ASSERT_EQ(Vellora(bottomUp.dc(), mf, &r, 200, 0.5, 0.1, 0, 0.9, 1), 1);
    ASSERT_EQ(Vellora(topDown.dc(), mf, &r, 200, 0.5, 0.1, 0, 0.9, 1), 1);
    EXPECT_EQ(topDown.pixels(), bottomUp.pixels());
    DeleteEnhMetaFile(mf);
}

// Vellora into an enhanced-metafile recorder: the blend is recorded, and the
// recording plays back to the same picture.
TEST(RecordedMetafiles, DrawingIntoAnEnhancedRecorderRecordsTheBlend) {
    HENHMETAFILE mf = recordEmf(drawHalves);
    const RECT r{0, 0, 39, 19};
    unsigned char result = 0;
    HENHMETAFILE recorded = recordEmf([&](HDC dc) { result = Vellora(dc, mf, &r, 255, 0, 0, 0, 1, 1); });
    EXPECT_EQ(result, 1);
    ASSERT_NE(recorded, nullptr);
    const std::vector<uint8_t> bytes = emfBytes(recorded);
    bool blend = false;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        const auto *rec = reinterpret_cast<const EMR *>(bytes.data() + at);
        blend |= rec->iType == EMR_ALPHABLEND;
        if (rec->nSize < 8) break;
        at += rec->nSize;
    }
    EXPECT_TRUE(blend);
    DeleteEnhMetaFile(recorded);
    DeleteEnhMetaFile(mf);
}
