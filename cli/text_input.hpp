// The text to draw, read as a stream: checked to be UTF-8 to its last byte,
// yet kept only as far as it can matter, so memory stays bounded whatever
// the size of the input.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "io.hpp"
#include "problem.hpp"

namespace glyph8::cli {

// What of the text can matter. For one glyph that is the characters that
// can still reach the surface; for a table or a font, each distinct
// character once. Control characters draw nothing and are dropped.
class text_keeper {
  public:
    // A message keeps its line breaks (CR, LF, NEL), which start its lines
    // on a display; other control characters are dropped.
    text_keeper(bool distinct, std::size_t limit, bool keep_breaks = false);

    // `text` holds only whole, well-formed characters.
    void add(std::string_view text);

    const std::string& text() const { return text_; }
    const std::vector<char32_t>& characters() const { return characters_; }
    // Whether characters past the limit were dropped.
    bool cut() const { return cut_; }

  private:
    bool distinct_;
    std::size_t limit_;
    bool keep_breaks_;
    std::size_t count_ = 0;
    bool cut_ = false;
    std::string text_;
    std::vector<bool> seen_;
    std::vector<char32_t> characters_;
};

// Reads all of `in`, checks that it is UTF-8 to the last byte and hands its
// characters to `keep`.
problem read_text(source& in, text_keeper& keep);

}  // namespace glyph8::cli
