// Uploads an Intel HEX file to a board on a serial port with glyph8's own
// uploader, and says how it went:
//
//     upload_tool PORT FILE.hex [--board uno|mega] [--compare] [--from ADDRESS]
//                 [--pages N]
//
// --from and --pages write (or compare) only those pages of the image, as a
// message's block alone is written. The last line on standard output is
// "ok SECONDS", "same", "differs ADDRESS" or "error KIND: MESSAGE"; the
// exit status is 0 only for "ok" and "same".
//
//     upload_tool --hex FILE.bin ADDRESS linear|segment
//
// writes FILE.bin's bytes at ADDRESS as Intel HEX on standard output, for
// the AVR tools to read back.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "glyph8/intel_hex.hpp"
#include "serial.hpp"

int main(int argc, char** argv) {
    using namespace glyph8;
    if (argc == 5 && std::strcmp(argv[1], "--hex") == 0) {
        std::ifstream bin(argv[2], std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(bin)),
                                              std::istreambuf_iterator<char>());
        std::string text;
        output::write_intel_hex(
            text, static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 0)), bytes,
            std::strcmp(argv[4], "segment") == 0 ? output::hex_addressing::segment
                                                 : output::hex_addressing::linear);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return bin ? 0 : 2;
    }
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: upload_tool PORT FILE.hex [--compare] [--from ADDRESS] [--pages N]\n");
        return 2;
    }
    upload::request request;
    unsigned long from = 0;
    unsigned long pages = 0;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--board") == 0 && i + 1 < argc) {
            request.target = std::strcmp(argv[++i], "mega") == 0 ? upload::mega2560 : upload::uno;
        } else if (std::strcmp(argv[i], "--compare") == 0) {
            request.what = upload::mode::compare;
        } else if (std::strcmp(argv[i], "--from") == 0 && i + 1 < argc) {
            from = std::strtoul(argv[++i], nullptr, 0);
        } else if (std::strcmp(argv[i], "--pages") == 0 && i + 1 < argc) {
            pages = std::strtoul(argv[++i], nullptr, 0);
        } else {
            std::fprintf(stderr, "upload_tool: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    std::ifstream in(argv[2], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    output::flash_image image;
    std::string why;
    if (!in || !output::read_intel_hex(text.str(), image, why)) {
        std::fprintf(stderr, "upload_tool: %s: %s\n", argv[2], in ? why.c_str() : "cannot read");
        return 2;
    }
    std::span<const std::uint8_t> bytes = image.bytes;
    request.address = image.address;
    if (from > 0 || pages > 0) {
        const auto skip = from - image.address;
        bytes = bytes.subspan(std::min<std::size_t>(skip, bytes.size()));
        if (pages > 0) {
            bytes =
                bytes.first(std::min<std::size_t>(bytes.size(), pages * request.target.page_size));
        }
        request.address = static_cast<std::uint32_t>(from);
    }
    request.bytes = bytes;

    const auto start = std::chrono::steady_clock::now();
    upload::outcome result;
    const auto problem = cli::upload_to_port(
        argv[1], request,
        [](std::uint32_t done, std::uint32_t total) {
            std::fprintf(stderr, "\r%u/%u pages", done, total);
        },
        result);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "\n");
    if (problem) {
        std::printf("error %s: %s\n", glyph8::upload::error_name(problem.kind),
                    problem.message.c_str());
        return 1;
    }
    if (request.what == upload::mode::compare) {
        if (result.same) {
            std::printf("same %.3f\n", seconds);
            return 0;
        }
        std::printf("differs 0x%04X %.3f\n", result.difference, seconds);
        return 1;
    }
    std::printf("ok %.3f\n", seconds);
    return 0;
}
