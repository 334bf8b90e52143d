#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "glyph8/compose.hpp"

namespace glyph8::compose {

namespace {

struct ft_library {
    FT_Library handle = nullptr;
    ft_library() {
        if (FT_Init_FreeType(&handle) != 0) {
            throw std::runtime_error("FreeType cannot start");
        }
    }
    ~ft_library() { FT_Done_FreeType(handle); }
    ft_library(const ft_library&) = delete;
    ft_library& operator=(const ft_library&) = delete;
};

struct ft_face {
    FT_Face handle = nullptr;
    ft_face(FT_Library lib, const std::string& file, int index) {
        if (FT_New_Face(lib, file.c_str(), index, &handle) != 0) {
            throw std::runtime_error(file + ": not a font FreeType can read");
        }
        FT_Select_Charmap(handle, FT_ENCODING_UNICODE);
    }
    ~ft_face() { FT_Done_Face(handle); }
    ft_face(const ft_face&) = delete;
    ft_face& operator=(const ft_face&) = delete;
};

}  // namespace

std::vector<bitmap_glyph> load_strike(const std::string& font_file) {
    ft_library lib;
    ft_face face(lib.handle, font_file, 0);
    FT_Face f = face.handle;
    FT_Int strike = -1;
    for (FT_Int i = 0; i < f->num_fixed_sizes; ++i) {
        if (((f->available_sizes[i].y_ppem + 32) >> 6) == 8) {
            strike = i;
        }
    }
    if (strike < 0 || FT_Select_Size(f, strike) != 0) {
        throw std::runtime_error(font_file + ": no 8 px bitmap strike");
    }
    const int ascent = static_cast<int>((f->size->metrics.ascender + 63) >> 6);
    std::vector<bitmap_glyph> glyphs;
    FT_UInt index = 0;
    for (FT_ULong c = FT_Get_First_Char(f, &index); index != 0;
         c = FT_Get_Next_Char(f, c, &index)) {
        if (!is_composable(static_cast<char32_t>(c))) {
            continue;
        }
        if (FT_Load_Glyph(f, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
            continue;
        }
        const FT_GlyphSlot g = f->glyph;
        if (g->bitmap.pixel_mode != FT_PIXEL_MODE_MONO) {
            continue;  // drawn from outlines: not part of the hand-drawn strike
        }
        bitmap_glyph out{static_cast<char32_t>(c), index, 0};
        for (unsigned row = 0; row < g->bitmap.rows; ++row) {
            const unsigned char* bits =
                g->bitmap.buffer + static_cast<std::ptrdiff_t>(row) * g->bitmap.pitch;
            for (unsigned col = 0; col < g->bitmap.width; ++col) {
                const int x = g->bitmap_left + static_cast<int>(col);
                const int y = ascent - g->bitmap_top + static_cast<int>(row);
                if (((bits[col >> 3] >> (7 - (col & 7))) & 1) != 0 && x >= 0 && x < 8 && y >= 0 &&
                    y < 8) {
                    out.bitmap = out.bitmap.with_ink(x, y);
                }
            }
        }
        glyphs.push_back(out);
    }
    std::sort(glyphs.begin(), glyphs.end(),
              [](const bitmap_glyph& a, const bitmap_glyph& b) { return a.code < b.code; });
    return glyphs;
}

struct outline_face::impl {
    ft_library lib;
    ft_face face;
    settings s;
    int side = 0;  // canvas side in subpixels
    // Subpixels per font unit, and where the font's origin lands on the canvas.
    double scale_x = 0, scale_y = 0, origin_x = 0, origin_y = 0;

    impl(const std::string& file, int index, const settings& set)
        : face(lib.handle, file, index), s(set), side(8 * set.sub) {}

    // Grey coverage 0..255 of the canvas, row by row.
    bool render(char32_t c, std::vector<unsigned char>& grey) const {
        FT_Face f = face.handle;
        const FT_UInt index = FT_Get_Char_Index(f, c);
        if (index == 0 ||
            FT_Load_Glyph(f, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP | FT_LOAD_NO_SCALE) !=
                0 ||
            f->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
            return false;
        }
        FT_Outline& outline = f->glyph->outline;
        // Font units to 26.6 canvas coordinates (y up, row 0 at the top).
        FT_Matrix m{static_cast<FT_Fixed>(std::lround(scale_x * 64 * 65536)), 0, 0,
                    static_cast<FT_Fixed>(std::lround(scale_y * 64 * 65536))};
        FT_Outline_Transform(&outline, &m);
        FT_Outline_Translate(&outline, static_cast<FT_Pos>(std::lround(origin_x * 64)),
                             static_cast<FT_Pos>(std::lround((side - origin_y) * 64)));
        grey.assign(static_cast<std::size_t>(side) * side, 0);
        FT_Bitmap bitmap;
        FT_Bitmap bitmap_init{};
        bitmap = bitmap_init;
        bitmap.rows = static_cast<unsigned>(side);
        bitmap.width = static_cast<unsigned>(side);
        bitmap.pitch = side;
        bitmap.buffer = grey.data();
        bitmap.num_grays = 256;
        bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
        return FT_Outline_Get_Bitmap(lib.handle, &outline, &bitmap) == 0;
    }

    // Ink box of `c` in font units; false for an empty or missing glyph.
    bool box(char32_t c, FT_BBox& b) const {
        FT_Face f = face.handle;
        const FT_UInt index = FT_Get_Char_Index(f, c);
        if (index == 0 ||
            FT_Load_Glyph(f, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP | FT_LOAD_NO_SCALE) !=
                0 ||
            f->glyph->format != FT_GLYPH_FORMAT_OUTLINE || f->glyph->outline.n_points == 0) {
            return false;
        }
        FT_Outline_Get_CBox(&f->glyph->outline, &b);
        return true;
    }
};

outline_face::outline_face(const std::string& font_file, int face_index,
                           std::span<const bitmap_glyph> sample, const settings& s, int offset_x,
                           int offset_y)
    : impl_(std::make_unique<impl>(font_file, face_index, s)) {
    // Map the outline face's average ink box onto the hand-drawn glyphs'
    // average ink box, axis by axis.
    double ol = 0, or_ = 0, ot = 0, ob = 0;  // outline, font units (y up)
    double bl = 0, br = 0, bt = 0, bb = 0;   // bitmap, pixels (y down, exclusive ends)
    int n = 0;
    for (const auto& g : sample) {
        FT_BBox b;
        if (g.bitmap == glyph{} || !impl_->box(g.code, b)) {
            continue;
        }
        int l = 8, r = 0, t = 8, bo = 0;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                if (g.bitmap.ink(x, y)) {
                    l = std::min(l, x);
                    r = std::max(r, x + 1);
                    t = std::min(t, y);
                    bo = std::max(bo, y + 1);
                }
            }
        }
        ol += static_cast<double>(b.xMin);
        or_ += static_cast<double>(b.xMax);
        ot += static_cast<double>(b.yMax);
        ob += static_cast<double>(b.yMin);
        bl += l;
        br += r;
        bt += t;
        bb += bo;
        ++n;
    }
    if (n == 0 || or_ <= ol || ot <= ob) {
        throw std::runtime_error(font_file + ": shares no outlined ideograph with the bitmaps");
    }
    const double sub = s.sub;
    impl_->scale_x = (br - bl) / (or_ - ol) * sub;
    impl_->scale_y = (bb - bt) / (ot - ob) * sub;
    impl_->origin_x = bl / n * sub - ol / n * impl_->scale_x;
    impl_->origin_y = bt / n * sub + ot / n * impl_->scale_y + offset_y;
    impl_->origin_x += offset_x;
}

