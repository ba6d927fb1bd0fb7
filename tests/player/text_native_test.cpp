// The text renderer's own parts: face matching, code pages, SMALLTEXTOUT
// and POLYTEXTOUT (which Wine plays differently from the platform), many
// threads at once, and hostile text records. These call into the native
// player and fonts, so they do not run under Wine.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <thread>

#include "canvas.h"
#include "gdi/text/font.h"
#include "gdi/text/font_scan.h"
#include "gdi/text/text_bidi.h"
#include "text_records.h"

using namespace ttest;
using ptest::Canvas;
using ptest::word;
using vtest::EmfWriter;
using vtest::rgb;

namespace {

const uint32_t kInk = rgb(0, 0, 128);

EmfWriter textWriter(int w, int h, const FontSpec &f = FontSpec()) {
    EmfWriter e = ptest::pixelWriter(w, h);
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

std::vector<uint32_t> pixels(const Canvas &c) {
    std::vector<uint32_t> v;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) v.push_back(c.at(x, y));
    return v;
}

int painted(const Canvas &c) {
    int n = 0;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) n += c.painted(x, y);
    return n;
}

std::string narrow(const std::u16string &s) { return std::string(s.begin(), s.end()); }

TEST(FontMatch, FaceNamesMapToTheInstalledFamilies) {
    using vellora::gdi::LogFont;
    auto family = [](const char16_t *face, uint8_t pitchAndFamily = 0, uint8_t charset = 1) {
        LogFont lf;
        lf.height = -20;
        lf.weight = 400;
        lf.faceName = face;
        lf.pitchAndFamily = pitchAndFamily;
        lf.charSet = charset;
        return narrow(vellora::gdi::matchedFamily(lf));
    };
    EXPECT_EQ(family(u"Arial"), "Liberation Sans");
    EXPECT_EQ(family(u"ARIAL"), "Liberation Sans");
    EXPECT_EQ(family(u"Times New Roman"), "Liberation Serif");
    EXPECT_EQ(family(u"Courier New"), "Liberation Mono");
    EXPECT_EQ(family(u"Calibri"), "Carlito");
    EXPECT_EQ(family(u"Cambria"), "Caladea");
    EXPECT_EQ(family(u"Helvetica"), "Liberation Sans");       // the platform's substitute: Arial
    EXPECT_EQ(family(u"Times"), "Liberation Serif");          // and Times New Roman
    EXPECT_EQ(family(u"Liberation Serif"), "Liberation Serif");
    EXPECT_EQ(family(u"DejaVu Sans Mono"), "DejaVu Sans Mono");
    EXPECT_EQ(family(u"No Such Face"), "Liberation Sans");
    EXPECT_EQ(family(u"No Such Face", 0x10), "Liberation Serif");  // FF_ROMAN
    EXPECT_EQ(family(u"No Such Face", 0x30), "Liberation Mono");   // FF_MODERN
    EXPECT_EQ(family(u"No Such Face", 0x01), "Liberation Mono");   // FIXED_PITCH
    EXPECT_EQ(family(u""), "Liberation Sans");
}

