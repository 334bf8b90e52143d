#include "glyph8/default_face.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "glyph8/capture.hpp"
#include "glyph8/surface.hpp"
#include "glyph8/utf8.hpp"

namespace glyph8 {
namespace {

std::string read_data(const std::string& name) {
    std::ifstream in(std::string(GLYPH8_TEST_DATA) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << "missing test data " << name;
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::vector<char32_t> code_points(std::string_view text) {
    std::vector<char32_t> out;
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = decode_utf8(text, pos);
        if (c != U'\n') {
            out.push_back(c);
        }
    }
    return out;
}

std::string utf8(char32_t c) {
    std::string s;
    append_utf8(s, c);
    return s;
}

// Draws each character alone at the origin and checks that its ink is not
// empty and lies inside the sampling window (columns 0..7, rows 1..8).
void expect_all_fit(const std::vector<char32_t>& chars) {
    surface pic = capture_surface(make_default_typeface());
    int checked = 0;
    for (const char32_t c : chars) {
        pic.clear();
        pic.Print(utf8(c));
        ASSERT_TRUE(pic.missing().empty()) << "U+" << std::hex << unsigned(c) << " has no glyph";
        int inside = 0;
        int outside = 0;
        for (int y = 0; y < pic.height(); ++y) {
            for (int x = 0; x < pic.width(); ++x) {
                if (pic.pixels()[y * pic.width() + x] != surface::ink) {
                    continue;
                }
                (x <= 7 && y >= 1 && y <= 8 ? inside : outside)++;
            }
        }
        EXPECT_GT(inside, 0) << utf8(c) << " U+" << std::hex << unsigned(c) << " is blank";
        EXPECT_EQ(outside, 0) << utf8(c) << " U+" << std::hex << unsigned(c)
                              << " inks outside the window";
        ++checked;
    }
    EXPECT_EQ(checked, static_cast<int>(chars.size()));
}

TEST(DefaultFace, EveryPrintableAsciiCharacterFitsTheWindow) {
    std::vector<char32_t> ascii;
    for (char32_t c = 0x21; c <= 0x7E; ++c) {
        ascii.push_back(c);
    }
    expect_all_fit(ascii);
}

std::vector<char32_t> big5() {
    auto chars = code_points(read_data("big5_level1.txt"));
    const auto level2 = code_points(read_data("big5_level2.txt"));
    chars.insert(chars.end(), level2.begin(), level2.end());
    return chars;
}

TEST(DefaultFace, EveryBig5CharacterFitsTheWindow) {
    const auto chars = big5();
    ASSERT_EQ(chars.size(), 13053u);
    expect_all_fit(chars);
}

std::string capture_line(surface& pic, char32_t c) {
    surface_box box(pic);
    string_box input(utf8(c));
    string_box output;
    EXPECT_FALSE(run_capture(box, input, output).has_value());
    return output.text();
}

// The composed face only fills gaps: a character that Misaki Gothic draws
// keeps its hand-drawn glyph, and every Big5 ideograph that it lacks is
// composed rather than left to the outline face.
TEST(DefaultFace, HandDrawnGlyphsStayAndTheGapsAreComposed) {
    const auto sources = default_face_sources();
    surface full = capture_surface(make_default_typeface());
    surface hand_drawn = capture_surface(std::make_shared<typeface>(std::vector{sources[1]}));
    surface composed = capture_surface(std::make_shared<typeface>(std::vector{sources[2]}));
    int kept = 0;
    int filled = 0;
    for (const char32_t c : big5()) {
        hand_drawn.clear();
        hand_drawn.Print(utf8(c));
        const bool drawn_by_hand = hand_drawn.missing().empty();
        composed.clear();
        composed.Print(utf8(c));
        const bool has_composed = composed.missing().empty();
        EXPECT_NE(drawn_by_hand, has_composed) << utf8(c) << " U+" << std::hex << unsigned(c);
        const std::string line = capture_line(full, c);
        EXPECT_EQ(line, capture_line(drawn_by_hand ? hand_drawn : composed, c)) << utf8(c);
        (drawn_by_hand ? kept : filled)++;
    }
    EXPECT_GT(kept, 4000);
    EXPECT_GT(filled, 6000);
}

TEST(DefaultFace, CompositionCanBeTurnedOff) {
    surface on = capture_surface(make_default_typeface());
    surface off = capture_surface(make_default_typeface(composition::off));
    surface outline = capture_surface(
        std::make_shared<typeface>(std::vector{default_face_sources()[default_outline_face]}));
    EXPECT_NE(capture_line(on, U'\u8AAA'), capture_line(off, U'\u8AAA'));       // 說: composed
    EXPECT_EQ(capture_line(off, U'\u8AAA'), capture_line(outline, U'\u8AAA'));  // else Droid
    EXPECT_EQ(capture_line(on, U'\u570B'), capture_line(off, U'\u570B'));       // 國: by hand
}

TEST(DefaultFace, OpensTheLaterFacesOnlyWhenNeeded) {
    auto face = make_default_typeface();
    surface pic = capture_surface(face);
    pic.Print("6Ag\xE5\x9C\x8B\xE3\x81\x82");  // 6Ag國あ: all in the bitmap faces
    EXPECT_TRUE(face->is_open(0));
    EXPECT_TRUE(face->is_open(1));
    EXPECT_FALSE(face->is_open(default_composed_face));
    EXPECT_FALSE(face->is_open(default_outline_face));
    pic.Print("\xE8\xAA\xAA");  // 說 is not in Misaki: composed
    EXPECT_TRUE(face->is_open(default_composed_face));
    EXPECT_FALSE(face->is_open(default_outline_face));
    pic.Print("\xE3\x88\xA0");  // ㈠ is no ideograph: from the outlines
    EXPECT_TRUE(face->is_open(default_outline_face));
}

TEST(DefaultFace, LatinTextNeverOpensTheChineseFaces) {
    auto face = make_default_typeface();
    surface pic = capture_surface(face);
    pic.Print("Hello, 6!");
    EXPECT_FALSE(face->is_open(1));
    EXPECT_FALSE(face->is_open(2));
}

// tests/data/expected_lines.tsv: name, text, expected declaration.
TEST(DefaultFace, CapturesMatchTheCheckedInLines) {
    std::istringstream table(read_data("expected_lines.tsv"));
    surface pic = capture_surface(make_default_typeface());
    surface_box box(pic);
    std::string line;
    int rows = 0;
    while (std::getline(table, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto tab1 = line.find('\t');
        const auto tab2 = line.find('\t', tab1 + 1);
        ASSERT_NE(tab2, std::string::npos) << line;
        const std::string name = line.substr(0, tab1);
        string_box input(line.substr(tab1 + 1, tab2 - tab1 - 1));
        string_box output;
        ASSERT_FALSE(run_capture(box, input, output).has_value());
        EXPECT_EQ(output.text(), line.substr(tab2 + 1)) << name;
        ++rows;
    }
    EXPECT_GE(rows, 12);
}

}  // namespace
}  // namespace glyph8

namespace glyph8 {
namespace {

// The embedded bitmap faces are read directly rather than through FreeType;
// every glyph, the missing-glyph box among them, must come out as FreeType
// draws it, at the capture's size and at one the strikes do not have.
TEST(EmbeddedStrikes, DrawEveryGlyphAsFreeTypeDoes) {
    const auto sources = default_face_sources();
    for (const std::size_t face : {std::size_t{0}, default_composed_face}) {
        face_source through_freetype = sources[face];
        through_freetype.embedded = false;
        typeface direct({sources[face]});
        typeface reference({through_freetype});
        for (const float size : {8.0f, 9.0f}) {
            ASSERT_EQ(direct.set_size(size), status::ok);
            ASSERT_EQ(reference.set_size(size), status::ok);
            int differ = 0;
            for (char32_t c = 0; c <= 0xFFFF && differ < 5; ++c) {
                const glyph_image& a = direct.glyph(c);
                const glyph_image& b = reference.glyph(c);
                const bool same = a.left == b.left && a.top == b.top && a.width == b.width &&
                                  a.rows == b.rows && a.advance == b.advance &&
                                  a.missing == b.missing && a.ink == b.ink;
                differ += same ? 0 : 1;
                EXPECT_TRUE(same) << sources[face].name << " U+" << std::hex
                                  << static_cast<unsigned>(c) << " at " << size << " px";
            }
        }
        EXPECT_TRUE(direct.is_open(0));
    }
}

}  // namespace
}  // namespace glyph8
