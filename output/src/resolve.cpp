// A user's choice of display, checked against the display's row: whatever
// the row does not take is refused, naming what it does take.
#include <cstdio>
#include <optional>
#include <utility>

#include "declaration.hpp"
#include "glyph8/display.hpp"
#include "glyph8/matrix.hpp"

namespace glyph8::output {

namespace {

// "a, b or c"
template <class Rows, class Name>
std::string choices(const Rows& rows, Name name) {
    std::string text;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text += i == 0 ? "" : i + 1 == rows.size() ? " or " : ", ";
        text += name(rows[i]);
    }
    return text;
}

// The displays that have a wiring called `name`, for a clearer refusal.
std::string displays_with_variant(std::string_view name) {
    std::string text;
    for (const display& d : displays()) {
        for (const display_variant& v : d.variants) {
            if (v.name == name) {
                text += (text.empty() ? "" : ", ") + std::string(d.name);
            }
        }
    }
    return text;
}

// A hex digit's value, or -1.
int hex_digit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

bool parse_colour(std::string_view text, std::uint32_t& colour) {
    if (!text.empty() && text.front() == '#') {
        text.remove_prefix(1);
    }
    if (text.size() != 6) {
        return false;
    }
    std::uint32_t v = 0;
    for (const char c : text) {
        const int digit = hex_digit(c);
        if (digit < 0) {
            return false;
        }
        v = v << 4 | static_cast<std::uint32_t>(digit);
    }
    colour = v;
    return true;
}

std::string variant_of(const display& d, const std::string& name, int& variant) {
    for (std::size_t i = 0; i < d.variants.size(); ++i) {
        if (d.variants[i].name == name) {
            variant = static_cast<int>(i);
            return {};
        }
    }
    const auto names = [](const display_variant& v) { return std::string(v.name); };
    const std::string others = displays_with_variant(name);
    return "--display " + std::string(d.name) + " takes --board " + choices(d.variants, names) +
           (others.empty() ? ", not '" + name + "'" : "; '" + name + "' is a wiring of " + others);
}

// --brightness or --contrast, whichever the display takes, in its range.
// `which` names the display as the refusals do.
std::string level_of(const display& d, const std::string& which, const display_request& request,
                     std::optional<int>& out) {
    for (const auto& [option, given] :
         {std::pair{std::string_view("--brightness"), request.brightness},
          std::pair{std::string_view("--contrast"), request.contrast}}) {
        if (!given) {
            continue;
        }
        if (d.level.option != option) {
            const std::string instead =
                !d.level.option.empty() ? "; it takes " + std::string(d.level.option)
                : (d.options & takes_colour) != 0
                    ? ": --color sets how bright its LEDs are"
                    : ": its LEDs are as bright as their resistors let them be";
            return which + " takes no " + std::string(option) + instead;
        }
        if (*given < 0 || *given > d.level.most) {
            return which + " takes " + std::string(option) + " from 0 to " +
                   std::to_string(d.level.most);
        }
        out = given;
    }
    return {};
}

// 0x3D, 0X3d or 61; anything else is not an address.
bool parse_address(std::string_view text, int& out) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 3) {
        return false;
    }
    int v = 0;
    for (const char c : text) {
        const int digit = hex ? hex_digit(c) : c >= '0' && c <= '9' ? c - '0' : -1;
        if (digit < 0) {
            return false;
        }
        v = v * (hex ? 16 : 10) + digit;
    }
    out = v;
    return true;
}

