// The one-line declaration: the window's output, and the command line's for
// a whole text.
#include <cstring>

#include "declaration.hpp"
#include "glyph8/output.hpp"

namespace glyph8::output {

namespace {

// Appends into the line's fixed buffer, which holds the longest line.
class fixed_text {
  public:
    fixed_text(char* data, std::size_t& size) : data_(data), size_(size) {}
    void append(std::string_view text) noexcept {
        std::memcpy(data_ + size_, text.data(), text.size());
        size_ += text.size();
    }

  private:
    char* data_;
    std::size_t& size_;
};

class line_writer : public glyph_writer {
  public:
    explicit line_writer(const settings& s) : settings_(s) {}
    void add(std::string& out, char32_t, glyph g) override {
        out += line(pack(g, settings_.layout), settings_).view();
        out += '\n';
        if (settings_.grid) {
            append_grid(out, g, "");
        }
    }

  private:
    settings settings_;
};

}  // namespace

void glyph_writer::begin(std::string&, std::size_t) {}
void glyph_writer::end(std::string&) {}

line::line(const glyph_bytes& bytes, const settings& s) noexcept {
    // 11 + 63 + 16 + 8 * 6 + 2 characters at the most: "const byte ", the
    // longest name, "[] PROGMEM = {", eight " 0xFF," and "};".
    fixed_text text(data_, size_);
    if (s.name.size() > 63) {
        return;  // no such name gets past identifier_problem()
    }
    detail::append_head(text, s, false);
    detail::append_values(text, bytes, s.numbers);
    text.append("};");
}

line window_line(glyph g) noexcept {
    static const settings defaults;
    return line(pack(g, bit_layout::columns), defaults);
}

std::string format_values(const glyph_bytes& bytes, number_style style) {
    std::string text;
    detail::append_values(text, bytes, style);
    return text;
}

std::unique_ptr<glyph_writer> make_line_writer(const settings& s) {
    return std::make_unique<line_writer>(s);
}

}  // namespace glyph8::output
