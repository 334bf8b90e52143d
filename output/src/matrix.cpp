#include "glyph8/matrix.hpp"

#include <algorithm>

namespace glyph8::output {

namespace {

// Pages of whole characters, as many as fit; a character wider than the
// display has a page of its own and is cut.
std::vector<page> paginate(const message_strip& strip, std::size_t display) {
    std::vector<page> pages;
    const std::size_t n = strip.starts.size();
    for (std::size_t i = 0; i < n;) {
        page p{strip.starts[i], 0};
        std::size_t j = i;
        while (j < n) {
            const std::size_t end = j + 1 < n ? strip.starts[j + 1] : strip.columns.size();
            if (end - p.first > display && j > i) {
                break;
            }
            p.width = std::min(end - p.first, display);
            ++j;
        }
        pages.push_back(p);
        i = j;
    }
    return pages;
}

}  // namespace

frames::frames(const message_strip& strip, const matrix_settings& m) : strip_(strip), m_(m) {
    if (m_.mode == motion::page) {
        pages_ = paginate(strip_, static_cast<std::size_t>(m_.columns()));
    }
}

std::size_t frames::count() const noexcept {
    return m_.mode == motion::page ? pages_.size()
                                   : strip_.columns.size() + static_cast<std::size_t>(m_.columns());
}

void frames::at(std::size_t n, std::span<std::uint8_t> display) const {
    std::fill(display.begin(), display.end(), 0);
    const auto columns = static_cast<std::size_t>(m_.columns());
    if (m_.mode == motion::page) {
        const page& p = pages_.at(n);
        std::copy_n(strip_.columns.begin() + static_cast<std::ptrdiff_t>(p.first),
                    std::min(p.width, display.size()), display.begin());
        return;
    }
    // Step n shows the strip's columns [n - columns, n): at step 0 nothing,
    // at step 1 the first column at the right edge.
    for (std::size_t j = 0; j < columns && j < display.size(); ++j) {
        const std::size_t k = n + j;
        if (k >= columns && k - columns < strip_.columns.size()) {
            display[j] = strip_.columns[k - columns];
        }
    }
}

std::vector<std::uint8_t> test_pattern(const matrix_settings& m) {
    std::vector<std::uint8_t> display(static_cast<std::size_t>(m.columns()), 0);
    // #.......
    // ........
    // .....#..
    // .######.
    // .######.
    // .....#..
    static constexpr std::uint8_t arrow[8] = {0x01, 0x18, 0x18, 0x18, 0x18, 0x3C, 0x18, 0x00};
    std::copy(std::begin(arrow), std::end(arrow), display.begin());
    return display;
}

}  // namespace glyph8::output
