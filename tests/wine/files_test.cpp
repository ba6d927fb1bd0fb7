// The file variants on real files: placeable WMF, EMF and plain WMF written
// by the platform's recorders, under names from outside ASCII, with the
// sharing and closing the platform enforces.
#include <gtest/gtest.h>

#include "support/host.h"
#include "wine_support.h"

using namespace wtest;
using vtest::HostCanvas;

namespace {

struct Formats {
    std::vector<uint8_t> emf, wmf, apm;
    Formats() {
        HENHMETAFILE mf = recordEmf(drawHalves);
        emf = emfBytes(mf);
        DeleteEnhMetaFile(mf);
        wmf = recordWmf(drawHalves);
        apm = placeable(wmf, 0, 0, 2000, 1000);
    }
};

// Red on the left, blue on the right, grey outside the rectangle.
void expectHalves(const HostCanvas &c, const RECT &r) {
    const int midY = (r.top + r.bottom) / 2;
    const int w = r.right - r.left + 1;
    EXPECT_EQ(c.at(r.left + w / 4, midY), kRed);
    EXPECT_EQ(c.at(r.left + 3 * w / 4, midY), kBlue);
    EXPECT_EQ(c.at(r.right + 1, midY), kGrey);
    EXPECT_EQ(c.at(r.left + w / 4, r.bottom + 1), kGrey);
}

// The last row of column x that the drawing changed.
int lastDrawnRow(const HostCanvas &c, int x) {
    int last = -1;
    for (int y = 0; y < c.height(); ++y)
        if (c.at(x, y) != kGrey) last = y;
    return last;
}

int lastDrawnColumn(const HostCanvas &c, int y) {
    int last = -1;
    for (int x = 0; x < c.width(); ++x)
        if (c.at(x, y) != kGrey) last = x;
    return last;
}

}  // namespace

TEST(WineFiles, EachFormatDrawsThroughBothVariants) {
    const Formats f;
    TempDir dir;
    const RECT r{2, 2, 81, 41};
    for (const auto &[name, bytes] :
         {std::pair<const wchar_t *, const std::vector<uint8_t> &>{L"pic.emf", f.emf},
          {L"pic.wmf", f.wmf},
          {L"pic-placeable.wmf", f.apm}}) {
        SCOPED_TRACE(testing::Message() << "file " << std::string(name, name + wcslen(name)));
        const std::wstring path = dir.write(name, bytes);
        HostCanvas wide(88, 48, kGrey), narrow(88, 48, kGrey);
        ASSERT_EQ(VelloraFileW(wide.dc(), path.c_str(), &r, 255, 0, 0.0), 1);
        expectHalves(wide, r);
        ASSERT_EQ(VelloraFile(narrow.dc(), toAnsi(path).c_str(), &r, 255, 0, 0.0), 1);
        EXPECT_EQ(narrow.pixels(), wide.pixels());
    }
}

TEST(WineFiles, KeepAspectReadsEachFormatsOwnHeader) {
    const Formats f;
    TempDir dir;
    const RECT square{0, 0, 99, 99};

    // Placeable: bounding box 2000 x 1000, ratio 2; rows 0..49 only.
    HostCanvas apm(120, 120, kGrey);
    RECT r = square;
    ASSERT_EQ(VelloraFileW(apm.dc(), dir.write(L"a.wmf", f.apm).c_str(), &r, 255, 1, 0.0), 1);
    EXPECT_EQ(lastDrawnRow(apm, 50), 49);
    EXPECT_EQ(lastDrawnColumn(apm, 20), 99);
    EXPECT_EQ(r.bottom, square.bottom);

    // EMF: the recorder's frame, read from the file.
    const auto *hdr = reinterpret_cast<const ENHMETAHEADER *>(f.emf.data());
    const float emfRatio = float(double(hdr->rclFrame.right - hdr->rclFrame.left) /
                                 double(hdr->rclFrame.bottom - hdr->rclFrame.top));
    HostCanvas emf(120, 120, kGrey);
    ASSERT_EQ(VelloraFileW(emf.dc(), dir.write(L"e.emf", f.emf).c_str(), &r, 255, 1, 0.0), 1);
    EXPECT_EQ(lastDrawnRow(emf, 50), int(99 / double(emfRatio)));

    // Plain WMF: the frame the platform reports for the converted handle, the
    // reference screen's shape here, as no picture size is given.
    HENHMETAFILE converted = SetWinMetaFileBits(UINT(f.wmf.size()), f.wmf.data(), nullptr, nullptr);
    ASSERT_NE(converted, nullptr);
    ENHMETAHEADER reported{};
    ASSERT_NE(GetEnhMetaFileHeader(converted, sizeof reported, &reported), 0u);
    DeleteEnhMetaFile(converted);
    const float wmfRatio = float(double(reported.rclFrame.right - reported.rclFrame.left) /
                                 double(reported.rclFrame.bottom - reported.rclFrame.top));
    ASSERT_GT(wmfRatio, 1.0f);
    HostCanvas wmf(120, 120, kGrey);
    ASSERT_EQ(VelloraFileW(wmf.dc(), dir.write(L"w.wmf", f.wmf).c_str(), &r, 255, 1, 0.0), 1);
    EXPECT_EQ(lastDrawnRow(wmf, 50), int(99 / double(wmfRatio)));
}

