#include "glyph8/capture.hpp"

#include <gtest/gtest.h>

#include "row_name.hpp"

#include <string>
#include <vector>

#include "fake_controls.hpp"
#include "glyph8/default_face.hpp"

namespace glyph8 {
namespace {

using testing_support::fake_picture;
using testing_support::fake_text;

struct ink_at {
    int x;
    int y;
    std::int32_t colour = 0;
};

struct encode_case {
    const char* name;
    std::vector<ink_at> pixels;
    std::int32_t fill;
    const char* expected;
};

class Encode : public testing::TestWithParam<encode_case> {};

TEST_P(Encode, PacksColumnsTopBitLowest) {
    const auto& c = GetParam();
    fake_picture pic;
    pic.fill = c.fill;
    for (const auto& p : c.pixels) {
        pic.pixels[{p.x, p.y}] = p.colour;
    }
    std::string text;
    ASSERT_FALSE(encode(pic, text).has_value());
    EXPECT_EQ(text, c.expected);
}

std::vector<ink_at> row(int y) {
    std::vector<ink_at> pixels;
    for (int x = 0; x < 8; ++x) {
        pixels.push_back({x, y});
    }
    return pixels;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Encode,
    testing::Values(
        encode_case{"no_ink", {}, 0xFFFFFF, "byte d[]={ 0, 0, 0, 0, 0, 0, 0, 0};"},
        encode_case{"all_ink", {}, 0, "byte d[]={ 255, 255, 255, 255, 255, 255, 255, 255};"},
        encode_case{"top_left_only", {{0, 1}}, 0xFFFFFF, "byte d[]={ 1, 0, 0, 0, 0, 0, 0, 0};"},
        encode_case{
            "bottom_right_only", {{7, 8}}, 0xFFFFFF, "byte d[]={ 0, 0, 0, 0, 0, 0, 0, 128};"},
        encode_case{"outside_window",
                    {{0, 0}, {8, 1}, {3, 9}, {-1, 4}},
                    0xFFFFFF,
                    "byte d[]={ 0, 0, 0, 0, 0, 0, 0, 0};"},
        encode_case{"row_four", row(4), 0xFFFFFF, "byte d[]={ 8, 8, 8, 8, 8, 8, 8, 8};"},
        encode_case{"almost_black_and_grey",
                    {{0, 1, 1}, {1, 1, 0x808080}, {2, 2, -1}, {3, 3, 0x010000}},
                    0xFFFFFF,
                    "byte d[]={ 0, 0, 0, 0, 0, 0, 0, 0};"},
        encode_case{"diagonal",
                    {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}},
                    0xFFFFFF,
                    "byte d[]={ 1, 2, 4, 8, 16, 32, 64, 128};"},
        encode_case{"column_sums_rows",
                    {{2, 1}, {2, 3}, {2, 8}},
                    0xFFFFFF,
                    "byte d[]={ 0, 0, 133, 0, 0, 0, 0, 0};"}),
    testing_support::row_name{});

TEST(Encode, QueriesSixtyFourPixelsColumnByColumn) {
    fake_picture pic;
    std::string text;
    ASSERT_FALSE(encode(pic, text).has_value());
    std::vector<std::string> expected;
    for (int x = 0; x < 8; ++x) {
        for (int y = 1; y <= 8; ++y) {
            expected.push_back("Point(" + std::to_string(x) + "," + std::to_string(y) + ")");
        }
    }
    EXPECT_EQ(pic.calls, expected);
}

TEST(RunCapture, RunsTheStepsInOrder) {
    fake_picture pic;
    fake_text input("6");
    fake_text output("Text1");
    ASSERT_FALSE(run_capture(pic, input, output).has_value());
    const std::vector<std::string> head(pic.calls.begin(), pic.calls.begin() + 6);
    EXPECT_EQ(head, (std::vector<std::string>{"ScaleMode", "FontSize", "clear", "CurrentX",
                                              "CurrentY", "Print"}));
    EXPECT_EQ(pic.calls.size(), 6u + 64u);
    EXPECT_EQ(pic.printed, "6");
    EXPECT_EQ(output.text, "byte d[]={ 0, 0, 0, 0, 0, 0, 0, 0};");
}

struct failure_case {
    const char* name;
    const char* fail_on;  // picture call, or "read" / "write" for the text boxes
    capture_error expected;
};

class RunCaptureFailure : public testing::TestWithParam<failure_case> {};

TEST_P(RunCaptureFailure, StopsAtTheStepAndLeavesTheOutput) {
    const auto& c = GetParam();
    fake_picture pic;
    pic.fill = 0;  // all ink, so a write would change the output
    pic.fail_on = c.fail_on;
    pic.fail_with = c.expected.code;
    fake_text input("6");
    fake_text output("Text1");
    input.fail_read = std::string(c.fail_on) == "read";
    output.fail_write = std::string(c.fail_on) == "write";

    const capture_result result = run_capture(pic, input, output);

    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, c.expected);
    EXPECT_FALSE(result->message().empty());
    EXPECT_EQ(output.text, "Text1");
    // Nothing after the failed step runs; the output is written at most once.
    if (c.expected.op != operation::point && c.expected.op != operation::write_text) {
        EXPECT_EQ(pic.calls.back(), c.fail_on == std::string("read") ? "CurrentY" : c.fail_on);
    }
    EXPECT_EQ(output.writes, c.expected.op == operation::write_text ? 1 : 0);
}

