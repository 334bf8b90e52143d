#include "glyph8/utf8.hpp"

#include <gtest/gtest.h>

#include "row_name.hpp"

#include <optional>
#include <string>
#include <vector>

namespace glyph8 {
namespace {

struct decode_case {
    const char* name;
    std::string bytes;
    std::vector<char32_t> expected;
};

class DecodeUtf8 : public testing::TestWithParam<decode_case> {};

TEST_P(DecodeUtf8, YieldsCodePointsAndReplacements) {
    const auto& c = GetParam();
    std::vector<char32_t> got;
    std::size_t pos = 0;
    while (pos < c.bytes.size()) {
        got.push_back(decode_utf8(c.bytes, pos));
    }
    EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeUtf8,
    testing::Values(decode_case{"ascii", "A6", {U'A', U'6'}},
                    decode_case{"two_bytes", "\xC3\xA9", {U'\u00E9'}},
                    decode_case{"three_bytes_cjk", "\xE5\x9C\x8B", {U'\u570B'}},
                    decode_case{"four_bytes", "\xF0\x9F\x98\x80", {U'\U0001F600'}},
                    decode_case{"largest", "\xF4\x8F\xBF\xBF", {U'\U0010FFFF'}},
                    decode_case{
                        "past_largest", "\xF4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
                    decode_case{"overlong_slash", "\xC0\xAF", {0xFFFD, 0xFFFD}},
                    decode_case{"overlong_three", "\xE0\x80\xAF", {0xFFFD, 0xFFFD, 0xFFFD}},
                    decode_case{"surrogate", "\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}},
                    decode_case{"stray_continuation",
                                "\x80"
                                "A",
                                {0xFFFD, U'A'}},
                    decode_case{"truncated_at_end", "\xE5\x9C", {0xFFFD}},
                    decode_case{"truncated_then_ascii",
                                "\xE5\x9C"
                                "A",
                                {0xFFFD, U'A'}},
                    decode_case{"invalid_lead", "\xFF\xFE", {0xFFFD, 0xFFFD}},
                    decode_case{"nul_kept", std::string("a\0b", 3), {U'a', 0, U'b'}}),
    testing_support::row_name{});

struct validate_case {
    const char* name;
    std::string bytes;
    std::optional<std::size_t> first_bad;
};

class FindInvalidUtf8 : public testing::TestWithParam<validate_case> {};

TEST_P(FindInvalidUtf8, NamesTheFirstBadByte) {
    EXPECT_EQ(find_invalid_utf8(GetParam().bytes), GetParam().first_bad);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindInvalidUtf8,
    testing::Values(validate_case{"empty", "", std::nullopt},
                    validate_case{"mixed_valid", "6\xE5\x9C\x8B\xF0\x9F\x98\x80", std::nullopt},
                    validate_case{"real_replacement_char", "\xEF\xBF\xBD", std::nullopt},
                    validate_case{"bad_after_valid", "ab\xE5\x9C\x8B\xFF", 5},
                    validate_case{"truncated_tail", "abc\xE5\x9C", 3},
                    validate_case{"surrogate", "x\xED\xB0\x80", 1},
                    validate_case{"overlong", "\xC1\xBF", 0}),
    testing_support::row_name{});

TEST(AppendUtf8, RoundTripsThroughTheDecoder) {
    for (const char32_t c :
         {U'\0', U'A', U'\u00E9', U'\u570B', U'\uFFFD', U'\U0001F600', U'\U0010FFFF'}) {
        std::string bytes;
        append_utf8(bytes, c);
        std::size_t pos = 0;
        EXPECT_EQ(decode_utf8(bytes, pos), c);
        EXPECT_EQ(pos, bytes.size());
    }
    std::string bytes;
    append_utf8(bytes, 0xD800);
    EXPECT_EQ(bytes, "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace glyph8
