#include "cli.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../unit/row_name.hpp"
#include "glyph8/utf8.hpp"

namespace glyph8::cli {
namespace {

struct outcome {
    int code;
    std::string out;
    std::string err;
};

outcome run_with(std::vector<std::string> args, const std::string& stdin_text = "") {
    string_source in(stdin_text);
    string_sink out;
    std::ostringstream err;
    const int code = run(args, in, out, err);
    return {code, out.text, err.str()};
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
const std::string six_grid =
    "// ........\n// .##.....\n// #.......\n// ###.....\n"
    "// #..#....\n// #..#....\n// .##.....\n// ........\n";
const std::string data = GLYPH8_TEST_DATA;
const std::string box_font = data + "/fonts/box8.bdf";

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
                 "no font has U+10FFFF"},
        // Layouts and number styles on the 6, whose pixels are known.
        cli_case{"layout_columns_is_the_default", {"--layout", "columns", "6"}, "", 0, six, ""},
        cli_case{"layout_columns_msb",
                 {"--layout=columns-msb", "6"},
                 "",
                 0,
                 "byte d[]={ 60, 82, 82, 12, 0, 0, 0, 0};\n",
                 ""},
        cli_case{"layout_rows",
                 {"--layout", "rows", "6"},
                 "",
                 0,
                 "byte d[]={ 0, 6, 1, 7, 9, 9, 6, 0};\n",
                 ""},
        cli_case{"layout_rows_msb_hex",
                 {"--layout", "rows-msb", "--hex", "6"},
                 "",
                 0,
                 "byte d[]={ 0x00, 0x60, 0x80, 0xE0, 0x90, 0x90, 0x60, 0x00};\n",
                 ""},
        cli_case{"hex",
                 {"--hex", "6"},
                 "",
                 0,
                 "byte d[]={ 0x3C, 0x4A, 0x4A, 0x30, 0x00, 0x00, 0x00, 0x00};\n",
                 ""},
        cli_case{"grid", {"--grid", "6"}, "", 0, six + six_grid, ""},
        cli_case{"unknown_layout", {"--layout", "diagonal", "6"}, "", 2, "", "unknown layout"},
        cli_case{"layout_without_value", {"6", "--layout"}, "", 2, "", "needs a value"},
        cli_case{"flag_with_value", {"--grid=yes", "6"}, "", 2, "", "takes no value"},
        // One glyph per character.
        cli_case{"each_repeats_once_in_first_seen_order",
                 {"--each", "6A6"},
                 "",
                 0,
                 "byte d[][8]={\n"
                 "  { 60, 74, 74, 48, 0, 0, 0, 0}, // U+0036 6\n"
                 "  { 124, 18, 18, 124, 0, 0, 0, 0}, // U+0041 A\n"
                 "};\n",
                 ""},
        cli_case{"each_skips_controls_and_names_backslash",
                 {"--each"},
                 "\\\t\n\n",
                 0,
                 "byte d[][8]={\n"
                 "  { 6, 8, 16, 96, 0, 0, 0, 0}, // U+005C backslash\n"
                 "};\n",
                 ""},
        cli_case{"each_chinese_hex_rows_msb_grid",
                 {"--each", "--hex", "--layout", "rows-msb", "--grid", "\xE5\x9C\x8B"},
                 "",
                 0,
                 "byte d[][8]={\n"
                 "  { 0xFE, 0x8A, 0xFE, 0xEA, 0x8A, 0xE6, 0xFE, 0x00}, // U+570B \xE5\x9C\x8B\n"
                 "  // #######.\n  // #...#.#.\n  // #######.\n  // ###.#.#.\n"
                 "  // #...#.#.\n  // ###..##.\n  // #######.\n  // ........\n"
                 "};\n",
                 ""},
        cli_case{"each_outside_the_bmp",
                 {"--each", "\xF0\x9F\x98\x80"},
                 "",
                 0,
                 "byte d[][8]={\n"
                 "  { 42, 64, 2, 84, 0, 0, 0, 0}, // U+1F600 \xF0\x9F\x98\x80\n"
                 "};\n",
                 "no font has U+1F600"},
        cli_case{"each_nothing_to_draw", {"--each", "\t"}, "", 2, "", "no character to draw"},
        cli_case{"dash_then_text", {"-", "6"}, "", 2, "", "more than one TEXT"},
        cli_case{"name_progmem",
                 {"--name", "six", "--progmem", "6"},
                 "",
                 0,
                 "const byte six[] PROGMEM = { 60, 74, 74, 48, 0, 0, 0, 0};\n",
                 ""},
        cli_case{"name_keyword", {"--name", "or", "6"}, "", 2, "", "cannot name an array"},
        cli_case{"name_gnu_keyword", {"--name", "typeof", "6"}, "", 2, "", "a keyword"},
        cli_case{"name_reserved", {"--name", "_X", "6"}, "", 2, "", "reserved to the compiler"},
        cli_case{"name_in_every_sketch", {"--name", "HIGH", "6"}, "", 2, "", "already has"},
        cli_case{"name_arduino_type", {"--name", "byte", "6"}, "", 2, "", "a type name"},
        cli_case{"name_stdint_type", {"--name", "uint8_t", "6"}, "", 2, "", "<stdint.h>"},
        cli_case{"name_stddef_type", {"--name", "size_t", "6"}, "", 2, "", "a type name"},
        cli_case{"name_arduino_macro",
                 {"--name", "min", "6"},
                 "",
                 2,
                 "",
                 "a macro or class every sketch has"},
        cli_case{"name_echoed_escaped",
                 {"--name", "a\x1B[31mRED\r", "6"},
                 "",
                 2,
                 "",
                 "'a\\e[31mRED\\r' cannot"},
        cli_case{"name_echoed_cut",
                 {"--name", std::string(10000, 'x'), "6"},
                 "",
                 2,
                 "",
                 "x... (10000 bytes)'"},
        cli_case{"byte_order_mark_skipped",
                 {},
                 "\xEF\xBB\xBF"
                 "6",
                 0,
                 six,
                 ""},
        cli_case{"font_format_refuses_declaration_settings",
                 {"--bdf", "--progmem", "--layout", "rows", "6"},
                 "",
                 2,
                 "",
                 "--progmem and --layout do not apply to --bdf"},
        cli_case{"one_format_at_a_time", {"--each", "--bdf", "6"}, "", 2, "", "choose one"},
        cli_case{"each_bidi_control_named_only",
                 {"--each", "\xE2\x80\xAE"},
                 "",
                 0,
                 "byte d[][8]={\n  { 42, 64, 2, 84, 0, 0, 0, 0}, // U+202E\n};\n",
                 "no font has U+202E;"},
        cli_case{"invalid_utf8_across_read_pieces",
                 {},
                 std::string(65535, 'a') + "\xE5\x9C",
                 2,
                 "",
                 "not valid UTF-8 (byte 65535)"},
        // Font files ahead of the default face.
        cli_case{"font_bdf_first",
                 {"--font", box_font, "A"},
                 "",
                 0,
                 "byte d[]={ 255, 129, 129, 129, 129, 129, 129, 255};\n",
                 ""},
        cli_case{"font_falls_back_to_default", {"--font=" + box_font, "6"}, "", 0, six, ""},
        cli_case{"font_missing",
                 {"--font", data + "/fonts/none.ttf", "6"},
                 "",
                 2,
                 "",
                 "none.ttf: No such file or directory"},
        cli_case{"font_directory", {"--font", data, "6"}, "", 2, "", "Is a directory"},
        // A Windows path as typed, its backslashes single; other values
        // keep \\ so that \e and \x9B read as escapes.
        cli_case{"font_windows_path_as_typed",
                 {"--font", "C:\\x.ttf", "6"},
                 "",
                 2,
                 "",
                 "glyph8-cli: C:\\x.ttf: "},
        cli_case{"font_truetype",
                 {"--font", data + "/fonts/square.ttf", "A"},
                 "",
                 0,
                 "byte d[]={ 0, 126, 126, 126, 126, 0, 0, 0};\n",
                 ""},
        cli_case{"font_cut_in_half",
                 {"--font", data + "/fonts/square_cut.ttf", "A"},
                 "",
                 2,
                 "",
                 "square_cut.ttf: damaged font (the glyf table runs past the end"},
        cli_case{"font_locations_backwards",
                 {"--font", data + "/fonts/square_loca_order.ttf", "A"},
                 "",
                 2,
                 "",
                 "damaged font (the glyph locations in the loca table go backwards"},
        cli_case{"font_glyph_past_its_table",
                 {"--font", data + "/fonts/square_glyf_past_end.ttf", "A"},
                 "",
                 2,
                 "",
                 "damaged font (glyph 1 lies past the end of the glyf table)"},
        cli_case{"font_glyph_fails_to_load",
                 {"--font", data + "/fonts/square_bad_glyph.ttf", "A"},
                 "",
                 0,
                 "byte d[]={ 124, 18, 18, 124, 0, 0, 0, 0};\n",
                 "square_bad_glyph.ttf: damaged font (the glyph of U+0041 A cannot be loaded"},
        cli_case{"font_corrupt",
                 {"--font", data + "/fonts/corrupt.ttf", "6"},
                 "",
                 2,
                 "",
                 "corrupt.ttf: damaged font (the table directory"},
        // A glyph with a box and no bitmap is reported, never read; so is a
        // character no font has, drawn from that font's glyph 0.
        cli_case{"font_glyph_without_bitmap",
                 {"--font", data + "/fonts/no_bitmap8.bdf", "A"},
                 "",
                 0,
                 "byte d[]={ 124, 18, 18, 124, 0, 0, 0, 0};\n",
                 "no_bitmap8.bdf: damaged font (the glyph of U+0041 A cannot be loaded"},
        cli_case{"font_without_bitmap_missing_character",
                 {"--font", data + "/fonts/no_bitmap8.bdf", "\xF4\x8F\xBF\xBF"},
                 "",
                 0,
                 "byte d[]={ 42, 64, 2, 84, 0, 0, 0, 0};\n",
                 "no font has U+10FFFF"},
        // The same checks whatever wraps the tables, on the face drawn with.
        cli_case{"font_woff",
                 {"--font", data + "/fonts/square.woff", "A"},
                 "",
                 0,
                 "byte d[]={ 0, 126, 126, 126, 126, 0, 0, 0};\n",
                 ""},
        cli_case{"font_woff_glyph_past_its_table",
                 {"--font", data + "/fonts/square_glyf_past_end.woff", "A"},
                 "",
                 2,
                 "",
                 "damaged font (glyph 1 lies past the end of the glyf table)"},
        cli_case{"font_woff_zlib_glyph_past_its_table",
                 {"--font", data + "/fonts/square_glyf_past_end_zlib.woff", "A"},
                 "",
                 2,
                 "",
                 "damaged font (glyph 1 lies past the end of the glyf table)"},
        cli_case{"font_collection_only_first_face_counts",
                 {"--font", data + "/fonts/square_then_damaged.ttc", "A"},
                 "",
                 0,
                 "byte d[]={ 0, 126, 126, 126, 126, 0, 0, 0};\n",
                 ""},
        cli_case{"font_cff",
                 {"--font", data + "/fonts/square.otf", "A"},
                 "",
                 0,
                 "byte d[]={ 0, 126, 126, 126, 126, 0, 0, 0};\n",
                 ""},
        cli_case{"font_cff_cut",
                 {"--font", data + "/fonts/square_cff_half.otf", "A"},
                 "",
                 2,
                 "",
                 "square_cff_half.otf: damaged font (no glyph of it can be read)"},
        cli_case{"font_not_unicode",
                 {"--font", data + "/fonts/box8_koi8.bdf", "A"},
                 "",
                 2,
                 "",
                 "its characters are not Unicode (KOI8-R)"},
        cli_case{"font_size_unreadable",
                 {"--font", data + "/fonts/box8_huge_ascent.bdf", "A"},
                 "",
                 2,
                 "",
                 "pixel size cannot be read"},
        cli_case{"font_wrong_bitmap_size",
                 {"--font", data + "/fonts/box16.bdf", "6"},
                 "",
                 2,
                 "",
                 "without an 8 px size (it has 16 px)"}),
    testing_support::row_name{});

