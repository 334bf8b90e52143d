// The in-memory source and sink, the same on every system.
#include <algorithm>
#include <cerrno>
#include <cstring>

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

bool read_whole(const std::function<std::ptrdiff_t(unsigned char*, std::size_t)>& read_some,
                std::vector<unsigned char>& data, std::string& why) {
    data.clear();
    unsigned char buffer[1 << 16];
    for (;;) {
        const std::ptrdiff_t n = read_some(buffer, sizeof buffer);
        if (n < 0) {
            why = std::strerror(errno);
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (data.size() + static_cast<std::size_t>(n) > largest_font_file) {
            why = "larger than " + std::to_string(largest_font_file >> 20) +
                  " MiB, too large for a font";
            return false;
        }
        data.insert(data.end(), buffer, buffer + n);
    }
}

}  // namespace glyph8::cli