TEST(TextDecode, EightBitTextFollowsItsCodePage) {
    using vellora::gdi::decodeText;
    std::u16string out;
    std::vector<uint8_t> units;
    auto decode = [&](const char *bytes, uint32_t cp) {
        decodeText(reinterpret_cast<const uint8_t *>(bytes), std::char_traits<char>::length(bytes), cp, out, &units);
        return out;
    };
    EXPECT_EQ(decode("A\x80\xE9", 1252), u"A\u20AC\u00E9");
    EXPECT_EQ(decode("\xC1\xE2", 1253), u"\u0391\u03B2");
    EXPECT_EQ(decode("\xC0\xFF", 1251), u"\u0410\u044F");
    EXPECT_EQ(decode("\xE0\xE1", 1255), u"\u05D0\u05D1");
    EXPECT_EQ(decode("\xC7\x8D", 1256), u"\u0627\u0686");
    EXPECT_EQ(decode("\xA1\xA2", 874), u"\u0E01\u0E02");
    EXPECT_EQ(decode("\xC0\xE0", 1258), u"\u00C0\u00E0");
    // Symbol text: each byte from 0x20 on is U+F000 + byte.
    EXPECT_EQ(decode("\x1F\x61", 42), u"\u001F\uF061");
    // Double-byte code pages: lead and trail byte make one character.
    EXPECT_EQ(decode("a\x82\xA0" "b", 932), u"a\u3042b");
    EXPECT_EQ(units, (std::vector<uint8_t>{1, 2, 1}));
    EXPECT_EQ(decode("\xC4\xE3", 936), u"\u4F60");
    EXPECT_EQ(decode("\xB0\xA1", 949), u"\uAC00");
    EXPECT_EQ(decode("\xA4\x40", 950), u"\u4E00");
    // A lead byte at the end stands alone.
    EXPECT_EQ(decode("\x82", 932).size(), 1u);
}

TEST(TextBidi, RightToLeftRunsAreReversedInVisualOrder) {
    auto visual = [](std::u16string s, bool rtl) {
        vellora::gdi::bidiReorder(s, rtl);
        return s;
    };
    // Hebrew inside left-to-right text, and the other way round.
    EXPECT_EQ(visual(u"abc אבג def", false), u"abc גבא def");
    EXPECT_EQ(visual(u"אב abc", true), u"abc בא");
    EXPECT_EQ(visual(u"abc def", true), u"abc def");
    // Numbers keep their own order inside right-to-left text.
    EXPECT_EQ(visual(u"א 123 ב", false), u"ב 123 א");
    // Brackets around right-to-left text turn with it and are mirrored.
    EXPECT_EQ(visual(u"א(ב)ג", false), u"ג(ב)א");
    // A surrogate pair stays whole.
    EXPECT_EQ(visual(u"א😀ב", false).size(), 4u);
    // A mark stays after its letter, to be drawn over it.
    EXPECT_EQ(visual(u"\u05D0\u05B8\u05D1", false), u"\u05D1\u05D0\u05B8");
    // A line break inside the text does not start a paragraph of its own.
    EXPECT_EQ(visual(u"a\u05D0\nb", true), u"b\n\u05D0a");
}

TEST(TextBidi, ArabicLettersTakeTheirJoiningForms) {
    std::u16string s = u"بيت اب";  // beh yeh teh, alef beh
    vellora::gdi::arabicShape(s);
    // Initial, medial, final; alef joins only the letter before it, so
    // with a space before it and beh after it both stand alone.
    EXPECT_EQ(s, u"ﺑﻴﺖ ﺍﺏ");
    // Lam and alef keep two characters (no ligature); a joiner joins.
    s = u"\u0644\u0627 \u0646\u200D";
    vellora::gdi::arabicShape(s);
    EXPECT_EQ(s, u"\uFEDF\uFE8E \uFEE7\u200D");
}

TEST(TextDecode, LogFontFaceNamesStopAtTheirEnd) {
    uint8_t lf[92] = {};
    lf[0] = 0xEC;  // height -20
    lf[1] = lf[2] = lf[3] = 0xFF;
    for (int i = 0; i < 32; ++i) lf[28 + 2 * i] = 'A';  // no terminator
    const vellora::gdi::LogFont f = vellora::gdi::decodeLogFontW(lf, sizeof lf);
    EXPECT_EQ(f.height, -20);
    EXPECT_EQ(f.faceName.size(), 31u);
    // A short record reads as zeros past its end.
    const vellora::gdi::LogFont g = vellora::gdi::decodeLogFontW(lf, 3);
    EXPECT_EQ(g.height, 0xFFFFEC);
    EXPECT_TRUE(g.faceName.empty());
}

