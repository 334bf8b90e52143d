// The writers, on glyphs whose pixels are set by hand.
#include "glyph8/output.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "row_name.hpp"

namespace glyph8 {
namespace {

struct pack_case {
    const char* name;
    std::vector<std::pair<int, int>> ink;  // (column, row) with rows 1..8
    bit_layout layout;
    glyph_bytes expected;
};

class Pack : public testing::TestWithParam<pack_case> {};

TEST_P(Pack, LaysOutTheSixtyFourPixels) {
    glyph window;
    for (const auto& [x, y] : GetParam().ink) {
        window = window.with_ink(x, y - 1);
    }
    EXPECT_EQ(pack(window, GetParam().layout), GetParam().expected);
}

const std::vector<std::pair<int, int>> top_left{{0, 1}};
const std::vector<std::pair<int, int>> top_right{{7, 1}};
const std::vector<std::pair<int, int>> bottom_left{{0, 8}};
const std::vector<std::pair<int, int>> bottom_right{{7, 8}};
const std::vector<std::pair<int, int>> diagonal{{0, 1}, {1, 2}, {2, 3}, {3, 4},
                                                {4, 5}, {5, 6}, {6, 7}, {7, 8}};
const std::vector<std::pair<int, int>> l_shape{{0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3}};

using L = bit_layout;

INSTANTIATE_TEST_SUITE_P(
    Table, Pack,
    testing::Values(
        pack_case{"columns_top_left", top_left, L::columns, {1, 0, 0, 0, 0, 0, 0, 0}},
        pack_case{"columns_top_right", top_right, L::columns, {0, 0, 0, 0, 0, 0, 0, 1}},
        pack_case{"columns_bottom_left", bottom_left, L::columns, {128, 0, 0, 0, 0, 0, 0, 0}},
        pack_case{"columns_msb_top_left", top_left, L::columns_msb, {128, 0, 0, 0, 0, 0, 0, 0}},
        pack_case{
            "columns_msb_bottom_right", bottom_right, L::columns_msb, {0, 0, 0, 0, 0, 0, 0, 1}},
        pack_case{"rows_top_left", top_left, L::rows, {1, 0, 0, 0, 0, 0, 0, 0}},
        pack_case{"rows_top_right", top_right, L::rows, {128, 0, 0, 0, 0, 0, 0, 0}},
        pack_case{"rows_bottom_left", bottom_left, L::rows, {0, 0, 0, 0, 0, 0, 0, 1}},
        pack_case{"rows_msb_top_left", top_left, L::rows_msb, {128, 0, 0, 0, 0, 0, 0, 0}},
        pack_case{"rows_msb_bottom_right", bottom_right, L::rows_msb, {0, 0, 0, 0, 0, 0, 0, 1}},
        pack_case{"columns_diagonal", diagonal, L::columns, {1, 2, 4, 8, 16, 32, 64, 128}},
        pack_case{"columns_msb_diagonal", diagonal, L::columns_msb, {128, 64, 32, 16, 8, 4, 2, 1}},
        pack_case{"rows_diagonal", diagonal, L::rows, {1, 2, 4, 8, 16, 32, 64, 128}},
        pack_case{"rows_msb_diagonal", diagonal, L::rows_msb, {128, 64, 32, 16, 8, 4, 2, 1}},
        pack_case{"columns_l_shape", l_shape, L::columns, {7, 4, 4, 0, 0, 0, 0, 0}},
        pack_case{"rows_l_shape", l_shape, L::rows, {1, 1, 7, 0, 0, 0, 0, 0}},
        pack_case{"rows_msb_l_shape", l_shape, L::rows_msb, {128, 128, 224, 0, 0, 0, 0, 0}}),
    testing_support::row_name{});

TEST(Line, BoundsAndSpellings) {
    const output::settings plain;
    EXPECT_EQ(output::line({}, plain).view().size(), 35u);
    EXPECT_EQ(output::line({255, 255, 255, 255, 255, 255, 255, 255}, plain).view().size(), 51u);
    EXPECT_EQ(output::line({9, 10, 99, 100, 0, 1, 254, 7}, plain).view(),
              "byte d[]={ 9, 10, 99, 100, 0, 1, 254, 7};");
    EXPECT_EQ(output::format_values({0, 1, 10, 15, 16, 128, 171, 255}, output::number_style::hex),
              " 0x00, 0x01, 0x0A, 0x0F, 0x10, 0x80, 0xAB, 0xFF");
    // The longest line there can be still fits the line's own buffer.
    output::settings longest;
    longest.name = std::string(63, 'n');
    longest.progmem = true;
    longest.numbers = output::number_style::hex;
    EXPECT_EQ(output::line({255, 255, 255, 255, 255, 255, 255, 255}, longest).view(),
              "const byte " + longest.name +
                  "[] PROGMEM = { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};");
}

}  // namespace
}  // namespace glyph8
