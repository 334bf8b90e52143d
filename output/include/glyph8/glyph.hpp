// One 8x8 glyph, as the capture reads it, the composer makes it and every
// writer packs it.
//
// Bit y * 8 + x is the pixel at column x, row y; row 0 is the top row of the
// sampling window (row 1 of the surface). Packing turns the 64 pixels into
// the 8 bytes a matrix driver or a published 8x8 font expects.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace glyph8 {

// The side of every glyph glyph8 reads, composes and writes, in pixels.
inline constexpr int glyph_side = 8;

struct glyph {
    std::uint64_t bits = 0;

    constexpr bool ink(int x, int y) const noexcept {
        return ((bits >> (y * glyph_side + x)) & 1u) != 0;
    }
    constexpr glyph with_ink(int x, int y) const noexcept {
        return glyph{bits | (std::uint64_t{1} << (y * glyph_side + x))};
    }
    friend constexpr bool operator==(glyph, glyph) = default;
};

// Pixels that differ between two glyphs.
constexpr int distance(glyph a, glyph b) noexcept {
    return std::popcount(a.bits ^ b.bits);
}

using glyph_bytes = std::array<std::uint8_t, glyph_side>;

// How the 64 pixels become 8 bytes. The capture's line always uses columns;
// the others are what many matrix drivers and published 8x8 fonts expect.
enum class bit_layout : std::uint8_t {
    columns,      // a byte per column, left to right; top pixel in the lowest bit
    columns_msb,  // a byte per column; top pixel in the highest bit
    rows,         // a byte per row, top to bottom; left pixel in the lowest bit
    rows_msb,     // a byte per row; left pixel in the highest bit
};

glyph_bytes pack(glyph g, bit_layout layout) noexcept;

}  // namespace glyph8

namespace glyph8 {

// How a matrix of LEDs is shown, enlarged, in the windows and in previews:
// lit LEDs bright red, dark ones a dim red, on a dark board (0xRRGGBB).
inline constexpr std::uint32_t led_lit = 0xFF3020;
inline constexpr std::uint32_t led_dark = 0x501010;
inline constexpr std::uint32_t led_board = 0x202020;
// A colour LED that is off: dark grey, whatever its colour when lit.
inline constexpr std::uint32_t led_unlit = 0x303030;
// An OLED panel: light pixels on black glass, in a dark bezel.
inline constexpr std::uint32_t oled_lit = 0xD8ECFF;
inline constexpr std::uint32_t oled_dark = 0x000000;
inline constexpr std::uint32_t oled_bezel = 0x181818;
// A reflective LCD: dark pixels on grey-green glass, in a dark frame.
inline constexpr std::uint32_t lcd_lit = 0x1A2418;
inline constexpr std::uint32_t lcd_dark = 0x9CAA8C;
inline constexpr std::uint32_t lcd_bezel = 0x282C28;

}  // namespace glyph8
