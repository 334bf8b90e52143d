#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "composer_impl.hpp"

namespace glyph8::compose {

using namespace detail;

namespace {

// Components recur a pixel off where they stood in another character, so
// each donor is offered where it stands and, if asked, moved by one pixel in
// each direction (when no ink falls off the cell). Outlines and pixels do
// not line up exactly either: a stroke a quarter pixel to the left in one
// outline is drawn in the same column, so each donor is also matched with
// its outline moved by `feature_shift` subpixels.
void add_candidates(composer::impl& m) {
    const settings& s = m.s;
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
}

// Each candidate's features, block by block, moved as the candidate is:
// candidate by candidate, as matching in full reads them, and for the
// donors as they stand also block by block, as the first look reads them.
void fill_blocks(composer::impl& m, const std::vector<std::uint8_t>& features, int sub) {
    const std::size_t bs = m.block_size;
    const std::size_t feature_size = m.feature_size;
    const std::size_t nc = m.candidates.size();
    const std::size_t nd = m.donors.size();
    m.candidate_blocks.assign(nc * 64 * bs, 0);
    const int side = grid * sub;
    for (std::size_t i = 0; i < nc; ++i) {
        const auto& c = m.candidates[i];
        const int tx = c.dx * sub + c.fx;
        const int ty = c.dy * sub + c.fy;
        const std::uint8_t* from = features.data() + c.donor * feature_size;
        std::uint8_t* to = m.candidate_blocks.data() + i * 64 * bs;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const int sx = x - tx;
                const int sy = y - ty;
                if (sx < 0 || sx >= side || sy < 0 || sy >= side) {
                    continue;  // moved in from outside: blank
                }
                const auto to_block = static_cast<std::size_t>((y / sub) * grid + x / sub);
                const auto from_block = static_cast<std::size_t>((sy / sub) * grid + sx / sub);
                to[to_block * bs + static_cast<std::size_t>((y % sub) * sub + x % sub)] =
                    from[from_block * bs + static_cast<std::size_t>((sy % sub) * sub + sx % sub)];
            }
        }
    }
    m.donor_blocks.assign(64 * nd * bs, 0);
    for (std::size_t d = 0; d < nd; ++d) {
        for (std::size_t block = 0; block < 64; ++block) {
            std::copy_n(m.candidate_blocks.data() + (d * 64 + block) * bs, bs,
                        m.donor_blocks.data() + (block * nd + d) * bs);
        }
    }
}

// Rectangles of the grid at least `min_piece` wide, plus the whole side,
// smallest first so that pieces come before wholes.
void list_rects(composer::impl& m) {
    const int min = std::clamp(m.s.min_piece, 1, grid);
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

}  // namespace

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
    const int sub = static_cast<int>(std::lround(std::sqrt(static_cast<double>(m.block_size))));
    if (sub * sub != static_cast<int>(m.block_size)) {
        throw std::invalid_argument("composer: blocks are not square");
    }
    add_candidates(m);
    fill_blocks(m, features, sub);
    list_rects(m);
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

}  // namespace glyph8::compose
