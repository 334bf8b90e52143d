#include "glyph8/capture.hpp"

#include <new>

#include "glyph8/output.hpp"

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

capture_result read_window(picture_box& pic, glyph& window) {
    glyph read;
    for (int x = 0; x < glyph_side; ++x) {
        for (int y = 0; y < glyph_side; ++y) {
            std::int32_t colour = 0;
            const status s =
                pic.Point(static_cast<float>(x), static_cast<float>(y + window_first_row), colour);
            if (s != status::ok) {
                return pic_error(s, operation::point);
            }
            if (colour == surface::ink) {
                read = read.with_ink(x, y);
            }
        }
    }
    window = read;
    return std::nullopt;
}

capture_result encode(picture_box& pic, std::string& text) {
    glyph window;
    if (auto error = read_window(pic, window)) {
        return error;
    }
    text.assign(output::window_line(window).view());
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
                           glyph* window_read) noexcept {
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
        glyph window;
        if (auto error = read_window(pic, window)) {
            return error;
        }
        const output::line declaration = output::window_line(window);
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
