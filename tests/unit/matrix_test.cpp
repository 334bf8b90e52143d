// The frames a display shows: what the sketch, the preview and the tests on
// a simulated board all follow.
#include "glyph8/matrix.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glyph8/utf8.hpp"
#include "row_name.hpp"

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

TEST(Frames, APanelPagesAndScrollsByItsOwnRows) {
    // Ten lines of two 64-column characters; column k holds k % 255 + 1.
    message_strip s;
    for (std::size_t k = 0; k < 20 * 64; ++k) {
        s.columns.push_back(static_cast<std::uint8_t>(k % 255 + 1));
        if (k % 64 == 0) {
            s.starts.push_back(k);
        }
    }
    struct row {
        const char* display;
        std::size_t screens;
        std::size_t per_line;  // characters a line holds
        int middle;            // the page of the scrolling line's lower half
    };
    for (const row r :
         {row{"ssd1306", 2, 2, 4}, row{"ssd1306x32", 3, 2, 2}, row{"pcd8544", 4, 1, 3}}) {
        SCOPED_TRACE(r.display);
        const matrix_settings paged = on(r.display, 1, motion::page);
        const frames f(s, paged);
        EXPECT_EQ(f.count(), r.screens);
        // The last screen starts at line (screens - 1) * lines.
        const auto last = shown(f, r.screens - 1, paged);
        const std::size_t lines = static_cast<std::size_t>(paged.lines());
        EXPECT_EQ(last[0], s.columns[(r.screens - 1) * lines * r.per_line * 64]);
        // Scrolling: the first column enters at the right, across the middle rows.
        const matrix_settings scrolled = on(r.display, 1, motion::scroll);
        const auto first = shown(frames(s, scrolled), 1, scrolled);
        const std::size_t width = static_cast<std::size_t>(scrolled.columns());
        const std::size_t at = static_cast<std::size_t>(r.middle) * width + width - 1;
        EXPECT_EQ(first[at - width], (s.columns[0] << 4) & 0xFF);
        EXPECT_EQ(first[at], s.columns[0] >> 4);
    }
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

// Text as a strip in which every character is two columns wide, spaces
// blank, and the lines paging shows it in, read back as text.
struct wrap_row {
    const char* name;
    const char* text;  // UTF-8; \n breaks the line
    int line_characters;
    std::vector<std::string> lines;
};

class Wrapping : public testing::TestWithParam<wrap_row> {};

std::vector<std::string> paged_lines(std::string_view text, int line_characters) {
    std::vector<char32_t> alphabet;
    message_strip s;
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = decode_utf8(text, pos);
        if (c == U'\n') {
            s.breaks.push_back(s.starts.size());
            continue;
        }
        alphabet.push_back(c);
        s.starts.push_back(s.columns.size());
        s.wraps.push_back(wrap_class_of(c));
        const bool blank = wrap_class_of(c) == wrap_class::space;
        const auto column = static_cast<std::uint8_t>(blank ? 0 : alphabet.size());
        s.columns.insert(s.columns.end(), 2, column);
    }
    const frames f(s, on("max7219", line_characters / 4, motion::page));
    std::vector<std::string> lines;
    for (const page& p : f.pages()) {
        EXPECT_LE(p.width, static_cast<std::size_t>(line_characters) * 2);
        std::string line;
        for (std::size_t k = 0; k < p.width; k += 2) {
            const std::uint8_t b = f.shown_columns()[p.first + k];
            append_utf8(line, b == 0 ? U' ' : alphabet[b - 1u]);
        }
        lines.push_back(line);
    }
    return lines;
}

TEST_P(Wrapping, LinesEndWhereTextMayBreak) {
    const wrap_row& row = GetParam();
    EXPECT_EQ(paged_lines(row.text, row.line_characters), row.lines);
}

// Four modules: 16 characters to a line; eight modules: 32; one: 4.
INSTANTIATE_TEST_SUITE_P(
    Frames, Wrapping,
    testing::Values(
        wrap_row{"words_wrap_whole",
                 "Welcome to the workshop today",
                 16,
                 {"Welcome to the", "workshop today"}},
        wrap_row{"the_space_at_a_full_line_is_not_shown", "abcd efgh", 4, {"abcd", "efgh"}},
        wrap_row{"spaces_where_a_line_wraps_are_not_shown", "ab    cd", 4, {"ab", "cd"}},
        wrap_row{"spaces_inside_a_line_are_kept", "a b  c", 16, {"a b  c"}},
        wrap_row{"an_indent_is_kept", "  ab\n  cd", 16, {"  ab", "  cd"}},
        wrap_row{"spaces_before_a_break_are_not_shown", "abcdefg      \nab", 8, {"abcdefg", "ab"}},
        wrap_row{
            "a_word_longer_than_a_line_is_cut", "ab abcdefghij", 4, {"ab", "abcd", "efgh", "ij"}},
        wrap_row{"chinese_breaks_between_any_characters", "你好世界再見", 4, {"你好世界", "再見"}},
        wrap_row{"a_closing_mark_never_starts_a_line",
                 "你好世界，再見。",
                 4,
                 {"你好世", "界，再", "見。"}},
        wrap_row{"an_opening_mark_never_ends_a_line", "你好世「界」", 4, {"你好世", "「界」"}},
        wrap_row{"latin_punctuation_stays_with_its_word",
                 "one, two. (three)",
                 4,
                 {"one,", "two.", "(thr", "ee)"}},
        wrap_row{"latin_and_chinese_break_between_them", "abc你好", 4, {"abc你", "好"}},
        wrap_row{"hyphenated_words_break_after_a_hyphen",
                 "state-of-the-art",
                 8,
                 {"state-", "of-the-", "art"}},
        wrap_row{"a_minus_sign_stays_with_its_number", "ab -12", 4, {"ab", "-12"}},
        wrap_row{"an_ideographic_space_hangs_too", "你好世　界再", 4, {"你好世", "界再"}},
        wrap_row{"a_line_of_spaces_is_one_empty_line", "ab\n        \ncd", 4, {"ab", "", "cd"}},
        wrap_row{"an_indent_wider_than_a_line_leaves_it_empty", "      ab", 4, {"", "ab"}}),
    testing_support::row_name{});

}  // namespace
}  // namespace glyph8::output
