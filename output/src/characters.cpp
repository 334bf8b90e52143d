// How comments and messages name characters.
#include <algorithm>
#include <iterator>

#include "glyph8/output.hpp"
#include "glyph8/utf8.hpp"

namespace glyph8::output {

std::string code_point_name(char32_t c) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string name = "U+";
    const int digits = c > 0xFFFF ? (c > 0xFFFFF ? 6 : 5) : 4;
    for (int i = digits - 1; i >= 0; --i) {
        name += hex[(c >> (4 * i)) & 0xF];
    }
    return name;
}

// Characters that show nothing, or that change how the text around them is
// shown: controls, format characters (the bidirectional ones among them),
// separators, other default-ignorable code points and noncharacters. In
// generated source they would hide or reorder the code, so comments and
// messages name them by code point only.
bool is_invisible(char32_t c) noexcept {
    struct range {
        char32_t first, last;
    };
    static constexpr range ranges[] = {
        {0x0000, 0x0020},   {0x007F, 0x00A0},   {0x00AD, 0x00AD},   {0x034F, 0x034F},
        {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
        {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x115F, 0x1160},   {0x1680, 0x1680},
        {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x2000, 0x200F},   {0x2028, 0x202F},
        {0x205F, 0x206F},   {0x3000, 0x3000},   {0x3164, 0x3164},   {0xFDD0, 0xFDEF},
        {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFFB},
        {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x13438}, {0x1BCA0, 0x1BCA3},
        {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF}};
    if ((c & 0xFFFE) == 0xFFFE) {
        return true;  // U+FFFE, U+FFFF and their like in every plane
    }
    const auto* it = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                                      [](char32_t v, const range& r) { return v < r.first; });
    return it != std::begin(ranges) && c <= std::prev(it)->last;
}

std::string describe_character(char32_t c) {
    std::string text = code_point_name(c);
    if (c == U'\\') {
        text += " backslash";
    } else if (!is_invisible(c)) {
        text += ' ';
        append_utf8(text, c);
    }
    return text;
}

}  // namespace glyph8::output
