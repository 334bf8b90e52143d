// An Arduino sketch for an Uno that shows the message on MAX7219 modules.
//
// The message's columns are cut at its characters' advances; columns that
// repeat (a character used twice) are stored once, in flash, and the
// message is a list of them. The board walks that list to fill a frame,
// the same frames the model in matrix.cpp computes.
#include <algorithm>
#include <map>

#include "glyph8/matrix.hpp"
#include "glyph8/output.hpp"
#include "glyph8/utf8.hpp"
#include "glyph8/version.hpp"

namespace glyph8::output {

namespace {

// What an Uno offers a sketch: flash below the bootloader, and RAM.
constexpr std::size_t uno_flash = 32256;
constexpr std::size_t uno_ram = 2048;
// The sketch's code with the Arduino core, and its RAM besides the frame,
// measured with Debian's gcc-avr and rounded up (the tests check that the
// real sizes stay below these).
constexpr std::size_t code_flash = 1900;
constexpr std::size_t fixed_ram = 40;

struct pieces {
    std::vector<std::uint8_t> columns;  // distinct pieces, one after another
    std::vector<std::size_t> starts;    // of each piece, and the end
    std::vector<std::size_t> message;   // the pieces, in the message's order
};

pieces cut(const message_strip& strip) {
    pieces p;
    std::map<std::vector<std::uint8_t>, std::size_t> seen;
    for (std::size_t i = 0; i < strip.starts.size(); ++i) {
        const std::size_t end =
            i + 1 < strip.starts.size() ? strip.starts[i + 1] : strip.columns.size();
        if (end == strip.starts[i]) {
            continue;  // a mark that does not advance: its ink is in its neighbour's piece
        }
        std::vector<std::uint8_t> piece(
            strip.columns.begin() + static_cast<std::ptrdiff_t>(strip.starts[i]),
            strip.columns.begin() + static_cast<std::ptrdiff_t>(end));
        const auto [it, added] = seen.emplace(std::move(piece), seen.size());
        if (added) {
            p.starts.push_back(p.columns.size());
            p.columns.insert(p.columns.end(), it->first.begin(), it->first.end());
        }
        p.message.push_back(it->second);
    }
    p.starts.push_back(p.columns.size());
    return p;
}

template <class Values>
void append_array(std::string& out, std::string_view declaration, const Values& values) {
    out += declaration;
    out += " PROGMEM = {";
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += i % 16 == 0 ? "\n  " : " ";
        out += std::to_string(values[i]);
        out += ',';
    }
    out += "\n};\n";
}

// A comment line must not end in a backslash nor hold a line break.
std::string comment_text(std::string_view text) {
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = decode_utf8(text, pos);
        if (c == U'\\' || is_invisible(c)) {
            out += c == U' ' ? std::string(" ") : "<" + code_point_name(c) + ">";
        } else {
            append_utf8(out, c);
        }
    }
    return out;
}

std::string options_text(const matrix_settings& m) {
    return "--modules " + std::to_string(m.modules) + " --board " +
           (m.wiring == board::fc16 ? "fc16" : "dip") +
           (m.mode == motion::scroll ? " --scroll " : " --page ") + std::to_string(m.step_ms);
}

constexpr std::string_view sketch_body = R"(#include <avr/pgmspace.h>

// Wiring (Arduino Uno): DIN to 11, CLK to 13, CS to 10, VCC to 5V, GND to GND.
#ifndef INTENSITY
#define INTENSITY 2  // brightness, 0 to 15
#endif
#ifndef CS_PIN
#define CS_PIN 10
#endif
// 0: the hardware SPI pins, DIN on 11 and CLK on 13; 1: shiftOut() on DIN_PIN
// and CLK_PIN, any two pins.
#ifndef USE_SHIFTOUT
#define USE_SHIFTOUT 0
#endif
#ifndef DIN_PIN
#define DIN_PIN 11
#endif
#ifndef CLK_PIN
#define CLK_PIN 13
#endif
// At power-up an arrow points right on the leftmost module, with a dot in
// its top left corner. Anything else (arrow down, on the right, mirrored)
// means other wiring: see "Which board" in glyph8's README. 0 skips it.
#ifndef TEST_PATTERN_MS
#define TEST_PATTERN_MS 2000
#endif

