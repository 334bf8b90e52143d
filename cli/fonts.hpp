// The faces a run draws with: the user's font files ahead of the embedded
// default face, and what --version says of them.
#pragma once

#include <string>
#include <vector>

#include "glyph8/typeface.hpp"
#include "io.hpp"
#include "problem.hpp"

namespace glyph8::cli {

// Loads the --font files, each file once, checking that each can draw at
// 8 px.
problem load_fonts(const std::vector<std::string>& paths, const file_reader& read,
                   std::vector<face_source>& faces);

// The text of --version.
std::string version_text();

}  // namespace glyph8::cli
