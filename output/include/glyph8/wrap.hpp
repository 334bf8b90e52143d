// Cutting a paged message into lines: where a line may end.
//
// Latin text breaks between words and after hyphens, and the spaces where
// it breaks are not shown (they would indent the next line or push a blank
// past the edge); Chinese and Japanese break between any two characters,
// but a line never starts with a closing mark (，。」) nor ends with an
// opening one (「). A small part of Unicode's line breaking rules, enough
// for the text people show on an 8-pixel display. A word wider than the line
// is cut between characters, and a character wider than the line is shown a
// line's width at a time, so nothing is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace glyph8::output {

enum class wrap_class : std::uint8_t {
    word,          // letters, marks: no break between two of them
    number,        // digits: as letters, but a minus sign stays with them
    hyphen,        // - ‐ ‒ –: a line may end after one, before a letter
    space,         // hangs at a line's end, where it is not shown
    ideograph,     // CJK, kana, Hangul, fullwidth forms: a break either side
    opening,       // ( [ {: never ends a line
    closing,       // ) ] } , . ! ? ; : never starts a line
    wide_opening,  // （「『【《: never ends a line, may start one
    wide_closing,  // ）」』】》，。、！？：never starts a line, may end one
};

wrap_class wrap_class_of(char32_t c) noexcept;

struct message_strip;

// A slice of the strip shown as one line: columns [first, first + width),
// from the left.
struct page {
    std::size_t first = 0;
    std::size_t width = 0;
};

// The strip as paging shows it, at most `width` columns to a line: the
// characters kept (all but the spaces where a line wraps), one after
// another, and the lines over them in order. Lines also start at the strip's
// breaks (two in a row leave an empty line; one at the very end does not).
struct laid_out_lines {
    std::vector<std::uint8_t> columns;
    std::vector<std::size_t> starts;
    std::vector<page> lines;
};

laid_out_lines lay_out(const message_strip& strip, std::size_t width);

}  // namespace glyph8::output
