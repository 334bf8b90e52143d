// Prints the names glyph8 refuses because a sketch already has them, one a
// line after the reason it gives, for taken_names_test.sh to build.
#include <cstdio>
#include <string_view>

#include "glyph8/output.hpp"

int main() {
    for (const glyph8::output::taken_words& t : glyph8::output::taken_names()) {
        std::string_view words = t.words;
        while (!words.empty()) {
            const std::size_t end = words.find(' ');
            const std::string_view word = words.substr(0, end);
            if (!word.empty()) {
                std::printf("%.*s\t%.*s\n", static_cast<int>(t.reason.size()), t.reason.data(),
                            static_cast<int>(word.size()), word.data());
            }
            words.remove_prefix(end == std::string_view::npos ? words.size() : end + 1);
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
