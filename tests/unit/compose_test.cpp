#include "glyph8/compose.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "glyph8/capture.hpp"
#include "glyph8/surface.hpp"
#include "glyph8/utf8.hpp"

namespace glyph8::compose {
namespace {

glyph from_rows(std::initializer_list<const char*> rows) {
    glyph c;
    int y = 0;
    for (const char* row : rows) {
        for (int x = 0; row[x] != '\0'; ++x) {
            if (row[x] == '#') {
                c = c.with_ink(x, y);
            }
        }
        ++y;
    }
    return c;
}

// What the surface draws for `c` with only `face`, read back as a cell.
glyph drawn(const std::shared_ptr<typeface>& face, char32_t c, bool& missing) {
    surface pic = capture_surface(face);
    std::string text;
    append_utf8(text, c);
    pic.Print(text);
    missing = !pic.missing().empty();
    glyph out;
    surface_box box(pic);
    EXPECT_FALSE(read_window(box, out).has_value());
    return out;
}

// A face we write must read back through FreeType, through the same chain
// the program draws with, pixel for pixel and in the sampling window.
TEST(ComposedFace, WrittenGlyphsReadBackThroughTheSurface) {
    const std::vector<output::font_glyph> glyphs = {
        {U'\u4E00', from_rows({"#.......", "", "", "", "", "", "", "......##"})},
        {U'\u4F60', from_rows({"", "..####..", "..#..#..", "..####.."})},
        {U'\u9FA5', glyph{~0ull}},
        {U'\uFA2D', 0},  // a blank glyph is a glyph all the same
    };
    const auto bytes =
        std::make_shared<std::vector<unsigned char>>(write_pcf(glyphs, "Test", "none"));
    face_source source{"test", "", std::span<const unsigned char>(*bytes), bytes};
    face_info info;
    ASSERT_EQ(probe_face(source, info), status::ok);
    EXPECT_EQ(info.strike_sizes, std::vector<int>{8});
    const auto face = std::make_shared<typeface>(std::vector{source});
    for (const auto& g : glyphs) {
        bool missing = true;
        EXPECT_EQ(drawn(face, g.code, missing), g.bitmap) << std::hex << unsigned(g.code);
        EXPECT_FALSE(missing);
    }
    bool missing = false;
    drawn(face, U'\u4E01', missing);  // between two glyphs
    EXPECT_TRUE(missing);
}

TEST(Composer, PiecesComeFromTheBestMatchUnlessItIsExcluded) {
    // Three donors whose "outlines" are their own pixels at full level.
    const std::vector<bitmap_glyph> donors = {
        {U'\u4E00', 1, from_rows({"#######", "", "", "", "", "", "#######"})},
        {U'\u4E01', 2, from_rows({"###....", "###....", "###....", "###....", "###...."})},
        {U'\u4E02', 3, from_rows({"#######", "#.....#", "#.....#", "#######"})},
    };
    std::vector<std::uint8_t> features;
    for (const auto& d : donors) {
        for (int block = 0; block < 64; ++block) {
            features.insert(features.end(), 16, d.bitmap.ink(block % 8, block / 8) ? 15 : 0);
        }
    }
    const composer c(donors, features, 1024, settings{});
    const std::span<const std::uint8_t> third(features.data() + 2 * 1024, 1024);
    EXPECT_EQ(c.compose(third).bitmap, donors[2].bitmap);
    // Whichever way the pixels were decided, their shares say the same, so
    // that blending one composition gives it back.
    settings first_guess_only;
    first_guess_only.agree = 0;
    for (const auto& s : {settings{}, first_guess_only}) {
        const composition alone = composer(donors, features, 1024, s).compose(third);
        EXPECT_EQ(blend(std::span(&alone, 1)), alone.bitmap) << "agree " << s.agree;
    }
    const composition without = c.compose(third, 3);
    EXPECT_NE(without.bitmap, donors[2].bitmap);
    for (const auto& p : without.pieces) {
        EXPECT_NE(p.donor, 2u);
    }
}

// Composing in two steps with the draft's own first guess is composing, and
// a guess pooled from other views is the one the pieces are made to agree with.
TEST(Composer, DraftsFinishAsComposedAndAgreeWithTheGuessGiven) {
    const std::vector<bitmap_glyph> donors = {
        {U'\u4E00', 1, from_rows({"#######", "", "", "", "", "", "#######"})},
        {U'\u4E01', 2, from_rows({"###....", "###....", "###....", "###....", "###...."})},
        {U'\u4E02', 3, from_rows({"#######", "#.....#", "#.....#", "#######"})},
    };
    std::vector<std::uint8_t> features;
    for (const auto& d : donors) {
        for (int block = 0; block < 64; ++block) {
            features.insert(features.end(), 16, d.bitmap.ink(block % 8, block / 8) ? 15 : 0);
        }
    }
    const composer c(donors, features, 1024, settings{});
    // Between the first and the third donor: the guess is unsure somewhere.
    std::vector<std::uint8_t> target(1024);
    for (std::size_t i = 0; i < target.size(); ++i) {
        target[i] = static_cast<std::uint8_t>((features[i] + features[2 * 1024 + i] + 1) / 2);
    }
    const composition whole = c.compose(target, 2);
    composer::draft own = c.start(target, 2);
    const composition halves = c.finish(own, own.guess);
    EXPECT_EQ(halves.bitmap, whole.bitmap);
    EXPECT_EQ(halves.share, whole.share);
    EXPECT_EQ(halves.cost, whole.cost);
    // The target is as near the first donor as the third: a guess sure of
    // either one's pixels decides.
    for (const std::size_t sure : {0u, 2u}) {
        std::array<int, 64> guess{};
        for (int i = 0; i < 64; ++i) {
            guess[static_cast<std::size_t>(i)] =
                donors[sure].bitmap.ink(i % 8, i / 8) ? share_scale : 0;
        }
        composer::draft steered = c.start(target, 2);
        EXPECT_EQ(c.finish(steered, guess).bitmap, donors[sure].bitmap) << "sure of " << sure;
    }
}

// Views are blended by their average share of ink on each pixel; half of
// it is not ink, so that views which disagree evenly leave the pixel blank.
TEST(Composer, ViewsAreBlendedByTheirAverageShare) {
    struct row {
        const char* name;
        std::vector<int> shares;  // of share_scale, one view each, on pixel 9
        bool ink;
    };
    const row rows[] = {
        {"no view", {}, false},
        {"one view just over half", {share_scale / 2 + 1}, true},
        {"two views at exactly half on average", {share_scale, 0}, false},
        {"two of three views sure", {share_scale, share_scale, 0}, true},
        {"one sure view outweighed", {share_scale, share_scale / 8, share_scale / 8}, false},
    };
    for (const auto& r : rows) {
        std::vector<composition> parts(r.shares.size());
        for (std::size_t i = 0; i < parts.size(); ++i) {
            parts[i].share[9] = static_cast<std::uint16_t>(r.shares[i]);
        }
        EXPECT_EQ(blend(parts), r.ink ? glyph{}.with_ink(1, 1) : glyph{}) << r.name;
    }
}

// A seen glyph of `views` views whose compositions put `share` on every
// pixel and whose outlines cover pixels by `cover` (0..15 on every subpixel).
seen_glyph uniform_views(int views, const std::array<int, 64>& share,
                         const std::array<int, 64>& cover) {
    seen_glyph g;
    g.code = U'\u4E00';
    for (int v = 0; v < views; ++v) {
        g.views.push_back(v);
        composition c;
        std::vector<std::uint8_t> f(64 * 16);
        for (std::size_t p = 0; p < 64; ++p) {
            c.share[p] = static_cast<std::uint16_t>(share[p]);
            std::fill(f.begin() + static_cast<std::ptrdiff_t>(p * 16),
                      f.begin() + static_cast<std::ptrdiff_t>(p * 16 + 16),
                      static_cast<std::uint8_t>(cover[p]));
        }
        g.parts.push_back(c);
        g.features.push_back(f);
    }
    return g;
}

// The pixel model learns what the hand-drawn glyphs do with the views, not
// what the majority does: here a pixel is ink where the outline covers it,
// whatever the compositions say, and the model must find that and draw
// unseen examples by it.
TEST(PixelModel, LearnsHowTheViewsBecomeTheTrueGlyph) {
    std::uint32_t state = 12345;
    auto next = [&](int n) {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 16) % static_cast<std::uint32_t>(n));
    };
    auto example = [&](glyph& truth) {
        std::array<int, 64> share{}, cover{};
        truth = glyph{};
        for (int p = 0; p < 64; ++p) {
            const bool ink = next(2) == 1;
            cover[static_cast<std::size_t>(p)] = ink ? 9 + next(7) : next(6);
            share[static_cast<std::size_t>(p)] = next(share_scale + 1);  // noise
            if (ink) {
                truth = truth.with_ink(p % 8, p / 8);
            }
        }
        return uniform_views(6, share, cover);
    };
    std::vector<seen_glyph> seen;
    std::vector<glyph> truth(300);
    for (auto& t : truth) {
        seen.push_back(example(t));
    }
    const pixel_model m = train_pixel_model(seen, truth, pixel_ridge);
    ASSERT_EQ(m.weights.size(), 64 * (pixel_features + 1));
    int off = 0, majority_off = 0;
    for (int i = 0; i < 20; ++i) {
        glyph t;
        const seen_glyph g = example(t);
        off += distance(m.draw(g), t);
        majority_off += distance(blend(g.parts), t);
    }
    EXPECT_EQ(off, 0);
    EXPECT_GT(majority_off, 20 * 16);
    // Learning is deterministic: the same examples, the same weights.
    EXPECT_EQ(train_pixel_model(seen, truth, pixel_ridge).weights, m.weights);
}

