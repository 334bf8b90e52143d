#include "pcf_strike.hpp"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace glyph8 {

namespace {

enum : std::uint32_t {
    pcf_properties = 1u << 0,
    pcf_accelerators = 1u << 1,
    pcf_metrics = 1u << 2,
    pcf_bitmaps = 1u << 3,
    pcf_bdf_encodings = 1u << 5,
    pcf_bdf_accelerators = 1u << 8,
};
constexpr std::uint32_t format_mask = 0xFFFFFF00u;
constexpr std::uint32_t format_default = 0;
constexpr std::uint32_t format_compressed_metrics = 0x100;
constexpr std::uint32_t format_accel_with_ink_bounds = 0x100;

bool msb_first(std::uint32_t format) {
    return (format & 4u) != 0;
}
bool bits_msb_first(std::uint32_t format) {
    return (format & 8u) != 0;
}
int glyph_pad(std::uint32_t format) {
    return 1 << (format & 3u);
}
int scan_unit(std::uint32_t format) {
    return 1 << ((format >> 4) & 3u);
}

}  // namespace

std::uint32_t pcf_strike::u32(std::size_t at, std::uint32_t format) const noexcept {
    const unsigned char* p = data_.data() + at;
    return msb_first(format) ? (std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                                std::uint32_t{p[2]} << 8 | p[3])
                             : (std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 |
                                std::uint32_t{p[1]} << 8 | p[0]);
}

unsigned pcf_strike::u16(std::size_t at, std::uint32_t format) const noexcept {
    const unsigned char* p = data_.data() + at;
    return msb_first(format) ? (unsigned{p[0]} << 8 | p[1]) : (unsigned{p[1]} << 8 | p[0]);
}

std::optional<pcf_strike> pcf_strike::open(std::span<const unsigned char> data) {
    pcf_strike s;
    s.data_ = data;
    if (data.size() < 8 || data[0] != 1 || data[1] != 'f' || data[2] != 'c' || data[3] != 'p') {
        return std::nullopt;
    }
    const std::uint32_t count = s.u32(4, 0);
    if (count > 9 || 8 + 16 * std::size_t{count} > data.size()) {
        return std::nullopt;
    }
    table properties, accelerators, bdf_accelerators;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = 8 + 16 * std::size_t{i};
        table t{s.u32(entry + 12, 0), s.u32(entry + 8, 0), 0};
        if (t.offset > data.size()) {
            return std::nullopt;
        }
        // bdftopcf writes the last table shorter than its entry says.
        t.size = std::min(t.size, data.size() - t.offset);
        if (t.size < 8) {
            return std::nullopt;
        }
        // Each table repeats its format, LSB first, in its first four bytes.
        t.format = s.u32(t.offset, 0);
        switch (s.u32(entry, 0)) {
            case pcf_properties:
                properties = t;
                break;
            case pcf_accelerators:
                accelerators = t;
                break;
            case pcf_metrics:
                s.metrics_ = t;
                break;
            case pcf_bitmaps:
                s.bitmaps_ = t;
                break;
            case pcf_bdf_encodings:
                s.encodings_ = t;
                break;
            case pcf_bdf_accelerators:
                bdf_accelerators = t;
                break;
            default:
                break;
        }
    }
    // The ascent is the accelerators' own; the BDF ones win when present.
    const table& accel = bdf_accelerators.size != 0 ? bdf_accelerators : accelerators;
    if (properties.size == 0 || accel.size < 24 || s.metrics_.size == 0 || s.bitmaps_.size == 0 ||
        s.encodings_.size == 0 || !s.read_properties(properties) ||
        !s.read_encodings(s.encodings_)) {
        return std::nullopt;
    }
    const auto accel_kind = accel.format & format_mask;
    if (accel_kind != format_default && accel_kind != format_accel_with_ink_bounds) {
        return std::nullopt;
    }
    s.ascent_ = static_cast<std::int32_t>(s.u32(accel.offset + 12, accel.format));
    if (std::abs(s.ascent_) > 0x7FFF) {
        return std::nullopt;
    }
    const std::uint32_t mf = s.metrics_.format;
    const bool compressed = (mf & format_mask) == format_compressed_metrics;
    if (!compressed && (mf & format_mask) != format_default) {
        return std::nullopt;
    }
    s.glyphs_ = compressed ? s.u16(s.metrics_.offset + 4, mf) : s.u32(s.metrics_.offset + 4, mf);
    const std::size_t record = compressed ? 5 : 12;
    const std::size_t header = compressed ? 6 : 8;
    const std::uint32_t bf = s.bitmaps_.format;
    if (s.glyphs_ == 0 || s.glyphs_ > 65534 || (s.metrics_.size - header) / record < s.glyphs_ ||
        (bf & format_mask) != format_default || s.u32(s.bitmaps_.offset + 4, bf) != s.glyphs_ ||
        (s.bitmaps_.size - 8) / 4 < s.glyphs_ + 4) {
        return std::nullopt;
    }
    s.default_glyph_ = s.default_glyph();
    return s;
}

