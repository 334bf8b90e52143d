// An Arduino sketch that shows the message on a display of the table.
//
// Every sketch has the same frame: the message's pieces in flash, a cursor
// that walks them column by column, the steps of the frame model in
// matrix.cpp, and the display's driver, which is the only part that knows
// the display. A step costs the same wherever it is in the message.
#include <algorithm>
#include <bit>

#include "glyph8/display.hpp"
#include "glyph8/matrix.hpp"
#include "glyph8/output.hpp"
#include "glyph8/utf8.hpp"
#include "glyph8/version.hpp"
#include "message_plan.hpp"

namespace glyph8::output {

namespace {

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

constexpr std::string_view portable_progmem = R"(
// Flash for the message: the AVR's program memory, or plain constants on
// boards that read flash like memory.
#if defined(__AVR__)
#include <avr/pgmspace.h>
#else
#define PROGMEM
#define pgm_read_byte(p) (*(const uint8_t*)(p))
#define pgm_read_word(p) (*(const uint16_t*)(p))
#define memcpy_P memcpy
#endif
)";

// Walks the message a column at a time, so that a step costs the same at
// its end as at its start.
constexpr std::string_view cursor_code = R"(
uint16_t piece;      // the message's piece the next column is in
uint16_t column;     // that column, in PIECE_COLUMNS
uint16_t pieceEnd;   // where the piece ends

void enterPiece() {
  const uint16_t p = PIECE(piece);
  column = pgm_read_word(&PIECE_START[p]);
  pieceEnd = pgm_read_word(&PIECE_START[p + 1]);
}

void rewind() {
  piece = 0;
  enterPiece();
}

// The next column of the message; nothing past its end.
byte nextColumn() {
  if (piece >= MESSAGE_PIECES) {
    return 0;
  }
  const byte b = pgm_read_byte(&PIECE_COLUMNS[column]);
  if (++column == pieceEnd && ++piece < MESSAGE_PIECES) {
    enterPiece();
  }
  return b;
}
)";

// Scrolling: step n shows the message's columns [n - COLUMNS, n).
constexpr std::string_view scroll_code = R"(
const uint32_t STEPS = MESSAGE_COLUMNS + COLUMNS;

void nextFrame(uint32_t step) {
  if (step == 0) {
    rewind();
    memset(frame, 0, COLUMNS);
    return;
  }
  memmove(frame, frame + 1, COLUMNS - 1);
  frame[COLUMNS - 1] = nextColumn();
}
)";

// Paging on a row of modules: a line of whole characters per step.
constexpr std::string_view page_code = R"(
const uint32_t STEPS = LINES;

void nextFrame(uint32_t step) {
  if (step == 0) {
    rewind();
  }
  memset(frame, 0, COLUMNS);
  const byte width = pgm_read_byte(&LINE_WIDTH[step]);
  for (byte x = 0; x < width; ++x) {
    frame[x] = nextColumn();
  }
}
)";

// Paging on a panel: eight lines per step, streamed from flash as the
// driver writes them, with no frame in RAM.
constexpr std::string_view screen_code = R"(
const uint32_t STEPS = (LINES + 7) / 8;
bool patternOnScreen;  // the power-up pattern, not the message
uint16_t screenLine;   // the screen's first line
uint16_t line;         // the line screenColumn() is in
byte lineWidth;
byte x;

void nextFrame(uint32_t step) {
  if (step == 0) {
    rewind();
  }
  screenLine = step * 8;
}

byte widthOf(uint16_t l) {
  return l < LINES && l < screenLine + 8 ? pgm_read_byte(&LINE_WIDTH[l]) : 0;
}

void screenBegin() {
  line = screenLine;
  lineWidth = widthOf(line);
  x = 0;
}

// The screen's columns, line after line, 128 to a line.
byte screenColumn() {
  byte b = 0;
  if (patternOnScreen) {
    b = line == screenLine && x < 8 ? pgm_read_byte(&TEST_PATTERN[x]) : 0;
  } else if (x < lineWidth) {
    b = nextColumn();
  }
  if (++x == 128) {
    x = 0;
    lineWidth = widthOf(++line);
  }
  return b;
}
)";

constexpr std::string_view setup_code = R"(
uint32_t step = 0;
unsigned long next;

void setup() {
  displayBegin();
#if PAGED_PANEL
  patternOnScreen = true;
  screenBegin();
  displayShow();
  patternOnScreen = false;
#else
  memset(frame, 0, COLUMNS);
  memcpy_P(frame, TEST_PATTERN, 8);
  displayShow();
#endif
  // Waits with the display refreshed: a multiplexed matrix goes dark
  // whenever it is not scanned.
#if TEST_PATTERN_MS > 0
  const unsigned long start = millis();
  while (millis() - start < TEST_PATTERN_MS) {
    displayRefresh();
  }
#endif
  next = millis();
}

