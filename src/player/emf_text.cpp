#include "player/emf_text.h"

#include <string>
#include <vector>

#include "base/bytes.h"
#include "gdi/text/text.h"
#include "player/emf_records.h"

namespace vellora::player {

using base::u16;
using base::u32;
using base::i32;

namespace {

constexpr uint32_t kEmrTextSize = 40;

// Text records carry the graphics mode they were recorded in; playback
// switches to it for the record (an invalid value leaves the advanced mode
// that playback runs in).
class GraphicsModeScope {
public:
    GraphicsModeScope(gdi::DeviceContext &dc, uint32_t mode) : dc_(dc), saved_(dc.state().graphicsMode) {
        dc_.setGraphicsMode(mode == gdi::GM_COMPATIBLE || mode == gdi::GM_ADVANCED ? int(mode) : gdi::GM_ADVANCED);
    }
    ~GraphicsModeScope() { dc_.setGraphicsMode(saved_); }

private:
    gdi::DeviceContext &dc_;
    int saved_;
};

// Draws the EMRTEXT at `at`: the reference point, string, options,
// rectangle and dx array, offsets counted from the record's start.
void drawEmrText(gdi::DeviceContext &dc, const uint8_t *r, uint32_t size, size_t at, bool wide) {
    if (at > size || kEmrTextSize > size - at) return;
    const uint8_t *t = r + at;
    const int32_t x = i32(t), y = i32(t + 4);
    const uint64_t n = u32(t + 8), offString = u32(t + 12);
    const uint32_t options = u32(t + 16);
    const gdi::TextRect rect{i32(t + 20), i32(t + 24), i32(t + 28), i32(t + 32)};
    const uint64_t offDx = u32(t + 36);
    const bool sixteen = wide || (options & gdi::ETO_GLYPH_INDEX);
    const uint64_t bytes = n * (sixteen ? 2 : 1);
    if (n && (offString > size || bytes > size - offString)) return;
    gdi::TextScratch &ts = dc.textScratch();
    std::vector<int32_t> &dx = ts.dx;
    dx.clear();
    if (offDx && n) {
        const uint64_t entries = n * ((options & gdi::ETO_PDY) ? 2 : 1);
        if (offDx > size || entries * 4 > size - offDx) return;
        dx.resize(size_t(entries));
        for (size_t i = 0; i < dx.size(); ++i) dx[i] = i32(r + offDx + 4 * i);
    }
    const int32_t *pdx = dx.empty() ? nullptr : dx.data();
    if (sixteen) {
        std::u16string &s = ts.chars;
        s.assign(size_t(n), u'\0');
        for (size_t i = 0; i < s.size(); ++i) s[i] = char16_t(u16(r + offString + 2 * i));
        if (wide) gdi::extTextOutW(dc, x, y, options, &rect, s.data(), s.size(), pdx);
        else gdi::extTextOutA(dc, x, y, options, &rect, r + offString, s.size(), pdx);
    } else {
        gdi::extTextOutA(dc, x, y, options, &rect, r + offString, size_t(n), pdx);
    }
}

}  // namespace

void playTextRecord(gdi::DeviceContext &dc, uint32_t type, const uint8_t *r, uint32_t size) {
    switch (type) {
    case emr::EXTTEXTOUTW:
    case emr::EXTTEXTOUTA: {
        // Bounds, graphics mode, x and y scale, then one EMRTEXT.
        GraphicsModeScope mode(dc, u32(r + 24));
        drawEmrText(dc, r, size, 36, type == emr::EXTTEXTOUTW);
        break;
    }
    case emr::POLYTEXTOUTW:
    case emr::POLYTEXTOUTA: {
        GraphicsModeScope mode(dc, u32(r + 24));
        const uint64_t strings = u32(r + 36);
        for (uint64_t i = 0; i < strings && 40 + (i + 1) * kEmrTextSize <= size; ++i)
            drawEmrText(dc, r, size, size_t(40 + i * kEmrTextSize), type == emr::POLYTEXTOUTW);
        break;
    }
    case emr::SMALLTEXTOUT: {
        // x, y, character count, options, graphics mode, x and y scale,
        // the clip rectangle unless ETO_NO_RECT, then 8- or 16-bit text
        // (ETO_SMALL_CHARS: each byte the low byte of a UTF-16 unit).
        const int32_t x = i32(r + 8), y = i32(r + 12);
        const uint64_t n = u32(r + 16);
        const uint32_t options = u32(r + 20);
        GraphicsModeScope mode(dc, u32(r + 24));
        size_t at = 36;
        gdi::TextRect rect;
        const bool hasRect = !(options & gdi::ETO_NO_RECT);
        if (hasRect) {
            if (size < 52) return;
            rect = {i32(r + 36), i32(r + 40), i32(r + 44), i32(r + 48)};
            at = 52;
        }
        const bool small = (options & gdi::ETO_SMALL_CHARS) != 0;
        const uint64_t bytes = n * (small ? 1 : 2);
        if (bytes > size - at) return;
        std::u16string &s = dc.textScratch().chars;
        s.assign(size_t(n), u'\0');
        for (size_t i = 0; i < s.size(); ++i) s[i] = small ? char16_t(r[at + i]) : char16_t(u16(r + at + 2 * i));
        gdi::extTextOutW(dc, x, y, options & ~uint32_t(gdi::ETO_NO_RECT | gdi::ETO_SMALL_CHARS),
                         hasRect ? &rect : nullptr, s.data(), s.size(), nullptr);
        break;
    }
    default: break;
    }
}

}  // namespace vellora::player
