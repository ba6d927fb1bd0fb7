// Fonts for the emulated device context: the LOGFONT a record carries, the
// installed face a LOGFONT picks (by name, substitute, character set, pitch
// and family, weight and slant, as the platform's font mapper picks), and
// realized fonts: a face at a device size and transform, with the glyph
// images GDI's rasteriser would make for it.
//
// FreeType and fontconfig are not reentrant; everything here that touches
// them takes one process-wide lock, so any number of playback threads may
// call in. Realized fonts and glyph images are cached (bounded) and shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gdi/dc/objects.h"

namespace vellora::gdi {

enum : uint8_t {
    ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2, MAC_CHARSET = 77,
    SHIFTJIS_CHARSET = 128, HANGUL_CHARSET = 129, JOHAB_CHARSET = 130, GB2312_CHARSET = 134,
    CHINESEBIG5_CHARSET = 136, GREEK_CHARSET = 161, TURKISH_CHARSET = 162,
    VIETNAMESE_CHARSET = 163, HEBREW_CHARSET = 177, ARABIC_CHARSET = 178, BALTIC_CHARSET = 186,
    RUSSIAN_CHARSET = 204, THAI_CHARSET = 222, EASTEUROPE_CHARSET = 238, OEM_CHARSET = 255,
};
enum : uint8_t {
    DEFAULT_QUALITY = 0, DRAFT_QUALITY = 1, PROOF_QUALITY = 2, NONANTIALIASED_QUALITY = 3,
    ANTIALIASED_QUALITY = 4, CLEARTYPE_QUALITY = 5, CLEARTYPE_NATURAL_QUALITY = 6,
};
enum : uint8_t {
    DEFAULT_PITCH = 0, FIXED_PITCH = 1, VARIABLE_PITCH = 2, FF_ROMAN = 0x10, FF_SWISS = 0x20,
    FF_MODERN = 0x30, FF_SCRIPT = 0x40, FF_DECORATIVE = 0x50,
};

// A LOGFONT as the records carry it.
struct LogFont {
    int32_t height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
    uint8_t italic = 0, underline = 0, strikeOut = 0, charSet = 0;
    uint8_t outPrecision = 0, clipPrecision = 0, quality = 0, pitchAndFamily = 0;
    std::u16string faceName;  // at most 31 code units
};

// LOGFONTW: five 32-bit fields, eight bytes, 32 UTF-16 units of face name.
// Bytes past `size` read as zero.
LogFont decodeLogFontW(const uint8_t *data, size_t size);
// The 16-bit LOGFONT of Windows metafiles: five 16-bit fields, eight bytes,
// and a face name of up to 32 bytes in the ANSI code page.
LogFont decodeLogFont16(const uint8_t *data, size_t size);

// A font object as a metafile creates it: the device context carries it and
// the text renderer realizes it when text is drawn.
struct LogicalFont : Font {
    LogFont lf;
};
FontRef makeFont(const LogFont &lf);
// The LOGFONT of a stock font (GetStockObject index 10-14, 16, 17); the
// system font for other indices.
LogFont stockLogFont(uint32_t index);

// The code page 8-bit text of a font's character set is in (1252 for ANSI,
// 932 for SHIFTJIS, ...; 42 for SYMBOL).
uint32_t charsetCodePage(uint8_t charset);
// Decodes 8-bit text as MultiByteToWideChar does for `codePage`. `units`
// receives, for each UTF-16 unit, how many input bytes it came from (1 or
// 2; 0 for the second unit of a surrogate pair).
void decodeText(const uint8_t *bytes, size_t n, uint32_t codePage, std::u16string &out,
                std::vector<uint8_t> *units = nullptr);

// A glyph image placed as GDI places it: the black box's top-left corner is
// `left` pixels right of and `top` pixels above the pen position.
struct Glyph {
    int32_t left = 0, top = 0;
    int32_t width = 0, height = 0;  // black box; zero for empty glyphs
    int32_t advanceX = 0, advanceY = 0;  // pen movement, device pixels, y down
    // The same for the glyph's outline (hinted for grey levels), which text
    // drawn into a path advances by.
    int32_t outlineAdvanceX = 0, outlineAdvanceY = 0;
    int32_t extent = 0;  // A + B + C width, for text extents
    // Coverage per pixel, rows top down, 0 (none) to 16 (full); empty when
    // the image is too large to keep and is rendered piecewise.
    std::vector<uint8_t> levels;
};

// A glyph's outline as the font stores it: points in 1/64 pixel, y up,
// relative to the pen position and transformed as the glyph images are;
// each point on or off the curve (quadratic control points), and the index
// of each contour's last point.
struct GlyphOutline {
    std::vector<int64_t> x, y;
    std::vector<bool> on;
    std::vector<size_t> ends;
};

class RealizedFont;
using RealizedFontRef = std::shared_ptr<const RealizedFont>;

// Everything a font realization depends on: the LOGFONT with its height and
// width already in device pixels (and orientation as it applies), and the
// part of the device transform the glyph outlines go through.
struct FontRequest {
    LogFont lf;
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1;  // XFORM convention, y down
};

inline bool operator==(const LogFont &a, const LogFont &b) {
    return a.height == b.height && a.width == b.width && a.escapement == b.escapement &&
           a.orientation == b.orientation && a.weight == b.weight && a.italic == b.italic &&
           a.underline == b.underline && a.strikeOut == b.strikeOut && a.charSet == b.charSet &&
           a.outPrecision == b.outPrecision && a.clipPrecision == b.clipPrecision &&
           a.quality == b.quality && a.pitchAndFamily == b.pitchAndFamily && a.faceName == b.faceName;
}
inline bool operator==(const FontRequest &a, const FontRequest &b) {
    return a.lf == b.lf && a.m11 == b.m11 && a.m12 == b.m12 && a.m21 == b.m21 && a.m22 == b.m22;
}

// Device-unit metrics of a realized font, as GetTextMetrics and
// GetOutlineTextMetrics report them.
struct FontMetrics {
    int32_t ascent = 0, descent = 0, height = 0;
    int32_t avgCharWidth = 0;
    uint32_t breakChar = 32;
    bool scalable = true;  // escapement applies only to outline fonts
    bool outline = true;   // outline metrics (underline, strikeout) known
    int32_t underlinePosition = 0, underlineSize = 0;
    int32_t strikeoutPosition = 0, strikeoutSize = 0;
};

class RealizedFont : public std::enable_shared_from_this<RealizedFont> {
public:
    ~RealizedFont();
    RealizedFont(const RealizedFont &) = delete;
    RealizedFont &operator=(const RealizedFont &) = delete;

