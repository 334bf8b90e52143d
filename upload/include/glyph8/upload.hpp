// Upload: writes a flash image to an Arduino through its serial bootloader,
// with no compiler and no IDE: the Uno's optiboot (STK500 version 1) and the
// Mega 2560's bootloader (STK500 version 2). Every page written is read back
// and compared; a compare alone tells whether an image is there already, so
// that only a message's block need be written (on the Uno: the Mega's
// bootloader erases from the start of flash, so it takes whole images only).
//
// The client speaks the bootloader's protocol and nothing else: it is fed the
// bytes that came in and the time, and says what to send next and how long to
// wait for an answer. A blocking front end (the command line, over a serial
// port) and an asynchronous one (a page, over Web Serial) drive the same code
// the same way:
//
//     upload::client c(request);
//     auto a = c.advance(now_ms, {});
//     while (!a.finished) {
//         if (a.reset) pulse DTR/RTS;
//         write(a.send);
//         n = read(buffer, up to a.wait_ms);
//         a = c.advance(now_ms, {buffer, n});
//     }
//     c.problem() / c.result()
//
// Failures are values (`problem`), each with a message that says what to
// check; nothing throws.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace glyph8::upload {

enum class protocol : std::uint8_t {
    stk500v1,  // optiboot on the Uno
    stk500v2,  // the Mega 2560's bootloader
};

// A board as its bootloader sees it.
struct board {
    std::string_view name;  // "Arduino Uno"
    std::string_view mcu;   // "ATmega328P"
    std::array<std::uint8_t, 3> signature;
    std::uint32_t page_size;    // bytes written at once
    std::uint32_t application;  // bytes of flash below the bootloader
    protocol speaks;
    // The bootloader erases pages in order from the start of flash as pages
    // come, wherever they are written: only a whole image from address 0
    // can be written, never a block alone (a compare can be anywhere).
    bool writes_from_start = false;
};

inline constexpr board uno{"Arduino Uno", "ATmega328P", {0x1E, 0x95, 0x0F},
                           128,           0x7E00,       protocol::stk500v1};
inline constexpr board mega2560{"Arduino Mega 2560", "ATmega2560", {0x1E, 0x98, 0x01}, 256, 0x3E000,
                                protocol::stk500v2,  true};

// The board an Arduino board's name (glyph8's --arduino: "uno", "mega")
// stands for; null for one glyph8 does not upload to.
const board* board_named(std::string_view arduino);

// The MCU a signature names, for messages ("ATmega2560"); empty if unknown.
std::string_view mcu_named_by(std::array<std::uint8_t, 3> signature);

enum class mode : std::uint8_t {
    write,    // write the pages, read them back and compare
    compare,  // only read the range back and compare: is this already there?
    // Compare the pages below `keep_below` first: when flash holds them
    // already, write (and read back) only the pages from there on, else all
    // of them; one session either way. A board whose bootloader writes from
    // the start only writes all.
    update,
};

// What to do. `bytes` is what flash holds from `address` on; `address` is at
// the start of a page, and the last page is padded with 0xFF (erased flash).
// The bytes are not copied: they must outlive the client.
struct request {
    board target = uno;
    std::uint32_t address = 0;
    std::span<const std::uint8_t> bytes;
    mode what = mode::write;
    std::uint32_t keep_below = 0;  // update: a page boundary within the bytes
};

enum class error : std::uint8_t {
    none = 0,
    bad_request,         // not page aligned, past the bootloader, empty
    no_answer,           // no bootloader answered the sync (board, port, cable)
    not_in_sync,         // an answer that is not the protocol's
    timed_out,           // the bootloader stopped answering in the middle
    signature_mismatch,  // another MCU than the board's
    verify_mismatch,     // a byte read back differs from the one written
    // Set by the front end that opens the port, not by the client.
    no_such_port,
    no_permission,
    not_a_serial_port,
    port_failed,  // the port would not open, read or write for another reason
};

// The kind's name as code spells it ("no_answer"), for tools and the page.
const char* error_name(error kind);

