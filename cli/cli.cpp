#include "cli.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <ostream>
#include <set>

#include "glyph8/capture.hpp"
#include "glyph8/default_face.hpp"
#include "glyph8/utf8.hpp"
#include "version.hpp"

namespace glyph8::cli {

namespace {

// Far beyond any font file; stops a mistaken path from eating memory.
constexpr std::size_t largest_font_file = 64u << 20;
// Standard input is read in pieces of this size.
constexpr std::size_t read_chunk = 64u << 10;
// Output is handed to the sink in pieces of about this size.
constexpr std::size_t write_chunk = 64u << 10;

constexpr std::string_view usage_text =
    "usage: glyph8-cli [OPTIONS] [TEXT]\n"
    "Prints the 8x8 glyph of TEXT as a byte array declaration:\n"
    "  $ glyph8-cli 6\n"
    "  byte d[]={ 60, 74, 74, 48, 0, 0, 0, 0};\n"
    "The text is drawn at 8 points and the block at columns 0..7, rows 1..8 is\n"
    "read back. Without TEXT, or with TEXT '-', the text is read from standard\n"
    "input; control characters draw nothing.\n"
    "\n"
    "Options:\n"
    "  --each          one glyph per character, as one table byte d[][8];\n"
    "                  repeated characters once, control characters skipped\n"
    "  --layout NAME   how the 64 pixels become 8 bytes (default: columns):\n"
    "      columns      a byte per column, top pixel = lowest bit\n"
    "                   (a pixel only at top left: { 1, 0, 0, 0, 0, 0, 0, 0})\n"
    "      columns-msb  a byte per column, top pixel = highest bit\n"
    "                   (a pixel only at top left: { 128, 0, 0, 0, 0, 0, 0, 0})\n"
    "      rows         a byte per row, left pixel = lowest bit\n"
    "                   (a pixel only at bottom left: { 0, 0, 0, 0, 0, 0, 0, 1})\n"
    "      rows-msb     a byte per row, left pixel = highest bit\n"
    "                   (a pixel only at bottom left: { 0, 0, 0, 0, 0, 0, 0, 128})\n"
    "  --hex           values as 0x.. hex\n"
    "  --grid          after each glyph, its 8x8 block as // comment lines of # and .\n"
    "  --name NAME     the array's name instead of d (a C identifier)\n"
    "  --progmem       declare the array as const byte NAME[][8] PROGMEM, so that an\n"
    "                  AVR board keeps it in flash; read it back with pgm_read_byte\n"
    "                  (#include <avr/pgmspace.h>), e.g. pgm_read_byte(&d[i][col])\n"
    "  --bdf           write the glyphs of the text's characters as a BDF font of\n"
    "                  8x8 cells instead, for other font tools; U+FFFD is added as\n"
    "                  its default character\n"
    "  --no-compose    draw the ideographs that Misaki Gothic lacks from Droid Sans\n"
    "                  Fallback's outlines instead of the composed 8x8 face\n"
    "  --font FILE     use a font file (TrueType, OpenType, BDF, PCF) ahead of the\n"
    "                  default face; may be repeated, the first given is tried first\n"
    "  --help          show this help\n"
    "  --version       show the version and the embedded fonts\n"
    "\n"
    "Exit status: 0 done, 1 the capture failed, 2 bad usage, input or font,\n"
    "3 the output could not be written.\n";

struct layout_name {
    std::string_view name;
    bit_layout layout;
};
constexpr layout_name layouts[] = {{"columns", bit_layout::columns},
                                   {"columns-msb", bit_layout::columns_msb},
                                   {"rows", bit_layout::rows},
                                   {"rows-msb", bit_layout::rows_msb}};

struct options {
    bool help = false;
    bool version = false;
    bool each = false;
    bool hex = false;
    bool grid = false;
    bool progmem = false;
    bool bdf = false;
    bool layout_given = false;
    composition composed = composition::on;
    bit_layout layout = bit_layout::columns;
    std::string name = "d";
    bool name_given = false;
    std::vector<std::string> fonts;
    bool text_given = false;  // TEXT or '-'
    bool from_stdin = true;
    std::string text;
};

// Keywords of C and C++ cannot name an array.
bool is_keyword(std::string_view word) {
    static constexpr std::string_view keywords =
        " alignas alignof and and_eq asm auto bitand bitor bool break case catch char char8_t "
        "char16_t char32_t class compl concept const consteval constexpr constinit const_cast "
        "continue co_await co_return co_yield decltype default delete do double dynamic_cast else "
        "enum explicit export extern false float for friend goto if inline int long mutable "
        "namespace new noexcept not not_eq nullptr operator or or_eq private protected public "
        "register reinterpret_cast requires restrict return short signed sizeof static "
        "static_assert static_cast struct switch template this thread_local throw true try typedef "
        "typeid typename union unsigned using virtual void volatile wchar_t while xor xor_eq "
        "_Alignas _Alignof _Atomic _Bool _Complex _Generic _Imaginary _Noreturn _Static_assert "
        "_Thread_local ";
    return keywords.find(" " + std::string(word) + " ") != std::string_view::npos;
}

bool is_identifier(std::string_view s) {
    const auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    return !s.empty() && s.size() <= 63 && letter(s[0]) &&
           std::all_of(s.begin(), s.end(),
                       [&](char c) { return letter(c) || (c >= '0' && c <= '9'); }) &&
           !is_keyword(s);
}

// Empty string on success, else the message for stderr.
std::string parse(const std::vector<std::string>& args, options& opt) {
    bool only_text = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (only_text || arg == "-" || arg.empty() || arg[0] != '-') {
            if (opt.text_given) {
                return "more than one TEXT given (quote a text that has spaces)";
            }
            opt.text_given = true;
            opt.from_stdin = arg == "-" && !only_text;
            opt.text = opt.from_stdin ? std::string() : arg;
            continue;
        }
        // --name=value and --name value both work for options with a value.
        std::string name = arg;
        std::string value;
        bool has_value = false;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            has_value = true;
        }
        const bool takes_value = name == "--layout" || name == "--font" || name == "--name";
        if (!takes_value && has_value) {
            return "option '" + name + "' takes no value";
        }
        if (takes_value && !has_value) {
            if (i + 1 >= args.size()) {
                return "option '" + name + "' needs a value";
            }
            value = args[++i];
        }
        if (name == "--") {
            only_text = true;
        } else if (name == "--help") {
            opt.help = true;
        } else if (name == "--version") {
            opt.version = true;
        } else if (name == "--each") {
            opt.each = true;
        } else if (name == "--hex") {
            opt.hex = true;
        } else if (name == "--grid") {
            opt.grid = true;
        } else if (name == "--progmem") {
            opt.progmem = true;
        } else if (name == "--bdf") {
            opt.bdf = true;
        } else if (name == "--no-compose") {
            opt.composed = composition::off;
        } else if (name == "--font") {
            if (value.empty()) {
                return "option '--font' needs a file name";
            }
            opt.fonts.push_back(value);
        } else if (name == "--name") {
            if (!is_identifier(value)) {
                return "'" + value +
                       "' cannot name an array (letters, digits and _, not starting with a "
                       "digit, at most 63, not a keyword)";
            }
            opt.name = value;
            opt.name_given = true;
        } else if (name == "--layout") {
            const auto* found = std::find_if(std::begin(layouts), std::end(layouts),
                                             [&](const auto& l) { return l.name == value; });
            if (found == std::end(layouts)) {
                return "unknown layout '" + value +
                       "' (choose columns, columns-msb, rows or rows-msb)";
            }
            opt.layout = found->layout;
            opt.layout_given = true;
        } else {
            return "unknown option '" + arg + "'";
        }
    }
    if (opt.bdf &&
        (opt.each || opt.hex || opt.grid || opt.progmem || opt.name_given || opt.layout_given)) {
        return "--bdf writes a font; --each, --layout, --hex, --grid, --name and --progmem "
               "do not apply to it";
    }
    return {};
}

