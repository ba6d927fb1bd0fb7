#include "gdi/text/font.h"
#include "gdi/text/font_scan.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_SFNT_NAMES_H
#include FT_TRIGONOMETRY_H
#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <dirent.h>
#include <fontconfig/fontconfig.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <unordered_map>

#include "base/bytes.h"

namespace vellora::gdi {

namespace {

// Face names compare without regard to ASCII case, as the font mapper
// compares them.
std::u16string fold(const std::u16string &s) {
    std::u16string r(s);
    for (char16_t &c : r)
        if (c >= 'A' && c <= 'Z') c = char16_t(c - 'A' + 'a');
    return r;
}

std::u16string ascii16(const char *s) {
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

const CharsetInfo kCharsets[] = {
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

const CharsetInfo *charsetInfo(uint8_t charset) {
    for (const CharsetInfo &c : kCharsets)
        if (c.charset == charset) return &c;
    return nullptr;
}

const char *iconvName(uint32_t cp) {
    switch (cp) {
    case 437: return "CP437";
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    case 1361: return "CP1361";
    case 10000: return "MACINTOSH";
    default: return nullptr;
    }
}

bool isDbcs(uint32_t cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 1361; }

// One character of `cp` from up to `n` bytes through iconv; 0 bytes used
// when the sequence is incomplete or invalid.
size_t iconvChar(iconv_t cd, const uint8_t *in, size_t n, char32_t &out) {
    for (size_t len = 1; len <= n && len <= 2; ++len) {
        char inbuf[2];
        std::memcpy(inbuf, in, len);
        char *ip = inbuf;
        size_t il = len;
        uint8_t outbuf[16];
        char *op = reinterpret_cast<char *>(outbuf);
        size_t ol = sizeof outbuf;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        size_t r = iconv(cd, &ip, &il, &op, &ol);
        if (r != size_t(-1) && il == 0 && ol == sizeof outbuf) r = iconv(cd, nullptr, nullptr, &op, &ol);
        if (r != size_t(-1) && il == 0 && ol <= sizeof outbuf - 4) {
            out = char32_t(outbuf[0] | outbuf[1] << 8 | outbuf[2] << 16 | uint32_t(outbuf[3]) << 24);
            return len;
        }
        if (r == size_t(-1) && errno != EINVAL) return 0;
    }
    return 0;
}

// Single-byte code pages as 256-entry tables, made once each.
struct ByteTable {
    std::array<char16_t, 256> map{};
    std::array<bool, 256> lead{};  // DBCS lead bytes
};

const ByteTable *byteTable(uint32_t cp) {
    static std::mutex m;
    static std::map<uint32_t, std::unique_ptr<ByteTable>> tables;
    std::lock_guard<std::mutex> lock(m);
    auto &slot = tables[cp];
    if (slot) return slot.get();
    slot = std::make_unique<ByteTable>();
    for (int b = 0; b < 256; ++b) slot->map[size_t(b)] = char16_t(b);
    const char *name = iconvName(cp);
    if (!name) return slot.get();
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == iconv_t(-1)) return slot.get();
    for (int b = 0; b < 256; ++b) {
        const uint8_t byte = uint8_t(b);
        char inbuf[1] = {char(byte)};
        char *ip = inbuf;
        size_t il = 1;
        uint8_t outbuf[8];
        char *op = reinterpret_cast<char *>(outbuf);
        size_t ol = sizeof outbuf;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        size_t r = iconv(cd, &ip, &il, &op, &ol);
        // Code pages with combining sequences (1255, 1258) hold a letter back
        // until they see what follows it.
        if (r != size_t(-1) && ol == sizeof outbuf) r = iconv(cd, nullptr, nullptr, &op, &ol);
        if (r != size_t(-1) && ol == 4) {
            const uint32_t u = uint32_t(outbuf[0] | outbuf[1] << 8 | outbuf[2] << 16);
            if (u < 0x10000) slot->map[size_t(b)] = char16_t(u);
        } else if (r == size_t(-1) && errno == EINVAL && isDbcs(cp)) {
            slot->lead[size_t(b)] = true;
        }
    }
    iconv_close(cd);
    return slot.get();
}

void push32(std::u16string &out, std::vector<uint8_t> *units, char32_t c, uint8_t bytes) {
    if (c >= 0x10000 && c <= 0x10FFFF) {
        c -= 0x10000;
        out.push_back(char16_t(0xD800 + (c >> 10)));
        out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        if (units) units->push_back(bytes), units->push_back(0);
        return;
    }
    out.push_back(c < 0x10000 ? char16_t(c) : char16_t(0xFFFD));
    if (units) units->push_back(bytes);
}

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

const char *const kSansFallbacks[] = {"Arial", "Liberation Sans", "Bitstream Vera Sans"};
const char *const kSerifFallbacks[] = {"Times New Roman", "Liberation Serif", "Bitstream Vera Serif"};
const char *const kFixedFallbacks[] = {"Courier New", "Liberation Mono", "Bitstream Vera Sans Mono"};

// A directory of outline versions of the Windows system faces (Symbol,
// Wingdings, Tahoma, System, MS Sans Serif) that a Debian font package
// installs; fontconfig does not index it.
const char *const kExtraFontDirs[] = {"/usr/share/wine/fonts"};

std::u16string sfntName(FT_Face face, FT_UShort id) {
    if (!FT_IS_SFNT(face)) return {};
    const FT_UInt count = FT_Get_Sfnt_Name_Count(face);
    std::u16string best;
    int bestRank = 0;
    for (FT_UInt i = 0; i < count; ++i) {
        FT_SfntName n;
        if (FT_Get_Sfnt_Name(face, i, &n) || n.name_id != id) continue;
        int rank = 0;
        std::u16string s;
        if (n.platform_id == TT_PLATFORM_MICROSOFT) {
            rank = n.language_id == 0x409 ? 3 : 2;
            for (FT_UInt k = 0; k + 1 < n.string_len; k += 2)
                s.push_back(char16_t(n.string[k] << 8 | n.string[k + 1]));
        } else if (n.platform_id == TT_PLATFORM_MACINTOSH && n.language_id == 0) {
            rank = 1;
            for (FT_UInt k = 0; k < n.string_len; ++k) s.push_back(char16_t(n.string[k]));
        }
        if (rank > bestRank) bestRank = rank, best = s;
    }
    return best;
}

uint32_t fontSignature(FT_Face face) {
    uint32_t fs = 0;
    if (auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
        if (os2->version == 0)
            fs = os2->usFirstCharIndex >= 0xF000 && os2->usFirstCharIndex < 0xF100 ? 1u << 31 : 1u;
        else
            fs = uint32_t(os2->ulCodePageRange1);
    }
    if (fs == 0) {
        for (int i = 0; i < face->num_charmaps; ++i) {
            switch (face->charmaps[i]->encoding) {
            case FT_ENCODING_UNICODE:
            case FT_ENCODING_APPLE_ROMAN: fs |= 1u; break;
            case FT_ENCODING_MS_SYMBOL: fs |= 1u << 31; break;
            default: break;
            }
        }
    }
    return fs;
}

bool freeTypeFace(FT_Library library, const std::string &path, long index, ScannedFace &out,
                  long *faceCount) {
    *faceCount = 0;
    FT_Face face;
    if (FT_New_Face(library, path.c_str(), index, &face)) return false;
    *faceCount = face->num_faces;
    const bool usable = FT_IS_SCALABLE(face) && FT_IS_SFNT(face);
    if (usable) {
        out.family = sfntName(face, TT_NAME_ID_FONT_FAMILY);
        if (out.family.empty() && face->family_name) out.family = ascii16(face->family_name);
        out.fullName = sfntName(face, TT_NAME_ID_FULL_NAME);
        out.style = sfntName(face, TT_NAME_ID_FONT_SUBFAMILY);
        out.fs = fontSignature(face);
        out.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
        out.bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    }
    FT_Done_Face(face);
    return usable;
}

}  // namespace

bool faceWithFreeType(const std::string &path, long index, ScannedFace &face, long *faceCount) {
    FT_Library library;
    if (FT_Init_FreeType(&library)) return false;
    const bool ok = freeTypeFace(library, path, index, face, faceCount);
    FT_Done_FreeType(library);
    return ok;
}

namespace {

bool readFile(const std::string &path, std::vector<uint8_t> &out) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t buf[65536];
    size_t n;
    out.clear();
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (out.size() > (size_t(256) << 20)) break;  // no font file is this large
        out.insert(out.end(), buf, buf + n);
    }
    std::fclose(f);
    return !out.empty();
}

// ------------------------------------------------------------ realized fonts

// Limits: glyph images up to this many pixels are kept; larger ones are
// rendered a window at a time. Glyph boxes beyond kMaxGlyphExtent pixels
// are not drawn at all (the rasteriser's coordinates would overflow).
constexpr int64_t kMaxKeptGlyphPixels = int64_t(1) << 20;
constexpr int64_t kMaxGlyphExtent = int64_t(1) << 22;
constexpr size_t kMaxCachedFonts = 64;
constexpr size_t kMaxGlyphBytesPerFont = size_t(16) << 20;
constexpr int32_t kMaxPpem = (1 << 16) - 1;

// Scan-converts an outline already placed in a w x h box into coverage
// levels 0..16 a pixel (aliased: 0 or 16).
void outlineLevels(FT_Library library, FT_Outline *outline, int64_t w, int64_t h, bool mono,
                   uint8_t *levels) {
    FT_Bitmap bm;
    std::memset(&bm, 0, sizeof bm);
    bm.width = unsigned(w);
    bm.rows = unsigned(h);
    if (mono) {
        bm.pitch = int(((w + 31) >> 5) << 2);
        bm.pixel_mode = FT_PIXEL_MODE_MONO;
    } else {
        bm.pitch = int((w + 3) / 4 * 4);
        bm.pixel_mode = FT_PIXEL_MODE_GRAY;
        bm.num_grays = 256;
    }
    std::vector<uint8_t> buf(size_t(bm.pitch) * size_t(h), 0);
    bm.buffer = buf.data();
    FT_Outline_Get_Bitmap(library, outline, &bm);
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t *src = buf.data() + y * bm.pitch;
        uint8_t *dst = levels + y * w;
        for (int64_t x = 0; x < w; ++x)
            dst[x] = mono ? uint8_t(((src[x >> 3] >> (7 - (x & 7))) & 1) * 16)
                          : uint8_t(int(src[x]) * 17 / 256);
    }
}

