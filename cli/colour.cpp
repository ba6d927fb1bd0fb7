#include "colour.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace vellora::cli {

namespace {

struct Named {
    const char *name;
    uint32_t rgb;
};

// The CSS basic colours, orange, and the grey spellings.
constexpr Named kNames[] = {
    {"black", 0x000000},  {"silver", 0xC0C0C0}, {"gray", 0x808080},    {"grey", 0x808080},
    {"white", 0xFFFFFF},  {"maroon", 0x800000}, {"red", 0xFF0000},     {"purple", 0x800080},
    {"fuchsia", 0xFF00FF}, {"magenta", 0xFF00FF}, {"green", 0x008000}, {"lime", 0x00FF00},
    {"olive", 0x808000},  {"yellow", 0xFFFF00}, {"navy", 0x000080},    {"blue", 0x0000FF},
    {"teal", 0x008080},   {"aqua", 0x00FFFF},   {"cyan", 0x00FFFF},    {"orange", 0xFFA500},
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

uint8_t clampByte(double v) {
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return uint8_t(std::lround(v));
}

// One number of rgb()/rgba(): a plain value scaled by `plainScale`, or a
// percentage of `full`.
bool parseComponent(const std::string &s, double plainScale, double full, uint8_t *out) {
    if (s.empty()) return false;
    const char *begin = s.c_str();
    char *end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(v)) return false;
    if (*end == '%' && end[1] == 0) {
        *out = clampByte(v / 100.0 * full);
        return true;
    }
    if (*end != 0) return false;
    *out = clampByte(v * plainScale);
    return true;
}

bool parseFunction(const std::string &t, Colour *out) {
    const bool hasAlpha = t.compare(0, 5, "rgba(") == 0;
    const size_t open = hasAlpha ? 5 : 4;
    if (!hasAlpha && t.compare(0, 4, "rgb(") != 0) return false;
    if (t.back() != ')') return false;
    std::vector<std::string> parts(1);
    for (size_t i = open; i + 1 < t.size(); ++i) {
        if (t[i] == ',')
            parts.emplace_back();
        else if (!std::isspace(static_cast<unsigned char>(t[i])))
            parts.back() += t[i];
    }
    if (parts.size() != (hasAlpha ? 4u : 3u)) return false;
    Colour c;
    c.a = 255;
    if (!parseComponent(parts[0], 1, 255, &c.r) || !parseComponent(parts[1], 1, 255, &c.g) ||
        !parseComponent(parts[2], 1, 255, &c.b))
        return false;
    if (hasAlpha && !parseComponent(parts[3], 255, 255, &c.a)) return false;
    *out = c;
    return true;
}

bool parseHex(const std::string &t, Colour *out) {
    const std::string h = t.substr(1);
    for (char ch : h)
        if (hexDigit(ch) < 0) return false;
    Colour c;
    c.a = 255;
    uint8_t *dst[4] = {&c.r, &c.g, &c.b, &c.a};
    if (h.size() == 3 || h.size() == 4) {
        for (size_t i = 0; i < h.size(); ++i) *dst[i] = uint8_t(hexDigit(h[i]) * 17);
    } else if (h.size() == 6 || h.size() == 8) {
        for (size_t i = 0; i < h.size() / 2; ++i)
            *dst[i] = uint8_t(hexDigit(h[2 * i]) * 16 + hexDigit(h[2 * i + 1]));
    } else {
        return false;
    }
    *out = c;
    return true;
}

}  // namespace

bool parseColour(const std::string &text, Colour *out) {
    std::string t;
    for (char ch : text) t += char(std::tolower(static_cast<unsigned char>(ch)));
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.erase(0, 1);
    if (t.empty()) return false;
    if (t == "transparent" || t == "none") {
        *out = Colour{};
        return true;
    }
    if (t[0] == '#') return parseHex(t, out);
    if (t.compare(0, 3, "rgb") == 0) return parseFunction(t, out);
    for (const Named &n : kNames) {
        if (t == n.name) {
            *out = Colour{uint8_t(n.rgb >> 16), uint8_t(n.rgb >> 8), uint8_t(n.rgb), 255};
            return true;
        }
    }
    return false;
}

}  // namespace vellora::cli