std::string code_point_name(char32_t c) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string name = "U+";
    const int digits = c > 0xFFFF ? (c > 0xFFFFF ? 6 : 5) : 4;
    for (int i = digits - 1; i >= 0; --i) {
        name += hex[(c >> (4 * i)) & 0xF];
    }
    return name;
}

// Characters that show nothing, or that change how the text around them is
// shown: controls, format characters (the bidirectional ones among them),
// separators, other default-ignorable code points and noncharacters. In
// generated source they would hide or reorder the code, so comments and
// messages name them by code point only.
bool is_invisible(char32_t c) {
    struct range {
        char32_t first, last;
    };
    static constexpr range ranges[] = {
        {0x0000, 0x0020},   {0x007F, 0x00A0},   {0x00AD, 0x00AD},   {0x034F, 0x034F},
        {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
        {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x115F, 0x1160},   {0x1680, 0x1680},
        {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x2000, 0x200F},   {0x2028, 0x202F},
        {0x205F, 0x206F},   {0x3000, 0x3000},   {0x3164, 0x3164},   {0xFDD0, 0xFDEF},
        {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFFB},
        {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x13438}, {0x1BCA0, 0x1BCA3},
        {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF}};
    if ((c & 0xFFFE) == 0xFFFE) {
        return true;  // U+FFFE, U+FFFF and their like in every plane
    }
    const auto* it = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                                      [](char32_t v, const range& r) { return v < r.first; });
    return it != std::begin(ranges) && c <= std::prev(it)->last;
}

