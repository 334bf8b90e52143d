#include "problem.hpp"

#include <ostream>

#include "glyph8/output.hpp"
#include "glyph8/utf8.hpp"

namespace glyph8::cli {

int report(const problem& p, std::ostream& err) {
    err << "glyph8-cli: " << p.message << "\n";
    if (p.suggest_help) {
        err << "Try 'glyph8-cli --help'.\n";
    }
    return p.exit_code;
}

void warn(std::string_view message, std::ostream& err) {
    report({exit_ok, std::string("warning: ").append(message)}, err);
}

namespace {

// `backslash_as_is`: a path's backslashes are its separators on Windows, and
// C:\\x.ttf is not what the user typed.
std::string escaped(std::string_view value, bool backslash_as_is) {
    constexpr std::size_t most = 60;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < value.size() && count < most) {
        const std::size_t start = pos;
        const auto byte = static_cast<unsigned char>(value[pos]);
        const bool valid = !find_invalid_utf8(value.substr(pos, 4).substr(0, byte < 0x80   ? 1
                                                                             : byte < 0xE0 ? 2
                                                                             : byte < 0xF0 ? 3
                                                                                           : 4))
                                .has_value();
        ++count;
        if (!valid) {
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
            ++pos;
            continue;
        }
        const char32_t c = decode_utf8(value, pos);
        if (c == U'\\' && !backslash_as_is) {
            out += "\\\\";
        } else if (c == 0x1B) {
            out += "\\e";
        } else if (c == U'\n' || c == U'\r' || c == U'\t') {
            out += c == U'\n' ? "\\n" : c == U'\r' ? "\\r" : "\\t";
        } else if (c != U' ' && output::is_invisible(c)) {
            std::string code = output::code_point_name(c);
            out += "\\u{" + code.substr(2) + "}";
        } else {
            out.append(value, start, pos - start);
        }
    }
    if (pos < value.size()) {
        out += "... (" + std::to_string(value.size()) + " bytes)";
    }
    return out;
}

}  // namespace

std::string shown(std::string_view value) {
    return escaped(value, false);
}

std::string shown_path(std::string_view path) {
    return escaped(path, true);
}

}  // namespace glyph8::cli
