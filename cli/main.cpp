#include <cstdio>
#include <iostream>

#include "cli.hpp"

int main(int argc, char** argv) {
    glyph8::cli::fd_source in(0);
    glyph8::cli::fd_sink out(1);
    return glyph8::cli::run(glyph8::cli::arguments(argc, argv), in, out, std::cerr);
}
