// Arbitrary bytes as the input text of a whole capture on the default face.
#include <cstddef>
#include <cstdint>
#include <string>

#include "glyph8/capture.hpp"
#include "glyph8/default_face.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static glyph8::surface pic(glyph8::picture_width, glyph8::picture_height,
                               glyph8::make_default_typeface());
    glyph8::surface_box box(pic);
    glyph8::string_box input(std::string(reinterpret_cast<const char*>(data), size));
    glyph8::string_box output;
    if (const auto error = glyph8::run_capture(box, input, output)) {
        __builtin_trap();  // a capture on our own surface has nothing that may fail
    }
    const std::string& line = output.text();
    if (line.size() < 35 || line.size() > 51 || !line.starts_with("byte d[]={ ") ||
        !line.ends_with("};")) {
        __builtin_trap();
    }
    return 0;
}
