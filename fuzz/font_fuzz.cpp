// The whole input is a font file given with --font, drawn through --each
// and written back through --bdf: every container FreeType opens (BDF, PCF,
// TrueType, OpenType/CFF, WOFF, WOFF2, collections) must be refused with a
// message or drawn, in bounded time and memory, never crash.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto read = [&](const std::string&, std::vector<unsigned char>& font, std::string&) {
        font.assign(data, data + size);
        return true;
    };
    for (const char* format : {"--each", "--bdf"}) {
        glyph8::cli::string_source in("");
        glyph8::cli::string_sink out;
        std::ostringstream err;
        const std::vector<std::string> args = {
            "--font", "font", format, "A6g\xC3\xA9\xE5\x9C\x8B\xE8\xAA\xAA\xF0\x9F\x98\x80"};
        const int code = glyph8::cli::run(args, in, out, err, read);
        // A font is used or refused with a reason; nothing is half written.
        if (code == glyph8::cli::exit_usage && (!out.text.empty() || err.str().empty())) {
            __builtin_trap();
        }
        if (code == glyph8::cli::exit_ok && out.text.empty()) {
            __builtin_trap();
        }
        if (code != glyph8::cli::exit_ok && code != glyph8::cli::exit_usage) {
            __builtin_trap();
        }
    }
    return 0;
}
