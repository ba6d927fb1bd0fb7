// Realizing a font: a face at the em size a LOGFONT height asks for, its
// character map, text metrics and glyph transform, as the platform sets
// them up.
#include "gdi/text/font_system.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vellora::gdi {

namespace {

FT_Fixed fixedFromDouble(double v) {
    if (!(v == v)) return 0;
    v = std::max(-32767.0, std::min(32767.0, v));
    return FT_Fixed(v * 65536.0);
}

// The em size for a LOGFONT height: negative heights are the em itself,
// positive ones the cell (ascent + descent) it must fit.
int32_t ppemForHeight(FT_Face face, int32_t height) {
    auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    auto *hhea = static_cast<TT_HoriHeader *>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    if (height == 0) height = 16;
    if (height > 0) {
        if (!os2 || !hhea) return std::min(height, kMaxPpem);
        const int32_t winDescent = std::abs(int16_t(os2->usWinDescent));
        int64_t units = int64_t(os2->usWinAscent) + winDescent;
        if (units == 0) units = int64_t(hhea->Ascender) - hhea->Descender;
        if (units <= 0) return 1;
        int64_t ppem = FT_MulDiv(face->units_per_EM, height, FT_Long(units));
        if (ppem > 1 && FT_MulDiv(FT_Long(units), FT_Long(ppem), face->units_per_EM) > height) --ppem;
        if (ppem > kMaxPpem) ppem = 1;
        return int32_t(std::max<int64_t>(ppem, 1));
    }
    if (height >= -kMaxPpem) return -height;
    return 1;
}

bool sfntTable(FT_Face face, FT_ULong tag, std::vector<uint8_t> &out) {
    FT_ULong len = 0;
    if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &len) || len == 0 || len > (FT_ULong(1) << 24)) return false;
    out.resize(len);
    return FT_Load_Sfnt_Table(face, tag, 0, out.data(), &len) == 0;
}

uint16_t be16(const std::vector<uint8_t> &t, size_t off) {
    return off + 2 <= t.size() ? uint16_t(t[off] << 8 | t[off + 1]) : 0;
}

// The VDMX table's em size for a height, and the ascent/descent it fixes.
int32_t vdmxPpem(FT_Face face, int32_t height, int32_t &yMax, int32_t &yMin) {
    std::vector<uint8_t> t;
    if (!sfntTable(face, TTAG_VDMX, t)) return 0;
    const uint16_t numRatios = be16(t, 4);
    size_t groupOffset = size_t(-1);
    for (uint16_t i = 0; i < numRatios; ++i) {
        const size_t r = 6 + 4 * size_t(i);
        if (r + 4 > t.size()) return 0;
        const uint8_t charset = t[r], xr = t[r + 1], ys = t[r + 2], ye = t[r + 3];
        if (!charset) continue;
        if ((xr == 0 && ys == 0 && ye == 0) || (xr == 1 && ys <= 1 && ye >= 1)) {
            groupOffset = be16(t, 6 + 4 * size_t(numRatios) + 2 * size_t(i));
            break;
        }
    }
    if (groupOffset == size_t(-1) || groupOffset + 4 > t.size()) return 0;
    const uint16_t recs = be16(t, groupOffset);
    const uint8_t startsz = t[groupOffset + 2], endsz = t[groupOffset + 3];
    const size_t base = groupOffset + 4;
    if (base + size_t(recs) * 6 > t.size()) return 0;
    auto entry = [&](int i, int k) { return int32_t(int16_t(be16(t, base + 6 * size_t(i) + 2 * size_t(k)))); };
    yMax = yMin = 0;
    if (height > 0) {
        for (int i = 0; i < recs; ++i) {
            const int32_t hi = entry(i, 1), lo = entry(i, 2);
            if (hi - lo == height) {
                yMax = hi, yMin = lo;
                return int32_t(uint16_t(entry(i, 0)));
            }
            if (hi - lo > height) {
                if (--i < 0) return 0;
                yMax = entry(i, 1), yMin = entry(i, 2);
                return int32_t(uint16_t(entry(i, 0)));
            }
        }
        return 0;
    }
    if (height < -kMaxPpem) return 0;
    const int32_t ppem = -height;
    if (ppem < startsz || ppem > endsz) return 0;
    for (int i = 0; i < recs; ++i) {
        const int32_t pel = int32_t(uint16_t(entry(i, 0)));
        if (pel > ppem) return 0;
        if (pel == ppem) {
            yMax = entry(i, 1), yMin = entry(i, 2);
            return ppem;
        }
    }
    return 0;
}

// GASP flags for the current em size; false when the face has none.
bool gaspFlags(FT_Face face, uint16_t &flags) {
    std::vector<uint8_t> t;
    flags = 0;
    if (!sfntTable(face, TTAG_gasp, t) || t.size() < 8) return false;
    const uint16_t version = be16(t, 0), count = be16(t, 2);
    if (version > 1 || t.size() < (size_t(count) * 2 + 2) * 2) return false;
    for (uint16_t i = 0; i < count; ++i) {
        flags = be16(t, 4 + 4 * size_t(i) + 2);
        if (face->size->metrics.y_ppem <= be16(t, 4 + 4 * size_t(i))) break;
    }
    return true;
}

