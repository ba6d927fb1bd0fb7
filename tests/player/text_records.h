// Text records for the player's text tests: fonts and ExtTextOut/PolyTextOut/
// SmallTextOut as a recorder writes them. Names avoid the platform's macros
// (the Wine build of these tests sees wingdi.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/emf_writer.h"

namespace ttest {

enum : uint32_t {
    kTypeExtTextOutA = 83, kTypeExtTextOutW = 84, kTypePolyTextOutW = 97, kTypeSmallTextOut = 108,
    kTypeCreateFont = 82, kTypeSetTextAlign = 22, kTypeSetTextColor = 24, kTypeSetBkMode = 18,
    kTypeSetBkColor = 25, kTypeMoveTo = 27, kTypeSetTextJustification = 120, kTypeBeginPath = 59,
    kTypeEndPath = 60, kTypeFillPath = 62, kTypeSetWorldTransform = 35,
};
enum : uint32_t {
    kOpaque = 0x2, kClipped = 0x4, kGlyphIndex = 0x10, kNoRect = 0x100, kSmallChars = 0x200, kPdy = 0x2000,
};
enum : uint32_t { kAlignUpdateCp = 1, kAlignRight = 2, kAlignCenter = 6, kAlignBottom = 8, kAlignBaseline = 24 };

struct FontSpec {
    int32_t height = -20, width = 0, escapement = 0, orientation = 0, weight = 400;
    uint8_t italic = 0, underline = 0, strikeOut = 0, charset = 0, quality = 0, pitchAndFamily = 0;
    std::u16string face = u"Arial";
};

inline void put32(std::vector<uint8_t> &v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

// EXTCREATEFONTINDIRECTW: object index, then LOGFONTW and the rest of an
// ENUMLOGFONTEXDV (zeros) as recorders write it.
inline void createFont(vtest::EmfWriter &w, uint32_t index, const FontSpec &f) {
    std::vector<uint8_t> p;
    put32(p, index);
    for (int32_t v : {f.height, f.width, f.escapement, f.orientation, f.weight}) put32(p, uint32_t(v));
    for (uint8_t b : {f.italic, f.underline, f.strikeOut, f.charset, uint8_t(0), uint8_t(0), f.quality,
                      f.pitchAndFamily})
        p.push_back(b);
    for (size_t i = 0; i < 32; ++i) {
        const char16_t c = i < f.face.size() ? f.face[i] : u'\0';
        p.push_back(uint8_t(c));
        p.push_back(uint8_t(c >> 8));
    }
    p.resize(p.size() + 320 - 92, 0);
    w.recordBytes(kTypeCreateFont, p);
}

struct TextSpec {
    int32_t x = 0, y = 0;
    uint32_t options = 0;
    int32_t rect[4] = {0, 0, -1, -1};
    std::vector<int32_t> dx;  // empty: no dx array
    uint32_t graphicsMode = 1;
};

// EXTTEXTOUTW (bytes holds UTF-16LE) or EXTTEXTOUTA (bytes are the 8-bit
// string); `chars` is the character count the record states.
inline void extTextOut(vtest::EmfWriter &w, bool wide, const std::vector<uint8_t> &bytes, uint32_t chars,
                       const TextSpec &t) {
    std::vector<uint8_t> p;
    for (int32_t v : {0, 0, -1, -1}) put32(p, uint32_t(v));  // bounds
    put32(p, t.graphicsMode);
    put32(p, 0x3F800000u);  // exScale 1.0
    put32(p, 0x3F800000u);
    const uint32_t offString = 8 + 16 + 12 + 40;
    std::vector<uint8_t> str = bytes;
    while (str.size() % 4) str.push_back(0);
    const uint32_t offDx = t.dx.empty() ? 0 : offString + uint32_t(str.size());
    for (int32_t v : {t.x, t.y}) put32(p, uint32_t(v));
    put32(p, chars);
    put32(p, offString);
    put32(p, t.options);
    for (int32_t v : t.rect) put32(p, uint32_t(v));
    put32(p, offDx);
    p.insert(p.end(), str.begin(), str.end());
    for (int32_t d : t.dx) put32(p, uint32_t(d));
    w.recordBytes(wide ? kTypeExtTextOutW : kTypeExtTextOutA, p);
}

inline std::vector<uint8_t> utf16(const std::u16string &s) {
    std::vector<uint8_t> b;
    for (char16_t c : s) b.push_back(uint8_t(c)), b.push_back(uint8_t(c >> 8));
    return b;
}

inline void textW(vtest::EmfWriter &w, const std::u16string &s, const TextSpec &t) {
    extTextOut(w, true, utf16(s), uint32_t(s.size()), t);
}

inline void textA(vtest::EmfWriter &w, const std::string &s, const TextSpec &t) {
    extTextOut(w, false, std::vector<uint8_t>(s.begin(), s.end()), uint32_t(s.size()), t);
}

// SMALLTEXTOUT: no dx array; 8-bit characters with kSmallChars.
inline void smallTextOut(vtest::EmfWriter &w, int32_t x, int32_t y, const std::u16string &s, uint32_t options,
                         const int32_t *rect = nullptr) {
    std::vector<uint8_t> p;
    for (int32_t v : {x, y}) put32(p, uint32_t(v));
    put32(p, uint32_t(s.size()));
    put32(p, options | (rect ? 0u : uint32_t(kNoRect)));
    put32(p, 1);
    put32(p, 0x3F800000u);
    put32(p, 0x3F800000u);
    if (rect)
        for (int i = 0; i < 4; ++i) put32(p, uint32_t(rect[i]));
    for (char16_t c : s) {
        p.push_back(uint8_t(c));
        if (!(options & kSmallChars)) p.push_back(uint8_t(c >> 8));
    }
    w.recordBytes(kTypeSmallTextOut, p);
}

}  // namespace ttest
