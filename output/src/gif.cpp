// The preview: an animated GIF of exactly the frames the sketch shows, as
// the display looks (red or coloured LEDs on a dark board with gaps between
// the modules, or an OLED's light pixels on black), looping. GIF's own
// LZW, written here, keeps it free of any library (none is packaged for
// every system glyph8 is built for).
#include <algorithm>
#include <array>

#include "glyph8/matrix.hpp"
#include "glyph8/output.hpp"
#include "message_plan.hpp"

namespace glyph8::output {

namespace {

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

// How a display is drawn: LEDs (round-cornered squares on a dark board,
// with a gap between modules), an OLED's pixels (light on black) or an
// LCD's (dark on grey-green).
struct look {
    int pitch;                             // pixels from one LED or pixel to the next
    int dot;                               // an LED's or pixel's side
    int border;                            // around the display, and between two modules
    bool round;                            // LEDs have their corners cut
    std::array<std::uint32_t, 4> palette;  // board, lit, dark, and one unused
};

// An LED's colour as it looks lit: the hue at full brightness, since a
// dim LED still looks bright to the eye.
std::uint32_t visible(std::uint32_t c) {
    const unsigned r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    const unsigned top = std::max({r, g, b, 1u});
    const auto scale = [&](unsigned v) { return v * 255 / top; };
    return scale(r) << 16 | scale(g) << 8 | scale(b);
}

look look_of(const matrix_settings& m) {
    switch (m.shown_on->look) {
        case display_look::colour_leds: {
            const std::uint32_t lit = visible(m.colour);
            return {8, 6, 8, true, {led_board, lit, led_unlit, led_board}};
        }
        case display_look::oled:
            return {4, 4, 16, false, {oled_bezel, oled_lit, oled_dark, oled_bezel}};
        case display_look::lcd:
            return {4, 4, 16, false, {lcd_bezel, lcd_lit, lcd_dark, lcd_bezel}};
        case display_look::red_leds:
            break;
    }
    return {8, 6, 8, true, {led_board, led_lit, led_dark, led_board}};
}

// Frames in hundredths of a second, as GIF counts time. Browsers show a
// frame of less than 2/100 s for 1/10, so faster steps are merged into
// frames of at least 2/100 s that show the board at their start; the total
// time stays exact.
struct gif_frame {
    std::size_t step;
    unsigned delay;
};

class timeline {
  public:
    timeline(std::size_t steps, int step_ms) : steps_(steps), step_ms_(step_ms) {}
    // Calls `f(frame)` for each frame in order.
    template <class F>
    void each(F f) const {
        std::size_t n = 0;
        while (n < steps_) {
            std::size_t end = n + 1;
            while (end < steps_ && due(end) - due(n) < shortest) {
                ++end;
            }
            // A short last frame goes to the one before it.
            if (end < steps_ && due(steps_) - due(end) < shortest) {
                end = steps_;
            }
            f(gif_frame{n, static_cast<unsigned>(due(end) - due(n))});
            n = end;
        }
    }
    std::size_t count() const {
        std::size_t frames = 0;
        each([&](const gif_frame&) { ++frames; });
        return frames;
    }

  private:
    static constexpr long long shortest = 2;
    long long due(std::size_t k) const { return (static_cast<long long>(k) * step_ms_ + 5) / 10; }
    std::size_t steps_;
    int step_ms_;
};

class preview_writer : public message_writer {
  public:
    explicit preview_writer(const settings& s) : m_(s.matrix), look_(look_of(s.matrix)) {}

    std::string write(stream& sink, const message_strip& strip, std::string_view) override {
        if (const auto plan = detail::plan_message(strip, m_); !plan.refusal.empty()) {
            return plan.refusal;
        }
        const frames f(strip, m_);
        const timeline time(f.count(), m_.step_ms);
        if (const std::size_t n = time.count(); n > most_preview_frames) {
            return "the preview would have " + std::to_string(n) + " frames; it shows at most " +
                   std::to_string(most_preview_frames) +
                   " (shorten the message, or page it with --page)";
        }
        const int modules = m_.panel() ? 1 : m_.modules;
        const int width =
            2 * look_.border + m_.columns() * look_.pitch + (modules - 1) * look_.border;
        const int height = 2 * look_.border + m_.lines() * glyph_side * look_.pitch;
        std::string& out = sink.text();
        out += "GIF89a";
        u16(out, static_cast<unsigned>(width));
        u16(out, static_cast<unsigned>(height));
        out += static_cast<char>(0x81);  // a global table of 4 colours
        out += '\0';
        out += '\0';
        for (const std::uint32_t c : look_.palette) {
            rgb(out, c);
        }
        out += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";  // loop forever
        out += std::string("\0\0\0", 3);
        std::vector<std::uint8_t> display(static_cast<std::size_t>(m_.columns() * m_.lines()));
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
        bool written = true;
        time.each([&](const gif_frame& frame) {
            if (!written) {
                return;
            }
            f.at(frame.step, display);
            draw(display, width, pixels);
            out += "\x21\xF9\x04";
            out += '\0';
            u16(out, frame.delay);
            out += std::string("\0\0", 2);
            out += '\x2C';
            u16(out, 0);
            u16(out, 0);
            u16(out, static_cast<unsigned>(width));
            u16(out, static_cast<unsigned>(height));
            out += '\0';
            append_lzw(out, pixels);
            // Each frame leaves as it is made: memory does not grow with
            // the message.
            written = sink.flush();
        });
        if (written) {
            out += '\x3B';
            sink.flush();
        }
        return {};
    }

  private:
    void draw(const std::vector<std::uint8_t>& display, int width,
              std::vector<std::uint8_t>& pixels) const {
        std::fill(pixels.begin(), pixels.end(), board_colour);
        const int columns = m_.columns();
        for (int line = 0; line < m_.lines(); ++line) {
            for (int col = 0; col < columns; ++col) {
                const int gap = m_.panel() ? 0 : (col / glyph_side) * look_.border;
                const int x0 = look_.border + col * look_.pitch + gap;
                const std::uint8_t bits = display[static_cast<std::size_t>(line * columns + col)];
                for (int row = 0; row < glyph_side; ++row) {
                    const int y0 = look_.border + (line * glyph_side + row) * look_.pitch;
                    const bool on = ((bits >> row) & 1) != 0;
                    dot(pixels, width, x0, y0, on ? lit_colour : dark_colour);
                }
            }
        }
    }

    void dot(std::vector<std::uint8_t>& pixels, int width, int x0, int y0,
             std::uint8_t colour) const {
        const int side = look_.dot;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const bool corner =
                    look_.round && (x == 0 || x == side - 1) && (y == 0 || y == side - 1);
                if (!corner) {
                    pixels[static_cast<std::size_t>((y0 + y) * width + x0 + x)] = colour;
                }
            }
        }
    }

    matrix_settings m_;
    look look_;
};

}  // namespace

std::unique_ptr<message_writer> make_preview_writer(const settings& s) {
    return std::make_unique<preview_writer>(s);
}

}  // namespace glyph8::output
