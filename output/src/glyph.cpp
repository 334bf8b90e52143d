#include "glyph8/glyph.hpp"

namespace glyph8 {

glyph_bytes pack(glyph g, bit_layout layout) noexcept {
    glyph_bytes bytes{};
    const bool by_row = layout == bit_layout::rows || layout == bit_layout::rows_msb;
    const bool msb_first = layout == bit_layout::columns_msb || layout == bit_layout::rows_msb;
    for (int i = 0; i < glyph_side; ++i) {
        unsigned value = 0;
        for (int j = 0; j < glyph_side; ++j) {
            // Byte i is column i (or row i); pixel j runs down (or across) it.
            const unsigned ink = by_row ? g.ink(j, i) : g.ink(i, j);
            value |= ink << (msb_first ? glyph_side - 1 - j : j);
        }
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
    }
    return bytes;
}

}  // namespace glyph8