FT_Fixed fixedFromDouble(double v) {
    if (!(v == v)) return 0;
    v = std::max(-32767.0, std::min(32767.0, v));
    return FT_Fixed(v * 65536.0);
}

}  // namespace

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

void FontSystem::addFile(const std::string &path) {
    if (!library) return;
    constexpr long kMaxFaces = 64;
    std::vector<ScannedFace> scanned;
    if (scanFontFile(path, kMaxFaces, scanned)) {
        for (size_t i = 0; i < scanned.size(); ++i) addFace(path, long(i), scanned[i]);
        return;
    }
    // The first face tells how many a collection holds, so a plain font
    // file is opened once.
    long count = 1;
    for (long i = 0; i < count && i < kMaxFaces; ++i) {
        ScannedFace face;
        long inFile = 0;
        const bool ok = freeTypeFace(library, path, i, face, &inFile);
        if (i == 0) {
            if (inFile == 0) return;
            count = inFile;
        }
        if (ok) addFace(path, i, face);
    }
}

void FontSystem::addFace(const std::string &path, long index, const ScannedFace &face) {
    FaceInfo info;
    info.file = path;
    info.index = index;
    info.family = face.family;
    info.fullName = face.fullName;
    info.style = face.style;
    info.fs = face.fs;
    info.italic = face.italic;
    info.bold = face.bold;
    info.order = (info.bold ? 1 : 0) + (info.italic ? 2 : 0);
    if (info.family.empty()) return;
    Family &fam = families[fold(info.family)];
    if (fam.name.empty()) fam.name = info.family;
    for (const FaceInfo *f : fam.faces)
        if (f->style == info.style && f->fullName == info.fullName && f->order == info.order) return;
    faces.push_back(info);
    const FaceInfo *stored = &faces.back();
    auto pos = std::find_if(fam.faces.begin(), fam.faces.end(),
                            [&](const FaceInfo *f) { return f->order > stored->order; });
    fam.faces.insert(pos, stored);
}

void FontSystem::init() {
    if (ready) return;
    ready = true;
    if (FT_Init_FreeType(&library)) {
        library = nullptr;
        return;
    }
    std::vector<std::string> paths;
    for (const char *dir : kExtraFontDirs) {
        if (DIR *d = opendir(dir)) {
            std::vector<std::string> names;
            while (dirent *e = readdir(d)) {
                std::string n = e->d_name;
                std::string lower = n;
                for (char &c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
                if (lower.size() > 4 && (lower.compare(lower.size() - 4, 4, ".ttf") == 0 ||
                                         lower.compare(lower.size() - 4, 4, ".otf") == 0 ||
                                         lower.compare(lower.size() - 4, 4, ".ttc") == 0))
                    names.push_back(std::string(dir) + "/" + n);
            }
            closedir(d);
            std::sort(names.begin(), names.end());
            paths.insert(paths.end(), names.begin(), names.end());
        }
    }
    fontconfig = FcInitLoadConfigAndFonts();
    if (FcConfig *config = fontconfig) {
        FcPattern *pattern = FcPatternCreate();
        FcObjectSet *os = FcObjectSetBuild(FC_FILE, nullptr);
        if (FcFontSet *set = FcFontList(config, pattern, os)) {
            std::vector<std::string> names;
            for (int i = 0; i < set->nfont; ++i) {
                FcChar8 *file = nullptr;
                if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) == FcResultMatch && file)
                    names.push_back(reinterpret_cast<const char *>(file));
            }
            FcFontSetDestroy(set);
            std::sort(names.begin(), names.end());
            names.erase(std::unique(names.begin(), names.end()), names.end());
            paths.insert(paths.end(), names.begin(), names.end());
        }
        FcObjectSetDestroy(os);
        FcPatternDestroy(pattern);
    }
    for (const std::string &p : paths) addFile(p);

    // Names metafiles ask for and Debian does not have: the installed
    // family stands in, unless a family of that name is installed.
#define VELLORA_FONT_REPLACEMENT(from, to)                                        \
    if (!family(ascii16(from)))                                                    \
        if (const Family *target = family(ascii16(to))) {                          \
            Family copy = *target;                                                 \
            copy.name = ascii16(from);                                             \
            families[fold(copy.name)] = copy;                                      \
        }
