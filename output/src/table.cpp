// The table: one row of eight values per character, each commented with its
// code point and the character itself, optionally drawn below it.
#include "declaration.hpp"
#include "glyph8/output.hpp"

namespace glyph8::output {

namespace {

class table_writer : public glyph_writer {
  public:
    explicit table_writer(const settings& s) : settings_(s) {}
    void begin(std::string& out, std::size_t) override {
        detail::append_head(out, settings_, true);
        out += '\n';
    }
    void add(std::string& out, char32_t code, glyph g) override {
        out += "  {";
        detail::append_values(out, pack(g, settings_.layout), settings_.numbers);
        out += "}, // ";
        out += describe_character(code);
        out += '\n';
        if (settings_.grid) {
            append_grid(out, g, "  ");
        }
    }
    void end(std::string& out) override { out += "};\n"; }

  private:
    settings settings_;
};

}  // namespace

void append_grid(std::string& out, glyph g, std::string_view indent) {
    for (int y = 0; y < glyph_side; ++y) {
        out += indent;
        out += "// ";
        for (int x = 0; x < glyph_side; ++x) {
            out += g.ink(x, y) ? '#' : '.';
        }
        out += '\n';
    }
}

std::unique_ptr<glyph_writer> make_table_writer(const settings& s) {
    return std::make_unique<table_writer>(s);
}

}  // namespace glyph8::output
