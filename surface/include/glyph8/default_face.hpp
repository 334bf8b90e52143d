// The default face: four fonts embedded in the program, tried in order.
//
//   1. misc-fixed 5x8: Latin, Greek, Cyrillic and symbols, drawn from its
//      bitmaps.
//   2. Misaki Gothic: kana and most common Chinese characters, from its 8 px
//      bitmap strike, drawn by hand.
//   3. glyph8 Composed: every other CJK ideograph that Droid Sans Fallback
//      has, as 8x8 bitmaps built from pieces of Misaki Gothic's glyphs (made
//      by compose/, checked in as surface/fonts/glyph8_composed_8.pcf).
//   4. Droid Sans Fallback: every other CJK character, from outlines.
//
// The font data are linked into the binary, so no font is looked up at run
// time and the same text gives the same pixels on every machine.
#pragma once

#include <memory>
#include <vector>

#include "glyph8/typeface.hpp"

namespace glyph8 {

// Whether the chain includes the composed face. Without it, the ideographs
// that Misaki Gothic lacks come from Droid Sans Fallback's outlines.
enum class composition : bool { off = false, on = true };

// The faces, in fallback order, with their names and licences.
std::vector<face_source> default_face_sources(composition composed = composition::on);

// A fresh chain over the default faces (each chain owns its FreeType state).
std::shared_ptr<typeface> make_default_typeface(composition composed = composition::on);

// Index of the outline face in the full chain, the one worth opening lazily.
inline constexpr std::size_t default_composed_face = 2;
inline constexpr std::size_t default_outline_face = 3;

}  // namespace glyph8
