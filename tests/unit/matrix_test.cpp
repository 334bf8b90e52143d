// The frames a row of modules shows: what the sketch, the preview and the
// tests on a simulated board all follow.
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

std::vector<std::uint8_t> shown(const frames& f, std::size_t n, int columns) {
    std::vector<std::uint8_t> display(static_cast<std::size_t>(columns));
    f.at(n, display);
    return display;
}

TEST(Frames, ScrollEntersAtTheRightAndLeavesAtTheLeft) {
    const message_strip s = strip();
    const frames f(s, {1, board::fc16, motion::scroll, 60});
    ASSERT_EQ(f.count(), 13u + 8u);
    EXPECT_EQ(shown(f, 0, 8), std::vector<std::uint8_t>(8, 0));
    EXPECT_EQ(shown(f, 1, 8), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(shown(f, 10, 8), (std::vector<std::uint8_t>{3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(shown(f, 20, 8), (std::vector<std::uint8_t>{13, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Frames, PagesHoldWholeCharacters) {
    const message_strip s = strip();
    // Eight columns: "a" alone (b would not fit beside it), b, c.
    const frames one(s, {1, board::dip, motion::page, 500});
    ASSERT_EQ(one.count(), 3u);
    EXPECT_EQ(shown(one, 0, 8), (std::vector<std::uint8_t>{1, 2, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(shown(one, 1, 8), (std::vector<std::uint8_t>{4, 5, 6, 7, 8, 9, 10, 11}));
    // Sixteen columns: all three on one page.
    const frames two(s, {2, board::dip, motion::page, 500});
    ASSERT_EQ(two.count(), 1u);
    EXPECT_EQ(two.pages().front().width, 13u);
}

}  // namespace
}  // namespace glyph8::output
