// glyph8-cli: the capture without a window, for scripts and batch work.
//
// `run` is the whole program over an explicit input, output and way to read
// font files, so tests and the fuzz target drive it in-process; main() only
// wires it to the process's standard streams. It reads as a pipeline:
// options, fonts, text, capture, writer, sink.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "io.hpp"
#include "problem.hpp"

namespace glyph8::cli {

// `args` excludes the program name. Standard input is read only when the
// text is to come from it. Messages go to `err`.
int run(const std::vector<std::string>& args, source& in, sink& out, std::ostream& err,
        const file_reader& read = read_file);

}  // namespace glyph8::cli
