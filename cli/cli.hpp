// glyph8-cli: the capture without a window, for scripts and batch work.
//
// `run` is the whole program over explicit streams and an explicit way to
// read font files, so tests and the fuzz target drive it in-process; main()
// only wires it to the real ones.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace glyph8::cli {

// Exit codes: 0 done, 1 the capture failed, 2 bad usage or bad input.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

// Reads a whole file into `data`; on failure returns false with the reason
// in `why` ("No such file or directory").
using file_reader = std::function<bool(const std::string& path, std::vector<unsigned char>& data,
                                       std::string& why)>;

bool read_file(const std::string& path, std::vector<unsigned char>& data, std::string& why);

// `args` excludes the program name. Standard input is read only when the
// text is to come from it.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, const file_reader& read = read_file);

}  // namespace glyph8::cli