bool selectCharmap(FT_Face face, FT_Encoding enc) {
    FT_CharMap pick[5] = {};  // Microsoft, Macintosh, ISO, Apple Unicode, other
    for (int i = 0; i < face->num_charmaps; ++i) {
        FT_CharMap cm = face->charmaps[i];
        if (cm->encoding != enc) continue;
        switch (cm->platform_id) {
        case 3: pick[0] = cm; break;
        case 1: pick[1] = cm; break;
        case 2: pick[2] = cm; break;
        case 0: pick[3] = cm; break;
        default: pick[4] = cm; break;
        }
    }
    for (FT_CharMap cm : pick)
        if (cm) return FT_Set_Charmap(face, cm) == 0;
    return false;
}

void pickCharmap(FT_Face face, uint8_t charset) {
    static const FT_Encoding regular[] = {FT_ENCODING_UNICODE, FT_ENCODING_APPLE_ROMAN, FT_ENCODING_MS_SYMBOL};
    static const FT_Encoding symbol[] = {FT_ENCODING_MS_SYMBOL, FT_ENCODING_UNICODE, FT_ENCODING_APPLE_ROMAN};
    const FT_Encoding *order = charset == SYMBOL_CHARSET ? symbol : regular;
    for (int i = 0; i < 3; ++i)
        if (selectCharmap(face, order[i])) return;
    if (!face->charmap && face->num_charmaps) FT_Set_Charmap(face, face->charmaps[0]);
}

// Metrics of a font under an absurd world transform saturate, far enough
// inside the 32-bit range that sums of a few of them cannot overflow.
int32_t roundDouble(double v) {
    constexpr double kLimit = 1 << 24;
    if (!(v == v)) return 0;
    return int32_t(std::floor(std::max(-kLimit, std::min(kLimit, v)) + 0.5));
}

}  // namespace

