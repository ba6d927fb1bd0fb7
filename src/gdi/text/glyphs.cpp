// Glyphs of a realized font: character to glyph index, glyph images as
// GDI's rasteriser makes them (kept per font, bounded), shaping with
// fallback faces, and outlines for paths.
#include "gdi/text/font_system.h"

#include <algorithm>
#include <cstring>

namespace vellora::gdi {

void outlineLevels(FT_Library library, FT_Outline *outline, int64_t w, int64_t h, bool mono,
                   uint8_t *levels) {
    FT_Bitmap bm;
    std::memset(&bm, 0, sizeof bm);
    bm.width = unsigned(w);
    bm.rows = unsigned(h);
    if (mono) {
        bm.pitch = int(((w + 31) >> 5) << 2);
        bm.pixel_mode = FT_PIXEL_MODE_MONO;
    } else {
        bm.pitch = int((w + 3) / 4 * 4);
        bm.pixel_mode = FT_PIXEL_MODE_GRAY;
        bm.num_grays = 256;
    }
    std::vector<uint8_t> buf(size_t(bm.pitch) * size_t(h), 0);
    bm.buffer = buf.data();
    FT_Outline_Get_Bitmap(library, outline, &bm);
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t *src = buf.data() + y * bm.pitch;
        uint8_t *dst = levels + y * w;
        for (int64_t x = 0; x < w; ++x)
            dst[x] = mono ? uint8_t(((src[x >> 3] >> (7 - (x & 7))) & 1) * 16)
                          : uint8_t(int(src[x]) * 17 / 256);
    }
}

RealizedFont::~RealizedFont() {
    if (s_ && s_->ft) {
        std::lock_guard<std::recursive_mutex> lock(FontSystem::get().mutex);
        FT_Done_Face(s_->ft);
    }
}

uint32_t RealizedFont::glyphIndex(char32_t c) const {
    FT_Face ft = s_->ft;
    if (!ft->charmap) return 0;
    if (s_->symbolMap) {
        auto symbolIndex = [&](uint32_t g) -> uint32_t {
            if (g < 0x100) g += 0xF000;
            uint32_t r = FT_Get_Char_Index(ft, g);
            if (!r) r = FT_Get_Char_Index(ft, g - 0xF000);
            return r;
        };
        uint32_t r = symbolIndex(uint32_t(c));
        if (!r && c < 0x10000) {
            // The character's byte in the ANSI code page.
            const ByteTable *t = byteTable(kAnsiCodePage);
            uint8_t byte = '?';
            for (int b = 0; b < 256; ++b)
                if (t->map[size_t(b)] == c) {
                    byte = uint8_t(b);
                    break;
                }
            r = symbolIndex(byte);
        }
        return r;
    }
    uint32_t r = FT_Get_Char_Index(ft, FT_ULong(c));
    // Symbol-encoded text (U+F020-U+F0FF, what 8-bit text of SYMBOL_CHARSET
    // decodes to) on a symbol face that maps its glyphs at U+0020-U+00FF.
    if (!r && c >= 0xF020 && c <= 0xF0FF && charset_ == SYMBOL_CHARSET) r = FT_Get_Char_Index(ft, FT_ULong(c - 0xF000));
    return r;
}

namespace {

FT_BBox glyphBox(const FT_Glyph_Metrics &m, const FT_Matrix *matrix) {
    FT_BBox b{};
    if (!matrix) {
        b.xMin = m.horiBearingX & -64;
        b.xMax = (m.horiBearingX + m.width + 63) & -64;
        b.yMax = (m.horiBearingY + 63) & -64;
        b.yMin = (m.horiBearingY - m.height) & -64;
        return b;
    }
    for (int xc = 0; xc < 2; ++xc)
        for (int yc = 0; yc < 2; ++yc) {
            FT_Vector v{m.horiBearingX + xc * m.width, m.horiBearingY - yc * m.height};
            FT_Vector_Transform(&v, matrix);
            if (xc == 0 && yc == 0) {
                b.xMin = b.xMax = v.x;
                b.yMin = b.yMax = v.y;
            } else {
                b.xMin = std::min(b.xMin, v.x);
                b.xMax = std::max(b.xMax, v.x);
                b.yMin = std::min(b.yMin, v.y);
                b.yMax = std::max(b.yMax, v.y);
            }
        }
    b.xMin &= -64;
    b.xMax = (b.xMax + 63) & -64;
    b.yMin &= -64;
    b.yMax = (b.yMax + 63) & -64;
    return b;
}

}  // namespace