struct problem {
    error kind = error::none;
    std::string message;                  // a sentence for the user, with what to check
    std::uint32_t address = 0;            // verify_mismatch: the first byte that differs
    std::array<std::uint8_t, 3> found{};  // signature_mismatch: what the board said
    explicit operator bool() const { return kind != error::none; }
};

// What the front end does next: pulse the reset lines if `reset`, send
// `send`, then wait at most `wait_ms` for bytes (or until that much time has
// passed) and call `advance` again with whatever came. Once `finished`, see
// `problem()` and `result()`.
struct action {
    bool reset = false;
    std::vector<std::uint8_t> send;
    std::uint32_t wait_ms = 0;
    bool finished = false;
};

struct outcome {
    bool same = true;              // compare, update: flash held the bytes (below keep_below)
    std::uint32_t difference = 0;  // compare: the first byte that differs
};

// How long DTR and RTS are held low to reset a board through its auto-reset
// capacitor, on every front end.
inline constexpr std::uint32_t reset_pulse_ms = 100;

// Give up on a board that does not answer after about this long.
inline constexpr std::uint32_t sync_give_up_ms = 10'000;

class client {
  public:
    explicit client(const request& what);

    // The clock (`now_ms`) only needs to grow; any origin will do.
    action advance(std::uint64_t now_ms, std::span<const std::uint8_t> received);

    const upload::problem& problem() const { return problem_; }
    const upload::outcome& result() const { return outcome_; }
    // Pages written (or compared) so far, out of `pages()`; the read-back
    // of a write counts as much as the writing.
    std::uint32_t pages_done() const { return done_; }
    std::uint32_t pages() const { return total_; }

  private:
    enum class phase : std::uint8_t {
        start,
        syncing,
        settling,
        confirming,
        signature,
        progmode,
        load_for_write,
        write_page,
        load_for_read,
        read_page,
        leave,
        finished,
    };
    bool v2() const;
    // Sends `body` as the protocol frames it; version 1 answers have
    // `v1_reply` bytes, version 2 ones say their length.
    action command(phase next, std::vector<std::uint8_t> body, std::size_t v1_reply,
                   std::uint64_t now_ms);
    std::vector<std::uint8_t> sync_command() const;
    bool sync_answered() const;
    // 0 while the answer is incomplete, 1 once it is whole (its data in
    // payload_), -1 if it is wrong (why).
    int check_reply(std::string& why);
    action read_signature(std::uint64_t now_ms);
    action leave(std::uint64_t now_ms);
    action fail(error kind, std::string message);
    action next_page_or_leave(std::uint64_t now_ms);
    action on_reply(std::uint64_t now_ms);
    action on_silence(std::uint64_t now_ms);
    std::string_view phase_name() const;
    std::uint32_t page_address(std::uint32_t index) const;
    std::vector<std::uint8_t> page_bytes(std::uint32_t index) const;

    request request_;
    phase phase_ = phase::start;
    upload::problem problem_;
    upload::outcome outcome_;
    std::vector<std::uint8_t> reply_;
    std::vector<std::uint8_t> payload_;
    std::uint8_t sequence_ = 0;
    std::uint8_t command_ = 0;  // version 2: the command being answered
    std::array<std::uint8_t, 3> found_{};
    std::uint32_t signature_bytes_ = 0;
    std::size_t expected_ = 0;    // bytes the current command's answer has
    std::uint64_t deadline_ = 0;  // the answer is due by then
    std::uint64_t started_ = 0;
    std::uint32_t sync_tries_ = 0;
    bool reset_sent_ = false;
    std::uint32_t page_ = 0;  // the page at hand, counted from request_.address
    std::uint32_t page_count_ = 0;
    bool writing_ = true;      // still writing pages; then reading them back
    bool checking_ = false;    // update: comparing the pages that may be kept
    std::uint32_t first_ = 0;  // the first page written
    bool writes() const { return request_.what != mode::compare; }
    std::uint32_t done_ = 0;
    std::uint32_t total_ = 0;
};

}  // namespace glyph8::upload