// SMALLTEXTOUT is ExtTextOutW without a dx array (Wine 8 does not play it).
TEST(SmallTextOut, DrawsAsExtTextOutWithTheFontsAdvances) {
    EmfWriter a = textWriter(120, 40), b = textWriter(120, 40), c = textWriter(120, 40);
    smallTextOut(a, 5, 5, u"Hello", 0);
    smallTextOut(b, 5, 5, u"Hello", kSmallChars);
    textW(c, u"Hello", at(5, 5));
    Canvas ca(120, 40), cb(120, 40), cc(120, 40);
    ca.play(a.bytes());
    cb.play(b.bytes());
    cc.play(c.bytes());
    EXPECT_GT(cc.count(word(kInk)), 50);
    EXPECT_EQ(pixels(ca), pixels(cc));
    EXPECT_EQ(pixels(cb), pixels(cc));
}

TEST(SmallTextOut, ClipRectangleApplies) {
    EmfWriter a = textWriter(120, 40);
    const int32_t rect[4] = {0, 0, 20, 40};
    smallTextOut(a, 5, 5, u"Hello", kClipped, rect);
    Canvas c(120, 40);
    c.play(a.bytes());
    EXPECT_GT(painted(c), 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 20; x < 120; ++x) ASSERT_FALSE(c.painted(x, y)) << x << "," << y;
}

TEST(PolyTextOut, EachStringDrawsAsItsOwnExtTextOut) {
    // One POLYTEXTOUTW with two strings against two EXTTEXTOUTW records.
    EmfWriter poly = textWriter(120, 60), two = textWriter(120, 60);
    std::vector<uint8_t> p;
    for (int32_t v : {0, 0, -1, -1}) put32(p, uint32_t(v));
    put32(p, 1);
    put32(p, 0x3F800000u);
    put32(p, 0x3F800000u);
    put32(p, 2);
    const uint32_t data = 8 + 16 + 16 + 2 * 40;
    // "Ab" at (4, 4) with dx {12, 12}; "Cd" at (30, 30) without.
    const struct {
        int32_t x, y;
        uint32_t off, offDx;
    } strings[2] = {{4, 4, data, data + 4}, {30, 30, data + 12, 0}};
    for (const auto &s : strings) {
        for (int32_t v : {s.x, s.y}) put32(p, uint32_t(v));
        put32(p, 2);
        put32(p, s.off);
        put32(p, 0);
        for (int32_t v : {0, 0, -1, -1}) put32(p, uint32_t(v));
        put32(p, s.offDx);
    }
    for (char16_t ch : u"Ab") p.push_back(uint8_t(ch)), p.push_back(0);
    p.resize(p.size() - 2);
    put32(p, 12);
    put32(p, 12);
    for (char16_t ch : u"Cd") p.push_back(uint8_t(ch)), p.push_back(0);
    p.resize(p.size() - 2);
    poly.recordBytes(kTypePolyTextOutW, p);
    TextSpec first = at(4, 4);
    first.dx = {12, 12};
    textW(two, u"Ab", first);
    textW(two, u"Cd", at(30, 30));
    Canvas a(120, 60), b(120, 60);
    a.play(poly.bytes());
    b.play(two.bytes());
    EXPECT_GT(b.count(word(kInk)), 50);
    EXPECT_EQ(pixels(a), pixels(b));
}

