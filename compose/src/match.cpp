#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

#include "composer_impl.hpp"

namespace glyph8::compose {

using namespace detail;

// A first look at every donor as it stands keeps those that are among the
// best `shortlist` of some 2x2 square; only they and their variants are
// matched in full. Ties go to the lower index, found by counting: costs are
// small integers.
GLYPH8_COMPOSE_HOT void composer::match::shortlist() {
    const std::size_t nd = m.donors.size();
    const std::size_t bs = m.block_size;
    std::vector<std::uint16_t> first(64 * nd);
    for (int block = 0; block < 64; ++block) {
        block_costs(target_block(block), donor_block(block, 0), nd, bs,
                    first.data() + static_cast<std::size_t>(block) * nd);
    }
    std::vector<char> kept(nd, 0);
    const auto wanted =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(m.s.shortlist, 1)), nd);
    const std::size_t top = 4 * 15 * bs + 1;  // withheld donors rank here
    std::vector<std::uint16_t> square(nd);
    std::vector<std::size_t> withheld;
    for (std::size_t d = 0; d < nd; ++d) {
        if (excluded(d)) {
            withheld.push_back(d);
        }
    }
    std::vector<std::size_t> count(top + 1);
    for (int y = 0; y + 1 < grid; ++y) {
        for (int x = 0; x + 1 < grid; ++x) {
            const std::uint16_t* a = first.data() + static_cast<std::size_t>(y * grid + x) * nd;
            const std::uint16_t* b = a + nd;
            const std::uint16_t* c = a + grid * nd;
            const std::uint16_t* e = c + nd;
            std::fill(count.begin(), count.end(), 0);
            for (std::size_t d = 0; d < nd; ++d) {
                square[d] = static_cast<std::uint16_t>(a[d] + b[d] + c[d] + e[d]);
            }
            for (const std::size_t d : withheld) {
                square[d] = static_cast<std::uint16_t>(top);
            }
            for (std::size_t d = 0; d < nd; ++d) {
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
GLYPH8_COMPOSE_HOT void composer::match::cost_table() {
    const std::size_t n = keep.size();
    costs.assign(64 * n, 0);
    // Candidate by candidate: each one's blocks lie together.
    for (std::size_t j = 0; j < n; ++j) {
        for (int block = 0; block < 64; ++block) {
            block_costs(target_block(block), candidate_block(block, keep[j]), 1, m.block_size,
                        costs.data() + static_cast<std::size_t>(block) * n + j);
        }
    }
    sums = rectangle_sums(n);
}

// Withheld candidates cost the most a block can, which no real candidate
// reaches (the constructor checks), and still fits 64 times in 16 bits.
GLYPH8_COMPOSE_HOT void composer::match::exclude() {
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
GLYPH8_COMPOSE_HOT std::array<int, 64> composer::match::consensus() const {
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
GLYPH8_COMPOSE_HOT void composer::match::agree_with(const std::array<int, 64>& share) {
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
GLYPH8_COMPOSE_HOT void composer::match::best_cuts(std::vector<int>& best,
                                                   std::vector<int>& split) const {
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

composer::draft::draft(std::unique_ptr<match> job) : job_(std::move(job)) {}
composer::draft::draft(draft&&) noexcept = default;
composer::draft::~draft() = default;

composer::draft composer::start(std::span<const std::uint8_t> target,
                                unsigned exclude_glyph) const {
    if (target.size() != impl_->feature_size) {
        throw std::invalid_argument("composer: target features of the wrong size");
    }
    if (impl_->s.window <= 0 || impl_->s.agree == 0) {
        throw std::invalid_argument("composer: drafts need a first guess to agree with");
    }
    draft d(
        std::make_unique<match>(match{*impl_, target, exclude_glyph, {}, {}, rectangle_sums(0)}));
    match& job = *d.job_;
    job.shortlist();
    job.cost_table();
    job.exclude();
    d.guess = job.consensus();
    return d;
}

composition composer::finish(draft& d, const std::array<int, 64>& guess) const {
    match& job = *d.job_;
    job.agree_with(guess);
    job.exclude();
    std::vector<int> best;
    std::vector<int> split;
    job.best_cuts(best, split);
    return job.vote(split, best[static_cast<std::size_t>(impl_->id(0, 0, grid, grid))]);
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
