// The pieces of a C declaration shared by the line and the table, written
// to any text that appends (a std::string, or the line's own buffer), and the
// 0x.. byte literal that sketches and their options write too.
#pragma once

#include <charconv>
#include <string>
#include <string_view>

#include "glyph8/output.hpp"

namespace glyph8::output::detail {

inline constexpr char hex_digits[] = "0123456789ABCDEF";

// "0x3C"
inline std::string hex_byte(unsigned v) {
    return std::string("0x") + hex_digits[(v >> 4) & 15] + hex_digits[v & 15];
}

template <class Text>
void append_decimal(Text& out, unsigned value) {
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

// "byte d[]={", "byte d[][8]={", and for an AVR's flash "const byte d[]
// PROGMEM = {" or "const byte d[][8] PROGMEM = {".
template <class Text>
void append_head(Text& out, const settings& s, bool table) {
    out.append(s.progmem ? "const byte " : "byte ");
    out.append(s.name);
    out.append("[]");
    if (table) {
        out.append("[");
        append_decimal(out, glyph_side);
        out.append("]");
    }
    out.append(s.progmem ? " PROGMEM = {" : "={");
}

// " 60, 74, 74, 48, 0, 0, 0, 0" or " 0x3C, 0x4A, ..., 0x00".
template <class Text>
void append_values(Text& out, const glyph_bytes& bytes, number_style style) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (style == number_style::hex) {
            const char text[] = {' ', '0', 'x', hex_digits[bytes[i] >> 4],
                                 hex_digits[bytes[i] & 0xF]};
            out.append(std::string_view(text, sizeof text));
        } else {
            out.append(" ");
            append_decimal(out, bytes[i]);
        }
        if (i + 1 < bytes.size()) {
            out.append(",");
        }
    }
}

}  // namespace glyph8::output::detail
