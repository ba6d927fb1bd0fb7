// The native build's host API, and the failure paths only it can reach.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/emf_writer.h"
#include "vellora.h"

using namespace vtest;

TEST(HostApi, BitmapDCRefusesImpossibleMemory) {
    std::vector<uint8_t> px(16 * 4);
    EXPECT_EQ(VelloraCreateBitmapDC(nullptr, 4, 4, 16), nullptr);
    EXPECT_EQ(VelloraCreateBitmapDC(px.data(), 0, 4, 16), nullptr);
    EXPECT_EQ(VelloraCreateBitmapDC(px.data(), 4, -1, 16), nullptr);
    EXPECT_EQ(VelloraCreateBitmapDC(px.data(), 4, 4, 15), nullptr);
    HDC dc = VelloraCreateBitmapDC(px.data(), 4, 4, 16);
    EXPECT_NE(dc, nullptr);
    VelloraDeleteDC(dc);
    VelloraDeleteDC(nullptr);
}

TEST(HostApi, MetafileHandlesComeOnlyFromMetafileBytes) {
    const long before = VelloraLiveObjects();
    const std::vector<uint8_t> emf = EmfWriter(0, 0, 500, 300).bytes();
    HENHMETAFILE mf = VelloraSetEnhMetaFileBits(unsigned(emf.size()), emf.data());
    ASSERT_NE(mf, nullptr);
    ENHMETAHEADER h;
    std::memset(&h, 0xCC, sizeof h);
    EXPECT_EQ(VelloraGetEnhMetaFileHeader(mf, 0, nullptr), sizeof(ENHMETAHEADER));
    EXPECT_EQ(VelloraGetEnhMetaFileHeader(mf, sizeof h, &h), sizeof h);
    EXPECT_EQ(h.rclFrame.right, 500);
    EXPECT_EQ(h.rclFrame.bottom, 300);
    EXPECT_EQ(h.dSignature, 0x464D4520u);
    // A short buffer gets a prefix and nothing beyond it.
    uint8_t small[12];
    std::memset(small, 0xEE, sizeof small);
    EXPECT_EQ(VelloraGetEnhMetaFileHeader(mf, 8, reinterpret_cast<ENHMETAHEADER *>(small)), 8u);
    EXPECT_EQ(small[8], 0xEE);
    VelloraDeleteEnhMetaFile(mf);

    std::vector<uint8_t> junk(200, 0x41);
    EXPECT_EQ(VelloraSetEnhMetaFileBits(unsigned(junk.size()), junk.data()), nullptr);
    EXPECT_EQ(VelloraSetEnhMetaFileBits(40, emf.data()), nullptr);
    EXPECT_EQ(VelloraSetEnhMetaFileBits(0, nullptr), nullptr);
    EXPECT_EQ(VelloraSetWinMetaFileBits(unsigned(junk.size()), junk.data()), nullptr);
    EXPECT_EQ(VelloraGetEnhMetaFileHeader(nullptr, sizeof h, &h), 0u);
    // Forged and stale handles are refused, not followed.
    int notAHandle = 0;
    EXPECT_EQ(VelloraGetEnhMetaFileHeader(reinterpret_cast<HENHMETAFILE>(&notAHandle), sizeof h, &h), 0u);
    EXPECT_EQ(VelloraGetEnhMetaFileHeader(mf, sizeof h, &h), 0u);
    EXPECT_EQ(VelloraLiveObjects(), before);
}

TEST(HostApi, ForgedDeviceContextIsRefused) {
    const std::vector<uint8_t> emf = EmfWriter(0, 0, 500, 300).bytes();
    HENHMETAFILE mf = VelloraSetEnhMetaFileBits(unsigned(emf.size()), emf.data());
    int notADC = 0;
    const RECT r{0, 0, 9, 9};
    EXPECT_EQ(Vellora(reinterpret_cast<HDC>(&notADC), mf, &r, 255, 0, 0, 0, 1, 1), 0);
    VelloraDeleteEnhMetaFile(mf);
}

TEST(HostApi, NonAsciiPathsOpenThroughBothVariants) {
    EmfWriter w(0, 0, 1000, 1000);
    w.select(kStockNullPen).select(kStockBlackBrush).rectangle(-5, -5, 200, 200);
    const std::string path = writeTempFile("\xC3\xA9t\xC3\xA9-\xE5\x9B\xBE.emf", w.bytes());
    std::vector<uint8_t> px(8 * 8 * 4, 0);
    HDC dc = VelloraCreateBitmapDC(px.data(), 8, 8, 32);
    const RECT r{0, 0, 7, 7};
    EXPECT_EQ(VelloraFile(dc, path.c_str(), &r, 255, 0, 0), 1);
    // U+00E9 and U+56FE as UTF-16.
    std::vector<WCHAR> wide;
    for (char c : path.substr(0, path.find('\xC3'))) wide.push_back(WCHAR(uint8_t(c)));
    for (WCHAR c : {WCHAR(0xE9), WCHAR('t'), WCHAR(0xE9), WCHAR('-'), WCHAR(0x56FE), WCHAR('.'),
                    WCHAR('e'), WCHAR('m'), WCHAR('f'), WCHAR(0)})
        wide.push_back(c);
    EXPECT_EQ(VelloraFileW(dc, wide.data(), &r, 255, 0, 0), 1);
    // A lone surrogate names no file.
    std::vector<WCHAR> broken = {WCHAR('/'), WCHAR(0xD800), WCHAR('x'), WCHAR(0)};
    EXPECT_EQ(VelloraFileW(dc, broken.data(), &r, 255, 0, 0), 0);
    // Not a regular file: refused without blocking.
    EXPECT_EQ(VelloraFile(dc, "/tmp", &r, 255, 0, 0), 0);
    VelloraDeleteDC(dc);
    std::remove(path.c_str());
}

// The sanitizers reserve more address space than any cap would allow.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VT_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VT_SANITIZED 1
#endif
#endif
#ifndef VT_SANITIZED
// In a child whose address space is capped, a rectangle within the size
// limit still cannot get its bitmaps: the call must fail cleanly.
[[noreturn]] static void drawWithCappedMemory(const std::vector<uint8_t> &emf) {
    std::vector<uint8_t> px(16);
    HDC dc = VelloraCreateBitmapDC(px.data(), 2, 2, 8);
    HENHMETAFILE mf = VelloraSetEnhMetaFileBits(unsigned(emf.size()), emf.data());
    const long live = VelloraLiveObjects();
    struct rlimit lim;
    getrlimit(RLIMIT_AS, &lim);
    lim.rlim_cur = rlim_t(256) << 20;
    setrlimit(RLIMIT_AS, &lim);
    const RECT big{0, 0, 4999, 4999};  // two bitmaps of ~400 MB
    const int r = Vellora(dc, mf, &big, 255, 0, 0, 0, 1, 1);
    std::_Exit(r == 0 && VelloraLiveObjects() == live ? 0 : 1);
}

TEST(HostApiDeathTest, AllocationFailureReturnsZero) {
    const std::vector<uint8_t> emf = EmfWriter(0, 0, 500, 300).bytes();
    EXPECT_EXIT(drawWithCappedMemory(emf), ::testing::ExitedWithCode(0), "");
}
#endif
#endif
