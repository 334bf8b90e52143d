#pragma once

#include <span>
#include <string>

#include "glyph8/typeface.hpp"

namespace glyph8 {

// FreeType reads every glyph of a BDF font at open, each as big as its BBX
// says, whether or not the file holds its bitmap: a small file can ask for
// gigabytes. Why a BDF font would take more than most_font_glyphs or
// most_font_memory, from its text alone; empty when it would not, or when
// `data` is not BDF.
std::string bdf_damage(std::span<const unsigned char> data);

}  // namespace glyph8