RealizedFontRef FontSystem::build(const FontRequest &req, const FaceInfo *face, uint8_t charset,
                                  uint32_t codePage) {
    // Long: one pass from the face's tables to metrics and transform, in the order they depend on each other.
    auto data = fileData(face->file);
    if (!library || data->empty()) return nullptr;
    FT_Face ft = nullptr;
    if (FT_New_Memory_Face(library, data->data(), FT_Long(data->size()), face->index, &ft)) return nullptr;

    std::shared_ptr<RealizedFont> font(new RealizedFont());
    font->s_ = std::make_unique<RealizedFont::State>();
    RealizedFont::State &s = *font->s_;
    s.face = face;
    s.data = data;
    s.ft = ft;
    s.request = req;
    const LogFont &lf = req.lf;
    font->charset_ = charset;
    font->codePage_ = codePage;
    font->family_ = face->family;
    s.fakeItalic = lf.italic && !face->italic;
    s.fakeBold = lf.weight > 550 && !face->bold;
    s.aveWidth = lf.height ? lf.width : 0;

    int32_t vdmxMax = 0, vdmxMin = 0;
    s.ppem = vdmxPpem(ft, lf.height, vdmxMax, vdmxMin);
    if (s.ppem == 0) s.ppem = ppemForHeight(ft, lf.height), vdmxMax = vdmxMin = 0;
    if (FT_Set_Pixel_Sizes(ft, 0, FT_UInt(s.ppem))) FT_Set_Pixel_Sizes(ft, 0, 16);
    pickCharmap(ft, charset);
    s.symbolMap = ft->charmap && ft->charmap->encoding == FT_ENCODING_MS_SYMBOL;

    // Text metrics of the face at this em size.
    auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    auto *hhea = static_cast<TT_HoriHeader *>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA));
    auto *post = static_cast<TT_Postscript *>(FT_Get_Sfnt_Table(ft, FT_SFNT_POST));
    FontMetrics &m = font->metrics_;
    int32_t tmHeight = 0, underPos = 0, underSize = 0, strikePos = 0, strikeSize = 0;
    if (os2 && hhea) {
        const FT_Fixed em = FT_MulDiv(s.ppem, 1 << 16, ft->units_per_EM);
        const int32_t winDescent = std::abs(int16_t(os2->usWinDescent));
        int32_t ascent = os2->usWinAscent, descent = winDescent;
        if (ascent + descent == 0) ascent = hhea->Ascender, descent = -hhea->Descender;
        if (vdmxMax) {
            s.tmAscent = vdmxMax;
            s.tmDescent = -vdmxMin;
        } else {
            s.tmAscent = int32_t(FT_MulFix(ascent, em));
            s.tmDescent = int32_t(FT_MulFix(descent, em));
        }
        tmHeight = s.tmAscent + s.tmDescent;
        s.tmAveCharWidth = int32_t(FT_MulFix(os2->xAvgCharWidth, em));
        if (s.tmAveCharWidth == 0) s.tmAveCharWidth = 1;
        s.ntmAvgWidth = os2->xAvgCharWidth;
        s.variablePitch = !FT_IS_FIXED_WIDTH(ft) && (os2->version == 0xFFFF || os2->panose[3] != 9);
        const bool symbolFont = s.symbolMap || (os2->usFirstCharIndex >= 0xF000 && os2->usFirstCharIndex < 0xF100);
        if (symbolFont) m.breakChar = 0x20;
        else if (os2->usFirstCharIndex <= 1) m.breakChar = os2->usFirstCharIndex + 2u;
        else if (os2->usFirstCharIndex > 0xFF) m.breakChar = 0x20;
        else m.breakChar = os2->usFirstCharIndex;
        strikeSize = int32_t(FT_MulFix(os2->yStrikeoutSize, em));
        strikePos = int32_t(FT_MulFix(os2->yStrikeoutPosition, em));
        if (post) {
            underSize = int32_t(FT_MulFix(post->underlineThickness, em));
            underPos = int32_t(FT_MulFix(post->underlinePosition, em));
        }
    } else {
        s.tmAscent = int32_t(ft->size->metrics.ascender >> 6);
        s.tmDescent = int32_t(-ft->size->metrics.descender >> 6);
        tmHeight = s.tmAscent + s.tmDescent;
        s.tmAveCharWidth = std::max<int32_t>(1, int32_t(ft->size->metrics.max_advance >> 6) * 2 / 3);
        m.outline = false;
    }
    if (s.aveWidth && tmHeight > 0 && (int64_t(s.aveWidth) + tmHeight - 1) / tmHeight > 100) s.aveWidth = 0;

    // The glyph transform: width scale, fake slant, orientation, then the
    // device transform.
    const double widthRatio = s.aveWidth ? double(s.aveWidth) / s.tmAveCharWidth : 1.0;
    FT_Matrix unrot = {1 << 16, 0, 0, 1 << 16};
    bool transformed = false;
    if (widthRatio != 1.0) {
        FT_Matrix sc = {fixedFromDouble(widthRatio), 0, 0, 1 << 16};
        FT_Matrix_Multiply(&sc, &unrot);
        transformed = true;
    }
    if (s.fakeItalic) {
        FT_Matrix slant = {1 << 16, (1 << 16) >> 2, 0, 1 << 16};
        FT_Matrix_Multiply(&slant, &unrot);
        transformed = true;
    }
    FT_Matrix hori = unrot;
    if (lf.orientation % 3600) {
        FT_Vector angle;
        FT_Vector_Unit(&angle, FT_MulDiv(1 << 16, lf.orientation, 10));
        FT_Matrix rot = {angle.x, -angle.y, angle.y, angle.x};
        FT_Matrix_Multiply(&rot, &hori);
        transformed = true;
    }
    if (!(req.m11 == 1 && req.m12 == 0 && req.m21 == 0 && req.m22 == 1)) {
        FT_Matrix world = {fixedFromDouble(req.m11), -fixedFromDouble(req.m21), -fixedFromDouble(req.m12),
                           fixedFromDouble(req.m22)};
        FT_Matrix_Multiply(&world, &hori);
        FT_Matrix_Multiply(&world, &unrot);
        transformed = true;
    }
    s.transformed = transformed;
    s.hori = hori;
    s.unrotated = unrot;

    // Metrics as reported in device units.
    const double scaleX = widthRatio * std::fabs(req.m11), scaleY = std::fabs(req.m22);
    m.ascent = roundDouble(s.tmAscent * scaleY);
    m.descent = roundDouble(s.tmDescent * scaleY);
    m.height = roundDouble(tmHeight * scaleY);
    m.avgCharWidth = roundDouble((s.tmAveCharWidth + (s.fakeBold ? 1 : 0)) * scaleX);
    m.underlinePosition = roundDouble(underPos * scaleY);
    m.underlineSize = roundDouble(underSize * scaleY);
    m.strikeoutPosition = roundDouble(strikePos * scaleY);
    m.strikeoutSize = roundDouble(strikeSize * scaleY);
    m.scalable = true;

    // Aliased unless the LOGFONT asks for grey smoothing and the face's
    // GASP table allows it at this size. The ClearType qualities fall back
    // to the default (aliased) rendering: their colour fringes have no place
    // in a coverage picture.
    bool smooth = lf.quality == ANTIALIASED_QUALITY;
    if (smooth && !s.fakeBold && !s.fakeItalic) {
        uint16_t gasp;
        if (gaspFlags(ft, gasp) && !(gasp & 2)) smooth = false;
    }
    font->smoothed_ = smooth;
    return font;
}

}  // namespace vellora::gdi
