// The reference side of the differential harness: draws every metafile of a
// list through Vellora.dll in one process, so that Wine starts only once.
//
//   vellora-diff-win.exe LIST OUTDIR WIDTH HEIGHT [START] [--playback]
//
// LIST is UTF-8, one path a line (Unix paths are read through drive Z:). For
// line i, from START on, OUTDIR\NNNNN.bgra receives WIDTH x HEIGHT pixels,
// top row first, premultiplied BGRA, and OUTDIR\results.tsv the line
// "i<TAB>result", written as each file is done so that a run that dies can
// be resumed after the file that killed it. A file that takes more than 20 s
// is recorded with the result -2 and ends the process.
//
// By default each file is drawn by VelloraFileW with keepAspect over a
// transparent bitmap. With --playback it is only played by PlayEnhMetaFile
// onto (0, 0, WIDTH, HEIGHT) of a bitmap preset to alpha 255, and the alpha
// byte is then flipped: painted pixels end opaque in their colour, untouched
// ones transparent black -- the aliased coverage the player must reproduce.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vellora.h"

namespace {

std::wstring fromUtf8(const std::string &s) {
    if (s.empty()) return L"";
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), &out[0], n);
    return out;
}

std::wstring windowsPath(const std::string &line) {
    std::wstring p = fromUtf8(line);
    if (!p.empty() && p[0] == L'/') {
        for (wchar_t &c : p)
            if (c == L'/') c = L'\\';
        p = L"Z:" + p;
    }
    return p;
}

std::vector<std::string> readLines(const wchar_t *path) {
    std::vector<std::string> lines;
    FILE *f = _wfopen(path, L"rb");
    if (!f) return lines;
    std::string cur;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c == '\n') {
            if (!cur.empty() && cur.back() == '\r') cur.pop_back();
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += char(c);
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    std::fclose(f);
    return lines;
}

struct Dib {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    uint8_t *bits = nullptr;
    int w, h;
    Dib(int width, int height) : w(width), h(height) {
        BITMAPINFO info;
        ZeroMemory(&info, sizeof info);
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;  // top-down: rows are written as they lie
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void *p = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint8_t *>(p);
        dc = CreateCompatibleDC(nullptr);
        SelectObject(dc, bitmap);
    }
    ~Dib() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    size_t bytes() const { return size_t(w) * h * 4; }
};

HENHMETAFILE loadForPlayback(const std::wstring &path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return nullptr;
    const DWORD size = GetFileSize(f, nullptr);
    std::vector<uint8_t> data(size_t(size) + 1);
    DWORD got = 0;
    const bool ok = size != INVALID_FILE_SIZE && ReadFile(f, data.data(), size, &got, nullptr) && got == size;
    CloseHandle(f);
    if (!ok) return nullptr;
    auto u32 = [&](size_t at) {
        return at + 4 <= size ? uint32_t(data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                         uint32_t(data[at + 3]) << 24)
                              : 0u;
    };
    if (u32(0) == 0x9AC6CDD7u && size >= 22)
        return SetWinMetaFileBits(size - 22, data.data() + 22, nullptr, nullptr);
    if (u32(40) == 0x464D4520u) return SetEnhMetaFileBits(size, data.data());
    return SetWinMetaFileBits(size, data.data(), nullptr, nullptr);
}

struct Job {
    Dib *dib;
    std::wstring path;
    bool playback;
    int result;
};

constexpr DWORD kMillisecondsPerFile = 20000;

DWORD WINAPI drawJob(void *arg) {
    Job &job = *static_cast<Job *>(arg);
    Dib &dib = *job.dib;
    if (job.playback) {
        for (size_t p = 3; p < dib.bytes(); p += 4) dib.bits[p] = 0xFF;
        HENHMETAFILE mf = loadForPlayback(job.path);
        const RECT r{0, 0, dib.w, dib.h};
        job.result = mf && PlayEnhMetaFile(dib.dc, mf, &r);
        if (mf) DeleteEnhMetaFile(mf);
        GdiFlush();
        for (size_t p = 3; p < dib.bytes(); p += 4) dib.bits[p] ^= 0xFF;
        // Untouched pixels: transparent black, whatever colour they had.
        for (size_t p = 0; p < dib.bytes(); p += 4)
            if (dib.bits[p + 3] == 0) std::memset(dib.bits + p, 0, 3);
    } else {
        const RECT r{0, 0, dib.w - 1, dib.h - 1};
        job.result = VelloraFileW(dib.dc, job.path.c_str(), &r, 255, 1, 0.0);
        GdiFlush();
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    bool playback = false;
    std::vector<const wchar_t *> args;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--playback") == 0) playback = true;
        else args.push_back(argv[i]);
    }
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: vellora-diff-win LIST OUTDIR WIDTH HEIGHT [START] [--playback]\n");
        return 2;
    }
    const std::vector<std::string> files = readLines(args[0]);
    const std::wstring outDir = args[1];
    const int w = _wtoi(args[2]), h = _wtoi(args[3]);
    const size_t start = args.size() > 4 ? size_t(_wtoi(args[4])) : 0;
    if (w < 1 || h < 1 || w > 8192 || h > 8192) {
        std::fprintf(stderr, "vellora-diff-win: bad size\n");
        return 2;
    }
    CreateDirectoryW(outDir.c_str(), nullptr);
    FILE *results = _wfopen((outDir + L"\\results.tsv").c_str(), start ? L"ab" : L"wb");
    if (!results) {
        std::fprintf(stderr, "vellora-diff-win: cannot write to the output folder\n");
        return 1;
    }
    Dib dib(w, h);
    for (size_t i = start; i < files.size(); ++i) {
        std::memset(dib.bits, 0, dib.bytes());
        Job job{&dib, windowsPath(files[i]), playback, 0};
        // Wine's playback can loop for ever on a hostile file: the file is
        // recorded as a hang and the process ends, to be resumed after it.
        HANDLE thread = CreateThread(nullptr, 0, drawJob, &job, 0, nullptr);
        if (!thread || WaitForSingleObject(thread, kMillisecondsPerFile) != WAIT_OBJECT_0) {
            std::fprintf(results, "%u\t-2\n", unsigned(i));
            std::fclose(results);
            // Not ExitProcess: the stuck thread may hold GDI's locks.
            TerminateProcess(GetCurrentProcess(), 3);
        }
        CloseHandle(thread);
        wchar_t name[32];
        swprintf(name, 32, L"\\%05u.bgra", unsigned(i));
        if (FILE *out = _wfopen((outDir + name).c_str(), L"wb")) {
            std::fwrite(dib.bits, 1, dib.bytes(), out);
            std::fclose(out);
        }
        std::fprintf(results, "%u\t%d\n", unsigned(i), job.result);
        std::fflush(results);
    }
    std::fclose(results);
    return 0;
}
