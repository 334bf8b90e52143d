#include "glyph8/matrix.hpp"

#include <algorithm>
#include <bit>

namespace glyph8::output {

void place_line(const matrix_settings& m, std::span<const std::uint8_t> line,
                std::span<std::uint8_t> display) {
    const auto columns = static_cast<std::size_t>(m.columns());
    if (!m.panel()) {
        std::copy_n(line.begin(), std::min(line.size(), columns), display.begin());
        return;
    }
    // A panel shows the line across its middle, over two of its 8-pixel lines.
    const int shift = m.scroll_row() % glyph_side;
    const auto top = static_cast<std::size_t>(m.scroll_row() / glyph_side);
    for (std::size_t j = 0; j < columns && j < line.size(); ++j) {
        const unsigned b = line[j];
        display[top * columns + j] = static_cast<std::uint8_t>((b << shift) & 0xFF);
        if (shift != 0) {
            display[(top + 1) * columns + j] = static_cast<std::uint8_t>(b >> (8 - shift));
        }
    }
}

frames::frames(const message_strip& strip, const matrix_settings& m) : strip_(strip), m_(m) {
    if (m_.mode == motion::page) {
        laid_ = lay_out(strip_, static_cast<std::size_t>(m_.columns()));
    }
}

const std::vector<std::uint8_t>& frames::shown_columns() const noexcept {
    return m_.mode == motion::page ? laid_.columns : strip_.columns;
}

const std::vector<std::size_t>& frames::shown_starts() const noexcept {
    return m_.mode == motion::page ? laid_.starts : strip_.starts;
}

std::size_t frames::count() const noexcept {
    if (m_.mode == motion::page) {
        const auto per_screen = static_cast<std::size_t>(m_.screen_lines());
        return (laid_.lines.size() + per_screen - 1) / per_screen;
    }
    return strip_.columns.size() + static_cast<std::size_t>(m_.columns());
}

void frames::at(std::size_t n, std::span<std::uint8_t> display) const {
    std::fill(display.begin(), display.end(), 0);
    const auto columns = static_cast<std::size_t>(m_.columns());
    if (m_.mode == motion::page) {
        const auto per_screen = static_cast<std::size_t>(m_.screen_lines());
        for (std::size_t l = 0; l < per_screen && n * per_screen + l < laid_.lines.size(); ++l) {
            const page& p = laid_.lines[n * per_screen + l];
            std::copy_n(laid_.columns.begin() + static_cast<std::ptrdiff_t>(p.first),
                        std::min(p.width, columns), display.begin() + l * columns);
        }
        return;
    }
    // Step n shows the strip's columns [n - columns, n): at step 0 nothing,
    // at step 1 the first column at the right edge.
    std::vector<std::uint8_t> line(columns, 0);
    for (std::size_t j = 0; j < columns; ++j) {
        const std::size_t k = n + j;
        if (k >= columns && k - columns < strip_.columns.size()) {
            line[j] = strip_.columns[k - columns];
        }
    }
    place_line(m_, line, display);
}

std::size_t frames::most_lit() const {
    const auto columns = static_cast<std::size_t>(m_.columns());
    std::size_t most = 0;
    if (m_.mode == motion::page) {
        std::vector<std::uint8_t> display(columns * static_cast<std::size_t>(m_.lines()));
        for (std::size_t n = 0; n < count(); ++n) {
            at(n, display);
            std::size_t lit = 0;
            for (const std::uint8_t b : display) {
                lit += static_cast<std::size_t>(std::popcount(b));
            }
            most = std::max(most, lit);
        }
        return most;
    }
    // Scrolling shows every window of `columns` strip columns in turn.
    std::size_t lit = 0;
    for (std::size_t k = 0; k < strip_.columns.size(); ++k) {
        lit += static_cast<std::size_t>(std::popcount(strip_.columns[k]));
        if (k >= columns) {
            lit -= static_cast<std::size_t>(std::popcount(strip_.columns[k - columns]));
        }
        most = std::max(most, lit);
    }
    return most;
}

std::vector<std::uint8_t> test_pattern(const matrix_settings& m) {
    std::vector<std::uint8_t> display(
        static_cast<std::size_t>(m.columns()) * static_cast<std::size_t>(m.lines()), 0);
    if (m.panel() && m.mode == motion::page) {
        std::copy(std::begin(test_arrow), std::end(test_arrow), display.begin());
    } else {
        place_line(m, test_arrow, display);
    }
    return display;
}

}  // namespace glyph8::output
