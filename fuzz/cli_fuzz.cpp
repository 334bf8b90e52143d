// Arbitrary bytes as a whole glyph8-cli run: NUL-separated arguments, then
// standard input. A --font FILE reads the file name's own bytes as the font,
// so font parsing is fuzzed too without touching the file system.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t nul; (nul = bytes.find('\0', start)) != std::string::npos; start = nul + 1) {
        parts.push_back(bytes.substr(start, nul - start));
    }
    const std::string stdin_text = bytes.substr(start);
    if (parts.size() > 16) {
        return 0;
    }
    glyph8::cli::string_source in(stdin_text);
    glyph8::cli::string_sink out;
    std::ostringstream err;
    const auto read = [](const std::string& path, std::vector<unsigned char>& font, std::string&) {
        font.assign(path.begin(), path.end());
        return true;
    };
    const int code = glyph8::cli::run(parts, in, out, err, read);
    // Usage errors say so and print nothing; success always prints something.
    if (code == glyph8::cli::exit_usage && (!out.text.empty() || err.str().empty())) {
        __builtin_trap();
    }
    if (code == glyph8::cli::exit_ok && out.text.empty()) {
        __builtin_trap();
    }
    return 0;
}
