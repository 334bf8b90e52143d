// glyph8-compose: writes the composed face from Debian's font files.
//
//   glyph8-compose OUT.pcf
#include <cstdio>
#include <exception>
#include <fstream>
#include <thread>

#include "glyph8/compose.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: glyph8-compose OUT.pcf\n");
        return 2;
    }
    try {
        using namespace glyph8::compose;
        const auto glyphs = build_face(default_recipe(), std::thread::hardware_concurrency());
        const auto pcf = glyph8::output::write_pcf(
            glyphs, "glyph8 Composed", "Pieces of Misaki Gothic by Num Kadoma, composed by glyph8");
        std::ofstream out(argv[1], std::ios::binary);
        out.write(reinterpret_cast<const char*>(pcf.data()),
                  static_cast<std::streamsize>(pcf.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "glyph8-compose: cannot write %s\n", argv[1]);
            return 1;
        }
        std::printf("%zu glyphs, %zu bytes\n", glyphs.size(), pcf.size());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "glyph8-compose: %s\n", e.what());
        return 1;
    }
    return 0;
}
