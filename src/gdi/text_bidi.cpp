#include "gdi/text_bidi.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vellora::gdi {

namespace {

enum Bidi : uint8_t { L, R, AL, EN, AN, ES, ET, CS, NSM, BN, B, S, WS, ON };

struct Range {
    char32_t first, last;
    Bidi type;
};

// The bidirectional classes of the characters text in metafiles uses; what
// is not listed is L. Ranges are sorted and do not overlap.
const Range kRanges[] = {
    {0x0000, 0x0008, BN}, {0x0009, 0x0009, S},   {0x000A, 0x000A, B},   {0x000B, 0x000B, S},
    {0x000C, 0x000C, WS}, {0x000D, 0x000D, B},   {0x000E, 0x001B, BN},  {0x001C, 0x001E, B},
    {0x001F, 0x001F, S},  {0x0020, 0x0020, WS},  {0x0021, 0x0022, ON},  {0x0023, 0x0025, ET},
    {0x0026, 0x002A, ON}, {0x002B, 0x002B, ES},  {0x002C, 0x002C, CS},  {0x002D, 0x002D, ES},
    {0x002E, 0x002F, CS}, {0x0030, 0x0039, EN},  {0x003A, 0x003A, CS},  {0x003B, 0x0040, ON},
    {0x005B, 0x0060, ON}, {0x007B, 0x007E, ON},  {0x007F, 0x0084, BN},  {0x0085, 0x0085, B},
    {0x0086, 0x009F, BN}, {0x00A0, 0x00A0, CS},  {0x00A1, 0x00A1, ON},  {0x00A2, 0x00A5, ET},
    {0x00A6, 0x00A9, ON}, {0x00AB, 0x00AC, ON},  {0x00AD, 0x00AD, BN},  {0x00AE, 0x00AF, ON},
    {0x00B0, 0x00B1, ET}, {0x00B2, 0x00B3, EN},  {0x00B4, 0x00B4, ON},  {0x00B6, 0x00B8, ON},
    {0x00B9, 0x00B9, EN}, {0x00BB, 0x00BF, ON},  {0x00D7, 0x00D7, ON},  {0x00F7, 0x00F7, ON},
    {0x0300, 0x036F, NSM}, {0x0591, 0x05BD, NSM}, {0x05BE, 0x05BE, R},  {0x05BF, 0x05BF, NSM},
    {0x05C0, 0x05C0, R},  {0x05C1, 0x05C2, NSM}, {0x05C3, 0x05C3, R},   {0x05C4, 0x05C5, NSM},
    {0x05C6, 0x05C6, R},  {0x05C7, 0x05C7, NSM}, {0x05C8, 0x05FF, R},   {0x0600, 0x0605, AN},
    {0x0606, 0x0607, ON}, {0x0608, 0x0608, AL},  {0x0609, 0x060A, ET},  {0x060B, 0x060B, AL},
    {0x060C, 0x060C, CS}, {0x060D, 0x060D, AL},  {0x060E, 0x060F, ON},  {0x0610, 0x061A, NSM},
    {0x061B, 0x064A, AL}, {0x064B, 0x065F, NSM}, {0x0660, 0x0669, AN},  {0x066A, 0x066A, ET},
    {0x066B, 0x066C, AN}, {0x066D, 0x066F, AL},  {0x0670, 0x0670, NSM}, {0x0671, 0x06D5, AL},
    {0x06D6, 0x06DC, NSM}, {0x06DD, 0x06DD, AN}, {0x06DE, 0x06DE, ON},  {0x06DF, 0x06E4, NSM},
    {0x06E5, 0x06E6, AL}, {0x06E7, 0x06E8, NSM}, {0x06E9, 0x06E9, ON},  {0x06EA, 0x06ED, NSM},
    {0x06EE, 0x06EF, AL}, {0x06F0, 0x06F9, EN},  {0x06FA, 0x070D, AL},  {0x070F, 0x070F, AL},
    {0x0710, 0x07BF, AL}, {0x07C0, 0x085F, R},   {0x0860, 0x08FF, AL},  {0x1680, 0x1680, WS},
    {0x2000, 0x200A, WS}, {0x200B, 0x200D, BN},  {0x200E, 0x200E, L},   {0x200F, 0x200F, R},
    {0x2010, 0x2027, ON}, {0x2028, 0x2028, WS},  {0x2029, 0x2029, B},   {0x202A, 0x202E, BN},
    {0x202F, 0x202F, CS}, {0x2030, 0x2034, ET},  {0x2035, 0x2043, ON},  {0x2044, 0x2044, CS},
    {0x2045, 0x205E, ON}, {0x205F, 0x205F, WS},  {0x2060, 0x206F, BN},  {0x2070, 0x2070, EN},
    {0x2074, 0x2079, EN}, {0x207A, 0x207B, ES},  {0x207C, 0x207E, ON},  {0x2080, 0x2089, EN},
    {0x208A, 0x208B, ES}, {0x208C, 0x208E, ON},  {0x20A0, 0x20CF, ET},  {0x2100, 0x2101, ON},
    {0x2103, 0x2106, ON}, {0x2108, 0x2109, ON},  {0x2116, 0x2118, ON},  {0x211E, 0x2123, ON},
    {0x2125, 0x2125, ON}, {0x2127, 0x2127, ON},  {0x2129, 0x2129, ON},  {0x212E, 0x212E, ET},
    {0x2140, 0x2144, ON}, {0x214A, 0x214D, ON},  {0x2150, 0x215F, ON},  {0x2189, 0x2189, ON},
    {0x2190, 0x2211, ON}, {0x2212, 0x2212, ES},  {0x2213, 0x2213, ET},  {0x2214, 0x2335, ON},
    {0x237B, 0x2394, ON}, {0x2396, 0x2426, ON},  {0x2440, 0x244A, ON},  {0x2460, 0x2487, ON},
    {0x2488, 0x249B, EN}, {0x24EA, 0x26AB, ON},  {0x26AD, 0x27FF, ON},  {0x2900, 0x2B73, ON},
    {0x3000, 0x3000, WS}, {0x3001, 0x3004, ON},  {0x3008, 0x3020, ON},  {0xFB1D, 0xFB1D, R},
    {0xFB1E, 0xFB1E, NSM}, {0xFB1F, 0xFB28, R},  {0xFB29, 0xFB29, ES},  {0xFB2A, 0xFB4F, R},
    {0xFB50, 0xFD3D, AL}, {0xFD3E, 0xFD3F, ON},  {0xFD40, 0xFDFF, AL},  {0xFE00, 0xFE0F, NSM},
    {0xFE10, 0xFE19, ON}, {0xFE20, 0xFE2F, NSM}, {0xFE30, 0xFE4F, ON},  {0xFE50, 0xFE50, CS},
    {0xFE51, 0xFE51, ON}, {0xFE52, 0xFE52, CS},  {0xFE54, 0xFE54, ON},  {0xFE55, 0xFE55, CS},
    {0xFE56, 0xFE5E, ON}, {0xFE5F, 0xFE5F, ET},  {0xFE60, 0xFE61, ON},  {0xFE62, 0xFE63, ES},
    {0xFE64, 0xFE68, ON}, {0xFE69, 0xFE6A, ET},  {0xFE6B, 0xFE6B, ON},  {0xFE70, 0xFEFE, AL},
    {0xFEFF, 0xFEFF, BN}, {0xFF01, 0xFF02, ON},  {0xFF03, 0xFF05, ET},  {0xFF06, 0xFF0A, ON},
    {0xFF0B, 0xFF0B, ES}, {0xFF0C, 0xFF0C, CS},  {0xFF0D, 0xFF0D, ES},  {0xFF0E, 0xFF0F, CS},
    {0xFF10, 0xFF19, EN}, {0xFF1A, 0xFF1A, CS},  {0xFF1B, 0xFF20, ON},  {0xFF3B, 0xFF40, ON},
    {0xFF5B, 0xFF65, ON}, {0xFFE0, 0xFFE1, ET},  {0xFFE2, 0xFFE4, ON},  {0xFFE5, 0xFFE6, ET},
    {0xFFE8, 0xFFEE, ON}, {0x10800, 0x10FFF, R}, {0x1E800, 0x1EFFF, R},
};

Bidi bidiClass(char32_t c) {
    size_t lo = 0, hi = sizeof kRanges / sizeof kRanges[0];
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (c < kRanges[mid].first) hi = mid;
        else if (c > kRanges[mid].last) lo = mid + 1;
        else return kRanges[mid].type;
    }
    return L;
}

