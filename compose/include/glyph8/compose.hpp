// Composition: 8x8 glyphs for ideographs that the hand-drawn face lacks,
// built from pieces of the glyphs it has.
//
// A pixel artist draws a new ideograph by reusing parts of ones already
// drawn: the 言 of 話 on the left, the 兌 of 脫 on the right. This module
// does the same by looking. Every character is rendered from an outline
// face at a fine grid aligned with the hand-drawn glyphs. For a target, each
// rectangle of the 8x8 cell gets the hand-drawn glyph whose outline matches
// the target's outline best inside that rectangle; a search over nested cuts
// of the cell then picks the rectangles whose pieces, copied together, match
// the target best. Each character is composed so through several outline
// faces, whose mistakes differ, and the results are blended pixel by pixel.
// Everything here is integer arithmetic in a fixed order, so the same fonts
// always give the same glyphs.
//
// It is used by the generator of the composed face and by its quality
// harness; the program itself only embeds the face they write.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "glyph8/glyph.hpp"
#include "glyph8/output.hpp"

namespace glyph8::compose {

// Glyphs here are glyph8::glyph: row 0 is the top of the em box, the
// first row of the sampling window.
using glyph8::glyph;

// The hand-drawn glyphs of a bitmap face's 8 px strike, placed as the
// drawing surface places them.
struct bitmap_glyph {
    char32_t code = 0;
    unsigned glyph_index = 0;  // characters that share a drawing share this
    glyph bitmap;
};

// Every ideograph of `font_file`'s 8 px strike, in code point order. Throws
// std::runtime_error when the file cannot be read or has no 8 px strike.
std::vector<bitmap_glyph> load_strike(const std::string& font_file);

// Whether `c` is a CJK ideograph the composed face is made for: U+3400..4DBF,
// U+4E00..9FFF and U+F900..FAFF.
constexpr bool is_composable(char32_t c) noexcept {
    return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0xF900 && c <= 0xFAFF);
}

// How outlines are rendered and matched.
// The defaults are the best found by the leave-one-out harness.
struct settings {
    int sub = 4;            // feature subpixels per pixel, on each side
    int blur = 2;           // box blur radius in subpixels, so near misses still match
    int cut_cost = 48;      // added per cut, so pieces are only split when it pays
    int min_piece = 2;      // narrowest piece, in pixels
    int vote = 5;           // donors that vote on each pixel
    int vote_slack = 32;    // how evenly they vote: weights go as 1 / (cost + slack)
    bool shifts = false;    // also offer each donor moved by one pixel
    int window = 2;         // a first guess votes on each pixel over this radius
    int agree = 14;         // cost per pixel where a piece disagrees with that guess
    int ring = 70;          // percent: a piece's donors also vote just outside it
    int feature_shift = 1;  // subpixels: donors are also matched with their outline moved this far
    int shortlist = 16;     // donors kept for each 2x2 pixel square after a first look
};

// Outline renderings of characters, reduced to block features: for each of
// the 64 pixels of the cell, sub * sub grey levels 0..15.
class outline_face {
  public:
    // `sample` are the hand-drawn glyphs the outlines are aligned to: the
    // outline face's ink box is mapped onto theirs on average.
    // `offset_x` and `offset_y` move the outlines by that many subpixels, so
    // that their features fall on a different grid.
    outline_face(const std::string& font_file, int face_index, std::span<const bitmap_glyph> sample,
                 const settings& s, int offset_x = 0, int offset_y = 0);
    ~outline_face();
    outline_face(const outline_face&) = delete;
    outline_face& operator=(const outline_face&) = delete;

    bool has(char32_t c) const;
    std::size_t feature_size() const noexcept;
    // Features of `c` into `out` (feature_size() bytes); false if the face
    // lacks `c` or cannot render it.
    bool features(char32_t c, std::span<std::uint8_t> out) const;
    // The outline at one level per pixel (ink where at least half covered),
    // for comparison with plain rendering.
    glyph threshold(char32_t c) const;

  private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

// One rectangle of a composed glyph and the hand-drawn glyph it came from.
struct piece {
    int left = 0, top = 0, right = 0, bottom = 0;  // pixels, right/bottom exclusive
    std::size_t donor = 0;                         // index into the donors
    int dx = 0, dy = 0;                            // how far the donor was moved
};

// How strongly the voting donors put ink on each pixel: share_scale is all.
constexpr int share_scale = 1024;

struct composition {
    glyph bitmap;  // ink where more than half of share_scale
    int cost = 0;  // the match cost the search minimised
    std::vector<piece> pieces;
    std::array<std::uint16_t, 64> share{};  // by bit index, as in `bitmap`
};

// Several compositions of one character, seen through different outline
// faces, made one: ink where their shares average more than half. Their
// errors differ, so together they err less than any one of them.
glyph blend(std::span<const composition> parts) noexcept;

// The hand-drawn glyphs that an outline face can render, with their features
// in the same order (feature_size() bytes each): what a composer is made of.
struct donor_set {
    std::vector<bitmap_glyph> glyphs;
    std::vector<std::uint8_t> features;
};
donor_set gather_donors(std::span<const bitmap_glyph> strike, const outline_face& face);

class composer {
  public:
    // `donors` and their outline features (feature_size bytes each, in the
    // same order) are the pieces that compositions are made of.
    composer(std::vector<bitmap_glyph> donors, std::vector<std::uint8_t> features,
             std::size_t feature_size, const settings& s);
    ~composer();
    composer(composer&&) noexcept;