TEST(TextThreads, ConcurrentPlaybackPaintsTheSamePixels) {
    // Several faces, sizes and a rotation no other test uses, so that the
    // threads realize the fonts and render the glyphs at the same time; the
    // pictures drawn alone afterwards are the expectation.
    std::vector<std::vector<uint8_t>> files;
    const char16_t *faces[] = {u"Arial", u"Times New Roman", u"Courier New", u"DejaVu Sans"};
    for (int i = 0; i < 8; ++i) {
        FontSpec f;
        f.face = faces[i % 4];
        f.height = -31 - 2 * i;
        f.escapement = f.orientation = 450 * (i % 3);
        f.weight = i % 2 ? 700 : 400;
        f.quality = i == 5 ? 4 : 0;
        EmfWriter e = textWriter(160, 120, f);
        textW(e, u"The quick brown fox \u0416\u03A9\u20AC", at(5, 60));
        files.push_back(e.bytes());
    }
    const int kThreads = 8, kRounds = 12;
    std::vector<std::vector<std::vector<uint32_t>>> drawn(kThreads);
    std::vector<std::thread> threads;
    // Loading the fonts ahead, as a host may on a spare thread, races the
    // first text drawn.
    for (int t = 0; t < 2; ++t) threads.emplace_back([] { vellora::gdi::loadFonts(); });
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                Canvas c(160, 120);
                c.play(files[size_t(t + round) % files.size()]);
                drawn[size_t(t)].push_back(pixels(c));
            }
        });
    for (auto &th : threads) th.join();
    for (size_t k = 0; k < files.size(); ++k) {
        Canvas c(160, 120);
        c.play(files[k]);
        const std::vector<uint32_t> expected = pixels(c);
        EXPECT_GT(c.count(word(kInk)), 100) << k;
        for (int t = 0; t < kThreads; ++t)
            for (int round = 0; round < kRounds; ++round)
                if (size_t(t + round) % files.size() == k) {
                    EXPECT_EQ(drawn[size_t(t)][size_t(round)], expected) << k;
                }
    }
}

// ------------------------------------------------------------ hostile records

// An EXTTEXTOUTW whose EMRTEXT fields are set directly.
std::vector<uint8_t> rawText(int32_t x, int32_t y, uint32_t chars, uint32_t offString, uint32_t options,
                             uint32_t offDx, const std::vector<uint8_t> &tail) {
    std::vector<uint8_t> p;
    for (int32_t v : {0, 0, -1, -1}) put32(p, uint32_t(v));
    put32(p, 1);
    put32(p, 0x3F800000u);
    put32(p, 0x3F800000u);
    for (int32_t v : {x, y}) put32(p, uint32_t(v));
    put32(p, chars);
    put32(p, offString);
    put32(p, options);
    for (int32_t v : {0, 0, -1, -1}) put32(p, uint32_t(v));
    put32(p, offDx);
    p.insert(p.end(), tail.begin(), tail.end());
    return p;
}

TEST(Hostile, TextRecordsReachingOutsideThemselvesDrawNothing) {
    const std::vector<uint8_t> hi = utf16(u"Hi");
    const uint32_t start = 76;  // string right after the EMRTEXT
    const std::vector<std::vector<uint8_t>> records = {
        rawText(5, 5, 0xFFFFFFFFu, start, 0, 0, hi),         // count far past the end
        rawText(5, 5, 2, 0xFFFFFFF0u, 0, 0, hi),             // string offset past the end
        rawText(5, 5, 2, start, 0, start + 4, {}),           // dx array missing
        rawText(5, 5, 2, start, 0, 0xFFFFFFFCu, hi),         // dx offset wraps
        rawText(5, 5, 3, start, 0, start + 4, {'H', 0, 'i', 0, 7, 0, 0, 0}),  // dx shorter than the string
        rawText(5, 5, 2, start, kPdy, start + 4, {'H', 0, 'i', 0, 9, 0, 0, 0, 9, 0, 0, 0}),  // PDY pairs short
    };
    for (size_t i = 0; i < records.size(); ++i) {
        EmfWriter e = textWriter(64, 32);
        e.recordBytes(kTypeExtTextOutW, records[i]);
        Canvas c(64, 32);
        EXPECT_TRUE(c.play(e.bytes()));
        EXPECT_EQ(painted(c), 0) << i;
    }
    // A record cut short after its header: nothing, and playback goes on.
    EmfWriter e = textWriter(64, 32);
    e.recordBytes(kTypeExtTextOutW, {0, 0, 0, 0});
    textW(e, u"Hi", at(5, 5));
    Canvas c(64, 32);
    c.play(e.bytes());
    EXPECT_GT(painted(c), 0);
}