const byte COLUMNS = MODULES * 8;
byte frame[COLUMNS];  // what the modules show: a byte per column, top pixel lowest
)";

constexpr std::string_view sketch_loop = R"(
void send(byte b) {
#if USE_SHIFTOUT
  shiftOut(DIN_PIN, CLK_PIN, MSBFIRST, b);
#else
  SPDR = b;
  while (!(SPSR & _BV(SPIF))) {
  }
#endif
}

// One register of every module. The bytes shifted in first pass along the
// chain to its far end, the leftmost module; the chip at DIN is the rightmost.
void writeRegister(byte reg, const byte* values) {
  digitalWrite(CS_PIN, LOW);
  for (byte m = 0; m < MODULES; ++m) {
    send(reg);
    send(values[m]);
  }
  digitalWrite(CS_PIN, HIGH);
}

void writeAll(byte reg, byte value) {
  byte values[MODULES];
  memset(values, value, MODULES);
  writeRegister(reg, values);
}

void show() {
  byte values[MODULES];
  for (byte d = 0; d < 8; ++d) {
    for (byte m = 0; m < MODULES; ++m) {
      const byte* module = frame + m * 8;
#if FC16_WIRING
      byte v = 0;  // digit d + 1 is row d, bit 7 the leftmost column
      for (byte c = 0; c < 8; ++c) {
        if (module[c] & (1 << d)) {
          v |= 0x80 >> c;
        }
      }
      values[m] = v;
#else
      values[m] = module[d];  // digit d + 1 is column d, bit 0 the top row
#endif
    }
    writeRegister(d + 1, values);
  }
}

// The message's columns [first, first + count) into the frame, from its left.
void draw(long first, byte count) {
  memset(frame, 0, COLUMNS);
  long x = 0;
  for (uint16_t i = 0; i < MESSAGE_PIECES && x < first + count; ++i) {
    const uint16_t piece = PIECE(i);
    const uint16_t start = pgm_read_word(&PIECE_START[piece]);
    const uint16_t end = pgm_read_word(&PIECE_START[piece + 1]);
    if (x + (end - start) <= first) {
      x += end - start;
      continue;
    }
    for (uint16_t k = start; k < end; ++k, ++x) {
      if (x >= first && x < first + count) {
        frame[x - first] = pgm_read_byte(&PIECE_COLUMNS[k]);
      }
    }
  }
}

uint16_t step = 0;
unsigned long next;

void setup() {
  pinMode(CS_PIN, OUTPUT);
  digitalWrite(CS_PIN, HIGH);
#if USE_SHIFTOUT
  pinMode(DIN_PIN, OUTPUT);
  pinMode(CLK_PIN, OUTPUT);
#else
  pinMode(10, OUTPUT);  // SS: as an input it could turn the SPI into a slave
  pinMode(11, OUTPUT);
  pinMode(13, OUTPUT);
  SPCR = _BV(SPE) | _BV(MSTR);  // mode 0, most significant bit first, 4 MHz
#endif
  writeAll(0x0F, 0);  // display test off
  writeAll(0x09, 0);  // no BCD decoding: the bytes are the LEDs
  writeAll(0x0B, 7);  // all eight digits
  writeAll(0x0A, INTENSITY);
  memset(frame, 0, COLUMNS);
#if TEST_PATTERN_MS > 0
  memcpy(frame, TEST_PATTERN, 8);
#endif
  show();
  writeAll(0x0C, 1);  // out of shutdown
  delay(TEST_PATTERN_MS);
  next = millis();
}

void loop() {
  if ((long)(millis() - next) < 0) {
    return;
  }
  next += STEP_MS;
#if SCROLL
  draw((long)step - COLUMNS, COLUMNS);
#else
  draw(pgm_read_word(&PAGES[2 * step]), pgm_read_word(&PAGES[2 * step + 1]));
#endif
  show();
  if (++step == STEPS) {
    step = 0;
  }
}
)";

