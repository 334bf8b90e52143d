#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "glyph8/compose.hpp"

namespace glyph8::compose {

recipe default_recipe() {
    const std::string noto = "/usr/share/fonts/opentype/noto/";
    recipe r;
    r.bitmap_font = "/usr/share/fonts/truetype/misaki/misaki_gothic.ttf";
    // In each Noto collection face 0 is JP, the forms Misaki draws, and face
    // 3 is TC, the forms our users write. Faces of other designs err in other
    // places, so they are worth more to the blend than further weights of
    // one design: AR PL UMing TW (face 2, Taiwan's forms) and Droid Sans
    // Fallback, one face for both.
    r.views.push_back({noto + "NotoSansCJK-Regular.ttc", 0, 3, 0});
    r.views.push_back({noto + "NotoSerifCJK-Bold.ttc", 0, 3, 0});
    r.views.push_back({"/usr/share/fonts/truetype/arphic/uming.ttc", 2, 2, 0});
    r.views.push_back({"/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf", 0, 0, 0});
    for (const char* file : {"NotoSansCJK-Regular.ttc", "NotoSerifCJK-Regular.ttc"}) {
        r.views.push_back({noto + file, 0, 3, 2});
    }
    r.coverage = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";
    // Learned from the hand-drawn glyphs by glyph8-learn, which a test runs
    // again to see that it writes the same table.
    r.model.weights = {
#include "pixel_model.inc"
    };
    r.drawn = read_drawn(GLYPH8_COMPOSE_DRAWN);
    return r;
}

namespace {

// A composer over the donors that `face` can render.
composer make_composer(const std::vector<bitmap_glyph>& strike, const outline_face& face,
                       const settings& s) {
    donor_set d = gather_donors(strike, face);
    return composer(std::move(d.glyphs), std::move(d.features), face.feature_size(), s);
}

// One character to compose: its features as each view sees it.
struct job {
    char32_t code = 0;
    unsigned exclude = ~0u;
    std::vector<int> views;
    std::vector<const composer*> by;
    std::vector<std::vector<std::uint8_t>> features;
};

// Composes every job through each of its views on `threads` threads. The
// result does not depend on the number of threads.
std::vector<seen_glyph> run(std::vector<job>& jobs, bool pooled, unsigned threads) {
    std::vector<seen_glyph> out(jobs.size());
    const unsigned n = std::max(1u, threads);
    auto work = [&](unsigned k) {
        for (std::size_t i = k; i < jobs.size(); i += n) {
            seen_glyph& g = out[i];
            g.code = jobs[i].code;
            g.views = jobs[i].views;
            const std::size_t nv = jobs[i].by.size();
            if (pooled) {
                std::vector<composer::draft> drafts;
                std::array<int, 64> guess{};
                for (std::size_t v = 0; v < nv; ++v) {
                    drafts.push_back(jobs[i].by[v]->start(jobs[i].features[v], jobs[i].exclude));
                    for (std::size_t p = 0; p < 64; ++p) {
                        guess[p] += drafts.back().guess[p];
                    }
                }
                for (int& share : guess) {
                    share /= static_cast<int>(nv);
                }
                for (std::size_t v = 0; v < nv; ++v) {
                    g.parts.push_back(jobs[i].by[v]->finish(drafts[v], guess));
                }
            } else {
                for (std::size_t v = 0; v < nv; ++v) {
                    g.parts.push_back(jobs[i].by[v]->compose(jobs[i].features[v], jobs[i].exclude));
                }
            }
            g.features = std::move(jobs[i].features);
        }
    };
    std::vector<std::thread> pool;
    for (unsigned k = 1; k < n; ++k) {
        pool.emplace_back(work, k);
    }
    work(0);
    for (auto& t : pool) {
        t.join();
    }
    return out;
}

struct prepared_view {
    std::unique_ptr<outline_face> donor_face;
    std::unique_ptr<outline_face> target_face;
    std::unique_ptr<composer> by;
};

std::vector<prepared_view> prepare(const recipe& r, const std::vector<bitmap_glyph>& strike,
                                   bool targets) {
    std::vector<prepared_view> views;
    for (const auto& v : r.views) {
        prepared_view p;
        p.donor_face = std::make_unique<outline_face>(v.file, v.donor_index, strike, r.tuning,
                                                      v.offset, v.offset);
        if (targets) {
            p.target_face = std::make_unique<outline_face>(v.file, v.target_index, strike, r.tuning,
                                                           v.offset, v.offset);
        }
        p.by = std::make_unique<composer>(make_composer(strike, *p.donor_face, r.tuning));
        views.push_back(std::move(p));
    }
    return views;
}

// The views whose `face` can render `code`, with its features in each.
job seen_by(const std::vector<prepared_view>& views, char32_t code,
            std::unique_ptr<outline_face> prepared_view::*face) {
    job j;
    j.code = code;
    for (std::size_t i = 0; i < views.size(); ++i) {
        const auto& v = views[i];
        std::vector<std::uint8_t> f((v.*face)->feature_size());
        if ((v.*face)->features(code, f)) {
            j.views.push_back(static_cast<int>(i));
            j.by.push_back(v.by.get());
            j.features.push_back(std::move(f));
        }
    }
    return j;
}

std::vector<output::font_glyph> blended(const std::vector<seen_glyph>& seen, const pixel_model& m) {
    std::vector<output::font_glyph> out;
    for (const auto& g : seen) {
        out.push_back({g.code, m.weights.empty() ? blend(g.parts) : m.draw(g)});
    }
    return out;
}

}  // namespace

std::vector<output::font_glyph> read_drawn(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error(path + ": cannot read");
    }
    std::vector<output::font_glyph> out;
    std::string line;
    int row = 8;
    int number = 0;
    auto fail = [&](const char* why) {
        throw std::runtime_error(path + ":" + std::to_string(number) + ": " + why);
    };
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line.starts_with("U+")) {
            if (row != 8) {
                fail("a glyph of fewer than 8 rows");
            }
            unsigned long code = 0;
            try {
                code = std::stoul(line.substr(2), nullptr, 16);
            } catch (const std::logic_error&) {
                fail("expected a code point after U+");
            }
            if (!is_composable(static_cast<char32_t>(code))) {
                fail("not an ideograph the composed face is for");
            }
            if (!out.empty() && out.back().code >= code) {
                fail("glyphs out of code point order");
            }
            out.push_back({static_cast<char32_t>(code), glyph{}});
            row = 0;
            continue;
        }
        if (row >= 8 || line.size() != 8 || line.find_first_not_of(".@") != std::string::npos) {
            fail("expected U+XXXX or a row of 8 '.' and '@'");
        }
        for (int x = 0; x < 8; ++x) {
            if (line[static_cast<std::size_t>(x)] == '@') {
                out.back().bitmap = out.back().bitmap.with_ink(x, row);
            }
        }
        ++row;
    }
    if (row != 8) {
        fail("a glyph of fewer than 8 rows");
    }
    return out;
}

