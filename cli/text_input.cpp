#include "text_input.hpp"

#include <cstring>
#include <span>

#include "glyph8/utf8.hpp"

namespace glyph8::cli {

namespace {

// Standard input is read in pieces of this size.
constexpr std::size_t read_chunk = 64u << 10;

// Bytes at the end of `data` that may be the start of a character whose
// other bytes are still to come.
std::size_t unfinished_tail(const char* data, std::size_t size) {
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto b = static_cast<unsigned char>(data[size - back]);
        if ((b & 0xC0) == 0x80) {
            continue;  // a continuation byte: look further back
        }
        const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

}  // namespace

text_keeper::text_keeper(bool distinct, std::size_t limit, bool keep_breaks)
    : distinct_(distinct), limit_(limit), keep_breaks_(keep_breaks) {
    if (distinct_) {
        seen_.assign(0x110000, false);
    }
}

void text_keeper::add(std::string_view text) {
    if (!distinct_ && count_ >= limit_) {
        cut_ = cut_ || !text.empty();
        return;
    }
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        const char32_t c = decode_utf8(text, pos);
        const bool line_break = c == U'\n' || c == U'\r' || c == 0x85;
        if (is_control_character(c) && !(keep_breaks_ && line_break)) {
            continue;
        }
        if (distinct_) {
            if (!seen_[c]) {
                seen_[c] = true;
                characters_.push_back(c);
            }
        } else {
            text_.append(text, start, pos - start);
            if (++count_ == limit_) {
                cut_ = pos < text.size();
                return;
            }
        }
    }
}

problem read_text(source& in, text_keeper& keep) {
    std::vector<char> buffer(read_chunk + 4);
    std::size_t held = 0;           // bytes of an unfinished character, at the front
    unsigned long long offset = 0;  // of buffer[0] in the whole text
    for (;;) {
        std::string why;
        const std::ptrdiff_t n = in.read(std::span<char>(buffer.data() + held, read_chunk), why);
        if (n < 0) {
            return input_problem("cannot read standard input: " + why);
        }
        const std::size_t size = held + static_cast<std::size_t>(n);
        const std::size_t whole = n == 0 ? size : size - unfinished_tail(buffer.data(), size);
        const std::string_view part(buffer.data(), whole);
        if (const auto bad = find_invalid_utf8(part)) {
            return input_problem("the text is not valid UTF-8 (byte " +
                                 std::to_string(offset + *bad) + ")");
        }
        // Notepad starts UTF-8 files with a byte-order mark; it is no text.
        const bool mark = offset == 0 && part.substr(0, 3) == "\xEF\xBB\xBF";
        keep.add(mark ? part.substr(3) : part);
        if (n == 0) {
            return {};
        }
        std::memmove(buffer.data(), buffer.data() + whole, size - whole);
        held = size - whole;
        offset += whole;
    }
}

}  // namespace glyph8::cli