bool pcf_strike::read_properties(const table& t) {
    const std::uint32_t f = t.format;
    if ((f & format_mask) != format_default) {
        return false;
    }
    const std::size_t n = u32(t.offset + 4, f);
    const std::size_t entries = t.offset + 8;
    if (n > 256 || (t.size - 8) / 9 < n) {
        return false;
    }
    const std::size_t strings_at = entries + ((n * 9 + 3) & ~std::size_t{3}) + 4;
    if (strings_at > t.offset + t.size) {
        return false;
    }
    const std::size_t strings_size =
        std::min<std::size_t>(u32(strings_at - 4, f), t.offset + t.size - strings_at);
    const std::string_view strings(reinterpret_cast<const char*>(data_.data() + strings_at),
                                   strings_size);
    auto text_at = [&](std::size_t offset) -> std::string_view {
        if (offset >= strings.size()) {
            return {};
        }
        const std::size_t end = strings.find('\0', offset);
        return end == std::string_view::npos ? std::string_view{}
                                             : strings.substr(offset, end - offset);
    };
    std::string_view registry, encoding;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t e = entries + i * 9;
        const std::string_view name = text_at(u32(e, f));
        const bool is_string = data_[e + 4] != 0;
        const std::uint32_t value = u32(e + 5, f);
        if (name == "PIXEL_SIZE" && !is_string) {
            pixel_size_ = std::abs(static_cast<std::int16_t>(value));
        } else if (name == "CHARSET_REGISTRY" && is_string) {
            registry = text_at(value);
        } else if (name == "CHARSET_ENCODING" && is_string) {
            encoding = text_at(value);
        }
    }
    // Exactly what glyph8 embeds; FreeType handles every other spelling.
    return pixel_size_ > 0 && registry == "ISO10646" && encoding == "1";
}

bool pcf_strike::read_encodings(const table& t) {
    const std::uint32_t f = t.format;
    if ((f & format_mask) != format_default) {
        return false;
    }
    first_col_ = u16(t.offset + 4, f);
    last_col_ = u16(t.offset + 6, f);
    first_row_ = u16(t.offset + 8, f);
    last_row_ = u16(t.offset + 10, f);
    if (first_col_ > last_col_ || last_col_ > 0xFF || first_row_ > last_row_ || last_row_ > 0xFF) {
        return false;
    }
    const std::size_t cells = (last_col_ - first_col_ + 1) * (last_row_ - first_row_ + 1);
    return (t.size - 14) / 2 >= cells;
}

// Glyph 0 is a copy of the default character, or of the file's first glyph
// when the default character is out of the code map or has no glyph.
std::size_t pcf_strike::default_glyph() const noexcept {
    const std::uint32_t f = encodings_.format;
    unsigned code = u16(encodings_.offset + 12, f);
    const unsigned row = code >> 8;
    const unsigned col = code & 0xFF;
    if (row < first_row_ || row > last_row_ || col < first_col_ || col > last_col_) {
        code = first_row_ * 256 + first_col_;
    }
    const unsigned cell =
        ((code >> 8) - first_row_) * (last_col_ - first_col_ + 1) + (code & 0xFF) - first_col_;
    const unsigned v = u16(encodings_.offset + 14 + 2 * std::size_t{cell}, f);
    return v == 0xFFFF || v >= glyphs_ ? 0 : v;
}

