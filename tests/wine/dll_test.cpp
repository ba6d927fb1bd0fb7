// Vellora.dll as a host loads it: by name, by ordinal, and under another name.
#include <gtest/gtest.h>

#include "support/host.h"
#include "wine_support.h"

using namespace wtest;

namespace {

using VelloraFn = unsigned char(WINAPI *)(HDC, HENHMETAFILE, const RECT *, int32_t, double,
                                          double, double, double, double);
using VelloraFileFn = unsigned char(WINAPI *)(HDC, const char *, const RECT *, int32_t, int32_t,
                                              double);
using VelloraFileWFn = unsigned char(WINAPI *)(HDC, const WCHAR *, const RECT *, int32_t,
                                               int32_t, double);

// GetProcAddress's type says nothing; going through void (*)() says so.
template <class Fn>
Fn as(FARPROC p) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
}

FARPROC byOrdinal(HMODULE m, WORD ordinal) {
    return GetProcAddress(m, reinterpret_cast<LPCSTR>(MAKEINTRESOURCEA(ordinal)));
}

std::wstring dllPath() {
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dir(exe, n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1) + L"Vellora.dll";
}

}  // namespace

TEST(VelloraDll, ExportsPlainNamesAtOrdinalsOneToThree) {
    HMODULE m = LoadLibraryW(L"Vellora.dll");
    ASSERT_NE(m, nullptr);
    const char *names[] = {"Vellora", "VelloraFile", "VelloraFileW"};
    for (WORD i = 0; i < 3; ++i) {
        FARPROC named = GetProcAddress(m, names[i]);
        EXPECT_NE(named, nullptr) << names[i];
        EXPECT_EQ(byOrdinal(m, WORD(i + 1)), named) << names[i];
    }
    EXPECT_EQ(byOrdinal(m, 4), nullptr);
    // The stdcall decorations stay out of the export table.
    EXPECT_EQ(GetProcAddress(m, "Vellora@56"), nullptr);
    EXPECT_EQ(GetProcAddress(m, "_Vellora@56"), nullptr);
    EXPECT_EQ(GetProcAddress(m, "VelloraFileW@28"), nullptr);
    FreeLibrary(m);
}

// A copy under another name is a fresh load: its entry point must accept the
// process, its functions must work through ordinals, and it must unload.
TEST(VelloraDll, ACopyLoadsDrawsByOrdinalAndUnloads) {
    TempDir dir;
    const std::wstring copy = dir.path() + L"\\VelloraCopy.dll";
    ASSERT_TRUE(CopyFileW(dllPath().c_str(), copy.c_str(), FALSE));
    HMODULE m = LoadLibraryW(copy.c_str());
    ASSERT_NE(m, nullptr) << "error " << GetLastError();
    auto draw = as<VelloraFn>(byOrdinal(m, 1));
    auto drawFile = as<VelloraFileFn>(byOrdinal(m, 2));
    auto drawFileW = as<VelloraFileWFn>(byOrdinal(m, 3));
    ASSERT_TRUE(draw && drawFile && drawFileW);

    HENHMETAFILE mf = recordEmf(drawHalves);
    const std::wstring path = dir.write(L"halves.emf", emfBytes(mf));
    const RECT r{4, 4, 83, 43};
    vtest::HostCanvas byHandle(88, 48, kGrey), byName(88, 48, kGrey), byWide(88, 48, kGrey);
    EXPECT_EQ(draw(byHandle.dc(), mf, &r, 255, 0.0, 0, 0, 1, 1), 1);
    EXPECT_EQ(drawFile(byName.dc(), toAnsi(path).c_str(), &r, 255, 0, 0.0), 1);
    EXPECT_EQ(drawFileW(byWide.dc(), path.c_str(), &r, 255, 0, 0.0), 1);
    EXPECT_EQ(byHandle.at(20, 24), kRed);
    EXPECT_EQ(byHandle.at(66, 24), kBlue);
    EXPECT_EQ(byHandle.at(2, 2), kGrey);
    EXPECT_EQ(byName.pixels(), byHandle.pixels());
    EXPECT_EQ(byWide.pixels(), byHandle.pixels());
    DeleteEnhMetaFile(mf);

    EXPECT_TRUE(FreeLibrary(m));
    EXPECT_EQ(GetModuleHandleW(copy.c_str()), nullptr);
    // Unloaded, the file can go.
    EXPECT_TRUE(DeleteFileW(copy.c_str()));
}

// The import library binds the stdcall names; this binary links against it.
TEST(VelloraDll, ImportLibraryBindsTheLoadedExports) {
    HMODULE m = GetModuleHandleW(L"Vellora.dll");
    ASSERT_NE(m, nullptr) << "the import library did not load Vellora.dll";
    HENHMETAFILE mf = recordEmf(drawHalves);
    const RECT r{0, 0, 39, 19};
    vtest::HostCanvas imported(40, 20, kGrey), resolved(40, 20, kGrey);
    EXPECT_EQ(Vellora(imported.dc(), mf, &r, 255, 0.3, 0, 0, 1, 1), 1);
    auto draw = as<VelloraFn>(GetProcAddress(m, "Vellora"));
    EXPECT_EQ(draw(resolved.dc(), mf, &r, 255, 0.3, 0, 0, 1, 1), 1);
    EXPECT_EQ(imported.pixels(), resolved.pixels());
    DeleteEnhMetaFile(mf);
}