constexpr auto pic_if = control_interface::picture_box;
constexpr auto text_if = control_interface::text_box;

INSTANTIATE_TEST_SUITE_P(
    Table, RunCaptureFailure,
    testing::Values(
        failure_case{
            "scale_mode", "ScaleMode", {status::unsupported, pic_if, operation::set_scale_mode}},
        failure_case{
            "font_size", "FontSize", {status::invalid_value, pic_if, operation::set_font_size}},
        failure_case{"clear", "clear", {status::failed, pic_if, operation::clear}},
        failure_case{"current_x", "CurrentX", {status::failed, pic_if, operation::set_current_x}},
        failure_case{"current_y", "CurrentY", {status::failed, pic_if, operation::set_current_y}},
        failure_case{"read_input", "read", {status::failed, text_if, operation::read_text}},
        failure_case{"print_throws", "Print", {status::failed, pic_if, operation::print}},
        failure_case{"point", "Point", {status::out_of_memory, pic_if, operation::point}},
        failure_case{"write_output", "write", {status::failed, text_if, operation::write_text}}),
    testing_support::row_name{});

TEST(CaptureError, MessageNamesControlOperationAndStatus) {
    const capture_error e{status::failed, control_interface::picture_box, operation::point};
    EXPECT_EQ(e.message(), "the picture box could not read a pixel (failed)");
    const capture_error t{status::out_of_memory, control_interface::text_box,
                          operation::write_text};
    EXPECT_EQ(t.message(), "the text box could not be written (out of memory)");
}

// Captures on the real surface and default face, as the window does.
class CaptureOnSurface : public testing::Test {
  protected:
    surface pic = capture_surface(make_default_typeface());
    surface_box box{pic};

    std::string capture(const std::string& text) {
        string_box input(text);
        string_box output("Text1");
        const capture_result result = run_capture(box, input, output);
        EXPECT_FALSE(result.has_value()) << result->message();
        return output.text();
    }
};

TEST_F(CaptureOnSurface, BlankInputsGiveTheEmptyGlyph) {
    const std::string empty = "byte d[]={ 0, 0, 0, 0, 0, 0, 0, 0};";
    for (const char* text : {"", " ", "\t", "\n", "  "}) {
        EXPECT_EQ(capture(text), empty) << "input: '" << text << "'";
    }
}

TEST_F(CaptureOnSurface, DigitSixMatchesItsKnownGlyph) {
    EXPECT_EQ(capture("6"), "byte d[]={ 60, 74, 74, 48, 0, 0, 0, 0};");
}

TEST_F(CaptureOnSurface, OnlyTheFirstEightColumnsCount) {
    // Misaki's ideographs fill the window; whatever follows starts at column 8.
    const std::string alone = capture("國");
    EXPECT_EQ(capture("國6AB說"), alone);
    EXPECT_EQ(capture("國" + std::string(1 << 20, 'W')), alone);
}

TEST_F(CaptureOnSurface, EachCaptureShowsTheCurrentInputAlone) {
    const std::string six = capture("6");
    EXPECT_NE(capture("A"), six);
    EXPECT_EQ(capture(""), "byte d[]={ 0, 0, 0, 0, 0, 0, 0, 0};");
    EXPECT_EQ(capture("6"), six);
}

}  // namespace
}  // namespace glyph8
