// Arbitrary text as a message on the default face, shown paged and scrolled
// on rows of modules and on both sizes of panel: paging may leave out only
// the blank spaces where lines wrap, and its lines must fit the display and
// follow one another over the columns shown, which the sketch's tables hold
// in full.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "glyph8/default_face.hpp"
#include "glyph8/matrix.hpp"
#include "glyph8/message.hpp"
#include "glyph8/utf8.hpp"
#include "message_plan.hpp"

namespace {

std::size_t ink(const std::vector<std::uint8_t>& columns) {
    std::size_t n = 0;
    for (const std::uint8_t b : columns) {
        n += static_cast<std::size_t>(std::popcount(b));
    }
    return n;
}

void check(const glyph8::output::message_strip& strip, const glyph8::output::matrix_settings& m) {
    using namespace glyph8::output;
    const frames f(strip, m);
    const auto& shown = f.shown_columns();
    if (ink(shown) != ink(strip.columns) || shown.size() > strip.columns.size()) {
        __builtin_trap();  // ink lost, or columns made up
    }
    if (m.mode == motion::page) {
        std::size_t next = 0;
        for (const page& p : f.pages()) {
            if (p.first != next || p.width > static_cast<std::size_t>(m.columns())) {
                __builtin_trap();
            }
            next += p.width;
        }
        if (next != shown.size()) {
            __builtin_trap();
        }
    }
    const detail::message_plan plan = detail::plan_message(strip, m);
    if (plan.counts_fit && detail::tables_of(plan, m).message_columns != shown.size()) {
        __builtin_trap();
    }
    std::vector<std::uint8_t> display(static_cast<std::size_t>(m.columns()) *
                                      static_cast<std::size_t>(m.lines()));
    for (const std::size_t n : {std::size_t{0}, f.count() / 2, f.count() - 1}) {
        f.at(n, display);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto face = glyph8::make_default_typeface();
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (glyph8::find_invalid_utf8(text)) {
        return 0;  // the front ends refuse it before drawing
    }
    glyph8::output::message_strip strip;
    std::vector<char32_t> missing;
    if (!glyph8::draw_message(face, text, strip, missing)) {
        return 0;  // wider than any board holds: refused
    }
    using glyph8::output::motion;
    for (const char* name : {"max7219", "ssd1306", "ssd1306x32", "pcd8544"}) {
        for (const int modules : {1, 3}) {
            for (const motion mode : {motion::page, motion::scroll}) {
                glyph8::output::matrix_settings m;
                m.shown_on = glyph8::output::find_display(name);
                m.modules = modules;
                m.mode = mode;
                check(strip, m);
            }
        }
    }
    return 0;
}
