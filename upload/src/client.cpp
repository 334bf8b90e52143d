// The bootloader client. The Uno's optiboot speaks STK500 version 1: every
// command ends with CRC_EOP and every answer is INSYNC, its data, then OK.
// The Mega 2560's bootloader speaks version 2: every message, both ways, is
// framed (start, sequence number, length, token, body, XOR checksum) and
// every answer repeats the command and gives a status. The steps are the
// same: sync, signature, programming mode, then address and page by page.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "glyph8/upload.hpp"

namespace glyph8::upload {

namespace {

constexpr std::uint8_t stk_ok = 0x10;
constexpr std::uint8_t stk_insync = 0x14;
constexpr std::uint8_t crc_eop = 0x20;
constexpr std::uint8_t get_sync = 0x30;
constexpr std::uint8_t enter_progmode = 0x50;
constexpr std::uint8_t leave_progmode = 0x51;
constexpr std::uint8_t load_address = 0x55;
constexpr std::uint8_t prog_page = 0x64;
constexpr std::uint8_t read_page = 0x74;
constexpr std::uint8_t read_sign = 0x75;
constexpr std::uint8_t flash_memory = 'F';

constexpr std::uint8_t v2_start = 0x1B;
constexpr std::uint8_t v2_token = 0x0E;
constexpr std::uint8_t v2_sign_on = 0x01;
constexpr std::uint8_t v2_load_address = 0x06;
constexpr std::uint8_t v2_enter_progmode = 0x10;
constexpr std::uint8_t v2_leave_progmode = 0x11;
constexpr std::uint8_t v2_program_flash = 0x13;
constexpr std::uint8_t v2_read_flash = 0x14;
constexpr std::uint8_t v2_read_signature = 0x1B;
constexpr std::uint8_t v2_status_ok = 0x00;
// Bit 31 of a load address: the address needs the extended byte (past 128 KiB).
constexpr std::uint32_t v2_extended_address = 0x80000000u;

// The board comes out of reset and its bootloader starts in a few tens of
// milliseconds; what it is sent meanwhile waits in the UART.
constexpr std::uint32_t boot_ms = 50;
// Optiboot flashes its LED for about 400 ms before it reads the UART, and a
// real UART holds only two bytes meanwhile: a second sync sent before the
// first is answered could overrun it and leave the bootloader out of step.
constexpr std::uint32_t sync_interval_ms = 500;
// Tries between two resets: a bootloader that missed the first few has
// gone on to the sketch by then.
constexpr std::uint32_t tries_per_reset = 4;
// Answers to syncs sent before the first answer came may still be on their
// way: they are let through and dropped before the protocol proper starts.
constexpr std::uint32_t settle_ms = 50;
// Writing a page takes under 10 ms; reading one back at 115200 baud, 12 ms.
constexpr std::uint32_t command_timeout_ms = 1000;

std::string hex_bytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    char cell[4];
    for (const auto b : bytes) {
        std::snprintf(cell, sizeof cell, "%02X", b);
        if (!text.empty()) {
            text += ' ';
        }
        text += cell;
    }
    return text;
}

std::string hex_address(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(address));
    return text;
}

// Where a version 2 message in `bytes` from `at` ends (one past its
// checksum), 0 if it is not all there yet, or -1 if it is not a message.
std::ptrdiff_t v2_frame_end(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    const std::size_t have = bytes.size() - at;
    if (have >= 1 && bytes[at] != v2_start) {
        return -1;
    }
    if (have >= 5 && bytes[at + 4] != v2_token) {
        return -1;
    }
    if (have < 5) {
        return 0;
    }
    const std::size_t size = bytes[at + 2] * 256u + bytes[at + 3];
    if (have < size + 6) {
        return 0;
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < size + 6; ++i) {
        sum ^= bytes[at + i];
    }
    return sum == 0 ? static_cast<std::ptrdiff_t>(at + size + 6) : -1;
}

}  // namespace

const char* error_name(error kind) {
    switch (kind) {
        case error::none:
            return "none";
        case error::bad_request:
            return "bad_request";
        case error::no_answer:
            return "no_answer";
        case error::not_in_sync:
            return "not_in_sync";
        case error::timed_out:
            return "timed_out";
        case error::signature_mismatch:
            return "signature_mismatch";
        case error::verify_mismatch:
            return "verify_mismatch";
        case error::no_such_port:
            return "no_such_port";
        case error::no_permission:
            return "no_permission";
        case error::not_a_serial_port:
            return "not_a_serial_port";
        case error::port_failed:
            return "port_failed";
    }
    return "port_failed";
}

