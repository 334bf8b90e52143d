#include "glyph8/typeface.hpp"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BDF_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>

#include "bdf_check.hpp"
#include "pcf_strike.hpp"
#include "sfnt_check.hpp"

namespace glyph8 {

namespace {

// Past this many bytes of cached bitmaps the cache starts again; only very
// large sizes ever come near it.
constexpr std::size_t cache_limit_bytes = 8u << 20;

// Where an outline face's baseline sits below the top of the glyph box, as a
// fraction of the em: the ideographic em box of CJK faces spans 7/8 above
// the baseline and 1/8 below.
constexpr float outline_ascent = 7.0f / 8.0f;

FT_Error open_memory_face(FT_Library lib, const face_source& source, FT_Face& face) {
    return FT_New_Memory_Face(lib, source.data.data(), static_cast<FT_Long>(source.data.size()), 0,
                              &face);
}

}  // namespace

struct typeface::library {
    FT_Library handle = nullptr;
    library() {
        if (FT_Init_FreeType(&handle) != 0) {
            throw std::bad_alloc();
        }
    }
    ~library() { FT_Done_FreeType(handle); }
};

struct typeface::face_slot {
    face_source source;
    FT_Face face = nullptr;
    std::optional<pcf_strike> pcf;  // an embedded bitmap face, read without FreeType
    bool broken = false;
    bool failed_to_load = false;     // already in load_failures_
    unsigned configured_serial = 0;  // size_serial_ this face was set up for
    bool usable = false;             // has a strike or outlines at this size
    bool strike = false;             // drawn from a bitmap strike
    int ascent = 0;                  // of the strike, in pixels
};

namespace {

// An sfnt table as FreeType hands it over, unpacked from WOFF or WOFF2.
bool load_table(FT_Face face, FT_ULong tag, std::vector<unsigned char>& out) {
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &length) != 0) {
        return false;
    }
    out.resize(length);
    return length == 0 || FT_Load_Sfnt_Table(face, tag, 0, out.data(), &length) == 0;
}

// Glyph locations checked on the tables FreeType reads, whatever wraps them.
std::string table_damage(FT_Face face) {
    std::vector<unsigned char> head, maxp, loca;
    FT_ULong glyf = 0;
    if (!FT_IS_SFNT(face) || !load_table(face, TTAG_head, head) ||
        !load_table(face, TTAG_maxp, maxp) || !load_table(face, TTAG_loca, loca) ||
        FT_Load_Sfnt_Table(face, TTAG_glyf, 0, nullptr, &glyf) != 0) {
        return {};  // no TrueType outlines to check
    }
    return glyph_location_damage(head, maxp, loca, glyf);
}

// The registry of a bitmap font's characters when it is not Unicode.
std::string charset_problem(FT_Face face) {
    const char* encoding = nullptr;
    const char* registry = nullptr;
    if (FT_Get_BDF_Charset_ID(face, &encoding, &registry) != 0 || registry == nullptr) {
        return {};
    }
    std::string name(registry);
    std::string upper;
    for (const char c : name) {
        upper += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return upper == "ISO10646" ? std::string()
                               : name + (encoding ? "-" + std::string(encoding) : "");
}

}  // namespace

