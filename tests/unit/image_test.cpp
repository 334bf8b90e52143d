// The block a prebuilt program reads: it must hold what a sketch's arrays
// hold for the same message, laid out as the program reads it, and a
// damaged block must not check out.
#include "glyph8/image.hpp"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "glyph8/output.hpp"

namespace glyph8::output {
namespace {

class text_stream : public stream {
  public:
    bool flush() override {
        all += text();
        text().clear();
        return true;
    }
    std::string all;
};

// `characters` characters of `width` columns; `distinct` of them differ.
message_strip strip_of(std::size_t characters, std::size_t width, std::size_t distinct) {
    message_strip s;
    for (std::size_t i = 0; i < characters; ++i) {
        s.starts.push_back(s.columns.size());
        for (std::size_t c = 0; c < width; ++c) {
            // The first two columns tell the distinct pieces apart.
            const std::size_t k = i % distinct;
            s.columns.push_back(static_cast<std::uint8_t>(c == 0 ? k & 0xFF : c == 1 ? k >> 8 : c));
        }
    }
    return s;
}

// The arrays and constants of a sketch, by name.
std::map<std::string, std::vector<std::uint32_t>> sketch_tables(const std::string& sketch) {
    std::map<std::string, std::vector<std::uint32_t>> t;
    const std::regex array(R"(const \w+ (\w+)\[\] PROGMEM = \{([^}]*)\})");
    for (auto it = std::sregex_iterator(sketch.begin(), sketch.end(), array);
         it != std::sregex_iterator(); ++it) {
        std::vector<std::uint32_t>& values = t[(*it)[1]];
        const std::string list = (*it)[2];
        const std::regex number(R"(\d+)");
        for (auto n = std::sregex_iterator(list.begin(), list.end(), number);
             n != std::sregex_iterator(); ++n) {
            values.push_back(static_cast<std::uint32_t>(std::stoul(n->str())));
        }
    }
    const std::regex constant(R"(const uint\d+_t (\w+) = (\d+)(?:UL)?;)");
    for (auto it = std::sregex_iterator(sketch.begin(), sketch.end(), constant);
         it != std::sregex_iterator(); ++it) {
        t[(*it)[1]] = {static_cast<std::uint32_t>(std::stoul((*it)[2]))};
    }
    const std::regex define(
        R"(#define (MODULES|STEP_MS|COLOR_R|COLOR_G|COLOR_B|FC16_WIRING|BACKPACK|ROW_ANODE|SERPENTINE|OLED_FLIPPED|LCD_FLIPPED|INTENSITY|BRIGHTNESS|OLED_CONTRAST|LCD_CONTRAST|OLED_ADDRESS|HT16K33_ADDRESS) (0x[0-9A-F]+|\d+)\b)");
    for (auto it = std::sregex_iterator(sketch.begin(), sketch.end(), define);
         it != std::sregex_iterator(); ++it) {
        // The sketch's own value comes first; the driver's default after it.
        t.emplace((*it)[1], std::vector<std::uint32_t>{
                                static_cast<std::uint32_t>(std::stoul((*it)[2], nullptr, 0))});
    }
    return t;
}

// The block read as the program reads it, by the same names.
std::map<std::string, std::vector<std::uint32_t>> block_tables(const std::vector<std::uint8_t>& b,
                                                               std::string_view variant_macro,
                                                               std::string_view level_macro,
                                                               std::string_view address_macro) {
    const auto word = [&b](std::size_t at) {
        return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8);
    };
    std::map<std::string, std::vector<std::uint32_t>> t;
    const std::uint32_t columns = word(14), pieces = word(16), message = word(18), lines = word(20);
    std::size_t at = block_header_size;
    for (std::uint32_t i = 0; i < columns; ++i) {
        t["PIECE_COLUMNS"].push_back(b[at++]);
    }
    for (std::uint32_t i = 0; i <= pieces; ++i, at += 2) {
        t["PIECE_START"].push_back(word(at));
    }
    for (std::uint32_t i = 0; i < message; ++i, at += 2) {
        t["MESSAGE"].push_back(word(at));
    }
    for (std::uint32_t i = 0; i < lines; ++i) {
        t["LINE_WIDTH"].push_back(b[at++]);
    }
    EXPECT_EQ(at + 2, b.size());
    t["MESSAGE_PIECES"] = {message};
    t["MESSAGE_COLUMNS"] = {word(22) | word(24) << 16};
    if (lines > 0) {
        t["LINES"] = {lines};
    }
    t["MODULES"] = {b[7]};
    t["STEP_MS"] = {word(12)};
    if (!variant_macro.empty()) {
        t[std::string(variant_macro)] = {b[6]};
    }
    if (!level_macro.empty()) {
        t[std::string(level_macro)] = {b[26]};
    }
    if (!address_macro.empty()) {
        t[std::string(address_macro)] = {b[27]};
    }
    return t;
}

struct block_case {
    const char* name;
    const char* display;
    const char* board;  // wiring
    int modules;
    motion mode;
    std::size_t characters, width, distinct;
    std::uint32_t colour;
    int level = -1;  // --brightness or --contrast; -1: not given
    const char* address = nullptr;
};

const block_case block_cases[] = {
    {"max7219_scroll", "max7219", "fc16", 4, motion::scroll, 12, 8, 5, 0},
    {"max7219_dip_page", "max7219", "dip", 2, motion::page, 9, 8, 9, 0, 0},
    {"ht16k33_plain_page", "ht16k33", "plain", 3, motion::page, 20, 5, 4, 0, 4, "0x75"},
    {"oled_page_many_lines", "ssd1306", "module", 1, motion::page, 300, 8, 30, 0},
    {"oled32_page_many_lines", "ssd1306x32", "module", 1, motion::page, 300, 8, 30, 0},
    {"oled_flipped_scroll", "sh1106", "flipped", 1, motion::scroll, 5, 8, 2, 0, 15, "0x3D"},
    {"oled_spi_page", "ssd1306spi", "module", 1, motion::page, 40, 8, 12, 0},
    {"lcd_page_many_lines", "pcd8544", "module", 1, motion::page, 300, 8, 30, 0},
    {"lcd_flipped_scroll", "pcd8544", "flipped", 1, motion::scroll, 5, 8, 2, 0, 70},
    {"matrix_cathode", "matrix", "row-cathode", 1, motion::scroll, 4, 6, 4, 0},
    // More than 256 distinct pieces: the sketch's message index is 16 bits.
    {"wide_index", "hc595", "row-anode", 1, motion::scroll, 400, 3, 300, 0},
    {"ws2812_dimmed", "ws2812", "progressive", 2, motion::scroll, 6, 8, 6, 0xFFFFFF},
};

TEST(Block, HoldsWhatTheSketchsArraysHold) {
    for (const block_case& c : block_cases) {
        SCOPED_TRACE(c.name);
        display_request r;
        r.display = c.display;
        r.board = c.board;
        if ((find_display(c.display)->options & takes_modules) != 0) {
            r.modules = c.modules;
        }
        r.mode = c.mode;
        if (c.colour != 0) {
            r.colour = "FFFFFF";
        }
        if (c.address != nullptr) {
            r.address = c.address;
        }
        if (c.level >= 0) {
            (find_display(c.display)->level.option == "--contrast" ? r.contrast : r.brightness) =
                c.level;
        }
        settings s;
        ASSERT_EQ(resolve(r, s.matrix), "");
        const message_strip strip = strip_of(c.characters, c.width, c.distinct);
        text_stream sketch;
        ASSERT_EQ(make_sketch_writer(s)->write(sketch, strip, "text"), "");
        std::vector<std::uint8_t> block;
        ASSERT_EQ(write_block(strip, s.matrix, block), "");

        ASSERT_GT(block.size(), block_header_size + 2);
        EXPECT_EQ(block[0], 'g');
        EXPECT_EQ(block[1], '8');
        EXPECT_EQ(block[2], block_version);
        EXPECT_EQ(&displays()[block[3]], s.matrix.shown_on);
        EXPECT_EQ(block[4] | block[5] << 8, static_cast<int>(block.size()));
        EXPECT_EQ(block[8], c.mode == motion::page ? 1 : 0);
        const std::uint16_t crc = block_crc({block.data(), block.size() - 2});
        EXPECT_EQ(block[block.size() - 2] | block[block.size() - 1] << 8, crc);

        const std::string_view define = s.matrix.shown_on->variants.front().define;
        auto from_sketch = sketch_tables(sketch.all);
        auto from_block =
            block_tables(block, define.substr(0, define.find(' ')), s.matrix.shown_on->level.macro,
                         s.matrix.shown_on->address.macro);
        for (const auto& [name, values] : from_block) {
            EXPECT_EQ(from_sketch[name], values) << name;
        }
        if (c.colour != 0) {
            EXPECT_EQ(from_sketch["COLOR_R"], std::vector<std::uint32_t>{block[9]});
            EXPECT_EQ(from_sketch["COLOR_G"], std::vector<std::uint32_t>{block[10]});
            EXPECT_LT(block[9], 0xFF) << "dimmed to the current budget";
        }
    }
}

TEST(Block, AnyDamagedByteFailsItsCheck) {
    settings s;
    std::vector<std::uint8_t> block;
    ASSERT_EQ(write_block(strip_of(10, 8, 10), s.matrix, block), "");
    const std::uint16_t crc = block_crc({block.data(), block.size() - 2});
    for (std::size_t i = 0; i + 2 < block.size(); ++i) {
        for (const std::uint8_t flip : {0x01, 0x80}) {
            block[i] ^= flip;
            EXPECT_NE(block_crc({block.data(), block.size() - 2}), crc) << "byte " << i;
            block[i] ^= flip;
        }
    }
    // CRC-16/CCITT-FALSE's check value.
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(block_crc(digits), 0x29B1);
}

TEST(UploadImage, ProgramThenBlockOnABoundaryOrARefusal) {
    struct row {
        const char* name;
        const char* display;
        const char* board;
        std::size_t characters, distinct;
        const char* refusal;  // part of it; "" when it fits
    };
    const row rows[] = {
        {"uno_short", "max7219", "uno", 10, 10, ""},
        {"mega_short", "ssd1306", "mega", 10, 10, ""},
        // 3,500 distinct 8-column pieces: 28 KB of columns, past what an Uno
        // holds after the program, within a Mega's 64 KiB.
        {"uno_full", "max7219", "uno", 3500, 3500, "an Arduino Uno has room for"},
        {"mega_fits", "max7219", "mega", 3500, 3500, ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        display_request request;
        request.display = r.display;
        request.arduino = r.board;
        matrix_settings m;
        ASSERT_EQ(resolve(request, m), "");
        upload_image image;
        const std::string why = make_upload_image(strip_of(r.characters, 8, r.distinct), m, image);
        if (*r.refusal != '\0') {
            EXPECT_NE(why.find(r.refusal), std::string::npos) << why;
            continue;
        }
        ASSERT_EQ(why, "");
        const board_image* program = find_board_image(*m.shown_on, *m.arduino);
        ASSERT_NE(program, nullptr);
        EXPECT_EQ(image.block_address % block_alignment, 0u);
        EXPECT_GE(image.block_address, program->code.size());
        EXPECT_LT(image.block_address, program->code.size() + block_alignment);
        EXPECT_TRUE(std::equal(program->code.begin(), program->code.end(), image.bytes.begin()));
        EXPECT_EQ(image.bytes[image.block_address], 'g');
        EXPECT_LE(image.bytes.size(), block_limit(*m.arduino));
    }
}

TEST(UploadImage, EveryDisplayHasAProgramForEveryBoard) {
    for (const display& d : displays()) {
        for (const arduino_board& b : arduino_boards()) {
            const board_image* image = find_board_image(d, b);
            ASSERT_NE(image, nullptr) << d.name << " on " << b.name;
            EXPECT_GT(image->code.size(), 1000u) << d.name << " on " << b.name;
        }
    }
}

}  // namespace
}  // namespace glyph8::output
