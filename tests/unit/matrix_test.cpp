// The frames a display shows: what the sketch, the preview and the tests on
// a simulated board all follow.
#include "glyph8/matrix.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace glyph8::output {
namespace {

// Three characters 3, 8 and 2 columns wide; column k holds k + 1.
message_strip strip() {
    message_strip s;
    for (std::uint8_t k = 0; k < 13; ++k) {
        s.columns.push_back(static_cast<std::uint8_t>(k + 1));
    }
    s.starts = {0, 3, 11};
    return s;
}

matrix_settings on(std::string_view display, int modules, motion mode) {
    matrix_settings m;
    m.shown_on = find_display(display);
    m.modules = modules;
    m.mode = mode;
    return m;
}

std::vector<std::uint8_t> shown(const frames& f, std::size_t n, const matrix_settings& m) {
    std::vector<std::uint8_t> display(static_cast<std::size_t>(m.columns() * m.lines()));
    f.at(n, display);
    return display;
}

using bytes = std::vector<std::uint8_t>;

TEST(Frames, ScrollEntersAtTheRightAndLeavesAtTheLeft) {
    const message_strip s = strip();
    const matrix_settings m = on("max7219", 1, motion::scroll);
    const frames f(s, m);
    ASSERT_EQ(f.count(), 13u + 8u);
    EXPECT_EQ(shown(f, 0, m), bytes(8, 0));
    EXPECT_EQ(shown(f, 1, m), (bytes{0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(shown(f, 10, m), (bytes{3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(shown(f, 20, m), (bytes{13, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Frames, PagesHoldWholeCharacters) {
    const message_strip s = strip();
    // Eight columns: "a" alone (b would not fit beside it), b, c.
    const matrix_settings one = on("max7219", 1, motion::page);
    const frames f1(s, one);
    ASSERT_EQ(f1.count(), 3u);
    EXPECT_EQ(shown(f1, 0, one), (bytes{1, 2, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(shown(f1, 1, one), (bytes{4, 5, 6, 7, 8, 9, 10, 11}));
    // Sixteen columns: all three on one page.
    const frames f2(s, on("max7219", 2, motion::page));
    ASSERT_EQ(f2.count(), 1u);
    EXPECT_EQ(f2.pages().front().width, 13u);
}

TEST(Frames, ACharacterWiderThanTheDisplayIsShownAWidthAtATime) {
    // One character of 15 columns on one module: two pages, nothing cut.
    message_strip s;
    s.columns.assign(15, 0);
    for (std::uint8_t k = 0; k < 15; ++k) {
        s.columns[k] = static_cast<std::uint8_t>(k + 1);
    }
    s.starts = {0};
    const matrix_settings m = on("max7219", 1, motion::page);
    const frames f(s, m);
    ASSERT_EQ(f.count(), 2u);
    EXPECT_EQ(shown(f, 0, m), (bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(shown(f, 1, m), (bytes{9, 10, 11, 12, 13, 14, 15, 0}));
}

TEST(Frames, BreaksStartLinesButNotAtTheEnd) {
    message_strip s = strip();
    s.breaks = {1, 1, 3};  // a, (empty line), b c, and a break at the end ignored
    const matrix_settings m = on("max7219", 2, motion::page);
    const frames f(s, m);
    ASSERT_EQ(f.count(), 3u);
    EXPECT_EQ(shown(f, 0, m)[2], 3);
    EXPECT_EQ(shown(f, 1, m), bytes(16, 0));
    EXPECT_EQ(shown(f, 2, m)[0], 4);
}

}  // namespace
}  // namespace glyph8::output
