// What the font files of gdi/text share and font.h does not show: the
// character-set table, the installed faces and families, the process-wide
// font system (FreeType library, face list, substitutes, realized-font
// cache) behind one lock, and a realized font's state.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_SFNT_NAMES_H
#include FT_TRIGONOMETRY_H
#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <fontconfig/fontconfig.h>

#include <array>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "gdi/text/font.h"
#include "gdi/text/font_scan.h"

namespace vellora::gdi {

// Face names compare without regard to ASCII case, as the font mapper
// compares them.
inline std::u16string fold(const std::u16string &s) {
    std::u16string r(s);
    for (char16_t &c : r)
        if (c >= 'A' && c <= 'Z') c = char16_t(c - 'A' + 'a');
    return r;
}

inline std::u16string ascii16(const char *s) {
    std::u16string r;
    for (; *s; ++s) r.push_back(char16_t(static_cast<unsigned char>(*s)));
    return r;
}

// ------------------------------------------------------------ code pages

struct CharsetInfo {
    uint8_t charset;
    uint32_t codePage;
    uint32_t fs;  // FONTSIGNATURE code-page bit
};

constexpr uint32_t kCpSymbol = 42, kCpUtf8 = 65001, kAnsiCodePage = 1252;

inline const CharsetInfo kCharsets[] = {
    {ANSI_CHARSET, 1252, 1u << 0},       {EASTEUROPE_CHARSET, 1250, 1u << 1},
    {RUSSIAN_CHARSET, 1251, 1u << 2},    {GREEK_CHARSET, 1253, 1u << 3},
    {TURKISH_CHARSET, 1254, 1u << 4},    {HEBREW_CHARSET, 1255, 1u << 5},
    {ARABIC_CHARSET, 1256, 1u << 6},     {BALTIC_CHARSET, 1257, 1u << 7},
    {VIETNAMESE_CHARSET, 1258, 1u << 8}, {THAI_CHARSET, 874, 1u << 16},
    {SHIFTJIS_CHARSET, 932, 1u << 17},   {GB2312_CHARSET, 936, 1u << 18},
    {HANGUL_CHARSET, 949, 1u << 19},     {CHINESEBIG5_CHARSET, 950, 1u << 20},
    {JOHAB_CHARSET, 1361, 1u << 21},     {254, kCpUtf8, 0x04000000u},
    {SYMBOL_CHARSET, kCpSymbol, 1u << 31},
};

inline const CharsetInfo *charsetInfo(uint8_t charset) {
    for (const CharsetInfo &c : kCharsets)
        if (c.charset == charset) return &c;
    return nullptr;
}

// Single-byte code pages as 256-entry tables, made once each.
struct ByteTable {
    std::array<char16_t, 256> map{};
    std::array<bool, 256> lead{};  // DBCS lead bytes
};

// The table of a code page, made at its first use; decodeText reads them.
const ByteTable *byteTable(uint32_t cp);

// ------------------------------------------------------------ installed faces

struct FaceInfo {
    std::string file;
    long index = 0;
    std::u16string family, fullName, style;
    uint32_t fs = 0;  // code-page bits
    bool bold = false, italic = false;
    int order = 0;  // regular, bold, italic, bold italic
};

struct Family {
    std::u16string name;
    std::vector<const FaceInfo *> faces;
};

struct Substitute {
    std::u16string from;
    int fromCharset;  // -1: any
    std::u16string to;
    int toCharset;  // -1: keep
};

// What the face list is built from: a face of a font file, read through
// FreeType when the scanner (font_scan.h) cannot read the file.
bool freeTypeFace(FT_Library library, const std::string &path, long index, ScannedFace &out,
                  long *faceCount);

// ------------------------------------------------------------ realized fonts

// Limits: glyph images up to this many pixels, and this many on either
// side, are kept; larger ones are rendered a window at a time (the
// rasteriser goes over a whole image band by band, so a glyph stretched
// hundreds of thousands of rows tall took it minutes). Glyph boxes beyond
// kMaxGlyphExtent pixels are not drawn at all (the rasteriser's
// coordinates would overflow).
constexpr int64_t kMaxKeptGlyphPixels = int64_t(1) << 20;
constexpr int64_t kMaxKeptGlyphSide = 4096;
constexpr int64_t kMaxGlyphExtent = int64_t(1) << 22;
constexpr size_t kMaxCachedFonts = 64;
constexpr size_t kMaxGlyphBytesPerFont = size_t(16) << 20;
constexpr int32_t kMaxPpem = (1 << 16) - 1;

// Scan-converts an outline already placed in a w x h box into coverage
// levels 0..16 a pixel (aliased: 0 or 16).
void outlineLevels(FT_Library library, FT_Outline *outline, int64_t w, int64_t h, bool mono,
                   uint8_t *levels);

struct RealizedFont::State {
    const FaceInfo *face = nullptr;
    std::shared_ptr<const std::vector<uint8_t>> data;
    FT_Face ft = nullptr;
    FontRequest request;
    int32_t ppem = 0;
    int32_t aveWidth = 0;
    bool fakeBold = false, fakeItalic = false, symbolMap = false;
    bool transformed = false;
    FT_Matrix hori{}, unrotated{};
    // Unscaled metrics of the face at ppem.
    int32_t tmAscent = 0, tmDescent = 0, tmAveCharWidth = 1;
    int32_t ntmAvgWidth = 0;
    bool variablePitch = true;
    mutable std::unordered_map<uint32_t, std::shared_ptr<const Glyph>> glyphs;
    mutable size_t glyphBytes = 0;
    mutable std::unordered_map<char32_t, std::pair<RealizedFontRef, uint32_t>> fallbacks;
};

struct FontSystem {
    std::recursive_mutex mutex;
    FT_Library library = nullptr;
    std::list<FaceInfo> faces;
    std::map<std::u16string, Family> families;  // by folded name
    std::vector<Substitute> substitutes;
    std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> files;
    std::map<std::string, RealizedFontRef> realized;
    std::list<std::string> lru;  // most recent first
    bool ready = false;

    static FontSystem &get() {
        static FontSystem sys;
        return sys;
    }
    FcConfig *fontconfig = nullptr;  // for fallback queries, kept for the process

    ~FontSystem() {
        realized.clear();
        if (library) FT_Done_FreeType(library);
        if (fontconfig) FcConfigDestroy(fontconfig);
    }

    void init();
    void addFile(const std::string &path);
    void addFace(const std::string &path, long index, const ScannedFace &face);
    const Family *family(const std::u16string &name) const {
        auto it = families.find(fold(name));
        return it == families.end() ? nullptr : &it->second;
    }
    const std::u16string *substitute(const std::u16string &name, int charset, int &toCharset) const;
    const FaceInfo *bestFace(const Family &fam, const LogFont &lf, uint32_t fs) const;
    const FaceInfo *byName(const std::u16string &name, const std::u16string *subst, const LogFont &lf,
                           uint32_t fs) const;
    const FaceInfo *anyFace(const LogFont &lf, uint32_t fs) const;
    const FaceInfo *match(LogFont &lf, CharsetInfo &csi, bool &haveCharset) const;
    const FaceInfo *faceByFile(const std::string &file, long index) const;
    std::shared_ptr<const std::vector<uint8_t>> fileData(const std::string &path);
    RealizedFontRef realize(const FontRequest &req, const FaceInfo *forced);
    RealizedFontRef build(const FontRequest &req, const FaceInfo *face, uint8_t charset,
                          uint32_t codePage);
    const FaceInfo *fallbackFace(char32_t c, const FaceInfo *base);
};

}  // namespace vellora::gdi
