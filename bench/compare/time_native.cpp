// The native library on the same calls as time_win32.cpp makes of the DLL:
// every file of a list drawn with keepAspect into an 800 x 600 bitmap, in one
// process. Prints "index<TAB>milliseconds<TAB>result" per file.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vellora.h"

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: time_native LIST WIDTH HEIGHT [FIRST]\n");
        return 2;
    }
    const int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
    const int first = argc > 4 ? std::atoi(argv[4]) : 0;
    if (w < 1 || h < 1) return 2;
    FILE *list = std::fopen(argv[1], "rb");
    if (!list) return 1;
    std::vector<uint32_t> bits(size_t(w) * size_t(h));
    HDC dc = VelloraCreateBitmapDC(bits.data(), w, h, 4 * w);
    char line[4096];
    int index = 0;
    while (std::fgets(line, sizeof line, list)) {
        line[std::strcspn(line, "\r\n")] = 0;
        if (index < first) {
            ++index;
            continue;
        }
        std::memset(bits.data(), 0, bits.size() * 4);
        const RECT r{0, 0, w - 1, h - 1};
        const auto t0 = std::chrono::steady_clock::now();
        const int ok = VelloraFile(dc, line, &r, 255, 1, 0.0);
        const auto t1 = std::chrono::steady_clock::now();
        std::printf("%d\t%.3f\t%d\n", index++,
                    std::chrono::duration<double, std::milli>(t1 - t0).count(), ok);
        std::fflush(stdout);
    }
    VelloraDeleteDC(dc);
    std::fclose(list);
    return 0;
}
