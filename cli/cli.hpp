// glyph8-cli: the capture without a window, for scripts and batch work.
//
// `run` is the whole program over explicit streams, so tests and the fuzz
// target drive it in-process; main() only wires it to the real ones.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace glyph8::cli {

// Exit codes: 0 done, 1 the capture failed, 2 bad usage or bad input.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

// `args` excludes the program name. Standard input is read only when the
// text is to come from it.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

}  // namespace glyph8::cli
