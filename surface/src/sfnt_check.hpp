// A check of TrueType and OpenType files that FreeType does not make.
//
// FreeType opens a font whose glyph locations point past their table, or out
// of order, and then draws those glyphs blank without an error. A user who
// hands us such a file should hear that it is damaged, not get blank glyphs.
#pragma once

#include <span>
#include <string>

namespace glyph8 {

// Why the tables of an sfnt file (TrueType, OpenType or a collection) do not
// hold together, or empty when they do or when `data` is not an sfnt file.
std::string sfnt_damage(std::span<const unsigned char> data);

}  // namespace glyph8
