#include "cli.hpp"

#include <istream>
#include <iterator>
#include <ostream>

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

constexpr std::string_view usage_text =
    "usage: glyph8-cli [TEXT]\n"
    "Prints the 8x8 glyph of TEXT as a byte array declaration, one byte per\n"
    "column, top pixel in the lowest bit:\n"
    "  $ glyph8-cli 6\n"
    "  byte d[]={ 60, 74, 74, 48, 0, 0, 0, 0};\n"
    "Without TEXT (or with TEXT '-') the text is read from standard input,\n"
    "less one trailing newline.\n"
    "\n"
    "  --help       show this help\n"
    "  --version    show the version and the embedded fonts\n";

struct options {
    bool help = false;
    bool version = false;
    bool have_text = false;
    std::string text;
};

// Empty string on success, else the message for stderr.
std::string parse(const std::vector<std::string>& args, options& opt) {
    bool only_text = false;
    for (const std::string& arg : args) {
        if (!only_text && arg == "--") {
            only_text = true;
        } else if (!only_text && arg == "--help") {
            opt.help = true;
        } else if (!only_text && arg == "--version") {
            opt.version = true;
        } else if (!only_text && arg.size() > 1 && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else if (opt.have_text) {
            return "more than one TEXT given (quote a text that has spaces)";
        } else if (arg != "-") {
            opt.have_text = true;
            opt.text = arg;
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

void print_version(std::ostream& out) {
    out << "glyph8-cli " << version << "\n"
        << "Default face, embedded (glyphs come from the first face that has them):\n";
    const auto faces = default_face_sources();
    for (std::size_t i = 0; i < faces.size(); ++i) {
        out << "  " << i + 1 << ". " << faces[i].name << " (" << faces[i].licence << ")\n";
    }
    out << "The fonts' licence texts are installed in " << font_licence_dir << "\n";
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
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
    std::string text = opt.have_text ? std::move(opt.text) : read_all(in);
    if (const auto bad = find_invalid_utf8(text)) {
        err << "glyph8-cli: the text is not valid UTF-8 (byte " << *bad << ")\n";
        return exit_usage;
    }

    surface pic(surface_width, surface_height, make_default_typeface());
    surface_box box(pic);
    string_box input(std::move(text));
    string_box output;
    if (const auto error = run_capture(box, input, output)) {
        err << "glyph8-cli: " << error->message() << "\n";
        return exit_failure;
    }
    for (const char32_t c : pic.missing()) {
        std::string shown;
        append_utf8(shown, c);
        err << "glyph8-cli: warning: no font has " << code_point_name(c) << " " << shown
            << "; drawn as a box\n";
    }
    out << output.text() << "\n";
    return out ? exit_ok : exit_failure;
}

}  // namespace glyph8::cli