// Mirrored forms of paired punctuation, drawn for right-to-left runs.
char16_t mirror(char16_t c) {
    static const char16_t pairs[][2] = {
        {u'(', u')'}, {u'<', u'>'}, {u'[', u']'}, {u'{', u'}'}, {u'\u00AB', u'\u00BB'},
        {u'\u2039', u'\u203A'}, {u'\u2045', u'\u2046'}, {u'\u207D', u'\u207E'}, {u'\u208D', u'\u208E'},
        {u'\u2264', u'\u2265'}, {u'\u2208', u'\u220B'}, {u'\u3008', u'\u3009'}, {u'\u300A', u'\u300B'},
        {u'\u300C', u'\u300D'}, {u'\u300E', u'\u300F'}, {u'\u3010', u'\u3011'},
    };
    for (const auto &p : pairs) {
        if (c == p[0]) return p[1];
        if (c == p[1]) return p[0];
    }
    return c;
}

bool isNeutral(Bidi t) { return t == B || t == S || t == WS || t == ON || t == BN; }

// Joining of the Arabic letters U+0621-U+064A: 'D' joins on both sides,
// 'R' only to the letter before it, 'U' not at all, 'C' (tatweel) joins
// without a shape of its own; and the first presentation form (isolated;
// final, initial and medial follow it).
struct Joining {
    char type;
    char16_t isolated;
};
const Joining kArabic[] = {
    {'U', 0xFE80}, {'R', 0xFE81}, {'R', 0xFE83}, {'R', 0xFE85}, {'R', 0xFE87}, {'D', 0xFE89},  // 0621-0626
    {'R', 0xFE8D}, {'D', 0xFE8F}, {'R', 0xFE93}, {'D', 0xFE95}, {'D', 0xFE99}, {'D', 0xFE9D},  // 0627-062C
    {'D', 0xFEA1}, {'D', 0xFEA5}, {'R', 0xFEA9}, {'R', 0xFEAB}, {'R', 0xFEAD}, {'R', 0xFEAF},  // 062D-0632
    {'D', 0xFEB1}, {'D', 0xFEB5}, {'D', 0xFEB9}, {'D', 0xFEBD}, {'D', 0xFEC1}, {'D', 0xFEC5},  // 0633-0638
    {'D', 0xFEC9}, {'D', 0xFECD}, {'U', 0},      {'U', 0},      {'U', 0},      {'U', 0},       // 0639-063E
    {'U', 0},      {'C', 0},      {'D', 0xFED1}, {'D', 0xFED5}, {'D', 0xFED9}, {'D', 0xFEDD},  // 063F-0644
    {'D', 0xFEE1}, {'D', 0xFEE5}, {'D', 0xFEE9}, {'R', 0xFEED}, {'R', 0xFEEF}, {'D', 0xFEF1},  // 0645-064A
};

