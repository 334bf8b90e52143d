// An Arduino sketch that shows the message on a display of the table.
//
// Every sketch has the same frame: the message's pieces in flash, a cursor
// that walks them column by column, the steps of the frame model in
// matrix.cpp, and the display's driver, which is the only part that knows
// the display. A step costs the same wherever it is in the message.
#include <algorithm>
#include <bit>

#include "declaration.hpp"
#include "glyph8/display.hpp"
#include "glyph8/image.hpp"
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
void scrollFrame(uint32_t step) {
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
void pageFrame(uint32_t step) {
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

// Paging on a panel: a screenful of PANEL_LINES lines per step, streamed
// from flash as the driver writes them, with no frame in RAM.
constexpr std::string_view screen_code = R"(
bool patternOnScreen;  // the power-up pattern, not the message
uint16_t screenLine;   // the screen's first line
uint16_t line;         // the line screenColumn() is in
byte lineWidth;
byte x;

void screenFrame(uint32_t step) {
  if (step == 0) {
    rewind();
  }
  screenLine = step * PANEL_LINES;
}

byte widthOf(uint16_t l) {
  return l < LINES && l < screenLine + PANEL_LINES ? pgm_read_byte(&LINE_WIDTH[l]) : 0;
}

void screenBegin() {
  line = screenLine;
  lineWidth = widthOf(line);
  x = 0;
}

// The screen's columns, line after line, the panel's width to a line.
byte screenColumn() {
  byte b = 0;
  if (patternOnScreen) {
    b = line == screenLine && x < 8 ? pgm_read_byte(&TEST_PATTERN[x]) : 0;
  } else if (x < lineWidth) {
    b = nextColumn();
  }
  if (++x == MOST_COLUMNS) {
    x = 0;
    lineWidth = widthOf(++line);
  }
  return b;
}
)";

// The power-up pattern, then a step of the message every STEP_MS.
// `pattern_shown` is where an image that found no message stops.
constexpr std::string_view setup_begin = R"(
uint32_t step = 0;
unsigned long next;

void setup() {
)";

constexpr std::string_view setup_pattern = R"(  displayBegin();
#if HAS_SCREEN
  if (PAGED_PANEL) {
    patternOnScreen = true;
    screenBegin();
    displayShow();
    patternOnScreen = false;
  }
#endif
#if HAS_FRAME
  if (!PAGED_PANEL) {
    memset(frame, 0, COLUMNS);
    memcpy_P(frame, TEST_PATTERN, 8);
    displayShow();
  }
#endif
  // Waits with the display refreshed: a multiplexed matrix goes dark
  // whenever it is not scanned.
#if TEST_PATTERN_MS > 0
  const unsigned long start = millis();
  while (millis() - start < TEST_PATTERN_MS) {
    displayRefresh();
  }
#endif
)";

constexpr std::string_view setup_end = R"(  next = millis();
}

void loop() {
  displayRefresh();
)";

constexpr std::string_view loop_end = R"(  if ((long)(millis() - next) < 0) {
    return;
  }
  next += STEP_MS;
  nextFrame(step);
#if HAS_SCREEN
  if (PAGED_PANEL) {
    screenBegin();
  }
#endif
  displayShow();
  if (++step == STEPS) {
    step = 0;
  }
}
)";

// A prebuilt image reads the message from the block glyph8 writes after it:
// the first 256-byte boundary past the program's own flash (its code and its
// data's initial values). The layout is block.cpp's; a block that is not
// whole, not for this display, or does not check out leaves a cross on the
// display instead of whatever flash held.
constexpr std::string_view image_state = R"(
// What the block says, read once at power-up; the driver reads these.
byte modules = MOST_MODULES;
uint16_t columns = MOST_COLUMNS;
bool pagedPanel = false;
byte motionKind;  // 0 scrolling, 1 paging
uint16_t stepMs;
uint32_t steps;
byte variantValue = DEFAULT_WIRING;  // the wiring; the cross uses the usual one
byte colourR = CROSS_R, colourG = CROSS_G, colourB = CROSS_B;  // until a block says
byte levelValue = DEFAULT_LEVEL;  // brightness or contrast, as the chip takes it
byte addressValue = DEFAULT_ADDRESS;  // on I2C: the display's (its leftmost module's)
bool messageValid;
)";

