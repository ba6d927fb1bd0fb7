// Text feature pictures against the platform's own: each feature below is a
// small metafile, and tests/player/data/text/NAME.png is what the platform's
// playback (PlayEnhMetaFile, through Vellora.dll's reference tool under Wine
// with the fonts of tools/wine-prefix-fonts) paints for it at 128 x 96:
// painted pixels opaque in their colour, the others transparent.
//
// To make the pictures again:
//   VELLORA_WRITE_TEXT_FEATURES=DIR build/tests/player/vellora_player_tests
//       --gtest_filter='TextReference.*'
//   tools/wine-references DIR --size 128x96
// and copy DIR/*.png here. A mismatch writes expected | mask | actual into
// the test's temporary directory.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <string>

#include "canvas.h"
#include "player/player.h"
#include "text_records.h"

using namespace ttest;
using ptest::Canvas;
using vtest::EmfWriter;

namespace {

constexpr int kW = 128, kH = 96;
// Share of the pixels either side inked that must agree, in every case (all
// agree wholly today).
constexpr double kMinInkedShare = 0.99;
const uint32_t kInk = vtest::rgb(0, 0, 128);

std::string dataDir() {
    std::string f = __FILE__;
    return f.substr(0, f.find_last_of('/')) + "/data/text/";
}

EmfWriter writer(const FontSpec &f) {
    EmfWriter e = ptest::pixelWriter(kW, kH);
    createFont(e, 1, f);
    e.select(1);
    e.record(kTypeSetBkMode, {1});
    e.record(kTypeSetTextColor, {int32_t(kInk)});
    return e;
}

TextSpec at(int32_t x, int32_t y) {
    TextSpec t;
    t.x = x, t.y = y;
    return t;
}

FontSpec font(std::u16string face = u"Arial", int32_t height = -16) {
    FontSpec f;
    f.face = std::move(face);
    f.height = height;
    return f;
}

struct Case {
    const char *name;
    FontSpec font;
    std::function<void(EmfWriter &)> draw;
};

void rotate(EmfWriter &e, double degrees, float dx, float dy) {
    const float c = float(std::cos(degrees * M_PI / 180)), s = float(std::sin(degrees * M_PI / 180));
    e.worldTransform(c, s, -s, c, dx, dy);
}

std::vector<Case> cases() {
    std::vector<Case> v;
    auto add = [&](const char *name, FontSpec f, std::function<void(EmfWriter &)> d) { v.push_back({name, f, d}); };
    auto align = [](uint32_t a) { return [a](EmfWriter &e) { e.record(kTypeSetTextAlign, {int32_t(a)}); textW(e, u"Wgj Text", at(64, 40)); }; };
    add("align-left-top", font(), align(0));
    add("align-right", font(), align(kAlignRight));
    add("align-center", font(), align(kAlignCenter));
    add("align-baseline", font(), align(kAlignBaseline));
    add("align-bottom", font(), align(kAlignBottom));
    add("align-updatecp", font(), [](EmfWriter &e) {
        e.record(kTypeSetTextAlign, {int32_t(kAlignUpdateCp)});
        e.record(kTypeMoveTo, {5, 5});
        textW(e, u"One", at(0, 0));
        textW(e, u"Two", at(0, 0));
        textW(e, u"3", at(0, 0));
    });
    add("dx-array", font(), [](EmfWriter &e) {
        TextSpec t = at(4, 10);
        t.dx = {12, 5, 20, 9, 30};
        textW(e, u"ABCDE", t);
    });
    add("dx-pdy", font(), [](EmfWriter &e) {
        TextSpec t = at(4, 30);
        t.options = kPdy;
        t.dx = {12, 5, 14, 9, 10, -7, 8, 20};
        textW(e, u"ABCD", t);
    });
    add("opaque-rect", font(), [](EmfWriter &e) {
        e.record(kTypeSetBkColor, {0x00FF00});
        TextSpec t = at(10, 10);
        t.options = kOpaque;
        t.rect[0] = 5, t.rect[1] = 5, t.rect[2] = 100, t.rect[3] = 60;
        textW(e, u"Opq", t);
    });
    add("clipped-rect", font(u"Arial", -24), [](EmfWriter &e) {
        TextSpec t = at(10, 10);
        t.options = kClipped;
        t.rect[0] = 14, t.rect[1] = 14, t.rect[2] = 80, t.rect[3] = 28;
        textW(e, u"Clipped", t);
    });
    add("background-opaque", font(), [](EmfWriter &e) {
        e.record(kTypeSetBkMode, {2});
        e.record(kTypeSetBkColor, {0xFFFF00});
        textW(e, u"Back gj", at(10, 10));
        e.record(kTypeSetTextAlign, {int32_t(kAlignRight)});
        textW(e, u"Back R", at(120, 40));
    });
    for (int esc : {450, 900, 2700}) {
        FontSpec f = font();
        f.escapement = f.orientation = esc;
        add(esc == 450 ? "escapement-45" : esc == 900 ? "escapement-90" : "escapement-270", f,
            [](EmfWriter &e) { textW(e, u"Esc text", at(60, 50)); });
    }
    {
        FontSpec f = font();
        f.escapement = 900;
        add("escapement-without-orientation", f, [](EmfWriter &e) { textW(e, u"Esc only", at(60, 80)); });
    }
    add("advanced-rotated", font(), [](EmfWriter &e) {
        rotate(e, 30, 40, 10);
        TextSpec t = at(0, 0);
        t.graphicsMode = 2;
        textW(e, u"Rotated", t);
    });
    add("compatible-rotated", font(), [](EmfWriter &e) {
        rotate(e, 30, 40, 10);
        textW(e, u"Rotated", at(0, 0));
    });
    add("advanced-scaled", font(u"Arial", -12), [](EmfWriter &e) {
        e.worldTransform(1.3f, 0, 0, 1.3f, 0, 0);
        TextSpec t = at(4, 4);
        t.graphicsMode = 2;
        textW(e, u"Scale 1.3", t);
    });
    add("compatible-anisotropic", font(), [](EmfWriter &e) {
        e.worldTransform(2, 0, 0, 1, 0, 0);
        textW(e, u"Wide", at(2, 2));
    });
    add("mapped-small", font(u"Arial", -200), [](EmfWriter &e) {
        e.record(vtest::EMR_SETMAPMODE, {8});
        e.record(vtest::EMR_SETWINDOWEXTEX, {1000, 1000});
        e.record(vtest::EMR_SETVIEWPORTEXTEX, {128, 96});
        textW(e, u"Mapped", at(40, 100));
        TextSpec t = at(100, 300);
        t.dx = {300, 250, 400, 200};
        textW(e, u"dxmp", t);
    });
    add("mapped-flipped", font(u"Arial", -200), [](EmfWriter &e) {
        e.record(vtest::EMR_SETMAPMODE, {8});
        e.record(vtest::EMR_SETWINDOWEXTEX, {1000, 1000});
        e.record(vtest::EMR_SETVIEWPORTEXTEX, {128, -96});
        e.record(vtest::EMR_SETVIEWPORTORGEX, {0, 96});
        textW(e, u"Flip", at(40, 800));
    });
    auto style = [&](const char *name, std::function<void(FontSpec &)> set) {
        FontSpec f = font();
        set(f);
        add(name, f, [](EmfWriter &e) { textW(e, u"Style gj", at(4, 10)); });
    };
    style("style-bold", [](FontSpec &f) { f.weight = 700; });
    style("style-italic", [](FontSpec &f) { f.italic = 1; });
    style("style-underline-strikeout", [](FontSpec &f) { f.underline = f.strikeOut = 1; });
    style("style-width-5", [](FontSpec &f) { f.width = 5; });
    style("style-width-20", [](FontSpec &f) { f.width = 20; });
    style("face-times-bold-italic", [](FontSpec &f) { f.face = u"Times New Roman", f.weight = 700, f.italic = 1; });
    style("face-courier-new", [](FontSpec &f) { f.face = u"Courier New"; });
    style("face-calibri", [](FontSpec &f) { f.face = u"Calibri"; });
    style("face-tahoma-fake-italic", [](FontSpec &f) { f.face = u"Tahoma", f.italic = 1; });
    style("face-unknown-roman", [](FontSpec &f) { f.face = u"No Such Face", f.pitchAndFamily = 0x12; });
    style("height-cell-20", [](FontSpec &f) { f.height = 20; });
    style("height-zero", [](FontSpec &f) { f.height = 0; });
    style("quality-antialiased", [](FontSpec &f) { f.quality = 4; });
    {
        FontSpec f = font();
        f.charset = 161;
        add("charset-greek-8bit", f, [](EmfWriter &e) { textA(e, "\xC1\xE2\xE3 \xE4", at(4, 10)); });
        f.charset = 204;
        add("charset-russian-8bit", f, [](EmfWriter &e) { textA(e, "\xC0\xC1\xC2\xE0", at(4, 10)); });
    }
    add("unicode-mixed", font(), [](EmfWriter &e) { textW(e, u"\u0391\u03B2\u0416\u05D0\u20AC\u2192", at(4, 10)); });
    add("justification", font(), [](EmfWriter &e) {
        e.record(kTypeSetTextJustification, {20, 2});
        textW(e, u"a b c", at(4, 10));
        // Playback leaves justification set on the DC; the reference tool
        // plays every file into the same one.
        e.record(kTypeSetTextJustification, {0, 0});
    });
    add("path-filled", font(u"Arial", -30), [](EmfWriter &e) {
        e.createBrush(2, 0, vtest::rgb(0, 0, 255)).select(2);
        e.record(kTypeBeginPath, {});
        textW(e, u"Path", at(4, 4));
        e.record(kTypeEndPath, {});
        e.record(kTypeFillPath, {0, 0, -1, -1});
    });
    add("bidi-hebrew", font(), [](EmfWriter &e) {
        textW(e, u"abc \u05D0\u05D1\u05D2 12 def", at(4, 10));
        TextSpec t = at(4, 40);
        t.options = 0x80;  // ETO_RTLREADING
        textW(e, u"\u05E9\u05DC\u05D5\u05DD, (world)!", t);
    });
    add("arabic-joined", font(u"DejaVu Sans", -20), [](EmfWriter &e) {
        textW(e, u"\u0627\u0644\u0639\u0631\u0628\u064A\u0629 12", at(4, 10));
    });
    {
        FontSpec f = font(u"Wingdings", -24);
        f.charset = 2;
        add("symbol-wingdings", f, [](EmfWriter &e) { textW(e, u"JKL\u00E0", at(4, 10)); });
    }
    return v;
}

bool readPng(const std::string &path, std::vector<uint8_t> &rgba, int &w, int &h) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_RGBA;
    w = int(img.width), h = int(img.height);
    rgba.assign(PNG_IMAGE_SIZE(img), 0);
    if (!png_image_finish_read(&img, nullptr, rgba.data(), 0, nullptr)) return false;
    return true;
}