status probe_face(const face_source& source, face_info& info) {
    // Checked on the bytes first: FreeType would spend the time and memory.
    info.damage = sfnt_damage(source.data);
    if (info.damage.empty()) {
        info.damage = bdf_damage(source.data);
    }
    if (!info.damage.empty()) {
        return status::failed;
    }
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) {
        return status::out_of_memory;
    }
    FT_Face face = nullptr;
    status result = status::failed;
    if (open_memory_face(lib, source, face) == 0) {
        info.scalable = FT_IS_SCALABLE(face);
        info.strike_sizes.clear();
        for (FT_Int i = 0; i < face->num_fixed_sizes; ++i) {
            info.strike_sizes.push_back(
                static_cast<int>((face->available_sizes[i].y_ppem + 32) >> 6));
        }
        info.family = face->family_name != nullptr ? face->family_name : "";
        // WOFF2 stores glyf and loca transformed; FreeType rebuilds them
        // itself and checks them as it does, so only WOFF's are looked at.
        const bool woff2 = source.data.size() >= 4 && source.data[0] == 'w' &&
                           source.data[1] == 'O' && source.data[2] == 'F' && source.data[3] == '2';
        if (!woff2) {
            info.damage = table_damage(face);
        }
        // A CFF table cut short opens as a font of no glyphs at all: every
        // character would quietly come from the next face.
        if (info.damage.empty() && face->num_glyphs <= 0) {
            info.damage = "no glyph of it can be read";
        }
        info.charset = charset_problem(face);
        if (info.scalable || !info.strike_sizes.empty()) {
            result = status::ok;
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(lib);
    return result;
}

typeface::typeface(std::vector<face_source> faces) {
    faces_.reserve(faces.size());
    for (auto& source : faces) {
        faces_.emplace_back().source = std::move(source);
    }
}

typeface::~typeface() {
    for (auto& slot : faces_) {
        if (slot.face != nullptr) {
            FT_Done_Face(slot.face);
        }
    }
}

bool typeface::is_open(std::size_t index) const {
    return faces_.at(index).face != nullptr || faces_.at(index).pcf.has_value();
}

status typeface::set_size(float pixels) {
    if (!std::isfinite(pixels) || pixels <= 0.0f) {
        return status::invalid_value;
    }
    if (pixels == size_) {
        return status::ok;
    }
    size_ = pixels;
    em_ = std::max(1, static_cast<int>(std::lround(pixels)));
    cell_height_ = std::max(em_ + 1, static_cast<int>(std::lround(pixels * 9.0f / 8.0f)));
    ++size_serial_;
    cache_.clear();
    cache_bytes_ = 0;
    return status::ok;
}

bool typeface::open(face_slot& slot) {
    if (slot.face != nullptr || slot.pcf) {
        return true;
    }
    if (slot.broken) {
        return false;
    }
    // FreeType would read every glyph's metrics of an embedded bitmap face
    // at once; read them as they are needed instead.
    if (slot.source.embedded && (slot.pcf = pcf_strike::open(slot.source.data))) {
        return true;
    }
    if (!library_) {
        library_ = std::make_unique<library>();
    }
    if (open_memory_face(library_->handle, slot.source, slot.face) != 0) {
        slot.face = nullptr;
        slot.broken = true;
        return false;
    }
    // Bitmap fonts registered as ISO 10646 and TrueType fonts both offer a
    // Unicode map; a face without one can still be used by glyph index 0 only.
    FT_Select_Charmap(slot.face, FT_ENCODING_UNICODE);
    return true;
}

bool typeface::configure(face_slot& slot) {
    if (slot.configured_serial == size_serial_) {
        return slot.usable;
    }
    slot.configured_serial = size_serial_;
    slot.usable = false;
    slot.strike = false;
    if (slot.pcf) {
        slot.usable = slot.strike = slot.pcf->pixel_size() == em_;
        slot.ascent = slot.pcf->ascent();
        return slot.usable;
    }
    FT_Face face = slot.face;
    // A bitmap strike of exactly this size wins over outlines: it is what the
    // face's designer drew for this grid.
    for (FT_Int i = 0; i < face->num_fixed_sizes; ++i) {
        if (((face->available_sizes[i].y_ppem + 32) >> 6) == em_ && FT_Select_Size(face, i) == 0) {
            slot.usable = true;
            slot.strike = true;
            slot.ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
            return true;
        }
    }
    if (FT_IS_SCALABLE(face) &&
        FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(size_ * 64.0f)), 72, 72) ==
            0) {
        slot.usable = true;
    }
    return slot.usable;
}