TEST(Hostile, AbsurdFontSizesAndAnglesFinish) {
    const int32_t heights[] = {1 << 30, -(1 << 30), INT_MIN, INT_MAX, -65535, 70000, 1};
    for (int32_t h : heights) {
        FontSpec f;
        f.height = h;
        f.width = h == INT_MIN ? INT_MAX : 0;
        f.escapement = h == INT_MAX ? INT_MIN : 12345;
        f.orientation = h;
        EmfWriter e = textWriter(64, 48, f);
        textW(e, u"WgW", at(2, 2));
        Canvas c(64, 48);
        EXPECT_TRUE(c.play(e.bytes())) << h;
    }
    // Beyond the largest em size the platform falls back to one pixel.
    FontSpec huge;
    huge.height = -(1 << 30);
    EmfWriter e = textWriter(64, 48, huge);
    textW(e, u"WWW", at(2, 2));
    Canvas c(64, 48);
    c.play(e.bytes());
    EXPECT_LT(painted(c), 20);
}

TEST(Hostile, GlyphsFarLargerThanTheCanvasAreCutToIt) {
    // A 60000-pixel em and a transform that multiplies it again.
    FontSpec f;
    f.height = -60000;
    EmfWriter e = textWriter(40, 30, f);
    textW(e, u"W", at(-20000, -20000));
    // Not a uniform scale, so the glyphs go through it at the 60000 em.
    e.record(kTypeSetWorldTransform, {0x447A0000, 0, 0, 0x4479C000, 0, 0});  // 1000 by 999
    TextSpec t = at(0, 0);
    t.graphicsMode = 2;
    textW(e, u"W", t);
    Canvas c(40, 30);
    EXPECT_TRUE(c.play(e.bytes()));
}

TEST(Hostile, LongStringsAndHugeAdvancesFinish) {
    std::u16string text(200000, u'W');
    TextSpec t = at(0, 0);
    t.dx.assign(text.size(), 1);
    t.dx[7] = INT_MAX;
    t.dx[8] = INT_MIN;
    EmfWriter e = textWriter(64, 48);
    textW(e, text, t);
    FontSpec garbage;
    garbage.face = std::u16string(32, u'\xD800');  // unpaired surrogates, no terminator
    createFont(e, 2, garbage);
    e.select(2);
    textW(e, std::u16string(1000, u'\xDC00'), at(0, 20));
    Canvas c(64, 48);
    EXPECT_TRUE(c.play(e.bytes()));
    EXPECT_GT(painted(c), 0);
}

TEST(Hostile, PolyAndSmallTextCountsPastTheRecord) {
    EmfWriter e = textWriter(64, 32);
    std::vector<uint8_t> p;
    for (int32_t v : {0, 0, -1, -1}) put32(p, uint32_t(v));
    put32(p, 1);
    put32(p, 0x3F800000u);
    put32(p, 0x3F800000u);
    put32(p, 0xFFFFFFFFu);  // strings
    e.recordBytes(kTypePolyTextOutW, p);
    std::vector<uint8_t> s;
    for (int32_t v : {5, 5}) put32(s, uint32_t(v));
    put32(s, 0x7FFFFFFFu);  // characters
    put32(s, kNoRect | kSmallChars);
    put32(s, 1);
    put32(s, 0x3F800000u);
    put32(s, 0x3F800000u);
    s.push_back('H');
    e.recordBytes(kTypeSmallTextOut, s);
    Canvas c(64, 32);
    EXPECT_TRUE(c.play(e.bytes()));
    EXPECT_EQ(painted(c), 0);
    EXPECT_TRUE(vellora::player::isEnhMetaFile(e.bytes().data(), e.bytes().size()));
}

}  // namespace

// ------------------------------------------------------------ font scanning

