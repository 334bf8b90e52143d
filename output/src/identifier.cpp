// Which names an array can take in C, C++ and an Arduino sketch.
#include <algorithm>

#include "glyph8/output.hpp"

namespace glyph8::output {

namespace {

// Whether `word` is one of the space-separated words of `list` (which starts
// and ends with a space).
bool listed(std::string_view list, std::string_view word) {
    for (std::size_t at = list.find(word); at != std::string_view::npos;
         at = list.find(word, at + 1)) {
        if (list[at - 1] == ' ' && list[at + word.size()] == ' ') {
            return true;
        }
    }
    return false;
}

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
        "_Thread_local typeof ";
    return listed(keywords, word);
}

// The names a sketch already has from Arduino.h and the C library it
// includes, by why each cannot name an array. tests/avr builds every one of
// them into a sketch against Debian's Arduino core.
constexpr taken_words taken[] = {
    // Declaring an array of the name fails: it is already a type.
    {"a type name of Arduino.h, <stdint.h> or <stddef.h>",
     " byte boolean word int8_t uint8_t int16_t uint16_t int32_t uint32_t int64_t uint64_t "
     "int_least8_t uint_least8_t int_least16_t uint_least16_t int_least32_t uint_least32_t "
     "int_least64_t uint_least64_t int_fast8_t uint_fast8_t int_fast16_t uint_fast16_t "
     "int_fast32_t uint_fast32_t int_fast64_t uint_fast64_t intptr_t uintptr_t intmax_t "
     "uintmax_t size_t ptrdiff_t max_align_t nullptr_t "},
    // Declaring it fails, or linking the sketch does (main), on the Uno or,
    // for the Mega's references, on the Mega.
    {"a name every Arduino sketch already has",
     " main setup loop Serial PROGMEM NULL HIGH LOW INPUT OUTPUT INPUT_PULLUP LED_BUILTIN "
     "LSBFIRST MSBFIRST CHANGE FALLING RISING DEFAULT EXTERNAL INTERNAL INTERNAL1V1 "
     "INTERNAL2V56 PI HALF_PI TWO_PI DEG_TO_RAD RAD_TO_DEG EULER SERIAL DISPLAY abs round A0 A1 "
     "A2 A3 A4 A5 A6 A7 SS MOSI MISO SCK SDA SCL "},
    // The array compiles, but the sketch loses the class (String) or reads
    // as calling the macro: min(a, b) and min[i] side by side.
    {"a macro or class every sketch has from Arduino.h",
     " String min max constrain radians degrees sq bit lowByte highByte bitRead bitSet bitClear "
     "bitWrite interrupts noInterrupts offsetof "},
};

}  // namespace

std::span<const taken_words> taken_names() {
    return taken;
}

std::string_view identifier_problem(std::string_view s) {
    const auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    const bool identifier = !s.empty() && s.size() <= 63 && letter(s[0]) &&
                            std::all_of(s.begin(), s.end(), [&](char c) {
                                return letter(c) || (c >= '0' && c <= '9');
                            });
    if (!identifier) {
        return "letters, digits and _, not starting with a digit, at most 63";
    }
    if (is_keyword(s)) {
        return "a keyword of C or C++";
    }
    // C and C++ keep these for the compiler and its library.
    if (s.find("__") != std::string_view::npos ||
        (s.size() > 1 && s[0] == '_' && s[1] >= 'A' && s[1] <= 'Z')) {
        return "reserved to the compiler: it holds __ or starts with _ and a capital";
    }
    for (const taken_words& t : taken) {
        if (listed(t.words, s)) {
            return t.reason;
        }
    }
    return {};
}

}  // namespace glyph8::output