donor_set gather_donors(std::span<const bitmap_glyph> strike, const outline_face& face) {
    donor_set d;
    std::vector<std::uint8_t> f(face.feature_size());
    for (const auto& g : strike) {
        if (face.features(g.code, f)) {
            d.glyphs.push_back(g);
            d.features.insert(d.features.end(), f.begin(), f.end());
        }
    }
    return d;
}

std::vector<output::font_glyph> build_face(const recipe& r, unsigned threads) {
    const auto strike = load_strike(r.bitmap_font);
    const auto views = prepare(r, strike, true);
    // Only its character map is used, to know what the next face covers.
    const outline_face coverage(r.coverage, 0, strike, r.tuning);

    // Targets and their features, rendered on this thread: FreeType faces
    // are not shared between threads.
    std::vector<job> jobs;
    std::size_t next = 0;
    for (char32_t c = 0x3400; c <= 0xFAFF; ++c) {
        while (next < strike.size() && strike[next].code < c) {
            ++next;
        }
        if (!is_composable(c) || (next < strike.size() && strike[next].code == c) ||
            !coverage.has(c)) {
            continue;
        }
        job j = seen_by(views, c, &prepared_view::target_face);
        if (!j.by.empty()) {  // else no outline to match: left to the next face
            jobs.push_back(std::move(j));
        }
    }
    auto out = blended(run(jobs, r.pool_guesses, threads), r.model);
    for (const auto& d : r.drawn) {
        const auto at =
            std::lower_bound(out.begin(), out.end(), d.code,
                             [](const output::font_glyph& g, char32_t c) { return g.code < c; });
        if (at == out.end() || at->code != d.code) {
            throw std::runtime_error("a glyph drawn for a character that is not composed: U+" +
                                     std::to_string(static_cast<unsigned>(d.code)));
        }
        at->bitmap = d.bitmap;
    }
    return out;
}

std::vector<seen_glyph> leave_one_out_views(const recipe& r, unsigned threads) {
    const auto strike = load_strike(r.bitmap_font);
    const auto views = prepare(r, strike, false);
    std::vector<job> jobs;
    for (const auto& g : strike) {
        job j = seen_by(views, g.code, &prepared_view::donor_face);
        j.exclude = g.glyph_index;
        if (!j.by.empty()) {
            jobs.push_back(std::move(j));
        }
    }
    return run(jobs, r.pool_guesses, threads);
}

std::vector<glyph> drawn_by_hand(std::span<const seen_glyph> seen,
                                 std::span<const bitmap_glyph> strike) {
    std::vector<glyph> out;
    for (const auto& g : seen) {
        const auto at =
            std::lower_bound(strike.begin(), strike.end(), g.code,
                             [](const bitmap_glyph& s, char32_t c) { return s.code < c; });
        if (at == strike.end() || at->code != g.code) {
            throw std::invalid_argument("drawn_by_hand: a character the strike lacks");
        }
        out.push_back(at->bitmap);
    }
    return out;
}

std::vector<output::font_glyph> leave_one_out(const recipe& r, unsigned threads) {
    return blended(leave_one_out_views(r, threads), r.model);
}

}  // namespace glyph8::compose