// Distinct ideographs from U+4E00, as UTF-8.
std::string ideographs(int count) {
    std::string text;
    for (char32_t c = 0x4E00; c < 0x4E00 + static_cast<char32_t>(count); ++c) {
        append_utf8(text, c);
    }
    return text;
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// The delays of a GIF's frames, in hundredths of a second.
std::vector<unsigned> gif_delays(const std::string& gif) {
    std::vector<unsigned> delays;
    for (std::size_t at = 0; (at = gif.find("\x21\xF9\x04", at)) != std::string::npos; at += 3) {
        delays.push_back(static_cast<unsigned char>(gif[at + 4]) |
                         static_cast<unsigned char>(gif[at + 5]) << 8);
    }
    return delays;
}

TEST(Cli, PreviewsPlayAtTheBoardsPace) {
    // Browsers show a frame of under 2/100 s for 1/10: faster steps are
    // merged into frames of 2/100 s or more, and the show takes as long.
    struct row {
        const char* name;
        const char* step;
        unsigned total;  // hundredths: 5 columns of l and 32 of the display, a step each
    };
    const row rows[] = {{"ten_ms", "10", 37}, {"fifteen_ms", "15", 56}, {"sixty_ms", "60", 222}};
    for (const row& r : rows) {
        const outcome got = run_with({"--preview", "--scroll", r.step, "l"});
        ASSERT_EQ(got.code, exit_ok) << r.name;
        const std::vector<unsigned> delays = gif_delays(got.out);
        unsigned total = 0;
        for (const unsigned d : delays) {
            EXPECT_GE(d, 2u) << r.name;
            total += d;
        }
        EXPECT_EQ(total, r.total) << r.name;
    }
}

TEST(Cli, ASketchSaysHowToMakeItAgain) {
    const outcome got = run_with(
        {"--sketch", "--no-compose", "--font", box_font, "--page", "500", "--modules", "2", "說"});
    ASSERT_EQ(got.code, exit_ok) << got.err;
    EXPECT_NE(got.out.find("Made with: glyph8-cli --sketch --display max7219 --board fc16 "
                           "--modules 2 --page 500 --arduino uno --font " +
                           box_font + " --no-compose\n"),
              std::string::npos)
        << got.out.substr(0, 600);
}

TEST(Cli, BrightnessIsTheChipsValueAndSaidInTheSketch) {
    struct row {
        const char* name;
        std::vector<std::string> args;
        std::string wanted;
    };
    const row rows[] = {
        {"max7219_steps", {"--brightness", "9"}, "#define INTENSITY 9  // --brightness 9\n"},
        {"oled_contrast_byte",
         {"--display", "ssd1306spi", "--brightness", "15"},
         "#define OLED_CONTRAST 255  // --brightness 15\n"},
        {"lcd_vop", {"--display", "pcd8544", "--contrast", "0"}, "#define LCD_CONTRAST 0  //"},
        {"made_with", {"--display", "ht16k33", "--brightness", "0"}, "--brightness 0 --arduino"},
        {"address_in_decimal",
         {"--display", "sh1106", "--address", "61"},
         "#define OLED_ADDRESS 0x3D  // --address 0x3D\n"},
    };
    for (const row& r : rows) {
        std::vector<std::string> args = {"--sketch", "--no-compose", "--font", box_font};
        args.insert(args.end(), r.args.begin(), r.args.end());
        args.emplace_back("A");
        const outcome got = run_with(args);
        ASSERT_EQ(got.code, exit_ok) << r.name << ": " << got.err;
        EXPECT_NE(got.out.find(r.wanted), std::string::npos) << r.name;
    }
}

TEST(Cli, SketchesAreRefusedWhenTheyCannotBeWritten) {
    struct row {
        const char* name;
        std::vector<std::string> args;
        std::string err_contains;
    };
    const row rows[] = {
        {"too_much_for_an_uno", {"--sketch", ideographs(3000)}, "bytes of flash"},
        {"zero_modules", {"--sketch", "--modules", "0", "A"}, "from 1 to 16"},
        {"unknown_board", {"--preview", "--board", "fc17", "A"}, "takes --board fc16 or dip"},
        {"board_of_another_display",
         {"--sketch", "--board", "row-anode", "A"},
         "takes --board fc16 or dip"},
        {"unknown_display", {"--sketch", "--display", "lcd", "A"}, "choose max7219"},
        {"unknown_arduino", {"--sketch", "--arduino", "due", "A"}, "choose uno or mega"},
        {"colour_on_single_colour_leds",
         {"--sketch", "--color", "00FF00", "A"},
         "takes no --color"},
        {"scroll_and_page", {"--sketch", "--scroll", "60", "--page", "500", "A"}, "choose one"},
        // Brightness where the chip has it, contrast on the LCD, each in its range.
        {"brightness_on_a_bare_matrix",
         {"--sketch", "--display", "matrix", "--brightness", "3", "A"},
         "takes no --brightness: its LEDs are as bright as their resistors let them be"},
        {"brightness_on_colour_leds",
         {"--intel-hex", "--display", "ws2812", "--brightness", "3", "A"},
         "--color sets how bright"},
        {"brightness_on_the_lcd",
         {"--sketch", "--display", "pcd8544", "--brightness", "3", "A"},
         "takes no --brightness; it takes --contrast"},
        {"contrast_on_an_oled",
         {"--sketch", "--display", "sh1106", "--contrast", "3", "A"},
         "takes no --contrast; it takes --brightness"},
        {"brightness_past_16_steps",
         {"--preview", "--display", "ht16k33", "--brightness", "16", "A"},
         "--display ht16k33 takes --brightness from 0 to 15"},
        {"contrast_past_vop",
         {"--sketch", "--display", "pcd8544", "--contrast", "128", "A"},
         "takes --contrast from 0 to 127"},
        {"brightness_far_past",
         {"--sketch", "--brightness", "99999999999999999999", "A"},
         "from 0 to 15"},
        {"brightness_not_a_number",
         {"--sketch", "--brightness", "-1", "A"},
         "whole number, not '-1'"},
        {"brightness_on_a_table", {"--each", "--brightness", "3", "A"}, "does not apply to --each"},
        // An address where the display is on I2C, one its modules can be set to.
        {"address_on_spi",
         {"--sketch", "--display", "ssd1306spi", "--address", "0x3D", "A"},
         "takes no --address: only displays on I2C have one (ht16k33, ssd1306, sh1106"},
        {"oled_address_past_its_two",
         {"--intel-hex", "--display", "ssd1306", "--address", "0x3E", "A"},
         "takes --address 0x3C or 0x3D, not '0x3E'"},
        {"chain_past_0x77",
         {"--sketch", "--display", "ht16k33", "--modules", "4", "--address", "0x75", "A"},
         "from 0x70 to 0x74 (its leftmost module's; the 4 modules take the addresses after it)"},
        {"address_without_0x",
         {"--sketch", "--display", "sh1106", "--address", "3D", "A"},
         "not '3D'"},
        {"modules_on_the_default_line",
         {"--modules", "3", "x"},
         "--modules does not apply to the one-line declaration (no format given); only to "
         "--sketch, --preview and --intel-hex"},
        {"step_too_short", {"--sketch", "--scroll", "5", "A"}, "from 10 to 60000"},
        {"declaration_settings", {"--sketch", "--hex", "A"}, "--hex does not apply to --sketch"},
        {"matrix_settings_on_a_table",
         {"--each", "--page", "500", "A"},
         "does not apply to --each"},
        {"nothing_to_draw", {"--sketch", "\t"}, "no character to draw"},
        // A preview shows only what a sketch can.
        {"preview_of_too_much_for_an_uno", {"--preview", ideographs(3000)}, "bytes of flash"},
        {"preview_past_its_frames",
         {"--preview", repeated("國", 4600)},
         "frames; it shows at most 36000"},
    };
    for (const row& r : rows) {
        const outcome got = run_with(r.args);
        EXPECT_EQ(got.code, exit_usage) << r.name;
        EXPECT_EQ(got.out, "") << r.name;
        EXPECT_NE(got.err.find(r.err_contains), std::string::npos) << r.name << ": " << got.err;
    }
    // The most an Uno takes still fits.
    EXPECT_EQ(run_with({"--sketch", ideographs(2400)}).code, exit_ok);
}

TEST(Cli, LimitsAreSaidNotHit) {
    // A BDF font of more glyphs than FreeType reads back is refused.
    std::string many;
    for (char32_t c = 0x10000; c < 0x10000 + 65535; ++c) {
        append_utf8(many, c);
    }
    const outcome bdf = run_with({"--bdf", many});
    EXPECT_EQ(bdf.code, exit_usage);
    EXPECT_NE(bdf.err.find("--bdf holds at most 65535 characters; the text has 65536"),
              std::string::npos)
        << bdf.err;
    // Characters no font has are named up to a point, then counted.
    std::string unassigned;
    for (char32_t c = 0x10FFA0; c < 0x10FFA0 + 30; ++c) {
        append_utf8(unassigned, c);
    }
    const outcome each = run_with({"--each", unassigned});
    EXPECT_EQ(each.code, exit_ok);
    std::size_t named = 0;
    for (std::size_t at = 0; (at = each.err.find("no font has U+", at)) != std::string::npos;
         ++at) {
        ++named;
    }
    EXPECT_EQ(named, 20u);
    EXPECT_NE(each.err.find("... and 10 more characters no font has"), std::string::npos);
}

// Fonts built to cost far more than their size: refused, or read, in time
// and memory bounded by the file.
TEST(Cli, HostileFontsCostLittle) {
    const auto write = [](const std::string& name, const std::string& bytes) {
        const std::string path = testing::TempDir() + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    // 60,000 faces that all point at one table directory of 65,535 records.
    std::string ttc = "ttcf";
    const auto u32 = [](std::string& out, std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out += static_cast<char>((v >> shift) & 0xFF);
        }
    };
    const std::uint32_t faces = 60000;
    u32(ttc, 0x00010000);
    u32(ttc, faces);
    const std::uint32_t directory = 12 + 4 * faces;
    for (std::uint32_t i = 0; i < faces; ++i) {
        u32(ttc, directory);
    }
    u32(ttc, 0x00010000);
    ttc += std::string("\xFF\xFF\0\0\0\0\0\0", 8);  // 65,535 tables
    ttc += std::string(65535 * 16, '\0');
    const auto start = std::chrono::steady_clock::now();
    const outcome many = run_with({"--font", write("glyph8_many_faces.ttc", ttc), "A"});
    EXPECT_EQ(many.code, exit_usage) << many.err;
    // Checking every face's directory took minutes; one takes milliseconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // Glyphs whose BBX asks for 8 KB each and whose bitmaps are empty.
    std::string bdf =
        "STARTFONT 2.1\nFONT bomb\nSIZE 8 72 72\nFONTBOUNDINGBOX 255 255 0 0\n"
        "STARTPROPERTIES 2\nFONT_ASCENT 7\nFONT_DESCENT 1\nENDPROPERTIES\nCHARS 20000\n";
    for (int i = 0; i < 20000; ++i) {
        bdf += "STARTCHAR g\nENCODING " + std::to_string(65 + i) +
               "\nDWIDTH 8 0\nBBX 255 255 0 0\nBITMAP\nENDCHAR\n";
    }
    bdf += "ENDFONT\n";
    const outcome bomb = run_with({"--font", write("glyph8_bomb.bdf", bdf), "A"});
    EXPECT_EQ(bomb.code, exit_usage);
    EXPECT_NE(bomb.err.find("would take more than 128 MiB of memory"), std::string::npos)
        << bomb.err;
}

#if defined(_WIN32)
TEST(Cli, ALoneSurrogateInAnArgumentIsRefusedAsOnEverySystem) {
    const std::string text = argument_from_wide(
        L"a\xD800"
        L"b\xD83D\xDE00");
    EXPECT_EQ(text.substr(5), "\xF0\x9F\x98\x80");
    const outcome got = run_with({text});
    EXPECT_EQ(got.code, exit_usage);
    EXPECT_NE(got.err.find("not valid UTF-8 (byte 1)"), std::string::npos) << got.err;
}
#endif

TEST(Cli, HelpAndVersionSayWhatTheyShould) {
    const outcome help = run_with({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("usage: glyph8-cli"), std::string::npos);
    // Lists made from the tables (displays, levels) wrap as the rest does.
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;
    }
    const outcome version = run_with({"--version"});
    EXPECT_EQ(version.code, 0);
    for (const char* needle :
         {"misc-fixed 5x8", "public domain", "Misaki Gothic", "Droid Sans Fallback",
          "Apache License 2.0", "MIT licence", "The glyph8 developers"}) {
        EXPECT_NE(version.out.find(needle), std::string::npos) << needle;
    }
}

// FreeType, the reader every other tool uses too, must take the font back
// and draw exactly the glyphs it was written from.
TEST(Cli, BdfOutputDrawsBackTheSameGlyphs) {
    const std::string text = "6A\\\xE5\x9C\x8B\xE8\xAA\xAA\xF0\x9F\x98\x80";
    const outcome bdf = run_with({"--bdf", text});
    ASSERT_EQ(bdf.code, 0) << bdf.err;
    const std::string path = testing::TempDir() + "glyph8_round_trip.bdf";
    std::ofstream(path, std::ios::binary) << bdf.out;
    const outcome back = run_with({"--font", path, "--each", text});
    EXPECT_EQ(back.code, 0) << back.err;
    EXPECT_EQ(back.out, run_with({"--each", text}).out);
}

TEST(Cli, AMegabyteOfTextIsNoTrouble) {
    const outcome got = run_with({}, "6" + std::string(1 << 20, 'x') + "\n");
    EXPECT_EQ(got.code, 0);
    EXPECT_EQ(got.out.substr(0, 21), six.substr(0, 21));
}

}  // namespace
}  // namespace glyph8::cli
