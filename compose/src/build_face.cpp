#include <algorithm>
#include <thread>

#include "glyph8/compose.hpp"

namespace glyph8::compose {

recipe default_recipe() {
    recipe r;
    r.bitmap_font = "/usr/share/fonts/truetype/misaki/misaki_gothic.ttf";
    r.donor_outlines = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
    r.donor_index = 0;  // Noto Sans CJK JP: the forms Misaki draws
    r.target_outlines = r.donor_outlines;
    r.target_index = 3;  // Noto Sans CJK TC: the forms our users write
    r.fallback_outlines = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";
    return r;
}

namespace {

// A composer over the donors that `face` can render.
composer make_composer(const std::vector<bitmap_glyph>& strike, const outline_face& face,
                       const settings& s) {
    donor_set d = gather_donors(strike, face);
    return composer(std::move(d.glyphs), std::move(d.features), face.feature_size(), s);
}

}  // namespace

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

std::vector<written_glyph> build_face(const recipe& r, unsigned threads) {
    const auto strike = load_strike(r.bitmap_font);
    const outline_face donor_face(r.donor_outlines, r.donor_index, strike, r.tuning);
    const outline_face target_face(r.target_outlines, r.target_index, strike, r.tuning);
    const outline_face fallback_face(r.fallback_outlines, 0, strike, r.tuning);
    const composer main = make_composer(strike, donor_face, r.tuning);
    const composer fallback = make_composer(strike, fallback_face, r.tuning);

    // Targets and their features, rendered on this thread: FreeType faces
    // are not shared between threads.
    struct job {
        char32_t code;
        const composer* by;
        std::vector<std::uint8_t> features;
    };
    std::vector<job> jobs;
    std::size_t next = 0;
    for (char32_t c = 0x3400; c <= 0xFAFF; ++c) {
        while (next < strike.size() && strike[next].code < c) {
            ++next;
        }
        if (!is_composable(c) || (next < strike.size() && strike[next].code == c) ||
            !fallback_face.has(c)) {
            continue;
        }
        job j{c, &main, std::vector<std::uint8_t>(target_face.feature_size())};
        if (!target_face.features(c, j.features)) {
            j.by = &fallback;
            if (!fallback_face.features(c, j.features)) {
                continue;  // no outline to match: left to the outline face
            }
        }
        jobs.push_back(std::move(j));
    }
    std::vector<written_glyph> out(jobs.size());
    const unsigned n = std::max(1u, threads);
    auto work = [&](unsigned k) {
        for (std::size_t i = k; i < jobs.size(); i += n) {
            out[i] = {jobs[i].code, jobs[i].by->compose(jobs[i].features).bitmap};
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

}  // namespace glyph8::compose