#include "gdi/text/font_substitutes.inc"
#undef VELLORA_FONT_REPLACEMENT

    // The platform's own substitutes (its FontSubstitutes registry key).
    const struct {
        const char *from;
        int fromCharset;
        const char *to;
        int toCharset;
    } subst[] = {
        {"Arial Baltic", 186, "Arial", 186}, {"Arial CE", 238, "Arial", 238},
        {"Arial CYR", 204, "Arial", 204}, {"Arial Greek", 161, "Arial", 161},
        {"Arial TUR", 162, "Arial", 162}, {"Courier New Baltic", 186, "Courier New", 186},
        {"Courier New CE", 238, "Courier New", 238}, {"Courier New CYR", 204, "Courier New", 204},
        {"Courier New Greek", 161, "Courier New", 161}, {"Courier New TUR", 162, "Courier New", 162},
        {"Helv", -1, "MS Sans Serif", -1}, {"Helvetica", -1, "Arial", -1},
        {"MS Shell Dlg", -1, "Tahoma", -1}, {"MS Shell Dlg 2", -1, "Tahoma", -1},
        {"Times", -1, "Times New Roman", -1}, {"Times New Roman Baltic", 186, "Times New Roman", 186},
        {"Times New Roman CE", 238, "Times New Roman", 238},
        {"Times New Roman CYR", 204, "Times New Roman", 204},
        {"Times New Roman Greek", 161, "Times New Roman", 161},
        {"Times New Roman TUR", 162, "Times New Roman", 162}, {"Tms Rmn", -1, "Times New Roman", -1},
    };
    for (const auto &s : subst)
        substitutes.push_back({ascii16(s.from), s.fromCharset, ascii16(s.to), s.toCharset});
}

const std::u16string *FontSystem::substitute(const std::u16string &name, int charset, int &toCharset) const {
    const std::u16string key = fold(name);
    for (const Substitute &s : substitutes)
        if (fold(s.from) == key && (s.fromCharset == charset || s.fromCharset == -1)) {
            toCharset = s.toCharset;
            return &s.to;
        }
    return nullptr;
}

// The face of a family closest in slant and weight, among those covering
// the requested code page.
const FaceInfo *FontSystem::bestFace(const Family &fam, const LogFont &lf, uint32_t fs) const {
    const FaceInfo *best = nullptr;
    int bestScore = 4;
    const int it = lf.italic ? 1 : 0, bd = lf.weight > 550 ? 1 : 0;
    for (const FaceInfo *f : fam.faces) {
        if (fs && !(fs & f->fs)) continue;
        const int score = (int(f->italic) ^ it) + (int(f->bold) ^ bd);
        if (score > bestScore) continue;
        bestScore = score;
        best = f;
        if (score == 0) break;
    }
    return best;
}

const FaceInfo *FontSystem::byName(const std::u16string &name, const std::u16string *subst, const LogFont &lf,
                                   uint32_t fs) const {
    if (const Family *fam = family(name))
        if (const FaceInfo *f = bestFace(*fam, lf, fs)) return f;
    if (subst)
        if (const Family *fam = family(*subst))
            if (const FaceInfo *f = bestFace(*fam, lf, fs)) return f;
    // A full face name ("Liberation Sans Bold") names one face.
    const std::u16string key = fold(name.substr(0, 31));
    for (const auto &entry : families)
        for (const FaceInfo *f : entry.second.faces)
            if (fold(f->fullName.substr(0, 31)) == key && (!fs || (fs & f->fs))) return f;
    // The platform's font link of the System font: drawn with Tahoma when
    // it is installed (the bitmap System font is not used).
    if (key == u"system" || (subst && fold(*subst) == u"system"))
        if (const Family *tahoma = family(u"Tahoma"))
            if (!tahoma->faces.empty() && (!fs || (fs & tahoma->faces.front()->fs)))
                return bestFace(*tahoma, lf, fs);
    return nullptr;
}

const FaceInfo *FontSystem::anyFace(const LogFont &lf, uint32_t fs) const {
    const uint8_t pf = lf.pitchAndFamily;
    const char *const *list = kSansFallbacks;
    if ((pf & FIXED_PITCH) || (pf & 0xF0) == FF_MODERN) list = kFixedFallbacks;
    else if ((pf & 0xF0) == FF_ROMAN) list = kSerifFallbacks;
    for (int i = 0; i < 3; ++i)
        if (const Family *fam = family(ascii16(list[i])))
            if (const FaceInfo *f = bestFace(*fam, lf, fs)) return f;
    for (const auto &entry : families) {
        if (!entry.second.name.empty() && entry.second.name[0] == u'@') continue;
        if (const FaceInfo *f = bestFace(entry.second, lf, fs)) return f;
    }
    return nullptr;
}

// The platform's font mapper: the face name (or its substitute), then the
// families for the pitch and family bits, then any face; each step keeps
// to faces that cover the requested character set while there are some.
const FaceInfo *FontSystem::match(LogFont &lf, CharsetInfo &csi, bool &haveCharset) const {
    if (fold(lf.faceName) == u"symbol") lf.charSet = SYMBOL_CHARSET;
    const CharsetInfo *ci = charsetInfo(lf.charSet);
    haveCharset = ci != nullptr;
    if (ci) csi = *ci;
    uint32_t fs = ci ? ci->fs : 0;
    if (!lf.faceName.empty()) {
        int toCharset = -1;
        const std::u16string *subst = substitute(lf.faceName, lf.charSet, toCharset);
        if (subst && toCharset != -1)
            if (const CharsetInfo *sc = charsetInfo(uint8_t(toCharset))) {
                csi = *sc;
                fs = sc->fs;
                haveCharset = true;
            }
        if (const FaceInfo *f = byName(lf.faceName, subst, lf, fs)) return f;
    }
    if (!fs) fs = charsetInfo(ANSI_CHARSET)->fs;
    if (const FaceInfo *f = anyFace(lf, fs)) return f;
    return anyFace(lf, 0);
}

const FaceInfo *FontSystem::faceByFile(const std::string &file, long index) const {
    for (const FaceInfo &f : faces)
        if (f.file == file && f.index == index) return &f;
    return nullptr;
}

std::shared_ptr<const std::vector<uint8_t>> FontSystem::fileData(const std::string &path) {
    auto &slot = files[path];
    if (!slot) {
        auto data = std::make_shared<std::vector<uint8_t>>();
        if (!readFile(path, *data)) data->clear();
        slot = data;
    }
    return slot;
}