constexpr std::string_view block_reader = R"(
extern "C" char __data_load_end;  // the linker's: the end of this program in flash
const byte* PIECE_COLUMNS;
const uint16_t* PIECE_START;
const uint16_t* MESSAGE;
const byte* LINE_WIDTH;
uint16_t MESSAGE_PIECES;
uint32_t MESSAGE_COLUMNS;
uint16_t LINES;
#define PIECE(i) pgm_read_word(&MESSAGE[i])

uint16_t blockWord(const byte* at) {
  return pgm_read_byte(at) | (uint16_t)pgm_read_byte(at + 1) << 8;
}

// CRC-16/CCITT-FALSE: polynomial 0x1021, from 0xFFFF.
uint16_t blockCrc(const byte* at, uint16_t length) {
  uint16_t crc = 0xFFFF;
  while (length-- > 0) {
    crc ^= (uint16_t)pgm_read_byte(at++) << 8;
    for (byte bit = 0; bit < 8; ++bit) {
      crc = crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1;
    }
  }
  return crc;
}

bool blockRead() {
  const uint16_t address = ((uint16_t)&__data_load_end + 255) & ~255;
  const byte* b = (const byte*)address;
  const uint32_t room = BLOCK_LIMIT - (uint32_t)address;
  if (pgm_read_byte(b) != 'g' || pgm_read_byte(b + 1) != '8' ||
      pgm_read_byte(b + 2) != BLOCK_VERSION || pgm_read_byte(b + 3) != IMAGE_DISPLAY) {
    return false;
  }
  const uint16_t length = blockWord(b + 4);
  if (length < BLOCK_HEADER + 2 || length > room ||
      blockCrc(b, length - 2) != blockWord(b + length - 2)) {
    return false;
  }
  const byte count = pgm_read_byte(b + 7);
  const byte kind = pgm_read_byte(b + 8);
  const uint16_t pieceColumns = blockWord(b + 14);
  const uint16_t pieces = blockWord(b + 16);
  const uint16_t messagePieces = blockWord(b + 18);
  const uint16_t lines = blockWord(b + 20);
  if (count < 1 || count > MOST_MODULES || kind > 1 || (kind == 0 && lines != 0) ||
      (uint32_t)BLOCK_HEADER + pieceColumns + 2UL * (pieces + 1) + 2UL * messagePieces + lines + 2 !=
          length) {
    return false;
  }
  variantValue = pgm_read_byte(b + 6);
  modules = PANEL ? 1 : count;
  columns = PANEL ? MOST_COLUMNS : modules * 8;
  motionKind = kind;
  pagedPanel = PANEL && kind == 1;
  colourR = pgm_read_byte(b + 9);
  colourG = pgm_read_byte(b + 10);
  colourB = pgm_read_byte(b + 11);
  stepMs = blockWord(b + 12);
  levelValue = pgm_read_byte(b + 26);
  addressValue = pgm_read_byte(b + 27);
  MESSAGE_PIECES = messagePieces;
  LINES = lines;
  MESSAGE_COLUMNS = blockWord(b + 22) | (uint32_t)blockWord(b + 24) << 16;
  PIECE_COLUMNS = b + BLOCK_HEADER;
  PIECE_START = (const uint16_t*)(PIECE_COLUMNS + pieceColumns);
  MESSAGE = PIECE_START + pieces + 1;
  LINE_WIDTH = (const byte*)(MESSAGE + messagePieces);
  steps = kind == 0    ? MESSAGE_COLUMNS + COLUMNS
          : pagedPanel ? (LINES + PANEL_LINES - 1) / PANEL_LINES
                       : LINES;
  return true;
}
)";

// The image takes each of the motions the block may ask for.
constexpr std::string_view image_dispatch = R"(
void nextFrame(uint32_t step) {
  if (motionKind == 0) {
    scrollFrame(step);
    return;
  }
#if HAS_SCREEN
  if (pagedPanel) {
    screenFrame(step);
    return;
  }
#endif
  pageFrame(step);
}

// A cross on every module (across a panel's middle line): no message here.
void showCross() {
  for (uint16_t c = 0; c < COLUMNS; ++c) {
    frame[c] = (1 << (c & 7)) | (0x80 >> (c & 7));
  }
  displayShow();
}
)";