const board* board_named(std::string_view arduino) {
    if (arduino == "uno") {
        return &uno;
    }
    if (arduino == "mega") {
        return &mega2560;
    }
    return nullptr;
}

std::string_view mcu_named_by(std::array<std::uint8_t, 3> signature) {
    struct known {
        std::array<std::uint8_t, 3> signature;
        std::string_view name;
    };
    static constexpr known mcus[] = {
        {{0x1E, 0x95, 0x0F}, "ATmega328P"},  {{0x1E, 0x95, 0x14}, "ATmega328"},
        {{0x1E, 0x95, 0x16}, "ATmega328PB"}, {{0x1E, 0x94, 0x06}, "ATmega168"},
        {{0x1E, 0x94, 0x0B}, "ATmega168P"},  {{0x1E, 0x93, 0x0A}, "ATmega88"},
        {{0x1E, 0x93, 0x07}, "ATmega8"},     {{0x1E, 0x98, 0x01}, "ATmega2560"},
        {{0x1E, 0x97, 0x03}, "ATmega1280"},  {{0x1E, 0x95, 0x87}, "ATmega32U4"},
        {{0x1E, 0x97, 0x05}, "ATmega1284P"}, {{0x1E, 0x96, 0x0A}, "ATmega644P"},
    };
    for (const auto& m : mcus) {
        if (m.signature == signature) {
            return m.name;
        }
    }
    return {};
}

client::client(const request& what) : request_(what) {
    const auto page = request_.target.page_size;
    page_count_ = static_cast<std::uint32_t>((request_.bytes.size() + page - 1) / page);
    total_ = page_count_ * (request_.what == mode::compare ? 1 : 2);
    if (request_.what == mode::update && !request_.target.writes_from_start &&
        request_.keep_below > request_.address) {
        // Counted as if the kept pages are there; recounted if they are not.
        checking_ = true;
        first_ = std::min(page_count_, (request_.keep_below - request_.address) / page);
        total_ = first_ + 2 * (page_count_ - first_);
    } else if (request_.what == mode::update) {
        outcome_.same = false;  // written whole
    }
}

std::uint32_t client::page_address(std::uint32_t index) const {
    return request_.address + index * request_.target.page_size;
}

std::vector<std::uint8_t> client::page_bytes(std::uint32_t index) const {
    const std::size_t size = request_.target.page_size;
    const std::size_t from = static_cast<std::size_t>(index) * size;
    std::vector<std::uint8_t> page(size, 0xFF);
    const std::size_t n = std::min(size, request_.bytes.size() - from);
    std::copy_n(request_.bytes.begin() + static_cast<std::ptrdiff_t>(from), n, page.begin());
    return page;
}

action client::fail(error kind, std::string message) {
    phase_ = phase::finished;
    problem_.kind = kind;
    problem_.message = std::move(message);
    action a;
    a.finished = true;
    return a;
}

bool client::v2() const {
    return request_.target.speaks == protocol::stk500v2;
}

action client::command(phase next, std::vector<std::uint8_t> body, std::size_t v1_reply,
                       std::uint64_t now_ms) {
    std::vector<std::uint8_t> bytes;
    if (v2()) {
        command_ = body[0];
        sequence_ = static_cast<std::uint8_t>(sequence_ + 1);
        bytes = {v2_start, sequence_, static_cast<std::uint8_t>(body.size() >> 8),
                 static_cast<std::uint8_t>(body.size() & 0xFF), v2_token};
        bytes.insert(bytes.end(), body.begin(), body.end());
        std::uint8_t sum = 0;
        for (const auto b : bytes) {
            sum ^= b;
        }
        bytes.push_back(sum);
    } else {
        bytes = std::move(body);
        bytes.push_back(crc_eop);
    }
    phase_ = next;
    reply_.clear();
    expected_ = v1_reply;
    deadline_ = now_ms + command_timeout_ms;
    action a;
    a.send = std::move(bytes);
    a.wait_ms = command_timeout_ms;
    return a;
}

std::vector<std::uint8_t> client::sync_command() const {
    return v2() ? std::vector<std::uint8_t>{v2_sign_on} : std::vector<std::uint8_t>{get_sync};
}

bool client::sync_answered() const {
    if (!v2()) {
        for (std::size_t i = 0; i + 1 < reply_.size(); ++i) {
            if (reply_[i] == stk_insync && reply_[i + 1] == stk_ok) {
                return true;
            }
        }
        return false;
    }
    // Any sequence number: the answer may be to an earlier try.
    for (std::size_t i = 0; i < reply_.size(); ++i) {
        if (reply_[i] == v2_start && v2_frame_end(reply_, i) > 0 && reply_[i + 5] == v2_sign_on &&
            reply_[i + 6] == v2_status_ok) {
            return true;
        }
    }
    return false;
}

