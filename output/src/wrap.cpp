#include "glyph8/wrap.hpp"

#include <algorithm>
#include <iterator>

#include "glyph8/matrix.hpp"

namespace glyph8::output {

namespace {

struct classed {
    char32_t first, last;
    wrap_class is;
};

// Sorted, not overlapping. What is not here is a word character.
constexpr classed classes[] = {
    {0x0020, 0x0020, wrap_class::space},
    {0x0021, 0x0021, wrap_class::closing},  // !
    {0x0028, 0x0028, wrap_class::opening},  // (
    {0x0029, 0x0029, wrap_class::closing},  // )
    {0x002C, 0x002C, wrap_class::closing},  // ,
    {0x002D, 0x002D, wrap_class::hyphen},   // -
    {0x002E, 0x002E, wrap_class::closing},  // .
    {0x0030, 0x0039, wrap_class::number},
    {0x003A, 0x003B, wrap_class::closing},  // : ;
    {0x003F, 0x003F, wrap_class::closing},  // ?
    {0x005B, 0x005B, wrap_class::opening},  // [
    {0x005D, 0x005D, wrap_class::closing},  // ]
    {0x007B, 0x007B, wrap_class::opening},  // {
    {0x007D, 0x007D, wrap_class::closing},  // }
    {0x1680, 0x1680, wrap_class::space},
    {0x2000, 0x2006, wrap_class::space},  // not U+2007, the figure space, which holds
    {0x2008, 0x200A, wrap_class::space},
    {0x2010, 0x2010, wrap_class::hyphen},  // not U+2011, the hyphen that holds
    {0x2012, 0x2013, wrap_class::hyphen},
    {0x2018, 0x2018, wrap_class::opening},       // ‘
    {0x2019, 0x2019, wrap_class::closing},       // ’
    {0x201C, 0x201C, wrap_class::opening},       // “
    {0x201D, 0x201D, wrap_class::closing},       // ”
    {0x2026, 0x2026, wrap_class::wide_closing},  // …
    {0x205F, 0x205F, wrap_class::space},
    {0x2E80, 0x2FFF, wrap_class::ideograph},  // radicals, description characters
    {0x3000, 0x3000, wrap_class::space},
    {0x3001, 0x3002, wrap_class::wide_closing},  // 、。
    {0x3003, 0x3007, wrap_class::ideograph},
    // 〈〉《》「」『』【】, then 〔〕〖〗〘〙〚〛: opening, closing in turn.
    {0x3008, 0x3008, wrap_class::wide_opening},
    {0x3009, 0x3009, wrap_class::wide_closing},
    {0x300A, 0x300A, wrap_class::wide_opening},
    {0x300B, 0x300B, wrap_class::wide_closing},
    {0x300C, 0x300C, wrap_class::wide_opening},
    {0x300D, 0x300D, wrap_class::wide_closing},
    {0x300E, 0x300E, wrap_class::wide_opening},
    {0x300F, 0x300F, wrap_class::wide_closing},
    {0x3010, 0x3010, wrap_class::wide_opening},
    {0x3011, 0x3011, wrap_class::wide_closing},
    {0x3012, 0x3013, wrap_class::ideograph},
    {0x3014, 0x3014, wrap_class::wide_opening},
    {0x3015, 0x3015, wrap_class::wide_closing},
    {0x3016, 0x3016, wrap_class::wide_opening},
    {0x3017, 0x3017, wrap_class::wide_closing},
    {0x3018, 0x3018, wrap_class::wide_opening},
    {0x3019, 0x3019, wrap_class::wide_closing},
    {0x301A, 0x301A, wrap_class::wide_opening},
    {0x301B, 0x301B, wrap_class::wide_closing},
    {0x301C, 0x33FF, wrap_class::ideograph},  // kana, bopomofo, CJK symbols
    {0x3400, 0x4DBF, wrap_class::ideograph},
    {0x4E00, 0x9FFF, wrap_class::ideograph},
    {0xA000, 0xA4CF, wrap_class::ideograph},  // Yi
    {0xAC00, 0xD7AF, wrap_class::ideograph},  // Hangul syllables
    {0xF900, 0xFAFF, wrap_class::ideograph},
    {0xFE30, 0xFE4F, wrap_class::ideograph},     // CJK compatibility forms
    {0xFF01, 0xFF01, wrap_class::wide_closing},  // ！
    {0xFF02, 0xFF07, wrap_class::ideograph},
    {0xFF08, 0xFF08, wrap_class::wide_opening},  // （
    {0xFF09, 0xFF09, wrap_class::wide_closing},  // ）
    {0xFF0A, 0xFF0B, wrap_class::ideograph},
    {0xFF0C, 0xFF0C, wrap_class::wide_closing},  // ，
    {0xFF0D, 0xFF0D, wrap_class::ideograph},
    {0xFF0E, 0xFF0E, wrap_class::wide_closing},  // ．
    {0xFF0F, 0xFF19, wrap_class::ideograph},
    {0xFF1A, 0xFF1B, wrap_class::wide_closing},  // ：；
    {0xFF1C, 0xFF1E, wrap_class::ideograph},
    {0xFF1F, 0xFF1F, wrap_class::wide_closing},  // ？
    {0xFF20, 0xFF3A, wrap_class::ideograph},
    {0xFF3B, 0xFF3B, wrap_class::wide_opening},  // ［
    {0xFF3C, 0xFF3C, wrap_class::ideograph},
    {0xFF3D, 0xFF3D, wrap_class::wide_closing},  // ］
    {0xFF3E, 0xFF5A, wrap_class::ideograph},
    {0xFF5B, 0xFF5B, wrap_class::wide_opening},  // ｛
    {0xFF5C, 0xFF5C, wrap_class::ideograph},
    {0xFF5D, 0xFF5D, wrap_class::wide_closing},  // ｝
    {0xFF5E, 0xFF60, wrap_class::ideograph},
    {0xFF61, 0xFF61, wrap_class::wide_closing},  // ｡ (halfwidth, as 。)
    {0xFF62, 0xFF62, wrap_class::wide_opening},  // ｢
    {0xFF63, 0xFF64, wrap_class::wide_closing},  // ｣ ､
    {0xFF65, 0xFFDC, wrap_class::ideograph},     // halfwidth kana, Hangul
    {0xFFE0, 0xFFE6, wrap_class::ideograph},
    {0x1F200, 0x1F2FF, wrap_class::ideograph},  // enclosed ideographic supplement
    {0x1F300, 0x1FAFF, wrap_class::ideograph},  // pictographs and emoji
    {0x20000, 0x3FFFD, wrap_class::ideograph},
};

// wrap_class_of() looks the table up by halving.
constexpr bool sorted_and_apart() {
    for (std::size_t i = 0; i < std::size(classes); ++i) {
        if (classes[i].first > classes[i].last ||
            (i + 1 < std::size(classes) && classes[i].last >= classes[i + 1].first)) {
            return false;
        }
    }
    return true;
}
static_assert(sorted_and_apart());

bool never_ends_a_line(wrap_class c) {
    return c == wrap_class::opening || c == wrap_class::wide_opening;
}

bool never_starts_a_line(wrap_class c) {
    return c == wrap_class::closing || c == wrap_class::wide_closing;
}

// Whether a line may end between a character of class `a` and one of `b`.
// Spaces are not broken before: they hang on the line's end, and the break
// comes after them.
bool may_break(wrap_class a, wrap_class b) {
    if (b == wrap_class::space || never_ends_a_line(a) || never_starts_a_line(b)) {
        return false;
    }
    return a == wrap_class::space || a == wrap_class::ideograph || a == wrap_class::wide_closing ||
           b == wrap_class::ideograph || b == wrap_class::wide_opening ||
           (a == wrap_class::hyphen && b == wrap_class::word);
}

class layout {
  public:
    layout(const message_strip& s, std::size_t width)
        : s_(s), width_(std::max<std::size_t>(width, 1)) {}

