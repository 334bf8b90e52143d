// --upload: a message's program and block written to a board through its
// bootloader, with progress and a clear error for every way it fails.
#pragma once

#include <iosfwd>
#include <string>

#include "glyph8/matrix.hpp"
#include "problem.hpp"

namespace glyph8::cli {

problem upload_message(const std::string& port, const output::message_strip& strip,
                       const output::matrix_settings& m, std::ostream& err);

}  // namespace glyph8::cli
