// The command's PNG writer: what it writes decodes to the converted pixels,
// whatever the shape of the picture, the level and the row filters chosen.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli_support.h"
#include "output.h"

using namespace vellora::cli;

namespace {

// Premultiplied BGRA with every alpha and colour level, runs and noise, so
// that rows pick different filters and deflate sees both long matches and
// literals.
std::vector<uint8_t> picture(int w, int h) {
    std::vector<uint8_t> px(size_t(w) * h * 4);
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t *p = &px[(size_t(y) * w + x) * 4];
            seed = seed * 1664525u + 1013904223u;
            const bool flat = (x / 7 + y / 5) % 3 != 0;
            const uint8_t a = flat ? uint8_t(y * 255 / (h > 1 ? h - 1 : 1)) : uint8_t(seed >> 24);
            p[3] = a;
            p[0] = flat ? uint8_t(a / 2) : uint8_t((seed >> 8) % (a + 1u));
            p[1] = flat ? a : uint8_t((seed >> 16) % (a + 1u));
            p[2] = uint8_t(x * a / (w > 1 ? w - 1 : 1));
        }
    return px;
}

// A drawing: transparency, flat opaque and translucent shapes, and runs of
// identical rows, so that rows go unfiltered, as Up, or through libpng's rule.
std::vector<uint8_t> drawing(int w, int h) {
    std::vector<uint8_t> px(size_t(w) * h * 4, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t *p = &px[(size_t(y) * w + x) * 4];
            if ((y / 9) % 4 == 1 && x > w / 5) {
                p[0] = 200, p[1] = 30, p[2] = 90, p[3] = 255;
            } else if ((y / 9) % 4 == 2 && x < w / 2) {
                p[0] = 40, p[1] = 0, p[2] = 60, p[3] = 128;
            } else if ((y / 9) % 4 == 3 && (x + y) % 3 == 0) {
                p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(x ^ y), p[3] = 255;
            }
        }
    return px;
}

std::string encode(const std::vector<uint8_t> &px, int w, int h, const Colour &bg, int level,
                   std::string *error = nullptr, bool adaptive = false) {
    std::FILE *f = std::tmpfile();
    EXPECT_NE(f, nullptr);
    if (!f) return {};
    PngSettings s;
    s.zlibLevel = level;
    s.adaptiveFilters = adaptive;
    const std::string reason = encodePng(f, px.data(), w, h, size_t(w) * 4, bg, s);
    if (error) *error = reason;
    EXPECT_EQ(reason, "");
    std::string bytes;
    std::rewind(f);
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    std::fclose(f);
    return bytes;
}

// What the file must hold for each pixel, from the straight-alpha rules.
void expectPixels(const clitest::Image &img, const std::vector<uint8_t> &px, int w, int h,
                  const Colour &bg) {
    ASSERT_EQ(img.width, w);
    ASSERT_EQ(img.height, h);
    EXPECT_EQ(img.hasAlpha, bg.a != 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t *s = &px[(size_t(y) * w + x) * 4];
            const uint8_t *d = img.at(x, y);
            if (bg.a == 0) {
                ASSERT_EQ(d[0], unpremultiply(s[2], s[3])) << x << "," << y;
                ASSERT_EQ(d[1], unpremultiply(s[1], s[3])) << x << "," << y;
                ASSERT_EQ(d[2], unpremultiply(s[0], s[3])) << x << "," << y;
                ASSERT_EQ(d[3], s[3]) << x << "," << y;
            } else {
                const unsigned rest = 255u - s[3];
                ASSERT_EQ(d[0], std::min(255u, (s[2] * 255u + bg.r * rest + 127) / 255)) << x << "," << y;
                ASSERT_EQ(d[2], std::min(255u, (s[0] * 255u + bg.b * rest + 127) / 255)) << x << "," << y;
                ASSERT_EQ(d[3], 255);
            }
        }
}

}  // namespace

TEST(Png, DecodesToTheConvertedPixels) {
    const Colour transparent{0, 0, 0, 0}, white{255, 255, 255, 255};
    // One row, one column (where libpng drops the filters that need a
    // neighbour), a few hundred rows, and rows wider than the deflate window.
    const struct {
        int w, h;
    } shapes[] = {{1, 1}, {1, 700}, {700, 1}, {333, 500}, {9000, 20}, {70000, 3}};
    for (const auto &shape : shapes) {
        SCOPED_TRACE(std::to_string(shape.w) + " x " + std::to_string(shape.h));
        for (const auto &px : {picture(shape.w, shape.h), drawing(shape.w, shape.h)})
            for (const Colour &bg : {transparent, white})
                for (bool adaptive : {false, true}) {
                    clitest::Image img;
                    ASSERT_TRUE(clitest::readPngBytes(
                        encode(px, shape.w, shape.h, bg, 6, nullptr, adaptive), &img));
                    expectPixels(img, px, shape.w, shape.h, bg);
                }
    }
}

TEST(Png, EveryLevelGivesTheSamePixels) {
    const int w = 640, h = 900;
    const std::vector<uint8_t> px = picture(w, h);
    const Colour bg{0, 0, 0, 0};
    size_t stored = 0, smallest = SIZE_MAX;
    for (int level : {0, 1, 6, 9}) {
        SCOPED_TRACE(level);
        const std::string bytes = encode(px, w, h, bg, level);
        clitest::Image img;
        ASSERT_TRUE(clitest::readPngBytes(bytes, &img));
        expectPixels(img, px, w, h, bg);
        if (level == 0) stored = bytes.size();
        smallest = std::min(smallest, bytes.size());
    }
    // Level 0 stores the rows: the filter byte and four bytes a pixel, and little else.
    EXPECT_GE(stored, size_t(h) * (1 + 4 * w));
    EXPECT_LT(smallest, stored / 2);
}

TEST(Png, AFailedWriteIsReported) {
    std::FILE *f = std::fopen("/dev/full", "wb");
    if (!f) GTEST_SKIP() << "no /dev/full";
    std::setvbuf(f, nullptr, _IONBF, 0);
    const std::vector<uint8_t> px = picture(64, 64);
    const std::string reason = encodePng(f, px.data(), 64, 64, 256, Colour{}, PngSettings{});
    std::fclose(f);
    EXPECT_NE(reason.find("cannot write the PNG: no space left on device"), std::string::npos)
        << reason;
}
