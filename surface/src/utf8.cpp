#include "glyph8/utf8.hpp"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace glyph8 {

namespace {

// Length of a sequence by its lead byte, 0 for a byte that cannot lead.
constexpr int sequence_length(unsigned char lead) noexcept {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// Bounds of the second byte, which rule out overlong forms, surrogates and
// values past U+10FFFF.
constexpr bool second_byte_ok(unsigned char lead, unsigned char b) noexcept {
    switch (lead) {
        case 0xE0:
            return b >= 0xA0 && b <= 0xBF;
        case 0xED:
            return b >= 0x80 && b <= 0x9F;
        case 0xF0:
            return b >= 0x90 && b <= 0xBF;
        case 0xF4:
            return b >= 0x80 && b <= 0x8F;
        default:
            return b >= 0x80 && b <= 0xBF;
    }
}

}  // namespace

char32_t decode_utf8(std::string_view text, std::size_t& pos) noexcept {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    const int length = sequence_length(lead);
    if (length == 1) {
        return lead;
    }
    if (length == 0) {
        return replacement_character;
    }
    char32_t c = lead & (0xFF >> (length + 1));
    for (int i = 1; i < length; ++i) {
        if (pos >= text.size()) {
            return replacement_character;
        }
        const auto b = static_cast<unsigned char>(text[pos]);
        const bool ok = i == 1 ? second_byte_ok(lead, b) : (b >= 0x80 && b <= 0xBF);
        if (!ok) {
            return replacement_character;
        }
        c = (c << 6) | (b & 0x3F);
        ++pos;
    }
    return c;
}

std::optional<std::size_t> find_invalid_utf8(std::string_view text) noexcept {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        // Fast path: plain ASCII.
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const char32_t c = decode_utf8(text, pos);
        if (c == replacement_character) {
            // A genuine U+FFFD in the input is three bytes EF BF BD.
            if (pos - start != 3 || text.substr(start, 3) != "\xEF\xBF\xBD") {
                return start;
            }
        }
    }
    return std::nullopt;
}

void append_utf8(std::string& out, char32_t c) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        c = replacement_character;
    }
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

#if defined(_WIN32)
std::string utf8_from_wide(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring wide_from_utf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), n);
    return out;
}
#endif

}  // namespace glyph8
