#include "glyph8/intel_hex.hpp"

#include <algorithm>
#include <utility>

namespace glyph8::output {

namespace {

constexpr std::size_t bytes_per_record = 16;
constexpr std::uint8_t data_record = 0x00;
constexpr std::uint8_t eof_record = 0x01;
constexpr std::uint8_t segment_record = 0x02;
constexpr std::uint8_t linear_record = 0x04;
// Start addresses say where a CPU begins; flash does not care.
constexpr std::uint8_t start_segment_record = 0x03;
constexpr std::uint8_t start_linear_record = 0x05;

void record(std::string& out, std::uint16_t offset, std::uint8_t type,
            std::span<const std::uint8_t> data) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::uint8_t sum = 0;
    out += ':';
    const auto put = [&](std::uint8_t b) {
        sum = static_cast<std::uint8_t>(sum + b);
        out += digits[b >> 4];
        out += digits[b & 15];
    };
    put(static_cast<std::uint8_t>(data.size()));
    put(static_cast<std::uint8_t>(offset >> 8));
    put(static_cast<std::uint8_t>(offset & 0xFF));
    put(type);
    for (const auto b : data) {
        put(b);
    }
    put(static_cast<std::uint8_t>(-sum));
    out += '\n';
}

int nibble(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

void write_intel_hex(std::string& out, std::uint32_t address, std::span<const std::uint8_t> bytes,
                     hex_addressing addressing) {
    // The base the records' 16-bit offsets are added to; 0 until a record
    // says otherwise.
    std::uint32_t base = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint32_t at = address + static_cast<std::uint32_t>(i);
        std::uint32_t wanted = at & 0xFFFF0000u;
        if (addressing == hex_addressing::segment) {
            // A segment reaches 64 KiB from a multiple of 16: a new one starts
            // at the record itself when the next record would not fit.
            const std::size_t n = std::min(bytes_per_record, bytes.size() - i);
            wanted = (at < base || at - base + n > 0x10000u) ? (at & ~0xFu) : base;
        }
        const std::uint64_t reach = std::uint64_t{wanted} + 0x10000u;
        if (wanted != base) {
            base = wanted;
            if (addressing == hex_addressing::linear) {
                const std::uint8_t upper[] = {static_cast<std::uint8_t>(base >> 24),
                                              static_cast<std::uint8_t>(base >> 16)};
                record(out, 0, linear_record, upper);
            } else {
                const std::uint32_t segment = base >> 4;
                const std::uint8_t upper[] = {static_cast<std::uint8_t>(segment >> 8),
                                              static_cast<std::uint8_t>(segment & 0xFF)};
                record(out, 0, segment_record, upper);
            }
        }
        // A record stays within its base's 64 KiB.
        const std::size_t n = std::min<std::size_t>(
            {bytes_per_record, bytes.size() - i, static_cast<std::size_t>(reach - at)});
        record(out, static_cast<std::uint16_t>(at - base), data_record, bytes.subspan(i, n));
        i += n;
    }
    record(out, 0, eof_record, {});
}

bool read_intel_hex(std::string_view text, flash_image& image, std::string& why) {
    // Each data byte and where it goes, in the order read: a later record
    // that writes the same address wins, as it would in flash.
    std::vector<std::pair<std::uint32_t, std::uint8_t>> bytes;
    std::uint32_t base = 0;
    std::size_t line_number = 0;
    bool ended = false;
    while (!text.empty() && !ended) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++line_number;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        const auto bad = [&](const char* reason) {
            why = "line " + std::to_string(line_number) + ": " + reason;
            return false;
        };
        if (line.front() != ':' || line.size() < 11 || line.size() % 2 == 0) {
            return bad("not an Intel HEX record");
        }
        std::vector<std::uint8_t> record_bytes;
        std::uint8_t sum = 0;
        for (std::size_t i = 1; i < line.size(); i += 2) {
            const int hi = nibble(line[i]);
            const int lo = nibble(line[i + 1]);
            if (hi < 0 || lo < 0) {
                return bad("not a hexadecimal digit");
            }
            record_bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
            sum = static_cast<std::uint8_t>(sum + record_bytes.back());
        }
        if (record_bytes[0] + 5u != record_bytes.size()) {
            return bad("the length does not match the record");
        }
        if (sum != 0) {
            return bad("wrong checksum");
        }
        const std::uint32_t offset = record_bytes[1] * 256u + record_bytes[2];
        const std::span<const std::uint8_t> data(record_bytes.data() + 4, record_bytes[0]);
        switch (record_bytes[3]) {
            case data_record:
                for (std::size_t i = 0; i < data.size(); ++i) {
                    bytes.emplace_back(base + ((offset + i) & 0xFFFF), data[i]);
                }
                break;
            case eof_record:
                ended = true;
                break;
            case segment_record:
            case linear_record:
                if (data.size() != 2) {
                    return bad("an address record of the wrong length");
                }
                base = (data[0] * 256u + data[1]) << (record_bytes[3] == linear_record ? 16 : 4);
                break;
            case start_segment_record:
            case start_linear_record:
                break;
            default:
                return bad("an unknown record type");
        }
    }
    if (!ended) {
        why = "no end-of-file record";
        return false;
    }
    image = {};
    if (bytes.empty()) {
        return true;
    }
    const auto [low, high] = std::minmax_element(
        bytes.begin(), bytes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    if (high->first - low->first >= most_hex_span) {
        why = "its bytes span more than " + std::to_string(most_hex_span >> 20) +
              " MiB, more than any board's flash";
        return false;
    }
    image.address = low->first;
    image.bytes.assign(high->first - image.address + 1, 0xFF);
    for (const auto& [at, b] : bytes) {
        image.bytes[at - image.address] = b;
    }
    return true;
}

}  // namespace glyph8::output
