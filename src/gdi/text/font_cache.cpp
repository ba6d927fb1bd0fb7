// The installed faces, read once (font_scan.h, else FreeType) from what
// fontconfig lists and the extra directories, the font files' bytes, and
// the bounded cache of realized fonts.
#include "gdi/text/font_system.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace vellora::gdi {

namespace {

// Where outline versions of the Windows system faces (Symbol, Wingdings,
// Tahoma, System, MS Sans Serif) are installed outside fontconfig's index;
// the build names the directory (VELLORA_SYSTEM_FACES_DIR).
const char *const kExtraFontDirs[] = {VELLORA_SYSTEM_FACES_DIR};

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

}  // namespace

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

}  // namespace

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

std::shared_ptr<const std::vector<uint8_t>> FontSystem::fileData(const std::string &path) {
    auto &slot = files[path];
    if (!slot) {
        auto data = std::make_shared<std::vector<uint8_t>>();
        if (!readFile(path, *data)) data->clear();
        slot = data;
    }
    return slot;
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

}  // namespace vellora::gdi
