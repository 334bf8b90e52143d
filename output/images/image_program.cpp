// Writes the Arduino source of the prebuilt program for a display on a
// board: image_program DISPLAY BOARD > DIR/DIR.ino
#include <cstdio>
#include <string>

#include "glyph8/display.hpp"
#include "glyph8/image.hpp"

int main(int argc, char** argv) {
    using namespace glyph8::output;
    const display* d = argc == 3 ? find_display(argv[1]) : nullptr;
    const arduino_board* board = argc == 3 ? find_arduino(argv[2]) : nullptr;
    if (d == nullptr || board == nullptr) {
        std::fputs("usage: image_program DISPLAY BOARD\n", stderr);
        return 2;
    }
    const std::string text = image_program(*d, *board);
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