namespace {

// The em size for a LOGFONT height: negative heights are the em itself,
// positive ones the cell (ascent + descent) it must fit.
int32_t ppemForHeight(FT_Face face, int32_t height) {
    auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    auto *hhea = static_cast<TT_HoriHeader *>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    if (height == 0) height = 16;
    if (height > 0) {
        if (!os2 || !hhea) return std::min(height, kMaxPpem);
        const int32_t winDescent = std::abs(int16_t(os2->usWinDescent));
        int64_t units = int64_t(os2->usWinAscent) + winDescent;
        if (units == 0) units = int64_t(hhea->Ascender) - hhea->Descender;
        if (units <= 0) return 1;
        int64_t ppem = FT_MulDiv(face->units_per_EM, height, FT_Long(units));
        if (ppem > 1 && FT_MulDiv(FT_Long(units), FT_Long(ppem), face->units_per_EM) > height) --ppem;
        if (ppem > kMaxPpem) ppem = 1;
        return int32_t(std::max<int64_t>(ppem, 1));
    }
    if (height >= -kMaxPpem) return -height;
    return 1;
}

bool sfntTable(FT_Face face, FT_ULong tag, std::vector<uint8_t> &out) {
    FT_ULong len = 0;
    if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &len) || len == 0 || len > (FT_ULong(1) << 24)) return false;
    out.resize(len);
    return FT_Load_Sfnt_Table(face, tag, 0, out.data(), &len) == 0;
}

uint16_t be16(const std::vector<uint8_t> &t, size_t off) {
    return off + 2 <= t.size() ? uint16_t(t[off] << 8 | t[off + 1]) : 0;
}

// The VDMX table's em size for a height, and the ascent/descent it fixes.
int32_t vdmxPpem(FT_Face face, int32_t height, int32_t &yMax, int32_t &yMin) {
    std::vector<uint8_t> t;
    if (!sfntTable(face, TTAG_VDMX, t)) return 0;
    const uint16_t numRatios = be16(t, 4);
    size_t groupOffset = size_t(-1);
    for (uint16_t i = 0; i < numRatios; ++i) {
        const size_t r = 6 + 4 * size_t(i);
        if (r + 4 > t.size()) return 0;
        const uint8_t charset = t[r], xr = t[r + 1], ys = t[r + 2], ye = t[r + 3];
        if (!charset) continue;
        if ((xr == 0 && ys == 0 && ye == 0) || (xr == 1 && ys <= 1 && ye >= 1)) {
            groupOffset = be16(t, 6 + 4 * size_t(numRatios) + 2 * size_t(i));
            break;
        }
    }
    if (groupOffset == size_t(-1) || groupOffset + 4 > t.size()) return 0;
    const uint16_t recs = be16(t, groupOffset);
    const uint8_t startsz = t[groupOffset + 2], endsz = t[groupOffset + 3];
    const size_t base = groupOffset + 4;
    if (base + size_t(recs) * 6 > t.size()) return 0;
    auto entry = [&](int i, int k) { return int32_t(int16_t(be16(t, base + 6 * size_t(i) + 2 * size_t(k)))); };
    yMax = yMin = 0;
    if (height > 0) {
        for (int i = 0; i < recs; ++i) {
            const int32_t hi = entry(i, 1), lo = entry(i, 2);
            if (hi - lo == height) {
                yMax = hi, yMin = lo;
                return int32_t(uint16_t(entry(i, 0)));
            }
            if (hi - lo > height) {
                if (--i < 0) return 0;
                yMax = entry(i, 1), yMin = entry(i, 2);
                return int32_t(uint16_t(entry(i, 0)));
            }
        }
        return 0;
    }
    if (height < -kMaxPpem) return 0;
    const int32_t ppem = -height;
    if (ppem < startsz || ppem > endsz) return 0;
    for (int i = 0; i < recs; ++i) {
        const int32_t pel = int32_t(uint16_t(entry(i, 0)));
        if (pel > ppem) return 0;
        if (pel == ppem) {
            yMax = entry(i, 1), yMin = entry(i, 2);
            return ppem;
        }
    }
    return 0;
}

// GASP flags for the current em size; false when the face has none.
bool gaspFlags(FT_Face face, uint16_t &flags) {
    std::vector<uint8_t> t;
    flags = 0;
    if (!sfntTable(face, TTAG_gasp, t) || t.size() < 8) return false;
    const uint16_t version = be16(t, 0), count = be16(t, 2);
    if (version > 1 || t.size() < (size_t(count) * 2 + 2) * 2) return false;
    for (uint16_t i = 0; i < count; ++i) {
        flags = be16(t, 4 + 4 * size_t(i) + 2);
        if (face->size->metrics.y_ppem <= be16(t, 4 + 4 * size_t(i))) break;
    }
    return true;
}

bool selectCharmap(FT_Face face, FT_Encoding enc) {
    FT_CharMap pick[5] = {};  // Microsoft, Macintosh, ISO, Apple Unicode, other
    for (int i = 0; i < face->num_charmaps; ++i) {
        FT_CharMap cm = face->charmaps[i];
        if (cm->encoding != enc) continue;
        switch (cm->platform_id) {
        case 3: pick[0] = cm; break;
        case 1: pick[1] = cm; break;
        case 2: pick[2] = cm; break;
        case 0: pick[3] = cm; break;
        default: pick[4] = cm; break;
        }
    }
    for (FT_CharMap cm : pick)
        if (cm) return FT_Set_Charmap(face, cm) == 0;
    return false;
}

void pickCharmap(FT_Face face, uint8_t charset) {
    static const FT_Encoding regular[] = {FT_ENCODING_UNICODE, FT_ENCODING_APPLE_ROMAN, FT_ENCODING_MS_SYMBOL};
    static const FT_Encoding symbol[] = {FT_ENCODING_MS_SYMBOL, FT_ENCODING_UNICODE, FT_ENCODING_APPLE_ROMAN};
    const FT_Encoding *order = charset == SYMBOL_CHARSET ? symbol : regular;
    for (int i = 0; i < 3; ++i)
        if (selectCharmap(face, order[i])) return;
    if (!face->charmap && face->num_charmaps) FT_Set_Charmap(face, face->charmaps[0]);
}

// Metrics of a font under an absurd world transform saturate, far enough
// inside the 32-bit range that sums of a few of them cannot overflow.
int32_t roundDouble(double v) {
    constexpr double kLimit = 1 << 24;
    if (!(v == v)) return 0;
    return int32_t(std::floor(std::max(-kLimit, std::min(kLimit, v)) + 0.5));
}

}  // namespace

