// Times Vellora.dll on the same calls as the native command: every file of a
// list drawn with keepAspect into an 800 x 600 DIB section, in one process
// (Wine already started). Prints "index<TAB>milliseconds<TAB>result" per file.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

typedef unsigned char(__stdcall *FileW)(HDC, const wchar_t *, const RECT *, int, int, double);

int wmain(int argc, wchar_t **argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: time_win32 DLL LIST WIDTH HEIGHT [FIRST]\n");
        return 2;
    }
    HMODULE dll = LoadLibraryW(argv[1]);
    FileW draw = dll ? reinterpret_cast<FileW>(GetProcAddress(dll, "VelloraFileW")) : nullptr;
    if (!draw) {
        std::fprintf(stderr, "cannot load %ls\n", argv[1]);
        return 1;
    }
    const int w = _wtoi(argv[3]), h = _wtoi(argv[4]);
    // Wine's own playback crashes on some malformed files; the caller resumes
    // after such a file by naming the first index to draw.
    const int first = argc > 5 ? _wtoi(argv[5]) : 0;
    FILE *list = _wfopen(argv[2], L"rb");
    if (!list) return 1;
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bm);
    char line[4096];
    int index = 0;
    while (std::fgets(line, sizeof line, list)) {
        line[std::strcspn(line, "\r\n")] = 0;
        if (index < first) {
            ++index;
            continue;
        }
        wchar_t path[4096];
        MultiByteToWideChar(CP_UTF8, 0, line, -1, path, 4096);
        std::memset(bits, 0, size_t(w) * h * 4);
        const RECT r{0, 0, w - 1, h - 1};
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        const int ok = draw(dc, path, &r, 255, 1, 0.0);
        QueryPerformanceCounter(&t1);
        std::printf("%d\t%.3f\t%d\n", index++, (t1.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart, ok);
        std::fflush(stdout);
    }
    SelectObject(dc, old);
    DeleteObject(bm);
    DeleteDC(dc);
    return 0;
}