char joiningType(char16_t c) {
    if (c >= 0x0621 && c <= 0x064A) return kArabic[c - 0x0621].type;
    if ((c >= 0x064B && c <= 0x065F) || c == 0x0670) return 'T';  // marks: transparent
    return 'U';
}

}  // namespace

void arabicShape(std::u16string &text) {
    bool any = false;
    for (char16_t c : text) any = any || (c >= 0x0621 && c <= 0x064A);
    if (!any) return;
    const std::u16string in = text;
    const size_t n = in.size();
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (c < 0x0621 || c > 0x064A) continue;
        const Joining &j = kArabic[c - 0x0621];
        if (!j.isolated || j.type == 'U') {
            if (j.isolated) text[i] = j.isolated;
            continue;
        }
        // Neighbours, skipping the marks between.
        size_t p = i, q = i + 1;
        while (p > 0 && joiningType(in[p - 1]) == 'T') --p;
        while (q < n && joiningType(in[q]) == 'T') ++q;
        const char before = p > 0 ? joiningType(in[p - 1]) : 'U';
        const char after = q < n ? joiningType(in[q]) : 'U';
        const bool joinsBefore = before == 'D' || before == 'C';
        const bool joinsAfter = j.type == 'D' && (after == 'D' || after == 'R' || after == 'C');
        int form = 0;  // isolated, final, initial, medial
        if (joinsBefore && joinsAfter) form = 3;
        else if (joinsBefore) form = 1;
        else if (joinsAfter) form = 2;
        text[i] = char16_t(j.isolated + form);
    }
}