std::string define(std::string_view name, const std::string& value) {
    return "#define " + std::string(name) + " " + value + "\n";
}

// The parts every program has, in order around its message: the flash
// macros, the power-up pattern, the frame, the driver.
void append_frame_and_driver(std::string& out, const display& d, bool frame, bool screen,
                             std::string_view before_driver) {
    out += portable_progmem;
    out += "\nconst byte TEST_PATTERN[8] PROGMEM = {";
    for (std::size_t i = 0; i < 8; ++i) {
        out += (i == 0 ? "" : ", ") + detail::hex_byte(test_arrow[i]);
    }
    out += "};\n";
    if (frame) {
        out +=
            "byte frame[MOST_COLUMNS];  // a byte per column, leftmost first, top pixel lowest\n";
    }
    if (screen) {
        out += "void screenBegin();\nbyte screenColumn();\n";
    }
    out += before_driver;
    out +=
        "\n// The display's driver: it starts the display, shows a new frame, and keeps\n"
        "// a multiplexed display scanned.\n"
        "void displayBegin();\nvoid displayShow();\nvoid displayRefresh();\n";
    out += d.driver;
    out += d.bus_driver;
    out += d.shared_driver;
}

// The name of the macro a display's wirings set ("FC16_WIRING"), and the
// value a wiring gives it; empty for a display of one wiring.
std::string_view variant_macro(const display& d) {
    const std::string_view v = d.variants.front().define;
    return v.substr(0, v.find(' '));
}

unsigned variant_value(const display& d, int variant) {
    const std::string_view v = d.variants[static_cast<std::size_t>(variant)].define;
    const std::size_t space = v.find(' ');
    return space == std::string_view::npos
               ? 0
               : static_cast<unsigned>(std::stoul(std::string(v.substr(space + 1))));
}

std::size_t display_number(const display& d) {
    return static_cast<std::size_t>(&d - displays().data());
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
            const detail::led_colour c = detail::colour_for(strip, m_);
            if (!c.refusal.empty()) {
                return c.refusal;
            }
            colour = "// The brightest frame lights " + std::to_string(c.lit) + " LEDs: about " +
                     std::to_string(c.drawn_ma) + " mA with the LEDs' own " +
                     std::to_string(c.idle_ma) + " mA, within --max-current " +
                     std::to_string(m_.max_current_ma) +
                     (c.dimmed ? " (the colour is dimmed to fit)" : "") + ".\n";
            static const char* names[3] = {"COLOR_R", "COLOR_G", "COLOR_B"};
            for (int i = 0; i < 3; ++i) {
                colour += define(names[i], std::to_string(c.rgb[i]));
            }
        }
        std::string& out = sink.text();
        append_head(out, text, plan);
        out += colour;
        append_frame_and_driver(out, *m_.shown_on, !paged_panel(), paged_panel(), {});
        append_message(out, detail::tables_of(plan, m_));
        out += cursor_code;
        if (m_.mode == motion::scroll) {
            out += scroll_code;
            out +=
                "\nconst uint32_t STEPS = MESSAGE_COLUMNS + COLUMNS;\n"
                "#define nextFrame scrollFrame\n";
        } else if (paged_panel()) {
            out += screen_code;
            out +=
                "\nconst uint32_t STEPS = (LINES + PANEL_LINES - 1) / PANEL_LINES;\n"
                "#define nextFrame screenFrame\n";
        } else {
            out += page_code;
            out += "\nconst uint32_t STEPS = LINES;\n#define nextFrame pageFrame\n";
        }
        out += setup_begin;
        out += setup_pattern;
        out += setup_end;
        out += loop_end;
        sink.flush();
        return {};
    }

  private:
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
        if (m_.panel()) {
            out += define("PANEL_LINES", std::to_string(m_.lines()));
        }
        out += "#define MOST_MODULES MODULES\n#define MOST_COLUMNS COLUMNS\n";
        out += define("PAGED_PANEL", paged_panel() ? "1" : "0");
        out += define("HAS_FRAME", paged_panel() ? "0" : "1");
        out += define("HAS_SCREEN", paged_panel() ? "1" : "0");
        out += "#ifndef STEP_MS\n" + define("STEP_MS", std::to_string(m_.step_ms)) + "#endif\n";
        out += "// 0 skips the power-up pattern.\n#ifndef TEST_PATTERN_MS\n" +
               define("TEST_PATTERN_MS", "2000") + "#endif\n";
        if (const auto v = d.variants[static_cast<std::size_t>(m_.variant)].define; !v.empty()) {
            out += "#define " + std::string(v) + "\n";
        }
        if (m_.address) {
            const std::string address = detail::hex_byte(static_cast<unsigned>(*m_.address));
            out += "#define " + std::string(d.address.macro) + " " + address + "  // --address " +
                   address + "\n";
        }
        if (m_.level) {
            out += "#define " + std::string(d.level.macro) + " " + std::to_string(m_.chip_level()) +
                   "  // " + std::string(d.level.option) + " " + std::to_string(*m_.level) + "\n";
        }
    }

    void append_message(std::string& out, const detail::message_tables& t) const {
        const bool wide = t.piece_start.size() - 1 > 256;
        out +=
            "\n// The message's columns, top pixel in the lowest bit; each distinct piece once.\n";
        append_array(out, "const byte PIECE_COLUMNS[]", t.piece_columns);
        append_array(out, "const uint16_t PIECE_START[]", t.piece_start);
        append_array(out, wide ? "const uint16_t MESSAGE[]" : "const byte MESSAGE[]", t.message);
        out += "#define PIECE(i) " + std::string(wide ? "pgm_read_word" : "pgm_read_byte") +
               "(&MESSAGE[i])\n";
        out += "const uint16_t MESSAGE_PIECES = " + std::to_string(t.message.size()) + ";\n";
        out += "const uint32_t MESSAGE_COLUMNS = " + std::to_string(t.message_columns) + "UL;\n";
        if (m_.mode == motion::page) {
            out += "// The columns of each line, in order.\n";
            append_array(out, "const byte LINE_WIDTH[]", t.line_width);
            out += "const uint16_t LINES = " + std::to_string(t.line_width.size()) + ";\n";
        }
    }

    matrix_settings m_;
    std::string drawn_with_;
};

}  // namespace

