#include "cli.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "../unit/row_name.hpp"

namespace glyph8::cli {
namespace {

struct outcome {
    int code;
    std::string out;
    std::string err;
};

outcome run_with(std::vector<std::string> args, const std::string& stdin_text = "") {
    std::istringstream in(stdin_text);
    std::ostringstream out;
    std::ostringstream err;
    const int code = run(args, in, out, err);
    return {code, out.str(), err.str()};
}

struct cli_case {
    const char* name;
    std::vector<std::string> args;
    std::string stdin_text;
    int code;
    std::string out;           // exact standard output
    std::string err_contains;  // empty: standard error must be empty
};

class Cli : public testing::TestWithParam<cli_case> {};

TEST_P(Cli, PrintsTheDeclarationOrAClearError) {
    const auto& c = GetParam();
    const outcome got = run_with(c.args, c.stdin_text);
    EXPECT_EQ(got.code, c.code);
    EXPECT_EQ(got.out, c.out);
    if (c.err_contains.empty()) {
        EXPECT_EQ(got.err, "");
    } else {
        EXPECT_NE(got.err.find(c.err_contains), std::string::npos) << got.err;
    }
}

const std::string six = "byte d[]={ 60, 74, 74, 48, 0, 0, 0, 0};\n";
const std::string blank = "byte d[]={ 0, 0, 0, 0, 0, 0, 0, 0};\n";

INSTANTIATE_TEST_SUITE_P(
    Table, Cli,
    testing::Values(
        cli_case{"text_argument", {"6"}, "", 0, six, ""},
        cli_case{"stdin_without_argument", {}, "6\n", 0, six, ""},
        cli_case{"stdin_with_dash", {"-"}, "6\r\n", 0, six, ""},
        cli_case{"stdin_only_one_newline_dropped", {}, "\n\n", 0, blank, ""},
        cli_case{"empty_stdin", {}, "", 0, blank, ""},
        cli_case{"empty_argument", {""}, "", 0, blank, ""},
        cli_case{"double_dash_takes_option_like_text",
                 {"--", "-6"},
                 "",
                 0,
                 "byte d[]={ 16, 16, 16, 16, 0, 60, 74, 74};\n",
                 ""},
        cli_case{"unknown_option", {"--bogus"}, "", 2, "", "unknown option '--bogus'"},
        cli_case{"two_texts", {"6", "7"}, "", 2, "", "more than one TEXT"},
        cli_case{"invalid_utf8_argument", {"ab\xFF"}, "", 2, "", "not valid UTF-8 (byte 2)"},
        cli_case{"invalid_utf8_stdin", {}, "\xE5\x9C", 2, "", "not valid UTF-8 (byte 0)"},
        cli_case{"missing_glyph_warns",
                 {"\xF4\x8F\xBF\xBF"},
                 "",
                 0,
                 "byte d[]={ 42, 64, 2, 84, 0, 0, 0, 0};\n",
                 "no font has U+10FFFF"}),
    testing_support::row_name{});

TEST(Cli, HelpAndVersionSayWhatTheyShould) {
    const outcome help = run_with({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("usage: glyph8-cli"), std::string::npos);
    const outcome version = run_with({"--version"});
    EXPECT_EQ(version.code, 0);
    for (const char* needle : {"misc-fixed 5x8", "public domain", "Misaki Gothic",
                               "Droid Sans Fallback", "Apache License 2.0"}) {
        EXPECT_NE(version.out.find(needle), std::string::npos) << needle;
    }
}

TEST(Cli, AMegabyteOfTextIsNoTrouble) {
    const outcome got = run_with({}, "6" + std::string(1 << 20, 'x') + "\n");
    EXPECT_EQ(got.code, 0);
    EXPECT_EQ(got.out.substr(0, 21), six.substr(0, 21));
}

}  // namespace
}  // namespace glyph8::cli
