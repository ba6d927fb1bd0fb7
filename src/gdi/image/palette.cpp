#include "gdi/image/palette.h"

#include "base/bytes.h"

namespace vellora::gdi {

const PaletteRef &defaultPalette() {
    static const PaletteRef palette = [] {
        auto p = std::make_shared<Palette>();
        for (uint32_t i = 0; i < 20; ++i) p->entries.push_back(defaultPaletteEntry(i));
        return PaletteRef(p);
    }();
    return palette;
}

ColorRef paletteColor(const Palette *palette, uint32_t index) {
    if (!palette) palette = defaultPalette().get();
    ColorRef c = 0;
    if (!palette->entry(index, c)) palette->entry(0, c);
    return c & 0xFFFFFF;
}

ColorRef resolveColor(ColorRef c, const Palette *palette) {
    if ((c >> 24) == 1) return paletteColor(palette, c & 0xFFFF);
    return resolveColor(c);
}

std::shared_ptr<Palette> createPalette(const uint8_t *entries, uint32_t count) {
    if (count > kMaxPaletteEntries) return nullptr;
    auto palette = std::make_shared<Palette>();
    palette->entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) palette->entries.push_back(base::u32(entries + 4 * size_t(i)) & 0xFFFFFF);
    return palette;
}

uint32_t setPaletteEntries(Palette &palette, uint32_t start, const ColorRef *colors, uint32_t count) {
    if (start >= palette.entries.size()) return 0;
    const size_t room = palette.entries.size() - start;
    if (count > room) count = uint32_t(room);
    for (uint32_t i = 0; i < count; ++i) palette.entries[start + i] = colors[i] & 0xFFFFFF;
    return count;
}

bool resizePalette(Palette &palette, uint32_t count) {
    if (count == 0 || count > kMaxPaletteEntries) return false;
    palette.entries.resize(count, 0);
    return true;
}

}  // namespace vellora::gdi
