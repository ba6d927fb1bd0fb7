#include "platform/native/text_path.h"

#include <langinfo.h>

#include <cstring>
#include <cwchar>

namespace vellora::native {

namespace {

// The C locale has no notion of bytes above 127; Linux file names are UTF-8
// by convention, so that is what they mean there.
bool localeIsUtf8() {
    const char *cs = nl_langinfo(CODESET);
    return !cs || std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "ANSI_X3.4-1968") == 0 ||
           std::strcmp(cs, "ASCII") == 0;
}

// Decodes one UTF-8 sequence; false on malformed input.
bool decodeUtf8(const unsigned char *s, size_t n, size_t *i, char32_t *cp) {
    const unsigned char c = s[*i];
    int len;
    char32_t v;
    if (c < 0x80) { *cp = c; *i += 1; return true; }
    if (c >= 0xC2 && c < 0xE0) len = 2, v = c & 0x1F;
    else if (c >= 0xE0 && c < 0xF0) len = 3, v = c & 0x0F;
    else if (c >= 0xF0 && c < 0xF5) len = 4, v = c & 0x07;
    else return false;
    if (*i + len > n) return false;
    for (int k = 1; k < len; ++k) {
        const unsigned char cc = s[*i + k];
        if ((cc & 0xC0) != 0x80) return false;
        v = v << 6 | (cc & 0x3F);
    }
    if ((len == 3 && v < 0x800) || (len == 4 && (v < 0x10000 || v > 0x10FFFF)) ||
        (v >= 0xD800 && v <= 0xDFFF))
        return false;
    *cp = v;
    *i += len;
    return true;
}

bool put(char32_t cp, WCHAR *out, size_t cap, size_t *o) {
    if (cp >= 0x10000) {
        if (*o + 2 > cap) return false;
        cp -= 0x10000;
        out[(*o)++] = WCHAR(0xD800 + (cp >> 10));
        out[(*o)++] = WCHAR(0xDC00 + (cp & 0x3FF));
        return true;
    }
    if (*o + 1 > cap) return false;
    out[(*o)++] = WCHAR(cp);
    return true;
}

void appendUtf8(char32_t cp, std::string *out) {
    if (cp < 0x80) {
        out->push_back(char(cp));
    } else if (cp < 0x800) {
        out->push_back(char(0xC0 | cp >> 6));
        out->push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(char(0xE0 | cp >> 12));
        out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(char(0xF0 | cp >> 18));
        out->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(char(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

bool widenLocalePath(const char *path, size_t n, WCHAR *out) {
    const size_t cap = n;  // room for n units plus the terminator
    size_t o = 0;
    const auto *s = reinterpret_cast<const unsigned char *>(path);
    if (localeIsUtf8()) {
        for (size_t i = 0; i < n;) {
            char32_t cp;
            if (!decodeUtf8(s, n, &i, &cp) || !put(cp, out, cap, &o)) return false;
        }
    } else {
        std::mbstate_t st{};
        for (size_t i = 0; i < n;) {
            wchar_t wc;
            const size_t r = std::mbrtowc(&wc, path + i, n - i, &st);
            if (r == 0 || r == size_t(-1) || r == size_t(-2)) return false;
            if (!put(char32_t(wc), out, cap, &o)) return false;
            i += r;
        }
    }
    out[o] = 0;
    return true;
}

bool narrowPath(const WCHAR *path, std::string *out) {
    out->clear();
    const bool utf8 = localeIsUtf8();
    std::mbstate_t st{};
    for (size_t i = 0; path[i]; ++i) {
        char32_t cp = path[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            const char32_t lo = path[i + 1];
            if (lo < 0xDC00 || lo > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
        if (utf8) {
            appendUtf8(cp, out);
        } else {
            char buf[16];
            const size_t r = std::wcrtomb(buf, wchar_t(cp), &st);
            if (r == size_t(-1)) return false;
            out->append(buf, r);
        }
        if (out->size() > 65536) return false;
    }
    return true;
}

}  // namespace vellora::native