std::shared_ptr<const Glyph> RealizedFont::loadGlyph(uint32_t index) const {
    // Long: load, embolden, transform and scan-convert share the slot and the box they work out.
    auto cached = s_->glyphs.find(index);
    if (cached != s_->glyphs.end()) return cached->second;

    State &s = *s_;
    FT_Face ft = s.ft;
    const bool mono = !smoothed_;
    // Text extents come from the glyph metrics the platform asks for
    // separately, hinted for grey levels; an aliased image's own advance
    // can differ from them by a pixel.
    FT_Pos metricsAdvance = 0;
    if (mono) {
        const FT_Int32 mflags = FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH | FT_LOAD_NO_BITMAP;
        if (!FT_Load_Glyph(ft, index, mflags) || !FT_Load_Glyph(ft, index, mflags | FT_LOAD_NO_HINTING))
            metricsAdvance = ft->glyph->metrics.horiAdvance;
    }
    FT_Int32 flags = FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (s.transformed || !mono) flags |= FT_LOAD_NO_BITMAP;
    FT_Error err = FT_Load_Glyph(ft, index, flags);
    if (err) err = FT_Load_Glyph(ft, index, flags | FT_LOAD_NO_HINTING);
    if (err) return nullptr;
    FT_GlyphSlot slot = ft->glyph;
    FT_Glyph_Metrics gm = slot->metrics;
    if (s.fakeBold) {
        bool done = false;
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE &&
            !FT_Outline_Embolden(&slot->outline, FT_MulDiv(s.ppem, 1 << 6, 24))) {
            FT_BBox cb;
            FT_Outline_Get_CBox(&slot->outline, &cb);
            gm.width = cb.xMax - cb.xMin;
            gm.height = cb.yMax - cb.yMin;
            gm.horiBearingX = cb.xMin;
            gm.horiBearingY = cb.yMax;
            done = true;
        }
        if (!done && gm.width) gm.width += 1 << 6;
    }
    // Parts above the ascent or below the descent are cut off.
    {
        const FT_Pos top = std::min<FT_Pos>(gm.horiBearingY, FT_Pos(s.tmAscent) * 64);
        const FT_Pos bottom = std::max<FT_Pos>(gm.horiBearingY - gm.height, -(FT_Pos(s.tmDescent) * 64));
        gm.horiBearingY = top;
        gm.height = top - bottom;
    }
    const FT_Matrix *matrix = s.transformed ? &s.hori : nullptr;
    const FT_BBox box = glyphBox(gm, matrix);

    auto glyph = std::make_shared<Glyph>();
    // The advance, rounded up to whole pixels; double-width characters of
    // fixed-pitch faces advance exactly two cells.
    if (!mono) metricsAdvance = gm.horiAdvance;
    auto advance = [&](const FT_Matrix *mat, FT_Pos base) {
        FT_Vector adv{base, 0};
        bool fullWidth = false;
        FT_Fixed em = 0;
        if (!s.variablePitch) {
            em = FT_MulDiv(s.ppem, 1 << 16, ft->units_per_EM);
            const FT_Long avg = FT_MulFix(s.ntmAvgWidth, em);
            fullWidth = avg > 0 && (base + 63) >> 6 == FT_MulFix(s.ntmAvgWidth * 2, em);
            if (fullWidth && !mat) adv.x = avg * 2 * 64;
        }
        if (mat) {
            FT_Vector_Transform(&adv, mat);
            if (fullWidth && adv.y == 0) {
                FT_Vector v{s.ntmAvgWidth, 0};
                FT_Vector_Transform(&v, mat);
                adv.x = FT_MulFix(v.x, em) * 2 * 64;
            }
        }
        if (s.fakeBold) {
            if (!mat) {
                adv.x += 1 << 6;
            } else {
                FT_Vector v{1 << 6, 0};
                FT_Vector_Transform(&v, mat);
                const FT_Fixed len = FT_Vector_Length(&v);
                if (len) adv.x += v.x * 64 / len, adv.y += v.y * 64 / len;
            }
        }
        adv.x = (adv.x + 63) & -64;
        adv.y = -((adv.y + 63) & -64);
        return adv;
    };
    if (!matrix) {
        glyph->advanceX = int32_t(advance(nullptr, gm.horiAdvance).x >> 6);
        glyph->advanceY = 0;
        glyph->extent = int32_t(advance(nullptr, metricsAdvance).x >> 6);
        glyph->outlineAdvanceX = glyph->extent;
    } else {
        const FT_Vector adv = advance(&s.hori, gm.horiAdvance);
        glyph->advanceX = int32_t(adv.x >> 6);
        glyph->advanceY = int32_t(adv.y >> 6);
        FT_Vector un = advance(&s.unrotated, metricsAdvance);
        glyph->extent = int32_t(FT_Vector_Length(&un) >> 6);
        const FT_Vector outlineAdv = advance(&s.hori, metricsAdvance);
        glyph->outlineAdvanceX = int32_t(outlineAdv.x >> 6);
        glyph->outlineAdvanceY = int32_t(outlineAdv.y >> 6);
    }
    glyph->left = int32_t(box.xMin >> 6);
    glyph->top = int32_t(box.yMax >> 6);
    const int64_t w = (int64_t(box.xMax) - box.xMin) >> 6, h = (int64_t(box.yMax) - box.yMin) >> 6;
    if (w <= 0 || h <= 0 || w > kMaxGlyphExtent || h > kMaxGlyphExtent) {
        glyph->width = glyph->height = 0;  // empty (or beyond any device)
    } else {
        glyph->width = int32_t(w);
        glyph->height = int32_t(h);
        if (w * h <= kMaxKeptGlyphPixels && w <= kMaxKeptGlyphSide && h <= kMaxKeptGlyphSide) {
            glyph->levels.assign(size_t(w * h), 0);
            if (slot->format == FT_GLYPH_FORMAT_BITMAP && mono) {
                const FT_Bitmap &bm = slot->bitmap;
                const int64_t rows = std::min<int64_t>(h, bm.rows), cols = std::min<int64_t>(w, bm.width);
                for (int64_t y = 0; y < rows; ++y) {
                    const uint8_t *src = bm.buffer + y * bm.pitch;
                    for (int64_t x = 0; x < cols; ++x) {
                        bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (src[x >> 3] >> (7 - (x & 7))) & 1
                                                                       : src[x] >= 128;
                        if (s.fakeBold && !on && x > 0)
                            on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (src[(x - 1) >> 3] >> (7 - ((x - 1) & 7))) & 1
                                                                     : src[x - 1] >= 128;
                        if (on) glyph->levels[size_t(y * w + x)] = 16;
                    }
                }
            } else if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
                if (matrix) FT_Outline_Transform(&slot->outline, matrix);
                FT_Outline_Translate(&slot->outline, -box.xMin, -box.yMin);
                outlineLevels(slot->library, &slot->outline, w, h, mono, glyph->levels.data());
            }
        }
    }
    s.glyphBytes += glyph->levels.size() + sizeof(Glyph);
    if (s.glyphBytes > kMaxGlyphBytesPerFont) {
        s.glyphs.clear();
        s.glyphBytes = glyph->levels.size() + sizeof(Glyph);
    }
    s.glyphs[index] = glyph;
    return glyph;
}

