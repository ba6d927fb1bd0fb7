// Where text lands and what it paints: alignment, advances, options,
// styles, escapement, transforms, paths and character sets. The fonts are
// the installed metric-compatible faces (Arial is Liberation Sans: ascent
// 1854, descent 434 of 2048 units).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "canvas.h"
#include "text_records.h"

using namespace ttest;
using ptest::Canvas;
using ptest::word;
using vtest::EmfWriter;
using vtest::rgb;

namespace {

const uint32_t kInk = rgb(0, 0, 128), kBack = rgb(255, 255, 0), kBrush = rgb(200, 0, 0);

struct Box {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1, count = 0;
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

Box inkBox(const Canvas &c, uint32_t colorref, int x0 = 0, int x1 = INT_MAX) {
    Box b;
    for (int y = 0; y < c.height(); ++y)
        for (int x = std::max(0, x0); x < std::min(c.width(), x1); ++x)
            if (c.at(x, y) == word(colorref)) {
                b.left = std::min(b.left, x), b.right = std::max(b.right, x);
                b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y);
                ++b.count;
            }
    return b;
}

// First columns of the runs of columns holding ink.
std::vector<int> inkColumns(const Canvas &c) {
    std::vector<int> starts;
    bool prev = false;
    for (int x = 0; x < c.width(); ++x) {
        bool any = false;
        for (int y = 0; y < c.height() && !any; ++y) any = c.painted(x, y);
        if (any && !prev) starts.push_back(x);
        prev = any;
    }
    return starts;
}

EmfWriter textWriter(int w, int h, const FontSpec &f = FontSpec()) {
    EmfWriter e = ptest::pixelWriter(w, h);
    createFont(e, 1, f);
    e.select(1);
    e.record(kTypeSetBkMode, {1});
    e.record(kTypeSetTextColor, {int32_t(kInk)});
    return e;
}

Canvas play(const EmfWriter &w, int width, int height) {
    Canvas c(width, height);
    EXPECT_TRUE(c.play(w.bytes()));
    return c;
}

Canvas drawText(const std::u16string &s, const TextSpec &t, const FontSpec &f = FontSpec(), uint32_t align = 0,
                int w = 160, int h = 100) {
    EmfWriter e = textWriter(w, h, f);
    if (align) e.record(kTypeSetTextAlign, {int32_t(align)});
    textW(e, s, t);
    return play(e, w, h);
}

TextSpec at(int32_t x, int32_t y) {
    TextSpec t;
    t.x = x, t.y = y;
    return t;
}

bool sameCanvas(const Canvas &a, const Canvas &b) {
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.at(x, y) != b.at(x, y)) return false;
    return true;
}

const std::vector<std::pair<uint32_t, char>> kLegend{{word(kInk), '#'}, {word(kBack), 'o'}, {word(kBrush), 'r'}};

TEST(TextAlign, HorizontalAlignmentPutsTheInkRightLeftOrAroundTheReference) {
    const Canvas left = drawText(u"HHH", at(80, 30));
    const Canvas right = drawText(u"HHH", at(80, 30), FontSpec(), kAlignRight);
    const Canvas centre = drawText(u"HHH", at(80, 30), FontSpec(), kAlignCenter);
    const Box l = inkBox(left, kInk), r = inkBox(right, kInk), c = inkBox(centre, kInk);
    ASSERT_GT(l.count, 0);
    EXPECT_GE(l.left, 80) << left.dump(kLegend);
    EXPECT_LT(r.right, 80) << right.dump(kLegend);
    EXPECT_EQ(l.width(), r.width());
    EXPECT_EQ(l.count, r.count);
    // The text moved by its full width, and half of it when centred.
    const int shift = l.left - r.left;
    EXPECT_EQ(l.left - c.left, shift / 2);
    EXPECT_LT(c.left, 80);
    EXPECT_GT(c.right, 80);
}

TEST(TextAlign, VerticalAlignmentUsesTheFontsAscentAndDescent) {
    // Liberation Sans at 20 pixels: ascent 18, descent 4, and capitals end
    // on the baseline.
    const Box base = inkBox(drawText(u"HHH", at(10, 50), FontSpec(), kAlignBaseline), kInk);
    const Box top = inkBox(drawText(u"HHH", at(10, 50)), kInk);
    const Box bottom = inkBox(drawText(u"HHH", at(10, 50), FontSpec(), kAlignBottom), kInk);
    EXPECT_EQ(base.bottom, 49);
    EXPECT_EQ(top.bottom, 49 + 18);
    EXPECT_EQ(bottom.bottom, 49 - 4);
    EXPECT_EQ(top.height(), base.height());
}