bool typeface::render(face_slot& slot, unsigned glyph_index, glyph_image& out) {
    if (slot.pcf) {
        pcf_strike::bitmap b;
        if (!slot.pcf->load(glyph_index, b)) {
            return false;
        }
        out.width = b.width;
        out.rows = b.rows;
        out.advance = b.advance;
        out.ink.assign(static_cast<std::size_t>(out.width) * out.rows, 0);
        for (int y = 0; y < out.rows; ++y) {
            const std::uint8_t* row = b.bits.data() + static_cast<std::ptrdiff_t>(y) * b.pitch;
            for (int x = 0; x < out.width; ++x) {
                out.ink[static_cast<std::size_t>(y) * out.width + x] =
                    (row[x >> 3] >> (7 - (x & 7))) & 1;
            }
        }
        place(slot, out, b.left, b.top);
        return true;
    }
    FT_Face face = slot.face;
    if (FT_Load_Glyph(face, glyph_index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
        return false;
    }
    const FT_GlyphSlot g = face->glyph;
    const FT_Bitmap& bitmap = g->bitmap;
    // A BDF glyph with a box but no BITMAP lines comes back with a size and
    // no pixels: a glyph that cannot be drawn, like any other that fails.
    if (bitmap.buffer == nullptr && bitmap.width > 0 && bitmap.rows > 0) {
        return false;
    }
    out.width = static_cast<int>(bitmap.width);
    out.rows = static_cast<int>(bitmap.rows);
    out.advance = static_cast<int>((g->advance.x + 32) >> 6);
    out.ink.assign(static_cast<std::size_t>(out.width) * out.rows, 0);
    for (int y = 0; y < out.rows; ++y) {
        const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
        for (int x = 0; x < out.width; ++x) {
            bool on = false;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                on = ((row[x >> 3] >> (7 - (x & 7))) & 1) != 0;
            } else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
                on = row[x] >= 128;
            }
            out.ink[static_cast<std::size_t>(y) * out.width + x] = on ? 1 : 0;
        }
    }
    place(slot, out, g->bitmap_left, g->bitmap_top);
    return true;
}

// Places a rendered glyph in the character cell: strikes by their ascent,
// outlines into the glyph box.
void typeface::place(const face_slot& slot, glyph_image& out, int bitmap_left,
                     int bitmap_top) const {
    const int box_top = leading();
    if (slot.strike) {
        out.left = bitmap_left;
        out.top = box_top + slot.ascent - bitmap_top;
        return;
    }
    // Outlines: baseline at 7/8 em, then nudge the bitmap into the glyph box
    // and the advance, so that hinting and rounding never push ink into the
    // leading row or the next cell.
    const int baseline = box_top + static_cast<int>(std::lround(em_ * outline_ascent));
    out.left = bitmap_left;
    out.top = baseline - bitmap_top;
    if (out.rows <= em_) {
        out.top = std::clamp(out.top, box_top, box_top + em_ - out.rows);
    }
    const int box_width = std::max(out.advance, 1);
    if (out.width <= box_width) {
        out.left = std::clamp(out.left, 0, box_width - out.width);
    } else {
        out.left = std::max(out.left, 0);
    }
}

const glyph_image& typeface::glyph(char32_t c) {
    if (auto it = cache_.find(c); it != cache_.end()) {
        return it->second;
    }
    glyph_image image;
    bool found = false;
    for (std::size_t i = 0; i < faces_.size(); ++i) {
        face_slot& slot = faces_[i];
        if (!open(slot) || !configure(slot)) {
            continue;
        }
        const unsigned index = slot.pcf ? slot.pcf->glyph_index(c)
                                        : FT_Get_Char_Index(slot.face, static_cast<FT_ULong>(c));
        if (index == 0) {
            continue;
        }
        if (render(slot, index, image)) {
            found = true;
            break;
        }
        if (!slot.failed_to_load) {
            slot.failed_to_load = true;
            load_failures_.push_back({i, c});
        }
    }
    // No face has it: the first usable face's missing-glyph box, or the
    // next one's when that box cannot be drawn. Every face was tried above,
    // so each is open and set up for this size.
    if (!found) {
        image = glyph_image{};
        for (face_slot& slot : faces_) {
            if (slot.usable && slot.configured_serial == size_serial_ && (slot.face || slot.pcf) &&
                render(slot, 0, image)) {
                break;
            }
            image = glyph_image{};
        }
        image.missing = true;
    }
    const std::size_t bytes = image.ink.size() + sizeof(glyph_image) + 16;
    if (cache_bytes_ + bytes > cache_limit_bytes) {
        cache_.clear();
        cache_bytes_ = 0;
    }
    cache_bytes_ += bytes;
    return cache_.insert_or_assign(c, std::move(image)).first->second;
}

}  // namespace glyph8