outline_face::~outline_face() = default;

bool outline_face::has(char32_t c) const {
    return FT_Get_Char_Index(impl_->face.handle, c) != 0;
}

std::size_t outline_face::feature_size() const noexcept {
    return static_cast<std::size_t>(64 * impl_->s.sub * impl_->s.sub);
}

bool outline_face::features(char32_t c, std::span<std::uint8_t> out) const {
    std::vector<unsigned char> grey;
    if (out.size() != feature_size() || !impl_->render(c, grey)) {
        return false;
    }
    const int side = impl_->side;
    const int r = impl_->s.blur;
    const int sub = impl_->s.sub;
    // Separable box blur with edges clamped, in integers.
    std::vector<int> tmp(grey.size()), blurred(grey.size());
    auto at = [side](int v) { return std::clamp(v, 0, side - 1); };
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            int sum = 0;
            for (int d = -r; d <= r; ++d) {
                sum += grey[static_cast<std::size_t>(y * side + at(x + d))];
            }
            tmp[static_cast<std::size_t>(y * side + x)] = sum;
        }
    }
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            int sum = 0;
            for (int d = -r; d <= r; ++d) {
                sum += tmp[static_cast<std::size_t>(at(y + d) * side + x)];
            }
            blurred[static_cast<std::size_t>(y * side + x)] = sum;
        }
    }
    const int full = 255 * (2 * r + 1) * (2 * r + 1);
    // Block order: pixel by pixel (row-major), sub x sub levels inside each.
    std::size_t o = 0;
    for (int py = 0; py < 8; ++py) {
        for (int px = 0; px < 8; ++px) {
            for (int y = 0; y < sub; ++y) {
                for (int x = 0; x < sub; ++x) {
                    const int v =
                        blurred[static_cast<std::size_t>((py * sub + y) * side + px * sub + x)];
                    out[o++] = static_cast<std::uint8_t>((v * 15 + full / 2) / full);
                }
            }
        }
    }
    return true;
}

glyph outline_face::threshold(char32_t c) const {
    std::vector<unsigned char> grey;
    if (!impl_->render(c, grey)) {
        return {};
    }
    const int sub = impl_->s.sub;
    const int side = impl_->side;
    glyph out;
    for (int py = 0; py < 8; ++py) {
        for (int px = 0; px < 8; ++px) {
            int sum = 0;
            for (int y = 0; y < sub; ++y) {
                for (int x = 0; x < sub; ++x) {
                    sum += grey[static_cast<std::size_t>((py * sub + y) * side + px * sub + x)];
                }
            }
            if (sum * 2 >= 255 * sub * sub) {
                out = out.with_ink(px, py);
            }
        }
    }
    return out;
}

}  // namespace glyph8::compose
