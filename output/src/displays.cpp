// The displays and the boards: a row each. A new display is a driver in
// output/drivers/ and a row here; --help, the checks of its options, the
// sketch and the preview follow from the row.
#include <algorithm>
#include <iterator>

#include "drivers.hpp"
#include "glyph8/display.hpp"

namespace glyph8::output {

namespace {

const arduino_board boards[] = {
    // The Nano and the Pro Mini at 16 MHz are Unos here.
    {"uno", "Arduino Uno", 32256, 2048, 32256},
    {"mega", "Arduino Mega 2560", 253952, 8192, 65536},
};

constexpr display_variant max7219_variants[] = {
    {"fc16", "FC16_WIRING 1",
     "the blue 4-in-1 boards: digit register d+1 drives row d, bit 7 is the leftmost column"},
    {"dip", "FC16_WIRING 0",
     "single modules with a 24-pin chip beside the LEDs: digit register d+1 drives column d, "
     "bit 0 is the top row"},
};

constexpr display_variant ht16k33_variants[] = {
    {"backpack", "BACKPACK 1",
     "the common 8x8 backpack: COM n drives row n, RAM bit b lights column (b+1) mod 8"},
    {"plain", "BACKPACK 0", "a matrix on the chip's rows and commons: bit b lights column b"},
};

constexpr display_variant oled_variants[] = {
    {"module", "OLED_FLIPPED 0",
     "the usual 4-pin module at I2C address 0x3C (--address 0x3D for the others), pins at the "
     "top"},
    {"flipped", "OLED_FLIPPED 1", "the same module mounted upside down, pins at the bottom"},
};

constexpr display_variant oled_spi_variants[] = {
    {"module", "OLED_FLIPPED 0",
     "the usual 7-pin module (GND VCC D0 D1 RES DC CS), pins at the top"},
    {"flipped", "OLED_FLIPPED 1", "the same module mounted upside down, pins at the bottom"},
};

constexpr display_variant pcd8544_variants[] = {
    {"module", "LCD_FLIPPED 0",
     "the usual 8-pin board (RST CE DC DIN CLK VCC BL GND), pins at the top"},
    {"flipped", "LCD_FLIPPED 1", "the same board mounted upside down, pins at the bottom"},
};

constexpr display_variant matrix_variants[] = {
    {"row-anode", "ROW_ANODE 1",
     "an LED lights while its row is HIGH and its column LOW (788BS, 1088BS parts)"},
    {"row-cathode", "ROW_ANODE 0",
     "an LED lights while its row is LOW and its column HIGH (1088AS parts)"},
};

constexpr display_variant ws2812_variants[] = {
    {"serpentine", "SERPENTINE 1", "rows run left to right, then right to left, and so on"},
    {"progressive", "SERPENTINE 0", "every row runs left to right"},
};

constexpr std::string_view matrix_pins =
    "ROW1..8 to D2..D9 through a resistor each, COL1..8 to D10, D11, D12, D13, A0, A1, A2, A3";

constexpr std::string_view i2c_uno = "SDA to A4, SCL to A5, VCC to 5V, GND to GND";
constexpr std::string_view i2c_mega = "SDA to 20, SCL to 21, VCC to 5V, GND to GND";
constexpr std::string_view spi_oled_uno =
    "D0 (clock) to 13, D1 (data) to 11, RES to 8, DC to 9, CS to 10, VCC to 5V, GND to GND";
constexpr std::string_view spi_oled_mega =
    "D0 (clock) to 52, D1 (data) to 51, RES to 8, DC to 9, CS to 10, VCC to 5V, GND to GND";

// The chips' own steps: 16 of current or duty on the LED drivers; an OLED's
// contrast is a byte, and 0..15 covers it in steps of 17.
constexpr display_level max7219_level{
    "--brightness", "INTENSITY", 15, 1, 2, "the chip's 16 steps of LED current (2 unless given)"};
constexpr display_level ht16k33_level{
    "--brightness", "BRIGHTNESS", 15, 1, 8, "the chip's 16 duty steps (8 unless given)"};
constexpr display_level oled_level{
    "--brightness",
    "OLED_CONTRAST",
    15,
    17,
    0xCF,
    "sent as the contrast byte N x 17 (0xCF, about 12, unless given)"};
constexpr display_level lcd_level{"--contrast",
                                  "LCD_CONTRAST",
                                  127,
                                  1,
                                  0x38,
                                  "Vop, the glass's drive voltage (56 unless given); glasses "
                                  "differ, and most look right from 48 to 69"};

constexpr display_address oled_address{"OLED_ADDRESS", 0x3C, 0x3D, 0x3C};
constexpr display_address ht16k33_address{"HT16K33_ADDRESS", 0x70, 0x77, 0x70};

const display table[] = {
    // clang-format off
    {"max7219", "MAX7219 8x8 modules in a chain, over SPI (the default)", "MAX7219 8x8 module",
     max7219_variants, display_shape::modules, takes_modules, 16, 4, motion::scroll, 60,
     display_look::red_leds, false, drivers::max7219,
     "DIN to 11, CLK to 13, CS to 10, VCC to 5V, GND to GND",
     "DIN to 51, CLK to 52, CS to 10, VCC to 5V, GND to GND", {1850, 28}, {2360, 28}, 1, {}, 8,
     {}, 128, max7219_level},
    {"ht16k33", "HT16K33 8x8 backpacks on I2C, at 0x70, 0x71, ... from the left",
     "HT16K33 8x8 backpack", ht16k33_variants, display_shape::modules, takes_modules, 8, 1,
     motion::scroll, 60, display_look::red_leds, false, drivers::ht16k33, i2c_uno, i2c_mega,
     {3600, 246}, {4060, 246}, 1, {}, 8, {}, 128, ht16k33_level, ht16k33_address},
    {"ssd1306", "a 128x64 SSD1306 OLED (0.96\") on I2C: eight lines of text",
     "128x64 SSD1306 OLED", oled_variants, display_shape::panel, 0, 1, 1, motion::page, 3000,
     display_look::oled, false, drivers::ssd1306, i2c_uno, i2c_mega, {3800, 250}, {4250, 250}, 1,
     drivers::oled, 8, drivers::oled_i2c, 128, oled_level,
     oled_address},
    {"sh1106", "a 128x64 SH1106 OLED (1.3\") on I2C: eight lines of text", "128x64 SH1106 OLED",
     oled_variants, display_shape::panel, 0, 1, 1, motion::page, 3000, display_look::oled, false,
     drivers::sh1106, i2c_uno, i2c_mega, {3800, 250}, {4250, 250}, 1, drivers::oled, 8,
     drivers::oled_i2c, 128, oled_level,
     oled_address},
    {"matrix", "a bare 8x8 LED matrix on 16 pins, scanned by the sketch", "bare 8x8 LED matrix",
     matrix_variants, display_shape::modules, 0, 1, 1, motion::scroll, 60,
     display_look::red_leds, false, drivers::matrix, matrix_pins, matrix_pins, {1800, 106},
     {2120, 106}, 1},
    {"hc595", "an 8x8 LED matrix behind two chained 74HC595 shift registers, over SPI",
     "8x8 LED matrix on two 74HC595", matrix_variants, display_shape::modules, 0, 1, 1,
     motion::scroll, 60, display_look::red_leds, false, drivers::hc595,
     "DS to 11, SH_CP to 13, ST_CP to 10, OE to GND, MR to 5V; the first 595 drives the rows, "
     "its Q7' feeds the second, which drives the columns",
     "DS to 51, SH_CP to 52, ST_CP to 10, OE to GND, MR to 5V; the first 595 drives the rows, "
     "its Q7' feeds the second, which drives the columns",
     {1860, 44}, {2390, 44}, 1},
    {"ws2812", "WS2812B 8x8 panels side by side, chained from the left (AVR boards only)",
     "WS2812B 8x8 panel", ws2812_variants, display_shape::modules,
     takes_modules | takes_colour | takes_current, 8, 1, motion::scroll, 60,
     display_look::colour_leds, true, drivers::ws2812,
     "DIN to 6 through a 330 ohm resistor; 5V and GND from a supply that gives the panels' "
     "current",
     "DIN to 6 through a 330 ohm resistor; 5V and GND from a supply that gives the panels' "
     "current",
     {1990, 32}, {2510, 32}, 25},
    // After the others, so that their numbers in a message's block stay.
    {"ssd1306x32", "a 128x32 SSD1306 OLED (0.91\") on I2C: four lines of text",
     "128x32 SSD1306 OLED", oled_variants, display_shape::panel, 0, 1, 1, motion::page, 3000,
     display_look::oled, false, drivers::ssd1306, i2c_uno, i2c_mega, {3800, 250}, {4250, 250}, 1,
     drivers::oled, 4, drivers::oled_i2c, 128, oled_level,
     oled_address},
    {"ssd1306spi", "a 128x64 SSD1306 OLED (0.96\") on SPI, the 7-pin module: eight lines of text",
     "128x64 SSD1306 OLED on SPI", oled_spi_variants, display_shape::panel, 0, 1, 1, motion::page,
     3000, display_look::oled, false, drivers::ssd1306, spi_oled_uno, spi_oled_mega, {2200, 40},
     {2670, 40}, 1, drivers::oled, 8, drivers::oled_spi, 128,
     oled_level},
    {"sh1106spi", "a 128x64 SH1106 OLED (1.3\") on SPI, the 7-pin module: eight lines of text",
     "128x64 SH1106 OLED on SPI", oled_spi_variants, display_shape::panel, 0, 1, 1, motion::page,
     3000, display_look::oled, false, drivers::sh1106, spi_oled_uno, spi_oled_mega, {2200, 40},
     {2670, 40}, 1, drivers::oled, 8, drivers::oled_spi, 128,
     oled_level},
    {"pcd8544", "a Nokia 5110 LCD (84x48, PCD8544) on SPI: six lines of text",
     "Nokia 5110 LCD (PCD8544)", pcd8544_variants, display_shape::panel, 0, 1, 1, motion::page,
     3000, display_look::lcd, false, drivers::pcd8544,
     "CLK to 13, DIN to 11, DC to 9, CE to 10, RST to 8, VCC to 3.3V, GND to GND; "
     "on a 5 V board through a level shifter or 10 kohm in each signal line",
     "CLK to 52, DIN to 51, DC to 9, CE to 10, RST to 8, VCC to 3.3V, GND to GND; "
     "through a level shifter or 10 kohm in each signal line",
     {2050, 40}, {2470, 40}, 1, {}, 6, {}, 84, lcd_level},
    // clang-format on
};

}  // namespace

std::span<const arduino_board> arduino_boards() noexcept {
    return boards;
}

const arduino_board* find_arduino(std::string_view name) noexcept {
    const auto* it = std::find_if(std::begin(boards), std::end(boards),
                                  [&](const arduino_board& b) { return b.name == name; });
    return it == std::end(boards) ? nullptr : it;
}

std::span<const display> displays() noexcept {
    return table;
}

const display* find_display(std::string_view name) noexcept {
    const auto* it = std::find_if(std::begin(table), std::end(table),
                                  [&](const display& d) { return d.name == name; });
    return it == std::end(table) ? nullptr : it;
}

}  // namespace glyph8::output