void loop() {
  displayRefresh();
  if ((long)(millis() - next) < 0) {
    return;
  }
  next += STEP_MS;
  nextFrame(step);
#if PAGED_PANEL
  screenBegin();
#endif
  displayShow();
  if (++step == STEPS) {
    step = 0;
  }
}
)";

std::string define(std::string_view name, const std::string& value) {
    return "#define " + std::string(name) + " " + value + "\n";
}

std::string hex_byte(unsigned v) {
    static constexpr char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[(v >> 4) & 15] + digits[v & 15];
}

class sketch_writer : public message_writer {
  public:
    explicit sketch_writer(const settings& s) : m_(s.matrix), drawn_with_(s.drawn_with) {}

    std::string write(stream& sink, const message_strip& strip, std::string_view text) override {
        const detail::message_plan plan = detail::plan_message(strip, m_);
        if (!plan.refusal.empty()) {
            return plan.refusal;
        }
        std::string colour;
        if ((m_.shown_on->options & takes_colour) != 0) {
            if (std::string why = colour_defines(strip, colour); !why.empty()) {
                return why;
            }
        }
        std::string& out = sink.text();
        append_head(out, text, plan);
        out += colour;
        out += portable_progmem;
        out += "\nconst byte TEST_PATTERN[8] PROGMEM = {";
        for (std::size_t i = 0; i < 8; ++i) {
            out += (i == 0 ? "" : ", ") + hex_byte(test_arrow[i]);
        }
        out += "};\n";
        if (!paged_panel()) {
            out += "byte frame[COLUMNS];  // a byte per column, leftmost first, top pixel lowest\n";
        } else {
            out += "void screenBegin();\nbyte screenColumn();\n";
        }
        out +=
            "\n// The display's driver: it starts the display, shows a new frame, and keeps\n"
            "// a multiplexed display scanned.\n"
            "void displayBegin();\nvoid displayShow();\nvoid displayRefresh();\n";
        out += m_.shown_on->driver;
        out += m_.shown_on->shared_driver;
        append_message(out, plan);
        out += cursor_code;
        out += m_.mode == motion::scroll ? scroll_code : paged_panel() ? screen_code : page_code;
        out += setup_code;
        sink.flush();
        return {};
    }

  private:
    // Colour LEDs draw about 20 mA a channel at full brightness, and about
    // 1 mA each for their own chip, lit or not. The brightest frame (the
    // power-up pattern among them) must stay within the budget, so the
    // colour is scaled down as far as it needs to be.
    std::string colour_defines(const message_strip& strip, std::string& out) const {
        constexpr double channel_ma = 20.0;
        constexpr double chip_ma = 1.0;
        const std::size_t leds = static_cast<std::size_t>(m_.columns()) * glyph_side;
        std::size_t lit = frames(strip, m_).most_lit();
        std::size_t pattern = 0;
        for (const std::uint8_t b : test_arrow) {
            pattern += static_cast<std::size_t>(std::popcount(b));
        }
        lit = std::max(lit, pattern);
        const unsigned rgb[3] = {(m_.colour >> 16) & 0xFF, (m_.colour >> 8) & 0xFF,
                                 m_.colour & 0xFF};
        const double per_led = (rgb[0] + rgb[1] + rgb[2]) / 255.0 * channel_ma;
        const double idle = chip_ma * static_cast<double>(leds);
        const double budget = m_.max_current_ma;
        if (idle >= budget) {
            return std::to_string(m_.modules) + " panels draw about " +
                   std::to_string(static_cast<int>(idle)) +
                   " mA even when dark, more than --max-current " +
                   std::to_string(m_.max_current_ma);
        }
        const double wanted = idle + per_led * static_cast<double>(lit);
        const double scale = wanted <= budget ? 1.0 : (budget - idle) / (wanted - idle);
        unsigned scaled[3];
        for (int i = 0; i < 3; ++i) {
            scaled[i] = static_cast<unsigned>(rgb[i] * scale);
        }
        const double drawn = idle + (scaled[0] + scaled[1] + scaled[2]) / 255.0 * channel_ma *
                                        static_cast<double>(lit);
        out += "// The brightest frame lights " + std::to_string(lit) + " LEDs: about " +
               std::to_string(static_cast<int>(drawn + 0.5)) + " mA with the LEDs' own " +
               std::to_string(static_cast<int>(idle)) + " mA, within --max-current " +
               std::to_string(m_.max_current_ma) +
               (scale < 1.0 ? " (the colour is dimmed to fit)" : "") + ".\n";
        static const char* names[3] = {"COLOR_R", "COLOR_G", "COLOR_B"};
        for (int i = 0; i < 3; ++i) {
            out += define(names[i], std::to_string(scaled[i]));
        }
        return {};
    }