RealizedFontRef FontSystem::build(const FontRequest &req, const FaceInfo *face, uint8_t charset,
                                  uint32_t codePage) {
    auto data = fileData(face->file);
    if (!library || data->empty()) return nullptr;
    FT_Face ft = nullptr;
    if (FT_New_Memory_Face(library, data->data(), FT_Long(data->size()), face->index, &ft)) return nullptr;

    std::shared_ptr<RealizedFont> font(new RealizedFont());
    font->s_ = std::make_unique<RealizedFont::State>();
    RealizedFont::State &s = *font->s_;
    s.face = face;
    s.data = data;
    s.ft = ft;
    s.request = req;
    const LogFont &lf = req.lf;
    font->charset_ = charset;
    font->codePage_ = codePage;
    font->family_ = face->family;
    s.fakeItalic = lf.italic && !face->italic;
    s.fakeBold = lf.weight > 550 && !face->bold;
    s.aveWidth = lf.height ? lf.width : 0;

    int32_t vdmxMax = 0, vdmxMin = 0;
    s.ppem = vdmxPpem(ft, lf.height, vdmxMax, vdmxMin);
    if (s.ppem == 0) s.ppem = ppemForHeight(ft, lf.height), vdmxMax = vdmxMin = 0;
    if (FT_Set_Pixel_Sizes(ft, 0, FT_UInt(s.ppem))) FT_Set_Pixel_Sizes(ft, 0, 16);
    pickCharmap(ft, charset);
    s.symbolMap = ft->charmap && ft->charmap->encoding == FT_ENCODING_MS_SYMBOL;

    // Text metrics of the face at this em size.
    auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    auto *hhea = static_cast<TT_HoriHeader *>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA));
    auto *post = static_cast<TT_Postscript *>(FT_Get_Sfnt_Table(ft, FT_SFNT_POST));
    FontMetrics &m = font->metrics_;
    int32_t tmHeight = 0, underPos = 0, underSize = 0, strikePos = 0, strikeSize = 0;
    if (os2 && hhea) {
        const FT_Fixed em = FT_MulDiv(s.ppem, 1 << 16, ft->units_per_EM);
        const int32_t winDescent = std::abs(int16_t(os2->usWinDescent));
        int32_t ascent = os2->usWinAscent, descent = winDescent;
        if (ascent + descent == 0) ascent = hhea->Ascender, descent = -hhea->Descender;
        if (vdmxMax) {
            s.tmAscent = vdmxMax;
            s.tmDescent = -vdmxMin;
        } else {
            s.tmAscent = int32_t(FT_MulFix(ascent, em));
            s.tmDescent = int32_t(FT_MulFix(descent, em));
        }
        tmHeight = s.tmAscent + s.tmDescent;
        s.tmAveCharWidth = int32_t(FT_MulFix(os2->xAvgCharWidth, em));
        if (s.tmAveCharWidth == 0) s.tmAveCharWidth = 1;
        s.ntmAvgWidth = os2->xAvgCharWidth;
        s.variablePitch = !FT_IS_FIXED_WIDTH(ft) && (os2->version == 0xFFFF || os2->panose[3] != 9);
        const bool symbolFont = s.symbolMap || (os2->usFirstCharIndex >= 0xF000 && os2->usFirstCharIndex < 0xF100);
        if (symbolFont) m.breakChar = 0x20;
        else if (os2->usFirstCharIndex <= 1) m.breakChar = os2->usFirstCharIndex + 2u;
        else if (os2->usFirstCharIndex > 0xFF) m.breakChar = 0x20;
        else m.breakChar = os2->usFirstCharIndex;
        strikeSize = int32_t(FT_MulFix(os2->yStrikeoutSize, em));
        strikePos = int32_t(FT_MulFix(os2->yStrikeoutPosition, em));
        if (post) {
            underSize = int32_t(FT_MulFix(post->underlineThickness, em));
            underPos = int32_t(FT_MulFix(post->underlinePosition, em));
        }
    } else {
        s.tmAscent = int32_t(ft->size->metrics.ascender >> 6);
        s.tmDescent = int32_t(-ft->size->metrics.descender >> 6);
        tmHeight = s.tmAscent + s.tmDescent;
        s.tmAveCharWidth = std::max<int32_t>(1, int32_t(ft->size->metrics.max_advance >> 6) * 2 / 3);
        m.outline = false;
    }
    if (s.aveWidth && tmHeight > 0 && (int64_t(s.aveWidth) + tmHeight - 1) / tmHeight > 100) s.aveWidth = 0;

    // The glyph transform: width scale, fake slant, orientation, then the
    // device transform.
    const double widthRatio = s.aveWidth ? double(s.aveWidth) / s.tmAveCharWidth : 1.0;
    FT_Matrix unrot = {1 << 16, 0, 0, 1 << 16};
    bool transformed = false;
    if (widthRatio != 1.0) {
        FT_Matrix sc = {fixedFromDouble(widthRatio), 0, 0, 1 << 16};
        FT_Matrix_Multiply(&sc, &unrot);
        transformed = true;
    }
    if (s.fakeItalic) {
        FT_Matrix slant = {1 << 16, (1 << 16) >> 2, 0, 1 << 16};
        FT_Matrix_Multiply(&slant, &unrot);
        transformed = true;
    }
    FT_Matrix hori = unrot;
    if (lf.orientation % 3600) {
        FT_Vector angle;
        FT_Vector_Unit(&angle, FT_MulDiv(1 << 16, lf.orientation, 10));
        FT_Matrix rot = {angle.x, -angle.y, angle.y, angle.x};
        FT_Matrix_Multiply(&rot, &hori);
        transformed = true;
    }
    if (!(req.m11 == 1 && req.m12 == 0 && req.m21 == 0 && req.m22 == 1)) {
        FT_Matrix world = {fixedFromDouble(req.m11), -fixedFromDouble(req.m21), -fixedFromDouble(req.m12),
                           fixedFromDouble(req.m22)};
        FT_Matrix_Multiply(&world, &hori);
        FT_Matrix_Multiply(&world, &unrot);
        transformed = true;
    }
    s.transformed = transformed;
    s.hori = hori;
    s.unrotated = unrot;

    // Metrics as reported in device units.
    const double scaleX = widthRatio * std::fabs(req.m11), scaleY = std::fabs(req.m22);
    m.ascent = roundDouble(s.tmAscent * scaleY);
    m.descent = roundDouble(s.tmDescent * scaleY);
    m.height = roundDouble(tmHeight * scaleY);
    m.avgCharWidth = roundDouble((s.tmAveCharWidth + (s.fakeBold ? 1 : 0)) * scaleX);
    m.underlinePosition = roundDouble(underPos * scaleY);
    m.underlineSize = roundDouble(underSize * scaleY);
    m.strikeoutPosition = roundDouble(strikePos * scaleY);
    m.strikeoutSize = roundDouble(strikeSize * scaleY);
    m.scalable = true;

    // Aliased unless the LOGFONT asks for grey smoothing and the face's
    // GASP table allows it at this size. The ClearType qualities fall back
    // to the default (aliased) rendering: their colour fringes have no place
    // in a coverage picture.
    bool smooth = lf.quality == ANTIALIASED_QUALITY;
    if (smooth && !s.fakeBold && !s.fakeItalic) {
        uint16_t gasp;
        if (gaspFlags(ft, gasp) && !(gasp & 2)) smooth = false;
    }
    font->smoothed_ = smooth;
    return font;
}