void RealizedFont::renderPart(uint32_t index, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                              std::vector<uint8_t> &levels) const {
    levels.clear();
    if (x1 <= x0 || y1 <= y0) return;
    const int64_t w = int64_t(x1) - x0, h = int64_t(y1) - y0;
    if (w * h > (int64_t(1) << 26)) return;
    levels.assign(size_t(w * h), 0);
    std::lock_guard<std::recursive_mutex> lock(FontSystem::get().mutex);
    State &s = *s_;
    const bool mono = !smoothed_;
    FT_Int32 flags = FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH | FT_LOAD_NO_BITMAP |
                     (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(s.ft, index, flags) && FT_Load_Glyph(s.ft, index, flags | FT_LOAD_NO_HINTING)) return;
    FT_GlyphSlot slot = s.ft->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return;
    FT_Glyph_Metrics gm = slot->metrics;
    if (s.fakeBold && !FT_Outline_Embolden(&slot->outline, FT_MulDiv(s.ppem, 1 << 6, 24))) {
        FT_BBox cb;
        FT_Outline_Get_CBox(&slot->outline, &cb);
        gm.width = cb.xMax - cb.xMin;
        gm.height = cb.yMax - cb.yMin;
        gm.horiBearingX = cb.xMin;
        gm.horiBearingY = cb.yMax;
    }
    const FT_Pos top = std::min<FT_Pos>(gm.horiBearingY, FT_Pos(s.tmAscent) * 64);
    const FT_Pos bottom = std::max<FT_Pos>(gm.horiBearingY - gm.height, -(FT_Pos(s.tmDescent) * 64));
    gm.horiBearingY = top;
    gm.height = top - bottom;
    const FT_Matrix *matrix = s.transformed ? &s.hori : nullptr;
    const FT_BBox box = glyphBox(gm, matrix);
    if (matrix) FT_Outline_Transform(&slot->outline, matrix);
    // Window columns [x0, x1) and rows [y0, y1) of the box, rows counted
    // down from its top.
    FT_Outline_Translate(&slot->outline, -(box.xMin + (FT_Pos(x0) * 64)), -(box.yMax - (FT_Pos(y1) * 64)));
    outlineLevels(slot->library, &slot->outline, w, h, mono, levels.data());
}

