#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "glyph8/compose.hpp"

namespace glyph8::compose {

namespace {

constexpr int grid = 8;
constexpr int corners = (grid + 1) * (grid + 1);
// A block's cost for an excluded donor: 64 of them still fit 16 bits and
// lose to any real donor.
constexpr std::uint16_t excluded_block = 65535 / 64;

struct rect {
    int left, top, right, bottom;
    int area() const { return (right - left) * (bottom - top); }
};

// Sum of absolute differences between the target's block and each of `n`
// candidates' blocks, `bs` levels each.
void block_costs(const std::uint8_t* t, const std::uint8_t* f, std::size_t n, std::size_t bs,
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

}  // namespace

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
    std::vector<std::uint8_t> blocks;  // [block][candidate][block_size]
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

composer::composer(std::vector<bitmap_glyph> donors, std::vector<std::uint8_t> features,
                   std::size_t feature_size, const settings& s)
    : impl_(std::make_unique<impl>()) {
    if (feature_size % 64 != 0 || features.size() != donors.size() * feature_size ||
        donors.empty()) {
        throw std::invalid_argument("composer: features do not match the donors");
    }
    auto& m = *impl_;
    m.donors = std::move(donors);
    m.feature_size = feature_size;
    m.block_size = feature_size / 64;
    m.s = s;
    if (15 * m.block_size + static_cast<std::size_t>(std::max(s.agree, 0)) >= excluded_block) {
        throw std::invalid_argument("composer: block costs would overflow");
    }
    const std::size_t bs = m.block_size;
    const int sub = static_cast<int>(std::lround(std::sqrt(static_cast<double>(bs))));
    if (sub * sub != static_cast<int>(bs)) {
        throw std::invalid_argument("composer: blocks are not square");
    }
    // Components recur a pixel off where they stood in another character, so
    // each donor is offered where it stands and, if asked, moved by one
    // pixel in each direction (when no ink falls off the cell). Outlines and
    // pixels do not line up exactly either: a stroke a quarter pixel to the
    // left in one outline is drawn in the same column, so each donor is also
    // matched with its outline moved by `feature_shift` subpixels.
    const std::size_t nd = m.donors.size();
    for (std::size_t d = 0; d < nd; ++d) {
        m.candidates.push_back({d, 0, 0, m.donors[d].bitmap});
    }
    const int moves[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (std::size_t d = 0; d < nd; ++d) {
        m.variants.push_back(m.candidates.size());
        for (const auto& move : moves) {
            const int f = s.feature_shift;
            if (f > 0) {
                m.candidates.push_back({d, 0, 0, m.donors[d].bitmap, move[0] * f, move[1] * f});
            }
        }
        for (const auto& move : s.shifts ? std::span(moves) : std::span(moves, 0)) {
            const int dx = move[0];
            const int dy = move[1];
            glyph moved;
            bool lost = false;
            for (int y = 0; y < grid; ++y) {
                for (int x = 0; x < grid; ++x) {
                    if (!m.donors[d].bitmap.ink(x, y)) {
                        continue;
                    }
                    if (x + dx < 0 || x + dx >= grid || y + dy < 0 || y + dy >= grid) {
                        lost = true;
                    } else {
                        moved = moved.with_ink(x + dx, y + dy);
                    }
                }
            }
            if (!lost) {
                m.candidates.push_back({d, dx, dy, moved});
            }
        }
    }
    m.variants.push_back(m.candidates.size());
    const std::size_t nc = m.candidates.size();
    m.blocks.assign(64 * nc * bs, 0);
    const int side = grid * sub;
    for (std::size_t i = 0; i < nc; ++i) {
        const auto& c = m.candidates[i];
        const int tx = c.dx * sub + c.fx;
        const int ty = c.dy * sub + c.fy;
        const std::uint8_t* from = features.data() + c.donor * feature_size;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const int sx = x - tx;
                const int sy = y - ty;
                if (sx < 0 || sx >= side || sy < 0 || sy >= side) {
                    continue;  // moved in from outside: blank
                }
                const auto to_block = static_cast<std::size_t>((y / sub) * grid + x / sub);
                const auto from_block = static_cast<std::size_t>((sy / sub) * grid + sx / sub);
                m.blocks[(to_block * nc + i) * bs +
                         static_cast<std::size_t>((y % sub) * sub + x % sub)] =
                    from[from_block * bs + static_cast<std::size_t>((sy % sub) * sub + sx % sub)];
            }
        }
    }
    const int min = std::clamp(s.min_piece, 1, grid);
    // Intervals of the grid at least `min` wide, plus the whole side.
    for (int l = 0; l < grid; ++l) {
        for (int t = 0; t < grid; ++t) {
            for (int r = l + 1; r <= grid; ++r) {
                for (int b = t + 1; b <= grid; ++b) {
                    const bool w = r - l >= min || (l == 0 && r == grid);
                    const bool h = b - t >= min || (t == 0 && b == grid);
                    if (w && h) {
                        m.rects.push_back({l, t, r, b});
                    }
                }
            }
        }
    }
    std::stable_sort(m.rects.begin(), m.rects.end(),
                     [](const rect& a, const rect& b) { return a.area() < b.area(); });
    m.rect_id.assign(static_cast<std::size_t>(corners * corners), -1);
    for (std::size_t i = 0; i < m.rects.size(); ++i) {
        const rect& r = m.rects[i];
        m.rect_id[static_cast<std::size_t>(
            ((r.left * (grid + 1) + r.top) * (grid + 1) + r.right) * (grid + 1) + r.bottom)] =
            static_cast<int>(i);
    }
}

composer::~composer() = default;
composer::composer(composer&&) noexcept = default;

glyph blend(std::span<const composition> parts) noexcept {
    glyph out;
    for (std::size_t i = 0; i < 64; ++i) {
        long sum = 0;
        for (const auto& p : parts) {
            sum += p.share[i];
        }
        if (2 * sum > long{share_scale} * static_cast<long>(parts.size())) {
            out = out.with_ink(static_cast<int>(i % grid), static_cast<int>(i / grid));
        }
    }
    return out;
}

const std::vector<bitmap_glyph>& composer::donors() const noexcept {
    return impl_->donors;
}

namespace {

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
constexpr long weight_scale = 1024;

long vote_weight(int best, int cost, int slack) {
    return (static_cast<long>(best) + slack) * weight_scale / (static_cast<long>(cost) + slack);
}

}  // namespace

// One composition under way: the phases in the order they run.
struct composer::match {
    const impl& m;
    std::span<const std::uint8_t> target;
    unsigned exclude_glyph;
    std::vector<std::size_t> keep;     // candidates matched in full
    std::vector<std::uint16_t> costs;  // [block][kept candidate]
    rectangle_sums sums;

