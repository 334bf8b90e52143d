#include <unistd.h>

#include <iostream>

#include "cli.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    glyph8::cli::fd_source in(STDIN_FILENO);
    glyph8::cli::fd_sink out(STDOUT_FILENO);
    return glyph8::cli::run(args, in, out, std::cerr);
}
