// The native build's host API, and the failure paths only it can reach.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <cstdlib>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/native/pixel_pool.h"
#include "support/emf_writer.h"
#include "support/wmf_writer.h"
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

// Bitmaps of a call reuse the pixel memory of the thread's previous call of
// the same size, as it was left: what a call draws must not depend on it, and
// the memory kept must stay within its bounds and go with its thread.
TEST(HostApi, ThreadsReusePixelMemoryDrawingAsFreshWithinBounds) {
    namespace nat = vellora::native;
    auto picture = [](uint32_t colour, bool outlined) {
        EmfWriter w(0, 0, 1000, 1000);
        w.createBrush(1, 0, colour).select(1).ellipse(50, 50, 900, 700);
        if (outlined) w.createPen(2, 0, 9, rgb(0, 0, 0)).select(2).rectangle(100, 100, 800, 950);
        return w.bytes();
    };
    const std::vector<uint8_t> a = picture(rgb(200, 40, 40), true), b = picture(rgb(0, 90, 250), false);
    const RECT r{1, 2, 70, 50}, larger{0, 0, 80, 60};
    auto draw = [](const std::vector<uint8_t> &emf, double angle, const RECT &rect) {
        std::vector<uint32_t> px(80 * 60, 0xFF808080u);
        HDC dc = VelloraCreateBitmapDC(px.data(), 80, 60, 80 * 4);
        HENHMETAFILE mf = VelloraSetEnhMetaFileBits(unsigned(emf.size()), emf.data());
        EXPECT_EQ(Vellora(dc, mf, &rect, 255, angle, 0, 0, 1, 1), 1);
        VelloraDeleteEnhMetaFile(mf);
        VelloraDeleteDC(dc);
        return px;
    };
    // Fresh memory in new threads, then b right after a in one thread, in
    // the blocks a left, of its size and of a larger one.
    std::vector<uint32_t> freshB, reusedB, reusedLargerB;
    std::thread([&] { freshB = draw(b, 0.3, r); }).join();
    std::thread([&] {
        draw(a, 0.0, r);
        reusedB = draw(b, 0.3, r);
        draw(a, 0.0, larger);
        reusedLargerB = draw(b, 0.3, r);
    }).join();
    EXPECT_EQ(reusedB, freshB);
    EXPECT_EQ(reusedLargerB, freshB);

    // Threads' pools leave with them; blocks over the limit are never kept,
    // nor more than the total over all threads.
    const size_t before = nat::pooledPixelBytes();
    std::thread([before] {
        size_t capacity = 0;
        uint8_t *big = nat::acquirePixels(nat::kPooledBlockMaxBytes + 1, &capacity);
        nat::releasePixels(big, capacity);
        EXPECT_EQ(nat::pooledPixelBytes(), before);
    }).join();
    EXPECT_EQ(nat::pooledPixelBytes(), before);
    const int kThreads = int(nat::kPooledTotalMaxBytes / nat::kPooledBlockMaxBytes) + 2;
    std::vector<std::thread> threads;
    int arrived = 0;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            // Untouched blocks of this size cost address space only.
            size_t capacity = 0;
            uint8_t *p = nat::acquirePixels(nat::kPooledBlockMaxBytes, &capacity);
            ASSERT_NE(p, nullptr);
            nat::releasePixels(p, capacity);
            std::unique_lock<std::mutex> lock(m);
            ++arrived;
            cv.notify_all();
            cv.wait(lock, [&] { return done; });
        });
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return arrived == kThreads; });
        EXPECT_LE(nat::pooledPixelBytes(), nat::kPooledTotalMaxBytes);
        EXPECT_GE(nat::pooledPixelBytes(), nat::kPooledTotalMaxBytes - nat::kPooledBlockMaxBytes);
        done = true;
        cv.notify_all();
    }
    for (auto &t : threads) t.join();
    EXPECT_EQ(nat::pooledPixelBytes(), before);
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

