#include "glyph8/message.hpp"

#include <algorithm>

#include "glyph8/capture.hpp"
#include "glyph8/utf8.hpp"

namespace glyph8 {

bool draw_message(const std::shared_ptr<typeface>& face, std::string_view text,
                  output::message_strip& strip, std::vector<char32_t>& missing) {
    strip = {};
    if (face->set_size(static_cast<float>(font_size_points)) != status::ok) {
        return false;
    }
    std::size_t pen = 0;
    char32_t previous = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = decode_utf8(text, pos);
        // CR LF is one break; CR, LF and NEL each another. They are control
        // characters, so they draw nothing.
        const bool breaks = c == U'\r' || (c == U'\n' && previous != U'\r') || c == 0x85;
        previous = c;
        if (breaks) {
            strip.breaks.push_back(strip.starts.size());
        }
        if (is_control_character(c)) {
            continue;
        }
        strip.starts.push_back(pen);
        strip.wraps.push_back(output::wrap_class_of(c));
        pen += static_cast<std::size_t>(std::max(face->glyph(c).advance, 0));
        if (pen > longest_message_columns) {
            return false;
        }
    }
    // The same drawing as the window's, only wide enough for the whole line.
    surface pic(static_cast<int>(std::max<std::size_t>(pen, 1)), window_first_row + glyph_side,
                face);
    pic.Print(text);
    missing = pic.missing();
    strip.columns.assign(pen, 0);
    for (std::size_t x = 0; x < pen; ++x) {
        for (int y = 0; y < glyph_side; ++y) {
            std::int32_t colour = 0;
            pic.Point(static_cast<float>(x), static_cast<float>(y + window_first_row), colour);
            if (colour == surface::ink) {
                strip.columns[x] = static_cast<std::uint8_t>(strip.columns[x] | (1u << y));
            }
        }
    }
    return true;
}

}  // namespace glyph8
