// Glyph capture: draw a text on a picture box and turn the 8 x 8 sampling
// window into one line of source text.
//
// The sampling window is columns 0..7 and rows 1..8 of the surface (row 0 is
// the leading row of the character cell). Its 64 pixels are read column by
// column, top to bottom, and each column becomes one byte with the top pixel
// in the lowest bit. The declaration reads
//     byte d[]={ 60, 74, 74, 48, 0, 0, 0, 0};
// A failed control operation stops the capture and comes back as one
// capture_error naming the status, the control and the operation; the output
// box is written only once the whole window has been read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "glyph8/controls.hpp"
#include "glyph8/glyph.hpp"
#include "glyph8/surface.hpp"

namespace glyph8 {

enum class control_interface : std::uint8_t { picture_box, text_box };

enum class operation : std::uint8_t {
    set_scale_mode,
    set_font_size,
    clear,
    set_current_x,
    set_current_y,
    read_text,
    print,
    point,
    write_text,
};

struct capture_error {
    status code = status::failed;
    control_interface control = control_interface::picture_box;
    operation op = operation::print;

    // For people: "the picture box could not read a pixel (failed)".
    std::string message() const;
    friend bool operator==(const capture_error&, const capture_error&) = default;
};

// Empty on success.
using capture_result = std::optional<capture_error>;

// The picture box every capture draws on, in pixels: the window's and the
// command line's, so that long texts are cut off at the same place.
inline constexpr int picture_width = 81;
inline constexpr int picture_height = 33;

// A surface the size of that picture box, drawing with `face`.
inline surface capture_surface(std::shared_ptr<typeface> face) {
    return surface(picture_width, picture_height, std::move(face));
}

inline constexpr int window_first_row = 1;
inline constexpr int font_size_points = 8;

// Reads the 64 pixels of the window in column order into `window` (row 1
// of the surface is its row 0); a pixel is ink when it reads exactly 0.
capture_result read_window(picture_box& pic, glyph& window);

// Reads the window and returns its declaration in `text` (untouched on
// failure).
capture_result encode(picture_box& pic, std::string& text);

// Sets the surface up for a capture: pixels, 8 points, cleared, origin.
capture_result prepare(picture_box& pic);

// The whole command: prepare `pic`, draw the text of `input`, read the window
// and replace the text of `output` with the declaration. Never throws. When
// `window_read` is given it receives the window as read, for callers that
// show or re-pack it without querying the pixels again.
capture_result run_capture(picture_box& pic, text_box& input, text_box& output,
                           glyph* window_read = nullptr) noexcept;

// A picture box over a surface of our own (the command line, tests, the
// window's adapter).
class surface_box : public picture_box {
  public:
    explicit surface_box(surface& s) : surface_(s) {}
    status ScaleMode(std::int16_t mode) override { return surface_.ScaleMode(mode); }
    status FontSize(float points) override { return surface_.FontSize(points); }
    status clear() override { return surface_.clear(); }
    status CurrentX(float x) override { return surface_.CurrentX(x); }
    status CurrentY(float y) override { return surface_.CurrentY(y); }
    void Print(std::string_view text) override { surface_.Print(text); }
    status Point(float x, float y, std::int32_t& colour) override {
        return surface_.Point(x, y, colour);
    }

  private:
    surface& surface_;
};

// A text box that is just a string.
class string_box : public text_box {
  public:
    string_box() = default;
    explicit string_box(std::string text) : text_(std::move(text)) {}
    status read_text(std::string& out) override {
        out = text_;
        return status::ok;
    }
    status write_text(std::string_view text) override {
        text_.assign(text);
        return status::ok;
    }
    const std::string& text() const noexcept { return text_; }

  private:
    std::string text_;
};

}  // namespace glyph8
