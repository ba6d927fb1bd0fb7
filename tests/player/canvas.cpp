#include "canvas.h"

namespace ptest {

int Canvas::count(uint32_t w) const {
    int n = 0;
    for (uint32_t p : px_) n += p == w;
    return n;
}

std::string Canvas::dump(const std::vector<std::pair<uint32_t, char>> &legend) const {
    std::string s = "\n";
    for (int y = 0; y < h_; ++y) {
        for (int x = 0; x < w_; ++x) {
            const uint32_t p = at(x, y);
            char c = p == kKey ? '.' : '?';
            for (const auto &l : legend)
                if (l.first == p) c = l.second;
            s += c;
        }
        s += '\n';
    }
    return s;
}

bool Canvas::play(const std::vector<uint8_t> &emf, RECT rect) {
    return vellora::player::playEnhMetaFile(surface(), emf.data(), emf.size(), rect);
}

bool Canvas::playWmf(const std::vector<uint8_t> &wmf, RECT rect) {
    return vellora::player::playWinMetaFile(surface(), wmf.data(), wmf.size(), rect);
}

}  // namespace ptest
