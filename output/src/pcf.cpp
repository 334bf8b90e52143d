// PCF is X11's compiled bitmap font format: fixed-size records, so that a
// reader can find any glyph's metrics and bits without reading the rest (the
// surface reads the embedded face so). Everything is written least
// significant byte first with the most significant bit on the left, one byte
// per bitmap row.
#include <stdexcept>

#include "glyph8/output.hpp"

namespace glyph8::output {

namespace {

constexpr std::uint32_t table_properties = 1u << 0;
constexpr std::uint32_t table_accelerators = 1u << 1;
constexpr std::uint32_t table_metrics = 1u << 2;
constexpr std::uint32_t table_bitmaps = 1u << 3;
constexpr std::uint32_t table_encodings = 1u << 5;
// Byte order LSB first (bit 2 clear), bit order MSB first (bit 3), rows
// padded to one byte, scan unit one byte.
constexpr std::uint32_t format_plain = 0x08;
constexpr std::uint32_t format_compressed_metrics = 0x100 | format_plain;

constexpr int em = glyph_side;
constexpr int ascent = 7;
constexpr int descent = em - ascent;

struct bytes {
    std::vector<unsigned char> v;
    void u8(unsigned x) { v.push_back(static_cast<unsigned char>(x)); }
    void u16(unsigned x) {
        u8(x & 0xFF);
        u8((x >> 8) & 0xFF);
    }
    void u32(std::uint32_t x) {
        u16(x & 0xFFFF);
        u16(x >> 16);
    }
    void pad4() {
        while (v.size() % 4 != 0) {
            u8(0);
        }
    }
};

// left bearing, right bearing, advance, ascent, descent: the same for all.
void full_metrics(bytes& b) {
    for (int v : {0, em, em, ascent, descent}) {
        b.u16(static_cast<unsigned>(v));
    }
    b.u16(0);  // attributes
}

// Properties: what FreeType and X11 need to size and name the face.
bytes properties(const std::string& family, const std::string& copyright) {
    bytes props;
    {
        struct property {
            std::string name;
            bool is_string;
            std::string text;
            std::int32_t value;
        };
        const std::vector<property> list = {
            {"FOUNDRY", true, "glyph8", 0},        {"FAMILY_NAME", true, family, 0},
            {"WEIGHT_NAME", true, "Medium", 0},    {"SLANT", true, "R", 0},
            {"SETWIDTH_NAME", true, "Normal", 0},  {"PIXEL_SIZE", false, "", em},
            {"POINT_SIZE", false, "", em * 10},    {"RESOLUTION_X", false, "", 72},
            {"RESOLUTION_Y", false, "", 72},       {"SPACING", true, "C", 0},
            {"AVERAGE_WIDTH", false, "", em * 10}, {"CHARSET_REGISTRY", true, "ISO10646", 0},
            {"CHARSET_ENCODING", true, "1", 0},    {"FONT_ASCENT", false, "", ascent},
            {"FONT_DESCENT", false, "", descent},  {"COPYRIGHT", true, copyright, 0},
        };
        std::string strings;
        bytes entries;
        for (const auto& p : list) {
            entries.u32(static_cast<std::uint32_t>(strings.size()));
            strings += p.name;
            strings += '\0';
            entries.u8(p.is_string ? 1 : 0);
            if (p.is_string) {
                entries.u32(static_cast<std::uint32_t>(strings.size()));
                strings += p.text;
                strings += '\0';
            } else {
                entries.u32(static_cast<std::uint32_t>(p.value));
            }
        }
        props.u32(format_plain);
        props.u32(static_cast<std::uint32_t>(list.size()));
        props.v.insert(props.v.end(), entries.v.begin(), entries.v.end());
        if (list.size() % 4 != 0) {
            for (std::size_t i = 0; i < 4 - list.size() % 4; ++i) {
                props.u8(0);
            }
        }
        props.u32(static_cast<std::uint32_t>(strings.size()));
        props.v.insert(props.v.end(), strings.begin(), strings.end());
    }
    return props;
}

bytes accelerators() {
    bytes accel;
    accel.u32(format_plain);
    for (unsigned flag : {1u, 1u, 1u, 1u, 1u, 0u, 0u, 0u}) {
        // no overlap, constant metrics, terminal font, constant width, ink
        // inside, no ink metrics, left to right, padding
        accel.u8(flag);
    }
    accel.u32(ascent);
    accel.u32(descent);
    accel.u32(0);  // max overlap
    full_metrics(accel);
    full_metrics(accel);
    return accel;
}

bytes metrics_of(std::size_t count) {
    bytes metrics;
    metrics.u32(format_compressed_metrics);
    metrics.u16(static_cast<unsigned>(count));
    for (std::size_t i = 0; i < count; ++i) {
        for (int v : {0, em, em, ascent, descent}) {
            metrics.u8(static_cast<unsigned>(v + 0x80));
        }
    }
    return metrics;
}

bytes bitmaps_of(std::span<const font_glyph> glyphs) {
    bytes bitmaps;
    bitmaps.u32(format_plain);
    bitmaps.u32(static_cast<std::uint32_t>(glyphs.size()));
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        bitmaps.u32(static_cast<std::uint32_t>(i * em));
    }
    // Sizes of the bitmap data for rows padded to 1, 2, 4 and 8 bytes.
    for (std::uint32_t pad : {1u, 2u, 4u, 8u}) {
        bitmaps.u32(static_cast<std::uint32_t>(glyphs.size() * em * pad));
    }
    for (const auto& g : glyphs) {
        for (int y = 0; y < em; ++y) {
            unsigned row = 0;
            for (int x = 0; x < em; ++x) {
                if (g.bitmap.ink(x, y)) {
                    row |= 0x80u >> x;
                }
            }
            bitmaps.u8(row);
        }
    }
    return bitmaps;
}

// Code map: rows (high byte) and columns (low byte) that the glyphs span.
bytes encodings_of(std::span<const font_glyph> glyphs) {
    bytes encodings;
    {
        const unsigned first_row = glyphs.front().code >> 8;
        const unsigned last_row = glyphs.back().code >> 8;
        encodings.u32(format_plain);
        encodings.u16(0x00);  // first column
        encodings.u16(0xFF);  // last column
        encodings.u16(first_row);
        encodings.u16(last_row);
        encodings.u16(glyphs.front().code);  // default character
        std::size_t next = 0;
        for (unsigned code = first_row << 8; code <= (last_row << 8 | 0xFF); ++code) {
            if (next < glyphs.size() && glyphs[next].code == code) {
                encodings.u16(static_cast<unsigned>(next++));
            } else {
                encodings.u16(0xFFFF);
            }
        }
    }
    return encodings;
}

}  // namespace