    const FontMetrics &metrics() const { return metrics_; }
    uint8_t charset() const { return charset_; }
    uint32_t codePage() const { return codePage_; }
    // Glyph levels are 0 or 16 (aliased) unless the font is smoothed.
    bool smoothed() const { return smoothed_; }
    const std::u16string &family() const { return family_; }

    // The glyphs for `n` code units (or glyph indices when `indices`), each
    // with the realized font that drew it (this one, or a fallback face for
    // characters this face lacks). Null glyphs are drawn as nothing.
    struct Shaped {
        std::shared_ptr<const Glyph> glyph;
        RealizedFontRef font;
        uint32_t index = 0;  // glyph index in `font`
    };
    void shape(const char16_t *text, size_t n, bool indices, std::vector<Shaped> &out) const;

    // Renders rows [y0, y1) and columns [x0, x1) of a glyph's black box
    // whose image was too large to keep (Glyph::levels empty).
    void renderPart(uint32_t index, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                    std::vector<uint8_t> &levels) const;

    // The outline of a glyph, hinted as the platform hints outlines it
    // returns; false when the glyph has none.
    bool outline(uint32_t index, GlyphOutline &out) const;

private:
    friend struct FontSystem;
    RealizedFont() = default;
    std::shared_ptr<const Glyph> loadGlyph(uint32_t index) const;
    uint32_t glyphIndex(char32_t c) const;

    struct State;
    std::unique_ptr<State> s_;
    FontMetrics metrics_;
    uint8_t charset_ = ANSI_CHARSET;
    uint32_t codePage_ = 1252;
    bool smoothed_ = false;
    std::u16string family_;
};

// Realizes a font; never null (an unusable request falls back to the
// default face at a small size).
RealizedFontRef realizeFont(const FontRequest &request);

// Finds the installed fonts now rather than at the first text drawn.
void loadFonts();

// The family a LOGFONT maps to, for tests and diagnostics.
std::u16string matchedFamily(const LogFont &lf);

}  // namespace vellora::gdi