TEST(TextAlign, UpdateCpContinuesWhereTheLastStringEnded) {
    EmfWriter e = textWriter(160, 60);
    e.record(kTypeSetTextAlign, {int32_t(kAlignUpdateCp)});
    e.record(kTypeMoveTo, {12, 9});
    TextSpec t = at(100, 40);  // the reference point is ignored
    t.dx = {15, 9};
    textW(e, u"HI", t);
    t.dx = {9, 15};
    textW(e, u"IH", t);
    const Canvas two = play(e, 160, 60);
    TextSpec all = at(12, 9);
    all.dx = {15, 9, 9, 15};
    const Canvas one = drawText(u"HIIH", all, FontSpec(), 0, 160, 60);
    EXPECT_TRUE(sameCanvas(one, two)) << one.dump(kLegend) << two.dump(kLegend);
    EXPECT_GT(inkBox(two, kInk).count, 0);
}

TEST(TextAlign, RightAlignedUpdateCpMovesLeft) {
    EmfWriter e = textWriter(160, 60);
    e.record(kTypeSetTextAlign, {int32_t(kAlignUpdateCp | kAlignRight)});
    e.record(kTypeMoveTo, {150, 9});
    TextSpec t = at(0, 0);
    t.dx = {15, 9};
    textW(e, u"HI", t);
    t.dx = {9, 15};
    textW(e, u"IH", t);
    const Canvas two = play(e, 160, 60);
    TextSpec all = at(150, 9);
    all.dx = {9, 15, 15, 9};
    const Canvas one = drawText(u"IHHI", all, FontSpec(), kAlignRight, 160, 60);
    EXPECT_TRUE(sameCanvas(one, two)) << one.dump(kLegend) << two.dump(kLegend);
}

TEST(TextAdvance, DxArrayPlacesEachGlyphAtTheSummedOffset) {
    TextSpec t = at(10, 10);
    t.dx = {17, 23, 9, 0};
    const Canvas c = drawText(u"IIII", t);
    const std::vector<int> cols = inkColumns(c);
    ASSERT_EQ(cols.size(), 4u) << c.dump(kLegend);
    EXPECT_EQ(cols[1] - cols[0], 17);
    EXPECT_EQ(cols[2] - cols[1], 23);
    EXPECT_EQ(cols[3] - cols[2], 9);
}

TEST(TextAdvance, PdyPairsMoveTheNextGlyphAcrossAndUp) {
    TextSpec t = at(10, 40);
    t.options = kPdy;
    t.dx = {30, 7, 0, 0};
    const Canvas c = drawText(u"II", t);
    const Box first = inkBox(c, kInk, 0, 30), second = inkBox(c, kInk, 30);
    ASSERT_GT(first.count, 0);
    ASSERT_GT(second.count, 0);
    EXPECT_EQ(second.left - first.left, 30);
    EXPECT_EQ(second.top - first.top, -7);
}

TEST(TextAdvance, JustificationWidensTheBreakCharacters) {
    EmfWriter e = textWriter(160, 60);
    e.record(kTypeSetTextJustification, {12, 1});
    textW(e, u"I I", at(10, 10));
    const std::vector<int> wide = inkColumns(play(e, 160, 60));
    const std::vector<int> plain = inkColumns(drawText(u"I I", at(10, 10)));
    ASSERT_EQ(wide.size(), 2u);
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(wide[0], plain[0]);
    EXPECT_EQ(wide[1] - plain[1], 12);
}

TEST(TextOptions, OpaqueFillsTheRectangleWithTheBackgroundColour) {
    EmfWriter e = textWriter(80, 50);
    e.record(kTypeSetBkColor, {int32_t(kBack)});
    TextSpec t = at(8, 8);
    t.options = kOpaque;
    t.rect[0] = 5, t.rect[1] = 5, t.rect[2] = 50, t.rect[3] = 30;
    textW(e, u"Hi", t);
    const Canvas c = play(e, 80, 50);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 80; ++x) {
            const bool inside = x >= 5 && x < 50 && y >= 5 && y < 30;
            ASSERT_EQ(c.painted(x, y), inside) << x << "," << y << c.dump(kLegend);
        }
    EXPECT_GT(c.count(word(kInk)), 0);
    EXPECT_EQ(c.count(word(kInk)) + c.count(word(kBack)), 45 * 25);
}

