// Typefaces: a fallback chain of font faces rendered monochrome by FreeType.
//
// A character takes its glyph from the first face that has it. Faces are
// opened only when a character first needs them, so text that the first face
// covers never pays for parsing the others. Glyphs come back already placed
// in the character cell: a cell is one row of leading over an em-high glyph
// box (9 px over 8 px at an 8 px em), bitmap faces sit with their ascent line
// on the top of the box, and scalable faces are fitted into the box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "glyph8/status.hpp"

namespace glyph8 {

// What a font may cost: glyphs read from it, and memory for its glyphs
// beyond the file itself. Fonts past them are refused before they are read.
inline constexpr std::size_t most_font_glyphs = 65535;
inline constexpr std::size_t most_font_memory = 128u << 20;

// Font data for one face of a chain. `data` must stay valid while the face
// lives; `owner` keeps data loaded from a file alive.
struct face_source {
    std::string name;
    std::string licence;
    std::span<const unsigned char> data;
    std::shared_ptr<const std::vector<unsigned char>> owner;
    // glyph8's own data, linked in: its bitmap faces are read directly.
    bool embedded = false;
};

// What a font file offers, read without adding it to a chain.
struct face_info {
    bool scalable = false;
    std::vector<int> strike_sizes;  // pixel heights of its bitmap strikes
    std::string family;
    // Why the font's tables do not hold together (a table past the end of
    // the file, glyph locations out of order or past their table); empty
    // when they do. FreeType opens such files and draws their glyphs blank.
    // Also why a file would take more time or memory than a font may.
    std::string damage;
    // A bitmap font's character registry when it is not Unicode ("KOI8-R"):
    // none of its glyphs could be looked up.
    std::string charset;
};

// Opens `source` once to check that FreeType can read it and to list what it
// offers. Returns status::failed for data that is not a usable font.
status probe_face(const face_source& source, face_info& info);

// One rendered glyph, placed relative to the pen position (x) and the top of
// the character cell (y). `ink` holds rows * width cells, 1 for ink.
struct glyph_image {
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    int advance = 0;
    bool missing = false;  // no face has the character; this is a stand-in box
    std::vector<std::uint8_t> ink;
};

class typeface {
  public:
    explicit typeface(std::vector<face_source> faces);
    ~typeface();
    typeface(const typeface&) = delete;
    typeface& operator=(const typeface&) = delete;

    // Sets the em size in pixels; `pixels` must be finite and positive.
    status set_size(float pixels);
    // Height of a character cell in whole pixels, and its leading row count.
    int cell_height() const noexcept { return cell_height_; }
    int leading() const noexcept { return cell_height_ - em_; }

    // The glyph for `c` at the current size. Never null: a character that no
    // face has comes back as the first usable face's missing-glyph box.
    // May throw std::bad_alloc.
    const glyph_image& glyph(char32_t c);

    // Whether face `index` has been opened (faces open on first need).
    bool is_open(std::size_t index) const;

    // A face that maps a character to a glyph it then cannot load is
    // damaged; the character falls through to the next face. The first such
    // character of each face is kept here for warnings.
    struct load_failure {
        std::size_t face;
        char32_t code;
    };
    const std::vector<load_failure>& load_failures() const noexcept { return load_failures_; }

  private:
    struct face_slot;
    struct library;

    bool open(face_slot& slot);
    bool configure(face_slot& slot);
    bool render(face_slot& slot, unsigned glyph_index, glyph_image& out);
    void place(const face_slot& slot, glyph_image& out, int bitmap_left, int bitmap_top) const;

    std::unique_ptr<library> library_;
    std::vector<face_slot> faces_;
    float size_ = 0.0f;
    int em_ = 0;
    int cell_height_ = 0;
    unsigned size_serial_ = 0;
    std::unordered_map<char32_t, glyph_image> cache_;
    std::vector<load_failure> load_failures_;
    std::size_t cache_bytes_ = 0;
};

}  // namespace glyph8
