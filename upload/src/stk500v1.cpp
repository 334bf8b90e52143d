// The STK500 (version 1) client, as optiboot on the Uno answers it: every
// command ends with CRC_EOP and every answer is INSYNC, its data, then OK.
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

}  // namespace

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
    total_ = page_count_ * (request_.what == mode::write ? 2 : 1);
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

action client::send_command(phase next, std::vector<std::uint8_t> bytes, std::size_t reply,
                            std::uint64_t now_ms) {
    phase_ = next;
    reply_.clear();
    expected_ = reply;
    deadline_ = now_ms + command_timeout_ms;
    action a;
    a.send = std::move(bytes);
    a.wait_ms = command_timeout_ms;
    return a;
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
    if (page_ == page_count_ && writing_ && request_.what == mode::write) {
        writing_ = false;
        page_ = 0;
    }
    if (page_ < page_count_) {
        const std::uint32_t word = page_address(page_) / 2;
        return send_command(
            writing_ && request_.what == mode::write ? phase::load_for_write : phase::load_for_read,
            {load_address, static_cast<std::uint8_t>(word & 0xFF),
             static_cast<std::uint8_t>(word >> 8), crc_eop},
            2, now_ms);
    }
    return send_command(phase::leave, {leave_progmode, crc_eop}, 2, now_ms);
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
            for (std::size_t i = 0; i + 1 < reply_.size(); ++i) {
                if (reply_[i] == stk_insync && reply_[i + 1] == stk_ok) {
                    phase_ = phase::settling;
                    deadline_ = now_ms + settle_ms;
                    action a;
                    a.wait_ms = settle_ms;
                    return a;
                }
            }
            if (reply_.size() > 1) {
                reply_.erase(reply_.begin(), reply_.end() - 1);
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
            a.send = {get_sync, crc_eop};
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
            return send_command(phase::confirming, {get_sync, crc_eop}, 2, now_ms);
        }
        default:
            break;
    }

    reply_.insert(reply_.end(), received.begin(), received.end());
    if (!reply_.empty() && reply_.front() != stk_insync) {
        return fail(error::not_in_sync,
                    "the board answered " + hex_bytes({reply_.data(), 1}) + " while " +
                        std::string(phase_name()) +
                        ", not the bootloader's 14: is another program using the port, or "
                        "is the board not an " +
                        std::string(request_.target.name) + "?");
    }
    if (reply_.size() > expected_) {
        return fail(error::not_in_sync, "the board answered more than asked while " +
                                            std::string(phase_name()) + " (" + hex_bytes(reply_) +
                                            ")");
    }
    if (reply_.size() == expected_) {
        if (reply_.back() != stk_ok) {
            return fail(error::not_in_sync, "the bootloader answered " + hex_bytes(reply_) +
                                                " while " + std::string(phase_name()) +
                                                ", without the closing 10");
        }
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
    return fail(error::timed_out,
                "the bootloader stopped answering while " + std::string(phase_name()) + where +
                    (reply_.empty() ? std::string()
                                    : " (it had sent " + std::to_string(reply_.size()) + " of " +
                                          std::to_string(expected_) + " bytes)") +
                    ": was the board reset or unplugged, or is another program using the port?");
}

action client::on_reply(std::uint64_t now_ms) {
    switch (phase_) {
        case phase::confirming:
            return send_command(phase::signature, {read_sign, crc_eop}, 5, now_ms);
        case phase::signature: {
            const std::array<std::uint8_t, 3> found{reply_[1], reply_[2], reply_[3]};
            const auto& b = request_.target;
            if (found != b.signature) {
                problem_.found = found;
                const auto name = mcu_named_by(found);
                return fail(
                    error::signature_mismatch,
                    "the board is " +
                        (name.empty() ? std::string("an unknown MCU") : "an " + std::string(name)) +
                        " (signature " + hex_bytes(found) + "), not the " + std::string(b.mcu) +
                        " (" + hex_bytes(b.signature) + ") of an " + std::string(b.name) +
                        ": choose the board that is plugged in");
            }
            return send_command(phase::progmode, {enter_progmode, crc_eop}, 2, now_ms);
        }
        case phase::progmode:
            page_ = 0;
            writing_ = true;
            return next_page_or_leave(now_ms);
        case phase::load_for_write: {
            std::vector<std::uint8_t> command{
                prog_page, static_cast<std::uint8_t>(request_.target.page_size >> 8),
                static_cast<std::uint8_t>(request_.target.page_size & 0xFF), flash_memory};
            const auto page = page_bytes(page_);
            command.insert(command.end(), page.begin(), page.end());
            command.push_back(crc_eop);
            return send_command(phase::write_page, std::move(command), 2, now_ms);
        }
        case phase::write_page:
            ++page_;
            ++done_;
            return next_page_or_leave(now_ms);
        case phase::load_for_read:
            return send_command(
                phase::read_page,
                {read_page, static_cast<std::uint8_t>(request_.target.page_size >> 8),
                 static_cast<std::uint8_t>(request_.target.page_size & 0xFF), flash_memory,
                 crc_eop},
                request_.target.page_size + 2, now_ms);
        case phase::read_page: {
            const auto want = page_bytes(page_);
            // A compare looks at the given bytes only: what follows them in
            // the last page is not theirs.
            const std::size_t from = std::size_t{page_} * request_.target.page_size;
            const std::size_t n = request_.what == mode::write
                                      ? want.size()
                                      : std::min(want.size(), request_.bytes.size() - from);
            for (std::size_t i = 0; i < n; ++i) {
                if (reply_[1 + i] == want[i]) {
                    continue;
                }
                const auto at = page_address(page_) + static_cast<std::uint32_t>(i);
                if (request_.what == mode::compare) {
                    outcome_.same = false;
                    outcome_.difference = at;
                    return send_command(phase::leave, {leave_progmode, crc_eop}, 2, now_ms);
                }
                problem_.address = at;
                return fail(error::verify_mismatch,
                            "flash at " + hex_address(at) + " reads back " +
                                hex_bytes({&reply_[1 + i], 1}) + " where " +
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