namespace {

// A placeable header of a `w` x `h` unit bounding box at `upi` units per inch.
std::vector<uint8_t> placeableWmf(const std::vector<uint8_t> &wmf, int16_t w, int16_t h, uint16_t upi) {
    std::vector<uint8_t> out = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8),
                                uint8_t(h), uint8_t(h >> 8), uint8_t(upi), uint8_t(upi >> 8)};
    out.resize(22, 0);
    out.insert(out.end(), wmf.begin(), wmf.end());
    return out;
}

}  // namespace

// A picture opened once tells its format, aspect and natural size, keeps a
// placeable header, and draws as the file variants draw the same file.
TEST(HostApi, PicturesOfEveryFormatKnowTheirSizeAndDrawAsFilesDo) {
    EmfWriter emf(0, 0, 5080, 2540);  // 2 x 1 inches
    emf.select(kStockNullPen).select(kStockBlackBrush).rectangle(-5, -5, 2000, 2000);
    WmfWriter wmf;
    wmf.setWindowExt(200, 100).select(0).rectangle(0, 0, 100, 100);
    const struct {
        std::vector<uint8_t> bytes;
        int format, width, height;  // natural size at 144 dpi
    } cases[] = {
        {emf.bytes(), VELLORA_FORMAT_EMF, 288, 144},
        {placeableWmf(wmf.bytes(), 2880, 720, 1440), VELLORA_FORMAT_PLACEABLE_WMF, 288, 72},
        {placeableWmf(wmf.bytes(), 100, 100, 0), VELLORA_FORMAT_PLACEABLE_WMF, 10, 10},
    };
    const long before = VelloraLiveObjects();
    for (const auto &c : cases) {
        const std::string path = writeTempFile("picture.wmf", c.bytes);
        VelloraPicture *fromFile = nullptr, *fromMemory = nullptr;
        ASSERT_EQ(VelloraOpenFile(path.c_str(), &fromFile), VELLORA_OK);
        ASSERT_EQ(VelloraOpenMemory(c.bytes.data(), c.bytes.size(), &fromMemory), VELLORA_OK);
        int w = 0, h = 0;
        EXPECT_EQ(VelloraPictureFormat(fromMemory), c.format);
        EXPECT_EQ(VelloraPictureSize(fromMemory, 144, &w, &h), VELLORA_OK);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        EXPECT_FLOAT_EQ(VelloraPictureAspect(fromFile), float(c.width) / float(c.height));
        VelloraPlaceableHeader ph{};
        EXPECT_EQ(VelloraPicturePlaceableHeader(fromFile, &ph),
                  c.format == VELLORA_FORMAT_PLACEABLE_WMF ? VELLORA_OK : VELLORA_ERROR_FORMAT);
        if (c.format == VELLORA_FORMAT_PLACEABLE_WMF) {
            EXPECT_EQ(ph.right, c.bytes[10] | c.bytes[11] << 8);
        }

        std::vector<uint32_t> viaPicture(40 * 40, 0), viaFile(40 * 40, 0);
        HDC a = VelloraCreateBitmapDC(viaPicture.data(), 40, 40, 160);
        HDC b = VelloraCreateBitmapDC(viaFile.data(), 40, 40, 160);
        const RECT r{2, 3, 37, 36};
        EXPECT_EQ(VelloraDrawPicture(a, fromFile, &r, 255, 1, 0.25, 0, 0, 1, 1), VELLORA_OK);
        EXPECT_EQ(VelloraFile(b, path.c_str(), &r, 255, 1, 0.25), 1);
        EXPECT_EQ(viaPicture, viaFile);
        EXPECT_NE(std::count(viaPicture.begin(), viaPicture.end(), 0u), 40 * 40);
        VelloraDeleteDC(a);
        VelloraDeleteDC(b);
        VelloraClosePicture(fromFile);
        VelloraClosePicture(fromMemory);
        std::remove(path.c_str());
    }
    VelloraClosePicture(nullptr);
    EXPECT_EQ(VelloraLiveObjects(), before);
}

