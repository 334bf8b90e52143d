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

const display table[] = {
    {"max7219",
     "MAX7219 8x8 modules in a chain, over SPI (the default)",
     "MAX7219 8x8 module",
     max7219_variants,
     display_shape::modules,
     takes_modules,
     16,
     4,
     motion::scroll,
     60,
     display_look::red_leds,
     false,
     drivers::max7219,
     "DIN to 11, CLK to 13, CS to 10, VCC to 5V, GND to GND",
     "DIN to 51, CLK to 52, CS to 10, VCC to 5V, GND to GND",
     {1850, 28},
     {2360, 28},
     1},
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