// A view that cannot render the character counts as what the others say on
// average, so one view alone draws as six that agree with it.
TEST(PixelModel, AMissingViewSaysWhatTheOthersSay) {
    std::array<int, 64> share{}, cover{};
    for (std::size_t p = 0; p < 64; ++p) {
        share[p] = static_cast<int>(p * 16);
        cover[p] = static_cast<int>(p % 16);
    }
    EXPECT_EQ(pixel_inputs(uniform_views(1, share, cover)),
              pixel_inputs(uniform_views(6, share, cover)));
}

TEST(DrawnGlyphs, AreReadOrRefusedWithTheLine) {
    struct row {
        const char* name;
        std::string text;
        const char* problem;  // nullptr: read
    };
    const std::string eight =
        "@......@\n.@....@.\n..@..@..\n...@@...\n...@@...\n..@..@..\n"
        ".@....@.\n@......@\n";
    const std::string one = "U+4E00 一 why\n" + eight;
    const std::string two = one + "# a comment\n\nU+9FA5\n" + eight;
    const row rows[] = {
        {"two glyphs with a comment", two, nullptr},
        {"seven rows at the end", "U+4E00\n" + eight.substr(9), ":8: a glyph of fewer than 8 rows"},
        {"seven rows before the next", "U+4E00\n" + eight.substr(9) + "U+4E01\n" + eight,
         ":9: a glyph of fewer"},
        {"nine rows", one + "........\n", ":10: expected U+XXXX"},
        {"a row of 7", "U+4E00\n.......\n", ":2: expected U+XXXX"},
        {"another mark", "U+4E00\nx.......\n", ":2: expected U+XXXX"},
        {"no code point", "U+\n" + eight, ":1: expected a code point"},
        {"not an ideograph", "U+0041\n" + eight, ":1: not an ideograph"},
        {"out of order", one + "U+4E00\n" + eight, ":10: glyphs out of code point order"},
    };
    for (const auto& r : rows) {
        const std::string path = testing::TempDir() + "drawn.txt";
        std::ofstream(path) << r.text;
        try {
            const auto glyphs = read_drawn(path);
            EXPECT_EQ(r.problem, nullptr) << r.name;
            ASSERT_EQ(glyphs.size(), 2u) << r.name;
            EXPECT_EQ(glyphs[1].code, U'\u9FA5');
            EXPECT_TRUE(glyphs[0].bitmap.ink(0, 0) && glyphs[0].bitmap.ink(7, 7) &&
                        glyphs[0].bitmap.ink(4, 3) && !glyphs[0].bitmap.ink(1, 0))
                << r.name;
            EXPECT_EQ(distance(glyphs[0].bitmap, glyph{}), 16) << r.name;
        } catch (const std::runtime_error& e) {
            ASSERT_NE(r.problem, nullptr) << r.name << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(r.problem), std::string::npos)
                << r.name << ": " << e.what();
        }
    }
}

// The glyphs drawn for the face are each for a character it composes.
TEST(DrawnGlyphs, TheShippedOnesAreForComposedCharacters) {
    for (const auto& g : default_recipe().drawn) {
        EXPECT_TRUE(is_composable(g.code)) << std::hex << unsigned(g.code);
        EXPECT_NE(g.bitmap, glyph{}) << std::hex << unsigned(g.code);
    }
}

}  // namespace
}  // namespace glyph8::compose
