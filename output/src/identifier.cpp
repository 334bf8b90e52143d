// Which names an array can take in C, C++ and an Arduino sketch.
#include <algorithm>

#include "glyph8/output.hpp"

namespace glyph8::output {

namespace {

// Keywords of C and C++ cannot name an array.
bool is_keyword(std::string_view word) {
    static constexpr std::string_view keywords =
        " alignas alignof and and_eq asm auto bitand bitor bool break case catch char char8_t "
        "char16_t char32_t class compl concept const consteval constexpr constinit const_cast "
        "continue co_await co_return co_yield decltype default delete do double dynamic_cast else "
        "enum explicit export extern false float for friend goto if inline int long mutable "
        "namespace new noexcept not not_eq nullptr operator or or_eq private protected public "
        "register reinterpret_cast requires restrict return short signed sizeof static "
        "static_assert static_cast struct switch template this thread_local throw true try typedef "
        "typeid typename union unsigned using virtual void volatile wchar_t while xor xor_eq "
        "_Alignas _Alignof _Atomic _Bool _Complex _Generic _Imaginary _Noreturn _Static_assert "
        "_Thread_local ";
    for (std::size_t at = keywords.find(word); at != std::string_view::npos;
         at = keywords.find(word, at + 1)) {
        if (keywords[at - 1] == ' ' && keywords[at + word.size()] == ' ') {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string_view identifier_problem(std::string_view s) {
    const auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    const bool identifier = !s.empty() && s.size() <= 63 && letter(s[0]) &&
                            std::all_of(s.begin(), s.end(), [&](char c) {
                                return letter(c) || (c >= '0' && c <= '9');
                            });
    if (!identifier || is_keyword(s)) {
        return "letters, digits and _, not starting with a digit, at most 63, not a keyword";
    }
    return {};
}

}  // namespace glyph8::output