void RealizedFont::shape(const char16_t *text, size_t n, bool indices, std::vector<Shaped> &out) const {
    out.clear();
    out.reserve(n);
    FontSystem &sys = FontSystem::get();
    std::lock_guard<std::recursive_mutex> lock(sys.mutex);
    const RealizedFontRef selfRef = shared_from_this();
    for (size_t i = 0; i < n; ++i) {
        Shaped sh;
        char32_t c = text[i];
        if (!indices && c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            // A surrogate pair draws one glyph; its second unit draws nothing.
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        }
        uint32_t index = indices ? uint32_t(c) : glyphIndex(c);
        const RealizedFont *font = this;
        // Characters the face lacks come from a face that has them, except
        // private-use ones, whose glyphs differ from face to face.
        if (!indices && index == 0 && c >= 0x20 && !(c >= 0xE000 && c <= 0xF8FF) && !s_->symbolMap) {
            auto fb = s_->fallbacks.find(c);
            if (fb == s_->fallbacks.end()) {
                std::pair<RealizedFontRef, uint32_t> entry{nullptr, 0};
                if (const FaceInfo *face = sys.fallbackFace(c, s_->face))
                    if (face != s_->face)
                        if (RealizedFontRef f = sys.realize(s_->request, face)) {
                            const uint32_t fi = f->glyphIndex(c);
                            if (fi) entry = {f, fi};
                        }
                if (s_->fallbacks.size() > 1024) s_->fallbacks.clear();
                fb = s_->fallbacks.emplace(c, entry).first;
            }
            if (fb->second.first) {
                sh.font = fb->second.first;
                index = fb->second.second;
                font = sh.font.get();
            }
        }
        std::shared_ptr<const Glyph> g = font->loadGlyph(index);
        if (!g) {
            // As the platform's text driver does: the glyph for 0, then space.
            const uint32_t retry[] = {indices ? 0u : font->glyphIndex(0), indices ? 0x20u : font->glyphIndex(0x20)};
            for (uint32_t r : retry)
                if ((g = font->loadGlyph(r))) {
                    index = r;
                    break;
                }
        }
        if (!sh.font) sh.font = selfRef;
        sh.glyph = std::move(g);
        sh.index = index;
        out.push_back(std::move(sh));
        if (!indices && c >= 0x10000) {
            out.push_back(Shaped{nullptr, out.back().font, 0});
            ++i;
        }
    }
}

bool RealizedFont::outline(uint32_t index, GlyphOutline &out) const {
    out = GlyphOutline();
    std::lock_guard<std::recursive_mutex> lock(FontSystem::get().mutex);
    State &s = *s_;
    const FT_Int32 flags = FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH | FT_LOAD_NO_BITMAP;
    if (FT_Load_Glyph(s.ft, index, flags) && FT_Load_Glyph(s.ft, index, flags | FT_LOAD_NO_HINTING)) return false;
    FT_GlyphSlot slot = s.ft->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    if (s.fakeBold) FT_Outline_Embolden(&slot->outline, FT_MulDiv(s.ppem, 1 << 6, 24));
    if (s.transformed) FT_Outline_Transform(&slot->outline, &s.hori);
    const FT_Outline &o = slot->outline;
    if (o.n_points <= 0) return false;
    for (short i = 0; i < o.n_points; ++i) {
        out.x.push_back(o.points[i].x);
        out.y.push_back(o.points[i].y);
        out.on.push_back((FT_CURVE_TAG(o.tags[i]) & FT_CURVE_TAG_ON) != 0);
    }
    for (short c = 0; c < o.n_contours; ++c) {
        const short end = o.contours[c];
        if (end < 0 || end >= o.n_points || (!out.ends.empty() && size_t(end) < out.ends.back())) return false;
        out.ends.push_back(size_t(end));
    }
    return true;
}

}  // namespace vellora::gdi
