// Developer tool: compares the native player's aliased playback with the
// platform's, pixel for pixel.
//
//   vellora-playback-diff LIST REFDIR OUTDIR WIDTH HEIGHT
//
// LIST and REFDIR are what `vellora-diff-win.exe LIST REFDIR W H 0 --playback`
// writes under Wine (REFDIR/NNNNN.bgra). For each EMF of LIST this plays the
// file natively onto (0, 0, W, H) the same way (painted pixels opaque, the
// others transparent black), prints the number of pixels that differ, and
// for files that differ writes OUTDIR/NNNNN.bgra: reference | mask |
// candidate, 3W x H, for `vellora-diff png` to turn into a picture. Files
// without a reference are only played (a quick run under sanitizers).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player/player.h"

int main(int argc, char **argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: vellora-playback-diff LIST REFDIR OUTDIR WIDTH HEIGHT\n");
        return 2;
    }
    const int w = std::atoi(argv[4]), h = std::atoi(argv[5]);
    std::ifstream list(argv[1]);
    std::string path;
    int index = -1;
    while (std::getline(list, path)) {
        ++index;
        if (path.size() < 4 || (path.substr(path.size() - 4) != ".emf" && path.substr(path.size() - 4) != ".EMF"))
            continue;
        char name[64];
        std::snprintf(name, sizeof name, "/%05d.bgra", index);
        std::ifstream ref(std::string(argv[2]) + name, std::ios::binary);
        std::vector<uint8_t> expected((std::istreambuf_iterator<char>(ref)), {});
        const bool haveRef = expected.size() == size_t(w) * h * 4;
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
        std::vector<uint8_t> px(size_t(w) * h * 4, 0);
        for (size_t p = 3; p < px.size(); p += 4) px[p] = 0xFF;
        vellora::player::Surface s{px.data(), w, h, ptrdiff_t(w) * 4};
        if (vellora::player::isEnhMetaFile(data.data(), data.size()))
            vellora::player::playEnhMetaFile(s, data.data(), data.size(), RECT{0, 0, w, h});
        for (size_t p = 0; p < px.size(); p += 4) {
            px[p + 3] ^= 0xFF;
            if (!px[p + 3]) px[p] = px[p + 1] = px[p + 2] = 0;
        }
        if (!haveRef) {  // nothing to compare: the file is only played
            std::printf("       -  %s\n", path.c_str());
            continue;
        }
        size_t diff = 0;
        std::vector<uint8_t> tri(size_t(w) * 3 * h * 4, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t *a = &expected[(size_t(y) * w + x) * 4], *b = &px[(size_t(y) * w + x) * 4];
                const bool same = std::memcmp(a, b, 4) == 0;
                diff += !same;
                uint8_t *t = &tri[(size_t(y) * 3 * w + x) * 4];
                std::memcpy(t, a, 4);
                const uint8_t m[4] = {uint8_t(same ? 0 : 0), uint8_t(same ? 0 : 0), uint8_t(same ? 0 : 255), 255};
                std::memcpy(t + 4 * w, m, 4);
                std::memcpy(t + 8 * w, b, 4);
            }
        std::printf("%8zu  %s\n", diff, path.c_str());
        if (diff) {
            std::ofstream out(std::string(argv[3]) + name, std::ios::binary);
            out.write(reinterpret_cast<const char *>(tri.data()), std::streamsize(tri.size()));
        }
    }
    return 0;
}