std::unique_ptr<message_writer> make_sketch_writer(const settings& s) {
    return std::make_unique<sketch_writer>(s);
}

std::string image_program(const display& d, const arduino_board& board) {
    const bool panel = d.shape == display_shape::panel;
    const int most_columns = panel ? d.panel_columns : d.most_modules * glyph_side;
    std::string out;
    out += "// glyph8 " + std::string(version) + "'s prebuilt program for " + std::string(d.part) +
           (panel ? "" : "s") + " on an " + std::string(board.title) +
           ".\n//\n"
           "// It shows whatever message glyph8 wrote into the block after it, with the\n"
           "// block's options: glyph8 uploads the two with no compiler. Without a block\n"
           "// that checks out, it shows a cross.\n";
    out += "// Wiring (" + std::string(board.title) +
           "): " + std::string(board.name == "mega" ? d.wiring_mega : d.wiring) + ".\n";
    out += define("GLYPH8_IMAGE", "1");
    out += define("IMAGE_DISPLAY", std::to_string(display_number(d)));
    out += define("BLOCK_VERSION", std::to_string(block_version));
    out += define("BLOCK_HEADER", std::to_string(block_header_size));
    out += define("BLOCK_LIMIT", std::to_string(block_limit(board)) + "UL");
    out += define("PANEL", panel ? "1" : "0");
    out += define("PANEL_LINES", std::to_string(d.panel_lines));
    out += define("MOST_MODULES", std::to_string(panel ? 1 : d.most_modules));
    out += define("MOST_COLUMNS", std::to_string(most_columns));
    out += define("MODULES", "modules");
    out += define("COLUMNS", "columns");
    out += define("PAGED_PANEL", "pagedPanel");
    out += define("HAS_FRAME", "1");
    out += define("HAS_SCREEN", panel ? "1" : "0");
    out += define("STEP_MS", "stepMs");
    out += define("STEPS", "steps");
    out += define("TEST_PATTERN_MS", "2000");
    if (const std::string_view macro = variant_macro(d); !macro.empty()) {
        out += define(macro, "variantValue");
    }
    if ((d.options & takes_colour) != 0) {
        out += define("COLOR_R", "colourR") + define("COLOR_G", "colourG") +
               define("COLOR_B", "colourB");
    }
    if (!d.level.macro.empty()) {
        out += define(d.level.macro, "levelValue");
    }
    out += define("DEFAULT_WIRING", std::to_string(variant_value(d, 0)));
    out += define("DEFAULT_LEVEL", std::to_string(d.level.fallback));
    if (!d.address.macro.empty()) {
        out += define(d.address.macro, "addressValue");
    }
    out += define("DEFAULT_ADDRESS", std::to_string(d.address.fallback));
    // Colour LEDs show the cross in the default colour.
    out += define("CROSS_R", std::to_string((default_led_colour >> 16) & 0xFF));
    out += define("CROSS_G", std::to_string((default_led_colour >> 8) & 0xFF));
    out += define("CROSS_B", std::to_string(default_led_colour & 0xFF));
    append_frame_and_driver(out, d, true, panel, image_state);
    out += block_reader;
    out += cursor_code;
    out += scroll_code;
    out += page_code;
    if (panel) {
        out += screen_code;
    }
    out += image_dispatch;
    out += setup_begin;
    // Without a message the number of modules is not known, nor where the
    // pattern would show: the cross goes on every module there may be.
    out +=
        "  messageValid = blockRead();\n"
        "  if (!messageValid) {\n    displayBegin();\n    showCross();\n    return;\n  }\n";
    out += setup_pattern;
    out += setup_end;
    out += "  if (!messageValid) {\n    return;\n  }\n";
    out += loop_end;
    return out;
}

