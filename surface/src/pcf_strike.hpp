// The bitmap strike of a PCF font, read on demand.
//
// FreeType reads every glyph's metrics and the whole code map when it opens
// a PCF face: for the twenty thousand glyphs of the composed face that is
// most of a short run's time. PCF's tables are fixed-size records, so a
// glyph can be found and read straight from the file instead. This reader
// gives exactly what FreeType gives for the same glyph (a test compares
// every glyph of the embedded faces); it takes only uncompressed PCF of an
// ISO 10646 font with a pixel size, and says no to anything else, which is
// then left to FreeType.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace glyph8 {

class pcf_strike {
  public:
    // A glyph as FreeType's PCF driver loads it: one bit per pixel, most
    // significant bit on the left, rows `pitch` bytes apart.
    struct bitmap {
        int left = 0;  // bearing from the pen
        int top = 0;   // rows above the baseline
        int width = 0;
        int rows = 0;
        int pitch = 0;
        int advance = 0;
        std::vector<std::uint8_t> bits;
    };

    static std::optional<pcf_strike> open(std::span<const unsigned char> data);

    int pixel_size() const noexcept { return pixel_size_; }
    int ascent() const noexcept { return ascent_; }

    // FreeType's glyph index of `c`: 0 when the font lacks it, glyph 0
    // being the default character.
    unsigned glyph_index(char32_t c) const noexcept;

    // False when the glyph's bits lie outside the file.
    bool load(unsigned index, bitmap& out) const;

  private:
    struct table {
        std::size_t offset = 0;
        std::size_t size = 0;
        std::uint32_t format = 0;
    };
    struct metric {
        int left, right, advance, ascent, descent;
    };

    std::uint32_t u32(std::size_t at, std::uint32_t format) const noexcept;
    unsigned u16(std::size_t at, std::uint32_t format) const noexcept;
    metric metric_of(std::size_t file_index) const noexcept;
    bool read_properties(const table& t);
    bool read_encodings(const table& t);
    std::size_t default_glyph() const noexcept;

    std::span<const unsigned char> data_;
    table metrics_;
    table bitmaps_;
    table encodings_;
    std::size_t glyphs_ = 0;         // in the file
    std::size_t default_glyph_ = 0;  // file index of glyph 0
    int pixel_size_ = 0;
    int ascent_ = 0;
    unsigned first_col_ = 0, last_col_ = 0, first_row_ = 0, last_row_ = 0;
};

}  // namespace glyph8
