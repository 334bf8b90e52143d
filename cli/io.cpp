// The in-memory source and sink, the same on every system.
#include <algorithm>

#include "io.hpp"

namespace glyph8::cli {

std::ptrdiff_t string_source::read(std::span<char> buffer, std::string&) {
    const std::size_t n = std::min(buffer.size(), text_.size() - pos_);
    std::copy_n(text_.data() + pos_, n, buffer.data());
    pos_ += n;
    return static_cast<std::ptrdiff_t>(n);
}

bool string_sink::write(std::string_view bytes, std::string&) {
    text.append(bytes);
    return true;
}

}  // namespace glyph8::cli