    std::size_t voters() const {
        return std::min<std::size_t>(static_cast<std::size_t>(std::max(m.s.vote, 1)), keep.size());
    }
    const std::uint8_t* target_block(int block) const {
        return target.data() + static_cast<std::size_t>(block) * m.block_size;
    }
    const std::uint8_t* candidate_block(int block, std::size_t i) const {
        return m.blocks.data() +
               (static_cast<std::size_t>(block) * m.candidates.size() + i) * m.block_size;
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

// A first look at every donor as it stands keeps those that are among the
// best `shortlist` of some 2x2 square; only they and their variants are
// matched in full. Ties go to the lower index, found by counting: costs are
// small integers.
void composer::match::shortlist() {
    const std::size_t nd = m.donors.size();
    const std::size_t bs = m.block_size;
    std::vector<std::uint16_t> first(64 * nd);
    for (int block = 0; block < 64; ++block) {
        block_costs(target_block(block), candidate_block(block, 0), nd, bs,
                    first.data() + static_cast<std::size_t>(block) * nd);
    }
    std::vector<char> kept(nd, 0);
    const auto wanted =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(m.s.shortlist, 1)), nd);
    const std::size_t top = 4 * 15 * bs + 1;  // withheld donors rank here
    std::vector<std::uint16_t> square(nd);
    std::vector<std::size_t> count(top + 1);
    for (int y = 0; y + 1 < grid; ++y) {
        for (int x = 0; x + 1 < grid; ++x) {
            const std::uint16_t* a = first.data() + static_cast<std::size_t>(y * grid + x) * nd;
            const std::uint16_t* b = a + nd;
            const std::uint16_t* c = a + grid * nd;
            const std::uint16_t* e = c + nd;
            std::fill(count.begin(), count.end(), 0);
            for (std::size_t d = 0; d < nd; ++d) {
                square[d] = excluded(d) ? static_cast<std::uint16_t>(top)
                                        : static_cast<std::uint16_t>(a[d] + b[d] + c[d] + e[d]);
                ++count[square[d]];
            }
            std::size_t below = 0;  // donors cheaper than `limit`
            std::size_t limit = 0;
            while (below + count[limit] < wanted) {
                below += count[limit++];
            }
            std::size_t ties = wanted - below;  // taken at `limit` itself
            for (std::size_t d = 0; d < nd; ++d) {
                if (square[d] < limit) {
                    kept[d] = 1;
                } else if (square[d] == limit && ties > 0) {
                    kept[d] = 1;
                    --ties;
                }
            }
        }
    }
    for (std::size_t d = 0; d < nd; ++d) {
        if (kept[d] != 0) {
            keep.push_back(d);
        }
    }
    for (std::size_t d = 0; d < nd; ++d) {
        for (std::size_t i = m.variants[d]; kept[d] != 0 && i < m.variants[d + 1]; ++i) {
            keep.push_back(i);
        }
    }
}

// How far each kept candidate's outline is from the target's in each pixel.
void composer::match::cost_table() {
    const std::size_t n = keep.size();
    costs.assign(64 * n, 0);
    for (int block = 0; block < 64; ++block) {
        std::uint16_t* cost = costs.data() + static_cast<std::size_t>(block) * n;
        for (std::size_t j = 0; j < n; ++j) {
            block_costs(target_block(block), candidate_block(block, keep[j]), 1, m.block_size,
                        cost + j);
        }
    }
    sums = rectangle_sums(n);
}

// Withheld candidates cost the most a block can, which no real candidate
// reaches (the constructor checks), and still fits 64 times in 16 bits.
void composer::match::exclude() {
    const std::size_t n = keep.size();
    for (std::size_t d = 0; d < n; ++d) {
        if (excluded(m.candidates[keep[d]].donor)) {
            for (int block = 0; block < 64; ++block) {
                costs[static_cast<std::size_t>(block) * n + d] = excluded_block;
            }
        }
    }
    sums.build(costs);
}

// A first guess: each pixel as the candidates that match best around it
// would draw it, as a share of share_scale.
std::array<int, 64> composer::match::consensus() const {
    const int w = m.s.window;
    const std::size_t k = voters();
    std::vector<std::pair<int, std::size_t>> ranked(keep.size());
    std::array<int, 64> share{};
    for (int y = 0; y < grid; ++y) {
        for (int x = 0; x < grid; ++x) {
            sums.each(std::max(0, x - w), std::max(0, y - w), std::min(grid, x + w + 1),
                      std::min(grid, y + w + 1), [&](std::size_t d, std::uint16_t cost) {
                          ranked[d] = {cost, d};
                      });
            std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(k),
                              ranked.end());
            long votes = 0, total = 0;
            for (std::size_t j = 0; j < k; ++j) {
                const long wt = vote_weight(ranked[0].first, ranked[j].first, m.s.vote_slack);
                total += wt;
                if (m.candidates[keep[ranked[j].second]].bitmap.ink(x, y)) {
                    votes += wt;
                }
            }
            share[static_cast<std::size_t>(y * grid + x)] =
                static_cast<int>(votes * share_scale / total);
        }
    }
    return share;
}

