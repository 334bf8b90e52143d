// Output: every format glyph8 writes, with no I/O of its own.
//
// A writer appends text (or bytes) to a string; whoever drives it hands the
// string on. The formats are listed in one table with the settings each one
// takes, so a front end builds its help and its checks from that table and
// adding a format is a writer, a row and its tests. The one-line declaration
// that the windows show is formatted without touching the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "glyph8/glyph.hpp"
#include "glyph8/matrix.hpp"

namespace glyph8::output {

enum class number_style : std::uint8_t { decimal, hex };

// What a user can set; each format takes some of it (see `format::accepts`).
struct settings {
    bit_layout layout = bit_layout::columns;
    number_style numbers = number_style::decimal;
    bool grid = false;     // each glyph drawn with # and . in comment lines
    bool progmem = false;  // an AVR board keeps the array in flash
    std::string name = "d";
    matrix_settings matrix;  // the display a message is shown on
    // The options that chose how the text was drawn (fonts, composition),
    // as a command line spells them, so that a sketch can say how it was made.
    std::string drawn_with;
};

// The settings, as bits of `format::accepts`.
enum setting : unsigned {
    setting_layout = 1u << 0,
    setting_numbers = 1u << 1,
    setting_grid = 1u << 2,
    setting_name = 1u << 3,
    setting_progmem = 1u << 4,
    setting_matrix = 1u << 5,
};

// Receives glyphs one by one, in order, and appends what it makes of them
// to `out`.
class glyph_writer {
  public:
    virtual ~glyph_writer() = default;
    // `count` glyphs follow.
    virtual void begin(std::string& out, std::size_t count);
    virtual void add(std::string& out, char32_t code, glyph g) = 0;
    virtual void end(std::string& out);
};

// Where a long output goes while it is made: a writer appends to text()
// and flushes now and then, so that memory does not grow with the output.
class stream {
  public:
    virtual ~stream() = default;
    std::string& text() noexcept { return text_; }
    // Hands the text on and empties it; false when it could not be (the
    // writer then stops: whoever owns the stream knows why).
    virtual bool flush() = 0;

  private:
    std::string text_;
};

// Writes a whole message, drawn in one line.
class message_writer {
  public:
    virtual ~message_writer() = default;
    // `strip` is the message drawn, `text` what was typed. Returns why it
    // cannot be written (having written nothing), or an empty string.
    virtual std::string write(stream& out, const message_strip& strip, std::string_view text) = 0;
};

// What a format draws: the whole text as one glyph, each distinct character
// of it once, or the whole text in one line however long (a message).
enum class input : std::uint8_t { whole_text, each_character, message };

struct format {
    std::string_view name;  // also the command line's option: --NAME ("" for the default)
    std::string_view help;  // one sentence, for --help
    input draws;
    unsigned accepts;      // settings bits
    char32_t always_adds;  // a character the format needs even when the text lacks it (0: none)
    std::size_t most_characters;  // what a reader takes back (0: no limit)
    // One of the two, as `draws` says.
    std::unique_ptr<glyph_writer> (*make_glyphs)(const settings&);
    std::unique_ptr<message_writer> (*make_message)(const settings&);
};

// Every format; the first is the default.
std::span<const format> formats() noexcept;
const format* find_format(std::string_view name) noexcept;

// The writers, for the table and for callers that know what they want.
std::unique_ptr<glyph_writer> make_line_writer(const settings& s);
std::unique_ptr<glyph_writer> make_table_writer(const settings& s);
std::unique_ptr<glyph_writer> make_bdf_writer(const settings& s);
std::unique_ptr<message_writer> make_sketch_writer(const settings& s);
std::unique_ptr<message_writer> make_preview_writer(const settings& s);
std::unique_ptr<message_writer> make_intel_hex_writer(const settings& s);

// A preview of more frames than this is refused: it would take minutes to
// write and show no more than its first half hour or so does.
inline constexpr std::size_t most_preview_frames = 36000;

// The one line, "byte d[]={ 60, 74, 74, 48, 0, 0, 0, 0};", formatted in
// place: room for the longest name, PROGMEM and hex.
class line {
  public:
    line(const glyph_bytes& bytes, const settings& s) noexcept;
    std::string_view view() const noexcept { return {data_, size_}; }

  private:
    char data_[160];
    std::size_t size_ = 0;
};

// The window's line: columns, decimal, named d.
line window_line(glyph g) noexcept;

// The values as a declaration spells them: " 60, 74, ..., 0" or
// " 0x3C, 0x4A, ..., 0x00".
std::string format_values(const glyph_bytes& bytes, number_style style = number_style::decimal);

// The glyph as 8 comment lines of # and ., each after `indent`.
void append_grid(std::string& out, glyph g, std::string_view indent);

// "U+570B", "U+1F600".
std::string code_point_name(char32_t c);
// Characters that show nothing or reorder the text around them: controls,
// format characters, separators, noncharacters.
bool is_invisible(char32_t c) noexcept;
// "U+570B 國" for comments and messages; invisible characters by code point
// only; a backslash by name, since it would continue a // comment.
std::string describe_character(char32_t c);

// Why `name` cannot name an array in C, C++ or an Arduino sketch; empty when
// it can.
std::string_view identifier_problem(std::string_view name);

// The words identifier_problem refuses because C's library or Arduino.h
// already has them (space-separated, a space at each end), with the reason it
// gives for each list; for a test that builds each into a sketch.
struct taken_words {
    std::string_view reason;
    std::string_view words;
};
std::span<const taken_words> taken_names();

}  // namespace glyph8::output

namespace glyph8::output {

// One glyph of a face we write.
struct font_glyph {
    char32_t code = 0;
    glyph bitmap;
};

// A PCF font of 8x8 cells, 8 px em with its ascent line on the top row, the
// way the hand-drawn strike places its glyphs, encoded as ISO 10646.
// `glyphs` must be sorted by code point, all within the Basic Multilingual
// Plane. The bytes depend on nothing but the arguments.
std::vector<unsigned char> write_pcf(std::span<const font_glyph> glyphs, const std::string& family,
                                     const std::string& copyright);

}  // namespace glyph8::output
