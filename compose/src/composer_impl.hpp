// What the composer's two halves share: the candidates and rectangles it is
// built with (composer.cpp) and one composition's phases (match.cpp).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "glyph8/compose.hpp"

// The composer's hot loops are built twice, for AVX2 and for any x86-64,
// and the loader picks one for the machine. Their arithmetic is integer, so
// both give the same glyphs; AVX2 takes about a fifth less time.
#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__)
#define GLYPH8_COMPOSE_HOT __attribute__((target_clones("avx2", "default")))
#else
#define GLYPH8_COMPOSE_HOT
#endif

namespace glyph8::compose::detail {

inline constexpr int grid = glyph_side;
inline constexpr int corners = (grid + 1) * (grid + 1);
// A block's cost for an excluded donor: 64 of them still fit 16 bits and
// lose to any real donor.
inline constexpr std::uint16_t excluded_block = 65535 / 64;

struct rect {
    int left, top, right, bottom;
    int area() const { return (right - left) * (bottom - top); }
};

// Sum of absolute differences between the target's block and each of `n`
// candidates' blocks, `bs` levels each.
// Inline: the cost table calls it for one candidate at a time.
inline void block_costs(const std::uint8_t* t, const std::uint8_t* f, std::size_t n, std::size_t bs,
                        std::uint16_t* out) {
#if defined(__SSE2__)
    if (bs == 16) {
        const __m128i tv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
        for (std::size_t d = 0; d < n; ++d) {
            const __m128i fv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + d * 16));
            const __m128i sad = _mm_sad_epu8(tv, fv);
            out[d] = static_cast<std::uint16_t>(_mm_cvtsi128_si32(sad) + _mm_extract_epi16(sad, 4));
        }
        return;
    }
#endif
    for (std::size_t d = 0; d < n; ++d) {
        unsigned sum = 0;
        for (std::size_t i = 0; i < bs; ++i) {
            sum += static_cast<unsigned>(std::abs(int{t[i]} - int{f[d * bs + i]}));
        }
        out[d] = static_cast<std::uint16_t>(sum);
    }
}

// Candidates' costs summed above and left of every corner of the grid, so
// that the cost of any rectangle takes four lookups.
class rectangle_sums {
  public:
    explicit rectangle_sums(std::size_t n)
        : n_(n), prefix_(static_cast<std::size_t>(corners) * n) {}

    // From costs[block][candidate].
    void build(const std::vector<std::uint16_t>& costs) {
        for (int block = 0; block < 64; ++block) {
            const int x = block % grid;
            const int y = block / grid;
            const std::uint16_t* cost = costs.data() + static_cast<std::size_t>(block) * n_;
            std::uint16_t* out = at(x + 1, y + 1);
            const std::uint16_t* up = at(x + 1, y);
            const std::uint16_t* left = at(x, y + 1);
            const std::uint16_t* diag = at(x, y);
            for (std::size_t d = 0; d < n_; ++d) {
                out[d] = static_cast<std::uint16_t>(cost[d] + up[d] + left[d] - diag[d]);
            }
        }
    }

    // Calls f(candidate, cost) for every candidate over the rectangle.
    template <class F>
    void each(int left, int top, int right, int bottom, F&& f) const {
        const std::uint16_t* a = at(left, top);
        const std::uint16_t* b = at(right, top);
        const std::uint16_t* c = at(left, bottom);
        const std::uint16_t* e = at(right, bottom);
        for (std::size_t d = 0; d < n_; ++d) {
            f(d, static_cast<std::uint16_t>(e[d] - b[d] - c[d] + a[d]));
        }
    }

  private:
    std::uint16_t* at(int x, int y) {
        return prefix_.data() + static_cast<std::size_t>(y * (grid + 1) + x) * n_;
    }
    const std::uint16_t* at(int x, int y) const {
        return prefix_.data() + static_cast<std::size_t>(y * (grid + 1) + x) * n_;
    }

    std::size_t n_;
    std::vector<std::uint16_t> prefix_;
};

// Donors vote by how well they match: the best weighs weight_scale, the
// others less as their cost grows past `slack`.
inline constexpr long weight_scale = 1024;

inline long vote_weight(int best, int cost, int slack) {
    return (static_cast<long>(best) + slack) * weight_scale / (static_cast<long>(cost) + slack);
}

}  // namespace glyph8::compose::detail

namespace glyph8::compose {

using detail::grid;
using detail::rect;

struct composer::impl {
    std::vector<bitmap_glyph> donors;
    // What a piece can be taken from: a donor, possibly moved by a pixel, or
    // matched with its outline moved by a subpixel while its pixels stay.
    struct candidate {
        std::size_t donor;
        int dx, dy;  // pixels, the bitmap and outline together
        glyph bitmap;
        int fx = 0, fy = 0;  // subpixels, the outline alone
    };
    // Donor d as it stands is candidate d; its variants follow all of those,
    // donor by donor, from variants[d] to variants[d + 1].
    std::vector<candidate> candidates;
    std::vector<std::size_t> variants;
    std::vector<std::uint8_t> candidate_blocks;  // [candidate][block][block_size]
    std::vector<std::uint8_t> donor_blocks;      // [block][donor][block_size], as they stand
    std::size_t feature_size = 0;
    std::size_t block_size = 0;
    settings s;
    std::vector<rect> rects;   // smallest first, so that pieces come before wholes
    std::vector<int> rect_id;  // by (left, top, right, bottom), -1 when not a rectangle here

    int id(int l, int t, int r, int b) const {
        return rect_id[static_cast<std::size_t>(
            ((l * (grid + 1) + t) * (grid + 1) + r) * (grid + 1) + b)];
    }
};

// One composition under way: the phases in the order they run.
struct composer::match {
    const impl& m;
    std::span<const std::uint8_t> target;
    unsigned exclude_glyph;
    std::vector<std::size_t> keep;     // candidates matched in full
    std::vector<std::uint16_t> costs;  // [block][kept candidate]
    detail::rectangle_sums sums;

    std::size_t voters() const {
        return std::min<std::size_t>(static_cast<std::size_t>(std::max(m.s.vote, 1)), keep.size());
    }
    const std::uint8_t* target_block(int block) const {
        return target.data() + static_cast<std::size_t>(block) * m.block_size;
    }
    const std::uint8_t* donor_block(int block, std::size_t d) const {
        return m.donor_blocks.data() +
               (static_cast<std::size_t>(block) * m.donors.size() + d) * m.block_size;
    }
    const std::uint8_t* candidate_block(int block, std::size_t i) const {
        return m.candidate_blocks.data() +
               (i * 64 + static_cast<std::size_t>(block)) * m.block_size;
    }
    bool excluded(std::size_t d) const { return m.donors[d].glyph_index == exclude_glyph; }

    void shortlist();
    void cost_table();
    void exclude();
    std::array<int, 64> consensus() const;
    void agree_with(const std::array<int, 64>& share);
    void best_cuts(std::vector<int>& best, std::vector<int>& split) const;
    composition vote(const std::vector<int>& split, int cost) const;
};

}  // namespace glyph8::compose