    laid_out_lines run() {
        const std::size_t n = s_.starts.size();
        std::size_t first = 0;
        for (const std::size_t b : s_.breaks) {
            if (b >= n) {
                break;
            }
            lines(first, b);
            first = b;
        }
        lines(first, n);
        return std::move(out_);
    }

  private:
    // The strip's column where character i starts (the end for i == count).
    std::size_t start(std::size_t i) const {
        return i < s_.starts.size() ? s_.starts[i] : s_.columns.size();
    }

    wrap_class class_of(std::size_t i) const {
        return s_.wraps.size() == s_.starts.size() ? s_.wraps[i] : wrap_class::ideograph;
    }

    // A space that can hang: one with no ink of its own or of a neighbour's
    // in its columns.
    bool hangs(std::size_t i) const {
        return class_of(i) == wrap_class::space &&
               std::all_of(s_.columns.begin() + static_cast<std::ptrdiff_t>(start(i)),
                           s_.columns.begin() + static_cast<std::ptrdiff_t>(start(i + 1)),
                           [](std::uint8_t b) { return b == 0; });
    }

    // Whether a line may start at character k (k > 0): never before a mark
    // that does not advance, which belongs to the character before it.
    bool may_start(std::size_t k) const {
        return start(k) != start(k + 1) && may_break(class_of(k - 1), class_of(k));
    }

