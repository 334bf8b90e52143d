// The command line's options, from one table: each option's name, its
// value, its help and what it sets. The formats come from the output's own
// table, so a new format is an option here without an edit.
#pragma once

#include <string>
#include <vector>

#include "glyph8/default_face.hpp"
#include "glyph8/display.hpp"
#include "glyph8/output.hpp"
#include "problem.hpp"

namespace glyph8::cli {

// What the user asked for.
struct request {
    bool help = false;
    bool version = false;
    const output::format* format = &output::formats().front();
    output::settings settings;
    output::display_request display;          // resolved into settings.matrix
    std::vector<std::string> settings_given;  // the options given that set the output's settings
    composition composed = composition::on;
    std::vector<std::string> fonts;
    std::string upload_port;  // --upload: the board's serial port
    bool text_given = false;  // TEXT or '-'
    bool from_stdin = true;
    std::string text;
};

// `args` excludes the program's name.
problem parse_options(const std::vector<std::string>& args, request& r);

// The text of --help.
std::string usage_text();

}  // namespace glyph8::cli
