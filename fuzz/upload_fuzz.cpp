// An upload to a bootloader played in memory, over a port that the input
// disturbs: the first byte picks the board and the mode, then each step
// takes an op byte that says what becomes of the bootloader's answer on its
// way (whole, split, dropped, a byte flipped, noise before it, late). Whatever
// comes, the client must not crash, must finish once the port falls silent,
// and must say why when it fails; when nothing was disturbed it must succeed
// and flash must hold the image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fake_bootloaders.hpp"
#include "glyph8/upload.hpp"

namespace {

using namespace glyph8::upload;

const std::vector<std::uint8_t>& image() {
    static const std::vector<std::uint8_t> bytes = glyph8::testing_support::image_of(600);
    return bytes;
}

template <class Board>
void run(Board& board, const request& what, std::span<const std::uint8_t> ops, bool disturbed) {
    client c(what);
    std::uint64_t now = 0;
    action a = c.advance(now, {});
    std::vector<std::uint8_t> held;  // answer bytes still on their way
    int steps = 0;
    while (!a.finished) {
        if (++steps > 200'000 || c.pages_done() > c.pages() ||
            a.send.size() > 2 * what.target.page_size + 64) {
            __builtin_trap();
        }
        if (a.reset) {
            board.reset();
        }
        const std::vector<std::uint8_t> answer = board.feed(a.send);
        held.insert(held.end(), answer.begin(), answer.end());
        std::vector<std::uint8_t> arrived;
        const std::uint8_t op = ops.empty() ? 0 : ops[0];
        if (!ops.empty()) {
            ops = ops.subspan(1);
        }
        switch (op % 8) {
            case 1:  // the first part now, the rest in the same moment
                if (!held.empty()) {
                    const std::size_t n = 1 + op / 8 % held.size();
                    arrived.assign(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(n));
                    held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(n));
                }
                break;
            case 2:  // lost
                disturbed = disturbed || !held.empty();
                held.clear();
                break;
            case 3:  // a byte flipped
                if (!held.empty()) {
                    held[op / 8 % held.size()] ^= static_cast<std::uint8_t>(op | 1);
                    disturbed = true;
                }
                arrived.swap(held);
                break;
            case 4:  // noise first
                arrived.push_back(op);
                arrived.insert(arrived.end(), held.begin(), held.end());
                held.clear();
                disturbed = true;
                break;
            default:
                arrived.swap(held);
                break;
        }
        if (op % 8 == 5) {
            now += a.wait_ms + 1 + op;  // late: the wait has run out
            disturbed = true;
        } else {
            // The rest of an answer follows at once; a whole one takes a
            // moment; with nothing, the wait runs out.
            now += !held.empty() ? 0 : arrived.empty() ? a.wait_ms + 1 : 1;
        }
        a = c.advance(now, arrived);
    }
    if (c.problem() ? c.problem().message.empty()
                    : what.what == mode::write && c.pages_done() != c.pages()) {
        __builtin_trap();
    }
    if (!disturbed && what.what == mode::write) {
        const auto& want = image();
        if (c.problem() || !std::equal(want.begin(), want.end(), board.flash.begin())) {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    request what;
    what.target = (data[0] & 1) != 0 ? mega2560 : uno;
    what.what = static_cast<mode>((data[0] >> 1) % 3);
    what.bytes = image();
    what.keep_below = what.target.page_size;
    const std::span<const std::uint8_t> ops(data + 1, size - 1);
    if ((data[0] & 1) != 0) {
        glyph8::testing_support::fake_mega board;
        run(board, what, ops, false);
    } else {
        glyph8::testing_support::fake_board board;
        board.doubled = (data[0] & 8) != 0;
        board.extra_sync_answers = data[0] >> 4 & 3;
        // An answer said twice puts the client out of step: a failure.
        run(board, what, ops, board.doubled);
    }
    return 0;
}
