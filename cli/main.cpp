#include <iostream>

#include "cli.hpp"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    return glyph8::cli::run(args, std::cin, std::cout, std::cerr);
}