RealizedFontRef FontSystem::realize(const FontRequest &reqIn, const FaceInfo *forced) {
    init();
    FontRequest req = reqIn;
    req.lf.width = req.lf.width == INT32_MIN ? INT32_MAX : std::abs(req.lf.width);
    req.lf.orientation %= 3600;
    if (fold(req.lf.faceName) == u"symbol") req.lf.charSet = SYMBOL_CHARSET;
    req.lf.faceName = req.lf.faceName.substr(0, 31);

    // Cache key: every input of the realization.
    std::string key;
    {
        char buf[256];
        const LogFont &lf = req.lf;
        std::snprintf(buf, sizeof buf, "%d,%d,%d,%d,%d,%u,%u,%u,%u,%u,%a,%a,%a,%a,%p|", lf.height, lf.width,
                      lf.orientation, lf.weight, lf.italic, lf.charSet, lf.quality, lf.pitchAndFamily,
                      lf.outPrecision, 0u, req.m11, req.m12, req.m21, req.m22,
                      static_cast<const void *>(forced));
        key = buf;
        for (char16_t c : fold(lf.faceName)) key += std::to_string(unsigned(c)) + ".";
    }
    auto found = realized.find(key);
    if (found != realized.end()) {
        lru.remove(key);
        lru.push_front(key);
        return found->second;
    }

    CharsetInfo csi{};
    bool haveCharset = false;
    LogFont lf = req.lf;
    const FaceInfo *face = forced;
    if (forced) {
        const CharsetInfo *ci = charsetInfo(lf.charSet);
        haveCharset = ci != nullptr;
        if (ci) csi = *ci;
    } else {
        face = match(lf, csi, haveCharset);
    }
    RealizedFontRef font;
    if (face) {
        uint8_t charset = csi.charset;
        uint32_t codePage = csi.codePage;
        if (!haveCharset) {
            // The face's own character set: the ANSI code page's when it has
            // it, else the first it has.
            charset = ANSI_CHARSET, codePage = kAnsiCodePage;
            if (!(face->fs & 1u)) {
                for (int i = 0; i < 32; ++i)
                    if (face->fs & (1u << i)) {
                        for (const CharsetInfo &c : kCharsets)
                            if (c.fs == (1u << i)) {
                                charset = c.charset;
                                codePage = c.codePage;
                                i = 32;
                                break;
                            }
                    }
            }
        }
        FontRequest built = req;
        built.lf.charSet = lf.charSet;
        font = build(built, face, charset, codePage);
    }
    if (!font) return nullptr;
    realized[key] = font;
    lru.push_front(key);
    while (lru.size() > kMaxCachedFonts) {
        realized.erase(lru.back());
        lru.pop_back();
    }
    return font;
}

const FaceInfo *FontSystem::fallbackFace(char32_t c, const FaceInfo *base) {
    // The answer depends on the face asking (fontconfig prefers a relative
    // of its family), so it is remembered per face and character.
    static std::map<std::pair<const FaceInfo *, char32_t>, const FaceInfo *> memo;
    const auto key = std::make_pair(base, c);
    auto it = memo.find(key);
    if (it != memo.end()) return it->second;
    const FaceInfo *result = nullptr;
    if (!fontconfig) return nullptr;
    if (FcCharSet *cs = FcCharSetCreate()) {
        FcCharSetAddChar(cs, FcChar32(c));
        FcPattern *pat = FcPatternCreate();
        FcPatternAddCharSet(pat, FC_CHARSET, cs);
        if (base) {
            std::string fam;
            for (char16_t u : base->family) fam.push_back(u < 128 ? char(u) : '?');
            FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8 *>(fam.c_str()));
        }
        FcConfigSubstitute(fontconfig, pat, FcMatchPattern);
        FcDefaultSubstitute(pat);
        FcResult res;
        if (FcFontSet *set = FcFontSort(fontconfig, pat, FcTrue, nullptr, &res)) {
            for (int i = 0; i < set->nfont && !result; ++i) {
                FcCharSet *fcs = nullptr;
                if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &fcs) != FcResultMatch ||
                    !FcCharSetHasChar(fcs, FcChar32(c)))
                    continue;
                FcChar8 *file = nullptr;
                int index = 0;
                if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
                FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
                result = faceByFile(reinterpret_cast<const char *>(file), index);
            }
            FcFontSetDestroy(set);
        }
        FcPatternDestroy(pat);
        FcCharSetDestroy(cs);
    }
    if (memo.size() > 4096) memo.clear();
    memo[key] = result;
    return result;
}

// ------------------------------------------------------------ glyphs

RealizedFont::~RealizedFont() {
    if (s_ && s_->ft) {
        std::lock_guard<std::recursive_mutex> lock(FontSystem::get().mutex);
        FT_Done_Face(s_->ft);
    }
}

uint32_t RealizedFont::glyphIndex(char32_t c) const {
    FT_Face ft = s_->ft;
    if (!ft->charmap) return 0;
    if (s_->symbolMap) {
        auto symbolIndex = [&](uint32_t g) -> uint32_t {
            if (g < 0x100) g += 0xF000;
            uint32_t r = FT_Get_Char_Index(ft, g);
            if (!r) r = FT_Get_Char_Index(ft, g - 0xF000);
            return r;
        };
        uint32_t r = symbolIndex(uint32_t(c));
        if (!r && c < 0x10000) {
            // The character's byte in the ANSI code page.
            const ByteTable *t = byteTable(kAnsiCodePage);
            uint8_t byte = '?';
            for (int b = 0; b < 256; ++b)
                if (t->map[size_t(b)] == c) {
                    byte = uint8_t(b);
                    break;
                }
            r = symbolIndex(byte);
        }
        return r;
    }
    uint32_t r = FT_Get_Char_Index(ft, FT_ULong(c));
    // Symbol-encoded text (U+F020-U+F0FF, what 8-bit text of SYMBOL_CHARSET
    // decodes to) on a symbol face that maps its glyphs at U+0020-U+00FF.
    if (!r && c >= 0xF020 && c <= 0xF0FF && charset_ == SYMBOL_CHARSET) r = FT_Get_Char_Index(ft, FT_ULong(c - 0xF000));
    return r;
}

namespace {

FT_BBox glyphBox(const FT_Glyph_Metrics &m, const FT_Matrix *matrix) {
    FT_BBox b{};
    if (!matrix) {
        b.xMin = m.horiBearingX & -64;
        b.xMax = (m.horiBearingX + m.width + 63) & -64;
        b.yMax = (m.horiBearingY + 63) & -64;
        b.yMin = (m.horiBearingY - m.height) & -64;
        return b;
    }
    for (int xc = 0; xc < 2; ++xc)
        for (int yc = 0; yc < 2; ++yc) {
            FT_Vector v{m.horiBearingX + xc * m.width, m.horiBearingY - yc * m.height};
            FT_Vector_Transform(&v, matrix);
            if (xc == 0 && yc == 0) {
                b.xMin = b.xMax = v.x;
                b.yMin = b.yMax = v.y;
            } else {
                b.xMin = std::min(b.xMin, v.x);
                b.xMax = std::max(b.xMax, v.x);
                b.yMin = std::min(b.yMin, v.y);
                b.yMax = std::max(b.yMax, v.y);
            }
        }
    b.xMin &= -64;
    b.xMax = (b.xMax + 63) & -64;
    b.yMin &= -64;
    b.yMax = (b.yMax + 63) & -64;
    return b;
}

}  // namespace

