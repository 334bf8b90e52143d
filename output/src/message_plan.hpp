// What a message costs a board: its pieces, as a sketch stores them, and
// the flash and RAM the sketch needs. The sketch and the preview both ask,
// so that no preview shows a message that no sketch can hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "glyph8/matrix.hpp"

namespace glyph8::output::detail {

// The message's columns cut at its characters' advances; pieces that repeat
// (a character used twice) are stored once, and the message is a list of them.
struct pieces {
    std::vector<std::uint8_t> columns;  // distinct pieces, one after another
    std::vector<std::size_t> starts;    // of each piece, and the end
    std::vector<std::size_t> message;   // the pieces, in the message's order
    bool wide_index() const noexcept { return starts.size() - 1 > 256; }
};

struct message_plan {
    pieces cut;
    std::vector<page> lines;  // paging: the lines, in order
    std::size_t data = 0;     // bytes of flash for the message's tables
    std::size_t flash = 0;    // the whole sketch's
    std::size_t ram = 0;
    std::string refusal;  // why no sketch can show it; empty when one can
    // Its pieces, columns and lines fit the 16-bit counts every program
    // keeps (a prebuilt one has its own room to check, not a sketch's).
    bool counts_fit = true;
};

message_plan plan_message(const message_strip& strip, const matrix_settings& m);

// The tables a program walks to show the message, in the order it reads
// them. A sketch prints them as arrays; a prebuilt image reads them from the
// block glyph8 writes after it. Both take them from here, so the two cannot
// differ in what they hold.
struct message_tables {
    std::vector<std::uint8_t> piece_columns;  // PIECE_COLUMNS
    std::vector<std::uint16_t> piece_start;   // PIECE_START: of each piece, and the end
    std::vector<std::uint16_t> message;       // MESSAGE: the pieces in order
    std::vector<std::uint8_t> line_width;     // LINE_WIDTH: paging only
    std::uint32_t message_columns = 0;        // MESSAGE_COLUMNS
};

message_tables tables_of(const message_plan& plan, const matrix_settings& m);

// The colour colour LEDs are lit with: the one chosen, dimmed as far as the
// brightest frame needs to stay within the current budget.
struct led_colour {
    unsigned rgb[3] = {};
    std::size_t lit = 0;  // LEDs of the brightest frame
    int drawn_ma = 0;     // what that frame draws
    int idle_ma = 0;      // what the LEDs' own chips draw, lit or not
    bool dimmed = false;
    std::string refusal;  // why no colour fits; empty when one does
};

led_colour colour_for(const message_strip& strip, const matrix_settings& m);

}  // namespace glyph8::output::detail
