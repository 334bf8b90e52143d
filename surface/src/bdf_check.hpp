#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace glyph8 {

// FreeType reads every glyph of a BDF font at open, each as big as its
// BBX says, whether or not the file holds its bitmap: a small file can ask
// for gigabytes. These are the limits a font is held to.
inline constexpr std::size_t most_font_glyphs = 65535;
inline constexpr std::size_t most_font_memory = 128u << 20;

// Why a BDF font would take more than those limits, from its text alone;
// empty when it would not, or when `data` is not BDF.
std::string bdf_damage(std::span<const unsigned char> data);

}  // namespace glyph8
