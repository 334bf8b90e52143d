// A check of TrueType and OpenType files that FreeType does not make.
//
// FreeType opens a font whose glyph locations point past their table, or out
// of order, and then draws those glyphs blank without an error. A user who
// hands us such a file should hear that it is damaged, not get blank glyphs.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace glyph8 {

// Why the tables of an sfnt file (TrueType, OpenType or a collection) do not
// hold together, or empty when they do or when `data` is not an sfnt file.
// Only the first face of a collection is checked: it is the one drawn with.
std::string sfnt_damage(std::span<const unsigned char> data);

// The same check of glyph locations on tables as a reader hands them over
// (FreeType unpacks WOFF and WOFF2 for us): loca against glyf's length.
std::string glyph_location_damage(std::span<const unsigned char> head,
                                  std::span<const unsigned char> maxp,
                                  std::span<const unsigned char> loca, std::uint64_t glyf_length);

}  // namespace glyph8
