// Bootloaders played in memory, with the faults a real board or port has:
// the Uno's optiboot (STK500 version 1) and the Mega 2560's (version 2).
// The upload tests and the upload fuzz target drive the client against them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace glyph8::testing_support {

// Answers as optiboot does, with faults to order.
struct fake_board {
    std::vector<std::uint8_t> flash = std::vector<std::uint8_t>(0x8000, 0xFF);
    std::array<std::uint8_t, 3> signature{0x1E, 0x95, 0x0F};
    bool silent = false;                    // no bootloader at all
    bool garbage = false;                   // answers 00 to everything
    int answers_left = -1;                  // stops answering after this many commands
    std::uint32_t corrupt = ~0u;            // this byte is stored flipped
    std::vector<std::uint8_t> before_sync;  // a sketch's output before the reset
    int extra_sync_answers = 0;             // answers to syncs that were sent early
    bool doubled = false;                   // says everything twice
    int resets = 0;
    std::vector<std::uint32_t> written;  // the pages written, by address

    std::vector<std::uint8_t> pending;
    std::uint32_t address = 0;

    void reset() { ++resets; }

    std::vector<std::uint8_t> feed(const std::vector<std::uint8_t>& bytes) {
        std::vector<std::uint8_t> out;
        if (silent) {
            return out;
        }
        if (!before_sync.empty()) {
            out = before_sync;
            before_sync.clear();
        }
        pending.insert(pending.end(), bytes.begin(), bytes.end());
        for (;;) {
            if (pending.empty()) {
                return out;
            }
            std::size_t length = 2;
            switch (pending[0]) {
                case 0x55:
                    length = 4;
                    break;
                case 0x64:
                    length = pending.size() >= 3 ? 5u + (pending[1] * 256u + pending[2]) : ~0u;
                    break;
                case 0x74:
                    length = 5;
                    break;
                default:
                    break;
            }
            if (pending.size() < length) {
                return out;
            }
            std::vector<std::uint8_t> command(pending.begin(), pending.begin() + length);
            pending.erase(pending.begin(), pending.begin() + length);
            if (answers_left == 0) {
                continue;
            }
            if (answers_left > 0) {
                --answers_left;
            }
            if (garbage) {
                out.push_back(0x00);
                continue;
            }
            out.push_back(0x14);
            switch (command[0]) {
                case 0x30:
                    for (; extra_sync_answers > 0; --extra_sync_answers) {
                        out.insert(out.end(), {0x14, 0x10, 0x14});
                    }
                    break;
                case 0x75:
                    out.insert(out.end(), signature.begin(), signature.end());
                    break;
                case 0x55:
                    address = (command[1] + command[2] * 256u) * 2;
                    break;
                case 0x64:
                    written.push_back(address);
                    for (std::size_t i = 0; i + 5 < length; ++i) {
                        flash[address + i] = command[4 + i] ^ (address + i == corrupt ? 0x01 : 0);
                    }
                    break;
                case 0x74:
                    for (std::size_t i = 0; i < command[2]; ++i) {
                        out.push_back(flash[address + i]);
                    }
                    break;
                default:
                    break;
            }
            out.push_back(0x10);
            if (doubled) {
                out.insert(out.end(), {0x14, 0x10});
            }
        }
    }
};

// Answers as the Mega 2560's STK500v2 bootloader does.
struct fake_mega {
    std::vector<std::uint8_t> flash = std::vector<std::uint8_t>(0x40000, 0xFF);
    std::array<std::uint8_t, 3> signature{0x1E, 0x98, 0x01};
    std::uint32_t corrupt = ~0u;
    bool bad_checksums = false;
    std::vector<std::uint8_t> pending;
    std::uint32_t address = 0;

    void reset() {}

    std::vector<std::uint8_t> feed(const std::vector<std::uint8_t>& bytes) {
        std::vector<std::uint8_t> out;
        pending.insert(pending.end(), bytes.begin(), bytes.end());
        while (pending.size() >= 5) {
            const std::size_t size = pending[2] * 256u + pending[3];
            if (pending.size() < size + 6) {
                break;
            }
            const std::uint8_t sequence = pending[1];
            std::uint8_t check = 0;
            for (std::size_t i = 0; i < size + 6; ++i) {
                check ^= pending[i];
            }
            const std::vector<std::uint8_t> body(pending.begin() + 5, pending.begin() + 5 + size);
            pending.erase(pending.begin(), pending.begin() + 6 + size);
            if (check != 0) {
                continue;  // the bootloader drops a message that does not add up
            }
            std::vector<std::uint8_t> answer{body[0], 0x00};
            const std::size_t n = body.size() > 2 ? body[1] * 256u + body[2] : 0;
            switch (body[0]) {
                case 0x01:
                    answer.push_back(8);
                    answer.insert(answer.end(), {'A', 'V', 'R', 'I', 'S', 'P', '_', '2'});
                    break;
                case 0x1B:
                    answer.push_back(signature[body[4]]);
                    answer.push_back(0x00);
                    break;
                case 0x06:
                    address =
                        (((body[1] & 0x7Fu) << 24) | (body[2] << 16) | (body[3] << 8) | body[4]) *
                        2;
                    break;
                case 0x13:
                    for (std::size_t i = 0; i < n; ++i) {
                        flash[address + i] = body[10 + i] ^ (address + i == corrupt ? 0x01 : 0);
                    }
                    break;
                case 0x14:
                    answer.insert(answer.end(), flash.begin() + address,
                                  flash.begin() + address + n);
                    answer.push_back(0x00);
                    break;
                default:
                    break;
            }
            std::vector<std::uint8_t> frame{0x1B, sequence,
                                            static_cast<std::uint8_t>(answer.size() >> 8),
                                            static_cast<std::uint8_t>(answer.size()), 0x0E};
            frame.insert(frame.end(), answer.begin(), answer.end());
            std::uint8_t sum = bad_checksums ? 1 : 0;
            for (const auto b : frame) {
                sum ^= b;
            }
            frame.push_back(sum);
            out.insert(out.end(), frame.begin(), frame.end());
        }
        return out;
    }
};

// An image to upload whose bytes differ from their neighbours and from
// erased flash, so that a page out of place or left unwritten shows.
inline std::vector<std::uint8_t> image_of(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    }
    return bytes;
}

}  // namespace glyph8::testing_support
