// Code pages: which one a character set means, and 8-bit text decoded as
// MultiByteToWideChar decodes it.
#include "gdi/text/font_system.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace vellora::gdi {

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace vellora::gdi