    // Characters [first, last) as lines of at most width_ columns. No
    // characters: one empty line.
    void lines(std::size_t first, std::size_t last) {
        if (first == last) {
            out_.lines.push_back({out_.columns.size(), 0});
            return;
        }
        for (std::size_t i = first; i < last;) {
            // Take characters while they fit. Spaces need no room: they
            // hang, unseen, if the line ends there, and are shown only with
            // a character after them.
            const std::size_t begin = start(i);
            std::size_t j = i + 1;
            std::size_t end = hangs(i) ? i : i + 1;  // after the last character shown
            std::size_t best = 0;                    // the last place the line may end
            while (j < last) {
                if (may_start(j)) {
                    best = j;
                }
                if (hangs(j)) {
                    ++j;
                    continue;
                }
                if (start(j + 1) - begin > width_) {
                    break;
                }
                end = ++j;
            }
            if (j < last && best > i) {
                // A character does not fit: end at the last place allowed,
                // without the spaces before it.
                j = best;
                end = std::min(end, j);
                while (end > i && hangs(end - 1)) {
                    --end;
                }
            }
            keep(i, end);
            i = j;
        }
    }

    // Shows characters [i, end) as one line (or, when one character is
    // wider than the line, a line's width at a time).
    void keep(std::size_t i, std::size_t end) {
        const std::size_t at = out_.columns.size();
        for (std::size_t k = i; k < end; ++k) {
            out_.starts.push_back(out_.columns.size());
            out_.columns.insert(out_.columns.end(),
                                s_.columns.begin() + static_cast<std::ptrdiff_t>(start(k)),
                                s_.columns.begin() + static_cast<std::ptrdiff_t>(start(k + 1)));
        }
        const std::size_t shown = out_.columns.size() - at;
        for (std::size_t from = 0; from < shown || from == 0; from += width_) {
            out_.lines.push_back({at + from, std::min(width_, shown - from)});
            if (shown - from <= width_) {
                break;
            }
        }
    }

    const message_strip& s_;
    std::size_t width_;
    laid_out_lines out_;
};

}  // namespace

wrap_class wrap_class_of(char32_t c) noexcept {
    const auto* it = std::upper_bound(std::begin(classes), std::end(classes), c,
                                      [](char32_t v, const classed& r) { return v < r.first; });
    if (it == std::begin(classes)) {
        return wrap_class::word;
    }
    --it;
    return c <= it->last ? it->is : wrap_class::word;
}

laid_out_lines lay_out(const message_strip& strip, std::size_t width) {
    return layout(strip, width).run();
}

}  // namespace glyph8::output