int client::check_reply(std::string& why) {
    const std::string during = " while " + std::string(phase_name());
    if (!v2()) {
        if (!reply_.empty() && reply_.front() != stk_insync) {
            why = "the board answered " + hex_bytes({reply_.data(), 1}) + during +
                  ", not the bootloader's 14: is another program using the port, or is the "
                  "board not an " +
                  std::string(request_.target.name) + "?";
            return -1;
        }
        if (reply_.size() > expected_) {
            why = "the board answered more than asked" + during + " (" + hex_bytes(reply_) + ")";
            return -1;
        }
        if (reply_.size() < expected_) {
            return 0;
        }
        if (reply_.back() != stk_ok) {
            why = "the bootloader answered " + hex_bytes(reply_) + during +
                  ", without the closing 10";
            return -1;
        }
        payload_.assign(reply_.begin() + 1, reply_.end() - 1);
        return 1;
    }
    const auto end = v2_frame_end(reply_, 0);
    if (end < 0) {
        why = "the board answered " +
              hex_bytes({reply_.data(), std::min<std::size_t>(reply_.size(), 8)}) + during +
              ", not a message of the bootloader's: is another program using the port, "
              "or is the board not an " +
              std::string(request_.target.name) + "?";
        return -1;
    }
    if (end == 0) {
        return 0;
    }
    if (static_cast<std::size_t>(end) < reply_.size()) {
        why = "the board answered more than asked" + during;
        return -1;
    }
    if (reply_[1] != sequence_ || reply_.size() < 8 || reply_[5] != command_) {
        why = "the bootloader answered another message than the one sent" + during;
        return -1;
    }
    if (reply_[6] != v2_status_ok) {
        why = "the bootloader refused" + during + " (status " + hex_bytes({&reply_[6], 1}) + ")";
        return -1;
    }
    payload_.assign(reply_.begin() + 7, reply_.end() - 1);
    return 1;
}

std::string_view client::phase_name() const {
    switch (phase_) {
        case phase::confirming:
            return "confirming the sync";
        case phase::signature:
            return "reading the signature";
        case phase::progmode:
            return "entering programming mode";
        case phase::load_for_write:
        case phase::load_for_read:
            return "setting the address";
        case phase::write_page:
            return "writing a page";
        case phase::read_page:
            return "reading a page back";
        case phase::leave:
            return "leaving programming mode";
        default:
            return "syncing";
    }
}

action client::next_page_or_leave(std::uint64_t now_ms) {
    if (checking_ && page_ == first_) {
        // Every kept page is there: the rest are written.
        checking_ = false;
        writing_ = true;
    }
    if (page_ == page_count_ && writing_ && writes()) {
        writing_ = false;
        page_ = first_;
    }
    if (page_ < page_count_) {
        const std::uint32_t word = page_address(page_) / 2;
        const phase next = writing_ && writes() ? phase::load_for_write : phase::load_for_read;
        if (v2()) {
            const std::uint32_t a =
                word | (request_.target.application > 0x20000 ? v2_extended_address : 0);
            return command(next,
                           {v2_load_address, static_cast<std::uint8_t>(a >> 24),
                            static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 8),
                            static_cast<std::uint8_t>(a)},
                           0, now_ms);
        }
        return command(next,
                       {load_address, static_cast<std::uint8_t>(word & 0xFF),
                        static_cast<std::uint8_t>(word >> 8)},
                       2, now_ms);
    }
    return leave(now_ms);
}

action client::leave(std::uint64_t now_ms) {
    if (v2()) {
        return command(phase::leave, {v2_leave_progmode, 1, 1}, 0, now_ms);
    }
    return command(phase::leave, {leave_progmode}, 2, now_ms);
}

action client::read_signature(std::uint64_t now_ms) {
    if (v2()) {
        // One byte a message: READ_SIGNATURE_ISP with the ISP instruction
        // that reads byte `signature_bytes_`.
        return command(
            phase::signature,
            {v2_read_signature, 4, 0x30, 0x00, static_cast<std::uint8_t>(signature_bytes_), 0x00},
            0, now_ms);
    }
    return command(phase::signature, {read_sign}, 5, now_ms);
}