namespace {

std::vector<std::string> installedFontFiles() {
    std::vector<std::string> out;
    std::vector<std::string> dirs = {"/usr/share/fonts", "/usr/share/wine/fonts"};
    while (!dirs.empty()) {
        const std::string dir = dirs.back();
        dirs.pop_back();
        DIR *d = opendir(dir.c_str());
        if (!d) continue;
        while (dirent *e = readdir(d)) {
            const std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            const std::string path = dir + "/" + n;
            struct stat st;
            if (stat(path.c_str(), &st) != 0) continue;
            if (S_ISDIR(st.st_mode)) dirs.push_back(path);
            else if (n.size() > 4 && (n.compare(n.size() - 4, 4, ".ttf") == 0 ||
                                      n.compare(n.size() - 4, 4, ".otf") == 0 ||
                                      n.compare(n.size() - 4, 4, ".ttc") == 0))
                out.push_back(path);
        }
        closedir(d);
    }
    return out;
}

}  // namespace

TEST(FontScan, ReadsWhatFreeTypeReadsFromEveryInstalledFont) {
    using vellora::gdi::ScannedFace;
    size_t scanned = 0, declined = 0;
    for (const std::string &path : installedFontFiles()) {
        SCOPED_TRACE(path);
        std::vector<ScannedFace> faces;
        if (!vellora::gdi::scanFontFile(path, 64, faces)) {
            ++declined;
            continue;
        }
        ++scanned;
        long count = 0;
        for (size_t i = 0; i < faces.size(); ++i) {
            ScannedFace ft;
            ASSERT_TRUE(vellora::gdi::faceWithFreeType(path, long(i), ft, &count)) << i;
            EXPECT_TRUE(faces[i].family == ft.family) << i;
            EXPECT_TRUE(faces[i].fullName == ft.fullName) << i;
            EXPECT_TRUE(faces[i].style == ft.style) << i;
            EXPECT_EQ(faces[i].fs, ft.fs) << i;
            EXPECT_EQ(faces[i].bold, ft.bold) << i;
            EXPECT_EQ(faces[i].italic, ft.italic) << i;
        }
        EXPECT_EQ(long(faces.size()), std::min(count, 64L));
    }
    // The machine's fonts are ordinary TrueType: nearly all take the fast way.
    std::printf("font files scanned directly: %zu, left to FreeType: %zu\n", scanned, declined);
    EXPECT_GT(scanned, 10u) << declined << " declined";
    EXPECT_GE(scanned, 4 * declined);
}

TEST(FontScan, TruncatedOrCorruptFilesAreDeclinedSafely) {
    const std::vector<std::string> files = installedFontFiles();
    std::string source;
    std::vector<vellora::gdi::ScannedFace> faces;
    for (const std::string &f : files)
        if (vellora::gdi::scanFontFile(f, 64, faces)) {
            source = f;
            break;
        }
    if (source.empty()) GTEST_SKIP() << "no scannable font installed";
    std::vector<uint8_t> bytes;
    {
        FILE *in = std::fopen(source.c_str(), "rb");
        ASSERT_NE(in, nullptr);
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(in);
    }
    char name[] = "/tmp/vellora-font-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    auto scan = [&](const std::vector<uint8_t> &data) {
        FILE *out = std::fopen(name, "wb");
        if (!data.empty()) std::fwrite(data.data(), 1, data.size(), out);
        std::fclose(out);
        return vellora::gdi::scanFontFile(name, 64, faces);
    };
    // Every cut short of the tables the scanner reads is declined.
    for (size_t n : {size_t(0), size_t(3), size_t(12), size_t(40), size_t(200), bytes.size() / 4})
        EXPECT_FALSE(scan(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)))) << n;
    // Table records pointing past the end, and an absurd table count.
    std::vector<uint8_t> bad = bytes;
    const size_t tables = size_t(bad[4] << 8 | bad[5]);
    for (size_t i = 0; i < tables; ++i) {
        uint8_t *offset = &bad[12 + 16 * i + 8];
        offset[0] = 0x7F;
    }
    EXPECT_FALSE(scan(bad));
    bad = bytes;
    bad[4] = 0xFF, bad[5] = 0xFF;
    EXPECT_FALSE(scan(bad));
    EXPECT_TRUE(scan(bytes));
    unlink(name);
}
