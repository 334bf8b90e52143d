// The formats glyph8 writes. A new format is a writer in a file of its own
// and a row here; the command line's help and checks follow from the row.
#include <algorithm>
#include <iterator>

#include "glyph8/output.hpp"

namespace glyph8::output {

namespace {

constexpr unsigned declaration_settings =
    setting_layout | setting_numbers | setting_grid | setting_name | setting_progmem;

const format table[] = {
    {"", "the 8x8 glyph of the whole text as one declaration (the default)", input::whole_text,
     declaration_settings, 0, 0, make_line_writer, nullptr},
    {"each",
     "one glyph per character, as one table byte d[][8]; repeated characters once, control "
     "characters skipped",
     input::each_character, declaration_settings, 0, 0, make_table_writer, nullptr},
    {"bdf",
     "the glyphs of the text's characters as a BDF font of 8x8 cells, for other font tools; "
     "U+FFFD is added as its default character",
     // FreeType reads no more than 65,535 glyphs of a BDF font back, the
     // default character among them.
     input::each_character, 0, U'\uFFFD', 65535, make_bdf_writer, nullptr},
    {"sketch",
     "an Arduino sketch (.ino) that shows the text on a display (--display), drawn in one "
     "line as the window draws it",
     input::message, setting_matrix, 0, 0, nullptr, make_sketch_writer},
    {"preview",
     "an animated GIF of what the sketch shows on its display, frame for frame, with its "
     "timing",
     input::message, setting_matrix, 0, 0, nullptr, make_preview_writer},
    {"intel-hex",
     "Intel HEX of glyph8's prebuilt program for the display and board with the message after "
     "it, for any uploader (or --upload it straight to the board)",
     input::message, setting_matrix, 0, 0, nullptr, make_intel_hex_writer},
};

}  // namespace

std::span<const format> formats() noexcept {
    return table;
}

const format* find_format(std::string_view name) noexcept {
    const auto* it = std::find_if(std::begin(table), std::end(table),
                                  [&](const format& f) { return f.name == name; });
    return it == std::end(table) ? nullptr : it;
}

}  // namespace glyph8::output