std::shared_ptr<const Glyph> RealizedFont::loadGlyph(uint32_t index) const {
    auto cached = s_->glyphs.find(index);
    if (cached != s_->glyphs.end()) return cached->second;

    State &s = *s_;
    FT_Face ft = s.ft;
    const bool mono = !smoothed_;
    // Text extents come from the glyph metrics the platform asks for
    // separately, hinted for grey levels; an aliased image's own advance
    // can differ from them by a pixel.
    FT_Pos metricsAdvance = 0;
    if (mono) {
        const FT_Int32 mflags = FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH | FT_LOAD_NO_BITMAP;
        if (!FT_Load_Glyph(ft, index, mflags) || !FT_Load_Glyph(ft, index, mflags | FT_LOAD_NO_HINTING))
            metricsAdvance = ft->glyph->metrics.horiAdvance;
    }
    FT_Int32 flags = FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (s.transformed || !mono) flags |= FT_LOAD_NO_BITMAP;
    FT_Error err = FT_Load_Glyph(ft, index, flags);
    if (err) err = FT_Load_Glyph(ft, index, flags | FT_LOAD_NO_HINTING);
    if (err) return nullptr;
    FT_GlyphSlot slot = ft->glyph;
    FT_Glyph_Metrics gm = slot->metrics;
    if (s.fakeBold) {
        bool done = false;
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE &&
            !FT_Outline_Embolden(&slot->outline, FT_MulDiv(s.ppem, 1 << 6, 24))) {
            FT_BBox cb;
            FT_Outline_Get_CBox(&slot->outline, &cb);
            gm.width = cb.xMax - cb.xMin;
            gm.height = cb.yMax - cb.yMin;
            gm.horiBearingX = cb.xMin;
            gm.horiBearingY = cb.yMax;
            done = true;
        }
        if (!done && gm.width) gm.width += 1 << 6;
    }
    // Parts above the ascent or below the descent are cut off.
    {
        const FT_Pos top = std::min<FT_Pos>(gm.horiBearingY, FT_Pos(s.tmAscent) * 64);
        const FT_Pos bottom = std::max<FT_Pos>(gm.horiBearingY - gm.height, -(FT_Pos(s.tmDescent) * 64));
        gm.horiBearingY = top;
        gm.height = top - bottom;
    }
    const FT_Matrix *matrix = s.transformed ? &s.hori : nullptr;
    const FT_BBox box = glyphBox(gm, matrix);

    auto glyph = std::make_shared<Glyph>();
    // The advance, rounded up to whole pixels; double-width characters of
    // fixed-pitch faces advance exactly two cells.
    if (!mono) metricsAdvance = gm.horiAdvance;
    auto advance = [&](const FT_Matrix *mat, FT_Pos base) {
        FT_Vector adv{base, 0};
        bool fullWidth = false;
        FT_Fixed em = 0;
        if (!s.variablePitch) {
            em = FT_MulDiv(s.ppem, 1 << 16, ft->units_per_EM);
            const FT_Long avg = FT_MulFix(s.ntmAvgWidth, em);
            fullWidth = avg > 0 && (base + 63) >> 6 == FT_MulFix(s.ntmAvgWidth * 2, em);
            if (fullWidth && !mat) adv.x = avg * 2 * 64;
        }
        if (mat) {
            FT_Vector_Transform(&adv, mat);
            if (fullWidth && adv.y == 0) {
                FT_Vector v{s.ntmAvgWidth, 0};
                FT_Vector_Transform(&v, mat);
                adv.x = FT_MulFix(v.x, em) * 2 * 64;
            }
        }
        if (s.fakeBold) {
            if (!mat) {
                adv.x += 1 << 6;
            } else {
                FT_Vector v{1 << 6, 0};
                FT_Vector_Transform(&v, mat);
                const FT_Fixed len = FT_Vector_Length(&v);
                if (len) adv.x += v.x * 64 / len, adv.y += v.y * 64 / len;
            }
        }
        adv.x = (adv.x + 63) & -64;
        adv.y = -((adv.y + 63) & -64);
        return adv;
    };
    if (!matrix) {
        glyph->advanceX = int32_t(advance(nullptr, gm.horiAdvance).x >> 6);
        glyph->advanceY = 0;
        glyph->extent = int32_t(advance(nullptr, metricsAdvance).x >> 6);
        glyph->outlineAdvanceX = glyph->extent;
    } else {
        const FT_Vector adv = advance(&s.hori, gm.horiAdvance);
        glyph->advanceX = int32_t(adv.x >> 6);
        glyph->advanceY = int32_t(adv.y >> 6);
        FT_Vector un = advance(&s.unrotated, metricsAdvance);
        glyph->extent = int32_t(FT_Vector_Length(&un) >> 6);
        const FT_Vector outlineAdv = advance(&s.hori, metricsAdvance);
        glyph->outlineAdvanceX = int32_t(outlineAdv.x >> 6);
        glyph->outlineAdvanceY = int32_t(outlineAdv.y >> 6);
    }
    glyph->left = int32_t(box.xMin >> 6);
    glyph->top = int32_t(box.yMax >> 6);
    const int64_t w = (int64_t(box.xMax) - box.xMin) >> 6, h = (int64_t(box.yMax) - box.yMin) >> 6;
    if (w <= 0 || h <= 0 || w > kMaxGlyphExtent || h > kMaxGlyphExtent) {
        glyph->width = glyph->height = 0;  // empty (or beyond any device)
    } else {
        glyph->width = int32_t(w);
        glyph->height = int32_t(h);
        if (w * h <= kMaxKeptGlyphPixels) {
            glyph->levels.assign(size_t(w * h), 0);
            if (slot->format == FT_GLYPH_FORMAT_BITMAP && mono) {
                const FT_Bitmap &bm = slot->bitmap;
                const int64_t rows = std::min<int64_t>(h, bm.rows), cols = std::min<int64_t>(w, bm.width);
                for (int64_t y = 0; y < rows; ++y) {
                    const uint8_t *src = bm.buffer + y * bm.pitch;
                    for (int64_t x = 0; x < cols; ++x) {
                        bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (src[x >> 3] >> (7 - (x & 7))) & 1
                                                                       : src[x] >= 128;
                        if (s.fakeBold && !on && x > 0)
                            on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (src[(x - 1) >> 3] >> (7 - ((x - 1) & 7))) & 1
                                                                     : src[x - 1] >= 128;
                        if (on) glyph->levels[size_t(y * w + x)] = 16;
                    }
                }
            } else if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
                if (matrix) FT_Outline_Transform(&slot->outline, matrix);
                FT_Outline_Translate(&slot->outline, -box.xMin, -box.yMin);
                outlineLevels(slot->library, &slot->outline, w, h, mono, glyph->levels.data());
            }
        }
    }
    s.glyphBytes += glyph->levels.size() + sizeof(Glyph);
    if (s.glyphBytes > kMaxGlyphBytesPerFont) {
        s.glyphs.clear();
        s.glyphBytes = glyph->levels.size() + sizeof(Glyph);
    }
    s.glyphs[index] = glyph;
    return glyph;
}

void RealizedFont::renderPart(uint32_t index, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                              std::vector<uint8_t> &levels) const {
    levels.clear();
    if (x1 <= x0 || y1 <= y0) return;
    const int64_t w = int64_t(x1) - x0, h = int64_t(y1) - y0;
    if (w * h > (int64_t(1) << 26)) return;
    levels.assign(size_t(w * h), 0);
    std::lock_guard<std::recursive_mutex> lock(FontSystem::get().mutex);
    State &s = *s_;
    const bool mono = !smoothed_;
    FT_Int32 flags = FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH | FT_LOAD_NO_BITMAP |
                     (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(s.ft, index, flags) && FT_Load_Glyph(s.ft, index, flags | FT_LOAD_NO_HINTING)) return;
    FT_GlyphSlot slot = s.ft->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return;
    FT_Glyph_Metrics gm = slot->metrics;
    if (s.fakeBold && !FT_Outline_Embolden(&slot->outline, FT_MulDiv(s.ppem, 1 << 6, 24))) {
        FT_BBox cb;
        FT_Outline_Get_CBox(&slot->outline, &cb);
        gm.width = cb.xMax - cb.xMin;
        gm.height = cb.yMax - cb.yMin;
        gm.horiBearingX = cb.xMin;
        gm.horiBearingY = cb.yMax;
    }
    const FT_Pos top = std::min<FT_Pos>(gm.horiBearingY, FT_Pos(s.tmAscent) * 64);
    const FT_Pos bottom = std::max<FT_Pos>(gm.horiBearingY - gm.height, -(FT_Pos(s.tmDescent) * 64));
    gm.horiBearingY = top;
    gm.height = top - bottom;
    const FT_Matrix *matrix = s.transformed ? &s.hori : nullptr;
    const FT_BBox box = glyphBox(gm, matrix);
    if (matrix) FT_Outline_Transform(&slot->outline, matrix);
    // Window columns [x0, x1) and rows [y0, y1) of the box, rows counted
    // down from its top.
    FT_Outline_Translate(&slot->outline, -(box.xMin + (FT_Pos(x0) * 64)), -(box.yMax - (FT_Pos(y1) * 64)));
    outlineLevels(slot->library, &slot->outline, w, h, mono, levels.data());
}