// --address: a display on I2C, at an address its modules can be set to; a
// chain's last module must still have one.
std::string address_of(const display& d, const std::string& which, const display_request& request,
                       int modules, std::optional<int>& out) {
    if (!request.address) {
        return {};
    }
    if (d.address.macro.empty()) {
        std::string i2c;
        for (const display& other : displays()) {
            if (!other.address.macro.empty()) {
                i2c += (i2c.empty() ? "" : ", ") + std::string(other.name);
            }
        }
        return which + " takes no --address: only displays on I2C have one (" + i2c + ")";
    }
    const int last = d.address.last - (modules - 1);
    const auto hex = [](int a) { return detail::hex_byte(static_cast<unsigned>(a)); };
    const std::string range =
        d.address.last == d.address.first + 1
            ? hex(d.address.first) + " or " + hex(d.address.last)
            : "from " + hex(d.address.first) + " to " + hex(last) +
                  (modules > 1 ? " (its leftmost module's; the " + std::to_string(modules) +
                                     " modules take the addresses after it)"
                               : "");
    int a = 0;
    if (!parse_address(*request.address, a) || a < d.address.first || a > last) {
        return which + " takes --address " + range + ", not '" + *request.address + "'";
    }
    out = a;
    return {};
}

}  // namespace

std::string resolve(const display_request& request, matrix_settings& out) {
    const display* d = find_display(request.display);
    const auto display_name = [](const display& row) { return std::string(row.name); };
    if (d == nullptr) {
        return "unknown display '" + request.display + "' (choose " +
               choices(displays(), display_name) + ")";
    }
    const arduino_board* board = find_arduino(request.arduino);
    if (board == nullptr) {
        return "unknown board '" + request.arduino + "' for --arduino (choose " +
               choices(arduino_boards(),
                       [](const arduino_board& b) { return std::string(b.name); }) +
               ")";
    }
    matrix_settings m;
    m.shown_on = d;
    m.arduino = board;
    if (request.board) {
        if (std::string why = variant_of(*d, *request.board, m.variant); !why.empty()) {
            return why;
        }
    }
    const std::string which = "--display " + std::string(d->name);
    m.modules = d->default_modules;
    if (request.modules) {
        if ((d->options & takes_modules) == 0) {
            return which + " is one " + std::string(d->part) + ": it takes no --modules";
        }
        if (*request.modules < 1 || *request.modules > d->most_modules) {
            return which + " takes --modules from 1 to " + std::to_string(d->most_modules);
        }
        m.modules = *request.modules;
    }
    m.mode = request.mode.value_or(d->default_motion);
    m.step_ms = request.step_ms.value_or(d->default_step_ms);
    if (request.colour) {
        if ((d->options & takes_colour) == 0) {
            return which + " has LEDs of one colour: it takes no --color";
        }
        if (!parse_colour(*request.colour, m.colour)) {
            return "--color takes six hex digits RRGGBB (for example 200000, a dim red), not '" +
                   *request.colour + "'";
        }
    }
    if (request.max_current_ma) {
        if ((d->options & takes_current) == 0) {
            return which + " takes no --max-current";
        }
        m.max_current_ma = *request.max_current_ma;
    }
    if (std::string why = level_of(*d, which, request, m.level); !why.empty()) {
        return why;
    }
    if (std::string why = address_of(*d, which, request, m.modules, m.address); !why.empty()) {
        return why;
    }
    out = m;
    return {};
}

std::string display_options_text(const matrix_settings& m) {
    const display& d = *m.shown_on;
    std::string text = "--display " + std::string(d.name) + " --board " +
                       std::string(d.variants[static_cast<std::size_t>(m.variant)].name);
    if ((d.options & takes_modules) != 0) {
        text += " --modules " + std::to_string(m.modules);
    }
    text += (m.mode == motion::scroll ? " --scroll " : " --page ") + std::to_string(m.step_ms);
    if ((d.options & takes_colour) != 0) {
        char colour[8];
        std::snprintf(colour, sizeof colour, "%06X", static_cast<unsigned>(m.colour & 0xFFFFFF));
        text += " --color " + std::string(colour);
    }
    if ((d.options & takes_current) != 0) {
        text += " --max-current " + std::to_string(m.max_current_ma);
    }
    if (m.level) {
        text += " " + std::string(d.level.option) + " " + std::to_string(*m.level);
    }
    if (m.address) {
        text += " --address " + detail::hex_byte(static_cast<unsigned>(*m.address));
    }
    return text + " --arduino " + std::string(m.arduino->name);
}

}  // namespace glyph8::output