    bool paged_panel() const { return m_.panel() && m_.mode == motion::page; }

    void append_head(std::string& out, std::string_view text,
                     const detail::message_plan& plan) const {
        const display& d = *m_.shown_on;
        const arduino_board& board = *m_.arduino;
        const std::string units = (d.options & takes_modules) != 0
                                      ? std::to_string(m_.modules) + " " + std::string(d.part) +
                                            (m_.modules > 1 ? "s" : "")
                                      : "a " + std::string(d.part);
        out += "// " + comment_text(text) + "\n//\n";
        out +=
            "// An " + std::string(board.title) + " sketch by glyph8 " + std::string(version) +
            ": the text above on " + units + ",\n// " +
            (m_.mode == motion::scroll ? "scrolling one column every " : "one screenful every ") +
            std::to_string(m_.step_ms) + " ms.\n";
        out += "// Made with: glyph8-cli --sketch " + display_options_text(m_) +
               (drawn_with_.empty() ? "" : " " + drawn_with_) + "\n";
        out += "// About " + std::to_string(plan.flash) + " bytes of flash (of " +
               std::to_string(board.flash) + ") and " + std::to_string(plan.ram) +
               " bytes of RAM (of " + std::to_string(board.ram) + ").\n";
        out += "// Wiring (" + std::string(board.title) +
               "): " + std::string(board.name == "mega" ? d.wiring_mega : d.wiring) + ".\n";
        out +=
            "// At power-up an arrow points right at the top left, with a dot in its top\n"
            "// left corner. Anything else (an arrow pointing down, on the right,\n"
            "// mirrored) means other wiring: see \"Which board\" in glyph8's README.\n";
        out += define("MODULES", std::to_string(m_.modules));
        out += define("COLUMNS", std::to_string(m_.columns()));
        out += define("SCROLL", m_.mode == motion::scroll ? "1" : "0");
        out += define("PAGED_PANEL", paged_panel() ? "1" : "0");
        out += "#ifndef STEP_MS\n" + define("STEP_MS", std::to_string(m_.step_ms)) + "#endif\n";
        out += "// 0 skips the power-up pattern.\n#ifndef TEST_PATTERN_MS\n" +
               define("TEST_PATTERN_MS", "2000") + "#endif\n";
        if (const auto v = d.variants[static_cast<std::size_t>(m_.variant)].define; !v.empty()) {
            out += "#define " + std::string(v) + "\n";
        }
    }

    void append_message(std::string& out, const detail::message_plan& plan) const {
        const detail::pieces& p = plan.cut;
        out +=
            "\n// The message's columns, top pixel in the lowest bit; each distinct piece once.\n";
        append_array(out, "const byte PIECE_COLUMNS[]", p.columns);
        append_array(out, "const uint16_t PIECE_START[]", p.starts);
        append_array(out, p.wide_index() ? "const uint16_t MESSAGE[]" : "const byte MESSAGE[]",
                     p.message);
        out += "#define PIECE(i) " +
               std::string(p.wide_index() ? "pgm_read_word" : "pgm_read_byte") + "(&MESSAGE[i])\n";
        out += "const uint16_t MESSAGE_PIECES = " + std::to_string(p.message.size()) + ";\n";
        std::size_t columns = 0;
        for (std::size_t i : p.message) {
            columns += p.starts[i + 1] - p.starts[i];
        }
        out += "const uint32_t MESSAGE_COLUMNS = " + std::to_string(columns) + "UL;\n";
        if (m_.mode == motion::page) {
            std::vector<std::size_t> widths;
            for (const page& l : plan.lines) {
                widths.push_back(l.width);
            }
            out += "// The columns of each line, in order.\n";
            append_array(out, "const byte LINE_WIDTH[]", widths);
            out += "const uint16_t LINES = " + std::to_string(widths.size()) + ";\n";
        }
    }

    matrix_settings m_;
    std::string drawn_with_;
};

}  // namespace

std::unique_ptr<message_writer> make_sketch_writer(const settings& s) {
    return std::make_unique<sketch_writer>(s);
}

}  // namespace glyph8::output