TEST(TextOptions, ClippedKeepsTheInkInsideTheRectangle) {
    const FontSpec big = [] {
        FontSpec f;
        f.height = -30;
        return f;
    }();
    TextSpec t = at(4, 4);
    const Box whole = inkBox(drawText(u"WWWW", t, big), kInk);
    t.options = kClipped;
    t.rect[0] = 10, t.rect[1] = 10, t.rect[2] = 40, t.rect[3] = 25;
    const Box cut = inkBox(drawText(u"WWWW", t, big), kInk);
    ASSERT_GT(cut.count, 0);
    EXPECT_LT(whole.left, 10);
    EXPECT_GT(whole.right, 40);
    EXPECT_GE(cut.left, 10);
    EXPECT_GE(cut.top, 10);
    EXPECT_LT(cut.right, 40);
    EXPECT_LT(cut.bottom, 25);
}

TEST(TextOptions, OpaqueBackgroundModeFillsTheTextCell) {
    EmfWriter e = textWriter(80, 50);
    e.record(kTypeSetBkMode, {2});
    e.record(kTypeSetBkColor, {int32_t(kBack)});
    textW(e, u"Hi", at(10, 10));
    const Canvas c = play(e, 80, 50);
    Box cell;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 80; ++x)
            if (c.painted(x, y)) {
                cell.left = std::min(cell.left, x), cell.right = std::max(cell.right, x);
                cell.top = std::min(cell.top, y), cell.bottom = std::max(cell.bottom, y);
                ++cell.count;
            }
    // The cell: from the reference point down by ascent plus descent.
    EXPECT_EQ(cell.left, 10);
    EXPECT_EQ(cell.top, 10);
    EXPECT_EQ(cell.height(), 18 + 4);
    EXPECT_EQ(cell.count, cell.width() * cell.height()) << c.dump(kLegend);
    EXPECT_GT(c.count(word(kInk)), 0);
}

TEST(TextPaint, InkIsTheTextColourWithAlphaZeroAndNothingElseIsTouched) {
    const Canvas c = drawText(u"Wg", at(5, 5));
    int ink = 0;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) {
            if (!c.painted(x, y)) continue;
            ASSERT_EQ(c.at(x, y), word(kInk)) << x << "," << y;
            ++ink;
        }
    EXPECT_GT(ink, 40);
}

TEST(TextStyle, UnderlineAndStrikeoutAreRowsAcrossTheText) {
    FontSpec f;
    const Canvas plain = drawText(u"HHH", at(10, 50), f, kAlignBaseline);
    f.underline = 1;
    const Canvas under = drawText(u"HHH", at(10, 50), f, kAlignBaseline);
    f.underline = 0;
    f.strikeOut = 1;
    const Canvas strike = drawText(u"HHH", at(10, 50), f, kAlignBaseline);
    const Box text = inkBox(plain, kInk);
    auto fullRow = [&](const Canvas &c, int y) {
        for (int x = text.left; x <= text.right; ++x)
            if (!c.painted(x, y)) return false;
        return true;
    };
    int underRow = -1, strikeRow = -1;
    for (int y = 0; y < 100; ++y) {
        if (underRow < 0 && fullRow(under, y) && !fullRow(plain, y)) underRow = y;
        if (strikeRow < 0 && fullRow(strike, y) && !fullRow(plain, y)) strikeRow = y;
    }
    EXPECT_GE(underRow, 50) << under.dump(kLegend);  // below the baseline
    EXPECT_LT(underRow, 50 + 4);                      // within the descent
    EXPECT_GT(strikeRow, text.top) << strike.dump(kLegend);
    EXPECT_LT(strikeRow, text.bottom);
}

TEST(TextStyle, BoldPaintsMoreAndItalicLeans) {
    FontSpec f;
    f.height = -40;
    const Box regular = inkBox(drawText(u"I", at(20, 10), f), kInk);
    f.weight = 700;
    const Box bold = inkBox(drawText(u"I", at(20, 10), f), kInk);
    f.weight = 400;
    f.italic = 1;
    const Canvas italic = drawText(u"I", at(20, 10), f);
    EXPECT_GT(bold.count, regular.count * 5 / 4);
    const Box it = inkBox(italic, kInk);
    const int mid = (it.top + it.bottom) / 2;
    double upperX = 0, lowerX = 0;
    int nu = 0, nl = 0;
    for (int y = it.top; y <= it.bottom; ++y)
        for (int x = 0; x < italic.width(); ++x)
            if (italic.painted(x, y)) {
                if (y < mid) upperX += x, ++nu;
                else lowerX += x, ++nl;
            }
    ASSERT_GT(nu, 0);
    ASSERT_GT(nl, 0);
    EXPECT_GT(upperX / nu, lowerX / nl + 2);
}

