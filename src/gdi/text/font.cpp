// Fonts as the records carry them (LOGFONTW, the 16-bit LOGFONT, stock
// fonts) and the entry points of font.h that reach the font system. The rest
// lives by concept: font_match (which face), font_cache (installed faces,
// font files, realized fonts kept), font_realize (a face at a size),
// glyphs (glyph images and shaping), charsets (code pages), font_system.h
// (what they share).
#include "gdi/text/font_system.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"

namespace vellora::gdi {

LogFont decodeLogFontW(const uint8_t *data, size_t size) {
    uint8_t b[92] = {};
    if (data) std::memcpy(b, data, std::min<size_t>(size, sizeof b));
    LogFont lf;
    lf.height = base::i32(b);
    lf.width = base::i32(b + 4);
    lf.escapement = base::i32(b + 8);
    lf.orientation = base::i32(b + 12);
    lf.weight = base::i32(b + 16);
    lf.italic = b[20];
    lf.underline = b[21];
    lf.strikeOut = b[22];
    lf.charSet = b[23];
    lf.outPrecision = b[24];
    lf.clipPrecision = b[25];
    lf.quality = b[26];
    lf.pitchAndFamily = b[27];
    for (int i = 0; i < 31; ++i) {
        const char16_t c = char16_t(base::u16(b + 28 + 2 * i));
        if (!c) break;
        lf.faceName.push_back(c);
    }
    return lf;
}

LogFont decodeLogFont16(const uint8_t *data, size_t size) {
    uint8_t b[50] = {};
    if (data) std::memcpy(b, data, std::min<size_t>(size, sizeof b));
    LogFont lf;
    lf.height = int16_t(base::u16(b));
    lf.width = int16_t(base::u16(b + 2));
    lf.escapement = int16_t(base::u16(b + 4));
    lf.orientation = int16_t(base::u16(b + 6));
    lf.weight = int16_t(base::u16(b + 8));
    lf.italic = b[10];
    lf.underline = b[11];
    lf.strikeOut = b[12];
    lf.charSet = b[13];
    lf.outPrecision = b[14];
    lf.clipPrecision = b[15];
    lf.quality = b[16];
    lf.pitchAndFamily = b[17];
    size_t len = 0;
    while (len < 31 && b[18 + len]) ++len;
    decodeText(b + 18, len, kAnsiCodePage, lf.faceName);
    return lf;
}

FontRef makeFont(const LogFont &lf) {
    auto f = std::make_shared<LogicalFont>();
    f->lf = lf;
    f->lf.faceName = f->lf.faceName.substr(0, 31);
    return f;
}

LogFont stockLogFont(uint32_t index) {
    LogFont lf;
    lf.weight = 400;
    lf.charSet = ANSI_CHARSET;
    switch (index) {
    case 10:  // OEM_FIXED_FONT
        lf.height = 12;
        lf.charSet = OEM_CHARSET;
        lf.pitchAndFamily = FIXED_PITCH | FF_MODERN;
        break;
    case 11:  // ANSI_FIXED_FONT
        lf.height = 12;
        lf.pitchAndFamily = FIXED_PITCH | FF_MODERN;
        lf.faceName = u"Courier";
        break;
    case 12:  // ANSI_VAR_FONT
        lf.height = 12;
        lf.pitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        lf.faceName = u"MS Sans Serif";
        break;
    case 14:  // DEVICE_DEFAULT_FONT
        lf.height = 16;
        lf.weight = 700;
        lf.pitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        lf.faceName = u"System";
        break;
    case 16:  // SYSTEM_FIXED_FONT
        lf.height = 16;
        lf.pitchAndFamily = FIXED_PITCH | FF_MODERN;
        lf.faceName = u"Courier";
        break;
    case 17:  // DEFAULT_GUI_FONT
        lf.height = -11;
        lf.pitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        lf.faceName = u"MS Shell Dlg";
        break;
    default:  // SYSTEM_FONT
        lf.height = 16;
        lf.width = 7;
        lf.weight = 700;
        lf.pitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        lf.faceName = u"System";
        break;
    }
    return lf;
}


RealizedFontRef realizeFont(const FontRequest &request) {
    FontSystem &sys = FontSystem::get();
    std::lock_guard<std::recursive_mutex> lock(sys.mutex);
    RealizedFontRef f = sys.realize(request, nullptr);
    if (f) return f;
    // The request could not be realized (no face file readable, absurd
    // transform): the default face at its own size.
    FontRequest plain;
    plain.lf.height = -12;
    plain.lf.weight = 400;
    return sys.realize(plain, nullptr);
}

void loadFonts() {
    FontSystem &sys = FontSystem::get();
    std::lock_guard<std::recursive_mutex> lock(sys.mutex);
    sys.init();
}

std::u16string matchedFamily(const LogFont &lfIn) {
    FontSystem &sys = FontSystem::get();
    std::lock_guard<std::recursive_mutex> lock(sys.mutex);
    sys.init();
    LogFont lf = lfIn;
    CharsetInfo csi{};
    bool have = false;
    const FaceInfo *f = sys.match(lf, csi, have);
    return f ? f->family : std::u16string();
}

}  // namespace vellora::gdi
