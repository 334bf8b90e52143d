#include "sfnt_check.hpp"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace glyph8 {

namespace {

struct table {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

class reader {
  public:
    explicit reader(std::span<const unsigned char> data) : data_(data) {}
    std::uint64_t size() const { return data_.size(); }
    std::optional<std::uint32_t> u16(std::uint64_t at) const {
        if (at + 2 > data_.size()) {
            return std::nullopt;
        }
        return std::uint32_t{data_[at]} << 8 | data_[at + 1];
    }
    std::optional<std::uint32_t> u32(std::uint64_t at) const {
        const auto hi = u16(at);
        const auto lo = u16(at + 2);
        if (!hi || !lo) {
            return std::nullopt;
        }
        return *hi << 16 | *lo;
    }

  private:
    std::span<const unsigned char> data_;
};

constexpr std::uint32_t tag(std::string_view t) {
    return std::uint32_t(static_cast<unsigned char>(t[0])) << 24 |
           std::uint32_t(static_cast<unsigned char>(t[1])) << 16 |
           std::uint32_t(static_cast<unsigned char>(t[2])) << 8 |
           std::uint32_t(static_cast<unsigned char>(t[3]));
}

std::string tag_name(std::uint32_t t) {
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((t >> shift) & 0xFF);
        name += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return name;
}

// Glyph locations must rise through the glyf table and stay inside it.
std::string check_locations(const reader& r, const table& head, const table& maxp,
                            const table& loca, const table& glyf) {
    const auto format = r.u16(head.offset + 50);
    const auto glyphs = r.u16(maxp.offset + 4);
    if (head.length < 54 || maxp.length < 6 || !format || !glyphs || *format > 1) {
        return "the head or maxp table is malformed";
    }
    const std::uint64_t entry = *format == 0 ? 2 : 4;
    const std::uint64_t count = std::uint64_t{*glyphs} + 1;
    if (loca.length < count * entry) {
        return "the loca table is too short for " + std::to_string(*glyphs) + " glyphs";
    }
    std::uint64_t previous = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = loca.offset + i * entry;
        const std::uint64_t value =
            entry == 2 ? std::uint64_t{r.u16(at).value_or(0)} * 2 : r.u32(at).value_or(0);
        if (value < previous) {
            return "the glyph locations in the loca table go backwards at glyph " +
                   std::to_string(i - 1);
        }
        if (value > glyf.length) {
            return "glyph " + std::to_string(i == 0 ? 0 : i - 1) +
                   " lies past the end of the glyf table";
        }
        previous = value;
    }
    return {};
}

std::string check_font(const reader& r, std::uint64_t start) {
    const auto count = r.u16(start + 4);
    if (!count || start + 12 + std::uint64_t{*count} * 16 > r.size()) {
        return "the table directory runs past the end of the file";
    }
    table head, maxp, loca, glyf;
    bool have_head = false, have_maxp = false, have_loca = false, have_glyf = false;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t record = start + 12 + std::uint64_t{i} * 16;
        const std::uint32_t t = *r.u32(record);
        const table found{*r.u32(record + 8), *r.u32(record + 12)};
        if (found.offset + found.length > r.size()) {
            return "the " + tag_name(t) + " table runs past the end of the file";
        }
        if (t == tag("head")) {
            head = found;
            have_head = true;
        } else if (t == tag("maxp")) {
            maxp = found;
            have_maxp = true;
        } else if (t == tag("loca")) {
            loca = found;
            have_loca = true;
        } else if (t == tag("glyf")) {
            glyf = found;
            have_glyf = true;
        }
    }
    if (have_head && have_maxp && have_loca && have_glyf) {
        return check_locations(r, head, maxp, loca, glyf);
    }
    return {};
}

}  // namespace

std::string glyph_location_damage(std::span<const unsigned char> head,
                                  std::span<const unsigned char> maxp,
                                  std::span<const unsigned char> loca, std::uint64_t glyf_length) {
    std::vector<unsigned char> tables(head.begin(), head.end());
    tables.insert(tables.end(), maxp.begin(), maxp.end());
    tables.insert(tables.end(), loca.begin(), loca.end());
    const reader r(tables);
    return check_locations(r, {0, head.size()}, {head.size(), maxp.size()},
                           {head.size() + maxp.size(), loca.size()}, {0, glyf_length});
}

std::string sfnt_damage(std::span<const unsigned char> data) {
    const reader r(data);
    const auto version = r.u32(0);
    if (!version) {
        return {};
    }
    if (*version == tag("ttcf")) {
        // Only the first face of a collection is drawn with, so only it
        // is checked: the others may be damaged, or be many views of one
        // directory, at no cost to us.
        const auto fonts = r.u32(8);
        const auto first = r.u32(12);
        if (!fonts || *fonts == 0 || !first) {
            return "the collection header runs past the end of the file";
        }
        return check_font(r, *first);
    }
    if (*version == 0x00010000 || *version == tag("OTTO") || *version == tag("true")) {
        return check_font(r, 0);
    }
    return {};
}

}  // namespace glyph8