TEST(TextFont, NegativeHeightIsTheEmPositiveHeightTheCell) {
    FontSpec em, cell;
    em.height = -40;
    cell.height = 40;
    const Box a = inkBox(drawText(u"H", at(10, 5), em), kInk), b = inkBox(drawText(u"H", at(10, 5), cell), kInk);
    // Liberation Sans capitals are 1409 units of a 2048 em; the cell of 40
    // pixels holds an em of 40 * 2048 / 2288, about 35 pixels.
    EXPECT_NEAR(a.height(), 40 * 1409 / 2048, 1);
    EXPECT_NEAR(b.height(), 35 * 1409 / 2048, 1);
}

TEST(TextFont, UnknownFacesFallBackByPitchAndFamily) {
    FontSpec unknown, arial, roman, times;
    unknown.face = u"No Such Face";
    roman.face = u"No Such Face";
    roman.pitchAndFamily = 0x10;  // FF_ROMAN
    times.face = u"Times New Roman";
    EXPECT_TRUE(sameCanvas(drawText(u"Rag", at(4, 4), unknown), drawText(u"Rag", at(4, 4), arial)));
    EXPECT_TRUE(sameCanvas(drawText(u"Rag", at(4, 4), roman), drawText(u"Rag", at(4, 4), times)));
    EXPECT_FALSE(sameCanvas(drawText(u"Rag", at(4, 4), roman), drawText(u"Rag", at(4, 4), arial)));
}

TEST(TextFont, StockSystemFontDrawsWhenNoFontIsSelected) {
    EmfWriter e = ptest::pixelWriter(100, 40);
    e.record(kTypeSetBkMode, {1});
    e.record(kTypeSetTextColor, {int32_t(kInk)});
    textW(e, u"Hi", at(4, 4));
    const Box b = inkBox(play(e, 100, 40), kInk);
    EXPECT_GT(b.count, 10);
    EXPECT_GE(b.top, 4);
}

TEST(TextEscapement, NinetyDegreesRunsUpFromTheReference) {
    FontSpec f;
    f.escapement = f.orientation = 900;
    const Box b = inkBox(drawText(u"HHHH", at(40, 90), f, kAlignBaseline), kInk);
    ASSERT_GT(b.count, 0);
    EXPECT_GT(b.height(), 2 * b.width());
    EXPECT_LT(b.bottom, 90);
    EXPECT_LT(b.right, 40);  // the glyphs' tops point left
}

// A face with no bold of its own is emboldened, and each glyph's advance
// grows by a pixel along the baseline whichever way the baseline runs.
TEST(TextEscapement, SyntheticBoldWidensEachAdvanceAlongTheBaseline) {
    FontSpec f;
    f.face = u"Symbol";  // no bold face installed
    f.charset = 2;
    f.height = -20;
    for (int32_t angle : {0, 900, 1800, 2700, -450}) {
        f.escapement = f.orientation = angle;
        f.weight = 400;
        const Box regular = inkBox(drawText(u"IIII", at(80, 80), f, kAlignBaseline, 160, 160), kInk);
        f.weight = 700;
        const Box bold = inkBox(drawText(u"IIII", at(80, 80), f, kAlignBaseline, 160, 160), kInk);
        ASSERT_GT(regular.count, 0) << angle;
        EXPECT_GT(bold.count, regular.count) << angle;
        if (angle % 1800 == 0) {
            EXPECT_EQ(bold.width(), regular.width() + 4) << angle;
        } else if (angle % 900 == 0) {
            EXPECT_EQ(bold.height(), regular.height() + 4) << angle;
        } else {
            EXPECT_GT(bold.width(), regular.width()) << angle;
            EXPECT_GT(bold.height(), regular.height()) << angle;
        }
    }
}

TEST(TextTransform, AdvancedModeScalesGlyphsWithTheWorldTransform) {
    const Box plain = inkBox(drawText(u"H", at(5, 5)), kInk);
    EmfWriter e = textWriter(160, 100);
    e.record(kTypeSetWorldTransform, {0x40000000, 0, 0, 0x40000000, 0, 0});  // scale 2
    TextSpec t = at(5, 5);
    t.graphicsMode = 2;
    textW(e, u"H", t);
    const Box twice = inkBox(play(e, 160, 100), kInk);
    EXPECT_NEAR(twice.height(), 2 * plain.height(), 1);
    EXPECT_NEAR(twice.width(), 2 * plain.width(), 1);
    EXPECT_NEAR(twice.left, 2 * plain.left, 2);
}

