#include "glyph8/capture.hpp"

#include <charconv>
#include <cstring>
#include <new>

namespace glyph8 {

namespace {

capture_error pic_error(status s, operation op) {
    return {s, control_interface::picture_box, op};
}

std::string_view describe(operation op) {
    switch (op) {
        case operation::set_scale_mode:
            return "could not switch to pixel units";
        case operation::set_font_size:
            return "could not set the font size";
        case operation::clear:
            return "could not be cleared";
        case operation::set_current_x:
            return "could not set the drawing position (x)";
        case operation::set_current_y:
            return "could not set the drawing position (y)";
        case operation::read_text:
            return "could not be read";
        case operation::print:
            return "could not draw the text";
        case operation::point:
            return "could not read a pixel";
        case operation::write_text:
            return "could not be written";
    }
    return "failed";
}

}  // namespace

std::string capture_error::message() const {
    std::string text =
        control == control_interface::picture_box ? "the picture box " : "the text box ";
    text += describe(op);
    text += " (";
    text += describe(code);
    text += ')';
    return text;
}

capture_result read_window(picture_box& pic, sample_window& window) {
    sample_window read;
    for (int x = 0; x < 8; ++x) {
        for (int y = window_first_row; y < window_first_row + 8; ++y) {
            std::int32_t colour = 0;
            const status s = pic.Point(static_cast<float>(x), static_cast<float>(y), colour);
            if (s != status::ok) {
                return pic_error(s, operation::point);
            }
            read.ink[x][y - window_first_row] = colour == surface::ink;
        }
    }
    window = read;
    return std::nullopt;
}

glyph_bytes pack(const sample_window& window, bit_layout layout) noexcept {
    glyph_bytes bytes{};
    const bool by_row = layout == bit_layout::rows || layout == bit_layout::rows_msb;
    const bool msb_first = layout == bit_layout::columns_msb || layout == bit_layout::rows_msb;
    for (int i = 0; i < 8; ++i) {
        unsigned value = 0;
        for (int j = 0; j < 8; ++j) {
            // Byte i is column i (or row i); pixel j runs down (or across) it.
            const unsigned ink = by_row ? window.ink[j][i] : window.ink[i][j];
            value |= ink << (msb_first ? 7 - j : j);
        }
        bytes[i] = static_cast<std::uint8_t>(value);
    }
    return bytes;
}

namespace {

// Room for the longest line, "byte d[]={" and eight " 0xFF," ending "};",
// so that a capture formats its line without touching the heap.
class line_buffer {
  public:
    // Short literals: a fixed-size copy the compiler expands in place.
    template <std::size_t N>
    void append(const char (&literal)[N]) noexcept {
        std::memcpy(data_ + size_, literal, N - 1);
        size_ += N - 1;
    }
    void push_back(char c) noexcept { data_[size_++] = c; }
    void append_decimal(unsigned value) noexcept {
        size_ = static_cast<std::size_t>(
            std::to_chars(data_ + size_, data_ + sizeof data_, value).ptr - data_);
    }
    std::string_view view() const noexcept { return {data_, size_}; }

  private:
    char data_[64];
    std::size_t size_ = 0;
};

void append_values(line_buffer& text, const glyph_bytes& bytes, number_style style) noexcept {
    static constexpr char hex_digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text.push_back(' ');
        if (style == number_style::hex) {
            text.append("0x");
            text.push_back(hex_digits[bytes[i] >> 4]);
            text.push_back(hex_digits[bytes[i] & 0xF]);
        } else {
            text.append_decimal(bytes[i]);
        }
        if (i + 1 < bytes.size()) {
            text.push_back(',');
        }
    }
}

void format_declaration(line_buffer& text, const glyph_bytes& bytes, number_style style) noexcept {
    text.append("byte d[]={");
    append_values(text, bytes, style);
    text.append("};");
}

// Reads the window and formats its declaration into `text`.
capture_result encode(picture_box& pic, sample_window& window, line_buffer& text) {
    if (auto error = read_window(pic, window)) {
        return error;
    }
    format_declaration(text, column_bytes(window), number_style::decimal);
    return std::nullopt;
}

}  // namespace

std::string format_values(const glyph_bytes& bytes, number_style style) {
    line_buffer text;
    append_values(text, bytes, style);
    return std::string(text.view());
}

std::string format_declaration(const glyph_bytes& bytes, number_style style) {
    line_buffer text;
    format_declaration(text, bytes, style);
    return std::string(text.view());
}

capture_result encode(picture_box& pic, std::string& text) {
    sample_window window;
    line_buffer line;
    if (auto error = encode(pic, window, line)) {
        return error;
    }
    text.assign(line.view());
    return std::nullopt;
}

capture_result prepare(picture_box& pic) {
    if (const status s = pic.ScaleMode(surface::pixels_scale); s != status::ok) {
        return pic_error(s, operation::set_scale_mode);
    }
    if (const status s = pic.FontSize(static_cast<float>(font_size_points)); s != status::ok) {
        return pic_error(s, operation::set_font_size);
    }
    // Cleared so that each capture shows the current input alone, not the
    // ink of every earlier one.
    if (const status s = pic.clear(); s != status::ok) {
        return pic_error(s, operation::clear);
    }
    if (const status s = pic.CurrentX(0.0f); s != status::ok) {
        return pic_error(s, operation::set_current_x);
    }
    if (const status s = pic.CurrentY(0.0f); s != status::ok) {
        return pic_error(s, operation::set_current_y);
    }
    return std::nullopt;
}

capture_result run_capture(picture_box& pic, text_box& input, text_box& output,
                           sample_window* window_read) noexcept {
    // Anything thrown below (out of memory, a failure inside Print) ends the
    // capture as an error of the step that was running.
    operation step = operation::set_scale_mode;
    control_interface control = control_interface::picture_box;
    try {
        if (auto error = prepare(pic)) {
            return error;
        }
        step = operation::read_text;
        control = control_interface::text_box;
        std::string text;
        if (const status s = input.read_text(text); s != status::ok) {
            return capture_error{s, control_interface::text_box, operation::read_text};
        }
        step = operation::print;
        control = control_interface::picture_box;
        pic.Print(text);
        step = operation::point;
        sample_window window;
        line_buffer declaration;
        if (auto error = encode(pic, window, declaration)) {
            return error;
        }
        step = operation::write_text;
        control = control_interface::text_box;
        if (const status s = output.write_text(declaration.view()); s != status::ok) {
            return capture_error{s, control_interface::text_box, operation::write_text};
        }
        if (window_read != nullptr) {
            *window_read = window;
        }
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return capture_error{status::out_of_memory, control, step};
    } catch (...) {
        return capture_error{status::failed, control, step};
    }
}

}  // namespace glyph8
