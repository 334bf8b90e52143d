#include "glyph8/surface.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "glyph8/utf8.hpp"

namespace glyph8 {

namespace {

// Pen positions are kept well inside int so that adding advances and glyph
// offsets can never overflow; anything this far out is off the surface.
constexpr double position_limit = 1 << 28;

int to_pixel(float v) noexcept {
    const double clamped = std::clamp(static_cast<double>(v), -position_limit, position_limit);
    return static_cast<int>(std::floor(clamped + 0.5));
}

}  // namespace

std::string_view describe(status s) noexcept {
    switch (s) {
        case status::ok:
            return "success";
        case status::invalid_value:
            return "invalid value";
        case status::unsupported:
            return "not supported";
        case status::out_of_memory:
            return "out of memory";
        case status::failed:
            return "failed";
    }
    return "unknown status";
}

surface::surface(int width, int height, std::shared_ptr<typeface> face)
    : width_(width),
      height_(height),
      width_f_(static_cast<float>(width)),
      height_f_(static_cast<float>(height)),
      face_(std::move(face)) {
    if (width < 1 || height < 1 || face_ == nullptr) {
        throw std::invalid_argument("surface needs a positive size and a typeface");
    }
    pixels_.assign(static_cast<std::size_t>(width) * height, background);
    if (FontSize(8.0f) != status::ok) {
        throw std::invalid_argument("typeface cannot be set to 8 points");
    }
}

status surface::ScaleMode(std::int16_t mode) noexcept {
    return mode == pixels_scale ? status::ok : status::unsupported;
}

status surface::FontSize(float points) {
    if (!std::isfinite(points) || points <= 0.0f || points > largest_font_size) {
        return status::invalid_value;
    }
    const status s = face_->set_size(points);
    if (s == status::ok) {
        font_size_ = points;
    }
    return s;
}

status surface::CurrentX(float x) noexcept {
    if (!std::isfinite(x)) {
        return status::invalid_value;
    }
    current_x_ = x;
    return status::ok;
}

status surface::CurrentY(float y) noexcept {
    if (!std::isfinite(y)) {
        return status::invalid_value;
    }
    current_y_ = y;
    return status::ok;
}

void surface::Print(std::string_view text) {
    missing_.clear();
    const int cell_top = to_pixel(current_y_);
    const int cell_height = face_->cell_height();
    int pen_x = to_pixel(current_x_);
    current_x_ = 0.0f;
    current_y_ = static_cast<float>(cell_top + cell_height);
    // A line wholly above or below the surface can leave no ink.
    if (cell_top >= height_ || cell_top + cell_height <= 0) {
        return;
    }
    // A pen that stops advancing (marks, or a font whose glyphs do not move
    // it) could draw a long text forever at the same spot, so drawing also
    // stops after glyph_limit() glyphs.
    std::size_t drawn = 0;
    const std::size_t limit = glyph_limit();
    std::size_t pos = 0;
    while (pos < text.size() && pen_x < width_ && drawn < limit) {
        const char32_t c = decode_utf8(text, pos);
        if (is_control_character(c)) {
            continue;
        }
        const glyph_image& g = face_->glyph(c);
        if (g.missing && missing_.size() < missing_limit &&
            std::find(missing_.begin(), missing_.end(), c) == missing_.end()) {
            missing_.push_back(c);
        }
        blit(g, pen_x, cell_top);
        ++drawn;
        pen_x += g.advance;
    }
}

void surface::blit(const glyph_image& g, int pen_x, int cell_top) noexcept {
    const int x0 = pen_x + g.left;
    const int y0 = cell_top + g.top;
    const int first_row = std::max(0, -y0);
    const int last_row = std::min(g.rows, height_ - y0);
    const int first_col = std::max(0, -x0);
    const int last_col = std::min(g.width, width_ - x0);
    if (first_row >= last_row || first_col >= last_col) {
        return;
    }
    for (int r = first_row; r < last_row; ++r) {
        const std::uint8_t* src = g.ink.data() + static_cast<std::size_t>(r) * g.width;
        std::int32_t* dst = pixels_.data() + static_cast<std::size_t>(y0 + r) * width_ + x0;
        for (int c = first_col; c < last_col; ++c) {
            if (src[c] != 0) {
                dst[c] = ink;
            }
        }
    }
    const rect inked{x0 + first_col, y0 + first_row, x0 + last_col, y0 + last_row};
    if (dirty_.empty()) {
        dirty_ = inked;
    } else {
        dirty_ = {std::min(dirty_.left, inked.left), std::min(dirty_.top, inked.top),
                  std::max(dirty_.right, inked.right), std::max(dirty_.bottom, inked.bottom)};
    }
}

status surface::clear() noexcept {
    for (int y = dirty_.top; y < dirty_.bottom; ++y) {
        const auto row = pixels_.begin() + static_cast<std::ptrdiff_t>(y) * width_;
        std::fill(row + dirty_.left, row + dirty_.right, background);
    }
    dirty_ = {};
    current_x_ = 0.0f;
    current_y_ = 0.0f;
    return status::ok;
}

}  // namespace glyph8