    const std::vector<bitmap_glyph>& donors() const noexcept;

    // The composition of the target whose features are given. Donors whose
    // glyph_index is `exclude_glyph` are not used (for leave-one-out tests).
    composition compose(std::span<const std::uint8_t> target, unsigned exclude_glyph = ~0u) const;

    // Its workings, defined in the composer's own sources.
    struct impl;
    struct match;

    // compose() in two steps, so that the views of one character can pool
    // their first guesses before any of them chooses its pieces.
    class draft {
      public:
        draft(draft&&) noexcept;
        ~draft();
        // The first guess: how much each pixel looks like ink, of share_scale.
        std::array<int, 64> guess{};

      private:
        friend class composer;
        explicit draft(std::unique_ptr<match> job);
        std::unique_ptr<match> job_;
    };
    draft start(std::span<const std::uint8_t> target, unsigned exclude_glyph = ~0u) const;
    // The composition whose pieces agree with `guess` (compose() uses the
    // draft's own).
    composition finish(draft& d, const std::array<int, 64>& guess) const;

  private:
    std::unique_ptr<impl> impl_;
};

}  // namespace glyph8::compose

namespace glyph8::compose {

// One character composed through each view that can render it: what the
// face's glyph is made from.
struct seen_glyph {
    char32_t code = 0;
    std::vector<int> views;  // indices into recipe::views
    std::vector<composition> parts;
    std::vector<std::vector<std::uint8_t>> features;  // its outline in each of those views
};

// The views of one character made one by a model learned from the
// hand-drawn glyphs: for each pixel, a logistic model over what the views'
// compositions and outlines say at and around it. Blending by a plain
// majority weighs every view alike everywhere; the hand-drawn glyphs show
// where a view is to be trusted, and that a thin outline stroke near a
// pixel's edge belongs in the neighbouring pixel.
constexpr std::size_t pixel_features = 33;
// Weights are stored as integers: a weight of 1 is pixel_weight_scale.
constexpr double pixel_weight_scale = 65536;

struct pixel_model {
    // For each of the 64 pixels: pixel_features weights, then the bias.
    std::vector<std::int32_t> weights;
    // Ink where the model says more likely than not; integer arithmetic.
    glyph draw(const seen_glyph& g) const;
    // Each pixel's log-odds of ink, times pixel_weight_scale * 1024.
    std::array<std::int64_t, 64> logits(const seen_glyph& g) const;
};

// What the model of each pixel sees, on a scale of 1024, pixel by pixel.
std::vector<std::array<int, pixel_features>> pixel_inputs(const seen_glyph& g);

// The model that best predicts `truth` (one per example) from the examples'
// views, by Newton's method with a ridge penalty; deterministic.
pixel_model train_pixel_model(std::span<const seen_glyph> seen, std::span<const glyph> truth,
                              double ridge);
// The ridge penalty the shipped model is learned with, the best of a 5-fold
// test over the hand-drawn glyphs.
constexpr double pixel_ridge = 1.0;

// One way of seeing the characters: a face that draws the forms the
// hand-drawn glyphs have, to match them, and the forms our users write, to
// compose, in the same design.
struct view {
    std::string file;
    int donor_index = 0;
    int target_index = 0;
    int offset = 0;  // subpixels, right and down: the same outlines on another grid
};

// Where the composed face comes from: Debian's font files and the settings.
struct recipe {
    std::string bitmap_font;  // the hand-drawn face with its 8 px strike
    std::vector<view> views;  // each composes every target; their results are blended
    std::string coverage;  // the outline face after the composed one: its ideographs are composed
    settings tuning;
    // Whether each view's pieces must agree with the first guess of all the
    // views (averaged) rather than with its own: the views' mistakes differ,
    // so their pooled guess is surer.
    bool pool_guesses = true;
    // How the views' compositions become the glyph: by the model when it
    // has weights, else by majority (blend).
    pixel_model model;
    // Glyphs drawn for the face by hand, which replace what is composed.
    std::vector<output::font_glyph> drawn;
};

// The recipe glyph8 ships: Misaki Gothic's strike, seen through Noto Sans
// CJK and Noto Serif CJK (JP forms for matching, TC forms to compose), AR PL
// UMing TW and Droid Sans Fallback, whose coverage sets the face's.
recipe default_recipe();

// Glyphs drawn by hand for the composed face, from a text file: comment
// lines start with '#'; each glyph is a line "U+XXXX" (what follows is
// free: the character and why it is drawn), then 8 rows of 8 '.' or '@'
// (ink), in code point order. Throws std::runtime_error, naming the line.
std::vector<output::font_glyph> read_drawn(const std::string& path);

// Every ideograph that `recipe.coverage` has, the strike lacks and some view
// can render, composed, in code point order. Uses `threads` threads; the
// result does not depend on how many.
std::vector<output::font_glyph> build_face(const recipe& r, unsigned threads);

// leave_one_out before the views are made one.
std::vector<seen_glyph> leave_one_out_views(const recipe& r, unsigned threads);

// The hand-drawn glyph of each of `seen`'s characters, from `strike`.
std::vector<glyph> drawn_by_hand(std::span<const seen_glyph> seen,
                                 std::span<const bitmap_glyph> strike);

// The leave-one-out test of a recipe: every glyph of the strike that some
// view can render, composed with its own drawing withheld from the pieces,
// in strike order.
std::vector<output::font_glyph> leave_one_out(const recipe& r, unsigned threads);

}  // namespace glyph8::compose
