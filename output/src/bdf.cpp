// BDF 2.1 of 8x8 cells: ascent 7, descent 1, so that the cell is exactly the
// sampling window and the font draws back the same pixels.
#include "glyph8/output.hpp"
#include "glyph8/version.hpp"

namespace glyph8::output {

namespace {

class bdf_writer : public glyph_writer {
  public:
    void begin(std::string& out, std::size_t count) override {
        out +=
            "STARTFONT 2.1\n"
            "FONT -glyph8-glyph8-Medium-R-Normal--8-80-72-72-C-80-ISO10646-1\n"
            "SIZE 8 72 72\n"
            "FONTBOUNDINGBOX 8 8 0 -1\n"
            "STARTPROPERTIES 19\n"
            "FOUNDRY \"glyph8\"\n"
            "FAMILY_NAME \"glyph8\"\n"
            "WEIGHT_NAME \"Medium\"\n"
            "SLANT \"R\"\n"
            "SETWIDTH_NAME \"Normal\"\n"
            "ADD_STYLE_NAME \"\"\n"
            "PIXEL_SIZE 8\n"
            "POINT_SIZE 80\n"
            "RESOLUTION_X 72\n"
            "RESOLUTION_Y 72\n"
            "SPACING \"C\"\n"
            "AVERAGE_WIDTH 80\n"
            "CHARSET_REGISTRY \"ISO10646\"\n"
            "CHARSET_ENCODING \"1\"\n"
            "FONT_ASCENT 7\n"
            "FONT_DESCENT 1\n"
            "DEFAULT_CHAR 65533\n"
            "COPYRIGHT \"Glyphs drawn by glyph8 from its embedded fonts; see glyph8-cli "
            "--version\"\n"
            "FONT_VERSION \"";
        out += version;
        out += "\"\nENDPROPERTIES\nCHARS " + std::to_string(count) + "\n";
    }

    void add(std::string& out, char32_t code, glyph g) override {
        static constexpr char hex[] = "0123456789ABCDEF";
        std::string name = code_point_name(code);
        name.replace(0, 2, code > 0xFFFF ? "u" : "uni");
        out += "STARTCHAR " + name + "\nENCODING " +
               std::to_string(static_cast<unsigned long>(code)) +
               "\nSWIDTH 1000 0\nDWIDTH 8 0\nBBX 8 8 0 -1\nBITMAP\n";
        for (const std::uint8_t row : pack(g, bit_layout::rows_msb)) {
            out += hex[row >> 4];
            out += hex[row & 0xF];
            out += '\n';
        }
        out += "ENDCHAR\n";
    }

    void end(std::string& out) override { out += "ENDFONT\n"; }
};

}  // namespace

std::unique_ptr<glyph_writer> make_bdf_writer(const settings&) {
    return std::make_unique<bdf_writer>();
}

}  // namespace glyph8::output
