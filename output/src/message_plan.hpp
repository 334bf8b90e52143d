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
};

message_plan plan_message(const message_strip& strip, const matrix_settings& m);

}  // namespace glyph8::output::detail
