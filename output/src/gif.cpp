// The preview: an animated GIF of exactly the frames the sketch shows, red
// LEDs on a dark board with gaps between the modules, looping. GIF's own
// LZW, written here, keeps it free of any library (none is packaged for
// every system glyph8 is built for).
#include <array>

#include "glyph8/matrix.hpp"
#include "glyph8/output.hpp"

namespace glyph8::output {

namespace {

constexpr int pitch = 8;   // pixels from one LED to the next
constexpr int led = 6;     // an LED's side
constexpr int border = 8;  // around the modules, and between two
enum colour : std::uint8_t { board_colour, lit_colour, dark_colour, colours };
constexpr int min_code_size = 2;  // four colours

class bit_writer {
  public:
    explicit bit_writer(std::string& out) : out_(out) {}
    void put(unsigned code, int bits) {
        buffer_ |= code << filled_;
        filled_ += bits;
        while (filled_ >= 8) {
            byte(static_cast<char>(buffer_ & 0xFF));
            buffer_ >>= 8;
            filled_ -= 8;
        }
    }
    // The rest, and the block terminator.
    void finish() {
        if (filled_ > 0) {
            byte(static_cast<char>(buffer_ & 0xFF));
        }
        flush_block();
        out_ += '\0';
    }

  private:
    void byte(char b) {
        block_ += b;
        if (block_.size() == 255) {
            flush_block();
        }
    }
    void flush_block() {
        if (!block_.empty()) {
            out_ += static_cast<char>(block_.size());
            out_ += block_;
            block_.clear();
        }
    }
    std::string& out_;
    std::string block_;
    unsigned buffer_ = 0;
    int filled_ = 0;
};

// GIF's LZW over pixels of `colours` values.
void append_lzw(std::string& out, const std::vector<std::uint8_t>& pixels) {
    constexpr unsigned clear = 1u << min_code_size;
    constexpr unsigned end = clear + 1;
    constexpr unsigned table_size = 4096;
    std::vector<std::array<std::uint16_t, colours>> child(table_size);
    out += static_cast<char>(min_code_size);
    bit_writer bits(out);
    int size = min_code_size + 1;
    unsigned next = end + 1;
    auto reset = [&] {
        for (auto& c : child) {
            c.fill(0);
        }
        size = min_code_size + 1;
        next = end + 1;
    };
    // The decoder adds an entry after each code but the first, so the code
    // size grows one code later than the table.
    auto added = [&] {
        if (next > (1u << size) && size < 12) {
            ++size;
        }
    };
    bits.put(clear, size);
    unsigned prefix = pixels.empty() ? 0 : pixels[0];
    for (std::size_t i = 1; i < pixels.size(); ++i) {
        const std::uint8_t p = pixels[i];
        if (child[prefix][p] != 0) {
            prefix = child[prefix][p];
            continue;
        }
        bits.put(prefix, size);
        child[prefix][p] = static_cast<std::uint16_t>(next++);
        added();
        prefix = p;
        if (next == table_size) {
            bits.put(clear, size);
            reset();
        }
    }
    bits.put(prefix, size);
    ++next;
    added();
    bits.put(end, size);
    bits.finish();
}

void u16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void rgb(std::string& out, std::uint32_t c) {
    out += static_cast<char>((c >> 16) & 0xFF);
    out += static_cast<char>((c >> 8) & 0xFF);
    out += static_cast<char>(c & 0xFF);
}

class preview_writer : public writer {
  public:
    explicit preview_writer(const settings& s) : m_(s.matrix) {}
    void add(std::string&, char32_t, glyph) override {}

    std::string write_strip(std::string& out, const message_strip& strip,
                            std::string_view) override {
        const int width = 2 * border + m_.columns() * pitch + (m_.modules - 1) * border;
        const int height = 2 * border + glyph_side * pitch;
        out += "GIF89a";
        u16(out, static_cast<unsigned>(width));
        u16(out, static_cast<unsigned>(height));
        out += static_cast<char>(0x81);  // a global table of 4 colours
        out += '\0';
        out += '\0';
        for (const std::uint32_t c : {led_board, led_lit, led_dark, led_board}) {
            rgb(out, c);
        }
        out += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";  // loop forever
        out += std::string("\0\0\0", 3);
        const frames f(strip, m_);
        std::vector<std::uint8_t> display(static_cast<std::size_t>(m_.columns()));
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
        for (std::size_t n = 0; n < f.count(); ++n) {
            f.at(n, display);
            draw(display, width, pixels);
            // Hundredths of a second, rounded so that the total stays exact.
            const auto due = [&](std::size_t k) {
                return (static_cast<long long>(k) * m_.step_ms + 5) / 10;
            };
            out += "\x21\xF9\x04";
            out += '\0';
            u16(out, static_cast<unsigned>(due(n + 1) - due(n)));
            out += std::string("\0\0", 2);
            out += '\x2C';
            u16(out, 0);
            u16(out, 0);
            u16(out, static_cast<unsigned>(width));
            u16(out, static_cast<unsigned>(height));
            out += '\0';
            append_lzw(out, pixels);
        }
        out += '\x3B';
        return {};
    }

  private:
    void draw(const std::vector<std::uint8_t>& display, int width,
              std::vector<std::uint8_t>& pixels) const {
        std::fill(pixels.begin(), pixels.end(), board_colour);
        for (int col = 0; col < m_.columns(); ++col) {
            const int x0 = border + col * pitch + (col / glyph_side) * border;
            for (int row = 0; row < glyph_side; ++row) {
                const int y0 = border + row * pitch;
                const bool on = ((display[static_cast<std::size_t>(col)] >> row) & 1) != 0;
                for (int y = 0; y < led; ++y) {
                    for (int x = 0; x < led; ++x) {
                        const bool corner = (x == 0 || x == led - 1) && (y == 0 || y == led - 1);
                        if (!corner) {
                            pixels[static_cast<std::size_t>((y0 + y) * width + x0 + x)] =
                                on ? lit_colour : dark_colour;
                        }
                    }
                }
            }
        }
    }

    matrix_settings m_;
};

}  // namespace

std::unique_ptr<writer> make_preview_writer(const settings& s) {
    return std::make_unique<preview_writer>(s);
}

}  // namespace glyph8::output
