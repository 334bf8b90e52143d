#include "options.hpp"

#include "glyph8/message.hpp"
#include "glyph8/typeface.hpp"
#include "io.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>
#include <span>
#include <utility>
#include <vector>

namespace glyph8::cli {

namespace {

struct layout_name {
    std::string_view name;
    bit_layout layout;
    std::string_view help;
};
constexpr layout_name layouts[] = {
    {"columns", bit_layout::columns,
     "a byte per column, top pixel = lowest bit\n"
     "                   (a pixel only at top left: { 1, 0, 0, 0, 0, 0, 0, 0})"},
    {"columns-msb", bit_layout::columns_msb,
     "a byte per column, top pixel = highest bit\n"
     "                   (a pixel only at top left: { 128, 0, 0, 0, 0, 0, 0, 0})"},
    {"rows", bit_layout::rows,
     "a byte per row, left pixel = lowest bit\n"
     "                   (a pixel only at bottom left: { 0, 0, 0, 0, 0, 0, 0, 1})"},
    {"rows-msb", bit_layout::rows_msb,
     "a byte per row, left pixel = highest bit\n"
     "                   (a pixel only at bottom left: { 0, 0, 0, 0, 0, 0, 0, 128})"},
};

problem set_layout(request& r, std::string_view value) {
    const auto* found = std::find_if(std::begin(layouts), std::end(layouts),
                                     [&](const layout_name& l) { return l.name == value; });
    if (found == std::end(layouts)) {
        return usage_problem("unknown layout '" + shown(value) +
                             "' (choose columns, columns-msb, rows or rows-msb)");
    }
    r.settings.layout = found->layout;
    return {};
}

problem set_name(request& r, std::string_view value) {
    if (const auto why = output::identifier_problem(value); !why.empty()) {
        return usage_problem("'" + shown(value) + "' cannot name an array (" + std::string(why) +
                             ")");
    }
    r.settings.name = value;
    return {};
}

problem add_font(request& r, std::string_view value) {
    if (value.empty()) {
        return usage_problem("option '--font' needs a file name");
    }
    r.fonts.emplace_back(value);
    return {};
}

// A whole number in [low, high], or a problem naming the option.
problem whole_number(std::string_view option, std::string_view value, int low, int high, int& out) {
    int v = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (ec != std::errc() || end != value.data() + value.size() || v < low || v > high) {
        return usage_problem(std::string(option) + " takes a whole number from " +
                             std::to_string(low) + " to " + std::to_string(high));
    }
    out = v;
    return {};
}

problem set_modules(request& r, std::string_view value) {
    int modules = 0;
    problem p = whole_number("--modules", value, 1, output::matrix_settings::most_modules, modules);
    r.display.modules = modules;
    return p;
}

problem set_display(request& r, std::string_view value) {
    r.display.display = value;
    return {};
}

problem set_board(request& r, std::string_view value) {
    r.display.board = std::string(value);
    return {};
}

problem set_arduino(request& r, std::string_view value) {
    r.display.arduino = value;
    return {};
}

problem set_colour(request& r, std::string_view value) {
    r.display.colour = std::string(value);
    return {};
}

problem set_current(request& r, std::string_view value) {
    int ma = 0;
    problem p = whole_number("--max-current", value, 50, 10000, ma);
    r.display.max_current_ma = ma;
    return p;
}

// The range is the display's, checked with the rest of its options; a number
// too large for an int is past every display's.
problem set_level(std::optional<int>& out, std::string_view option, std::string_view value) {
    unsigned long v = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if ((ec != std::errc() && ec != std::errc::result_out_of_range) ||
        end != value.data() + value.size() || value.empty()) {
        return usage_problem(std::string(option) + " takes a whole number, not '" +
                             std::string(value) + "'");
    }
    out = ec == std::errc() && v <= 0xFFFF ? static_cast<int>(v) : 0xFFFF;
    return {};
}

problem set_brightness(request& r, std::string_view value) {
    return set_level(r.display.brightness, "--brightness", value);
}

problem set_contrast(request& r, std::string_view value) {
    return set_level(r.display.contrast, "--contrast", value);
}

// --scroll and --page each choose how the message moves; both is a mistake.
problem set_motion(request& r, output::motion mode, std::string_view option,
                   std::string_view value) {
    if (r.display.mode && *r.display.mode != mode) {
        return usage_problem("--scroll and --page cannot both be given; choose one");
    }
    r.display.mode = mode;
    int ms = 0;
    problem p = whole_number(option, value, 10, 60000, ms);
    r.display.step_ms = ms;
    return p;
}

problem set_scroll(request& r, std::string_view value) {
    return set_motion(r, output::motion::scroll, "--scroll", value);
}

problem set_page(request& r, std::string_view value) {
    return set_motion(r, output::motion::page, "--page", value);
}

std::string wrapped(std::string_view help);

// One entry of a list under an option's help: indented, wrapped, its
// continuation lines indented further.
void append_entry(std::string& text, const std::string& entry) {
    text += "\n  ";
    for (const char c : wrapped(entry)) {
        text += c == '\n' ? std::string("\n    ") : std::string(1, c);
    }
}

// The display option's help, from the table of displays.
std::string display_help() {
    std::string text = "the display a message is shown on:";
    for (const output::display& d : output::displays()) {
        append_entry(text, std::string(d.name) + ": " + std::string(d.help));
    }
    return text;
}

// --brightness or --contrast: what each display that takes it makes of it,
// displays that say the same in one entry.
std::string level_help(std::string_view option, std::string_view what) {
    std::vector<std::pair<std::string, const output::display_level*>> entries;
    for (const output::display& d : output::displays()) {
        if (d.level.option != option) {
            continue;
        }
        auto same = std::find_if(entries.begin(), entries.end(), [&](const auto& e) {
            return e.second->help == d.level.help && e.second->most == d.level.most;
        });
        if (same == entries.end()) {
            entries.emplace_back(std::string(d.name), &d.level);
        } else {
            same->first += ", " + std::string(d.name);
        }
    }
    std::string text(what);
    for (const auto& [names, level] : entries) {
        append_entry(text, names + ": 0 to " + std::to_string(level->most) + ", " +
                               std::string(level->help));
    }
    return text;
}

std::string board_help() {
    std::string text = "how the display is wired (the first is its default):";
    for (const output::display& d : output::displays()) {
        text += "\n  " + std::string(d.name) + ":";
        for (std::size_t i = 0; i < d.variants.size(); ++i) {
            text += (i == 0 ? " " : ", ") + std::string(d.variants[i].name);
        }
    }
    return text;
}

problem set_upload(request& r, std::string_view value) {
    if (value.empty()) {
        return usage_problem("--upload needs the board's port (/dev/ttyACM0, COM3, ...)");
    }
    r.upload_port = value;
    return {};
}

struct option {
    std::string_view name;
    std::string_view value;  // what the value is called in the help; "" for a flag
    std::string_view help;
    unsigned setting;  // the output setting it sets, checked against the format
    problem (*apply)(request&, std::string_view value);
};

// Formats are options too; they are listed from the output's table, after
// --each's place here.
const option options[] = {
    {"--layout", "NAME",
     "how the 64 pixels become 8 bytes (default: columns):", output::setting_layout, set_layout},
    {"--hex", "", "values as 0x.. hex", output::setting_numbers,
     [](request& r, std::string_view) {
         r.settings.numbers = output::number_style::hex;
         return problem{};
     }},
    {"--grid", "", "after each glyph, its 8x8 block as // comment lines of # and .",
     output::setting_grid,
     [](request& r, std::string_view) {
         r.settings.grid = true;
         return problem{};
     }},
    {"--name", "NAME", "the array's name instead of d (a C identifier)", output::setting_name,
     set_name},
    {"--progmem", "",
     "declare the array as const byte NAME[][8] PROGMEM, so that an\n"
     "AVR board keeps it in flash; read it back with pgm_read_byte\n"
     "(#include <avr/pgmspace.h>), e.g. pgm_read_byte(&d[i][col])",
     output::setting_progmem,
     [](request& r, std::string_view) {
         r.settings.progmem = true;
         return problem{};
     }},
    {"--display", "NAME", "", output::setting_matrix, set_display},
    {"--board", "NAME", "", output::setting_matrix, set_board},
    {"--modules", "N",
     "how many modules side by side, for displays that chain\n"
     "(default 4 MAX7219s, 1 of the others)",
     output::setting_matrix, set_modules},
    {"--scroll", "MS", "scroll one column every MS milliseconds (default for LED\nmatrices: 60)",
     output::setting_matrix, set_scroll},
    {"--page", "MS",
     "show a screenful of whole characters every MS milliseconds\n(default for OLEDs: 3000)",
     output::setting_matrix, set_page},
    {"--arduino", "NAME",
     "the board the sketch is for: uno (default; a Nano is an Uno)\nor mega (a Mega 2560)",
     output::setting_matrix, set_arduino},
    {"--color", "RRGGBB", "colour LEDs' colour (default 200000, a dim red)", output::setting_matrix,
     set_colour},
    {"--max-current", "MA",
     "colour LEDs: the most current the brightest frame may draw,\nin mA (default 400, "
     "what USB gives)",
     output::setting_matrix, set_current},
    {"--brightness", "N", "", output::setting_matrix, set_brightness},
    {"--contrast", "N", "", output::setting_matrix, set_contrast},
    {"--address", "ADDR",
     "an I2C display's address, as its jumpers or pads set it: an\n"
     "OLED's 0x3C (the usual) or 0x3D; the leftmost HT16K33's 0x70\n"
     "(the usual) to 0x77, the others at the addresses after it",
     output::setting_matrix,
     [](request& r, std::string_view value) {
         r.display.address = std::string(value);
         return problem{};
     }},
    {"--upload", "PORT",
     "write glyph8's program and the message (--intel-hex's bytes)\n"
     "to the board on PORT (/dev/ttyACM0, /dev/ttyUSB0, COM3)\n"
     "through its bootloader, with the message options above; no\n"
     "compiler needed. Only the message is written when the board\n"
     "already holds the program (Uno)",
     output::setting_matrix, set_upload},
    {"--no-compose", "",
     "draw the ideographs that Misaki Gothic lacks from Droid Sans\n"
     "Fallback's outlines instead of the composed 8x8 face",
     0,
     [](request& r, std::string_view) {
         r.composed = composition::off;
         return problem{};
     }},
    {"--font", "FILE",
     "use a font file (TrueType, OpenType, BDF, PCF) ahead of the\n"
     "default face; may be repeated, the first given is tried first",
     0, add_font},
    {"--help", "", "show this help", 0,
     [](request& r, std::string_view) {
         r.help = true;
         return problem{};
     }},
    {"--version", "", "show the version and the embedded fonts", 0,
     [](request& r, std::string_view) {
         r.version = true;
         return problem{};
     }},
};

const option* find_option(std::string_view name) {
    const auto* it = std::find_if(std::begin(options), std::end(options),
                                  [&](const option& o) { return o.name == name; });
    return it == std::end(options) ? nullptr : it;
}

const output::format* find_format_option(std::string_view name) {
    if (name.size() <= 2 || name.substr(0, 2) != "--") {
        return nullptr;
    }
    const output::format* f = output::find_format(name.substr(2));
    return f != nullptr && !f->name.empty() ? f : nullptr;
}

// "--hex", "--hex and --grid", "--hex, --grid and --name": the options given
// whose settings are among `settings`.
std::string option_names(const request& r, unsigned settings) {
    std::vector<std::string_view> names;
    for (const std::string& given : r.settings_given) {
        const option* o = find_option(given);
        if (o != nullptr && (o->setting & settings) != 0 &&
            std::find(names.begin(), names.end(), o->name) == names.end()) {
            names.push_back(o->name);
        }
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

// A file name as a shell takes it back: quoted when it holds more than
// letters, digits and . _ / - + , :
std::string shell_word(std::string_view word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
               std::string_view("._/-+,:").find(c) != std::string_view::npos;
    });
    if (plain) {
        return std::string(word);
    }
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// The options that chose how the text is drawn, so that a sketch can say
// how to make it again.
void drawn_with(request& r) {
    std::string text;
    for (const std::string& font : r.fonts) {
        text += (text.empty() ? "" : " ") + std::string("--font ") + shell_word(font);
    }
    if (r.composed == composition::off) {
        text += (text.empty() ? "" : " ") + std::string("--no-compose");
    }
    r.settings.drawn_with = text;
}

// "--sketch and --preview": the formats that take any of `settings`.
std::string formats_taking(unsigned settings) {
    std::vector<std::string> names;
    for (const output::format& f : output::formats()) {
        if ((f.accepts & settings) != 0) {
            names.push_back(f.name.empty() ? "the one-line declaration"
                                           : "--" + std::string(f.name));
        }
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
}

// Settings the chosen format does not take are refused, not ignored.
problem check_format(request& r, std::string_view other_format) {
    if (!other_format.empty()) {
        return usage_problem(std::string("--").append(r.format->name) + " and --" +
                             std::string(other_format) + " cannot both be written; choose one");
    }
    const unsigned refused = ~r.format->accepts;
    if (const std::string names = option_names(r, refused); !names.empty()) {
        unsigned given = 0;
        for (const std::string& name : r.settings_given) {
            if (const option* o = find_option(name); o != nullptr) {
                given |= o->setting & refused;
            }
        }
        const std::string format = r.format->name.empty()
                                       ? "the one-line declaration (no format given)"
                                       : "--" + std::string(r.format->name);
        return usage_problem(names + (names.find(' ') == std::string::npos ? " does" : " do") +
                             " not apply to " + format + "; only to " + formats_taking(given));
    }
    if ((r.format->accepts & output::setting_matrix) != 0) {
        if (const std::string why = output::resolve(r.display, r.settings.matrix); !why.empty()) {
            return usage_problem(why);
        }
    }
    return {};
}

// Indents the continuation lines of a help text to its column.
std::string indented(std::string_view help) {
    std::string text;
    for (const char c : help) {
        text += c;
        if (c == '\n') {
            text += std::string(18, ' ');
        }
    }
    return text;
}

std::string wrapped(std::string_view help) {
    // Breaks a one-line help after about 60 characters, at spaces.
    std::string text;
    std::size_t column = 0;
    for (std::size_t i = 0; i < help.size(); ++i) {
        const std::size_t next_space = help.find(' ', i + 1);
        const std::size_t word_end =
            next_space == std::string_view::npos ? help.size() : next_space;
        if (help[i] == ' ' && column + (word_end - i) > 60) {
            text += '\n';
            column = 0;
            continue;
        }
        text += help[i];
        ++column;
    }
    return text;
}

void append_option_help(std::string& text, std::string_view name, std::string_view value,
                        std::string_view help) {
    std::string head = std::string("  ").append(name);
    if (!value.empty()) {
        head += std::string(" ").append(value);
    }
    head.resize(std::max<std::size_t>(head.size() + 1, 18), ' ');
    text += head + indented(help) + "\n";
}

}  // namespace

problem parse_options(const std::vector<std::string>& args, request& r) {
    bool only_text = false;
    std::string_view other_format;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (only_text || arg == "-" || arg.empty() || arg[0] != '-') {
            if (r.text_given) {
                return usage_problem("more than one TEXT given (quote a text that has spaces)");
            }
            r.text_given = true;
            r.from_stdin = arg == "-" && !only_text;
            r.text = r.from_stdin ? std::string() : arg;
            continue;
        }
        if (arg == "--") {
            only_text = true;
            continue;
        }
        // --name=value and --name value both work for options with a value.
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        if (const output::format* f = find_format_option(name)) {
            if (eq != std::string::npos) {
                return usage_problem("option '" + shown(name) + "' takes no value");
            }
            if (r.format->name.empty() || r.format == f) {
                r.format = f;
            } else {
                other_format = f->name;
            }
            continue;
        }
        const option* o = find_option(name);
        if (o == nullptr) {
            return usage_problem("unknown option '" + shown(arg) + "'");
        }
        std::string value;
        if (o->value.empty() && eq != std::string::npos) {
            return usage_problem("option '" + shown(name) + "' takes no value");
        }
        if (!o->value.empty()) {
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return usage_problem("option '" + shown(name) + "' needs a value");
            }
        }
        if (problem p = o->apply(r, value)) {
            return p;
        }
        if (o->setting != 0) {
            r.settings_given.emplace_back(o->name);
        }
    }
    drawn_with(r);
    // --upload writes --intel-hex's bytes to the board instead of the output.
    if (!r.upload_port.empty()) {
        static const output::format* hex = output::find_format("intel-hex");
        if (r.format->name.empty() || r.format == hex) {
            r.format = hex;
        } else if (other_format.empty()) {
            return usage_problem("--upload writes glyph8's program and the message; --" +
                                 std::string(r.format->name) + " cannot go with it");
        }
    }
    return check_format(r, other_format);
}

std::string usage_text() {
    std::string text =
        "usage: glyph8-cli [OPTIONS] [TEXT]\n"
        "Prints the 8x8 glyph of TEXT as a byte array declaration:\n"
        "  $ glyph8-cli 6\n"
        "  byte d[]={ 60, 74, 74, 48, 0, 0, 0, 0};\n"
        "The text is drawn at 8 points and the block at columns 0..7, rows 1..8 is\n"
        "read back. Without TEXT, or with TEXT '-', the text is read from standard\n"
        "input; control characters draw nothing.\n"
        "\n"
        "Formats (one at a time):\n";
    for (const output::format& f : output::formats()) {
        if (!f.name.empty()) {
            append_option_help(text, std::string("--").append(f.name), "", wrapped(f.help));
        }
    }
    text += "\nOptions:\n";
    for (const option& o : options) {
        const std::string help =
            o.apply == set_display      ? display_help()
            : o.apply == set_board      ? board_help()
            : o.apply == set_brightness ? level_help(o.name, "how bright the display shines:")
            : o.apply == set_contrast   ? level_help(o.name, "how dark an LCD's pixels are:")
                                        : std::string(o.help);
        append_option_help(text, o.name, o.value, help);
        if (o.apply == set_layout) {
            for (const layout_name& l : layouts) {
                text += std::string("      ").append(l.name);
                text.resize(text.size() + 13 - l.name.size(), ' ');
                text += std::string(l.help) + "\n";
            }
        }
    }
    text += "\nLimits: a font file of at most " + std::to_string(largest_font_file >> 20) +
            " MiB, at most " + std::to_string(most_font_glyphs) +
            " glyphs read from one\nfont, and at most " + std::to_string(most_font_memory >> 20) +
            " MiB of memory for a font's glyphs beyond the file;\nfonts past them are "
            "refused before they are read.\n";
    text += "A message of at most " + std::to_string(longest_message_columns) +
            " columns (a sketch refuses what its board\ncannot hold, with what it needs), "
            "and a preview of at most " +
            std::to_string(output::most_preview_frames) + " frames.\n";
    text +=
        "\n"
        "Exit status: 0 done, 1 the capture failed, 2 bad usage, input or font,\n"
        "3 the output could not be written; --upload: 4 the port cannot be used\n"
        "(no such port, no permission, not a serial port), 5 no bootloader\n"
        "answered or it stopped answering, 6 the board is not the --arduino\n"
        "chosen, 7 what the board read back differs from what was written.\n";
    return text;
}

}  // namespace glyph8::cli
