// The default face: three fonts embedded in the program, tried in order.
//
//   1. misc-fixed 5x8: Latin, Greek, Cyrillic and symbols, drawn from its
//      bitmaps.
//   2. Misaki Gothic: kana and most common Chinese characters, from its 8 px
//      bitmap strike.
//   3. Droid Sans Fallback: every other CJK character, from outlines.
//
// The font data are linked into the binary, so no font is looked up at run
// time and the same text gives the same pixels on every machine.
#pragma once

#include <memory>
#include <vector>

#include "glyph8/typeface.hpp"

namespace glyph8 {

// The three faces, in fallback order, with their names and licences.
std::vector<face_source> default_face_sources();

// A fresh chain over the default faces (each chain owns its FreeType state).
std::shared_ptr<typeface> make_default_typeface();

// Index of the outline face in the chain, the one worth opening lazily.
inline constexpr std::size_t default_outline_face = 2;

}  // namespace glyph8