std::string write_block(const message_strip& strip, const matrix_settings& m,
                        std::vector<std::uint8_t>& out) {
    const detail::message_plan plan = detail::plan_message(strip, m);
    if (!plan.counts_fit) {
        return plan.refusal;
    }
    detail::led_colour colour;
    if ((m.shown_on->options & takes_colour) != 0) {
        colour = detail::colour_for(strip, m);
        if (!colour.refusal.empty()) {
            return colour.refusal;
        }
    }
    const detail::message_tables t = detail::tables_of(plan, m);
    std::vector<std::uint8_t> b;
    const auto word = [&b](std::uint32_t v) {
        b.push_back(static_cast<std::uint8_t>(v & 0xFF));
        b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    };
    b.push_back('g');
    b.push_back('8');
    b.push_back(block_version);
    b.push_back(static_cast<std::uint8_t>(display_number(*m.shown_on)));
    word(0);  // the length, once known
    b.push_back(static_cast<std::uint8_t>(variant_value(*m.shown_on, m.variant)));
    b.push_back(static_cast<std::uint8_t>(m.modules));
    b.push_back(m.mode == motion::scroll ? 0 : 1);
    for (const unsigned c : colour.rgb) {
        b.push_back(static_cast<std::uint8_t>(c));
    }
    word(static_cast<std::uint32_t>(m.step_ms));
    word(static_cast<std::uint32_t>(t.piece_columns.size()));
    word(static_cast<std::uint32_t>(t.piece_start.size() - 1));
    word(static_cast<std::uint32_t>(t.message.size()));
    word(static_cast<std::uint32_t>(t.line_width.size()));
    word(t.message_columns & 0xFFFF);
    word(t.message_columns >> 16);
    b.push_back(static_cast<std::uint8_t>(m.chip_level()));
    b.push_back(static_cast<std::uint8_t>(m.chip_address()));
    b.insert(b.end(), t.piece_columns.begin(), t.piece_columns.end());
    for (const std::uint16_t v : t.piece_start) {
        word(v);
    }
    for (const std::uint16_t v : t.message) {
        word(v);
    }
    b.insert(b.end(), t.line_width.begin(), t.line_width.end());
    const std::size_t length = b.size() + 2;
    if (length > 0xFFFF) {
        return "the message takes " + std::to_string(length) +
               " bytes, more than a block holds (65,535); shorten it";
    }
    b[4] = static_cast<std::uint8_t>(length & 0xFF);
    b[5] = static_cast<std::uint8_t>(length >> 8);
    word(block_crc(b));
    out = std::move(b);
    return {};
}

std::uint16_t block_crc(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc = static_cast<std::uint16_t>(crc ^ (byte << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

std::uint32_t block_limit(const arduino_board& board) {
    return static_cast<std::uint32_t>(std::min(board.flash, board.data_reach));
}

}  // namespace glyph8::output