void writePng(const std::string &path, const std::vector<uint8_t> &rgba, int w, int h) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = png_uint_32(w);
    img.height = png_uint_32(h);
    img.format = PNG_FORMAT_RGBA;
    png_image_write_to_file(&img, path.c_str(), 0, rgba.data(), 0, nullptr);
}

TEST(TextReference, FeaturesMatchThePlatformsPictures) {
    const char *out = std::getenv("VELLORA_WRITE_TEXT_FEATURES");
    for (const Case &c : cases()) {
        EmfWriter e = writer(c.font);
        c.draw(e);
        const std::vector<uint8_t> emf = e.bytes();
        if (out) {
            if (FILE *f = std::fopen((std::string(out) + "/" + c.name + ".emf").c_str(), "wb")) {
                std::fwrite(emf.data(), 1, emf.size(), f);
                std::fclose(f);
            }
            continue;
        }
        std::vector<uint8_t> ref;
        int w = 0, h = 0;
        ASSERT_TRUE(readPng(dataDir() + c.name + ".png", ref, w, h)) << c.name;
        ASSERT_EQ(w, kW);
        ASSERT_EQ(h, kH);
        Canvas canvas(kW, kH);
        ASSERT_TRUE(vellora::player::playEnhMetaFile(canvas.surface(), emf.data(), emf.size(), RECT{0, 0, kW, kH}));
        // Within 8 levels on every channel, painted where it is painted,
        // counted over the pixels either side inked: the picture is mostly
        // background, which would agree with a blank one.
        int close = 0, inked = 0, refInk = 0;
        std::vector<uint8_t> tri(size_t(3 * kW) * kH * 4, 0);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint8_t *r = &ref[(size_t(y) * kW + x) * 4];
                const uint32_t p = canvas.at(x, y);
                const bool painted = canvas.painted(x, y);
                const uint8_t mine[4] = {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(painted ? 255 : 0)};
                int diff = std::abs(int(mine[3]) - r[3]);
                if (painted && r[3])
                    for (int k = 0; k < 3; ++k) diff = std::max(diff, std::abs(int(mine[k]) - r[k]));
                refInk += r[3] != 0;
                if (painted || r[3]) {
                    ++inked;
                    close += diff <= 8;
                }
                uint8_t *row = &tri[(size_t(y) * 3 * kW) * 4];
                std::memcpy(row + size_t(x) * 4, r, 4);
                std::memcpy(row + size_t(2 * kW + x) * 4, mine, 4);
                const uint8_t mask[4] = {uint8_t(diff > 8 ? 255 : 0), 0, 0, 255};
                std::memcpy(row + size_t(kW + x) * 4, mask, 4);
            }
        // A reference without ink shows nothing to agree with: it is broken.
        EXPECT_GT(refInk, 0) << c.name << ": the reference picture has no ink";
        const double share = inked ? double(close) / inked : 0.0;
        if (std::getenv("VELLORA_TEXT_SHARES")) std::printf("%s\t%.4f\t%d\n", c.name, share, inked);
        if (share < kMinInkedShare) {
            const std::string path = ::testing::TempDir() + "text-" + c.name + ".png";
            writePng(path, tri, 3 * kW, kH);
            ADD_FAILURE() << c.name << ": " << share * 100 << "% of inked pixels within 8 levels; see " << path;
        }
    }
}

}  // namespace
