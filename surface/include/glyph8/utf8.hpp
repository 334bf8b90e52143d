// UTF-8 decoding for the text that reaches the surface and the command line.
//
// Text travels through the core as UTF-8 and is decoded once, as it is drawn,
// so handing a megabyte over costs a copy and drawing stops at the surface's
// edge. Malformed input never stops decoding: each bad sequence becomes one
// U+FFFD.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace glyph8 {

inline constexpr char32_t replacement_character = U'\uFFFD';

// C0 and C1 control characters and DEL: they draw nothing.
constexpr bool is_control_character(char32_t c) noexcept {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Decodes the code point at `pos` and moves `pos` past it. `pos` must be
// less than text.size(). Overlong forms, surrogates, values past U+10FFFF and
// truncated sequences yield U+FFFD and consume the longest valid prefix (at
// least one byte), as the Unicode standard recommends.
char32_t decode_utf8(std::string_view text, std::size_t& pos) noexcept;

// Offset of the first byte that does not start a well-formed sequence, or
// nothing when the whole text is well-formed UTF-8.
std::optional<std::size_t> find_invalid_utf8(std::string_view text) noexcept;

// Appends the UTF-8 form of `c` (U+FFFD for a surrogate or a value past
// U+10FFFF).
void append_utf8(std::string& out, char32_t c);

#if defined(_WIN32)
// Windows hands file names, the command line and control texts over in
// UTF-16. Lone surrogates become U+FFFD.
std::string utf8_from_wide(std::wstring_view text);
std::wstring wide_from_utf8(std::string_view text);
#endif

}  // namespace glyph8
