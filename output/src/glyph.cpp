#include "glyph8/glyph.hpp"

namespace glyph8 {

namespace {

// Bit y * 8 + x to bit x * 8 + y: rows become columns.
constexpr std::uint64_t transpose(std::uint64_t x) noexcept {
    std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    x ^= t ^ (t << 28);
    return x;
}

// Each byte's bits in the other order.
constexpr std::uint64_t reverse_bytes_bits(std::uint64_t x) noexcept {
    x = ((x >> 1) & 0x5555555555555555ull) | ((x & 0x5555555555555555ull) << 1);
    x = ((x >> 2) & 0x3333333333333333ull) | ((x & 0x3333333333333333ull) << 2);
    return ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((x & 0x0F0F0F0F0F0F0F0Full) << 4);
}

}  // namespace

glyph_bytes pack(glyph g, bit_layout layout) noexcept {
    // Byte y of the glyph's bits is row y, left pixel lowest: the rows
    // layout as it stands, the columns layout once transposed.
    const bool by_row = layout == bit_layout::rows || layout == bit_layout::rows_msb;
    const bool msb_first = layout == bit_layout::columns_msb || layout == bit_layout::rows_msb;
    std::uint64_t bits = by_row ? g.bits : transpose(g.bits);
    if (msb_first) {
        bits = reverse_bytes_bits(bits);
    }
    glyph_bytes bytes{};
    for (int i = 0; i < glyph_side; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    return bytes;
}

}  // namespace glyph8
