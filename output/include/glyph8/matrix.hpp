// A message on a display: what it shows at each step.
//
// The message is drawn once, in one line, as the window draws text, and
// kept as a strip of column bytes (top pixel in the lowest bit). Scrolling,
// the strip enters at the right one column per step, leaves at the left
// and starts again; paging, it is cut into lines (see wrap.hpp), and a
// screenful of lines is shown at a time (one line on a row of modules,
// eight on a 128x64 panel, four on a 128x32 one, six on the 84x48 LCD). The
// generated sketch computes exactly these frames on the board, the preview
// draws them, and the tests compare both with this model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "glyph8/display.hpp"
#include "glyph8/glyph.hpp"
#include "glyph8/wrap.hpp"

namespace glyph8::output {

// The message drawn: column bytes, where each character's columns start
// (its advance, so the starts rise; the last character runs to the end of
// the columns), and where the text breaks its line: the index in `starts`
// of the character after each break (one entry per break, so two breaks in
// a row leave an empty line), and how each character wraps (as `starts`;
// none: a line may break between any two characters).
struct message_strip {
    std::vector<std::uint8_t> columns;
    std::vector<std::size_t> starts;
    std::vector<std::size_t> breaks;
    std::vector<wrap_class> wraps;
};

// A display and how the message moves on it, with every default filled in
// (see resolve() in display.hpp).
struct matrix_settings {
    const display* shown_on = &displays().front();
    int variant = 0;  // of shown_on->variants
    int modules = 4;
    motion mode = motion::scroll;
    int step_ms = 60;  // per column scrolled, or per screenful
    const arduino_board* arduino = &arduino_boards().front();
    std::uint32_t colour = default_led_colour;  // 0xRRGGBB, colour LEDs only
    int max_current_ma = default_max_current_ma;
    // --brightness or --contrast as given (0 to the display's level.most);
    // none: the driver's own default.
    std::optional<int> level;
    // --address as given; none: the display's usual one.
    std::optional<int> address;

    static constexpr int most_modules = 16;

    bool panel() const noexcept { return shown_on->shape == display_shape::panel; }
    int chip_address() const noexcept { return address.value_or(shown_on->address.fallback); }
    // What the display's chip is sent for its brightness or contrast.
    int chip_level() const noexcept {
        return level ? shown_on->level.chip_value(*level) : shown_on->level.fallback;
    }
    // The columns of one line of the display, and its lines of 8 pixels.
    int columns() const noexcept {
        return panel() ? shown_on->panel_columns : modules * glyph_side;
    }
    int lines() const noexcept { return panel() ? shown_on->panel_lines : 1; }
    // The top row of the line a panel scrolls across its middle (rows 28..35
    // of 64, 12..19 of 32); a row of modules shows it at its top.
    int scroll_row() const noexcept { return panel() ? lines() * glyph_side / 2 - 4 : 0; }
    // The lines a screenful of the message takes: a panel scrolls its
    // message as one line across its middle.
    int screen_lines() const noexcept { return mode == motion::page ? lines() : 1; }
};

class frames {
  public:
    frames(const message_strip& strip, const matrix_settings& m);

    // Steps before the show starts again.
    std::size_t count() const noexcept;
    // The display at step n (n < count()): lines() rows of columns() column
    // bytes, top line first, each left to right.
    void at(std::size_t n, std::span<std::uint8_t> display) const;
    // Paging: the lines, a screenful after another (screen_lines() each;
    // the last screen may have fewer), over shown_columns().
    const std::vector<page>& pages() const noexcept { return laid_.lines; }
    // The columns the steps show, one character after another, and where
    // each character starts: the strip's own when scrolling; paging, without
    // the spaces where lines wrap.
    const std::vector<std::uint8_t>& shown_columns() const noexcept;
    const std::vector<std::size_t>& shown_starts() const noexcept;
    // The most LEDs (pixels) any step lights.
    std::size_t most_lit() const;

  private:
    const message_strip& strip_;
    matrix_settings m_;
    laid_out_lines laid_;  // paging only
};

// One line of column bytes where the display shows a scrolling line: a row
// of modules is that line; a panel shows it across its middle.
void place_line(const matrix_settings& m, std::span<const std::uint8_t> line,
                std::span<std::uint8_t> display);

// Shown once at power-up so that a user can tell the wiring: an arrow
// pointing right in the leftmost 8x8 cell, with a dot in its top left
// corner: on a paging panel in its top left corner, else where a scrolling
// line goes.
std::vector<std::uint8_t> test_pattern(const matrix_settings& m);
inline constexpr std::uint8_t test_arrow[glyph_side] = {0x01, 0x18, 0x18, 0x18,
                                                        0x18, 0x3C, 0x18, 0x00};

}  // namespace glyph8::output