std::vector<unsigned char> write_pcf(std::span<const font_glyph> glyphs, const std::string& family,
                                     const std::string& copyright) {
    if (glyphs.empty() || glyphs.size() > 0xFFFF) {
        throw std::invalid_argument("write_pcf: between 1 and 65535 glyphs");
    }
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        if (glyphs[i].code > 0xFFFF || (i > 0 && glyphs[i].code <= glyphs[i - 1].code)) {
            throw std::invalid_argument("write_pcf: code points must rise, within the BMP");
        }
    }
    bytes props = properties(family, copyright);
    bytes accel = accelerators();
    bytes metrics = metrics_of(glyphs.size());
    bytes bitmaps = bitmaps_of(glyphs);
    bytes encodings = encodings_of(glyphs);
    const std::vector<std::pair<std::uint32_t, bytes*>> tables = {{table_properties, &props},
                                                                  {table_accelerators, &accel},
                                                                  {table_metrics, &metrics},
                                                                  {table_bitmaps, &bitmaps},
                                                                  {table_encodings, &encodings}};
    for (auto& t : tables) {
        t.second->pad4();
    }
    bytes out;
    out.u8(1);
    out.u8('f');
    out.u8('c');
    out.u8('p');
    out.u32(static_cast<std::uint32_t>(tables.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(8 + 16 * tables.size());
    std::uint32_t format_of[] = {format_plain, format_plain, format_compressed_metrics,
                                 format_plain, format_plain};
    for (std::size_t i = 0; i < tables.size(); ++i) {
        out.u32(tables[i].first);
        out.u32(format_of[i]);
        out.u32(static_cast<std::uint32_t>(tables[i].second->v.size()));
        out.u32(offset);
        offset += static_cast<std::uint32_t>(tables[i].second->v.size());
    }
    for (auto& t : tables) {
        out.v.insert(out.v.end(), t.second->v.begin(), t.second->v.end());
    }
    return out.v;
}

}  // namespace glyph8::output