// World transforms far beyond any real page, stretching one way only so
// that the scale stays out of the font height: the font's metrics saturate
// instead of overflowing, and the text goes to the budget, not a crash.
TEST(TextTransform, AbsurdNonUniformScalesAreSurvived) {
    auto floatBits = [](float f) {
        int32_t v;
        std::memcpy(&v, &f, 4);
        return v;
    };
    for (float scale : {1e20f, -3e38f, 1e-30f}) {
        EmfWriter e = textWriter(160, 100);
        e.record(kTypeSetWorldTransform, {floatBits(1), 0, 0, floatBits(scale), 0, 0});
        TextSpec t = at(5, 5);
        t.graphicsMode = 2;
        t.options = kOpaque;
        t.rect[0] = 0, t.rect[1] = 0, t.rect[2] = 50, t.rect[3] = 20;
        textW(e, u"Hg", t);
        e.record(kTypeSetWorldTransform, {floatBits(1), 0, 0, floatBits(1), 0, 0});
        textW(e, u"H", at(100, 50));
        const Canvas c = play(e, 160, 100);
        // Playback went on to the plain text after the absurd one.
        EXPECT_GT(inkBox(c, kInk, 90).count, 10) << scale;
    }
}

TEST(TextPath, TextInsideAPathIsFilledWithTheBrush) {
    FontSpec f;
    f.height = -40;
    EmfWriter e = textWriter(160, 100, f);
    e.createBrush(2, 0, kBrush).select(2);
    e.record(kTypeBeginPath, {});
    textW(e, u"HO", at(5, 5));
    e.record(kTypeEndPath, {});
    e.record(kTypeFillPath, {0, 0, -1, -1});
    const Canvas c = play(e, 160, 100);
    const Box filled = inkBox(c, kBrush);
    const Box glyphs = inkBox(drawText(u"HO", at(5, 5), f), kInk);
    EXPECT_EQ(c.count(word(kInk)), 0) << c.dump(kLegend);
    EXPECT_GT(filled.count, glyphs.count / 2);
    EXPECT_NEAR(filled.left, glyphs.left, 1);
    EXPECT_NEAR(filled.top, glyphs.top, 1);
    EXPECT_NEAR(filled.right, glyphs.right, 1);
    // The O's counter stays empty.
    const Box o = inkBox(c, kBrush, inkColumns(c).back());
    EXPECT_FALSE(c.painted((o.left + o.right) / 2, (o.top + o.bottom) / 2)) << c.dump(kLegend);
}

TEST(TextBidi, RightToLeftTextIsDrawnInVisualOrder) {
    // ETO_IGNORELANGUAGE draws a string as it stands: the reordered string
    // shows what the reordering must give.
    TextSpec asIs = at(4, 10);
    asIs.options = 0x1000;  // ETO_IGNORELANGUAGE
    EXPECT_TRUE(sameCanvas(drawText(u"abc \u05D0\u05D1\u05D2 12 def", at(4, 10)),
                           drawText(u"abc 12 \u05D2\u05D1\u05D0 def", asIs)));
    TextSpec rtl = at(4, 10);
    rtl.options = 0x80;  // ETO_RTLREADING: a right-to-left paragraph
    EXPECT_TRUE(sameCanvas(drawText(u"\u05D0\u05D1 (abc)", rtl), drawText(u"(abc) \u05D1\u05D0", asIs)));
    EXPECT_FALSE(sameCanvas(drawText(u"\u05D0\u05D1 (abc)", rtl), drawText(u"\u05D0\u05D1 (abc)", asIs)));
}

TEST(TextCharset, EightBitTextIsReadInTheFontsCodePage) {
    struct Case {
        uint8_t charset;
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {0, "\x80\xE9", u"\u20AC\u00E9"},         // ANSI: CP1252
        {161, "\xC1\xE2", u"\u0391\u03B2"},       // GREEK: CP1253
        {204, "\xC0\xE6", u"\u0410\u0436"},       // RUSSIAN: CP1251
        {238, "\xA3\xB9", u"\u0141\u0105"},       // EASTEUROPE: CP1250
        {162, "\xD0\xFD", u"\u011E\u0131"},       // TURKISH: CP1254
    };
    for (const Case &k : cases) {
        FontSpec f;
        f.charset = k.charset;
        EmfWriter a = textWriter(80, 40, f);
        textA(a, k.bytes, at(4, 4));
        EmfWriter w = textWriter(80, 40, f);
        textW(w, k.text, at(4, 4));
        const Canvas ca = play(a, 80, 40), cw = play(w, 80, 40);
        EXPECT_GT(ca.count(word(kInk)), 0) << int(k.charset);
        EXPECT_TRUE(sameCanvas(ca, cw)) << int(k.charset) << ca.dump(kLegend) << cw.dump(kLegend);
    }
}

}  // namespace
