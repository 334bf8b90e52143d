#include <cstdio>
#include <iostream>
#include <new>

#include "cli.hpp"

int main(int argc, char** argv) {
    glyph8::cli::fd_source in(0);
    glyph8::cli::fd_sink out(1);
    // Running out of memory is a failure to report, not a crash. The page
    // catches it itself, around the same run, to start afresh.
    try {
        return glyph8::cli::run(glyph8::cli::arguments(argc, argv), in, out, std::cerr);
    } catch (const std::bad_alloc&) {
        return glyph8::cli::report({glyph8::cli::exit_failure, "out of memory"}, std::cerr);
    }
}
