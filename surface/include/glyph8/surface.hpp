// The drawing surface: a small raster that text is drawn on and single
// pixels are read back from.
//
// It offers the properties and methods a picture box has for this job:
// ScaleMode, FontSize, CurrentX and CurrentY to set up, Print to draw text at
// the drawing position, Point to read a pixel, and clear. Every operation but
// Print returns a status. Colours are signed 32-bit values: ink is exactly 0
// (black), the background is white, and a point off the surface reads -1.
// Drawing is monochrome, so no pixel is ever half inked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "glyph8/status.hpp"
#include "glyph8/typeface.hpp"

namespace glyph8 {

class surface {
  public:
    static constexpr std::int32_t ink = 0;
    static constexpr std::int32_t background = 0xFFFFFF;
    static constexpr std::int32_t outside = -1;
    static constexpr std::int16_t pixels_scale = 3;  // the one ScaleMode offered
    static constexpr float largest_font_size = 2160.0f;

    // A blank surface of width x height pixels (both at least 1) drawing with
    // `face` at 8 points.
    surface(int width, int height, std::shared_ptr<typeface> face);

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }

    // Coordinate unit: only pixels (3) is offered; anything else is
    // status::unsupported and leaves the unit as it was.
    status ScaleMode(std::int16_t mode) noexcept;
    std::int16_t ScaleMode() const noexcept { return pixels_scale; }

    // Font size in points, set at 72 pixels per inch (so 8 pt is an 8 px em).
    // Must be finite, positive and at most largest_font_size.
    status FontSize(float points);
    float FontSize() const noexcept { return font_size_; }

    // Drawing position in pixels; must be finite.
    status CurrentX(float x) noexcept;
    status CurrentY(float y) noexcept;
    float CurrentX() const noexcept { return current_x_; }
    float CurrentY() const noexcept { return current_y_; }

    // Draws UTF-8 text with the top-left of its first character cell at the
    // drawing position, advancing by each glyph's advance. Control characters
    // draw nothing; malformed bytes draw as U+FFFD. Work stops at the right
    // edge or after glyph_limit() glyphs, whichever comes first, so its cost
    // is bounded by the surface, not by the text or the font. Afterwards the
    // drawing position is at the start of the next line.
    // May throw std::bad_alloc.
    void Print(std::string_view text);

    // At most this many glyphs per pixel of width are drawn by one Print:
    // room for any run of combining marks, yet a bound for fonts whose
    // glyphs never advance. Only the first glyph_limit() characters that are
    // not control characters can ever reach the surface.
    static constexpr std::size_t glyphs_per_column = 64;
    std::size_t glyph_limit() const noexcept {
        return static_cast<std::size_t>(width_) * glyphs_per_column;
    }

    // Colour of the pixel that contains (x, y); `outside` off the surface.
    // Inline: a capture makes 64 of these calls.
    status Point(float x, float y, std::int32_t& colour) const noexcept {
        // Comparisons with NaN are false, so NaN lands outside with the rest.
        if (!(x >= 0.0f && y >= 0.0f && x < width_f_ && y < height_f_)) {
            colour = outside;
            return status::ok;
        }
        // Non-negative, so truncation is the floor.
        const auto px = static_cast<std::size_t>(x);
        const auto py = static_cast<std::size_t>(y);
        colour = pixels_[py * static_cast<std::size_t>(width_) + px];
        return status::ok;
    }

    // Back to the background colour everywhere; the drawing position returns
    // to the origin.
    status clear() noexcept;

    // The raster, row by row, for whoever shows it.
    std::span<const std::int32_t> pixels() const noexcept { return pixels_; }

    // Distinct characters that the last Print drew as missing-glyph boxes
    // (at most missing_limit of them).
    static constexpr std::size_t missing_limit = 64;
    const std::vector<char32_t>& missing() const noexcept { return missing_; }

  private:
    void blit(const glyph_image& g, int pen_x, int cell_top) noexcept;

    int width_;
    int height_;
    float width_f_;  // the same, for Point's bounds test
    float height_f_;
    std::vector<std::int32_t> pixels_;
    std::shared_ptr<typeface> face_;
    float font_size_ = 0.0f;
    float current_x_ = 0.0f;
    float current_y_ = 0.0f;
    // The box that may hold ink, so that clearing touches only that.
    struct rect {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
        bool empty() const noexcept { return left >= right || top >= bottom; }
    };
    rect dirty_;
    std::vector<char32_t> missing_;
};

}  // namespace glyph8