// Every failure says why, and the message says it in words.
TEST(HostApi, FailuresGiveTheirReason) {
    const std::vector<uint8_t> good = EmfWriter(0, 0, 1000, 1000).bytes();
    const std::vector<uint8_t> flat = EmfWriter(0, 0, 0, 0).bytes();
    const std::vector<uint8_t> junk(100, 0x55);
    VelloraPicture *pic = nullptr, *flatPic = nullptr;
    EXPECT_EQ(VelloraOpenFile("/nonexistent/picture.emf", &pic), VELLORA_ERROR_OPEN);
    EXPECT_EQ(VelloraOpenFile("/tmp", &pic), VELLORA_ERROR_OPEN);
    EXPECT_EQ(pic, nullptr);
    EXPECT_EQ(VelloraOpenMemory(junk.data(), junk.size(), &pic), VELLORA_ERROR_FORMAT);
    EXPECT_EQ(VelloraOpenMemory(nullptr, 0, &pic), VELLORA_ERROR_FORMAT);
    EXPECT_EQ(VelloraOpenMemory(nullptr, 10, &pic), VELLORA_ERROR_ARGUMENT);
    ASSERT_EQ(VelloraOpenMemory(flat.data(), flat.size(), &flatPic), VELLORA_OK);
    int w, h;
    EXPECT_EQ(VelloraPictureSize(flatPic, 96, &w, &h), VELLORA_ERROR_NO_SIZE);
    ASSERT_EQ(VelloraOpenMemory(good.data(), good.size(), &pic), VELLORA_OK);
    EXPECT_EQ(VelloraPictureSize(pic, std::nan(""), &w, &h), VELLORA_ERROR_ARGUMENT);

    std::vector<uint32_t> px(16, 0);
    HDC dc = VelloraCreateBitmapDC(px.data(), 4, 4, 16);
    HDC noAlpha = VelloraCreateNoAlphaDC();
    const RECT ok{0, 0, 3, 3}, reversed{3, 3, 0, 0}, huge{0, 0, 40000, 3};
    EXPECT_EQ(VelloraDrawPicture(dc, pic, &ok, 255, 0, 0, 0, 0, 1, 1), VELLORA_OK);
    EXPECT_EQ(VelloraDrawPicture(nullptr, pic, &ok, 255, 0, 0, 0, 0, 1, 1), VELLORA_ERROR_ARGUMENT);
    EXPECT_EQ(VelloraDrawPicture(dc, pic, &ok, 255, 0, std::nan(""), 0, 0, 1, 1), VELLORA_ERROR_ARGUMENT);
    EXPECT_EQ(VelloraDrawPicture(dc, pic, &reversed, 255, 0, 0, 0, 0, 1, 1), VELLORA_ERROR_SIZE);
    EXPECT_EQ(VelloraDrawPicture(dc, pic, &huge, 255, 0, 0, 0, 0, 1, 1), VELLORA_ERROR_SIZE);
    EXPECT_EQ(VelloraDrawPicture(dc, pic, &ok, 255, 0, 0, 0.5, 0, 0.5, 1), VELLORA_ERROR_CROP);
    EXPECT_EQ(VelloraDrawPicture(noAlpha, pic, &ok, 255, 0, 0, 0, 0, 1, 1), VELLORA_ERROR_BLEND);
    std::set<std::string> messages;
    for (int s = VELLORA_OK; s <= VELLORA_ERROR_NO_SIZE; ++s) messages.insert(VelloraStatusMessage(s));
    EXPECT_EQ(messages.size(), size_t(VELLORA_ERROR_NO_SIZE + 1));
    EXPECT_STREQ(VelloraStatusMessage(-1), "unknown error");
    VelloraDeleteDC(dc);
    VelloraDeleteDC(noAlpha);
    VelloraClosePicture(pic);
    VelloraClosePicture(flatPic);
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
