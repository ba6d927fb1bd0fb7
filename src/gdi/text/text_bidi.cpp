#include "gdi/text/text_bidi.h"

#include <cstddef>
#include <vector>

#include <fribidi.h>

namespace vellora::gdi {

namespace {

// FriBidi works on code points: a surrogate pair becomes one, so it moves
// as a whole. A lone surrogate stays a code point of its own.
void toCodePoints(const std::u16string &text, std::vector<FriBidiChar> &out) {
    out.clear();
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            out.push_back(0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u));
            ++i;
        } else {
            out.push_back(c);
        }
    }
}

void appendUtf16(std::u16string &out, FriBidiChar c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(char16_t(0xD800 + (c >> 10)));
        out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(char16_t(c));
    }
}

// Bidirectional classes and resolved levels of one line. A paragraph
// separator inside it counts as a segment separator: ExtTextOutW draws one
// line, all in the paragraph direction it is given, and FriBidi would take
// what follows the separator as a new left-to-right paragraph.
bool resolveLevels(const std::vector<FriBidiChar> &cp, bool rtl, std::vector<FriBidiCharType> &types,
                   std::vector<FriBidiLevel> &levels, FriBidiParType &dir) {
    const auto n = FriBidiStrIndex(cp.size());
    std::vector<FriBidiBracketType> brackets(cp.size());
    fribidi_get_bracket_types(cp.data(), n, types.data(), brackets.data());
    for (FriBidiCharType &t : types)
        if (t == FRIBIDI_TYPE_BS) t = FRIBIDI_TYPE_SS;
    levels.resize(cp.size());
    dir = rtl ? FRIBIDI_PAR_RTL : FRIBIDI_PAR_LTR;
    return fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &dir, levels.data()) != 0;
}

}  // namespace

void arabicShape(std::u16string &text) {
    bool any = false;
    for (char16_t c : text) any = any || (c >= 0x0600 && c <= 0x06FF);
    if (!any) return;
    std::vector<FriBidiChar> cp;
    toCodePoints(text, cp);
    const auto n = FriBidiStrIndex(cp.size());
    std::vector<FriBidiCharType> types(cp.size());
    std::vector<FriBidiArabicProp> props(cp.size());
    fribidi_get_bidi_types(cp.data(), n, types.data());
    fribidi_get_joining_types(cp.data(), n, props.data());
    // Letters join only within a run of one level. The paragraph direction
    // does not change the level of Arabic letters, so either will do.
    std::vector<FriBidiLevel> levels;
    FriBidiParType dir;
    if (!resolveLevels(cp, false, types, levels, dir)) return;
    fribidi_join_arabic(types.data(), n, levels.data(), props.data());
    // Presentation forms only: ligatures would make the text shorter.
    fribidi_shape_arabic(FRIBIDI_FLAG_SHAPE_ARAB_PRES, levels.data(), n, props.data(), cp.data());
    std::u16string out;
    out.reserve(text.size());
    for (FriBidiChar c : cp) appendUtf16(out, c);
    text.swap(out);
}

void bidiReorder(std::u16string &text, bool rtl) {
    if (text.empty()) return;
    if (!rtl) {
        // Left-to-right text without right-to-left characters, Arabic
        // numbers or embeddings stays as it is; found without allocating,
        // as most text is such.
        bool any = false;
        for (size_t i = 0; i < text.size() && !any; ++i) {
            char32_t c = text[i];
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
                c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u);
            const FriBidiCharType t = fribidi_get_bidi_type(c);
            any = FRIBIDI_IS_RTL(t) || FRIBIDI_IS_ARABIC(t) || FRIBIDI_IS_EXPLICIT(t) || FRIBIDI_IS_ISOLATE(t);
        }
        if (!any) return;
    }
    std::vector<FriBidiChar> cp;
    toCodePoints(text, cp);
    const auto n = FriBidiStrIndex(cp.size());
    std::vector<FriBidiCharType> types(cp.size());
    fribidi_get_bidi_types(cp.data(), n, types.data());
    std::vector<FriBidiLevel> levels;
    FriBidiParType dir;
    if (!resolveLevels(cp, rtl, types, levels, dir)) return;
    std::vector<FriBidiStrIndex> map(cp.size());
    for (FriBidiStrIndex i = 0; i < n; ++i) map[size_t(i)] = i;
    // Marks stay after their letters, so each is drawn over its own letter.
    if (!fribidi_reorder_line(FRIBIDI_FLAG_REORDER_NSM, types.data(), n, 0, dir, levels.data(), cp.data(), map.data()))
        return;
    std::u16string out;
    out.reserve(text.size());
    for (FriBidiStrIndex i = 0; i < n; ++i) {
        FriBidiChar c = cp[size_t(i)];
        if (FRIBIDI_LEVEL_IS_RTL(levels[size_t(map[size_t(i)])])) {
            FriBidiChar m;
            if (fribidi_get_mirror_char(c, &m)) c = m;
        }
        appendUtf16(out, c);
    }
    text.swap(out);
}

}  // namespace vellora::gdi
