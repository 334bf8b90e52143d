// A message on a row of 8x8 LED matrices: what it shows at each step.
//
// The message is drawn once, in one line, as the window draws text, and
// kept as a strip of column bytes (top pixel in the lowest bit). Scrolling,
// the strip enters at the right one column per step, leaves at the left
// and starts again; paging, it is shown a screenful of whole characters at
// a time. The generated sketch computes exactly these frames on the board,
// the preview draws them, and the tests compare both with this model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "glyph8/glyph.hpp"

namespace glyph8::output {

// The message drawn: column bytes, and where each character's columns
// start (its advance, so the starts rise; the last character runs to the
// end of the columns).
struct message_strip {
    std::vector<std::uint8_t> columns;
    std::vector<std::size_t> starts;
};

// How the modules are wired: fc16, the blue 4-in-1 boards (digit register
// d + 1 drives row d, bit 7 is the leftmost column); dip, the single-chip
// boards (digit register d + 1 drives column d, bit 0 is the top row). On
// both the chip at DIN is the rightmost module.
enum class board : std::uint8_t { fc16, dip };
enum class motion : std::uint8_t { scroll, page };

struct matrix_settings {
    int modules = 4;
    board wiring = board::fc16;
    motion mode = motion::scroll;
    int step_ms = 60;  // per column scrolled, or per page

    static constexpr int most_modules = 16;
    int columns() const noexcept { return modules * glyph_side; }
};

// A page: the strip's columns [first, first + width), shown from the left.
struct page {
    std::size_t first = 0;
    std::size_t width = 0;
};

class frames {
  public:
    frames(const message_strip& strip, const matrix_settings& m);

    // Steps before the show starts again.
    std::size_t count() const noexcept;
    // The display at step n (n < count()): columns() column bytes, left to right.
    void at(std::size_t n, std::span<std::uint8_t> display) const;
    const std::vector<page>& pages() const noexcept { return pages_; }

  private:
    const message_strip& strip_;
    matrix_settings m_;
    std::vector<page> pages_;
};

// Shown once at power-up so that a user can tell the wiring: an arrow
// pointing right on the leftmost module and a dot in its top left corner.
std::vector<std::uint8_t> test_pattern(const matrix_settings& m);

}  // namespace glyph8::output