// "U+570B 國" for comments and messages; a character that shows nothing is
// named by its code point only. A backslash would end a // comment in a
// continuation and swallow the next row, so it is named instead of shown.
std::string describe_character(char32_t c) {
    std::string text = code_point_name(c);
    if (c == U'\\') {
        text += " backslash";
    } else if (!is_invisible(c)) {
        text += ' ';
        append_utf8(text, c);
    }
    return text;
}

void append_grid(std::string& out, const sample_window& window, std::string_view indent) {
    for (int y = 0; y < 8; ++y) {
        out += indent;
        out += "// ";
        for (int x = 0; x < 8; ++x) {
            out += window.ink[x][y] ? '#' : '.';
        }
        out += '\n';
    }
}

// Where the licence texts are, if they are installed beside this program.
std::string installed_licence_dir() {
    std::error_code ec;
#if defined(_WIN32)
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) {
            return {};
        }
        if (n < name.size()) {
            name.resize(n);
            break;
        }
        name.resize(name.size() * 2);
    }
    const std::filesystem::path exe(name);
#else
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
#endif
    const std::filesystem::path dir =
        (exe.parent_path() / font_licence_dir_from_program).lexically_normal();
    if (!std::filesystem::is_directory(dir, ec)) {
        return {};
    }
    const auto text = dir.u8string();
    return std::string(text.begin(), text.end());
}

std::string version_text() {
    std::string text = "glyph8-cli ";
    text += version;
    text += "\nDefault face, embedded (glyphs come from the first face that has them):\n";
    const auto faces = default_face_sources();
    for (std::size_t i = 0; i < faces.size(); ++i) {
        text +=
            "  " + std::to_string(i + 1) + ". " + faces[i].name + " (" + faces[i].licence + ")\n";
    }
    if (const std::string dir = installed_licence_dir(); !dir.empty()) {
        text += "The fonts' licence texts are in " + dir + "\n";
    } else {
        text += "The fonts' licence texts are not installed beside this copy of glyph8-cli.\n";
    }
    return text;
}

// Loads the --font files ahead of the default face, each file once. Empty
// string on success, else the message for stderr.
std::string load_faces(const std::vector<std::string>& paths, const file_reader& read,
                       std::vector<face_source>& faces) {
    std::set<std::string> loaded;
    for (const std::string& path : paths) {
        // A file given again adds nothing: the first copy already answers
        // for every character it has.
        if (!loaded.insert(path).second) {
            continue;
        }
        auto data = std::make_shared<std::vector<unsigned char>>();
        std::string why;
        if (!read(path, *data, why)) {
            return path + ": " + why;
        }
        face_source source{path, "", std::span<const unsigned char>(*data), data};
        face_info info;
        const status probed = probe_face(source, info);
        if (!info.damage.empty()) {
            return path + ": damaged font (" + info.damage + ")";
        }
        if (probed != status::ok) {
            return path + ": not a font file that can be read (TrueType, OpenType, BDF or PCF)";
        }
        const bool has_strike = std::find(info.strike_sizes.begin(), info.strike_sizes.end(),
                                          font_size_points) != info.strike_sizes.end();
        if (!info.scalable && !has_strike) {
            std::string sizes;
            for (const int s : info.strike_sizes) {
                sizes += (sizes.empty() ? "" : ", ") + std::to_string(s);
            }
            return path + ": bitmap font without an 8 px size (it has " + sizes +
                   " px); glyphs are drawn at 8 pt, 8 px";
        }
        faces.push_back(std::move(source));
    }
    return {};
}

