// A message drawn in one line, as the window draws text, however long: the
// strip of columns a row of LED matrices scrolls through.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "glyph8/matrix.hpp"
#include "glyph8/typeface.hpp"

namespace glyph8 {

// Longer messages are refused: no board has the flash for them.
inline constexpr std::size_t longest_message_columns = 1u << 18;

// Draws `text` (well-formed UTF-8) at 8 points from the left edge of a
// surface as wide as its advances, and reads rows 1..8 of every column;
// control characters draw nothing, and line breaks are noted in the strip.
// False when it would be wider than longest_message_columns. `missing`
// receives the characters no face has.
bool draw_message(const std::shared_ptr<typeface>& face, std::string_view text,
                  output::message_strip& strip, std::vector<char32_t>& missing);

}  // namespace glyph8