action client::advance(std::uint64_t now_ms, std::span<const std::uint8_t> received) {
    switch (phase_) {
        case phase::finished: {
            action a;
            a.finished = true;
            return a;
        }
        case phase::start: {
            const auto& b = request_.target;
            const std::uint64_t end = std::uint64_t{request_.address} + request_.bytes.size();
            if (request_.bytes.empty()) {
                return fail(error::bad_request, "nothing to write");
            }
            if (request_.address % b.page_size != 0) {
                return fail(error::bad_request, "the bytes start at " +
                                                    hex_address(request_.address) +
                                                    ", not at the start of a page of " +
                                                    std::to_string(b.page_size) + " bytes");
            }
            if (request_.what == mode::update && request_.keep_below % b.page_size != 0) {
                return fail(error::bad_request, "the pages kept end at " +
                                                    hex_address(request_.keep_below) +
                                                    ", not at the start of a page");
            }
            if (b.writes_from_start && writes() && request_.address != 0) {
                return fail(error::bad_request,
                            "the " + std::string(b.name) +
                                "'s bootloader erases flash from its start as pages come, so "
                                "the image must be written whole from address 0, not from " +
                                hex_address(request_.address));
            }
            if (end > b.application) {
                return fail(error::bad_request, "the image ends at byte " + std::to_string(end) +
                                                    ", past the " + std::to_string(b.application) +
                                                    " bytes the " + std::string(b.name) +
                                                    " has below its bootloader");
            }
            started_ = now_ms;
            phase_ = phase::syncing;
            sync_tries_ = 0;
            deadline_ = now_ms + boot_ms;
            action a;
            a.reset = true;
            a.wait_ms = boot_ms;
            return a;
        }
        case phase::syncing: {
            // Whatever a running sketch printed before the reset is dropped;
            // only an answer to a sync counts.
            reply_.insert(reply_.end(), received.begin(), received.end());
            if (sync_answered()) {
                phase_ = phase::settling;
                deadline_ = now_ms + settle_ms;
                action a;
                a.wait_ms = settle_ms;
                return a;
            }
            if (reply_.size() > 4096) {
                reply_.clear();
            }
            if (now_ms < deadline_) {
                action a;
                a.wait_ms = static_cast<std::uint32_t>(deadline_ - now_ms);
                return a;
            }
            if (now_ms - started_ + sync_interval_ms > sync_give_up_ms) {
                return fail(error::no_answer,
                            "no bootloader answered on this port in " +
                                std::to_string(sync_give_up_ms / 1000) +
                                " s: check that the board is an " +
                                std::string(request_.target.name) +
                                ", plugged in on this port, that no other program (a serial "
                                "monitor) holds the port, and if the board does not reset "
                                "itself, press its reset button as the upload starts");
            }
            action a;
            if (sync_tries_ > 0 && sync_tries_ % tries_per_reset == 0 && !reset_sent_) {
                // Back to waiting for the bootloader to start; the sync follows.
                reset_sent_ = true;
                a.reset = true;
                a.wait_ms = boot_ms;
                deadline_ = now_ms + boot_ms;
                return a;
            }
            reset_sent_ = false;
            ++sync_tries_;
            a = command(phase::syncing, sync_command(), 0, now_ms);
            a.wait_ms = sync_interval_ms;
            deadline_ = now_ms + sync_interval_ms;
            return a;
        }
        case phase::settling: {
            if (now_ms < deadline_) {
                action a;
                a.wait_ms = static_cast<std::uint32_t>(deadline_ - now_ms);
                return a;
            }
            return command(phase::confirming, sync_command(), 2, now_ms);
        }
        default:
            break;
    }

    reply_.insert(reply_.end(), received.begin(), received.end());
    std::string why;
    const int state = check_reply(why);
    if (state < 0) {
        return fail(error::not_in_sync, why);
    }
    if (state > 0) {
        return on_reply(now_ms);
    }
    if (now_ms >= deadline_) {
        return on_silence(now_ms);
    }
    action a;
    a.wait_ms = static_cast<std::uint32_t>(deadline_ - now_ms);
    return a;
}

action client::on_silence(std::uint64_t) {
    std::string where;
    if (phase_ == phase::write_page || phase_ == phase::read_page ||
        phase_ == phase::load_for_write || phase_ == phase::load_for_read) {
        where = " at " + hex_address(page_address(page_));
    }
    return fail(
        error::timed_out,
        "the bootloader stopped answering while " + std::string(phase_name()) + where +
            (reply_.empty()
                 ? std::string()
                 : " (it had sent " + std::to_string(reply_.size()) +
                       (v2() ? std::string() : " of " + std::to_string(expected_)) + " bytes)") +
            ": was the board reset or unplugged, or is another program using the port?");
}