// What of the text can matter. For one glyph that is the characters that
// can still reach the surface; for a table or a font, each distinct
// character once. Control characters draw nothing and are dropped.
class text_keeper {
  public:
    text_keeper(bool distinct, std::size_t limit) : distinct_(distinct), limit_(limit) {
        if (distinct_) {
            seen_.assign(0x110000, false);
        }
    }

    // `text` holds only whole, well-formed characters.
    void add(std::string_view text) {
        if (!distinct_ && count_ >= limit_) {
            return;
        }
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t start = pos;
            const char32_t c = decode_utf8(text, pos);
            if (is_control_character(c)) {
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
                    return;
                }
            }
        }
    }

    const std::string& text() const { return text_; }
    const std::vector<char32_t>& characters() const { return characters_; }

  private:
    bool distinct_;
    std::size_t limit_;
    std::size_t count_ = 0;
    std::string text_;
    std::vector<bool> seen_;
    std::vector<char32_t> characters_;
};

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

// Reads all of `in`, checks that it is UTF-8 to the last byte and hands its
// characters to `keep`. Empty string on success, else the message.
std::string read_text(source& in, text_keeper& keep) {
    std::vector<char> buffer(read_chunk + 4);
    std::size_t held = 0;           // bytes of an unfinished character, at the front
    unsigned long long offset = 0;  // of buffer[0] in the whole text
    for (;;) {
        std::string why;
        const std::ptrdiff_t n = in.read(std::span<char>(buffer.data() + held, read_chunk), why);
        if (n < 0) {
            return "cannot read standard input: " + why;
        }
        const std::size_t size = held + static_cast<std::size_t>(n);
        const std::size_t whole = n == 0 ? size : size - unfinished_tail(buffer.data(), size);
        const std::string_view part(buffer.data(), whole);
        if (const auto bad = find_invalid_utf8(part)) {
            return "the text is not valid UTF-8 (byte " + std::to_string(offset + *bad) + ")";
        }
        keep.add(part);
        if (n == 0) {
            return {};
        }
        std::memmove(buffer.data(), buffer.data() + whole, size - whole);
        held = size - whole;
        offset += whole;
    }
}

// Collects output and hands it on in large pieces; remembers the first
// failure, after which nothing more is written.
class writer {
  public:
    explicit writer(sink& out) : out_(out) {}
    std::string& buffer() { return buffer_; }
    bool maybe_flush() { return buffer_.size() < write_chunk || flush(); }
    bool flush() {
        if (failed_) {
            return false;
        }
        if (!buffer_.empty() && !out_.write(buffer_, why_)) {
            failed_ = true;
            return false;
        }
        buffer_.clear();
        return true;
    }
    const std::string& why() const { return why_; }

  private:
    sink& out_;
    std::string buffer_;
    std::string why_;
    bool failed_ = false;
};

int write_failed(const writer& w, std::ostream& err) {
    err << "glyph8-cli: cannot write the output: " << w.why() << "\n";
    return exit_write;
}

class capturer {
  public:
    // The first `user_fonts` faces are the user's files, named in warnings.
    capturer(std::vector<face_source> faces, std::size_t user_fonts)
        : names_(names_of(faces, user_fonts)),
          face_(std::make_shared<typeface>(std::move(faces))),
          pic_(picture_width, picture_height, face_),
          box_(pic_) {}

    // Characters past this many (not counting controls) never reach the
    // surface, so the rest of a long text need not be kept.
    std::size_t reach() const { return pic_.glyph_limit(); }

    // Captures `text` and reads back its window; false with `err` written on
    // failure.
    bool capture(std::string text, sample_window& window, std::ostream& err) {
        string_box input(std::move(text));
        string_box output;
        if (const capture_result result = run_capture(box_, input, output, &window)) {
            err << "glyph8-cli: " << result->message() << "\n";
            return false;
        }
        for (const char32_t c : pic_.missing()) {
            if (warned_.insert(c).second) {
                err << "glyph8-cli: warning: no font has " << describe_character(c)
                    << "; drawn as a box\n";
            }
        }
        const auto& failures = face_->load_failures();
        for (; failures_reported_ < failures.size(); ++failures_reported_) {
            const auto& f = failures[failures_reported_];
            if (f.face < names_.size()) {
                err << "glyph8-cli: warning: " << names_[f.face] << ": damaged font (the glyph of "
                    << describe_character(f.code)
                    << " cannot be loaded; it is drawn from the next font)\n";
            }
        }
        return true;
    }