TEST(WineFiles, NonAsciiPathsOpenThroughBothVariants) {
    ASSERT_EQ(GetACP(), 1252u) << "the ANSI names below assume Windows-1252";
    const Formats f;
    TempDir dir;
    const RECT r{0, 0, 79, 39};

    // In the ANSI code page: VelloraFile takes it as 8-bit text.
    const std::wstring sub = dir.path() + L"\\\u00e9t\u00e9 \u00c6";
    ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr)) << "error " << GetLastError();
    const std::wstring latin = sub + L"\\caf\u00e9-\u20ac.emf";
    {
        HANDLE h = CreateFileW(latin.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD done;
        WriteFile(h, f.emf.data(), DWORD(f.emf.size()), &done, nullptr);
        CloseHandle(h);
    }
    const std::string ansi = toAnsi(latin);
    ASSERT_FALSE(ansi.empty());
    HostCanvas a(88, 48, kGrey), w(88, 48, kGrey);
    EXPECT_EQ(VelloraFile(a.dc(), ansi.c_str(), &r, 255, 0, 0.0), 1);
    expectHalves(a, r);
    EXPECT_EQ(VelloraFileW(w.dc(), latin.c_str(), &r, 255, 0, 0.0), 1);
    EXPECT_EQ(w.pixels(), a.pixels());
    // The same name in UTF-8 bytes is another name in Windows-1252.
    int n = WideCharToMultiByte(CP_UTF8, 0, latin.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, latin.c_str(), -1, &utf8[0], n, nullptr, nullptr);
    HostCanvas u(88, 48, kGrey);
    EXPECT_EQ(VelloraFile(u.dc(), utf8.c_str(), &r, 255, 0, 0.0), 0);

    // Outside the ANSI code page: only the UTF-16 variant can name it.
    const std::wstring cjk = dir.write(L"\u56fe\u7247-\u0436-\U0001F600.wmf", f.apm);
    ASSERT_TRUE(toAnsi(cjk).empty());
    HostCanvas c(88, 48, kGrey);
    EXPECT_EQ(VelloraFileW(c.dc(), cjk.c_str(), &r, 255, 0, 0.0), 1);
    expectHalves(c, r);

    DeleteFileW(latin.c_str());
    RemoveDirectoryW(sub.c_str());
}

// The file is opened for shared reading: other readers may hold it, writers
// keep it out, and it is closed again before the call returns.
TEST(WineFiles, OpensForSharedReadingAndClosesBeforeReturning) {
    const Formats f;
    TempDir dir;
    const std::wstring path = dir.write(L"shared.emf", f.emf);
    const RECT r{0, 0, 79, 39};

    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HostCanvas shared(88, 48, kGrey);
    EXPECT_EQ(VelloraFileW(shared.dc(), path.c_str(), &r, 255, 0, 0.0), 1);
    expectHalves(shared, r);
    CloseHandle(reader);

    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    HostCanvas refused(88, 48, kGrey);
    EXPECT_EQ(VelloraFileW(refused.dc(), path.c_str(), &r, 255, 0, 0.0), 0);
    for (uint32_t p : refused.pixels()) ASSERT_EQ(p, kGrey);
    CloseHandle(writer);

    // An exclusive open succeeds only if the call left no handle behind.
    HostCanvas again(88, 48, kGrey);
    ASSERT_EQ(VelloraFileW(again.dc(), path.c_str(), &r, 255, 0, 0.0), 1);
    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    CloseHandle(exclusive);
}

// The 8-bit path goes through wsprintfW, which stores 1023 units at most. A
// longer path must fail rather than open the file its first 1023 units name.
TEST(WineFiles, AnAnsiPathTooLongToConvertIsRefused) {
    const Formats f;
    TempDir dir;
    dir.write(L"a.emf", f.emf);
    // dir\x\..\.\.\ ... \a.emf, exactly `length` characters, names the file.
    const auto pathOf = [&](size_t length) {
        std::string p = toAnsi(dir.path()) + "\\";
        size_t fill = length - p.size() - 5;
        if (fill % 2) p += "x\\..\\", fill -= 5;
        for (; fill; fill -= 2) p += ".\\";
        return p + "a.emf";
    };
    const std::string fits = pathOf(1022), cut = pathOf(1023);
    ASSERT_EQ(cut.size(), 1023u);
    const std::wstring wideCut(cut.begin(), cut.end());
    HANDLE h = CreateFileW(wideCut.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "this long path names no file: error " << GetLastError();
    CloseHandle(h);

    const RECT r{0, 0, 79, 39};
    HostCanvas whole(88, 48, kGrey), tooLong(88, 48, kGrey);
    EXPECT_EQ(VelloraFile(whole.dc(), fits.c_str(), &r, 255, 0, 0.0), 1);
    expectHalves(whole, r);
    EXPECT_EQ(VelloraFile(tooLong.dc(), (cut + "x").c_str(), &r, 255, 0, 0.0), 0);
    for (uint32_t p : tooLong.pixels()) ASSERT_EQ(p, kGrey);
}
