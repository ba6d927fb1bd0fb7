// Bidirectional reordering of one line of text, as ExtTextOutW applies it
// before drawing (unless told ETO_GLYPH_INDEX or ETO_IGNORELANGUAGE): the
// Unicode bidirectional algorithm (GNU FriBidi) for a single paragraph,
// right-to-left runs reversed, marks kept after their letters and mirrored
// characters mirrored.
#pragma once

#include <string>

namespace vellora::gdi {

// Rewrites `text` (UTF-16, logical order) in visual order, left to right.
// `rtl` makes the paragraph right-to-left (ETO_RTLREADING, TA_RTLREADING).
// Surrogate pairs stay together; the length does not change.
void bidiReorder(std::u16string &text, bool rtl);

// Gives the Arabic letters of `text` (logical order) their initial, medial,
// final or isolated forms (the presentation forms at U+FE80 on) by how they
// join their neighbours. The length does not change.
void arabicShape(std::u16string &text);

}  // namespace vellora::gdi
