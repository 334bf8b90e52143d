#include "glyph8/default_face.hpp"

#include <cstdint>

extern "C" {
extern const unsigned char glyph8_font_fixed[];
extern const unsigned char glyph8_font_misaki[];
extern const unsigned char glyph8_font_composed[];
extern const unsigned char glyph8_font_droid[];
extern const std::uint64_t glyph8_font_sizes[4];
}

namespace glyph8 {

std::vector<face_source> default_face_sources(composition composed) {
    auto bytes = [](const unsigned char* data, std::uint64_t size) {
        return std::span<const unsigned char>(data, static_cast<std::size_t>(size));
    };
    std::vector<face_source> faces;
    faces.push_back({"misc-fixed 5x8", "public domain",
                     bytes(glyph8_font_fixed, glyph8_font_sizes[0]), nullptr, true});
    faces.push_back({"Misaki Gothic", "free licence of its author, Num Kadoma",
                     bytes(glyph8_font_misaki, glyph8_font_sizes[1]), nullptr, true});
    if (composed == composition::on) {
        faces.push_back(
            {"glyph8 Composed (pieces of Misaki Gothic, matched with Noto Sans and Serif CJK, "
             "AR PL UMing TW and Droid Sans Fallback)",
             "Misaki Gothic's licence; Noto Sans and Serif CJK: SIL Open Font License 1.1; "
             "AR PL UMing: Arphic Public License; Droid Sans Fallback: Apache License 2.0",
             bytes(glyph8_font_composed, glyph8_font_sizes[2]), nullptr, true});
    }
    faces.push_back({"Droid Sans Fallback", "Apache License 2.0",
                     bytes(glyph8_font_droid, glyph8_font_sizes[3]), nullptr, true});
    return faces;
}

std::shared_ptr<typeface> make_default_typeface(composition composed) {
    return std::make_shared<typeface>(default_face_sources(composed));
}

}  // namespace glyph8
