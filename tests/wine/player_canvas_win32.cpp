// The player tests' canvas over the real platform: the same pixels, played by
// PlayEnhMetaFile into a DIB section, so that the player's expectations are
// checked against the playback they imitate.
#include <windows.h>

#include <cstring>

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

namespace {

// Plays `mf` (and deletes it) into a DIB section holding the canvas pixels.
bool playInto(std::vector<uint32_t> &px, int w, int h, HENHMETAFILE mf, const RECT &rect) {
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bm && bits) {
        // Both are bottom-up rows of 4 * w bytes.
        std::memcpy(bits, px.data(), px.size() * 4);
        HGDIOBJ old = SelectObject(dc, bm);
        ok = PlayEnhMetaFile(dc, mf, &rect) != FALSE;
        GdiFlush();
        std::memcpy(px.data(), bits, px.size() * 4);
        SelectObject(dc, old);
        DeleteObject(bm);
    }
    DeleteDC(dc);
    DeleteEnhMetaFile(mf);
    return ok;
}

}  // namespace

bool Canvas::play(const std::vector<uint8_t> &emf, RECT rect) {
    HENHMETAFILE mf = SetEnhMetaFileBits(UINT(emf.size()), emf.data());
    if (!mf) return false;
    return playInto(px_, w_, h_, mf, rect);
}

bool Canvas::playWmf(const std::vector<uint8_t> &wmf, RECT rect) {
    HENHMETAFILE mf = SetWinMetaFileBits(UINT(wmf.size()), wmf.data(), nullptr, nullptr);
    if (!mf) return false;
    return playInto(px_, w_, h_, mf, rect);
}

}  // namespace ptest
