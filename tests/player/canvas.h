// A bottom-up 32-bit surface, as the native layer hands the player, and
// helpers to play a metafile into it and read pixels back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/player.h"
#include "support/emf_writer.h"

namespace ptest {

constexpr uint32_t kKey = 0x7F123456;  // untouched pixels keep this word

class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h), px_(size_t(w) * h, kKey) {}
    vellora::player::Surface surface() {
        // Bottom-up: the top row is the last in memory.
        uint8_t *base = reinterpret_cast<uint8_t *>(px_.data());
        return {base + size_t(h_ - 1) * w_ * 4, w_, h_, -ptrdiff_t(w_) * 4};
    }
    uint32_t at(int x, int y) const { return px_[size_t(h_ - 1 - y) * w_ + x]; }
    // 0x00RRGGBB of a painted pixel; kKey when untouched.
    bool painted(int x, int y) const { return at(x, y) != kKey; }
    int width() const { return w_; }
    int height() const { return h_; }
    int count(uint32_t word) const;
    // The canvas as rows of characters, for failure messages: '.' untouched,
    // else the first letter the legend maps the word to ('?' for others).
    std::string dump(const std::vector<std::pair<uint32_t, char>> &legend) const;
    bool play(const std::vector<uint8_t> &emf, RECT rect);
    bool play(const std::vector<uint8_t> &emf) { return play(emf, RECT{0, 0, w_, h_}); }
    // A Windows metafile, as the pipeline draws one: converted without a
    // reference DC or picture format, then played onto `rect`.
    bool playWmf(const std::vector<uint8_t> &wmf, RECT rect);
    bool playWmf(const std::vector<uint8_t> &wmf) { return playWmf(wmf, RECT{0, 0, w_, h_}); }

private:
    int w_, h_;
    std::vector<uint32_t> px_;
};

// The BGRA word a COLORREF is painted as (alpha 0).
inline uint32_t word(uint32_t colorref) {
    return (colorref >> 16 & 0xFF) | (colorref & 0xFF00) | (colorref & 0xFF) << 16;
}

// A writer whose logical units are the canvas pixels of a w x h canvas
// played onto (0, 0, w, h): the reference device has 10 pixels a
// millimetre and the frame spans the canvas.
inline vtest::EmfWriter pixelWriter(int w, int h) { return vtest::EmfWriter(0, 0, 10 * w, 10 * h); }

}  // namespace ptest
