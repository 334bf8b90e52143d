// The prebuilt programs glyph8 carries, and the upload of a message: a
// program and its block, as flash holds them, or as Intel HEX for other
// uploaders.
#include "glyph8/image.hpp"

#include <algorithm>

#include "glyph8/intel_hex.hpp"
#include "glyph8/output.hpp"
#include "images.hpp"

namespace glyph8::output {

std::span<const board_image> board_images() noexcept {
    return images::all;
}

const board_image* find_board_image(const display& d, const arduino_board& board) noexcept {
    for (const board_image& i : images::all) {
        if (i.display == d.name && i.board == board.name) {
            return &i;
        }
    }
    return nullptr;
}

std::string make_upload_image(const message_strip& strip, const matrix_settings& m,
                              upload_image& out) {
    const board_image* image = find_board_image(*m.shown_on, *m.arduino);
    if (image == nullptr) {
        return "this glyph8 carries no prebuilt program for --display " +
               std::string(m.shown_on->name) + " on an " + std::string(m.arduino->title) +
               " (write a sketch with --sketch instead)";
    }
    std::vector<std::uint8_t> block;
    if (std::string why = write_block(strip, m, block); !why.empty()) {
        return why;
    }
    const std::uint32_t at = image->block_address();
    const std::uint32_t limit = block_limit(*m.arduino);
    if (at + block.size() > limit) {
        return "the message takes " + std::to_string(block.size()) + " bytes, and an " +
               std::string(m.arduino->title) + " has room for " + std::to_string(limit - at) +
               " after the program (shorten the message or use fewer distinct characters)";
    }
    out.bytes.assign(image->code.begin(), image->code.end());
    out.bytes.resize(at, 0xFF);
    out.bytes.insert(out.bytes.end(), block.begin(), block.end());
    out.block_address = at;
    out.code_size = static_cast<std::uint32_t>(image->code.size());
    return {};
}

namespace {

class intel_hex_writer : public message_writer {
  public:
    explicit intel_hex_writer(const settings& s) : m_(s.matrix) {}

    std::string write(stream& sink, const message_strip& strip, std::string_view) override {
        upload_image image;
        if (std::string why = make_upload_image(strip, m_, image); !why.empty()) {
            return why;
        }
        write_intel_hex(sink.text(), 0, image.bytes);
        sink.flush();
        return {};
    }

  private:
    matrix_settings m_;
};

}  // namespace

std::unique_ptr<message_writer> make_intel_hex_writer(const settings& s) {
    return std::make_unique<intel_hex_writer>(s);
}

}  // namespace glyph8::output