namespace {

// The code point at text[i]; `len` is 2 for a surrogate pair, kept whole.
char32_t codePointAt(const std::u16string &text, size_t i, size_t &len) {
    const char32_t c = text[i];
    len = 1;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
        len = 2;
        return 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
    }
    return c;
}

}  // namespace

void bidiReorder(std::u16string &text, bool rtl) {
    // Units: a character, or a surrogate pair kept whole.
    struct Unit {
        size_t at, len;
        Bidi type;
        int level;
    };
    if (!rtl) {
        // Left-to-right text without right-to-left characters stays as it is.
        bool any = false;
        for (size_t i = 0, len = 0; i < text.size() && !any; i += len) {
            const Bidi t = bidiClass(codePointAt(text, i, len));
            any = t == R || t == AL || t == AN;
        }
        if (!any) return;
    }
    std::vector<Unit> u;
    for (size_t i = 0, len = 0; i < text.size(); i += len) {
        const Bidi t = bidiClass(codePointAt(text, i, len));
        u.push_back({i, len, t, 0});
    }
    if (u.empty()) return;
    const int para = rtl ? 1 : 0;
    const Bidi sos = rtl ? R : L;
    const size_t n = u.size();
    std::vector<Bidi> t(n);
    for (size_t i = 0; i < n; ++i) t[i] = u[i].type;

    // W1: non-spacing marks take the class of what they follow.
    for (size_t i = 0; i < n; ++i)
        if (t[i] == NSM) t[i] = i ? t[i - 1] : sos;
    // W2: European numbers after Arabic letters are Arabic numbers.
    Bidi strong = sos;
    for (size_t i = 0; i < n; ++i) {
        if (t[i] == L || t[i] == R || t[i] == AL) strong = t[i];
        else if (t[i] == EN && strong == AL) t[i] = AN;
    }
    // W3.
    for (Bidi &x : t)
        if (x == AL) x = R;
    // W4: a single separator between two numbers of a kind joins them.
    for (size_t i = 1; i + 1 < n; ++i) {
        if (t[i] == ES && t[i - 1] == EN && t[i + 1] == EN) t[i] = EN;
        else if (t[i] == CS && t[i - 1] == EN && t[i + 1] == EN) t[i] = EN;
        else if (t[i] == CS && t[i - 1] == AN && t[i + 1] == AN) t[i] = AN;
    }
    // W5: terminators next to European numbers become numbers.
    for (size_t i = 0; i < n; ++i) {
        if (t[i] != ET) continue;
        size_t j = i;
        while (j < n && t[j] == ET) ++j;
        const bool touches = (i > 0 && t[i - 1] == EN) || (j < n && t[j] == EN);
        for (size_t k = i; k < j; ++k) t[k] = touches ? EN : ON;
        i = j;
    }
    // W6.
    for (Bidi &x : t)
        if (x == ES || x == ET || x == CS) x = ON;
    // W7: European numbers after left-to-right text are left-to-right.
    strong = sos;
    for (size_t i = 0; i < n; ++i) {
        if (t[i] == L || t[i] == R) strong = t[i];
        else if (t[i] == EN && strong == L) t[i] = L;
    }
    // N0: paired brackets take the direction of what they enclose, or of
    // the text before them when that agrees.
    {
        auto opening = [](char16_t c) { return c == u'(' || c == u'[' || c == u'{'; };
        auto closing = [](char16_t c) -> char16_t {
            return c == u')' ? u'(' : c == u']' ? u'[' : c == u'}' ? u'{' : 0;
        };
        auto dir = [](Bidi x) { return x == L ? L : (x == R || x == EN || x == AN) ? R : ON; };
        std::vector<std::pair<size_t, size_t>> pairs;
        std::vector<size_t> stack;
        for (size_t i = 0; i < n; ++i) {
            if (u[i].len != 1 || t[i] != ON) continue;
            const char16_t c = text[u[i].at];
            if (opening(c)) {
                if (stack.size() >= 63) break;
                stack.push_back(i);
            } else if (const char16_t open = closing(c)) {
                for (size_t k = stack.size(); k-- > 0;)
                    if (text[u[stack[k]].at] == open) {
                        pairs.emplace_back(stack[k], i);
                        stack.resize(k);
                        break;
                    }
            }
        }
        std::sort(pairs.begin(), pairs.end());
        const Bidi e = sos;
        for (const auto &pr : pairs) {
            bool sameAsE = false, opposite = false;
            for (size_t k = pr.first + 1; k < pr.second; ++k) {
                const Bidi d = dir(t[k]);
                if (d == e) sameAsE = true;
                else if (d != ON) opposite = true;
            }
            Bidi set = ON;
            if (sameAsE) {
                set = e;
            } else if (opposite) {
                Bidi before = sos;
                for (size_t k = pr.first; k-- > 0;)
                    if (dir(t[k]) != ON) {
                        before = dir(t[k]);
                        break;
                    }
                set = before != e ? before : e;
            }
            if (set != ON) t[pr.first] = t[pr.second] = set;
        }
    }
    // N1, N2: runs of neutrals between text of one direction take it
    // (numbers count as right-to-left), others the paragraph's.
    for (size_t i = 0; i < n; ++i) {
        if (!isNeutral(t[i])) continue;
        size_t j = i;
        while (j < n && isNeutral(t[j])) ++j;
        auto dir = [](Bidi x) { return x == L ? L : R; };
        const Bidi before = i ? dir(t[i - 1]) : sos, after = j < n ? dir(t[j]) : sos;
        const Bidi fill = before == after ? before : sos;
        for (size_t k = i; k < j; ++k) t[k] = fill;
        i = j;
    }
    // I1, I2: levels.
    int maxLevel = para;
    for (size_t i = 0; i < n; ++i) {
        int level = para;
        if (para == 0) level = t[i] == R ? 1 : (t[i] == AN || t[i] == EN) ? 2 : 0;
        else level = (t[i] == L || t[i] == EN || t[i] == AN) ? 2 : 1;
        u[i].level = level;
        maxLevel = std::max(maxLevel, level);
    }
    // L1: separators, and whitespace before them or at the end, go back to
    // the paragraph's level.
    bool trailing = true;
    for (size_t i = n; i-- > 0;) {
        const Bidi orig = u[i].type;
        if (orig == S || orig == B) {
            u[i].level = para;
            trailing = true;
        } else if (orig == WS || orig == BN) {
            if (trailing) u[i].level = para;
        } else {
            trailing = false;
        }
    }
    // L2: reverse every run at each level from the highest down to the
    // lowest odd one.
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = i;
    int lowestOdd = maxLevel + 1;
    for (const Unit &x : u) lowestOdd = std::min(lowestOdd, x.level | 1);
    for (int level = maxLevel; level >= lowestOdd; --level)
        for (size_t i = 0; i < n; ++i) {
            if (u[order[i]].level < level) continue;
            size_t j = i;
            while (j < n && u[order[j]].level >= level) ++j;
            std::reverse(order.begin() + std::ptrdiff_t(i), order.begin() + std::ptrdiff_t(j));
            i = j;
        }
    std::u16string out;
    out.reserve(text.size());
    for (size_t k : order) {
        const Unit &x = u[k];
        if (x.len == 1) out.push_back((x.level & 1) ? mirror(text[x.at]) : text[x.at]);
        else out.append(text, x.at, x.len);
    }
    text.swap(out);
}

}  // namespace vellora::gdi