  private:
    static std::vector<std::string> names_of(const std::vector<face_source>& faces,
                                             std::size_t count) {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < count && i < faces.size(); ++i) {
            names.push_back(faces[i].name);
        }
        return names;
    }

    std::vector<std::string> names_;
    std::shared_ptr<typeface> face_;
    surface pic_;
    surface_box box_;
    std::set<char32_t> warned_;
    std::size_t failures_reported_ = 0;
};

std::string declaration_start(const options& opt, bool table) {
    const std::string brackets = table ? "[][8]" : "[]";
    return opt.progmem ? "const byte " + opt.name + brackets + " PROGMEM = {"
                       : "byte " + opt.name + brackets + "={";
}

// A BDF 2.1 font of 8x8 cells: ascent 7, descent 1, so that the cell is
// exactly the sampling window and the font draws back the same pixels.
void append_bdf_header(std::string& out, std::size_t glyphs) {
    out +=
        "STARTFONT 2.1\n"
        "FONT -glyph8-glyph8-Medium-R-Normal--8-80-72-72-C-80-ISO10646-1\n"
        "SIZE 8 72 72\n"
        "FONTBOUNDINGBOX 8 8 0 -1\n"
        "STARTPROPERTIES 19\n"
        "FOUNDRY \"glyph8\"\n"
        "FAMILY_NAME \"glyph8\"\n"
        "WEIGHT_NAME \"Medium\"\n"
        "SLANT \"R\"\n"
        "SETWIDTH_NAME \"Normal\"\n"
        "ADD_STYLE_NAME \"\"\n"
        "PIXEL_SIZE 8\n"
        "POINT_SIZE 80\n"
        "RESOLUTION_X 72\n"
        "RESOLUTION_Y 72\n"
        "SPACING \"C\"\n"
        "AVERAGE_WIDTH 80\n"
        "CHARSET_REGISTRY \"ISO10646\"\n"
        "CHARSET_ENCODING \"1\"\n"
        "FONT_ASCENT 7\n"
        "FONT_DESCENT 1\n"
        "DEFAULT_CHAR 65533\n"
        "COPYRIGHT \"Glyphs drawn by glyph8 from its embedded fonts; see glyph8-cli --version\"\n"
        "FONT_VERSION \"";
    out += version;
    out += "\"\nENDPROPERTIES\nCHARS " + std::to_string(glyphs) + "\n";
}

void append_bdf_glyph(std::string& out, char32_t c, const sample_window& window) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string name = code_point_name(c);
    name.replace(0, 2, c > 0xFFFF ? "u" : "uni");
    out += "STARTCHAR " + name + "\nENCODING " + std::to_string(static_cast<unsigned long>(c)) +
           "\nSWIDTH 1000 0\nDWIDTH 8 0\nBBX 8 8 0 -1\nBITMAP\n";
    const glyph_bytes rows = pack(window, bit_layout::rows_msb);
    for (const std::uint8_t row : rows) {
        out += hex[row >> 4];
        out += hex[row & 0xF];
        out += '\n';
    }
    out += "ENDCHAR\n";
}

// The count type of read() and write(): unsigned int on Windows.
auto io_size(std::size_t n) {
#if defined(_WIN32)
    return static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30));
#else
    return n;
#endif
}

}  // namespace

std::ptrdiff_t fd_source::read(std::span<char> buffer, std::string& why) {
    for (;;) {
        const auto n = ::read(fd_, buffer.data(), io_size(buffer.size()));
        if (n >= 0) {
            return n;
        }
        if (errno != EINTR) {
            why = std::strerror(errno);
            return -1;
        }
    }
}

