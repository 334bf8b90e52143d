#include "bdf_check.hpp"

#include <charconv>
#include <cstdint>
#include <string_view>

namespace glyph8 {

namespace {

// Reads the next whole number after `text` starts, skipping blanks.
bool number(std::string_view& text, long long& out) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    if (ec != std::errc()) {
        return false;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

}  // namespace

std::string bdf_damage(std::span<const unsigned char> data) {
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    if (text.substr(0, 9) != "STARTFONT") {
        return {};
    }
    std::size_t glyphs = 0;
    std::uint64_t memory = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.substr(0, 9) == "STARTCHAR") {
            ++glyphs;
        } else if (line.substr(0, 4) == "BBX ") {
            line.remove_prefix(4);
            long long width = 0, height = 0;
            if (number(line, width) && number(line, height) && width > 0 && height > 0) {
                // One glyph past the limit is enough, and sizes that large
                // would overflow the sum below.
                constexpr auto most = static_cast<long long>(most_font_memory);
                if (width > 8 * most || height > most) {
                    memory = most_font_memory + 1;
                } else {
                    // A row of `width` pixels takes whole bytes.
                    memory += static_cast<std::uint64_t>((width + 7) / 8) *
                              static_cast<std::uint64_t>(height);
                }
            }
        }
        if (glyphs > most_font_glyphs) {
            return "it has more than " + std::to_string(most_font_glyphs) +
                   " glyphs, more than glyph8 reads from one font";
        }
        if (memory > most_font_memory) {
            return "its glyphs would take more than " + std::to_string(most_font_memory >> 20) +
                   " MiB of memory to read (their BBX lines say so, whatever their bitmaps hold)";
        }
    }
    return {};
}

}  // namespace glyph8
