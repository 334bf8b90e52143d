// Prebuilt images: a message on a board with no compiler.
//
// For every display and board there is one program, built once from the
// same driver and frame code as a sketch, that reads its message from a
// block in flash right after itself: the first 256-byte boundary past its
// code. glyph8 carries these programs (output/images/, built by
// output/images/build.sh) and writes the block; an uploader writes the two.
// The block holds the message's tables as a sketch's arrays hold them
// (message_plan.hpp makes both), its options, a version and a CRC; a program
// that finds no block that checks out shows a cross.
//
// Block layout, little-endian:
//    0  'g' '8', version, display number (its row in displays())
//    4  length of the whole block, CRC included
//    6  wiring value, modules, motion (0 scrolling, 1 paging), R, G, B
//   12  step in ms, piece columns, pieces, message pieces, lines
//   22  message columns (32 bits)
//   26  brightness or contrast, as the display's chip takes it
//   27  the display's I2C address (0 when it is not on I2C)
//   28  PIECE_COLUMNS, PIECE_START (16 bits, pieces + 1), MESSAGE (16 bits),
//       LINE_WIDTH, then CRC-16/CCITT-FALSE of everything before it
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "glyph8/display.hpp"
#include "glyph8/matrix.hpp"

namespace glyph8::output {

inline constexpr std::uint8_t block_version = 2;
inline constexpr std::uint32_t block_header_size = 28;
inline constexpr std::uint32_t block_alignment = 256;

// Where a block may end: the bootloader, or the 64 KiB a program reads.
std::uint32_t block_limit(const arduino_board& board);

std::uint16_t block_crc(std::span<const std::uint8_t> bytes);

// The block for `strip` as `m` shows it, or why there is none.
std::string write_block(const message_strip& strip, const matrix_settings& m,
                        std::vector<std::uint8_t>& out);

// The Arduino source of the prebuilt program for `d` on `board`.
std::string image_program(const display& d, const arduino_board& board);

// A program as glyph8 carries it: flash from address 0.
struct board_image {
    std::string_view display;
    std::string_view board;
    std::span<const std::uint8_t> code;
    std::uint32_t block_address() const noexcept {
        return static_cast<std::uint32_t>((code.size() + block_alignment - 1) / block_alignment *
                                          block_alignment);
    }
};

std::span<const board_image> board_images() noexcept;
const board_image* find_board_image(const display& d, const arduino_board& board) noexcept;

// What goes into flash for a message: the program, then its block.
struct upload_image {
    std::vector<std::uint8_t> bytes;  // from address 0; 0xFF between the program and the block
    std::uint32_t block_address = 0;
    std::uint32_t code_size = 0;
};

// Makes the upload for `strip` as `m` shows it, or says why it cannot be.
std::string make_upload_image(const message_strip& strip, const matrix_settings& m,
                              upload_image& out);

}  // namespace glyph8::output
