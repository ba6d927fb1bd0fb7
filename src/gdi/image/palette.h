// Logical palettes. On a 32-bit device a palette only changes what colours
// name it: PALETTEINDEX colours and DIB_PAL_COLORS colour tables are looked
// up in the palette selected into the device context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "gdi/dc/objects.h"

namespace vellora::gdi {

// The most entries a logical palette holds (LOGPALETTE counts are 16 bits,
// and the platform refuses more than 1024 entries).
constexpr uint32_t kMaxPaletteEntries = 1024;

// A logical palette: its entries as COLORREFs (flags dropped). The player
// owns palettes and may change them after they are selected (the device
// context sees those changes, as it holds the same object).
struct Palette {
    std::vector<ColorRef> entries;

    // Entry `i` when there is one; false past the end.
    bool entry(uint32_t i, ColorRef &out) const {
        if (i >= entries.size()) return false;
        out = entries[i];
        return true;
    }
};

using PaletteRef = std::shared_ptr<const Palette>;

// The stock DEFAULT_PALETTE: the 20 static colours.
const PaletteRef &defaultPalette();

// The colour PALETTEINDEX(`index`) names in `palette` (the default palette
// when null): entry 0 when the index is past the end, as the platform falls
// back to the first entry.
ColorRef paletteColor(const Palette *palette, uint32_t index);

// The RGB a COLORREF paints with `palette` selected: PALETTEINDEX through
// the palette, everything else as resolveColor() gives it.
ColorRef resolveColor(ColorRef c, const Palette *palette);

// CreatePalette over `count` PALETTEENTRY records (4 bytes each: red,
// green, blue, flags) at `entries`; null above kMaxPaletteEntries. An
// empty palette is made: its PALETTEINDEX colours all fall back to black.
std::shared_ptr<Palette> createPalette(const uint8_t *entries, uint32_t count);

// SETPALETTEENTRIES: entries from `start` on, as many as fit in the palette;
// the count changed.
uint32_t setPaletteEntries(Palette &palette, uint32_t start, const ColorRef *colors, uint32_t count);

// RESIZEPALETTE: new entries are black. False for sizes the platform
// refuses (0 and above kMaxPaletteEntries).
bool resizePalette(Palette &palette, uint32_t count);

}  // namespace vellora::gdi
