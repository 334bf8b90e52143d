// The displays a message can be shown on, and the boards that drive them:
// one table each, a row per display and a row per board.
//
// A display's row says what it is (a row of 8x8 modules, or a panel of
// 8-pixel lines), which wirings it comes in (the --board
// values), which options it takes, how a person wires it to each board, its
// driver (the Arduino code a sketch carries), what that code costs, and how
// its preview looks. The frames come from one model (matrix.hpp) for every
// display, so a new display is a row and a driver, not another sketch writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace glyph8::output {

// The boards a sketch is made for.
struct arduino_board {
    std::string_view name;   // --arduino NAME
    std::string_view title;  // "Arduino Uno"
    std::size_t flash;       // what a sketch may take: all flash below the bootloader
    std::size_t ram;
    // Flash that pgm_read_byte reaches: data past 64 KiB needs far pointers,
    // which Arduino's API does not offer, so a sketch keeps its data below.
    std::size_t data_reach;
};

std::span<const arduino_board> arduino_boards() noexcept;
const arduino_board* find_arduino(std::string_view name) noexcept;

enum class display_shape : std::uint8_t {
    modules,  // 8x8 modules side by side: one line of 8 pixels
    panel,    // a panel of lines of 8 pixels, as wide and as many as its row says
};

enum class display_look : std::uint8_t { red_leds, colour_leds, oled, lcd };

enum class motion : std::uint8_t { scroll, page };

// A wiring a display comes in, and the #define that tells its driver.
struct display_variant {
    std::string_view name;    // --board NAME
    std::string_view define;  // "ROW_ANODE 1"
    std::string_view help;
};

// Options beyond the board, modules and motion that a display may take.
enum display_option : unsigned {
    takes_modules = 1u << 0,
    takes_colour = 1u << 1,
    takes_current = 1u << 2,
};

// How bright a display shines, or how dark an LCD's pixels are: the option
// that sets it, the value a user gives (0 to `most`) and what the chip is
// sent for it (the value times `scale`), the macro its driver reads, and
// the chip's value when no value is given (the driver's own default).
struct display_level {
    std::string_view option;  // "--brightness", "--contrast"; empty: not adjustable
    std::string_view macro;   // "INTENSITY"
    int most = 0;
    int scale = 1;
    int fallback = 0;  // the chip's value when the option is not given
    std::string_view help = {};

    int chip_value(int given) const noexcept { return given * scale; }
};

// The I2C address of a display on that bus: of its leftmost module when
// modules follow it at the next addresses. Modules set it with jumpers or
// solder pads, within [first, last].
struct display_address {
    std::string_view macro;  // "OLED_ADDRESS"; empty: not on I2C
    int first = 0;
    int last = 0;
    int fallback = 0;  // when --address is not given
};

// What a sketch's code costs on a board, besides the message's own data:
// measured with Debian's Arduino toolchain and rounded up (the tests check
// that real sketches stay below what a sketch says of itself).
struct code_cost {
    std::size_t flash;
    std::size_t ram;
};

struct display {
    std::string_view name;                      // --display NAME
    std::string_view help;                      // one line, for --help
    std::string_view part;                      // as a sketch names it: "MAX7219 8x8 module"
    std::span<const display_variant> variants;  // the first is the default
    display_shape shape;
    unsigned options;  // display_option bits
    int most_modules;
    int default_modules;
    motion default_motion;
    int default_step_ms;
    display_look look;
    bool avr_only;                 // its driver needs an AVR's cycle timing
    std::string_view driver;       // the Arduino code
    std::string_view wiring;       // a comment for the sketch: pins on an Uno
    std::string_view wiring_mega;  // and on a Mega 2560
    code_cost uno_cost;
    code_cost mega_cost;
    // Bytes of RAM per column of the frame the sketch keeps (0 when the
    // display streams its screens from flash).
    std::size_t ram_per_column;
    // Code that displays of one kind share, after the driver's own.
    std::string_view shared_driver = {};
    int panel_lines = 8;  // a panel's lines of 8 pixels
    // How the driver's bytes reach a display that comes on more than one
    // bus (an OLED on I2C or SPI): between the driver's code and the shared.
    std::string_view bus_driver = {};
    int panel_columns = 128;  // a panel's width in pixels
    display_level level = {};
    display_address address = {};
};

std::span<const display> displays() noexcept;
const display* find_display(std::string_view name) noexcept;

// The colour and current budget of colour LEDs.
inline constexpr std::uint32_t default_led_colour = 0x200000;  // a dim red
inline constexpr int default_max_current_ma = 400;             // what USB gives

// What the user chose for a message, before the display's defaults fill in
// what was not given.
struct display_request {
    std::string display = "max7219";
    std::optional<std::string> board;
    std::optional<int> modules;
    std::optional<motion> mode;
    std::optional<int> step_ms;
    std::optional<std::string> colour;
    std::optional<int> max_current_ma;
    std::optional<int> brightness;
    std::optional<int> contrast;
    std::optional<std::string> address;  // as typed: 0x3D, or decimal
    std::string arduino = "uno";
};

struct matrix_settings;

// Checks a request against the display's row and fills `out`; returns what
// is wrong (naming what the display does take), or an empty string.
std::string resolve(const display_request& request, matrix_settings& out);

// The options that give `m` back, as a command line spells them.
std::string display_options_text(const matrix_settings& m);

}  // namespace glyph8::output
