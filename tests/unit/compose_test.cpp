#include "glyph8/compose.hpp"

#include <gtest/gtest.h>

#include <memory>
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

}  // namespace
}  // namespace glyph8::compose
