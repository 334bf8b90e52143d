#include "glyph8/surface.hpp"
#include "glyph8/capture.hpp"

#include <gtest/gtest.h>

#include "row_name.hpp"

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "glyph8/default_face.hpp"

namespace glyph8 {
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

class SurfaceTest : public testing::Test {
  protected:
    surface pic = capture_surface(make_default_typeface());

    // The ink of a w x h block at (x0, y0), as a string of '#' and '.'.
    std::string block(int x0, int y0, int w, int h) const {
        std::string out;
        for (int y = y0; y < y0 + h; ++y) {
            for (int x = x0; x < x0 + w; ++x) {
                std::int32_t colour = 0;
                EXPECT_EQ(pic.Point(static_cast<float>(x), static_cast<float>(y), colour),
                          status::ok);
                out += colour == surface::ink ? '#' : '.';
            }
            out += '\n';
        }
        return out;
    }

    void print_at(float x, float y, std::string_view text) {
        ASSERT_EQ(pic.CurrentX(x), status::ok);
        ASSERT_EQ(pic.CurrentY(y), status::ok);
        pic.Print(text);
    }

    std::string whole() const { return block(0, 0, pic.width(), pic.height()); }
};

TEST_F(SurfaceTest, StartsBlankInBackgroundColour) {
    for (const std::int32_t colour : pic.pixels()) {
        ASSERT_EQ(colour, surface::background);
    }
    EXPECT_NE(surface::background, surface::ink);
}

TEST_F(SurfaceTest, ScaleModeOffersPixelsOnly) {
    EXPECT_EQ(pic.ScaleMode(3), status::ok);
    for (const std::int16_t mode : {0, 1, 2, 4, 5, 6, 7, -1, 300}) {
        EXPECT_EQ(pic.ScaleMode(mode), status::unsupported) << mode;
    }
    EXPECT_EQ(pic.ScaleMode(), 3);
}

struct size_case {
    const char* name;
    float points;
    status expected;
};

class FontSize : public SurfaceTest, public testing::WithParamInterface<size_case> {};

TEST_P(FontSize, AcceptsFinitePositiveSizes) {
    const auto& c = GetParam();
    EXPECT_EQ(pic.FontSize(c.points), c.expected);
    if (c.expected != status::ok) {
        EXPECT_EQ(pic.FontSize(), 8.0f) << "a refused size must not stick";
    } else {
        EXPECT_EQ(pic.FontSize(), c.points);
        pic.Print("6國說");  // draws at any size without crashing
    }
}

INSTANTIATE_TEST_SUITE_P(Table, FontSize,
                         testing::Values(size_case{"eight", 8.0f, status::ok},
                                         size_case{"tiny", 0.25f, status::ok},
                                         size_case{"fractional", 10.5f, status::ok},
                                         size_case{"largest", 2160.0f, status::ok},
                                         size_case{"too_large", 2161.0f, status::invalid_value},
                                         size_case{"zero", 0.0f, status::invalid_value},
                                         size_case{"negative", -8.0f, status::invalid_value},
                                         size_case{"nan", nan, status::invalid_value},
                                         size_case{"infinite", inf, status::invalid_value}),
                         testing_support::row_name{});

TEST_F(SurfaceTest, DrawingPositionMustBeFinite) {
    for (const float v : {nan, inf, -inf}) {
        EXPECT_EQ(pic.CurrentX(v), status::invalid_value);
        EXPECT_EQ(pic.CurrentY(v), status::invalid_value);
    }
    EXPECT_EQ(pic.CurrentX(-1e30f), status::ok);
    pic.Print("6");  // far off the surface: nothing drawn, nothing broken
    EXPECT_EQ(whole().find('#'), std::string::npos);
}

TEST_F(SurfaceTest, PointOffTheSurfaceIsNeverInk) {
    pic.CurrentX(0);
    pic.CurrentY(0);
    pic.Print("\xE5\x9C\x8B\xE5\x9C\x8B");  // ink up to the edges of the window
    for (const auto& [x, y] : std::vector<std::pair<float, float>>{
             {-1, 1}, {1, -1}, {81, 1}, {1, 33}, {-0.5f, 1}, {nan, 1}, {1, inf}, {1e30f, 1}}) {
        std::int32_t colour = 0;
        EXPECT_EQ(pic.Point(x, y, colour), status::ok);
        EXPECT_EQ(colour, surface::outside) << x << "," << y;
    }
}

TEST_F(SurfaceTest, PrintPlacesTheCellAtTheDrawingPosition) {
    print_at(0, 0, "6");
    const std::string at_origin = block(0, 0, 10, 10);
    pic.clear();
    print_at(20, 11, "6");
    EXPECT_EQ(block(20, 11, 10, 10), at_origin);
    EXPECT_EQ(block(0, 0, 10, 10), block(40, 0, 10, 10)) << "nothing left at the origin";
    // Fractional positions round to the nearest pixel.
    pic.clear();
    print_at(19.6f, 10.5f, "6");
    EXPECT_EQ(block(20, 11, 10, 10), at_origin);
}

TEST_F(SurfaceTest, DrawnInkReadsExactlyZeroAndNothingElseDoes) {
    print_at(0, 0, "Ag國說");
    int inked = 0;
    for (const std::int32_t colour : pic.pixels()) {
        EXPECT_TRUE(colour == surface::ink || colour == surface::background) << colour;
        inked += colour == surface::ink;
    }
    EXPECT_GT(inked, 40);
}

TEST_F(SurfaceTest, ClearRestoresTheBackgroundAndOrigin) {
    const std::string blank = whole();
    print_at(3, 4, "國說Ag");
    print_at(70, 25, "WW");
    ASSERT_NE(whole(), blank);
    EXPECT_EQ(pic.clear(), status::ok);
    EXPECT_EQ(whole(), blank);
    EXPECT_EQ(pic.CurrentX(), 0.0f);
    EXPECT_EQ(pic.CurrentY(), 0.0f);
}

TEST_F(SurfaceTest, TextAdvancesAndStopsAtTheRightEdge) {
    print_at(0, 0, "66");
    EXPECT_EQ(block(0, 0, 5, 9), block(5, 0, 5, 9)) << "the second 6 follows at its advance";
    pic.clear();
    print_at(0, 0, std::string(20, 'W'));
    const std::string short_text = whole();
    pic.clear();
    print_at(0, 0, std::string(1 << 20, 'W'));
    EXPECT_EQ(whole(), short_text);
}

struct same_ink_case {
    const char* name;
    std::string text;
    std::string same_as;
};

class PrintEquivalence : public SurfaceTest, public testing::WithParamInterface<same_ink_case> {};

TEST_P(PrintEquivalence, DrawsTheSameInk) {
    print_at(0, 0, GetParam().text);
    const std::string got = whole();
    pic.clear();
    print_at(0, 0, GetParam().same_as);
    EXPECT_EQ(got, whole());
}

INSTANTIATE_TEST_SUITE_P(Table, PrintEquivalence,
                         testing::Values(same_ink_case{"controls_draw_nothing",
                                                       "6\t\r\n\x1b\x7f\xC2\x85"
                                                       "A",
                                                       "6A"},
                                         same_ink_case{"nul_draws_nothing", std::string("6\0A", 3),
                                                       "6A"},
                                         same_ink_case{"bad_byte_is_replacement",
                                                       "6\xFF"
                                                       "A",
                                                       "6\xEF\xBF\xBD"
                                                       "A"},
                                         same_ink_case{"empty_is_blank", "", " "}),
                         testing_support::row_name{});

TEST_F(SurfaceTest, ReportsCharactersNoFaceHas) {
    print_at(0, 0,
             "6\xF4\x8F\xBF\xBF"
             "A\xF4\x8F\xBF\xBF");  // U+10FFFF twice
    EXPECT_EQ(pic.missing(), std::vector<char32_t>{U'\U0010FFFF'});
    EXPECT_NE(block(5, 1, 5, 8), block(60, 1, 5, 8)) << "a missing glyph still draws a box";
    print_at(0, 0, "6");
    EXPECT_TRUE(pic.missing().empty());
}

// A font whose glyphs never move the pen: 'A' inks column 0 and 'B' column
// 1 of the top glyph row. Drawing must still end, after glyph_limit().
TEST(SurfaceBound, APenThatNeverAdvancesStopsAtTheGlyphLimit) {
    std::ifstream in(std::string(GLYPH8_TEST_DATA) + "/fonts/still8.bdf", std::ios::binary);
    auto data = std::make_shared<std::vector<unsigned char>>(std::istreambuf_iterator<char>(in),
                                                             std::istreambuf_iterator<char>());
    surface pic = capture_surface(
        std::make_shared<typeface>(std::vector<face_source>{{"still", "", *data, data}}));
    for (const std::size_t before : {pic.glyph_limit() - 1, pic.glyph_limit()}) {
        pic.clear();
        pic.Print(std::string(before, 'A') + "B");
        std::int32_t a = 0, b = 0;
        ASSERT_EQ(pic.Point(0, 1, a), status::ok);
        ASSERT_EQ(pic.Point(1, 1, b), status::ok);
        EXPECT_EQ(a, surface::ink);
        EXPECT_EQ(b == surface::ink, before < pic.glyph_limit()) << before;
    }
}

// A BDF font is refused before FreeType reads it when its BBX lines ask for
// more memory than a font may take, however large the numbers are.
struct bdf_bounds_row {
    std::string name;
    std::string bbx;
    bool refused;
};

class BdfBounds : public testing::TestWithParam<bdf_bounds_row> {};

TEST_P(BdfBounds, RefusesWhatWouldTakeTooMuchMemory) {
    std::string bdf =
        "STARTFONT 2.1\nFONT t\nSIZE 8 72 72\nFONTBOUNDINGBOX 8 8 0 0\n"
        "STARTPROPERTIES 2\nFONT_ASCENT 7\nFONT_DESCENT 1\nENDPROPERTIES\nCHARS 1\n"
        "STARTCHAR A\nENCODING 65\nSWIDTH 1000 0\nDWIDTH 8 0\nBBX " +
        GetParam().bbx + "\nBITMAP\n";
    for (int row = 0; row < 8; ++row) {
        bdf += "FF\n";
    }
    bdf += "ENDCHAR\nENDFONT\n";
    const std::vector<unsigned char> data(bdf.begin(), bdf.end());
    face_info info;
    const status got = probe_face({"t", "", data, nullptr}, info);
    EXPECT_EQ(got, GetParam().refused ? status::failed : status::ok);
    EXPECT_EQ(info.damage.find("would take more than 128 MiB") != std::string::npos,
              GetParam().refused)
        << info.damage;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BdfBounds,
    testing::Values(bdf_bounds_row{"an_ordinary_glyph", "8 8 0 0", false},
                    bdf_bounds_row{"a_height_past_the_limit", "8 200000000 0 0", true},
                    // Rounding the width up to whole bytes overflowed.
                    bdf_bounds_row{"the_largest_width", "9223372036854775807 1 0 0", true},
                    // Bytes per row times rows wrapped around 64 bits to 0.
                    bdf_bounds_row{"a_size_that_wraps_to_nothing", "2305843009213693952 64 0 0",
                                   true}),
    testing_support::row_name{});

TEST_F(SurfaceTest, PrintMovesToTheNextLine) {
    print_at(7, 2, "6");
    EXPECT_EQ(pic.CurrentX(), 0.0f);
    EXPECT_EQ(pic.CurrentY(), 2.0f + 9.0f);
}

}  // namespace
}  // namespace glyph8