void RealizedFont::shape(const char16_t *text, size_t n, bool indices, std::vector<Shaped> &out) const {
    out.clear();
    out.reserve(n);
    FontSystem &sys = FontSystem::get();
    std::lock_guard<std::recursive_mutex> lock(sys.mutex);
    const RealizedFontRef selfRef = shared_from_this();
    for (size_t i = 0; i < n; ++i) {
        Shaped sh;
        char32_t c = text[i];
        if (!indices && c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            // A surrogate pair draws one glyph; its second unit draws nothing.
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        }
        uint32_t index = indices ? uint32_t(c) : glyphIndex(c);
        const RealizedFont *font = this;
        // Characters the face lacks come from a face that has them, except
        // private-use ones, whose glyphs differ from face to face.
        if (!indices && index == 0 && c >= 0x20 && !(c >= 0xE000 && c <= 0xF8FF) && !s_->symbolMap) {
            auto fb = s_->fallbacks.find(c);
            if (fb == s_->fallbacks.end()) {
                std::pair<RealizedFontRef, uint32_t> entry{nullptr, 0};
                if (const FaceInfo *face = sys.fallbackFace(c, s_->face))
                    if (face != s_->face)
                        if (RealizedFontRef f = sys.realize(s_->request, face)) {
                            const uint32_t fi = f->glyphIndex(c);
                            if (fi) entry = {f, fi};
                        }
                if (s_->fallbacks.size() > 1024) s_->fallbacks.clear();
                fb = s_->fallbacks.emplace(c, entry).first;
            }
            if (fb->second.first) {
                sh.font = fb->second.first;
                index = fb->second.second;
                font = sh.font.get();
            }
        }
        std::shared_ptr<const Glyph> g = font->loadGlyph(index);
        if (!g) {
            // As the platform's text driver does: the glyph for 0, then space.
            const uint32_t retry[] = {indices ? 0u : font->glyphIndex(0), indices ? 0x20u : font->glyphIndex(0x20)};
            for (uint32_t r : retry)
                if ((g = font->loadGlyph(r))) {
                    index = r;
                    break;
                }
        }
        if (!sh.font) sh.font = selfRef;
        sh.glyph = std::move(g);
        sh.index = index;
        out.push_back(std::move(sh));
        if (!indices && c >= 0x10000) {
            out.push_back(Shaped{nullptr, out.back().font, 0});
            ++i;
        }
    }
}

bool RealizedFont::outline(uint32_t index, GlyphOutline &out) const {
    out = GlyphOutline();
    std::lock_guard<std::recursive_mutex> lock(FontSystem::get().mutex);
    State &s = *s_;
    const FT_Int32 flags = FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH | FT_LOAD_NO_BITMAP;
    if (FT_Load_Glyph(s.ft, index, flags) && FT_Load_Glyph(s.ft, index, flags | FT_LOAD_NO_HINTING)) return false;
    FT_GlyphSlot slot = s.ft->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    if (s.fakeBold) FT_Outline_Embolden(&slot->outline, FT_MulDiv(s.ppem, 1 << 6, 24));
    if (s.transformed) FT_Outline_Transform(&slot->outline, &s.hori);
    const FT_Outline &o = slot->outline;
    if (o.n_points <= 0) return false;
    for (short i = 0; i < o.n_points; ++i) {
        out.x.push_back(o.points[i].x);
        out.y.push_back(o.points[i].y);
        out.on.push_back((FT_CURVE_TAG(o.tags[i]) & FT_CURVE_TAG_ON) != 0);
    }
    for (short c = 0; c < o.n_contours; ++c) {
        const short end = o.contours[c];
        if (end < 0 || end >= o.n_points || (!out.ends.empty() && size_t(end) < out.ends.back())) return false;
        out.ends.push_back(size_t(end));
    }
    return true;
}

// ------------------------------------------------------------ public helpers

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

uint32_t charsetCodePage(uint8_t charset) {
    if (const CharsetInfo *c = charsetInfo(charset)) return c->codePage;
    switch (charset) {
    case OEM_CHARSET: return 437;
    case MAC_CHARSET: return 10000;
    default: return kAnsiCodePage;
    }
}

void decodeText(const uint8_t *bytes, size_t n, uint32_t codePage, std::u16string &out,
                std::vector<uint8_t> *units) {
    out.clear();
    if (units) units->clear();
    if (!bytes || !n) return;
    out.reserve(n);
    if (codePage == kCpSymbol) {
        for (size_t i = 0; i < n; ++i) {
            out.push_back(bytes[i] < 0x20 ? char16_t(bytes[i]) : char16_t(0xF000 + bytes[i]));
            if (units) units->push_back(1);
        }
        return;
    }
    if (codePage == kCpUtf8) {
        size_t i = 0;
        while (i < n) {
            const uint8_t b = bytes[i];
            int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
            char32_t c = 0xFFFD;
            if (len == 0 || i + size_t(len) > n) {
                len = 1;
            } else {
                c = len == 1 ? b : b & (0x7F >> len);
                for (int k = 1; k < len; ++k) {
                    if ((bytes[i + size_t(k)] & 0xC0) != 0x80) {
                        c = 0xFFFD;
                        len = k;
                        break;
                    }
                    c = (c << 6) | (bytes[i + size_t(k)] & 0x3F);
                }
            }
            push32(out, units, c, uint8_t(len));
            i += size_t(len);
        }
        return;
    }
    const ByteTable *table = byteTable(codePage);
    if (!isDbcs(codePage)) {
        for (size_t i = 0; i < n; ++i) {
            out.push_back(table->map[bytes[i]]);
            if (units) units->push_back(1);
        }
        return;
    }
    iconv_t cd = iconv_open("UTF-32LE", iconvName(codePage));
    for (size_t i = 0; i < n;) {
        const uint8_t b = bytes[i];
        if (!table->lead[b]) {
            out.push_back(table->map[b]);
            if (units) units->push_back(1);
            ++i;
            continue;
        }
        char32_t c = u'?';
        if (i + 1 < n && cd != iconv_t(-1)) {
            char32_t decoded;
            if (iconvChar(cd, bytes + i, 2, decoded) == 2) c = decoded;
        }
        if (i + 1 < n) {
            push32(out, units, c, 2);
            i += 2;
        } else {
            push32(out, units, c, 1);
            ++i;
        }
    }
    if (cd != iconv_t(-1)) iconv_close(cd);
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
