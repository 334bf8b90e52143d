// Arbitrary bytes as what a serial port answers an upload: the first byte
// picks the board and the mode, then each step takes a length, a delay and
// that many bytes as the next answer. Whatever comes, the client must not
// crash, must finish once the port falls silent, and must say why when it
// fails.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "glyph8/upload.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    using namespace glyph8::upload;
    static const std::vector<std::uint8_t> image = [] {
        std::vector<std::uint8_t> bytes(600);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 7);
        }
        return bytes;
    }();
    request what;
    what.target = (data[0] & 1) != 0 ? mega2560 : uno;
    what.what = static_cast<mode>((data[0] >> 1) % 3);
    what.bytes = image;
    what.keep_below = what.target.page_size;
    std::span<const std::uint8_t> rest = std::span(data, size).subspan(1);

    client c(what);
    std::uint64_t now = 0;
    action a = c.advance(now, {});
    int silent_steps = 0;
    while (!a.finished) {
        if (c.pages_done() > c.pages() || a.send.size() > 2 * what.target.page_size + 64) {
            __builtin_trap();
        }
        std::span<const std::uint8_t> answer;
        if (rest.size() >= 2) {
            const std::size_t n = std::min<std::size_t>(rest[0] % 64, rest.size() - 2);
            now += rest[1];
            answer = rest.subspan(2, n);
            rest = rest.subspan(2 + n);
        } else {
            // The port has fallen silent: every wait runs out.
            rest = {};
            now += a.wait_ms + 1;
            if (++silent_steps > 10'000) {
                __builtin_trap();  // waits for ever on a silent port
            }
        }
        a = c.advance(now, answer);
    }
    // Finished: either it did what was asked or it says why not.
    if (c.problem() ? c.problem().message.empty()
                    : what.what == mode::write && c.pages_done() != c.pages()) {
        __builtin_trap();
    }
    return 0;
}