bool fd_sink::write(std::string_view bytes, std::string& why) {
    while (!bytes.empty()) {
        const auto n = ::write(fd_, bytes.data(), io_size(bytes.size()));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            why = n < 0 ? std::strerror(errno) : "nothing was written";
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::ptrdiff_t string_source::read(std::span<char> buffer, std::string&) {
    const std::size_t n = std::min(buffer.size(), text_.size() - pos_);
    std::copy_n(text_.data() + pos_, n, buffer.data());
    pos_ += n;
    return static_cast<std::ptrdiff_t>(n);
}

bool string_sink::write(std::string_view bytes, std::string&) {
    text.append(bytes);
    return true;
}

bool read_file(const std::string& path, std::vector<unsigned char>& data, std::string& why) {
#if defined(_WIN32)
    // Wide names, so that any file name opens; binary, so that no byte is
    // translated. A folder cannot be opened at all there, so ask first.
    const std::wstring name = wide_from_utf8(path);
    struct _stat64 info {};
    if (_wstat64(name.c_str(), &info) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if ((info.st_mode & _S_IFMT) != _S_IFREG) {
        why = (info.st_mode & _S_IFMT) == _S_IFDIR ? std::strerror(EISDIR) : "not a regular file";
        return false;
    }
    const int fd = ::_wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
#else
    // Non-blocking, so that opening a FIFO returns at once; it is then refused.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        ::close(fd);
        return false;
    }
#endif
    data.clear();
    unsigned char buffer[1 << 16];
    for (;;) {
        const auto n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            why = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        if (data.size() + static_cast<std::size_t>(n) > largest_font_file) {
            why = "larger than 64 MiB, too large for a font";
            ::close(fd);
            return false;
        }
        data.insert(data.end(), buffer, buffer + n);
    }
    ::close(fd);
    return true;
}

int run(const std::vector<std::string>& args, source& in, sink& out, std::ostream& err,
        const file_reader& read) {
    options opt;
    if (const std::string problem = parse(args, opt); !problem.empty()) {
        err << "glyph8-cli: " << problem << "\nTry 'glyph8-cli --help'.\n";
        return exit_usage;
    }
    writer w(out);
    if (opt.help || opt.version) {
        w.buffer() = opt.help ? std::string(usage_text) : version_text();
        return w.flush() ? exit_ok : write_failed(w, err);
    }
    std::vector<face_source> faces;
    if (const std::string problem = load_faces(opt.fonts, read, faces); !problem.empty()) {
        err << "glyph8-cli: " << problem << "\n";
        return exit_usage;
    }
    const std::size_t user_fonts = faces.size();
    for (auto& source : default_face_sources(opt.composed)) {
        faces.push_back(std::move(source));
    }
    // Faces open only when a glyph needs them, so this costs nothing yet.
    capturer cap(std::move(faces), user_fonts);
    const bool table = opt.each || opt.bdf;
    text_keeper keep(table, cap.reach());
    {
        string_source argument(std::move(opt.text));
        if (const std::string problem = read_text(opt.from_stdin ? in : argument, keep);
            !problem.empty()) {
            err << "glyph8-cli: " << problem << "\n";
            return exit_usage;
        }
    }
    std::vector<char32_t> characters = keep.characters();
    if (table && characters.empty()) {
        err << "glyph8-cli: the text has no character to draw\n";
        return exit_usage;
    }
    if (opt.bdf && std::find(characters.begin(), characters.end(), replacement_character) ==
                       characters.end()) {
        characters.push_back(replacement_character);
    }
    const number_style style = opt.hex ? number_style::hex : number_style::decimal;

    std::string& result = w.buffer();
    sample_window window;
    if (!table) {
        if (!cap.capture(keep.text(), window, err)) {
            return exit_failure;
        }
        result =
            declaration_start(opt, false) + format_values(pack(window, opt.layout), style) + "};\n";
        if (opt.grid) {
            append_grid(result, window, "");
        }
        return w.flush() ? exit_ok : write_failed(w, err);
    }
    if (opt.bdf) {
        append_bdf_header(result, characters.size());
    } else {
        result = declaration_start(opt, true) + "\n";
    }
    std::string one;
    for (const char32_t c : characters) {
        one.clear();
        append_utf8(one, c);
        if (!cap.capture(one, window, err)) {
            return exit_failure;
        }
        if (opt.bdf) {
            append_bdf_glyph(result, c, window);
        } else {
            result += "  {";
            result += format_values(pack(window, opt.layout), style);
            result += "}, // ";
            result += describe_character(c);
            result += '\n';
            if (opt.grid) {
                append_grid(result, window, "  ");
            }
        }
        if (!w.maybe_flush()) {
            return write_failed(w, err);
        }
    }
    result += opt.bdf ? "ENDFONT\n" : "};\n";
    return w.flush() ? exit_ok : write_failed(w, err);
}

}  // namespace glyph8::cli