// Pieces must also agree with the first guess: a candidate pays for each
// pixel where it differs, by how sure the guess is.
void composer::match::agree_with(const std::array<int, 64>& share) {
    const std::size_t n = keep.size();
    for (int block = 0; block < 64; ++block) {
        std::uint16_t* cost = costs.data() + static_cast<std::size_t>(block) * n;
        const int ink = share[static_cast<std::size_t>(block)];
        const int on = m.s.agree * (share_scale - ink) / share_scale;
        const int off = m.s.agree * ink / share_scale;
        for (std::size_t d = 0; d < n; ++d) {
            const bool inked = m.candidates[keep[d]].bitmap.ink(block % grid, block / grid);
            cost[d] = static_cast<std::uint16_t>(cost[d] + (inked ? on : off));
        }
    }
}

// The best single candidate of every rectangle, then the best way to cut it
// in two, smallest rectangles first. split: 0 one piece; x + 1 a cut at
// column x; -(y + 1) a cut at row y.
void composer::match::best_cuts(std::vector<int>& best, std::vector<int>& split) const {
    const std::size_t nr = m.rects.size();
    best.assign(nr, 0);
    split.assign(nr, 0);
    for (std::size_t i = 0; i < nr; ++i) {
        const rect& r = m.rects[i];
        std::uint16_t lowest = std::numeric_limits<std::uint16_t>::max();
        sums.each(r.left, r.top, r.right, r.bottom,
                  [&](std::size_t, std::uint16_t cost) { lowest = std::min(lowest, cost); });
        int value = lowest;
        auto try_cut = [&](int p, int q, int how) {
            if (p < 0 || q < 0) {
                return;
            }
            const int cut = best[static_cast<std::size_t>(p)] + best[static_cast<std::size_t>(q)] +
                            m.s.cut_cost;
            if (cut < value) {
                value = cut;
                split[i] = how;
            }
        };
        for (int x = r.left + 1; x < r.right; ++x) {
            try_cut(m.id(r.left, r.top, x, r.bottom), m.id(x, r.top, r.right, r.bottom), x + 1);
        }
        for (int y = r.top + 1; y < r.bottom; ++y) {
            try_cut(m.id(r.left, r.top, r.right, y), m.id(r.left, y, r.right, r.bottom), -(y + 1));
        }
        best[i] = value;
    }
}