class sketch_writer : public writer {
  public:
    explicit sketch_writer(const settings& s) : m_(s.matrix) {}
    void add(std::string&, char32_t, glyph) override {}

    std::string write_strip(std::string& out, const message_strip& strip,
                            std::string_view text) override {
        const pieces p = cut(strip);
        const bool wide_index = p.starts.size() - 1 > 256;
        const frames f(strip, m_);
        const std::size_t data = p.columns.size() + 2 * p.starts.size() +
                                 p.message.size() * (wide_index ? 2 : 1) + 4 * f.pages().size();
        const std::size_t flash = code_flash + data;
        const std::size_t ram = fixed_ram + static_cast<std::size_t>(m_.columns());
        if (flash > uno_flash || ram > uno_ram) {
            return "the sketch needs about " + std::to_string(flash) + " bytes of flash and " +
                   std::to_string(ram) + " of RAM; an Arduino Uno has " +
                   std::to_string(uno_flash) + " and " + std::to_string(uno_ram) +
                   " (shorten the message or use fewer distinct characters)";
        }
        out += "// " + comment_text(text) + "\n//\n";
        out +=
            "// An Arduino Uno sketch by glyph8 " + std::string(version) + ": the text above on " +
            std::to_string(m_.modules) + " MAX7219 8x8 module" + (m_.modules > 1 ? "s" : "") +
            ",\n// " +
            (m_.mode == motion::scroll ? "scrolling one column every " : "one screenful every ") +
            std::to_string(m_.step_ms) + " ms. Made with: glyph8-cli --sketch " + options_text(m_) +
            "\n";
        out += "// About " + std::to_string(flash) + " bytes of flash (of " +
               std::to_string(uno_flash) + ") and " + std::to_string(ram) + " bytes of RAM (of " +
               std::to_string(uno_ram) + ").\n";
        out += "#define MODULES " + std::to_string(m_.modules) + "\n";
        out += std::string("#define FC16_WIRING ") + (m_.wiring == board::fc16 ? "1" : "0") + "\n";
        out += std::string("#define SCROLL ") + (m_.mode == motion::scroll ? "1" : "0") + "\n";
        out += "#ifndef STEP_MS\n#define STEP_MS " + std::to_string(m_.step_ms) + "\n#endif\n";
        out += sketch_body;
        out += "const byte TEST_PATTERN[8] = {";
        const auto pattern = test_pattern(m_);
        for (std::size_t i = 0; i < 8; ++i) {
            out += (i == 0 ? "" : ", ") + std::to_string(pattern[i]);
        }
        out += "};\n";
        out +=
            "\n// The message's columns, top pixel in the lowest bit; each distinct piece once.\n";
        append_array(out, "const byte PIECE_COLUMNS[]", p.columns);
        append_array(out, "const uint16_t PIECE_START[]", p.starts);
        append_array(out, wide_index ? "const uint16_t MESSAGE[]" : "const byte MESSAGE[]",
                     p.message);
        out += "const uint16_t MESSAGE_PIECES = " + std::to_string(p.message.size()) + ";\n";
        out += "const uint16_t MESSAGE_COLUMNS = " + std::to_string(strip.columns.size()) + ";\n";
        out += "#define PIECE(i) " + std::string(wide_index ? "pgm_read_word" : "pgm_read_byte") +
               "(&MESSAGE[i])\n";
        if (m_.mode == motion::page) {
            std::vector<std::size_t> bounds;
            for (const page& pg : f.pages()) {
                bounds.push_back(pg.first);
                bounds.push_back(pg.width);
            }
            append_array(out, "const uint16_t PAGES[]", bounds);
            out += "const uint16_t STEPS = " + std::to_string(f.pages().size()) + ";\n";
        } else {
            out += "const uint16_t STEPS = MESSAGE_COLUMNS + COLUMNS;\n";
        }
        out += sketch_loop;
        return {};
    }

  private:
    matrix_settings m_;
};

}  // namespace

std::unique_ptr<writer> make_sketch_writer(const settings& s) {
    return std::make_unique<sketch_writer>(s);
}

}  // namespace glyph8::output