action client::on_reply(std::uint64_t now_ms) {
    const std::uint8_t page_high = static_cast<std::uint8_t>(request_.target.page_size >> 8);
    const std::uint8_t page_low = static_cast<std::uint8_t>(request_.target.page_size & 0xFF);
    switch (phase_) {
        case phase::confirming:
            signature_bytes_ = 0;
            return read_signature(now_ms);
        case phase::signature: {
            if (v2()) {
                found_[signature_bytes_++] = payload_.empty() ? 0 : payload_[0];
                if (signature_bytes_ < 3) {
                    return read_signature(now_ms);
                }
            } else {
                std::copy_n(payload_.begin(), 3, found_.begin());
            }
            const auto& b = request_.target;
            if (found_ != b.signature) {
                problem_.found = found_;
                const auto name = mcu_named_by(found_);
                return fail(
                    error::signature_mismatch,
                    "the board is " +
                        (name.empty() ? std::string("an unknown MCU") : "an " + std::string(name)) +
                        " (signature " + hex_bytes(found_) + "), not the " + std::string(b.mcu) +
                        " (" + hex_bytes(b.signature) + ") of an " + std::string(b.name) +
                        ": choose the board that is plugged in");
            }
            if (v2()) {
                // The ISP timings are an STK500's; a bootloader takes them
                // as they come.
                return command(phase::progmode,
                               {v2_enter_progmode, 200, 100, 25, 32, 0, 0x53, 3, 0xAC, 0x53, 0, 0},
                               0, now_ms);
            }
            return command(phase::progmode, {enter_progmode}, 2, now_ms);
        }
        case phase::progmode:
            page_ = 0;
            writing_ = !checking_;
            return next_page_or_leave(now_ms);
        case phase::load_for_write: {
            std::vector<std::uint8_t> body =
                v2() ? std::vector<std::uint8_t>{v2_program_flash,
                                                 page_high,
                                                 page_low,
                                                 0xC1,
                                                 10,
                                                 0x40,
                                                 0x4C,
                                                 0x20,
                                                 0,
                                                 0}
                     : std::vector<std::uint8_t>{prog_page, page_high, page_low, flash_memory};
            const auto page = page_bytes(page_);
            body.insert(body.end(), page.begin(), page.end());
            return command(phase::write_page, std::move(body), 2, now_ms);
        }
        case phase::write_page:
            ++page_;
            ++done_;
            return next_page_or_leave(now_ms);
        case phase::load_for_read:
            if (v2()) {
                return command(phase::read_page, {v2_read_flash, page_high, page_low, 0x20}, 0,
                               now_ms);
            }
            return command(phase::read_page, {read_page, page_high, page_low, flash_memory},
                           request_.target.page_size + 2, now_ms);
        case phase::read_page: {
            const auto want = page_bytes(page_);
            if (payload_.size() < want.size()) {
                return fail(error::not_in_sync, "the bootloader sent a short page back");
            }
            // A compare looks at the given bytes only: what follows them in
            // the last page is not theirs.
            const std::size_t from = std::size_t{page_} * request_.target.page_size;
            const std::size_t n =
                writes() ? want.size() : std::min(want.size(), request_.bytes.size() - from);
            for (std::size_t i = 0; i < n; ++i) {
                if (payload_[i] == want[i]) {
                    continue;
                }
                const auto at = page_address(page_) + static_cast<std::uint32_t>(i);
                if (checking_) {
                    // Not there: every page is written, from the first.
                    checking_ = false;
                    outcome_.same = false;
                    outcome_.difference = at;
                    done_ = 0;
                    total_ = 2 * page_count_;
                    first_ = 0;
                    page_ = 0;
                    writing_ = true;
                    return next_page_or_leave(now_ms);
                }
                if (request_.what == mode::compare) {
                    outcome_.same = false;
                    outcome_.difference = at;
                    return leave(now_ms);
                }
                problem_.address = at;
                return fail(error::verify_mismatch,
                            "flash at " + hex_address(at) + " reads back " +
                                hex_bytes({&payload_[i], 1}) + " where " +
                                hex_bytes({&want[i], 1}) +
                                " was written: the flash may be worn out or the board faulty");
            }
            ++page_;
            ++done_;
            return next_page_or_leave(now_ms);
        }
        case phase::leave: {
            phase_ = phase::finished;
            action a;
            a.finished = true;
            return a;
        }
        default:
            return fail(error::not_in_sync, "an answer out of turn");
    }
}

}  // namespace glyph8::upload