// Each piece's best few candidates vote pixel by pixel, each by how well it
// matches, so that a lone donor's quirks are outvoted. They also vote, less,
// on the pixels just outside the piece, so that a stroke crossing a cut is
// drawn by the donors on both sides.
composition composer::match::vote(const std::vector<int>& split, int cost) const {
    composition out;
    out.cost = cost;
    std::array<long, 64> votes{};   // for ink, weighted, per pixel
    std::array<long, 64> totals{};  // all weights cast on the pixel
    const std::size_t k = voters();
    std::vector<std::pair<int, std::size_t>> ranked(keep.size());
    std::vector<long> weight(k);
    std::vector<rect> todo{{0, 0, grid, grid}};
    while (!todo.empty()) {
        const rect r = todo.back();
        todo.pop_back();
        const int how = split[static_cast<std::size_t>(m.id(r.left, r.top, r.right, r.bottom))];
        if (how != 0) {
            const bool by_column = how > 0;
            const int at = by_column ? how - 1 : -how - 1;
            todo.push_back(by_column ? rect{r.left, r.top, at, r.bottom}
                                     : rect{r.left, r.top, r.right, at});
            todo.push_back(by_column ? rect{at, r.top, r.right, r.bottom}
                                     : rect{r.left, at, r.right, r.bottom});
            continue;
        }
        sums.each(r.left, r.top, r.right, r.bottom, [&](std::size_t d, std::uint16_t c) {
            ranked[d] = {c, d};
        });
        std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(k),
                          ranked.end());
        const auto& chosen = m.candidates[keep[ranked[0].second]];
        out.pieces.push_back(
            {r.left, r.top, r.right, r.bottom, chosen.donor, chosen.dx, chosen.dy});
        long total = 0;
        for (std::size_t j = 0; j < k; ++j) {
            weight[j] = vote_weight(ranked[0].first, ranked[j].first, m.s.vote_slack);
            total += weight[j];
        }
        for (int y = std::max(0, r.top - 1); y < std::min(grid, r.bottom + 1); ++y) {
            for (int x = std::max(0, r.left - 1); x < std::min(grid, r.right + 1); ++x) {
                const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                const long share = inside ? 100 : m.s.ring;
                const auto at = static_cast<std::size_t>(y * grid + x);
                totals[at] += share * total;
                for (std::size_t j = 0; j < k; ++j) {
                    if (m.candidates[keep[ranked[j].second]].bitmap.ink(x, y)) {
                        votes[at] += share * weight[j];
                    }
                }
            }
        }
    }
    for (std::size_t i = 0; i < 64; ++i) {
        // Every pixel is inside some piece, so totals[i] > 0.
        out.share[i] = static_cast<std::uint16_t>(votes[i] * share_scale / totals[i]);
        if (2 * votes[i] > totals[i]) {
            out.bitmap =
                out.bitmap.with_ink(static_cast<int>(i % grid), static_cast<int>(i / grid));
        }
    }
    return out;
}

composition composer::compose(std::span<const std::uint8_t> target, unsigned exclude_glyph) const {
    if (target.size() != impl_->feature_size) {
        throw std::invalid_argument("composer: target features of the wrong size");
    }
    match job{*impl_, target, exclude_glyph, {}, {}, rectangle_sums(0)};
    job.shortlist();
    job.cost_table();
    job.exclude();
    if (impl_->s.window > 0) {
        const std::array<int, 64> share = job.consensus();
        if (impl_->s.agree == 0) {
            // The first guess is the composition.
            composition out;
            for (std::size_t i = 0; i < 64; ++i) {
                out.share[i] = static_cast<std::uint16_t>(share[i]);
                if (share[i] * 2 > share_scale) {
                    out.bitmap =
                        out.bitmap.with_ink(static_cast<int>(i % grid), static_cast<int>(i / grid));
                }
            }
            return out;
        }
        job.agree_with(share);
        job.exclude();
    }
    std::vector<int> best;
    std::vector<int> split;
    job.best_cuts(best, split);
    return job.vote(split, best[static_cast<std::size_t>(impl_->id(0, 0, grid, grid))]);
}

}  // namespace glyph8::compose
