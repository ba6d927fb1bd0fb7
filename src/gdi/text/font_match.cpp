// The font mapper: which installed face a LOGFONT gets (name, substitute,
// character set, pitch and family, weight and slant), and which face draws
// a character the chosen one lacks.
#include "gdi/text/font_system.h"


namespace vellora::gdi {

namespace {

const char *const kSansFallbacks[] = {"Arial", "Liberation Sans", "Bitstream Vera Sans"};
const char *const kSerifFallbacks[] = {"Times New Roman", "Liberation Serif", "Bitstream Vera Serif"};
const char *const kFixedFallbacks[] = {"Courier New", "Liberation Mono", "Bitstream Vera Sans Mono"};

}  // namespace

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

}  // namespace vellora::gdi