unsigned pcf_strike::glyph_index(char32_t c) const noexcept {
    if (c > last_row_ * 256 + last_col_ || c < first_row_ * 256 + first_col_) {
        return 0;
    }
    const unsigned row = static_cast<unsigned>(c >> 8);
    const unsigned col = static_cast<unsigned>(c & 0xFF);
    if (col < first_col_ || col > last_col_) {
        return 0;
    }
    const unsigned cell = (row - first_row_) * (last_col_ - first_col_ + 1) + col - first_col_;
    const unsigned v = u16(encodings_.offset + 14 + 2 * std::size_t{cell}, encodings_.format);
    // FreeType counts from 1, glyph 0 standing for the default character.
    return v == 0xFFFF || v + 1 > glyphs_ ? 0 : v + 1;
}

pcf_strike::metric pcf_strike::metric_of(std::size_t i) const noexcept {
    const std::uint32_t f = metrics_.format;
    metric m{};
    if ((f & format_mask) == format_compressed_metrics) {
        const unsigned char* p = data_.data() + metrics_.offset + 6 + 5 * i;
        m = {p[0] - 0x80, p[1] - 0x80, p[2] - 0x80, p[3] - 0x80, p[4] - 0x80};
    } else {
        const std::size_t at = metrics_.offset + 8 + 12 * i;
        auto s16 = [&](std::size_t k) { return static_cast<std::int16_t>(u16(at + 2 * k, f)); };
        m = {s16(0), s16(1), s16(2), s16(3), s16(4)};
    }
    // What FreeType does with metrics that cannot be: an empty glyph.
    if (m.right < m.left || m.ascent < -m.descent) {
        m = {};
    }
    return m;
}

bool pcf_strike::load(unsigned index, bitmap& out) const {
    if (index > glyphs_) {
        return false;
    }
    const std::size_t file_index = index == 0 ? default_glyph_ : index - 1;
    const metric m = metric_of(file_index);
    out.left = m.left;
    out.top = m.ascent;
    out.width = m.right - m.left;
    out.rows = m.ascent + m.descent;
    out.advance = m.advance;
    const std::uint32_t f = bitmaps_.format;
    const int pad_bits = 8 * glyph_pad(f);
    out.pitch = (out.width + pad_bits - 1) / pad_bits * glyph_pad(f);
    const std::size_t bytes =
        static_cast<std::size_t>(out.pitch) * static_cast<std::size_t>(out.rows);
    const std::size_t start = bitmaps_.offset + 8 + 4 * glyphs_ + 16;
    const std::size_t offset = u32(bitmaps_.offset + 8 + 4 * file_index, f);
    const std::size_t bits = start + (offset > bitmaps_.size ? 0 : offset);
    if (bits > data_.size() || bytes > data_.size() - bits) {
        return false;
    }
    out.bits.assign(data_.begin() + static_cast<std::ptrdiff_t>(bits),
                    data_.begin() + static_cast<std::ptrdiff_t>(bits + bytes));
    if (!bits_msb_first(f)) {
        for (auto& b : out.bits) {
            b = static_cast<std::uint8_t>(
                ((b * 0x0802u & 0x22110u) | (b * 0x8020u & 0x88440u)) * 0x10101u >> 16);
        }
    }
    const int unit = scan_unit(f);
    if (msb_first(f) != bits_msb_first(f) && unit > 1) {
        for (std::size_t i = 0; i + static_cast<std::size_t>(unit) <= bytes;
             i += static_cast<std::size_t>(unit)) {
            std::reverse(out.bits.begin() + static_cast<std::ptrdiff_t>(i),
                         out.bits.begin() + static_cast<std::ptrdiff_t>(i) + unit);
        }
    }
    return true;
}

}  // namespace glyph8
