#include "cli.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <iterator>
#include <memory>
#include <ostream>
#include <unordered_set>

#include "glyph8/capture.hpp"
#include "glyph8/default_face.hpp"
#include "glyph8/utf8.hpp"
#include "version.hpp"

namespace glyph8::cli {

namespace {

// The window's picture box is 81 x 33 pixels; the command line draws on the
// same size so that long texts are cut off where the window cuts them off.
constexpr int surface_width = 81;
constexpr int surface_height = 33;
// Far beyond any font file; stops a mistaken path from eating memory.
constexpr std::size_t largest_font_file = 64u << 20;

constexpr std::string_view usage_text =
    "usage: glyph8-cli [OPTIONS] [TEXT]\n"
    "Prints the 8x8 glyph of TEXT as a byte array declaration:\n"
    "  $ glyph8-cli 6\n"
    "  byte d[]={ 60, 74, 74, 48, 0, 0, 0, 0};\n"
    "The text is drawn at 8 points and the block at columns 0..7, rows 1..8 is\n"
    "read back. Without TEXT, or with TEXT '-', the text is read from standard\n"
    "input, less one trailing newline.\n"
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
    "  --no-compose    draw the ideographs that Misaki Gothic lacks from Droid Sans\n"
    "                  Fallback's outlines instead of the composed 8x8 face\n"
    "  --font FILE     use a font file (TrueType, OpenType, BDF, PCF) ahead of the\n"
    "                  default face; may be repeated, the first given is tried first\n"
    "  --help          show this help\n"
    "  --version       show the version and the embedded fonts\n"
    "\n"
    "Exit status: 0 done, 1 the capture failed, 2 bad usage, input or font.\n";

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
    composition composed = composition::on;
    bit_layout layout = bit_layout::columns;
    std::vector<std::string> fonts;
    bool have_text = false;
    std::string text;
};

// Empty string on success, else the message for stderr.
std::string parse(const std::vector<std::string>& args, options& opt) {
    bool only_text = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (only_text || arg == "-" || arg.empty() || arg[0] != '-') {
            if (opt.have_text) {
                return "more than one TEXT given (quote a text that has spaces)";
            }
            opt.have_text = arg != "-" || only_text;
            opt.text = opt.have_text ? arg : std::string();
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
        const bool takes_value = name == "--layout" || name == "--font";
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
        } else if (name == "--no-compose") {
            opt.composed = composition::off;
        } else if (name == "--font") {
            if (value.empty()) {
                return "option '--font' needs a file name";
            }
            opt.fonts.push_back(value);
        } else if (name == "--layout") {
            const auto* found = std::find_if(std::begin(layouts), std::end(layouts),
                                             [&](const auto& l) { return l.name == value; });
            if (found == std::end(layouts)) {
                return "unknown layout '" + value +
                       "' (choose columns, columns-msb, rows or rows-msb)";
            }
            opt.layout = found->layout;
        } else {
            return "unknown option '" + arg + "'";
        }
    }
    return {};
}

std::string read_all(std::istream& in) {
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (text.ends_with("\r\n")) {
        text.resize(text.size() - 2);
    } else if (text.ends_with('\n')) {
        text.pop_back();
    }
    return text;
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

// "U+570B 國" for a table comment. A backslash would end the line in a
// continuation and swallow the next row, so it is named instead of shown.
std::string comment_for(char32_t c) {
    std::string text = code_point_name(c);
    if (c == U'\\') {
        text += " backslash";
    } else if (!is_control_character(c)) {
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

void print_version(std::ostream& out) {
    out << "glyph8-cli " << version << "\n"
        << "Default face, embedded (glyphs come from the first face that has them):\n";
    const auto faces = default_face_sources();
    for (std::size_t i = 0; i < faces.size(); ++i) {
        out << "  " << i + 1 << ". " << faces[i].name << " (" << faces[i].licence << ")\n";
    }
    out << "The fonts' licence texts are installed in " << font_licence_dir << "\n";
}

// Loads the --font files ahead of the default face. Empty string on
// success, else the message for stderr.
std::string load_faces(const std::vector<std::string>& paths, const file_reader& read,
                       std::vector<face_source>& faces) {
    for (const std::string& path : paths) {
        auto data = std::make_shared<std::vector<unsigned char>>();
        std::string why;
        if (!read(path, *data, why)) {
            return path + ": " + why;
        }
        face_source source{path, "", std::span<const unsigned char>(*data), data};
        face_info info;
        if (probe_face(source, info) != status::ok) {
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

class capturer {
  public:
    explicit capturer(std::vector<face_source> faces)
        : pic_(surface_width, surface_height, std::make_shared<typeface>(std::move(faces))),
          box_(pic_) {}

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
                std::string shown;
                append_utf8(shown, c);
                err << "glyph8-cli: warning: no font has " << code_point_name(c) << " " << shown
                    << "; drawn as a box\n";
            }
        }
        return true;
    }

  private:
    surface pic_;
    surface_box box_;
    std::unordered_set<char32_t> warned_;
};

}  // namespace

bool read_file(const std::string& path, std::vector<unsigned char>& data, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        why = std::strerror(EISDIR);
        return false;
    }
    data.clear();
    unsigned char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
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

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, const file_reader& read) {
    options opt;
    if (const std::string problem = parse(args, opt); !problem.empty()) {
        err << "glyph8-cli: " << problem << "\nTry 'glyph8-cli --help'.\n";
        return exit_usage;
    }
    if (opt.help) {
        out << usage_text;
        return exit_ok;
    }
    if (opt.version) {
        print_version(out);
        return exit_ok;
    }
    std::vector<face_source> faces;
    if (const std::string problem = load_faces(opt.fonts, read, faces); !problem.empty()) {
        err << "glyph8-cli: " << problem << "\n";
        return exit_usage;
    }
    const std::string text = opt.have_text ? std::move(opt.text) : read_all(in);
    if (const auto bad = find_invalid_utf8(text)) {
        err << "glyph8-cli: the text is not valid UTF-8 (byte " << *bad << ")\n";
        return exit_usage;
    }
    for (auto& source : default_face_sources(opt.composed)) {
        faces.push_back(std::move(source));
    }
    capturer cap(std::move(faces));
    const number_style style = opt.hex ? number_style::hex : number_style::decimal;

    std::string result;
    sample_window window;
    if (!opt.each) {
        if (!cap.capture(text, window, err)) {
            return exit_failure;
        }
        result = format_declaration(pack(window, opt.layout), style);
        result += '\n';
        if (opt.grid) {
            append_grid(result, window, "");
        }
    } else {
        result = "byte d[][8]={\n";
        std::unordered_set<char32_t> seen;
        std::string one;
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t start = pos;
            const char32_t c = decode_utf8(text, pos);
            if (is_control_character(c) || !seen.insert(c).second) {
                continue;
            }
            one.assign(text, start, pos - start);
            if (!cap.capture(one, window, err)) {
                return exit_failure;
            }
            result += "  {";
            result += format_values(pack(window, opt.layout), style);
            result += "}, // ";
            result += comment_for(c);
            result += '\n';
            if (opt.grid) {
                append_grid(result, window, "  ");
            }
        }
        result += "};\n";
    }
    out << result;
    out.flush();
    return out ? exit_ok : exit_failure;
}

}  // namespace glyph8::cli
