// Intel HEX: the text form of a flash image that bootloaders, programmers
// and the Arduino tools pass around.
//
// The writer makes 16 data bytes a record, with an extended linear address
// record (or, when asked, an extended segment one) wherever the image crosses
// 64 KiB, and ends with the EOF record. The reader takes what the AVR
// toolchain writes back into bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace glyph8::output {

// Bytes at an address: a whole image, or the part of one that changes.
struct flash_image {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};

enum class hex_addressing : std::uint8_t {
    linear,   // type 04 records: any address below 4 GiB
    segment,  // type 02 records: up to 1 MiB, for tools of the 8086's days
};

// Appends `bytes` at `address` as Intel HEX. Images past what `addressing`
// reaches are not written: the caller keeps to 4 GiB or 1 MiB.
void write_intel_hex(std::string& out, std::uint32_t address, std::span<const std::uint8_t> bytes,
                     hex_addressing addressing = hex_addressing::linear);

// The widest image read_intel_hex makes: all that segment addressing
// reaches, four times the largest AVR's flash, and a bound on the memory
// that two records far apart could ask for.
inline constexpr std::uint32_t most_hex_span = 1u << 20;

// Reads Intel HEX into one image from its lowest address to its highest;
// gaps are 0xFF, as erased flash reads. On failure returns false with the
// line and the reason in `why`; also when the image would span more than
// most_hex_span bytes.
bool read_intel_hex(std::string_view text, flash_image& image, std::string& why);

}  // namespace glyph8::output
