// Controls for tests: a picture box with hand-set pixels that records every
// call and fails on request, and a text box that fails on request.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "glyph8/controls.hpp"

namespace glyph8::testing_support {

class fake_picture : public picture_box {
  public:
    // Colour of every pixel not in `pixels`.
    std::int32_t fill = 0xFFFFFF;
    std::map<std::pair<int, int>, std::int32_t> pixels;
    // The call log: "ScaleMode", "FontSize", ..., "Point(x,y)".
    std::vector<std::string> calls;
    // The call (by its log name, "Point" for any query) that fails, and how.
    std::string fail_on;
    status fail_with = status::failed;

    status ScaleMode(std::int16_t) override { return step("ScaleMode"); }
    status FontSize(float) override { return step("FontSize"); }
    status clear() override { return step("clear"); }
    status CurrentX(float) override { return step("CurrentX"); }
    status CurrentY(float) override { return step("CurrentY"); }
    void Print(std::string_view text) override {
        calls.push_back("Print");
        printed.assign(text);
        if (fail_on == "Print") {
            throw std::runtime_error("drawing failed");
        }
    }
    status Point(float x, float y, std::int32_t& colour) override {
        const int ix = static_cast<int>(x);
        const int iy = static_cast<int>(y);
        calls.push_back("Point(" + std::to_string(ix) + "," + std::to_string(iy) + ")");
        if (fail_on == "Point") {
            return fail_with;
        }
        const auto it = pixels.find({ix, iy});
        colour = it == pixels.end() ? fill : it->second;
        return status::ok;
    }

    std::string printed;

  private:
    status step(const char* name) {
        calls.emplace_back(name);
        return fail_on == name ? fail_with : status::ok;
    }
};

class fake_text : public text_box {
  public:
    std::string text;
    bool fail_read = false;
    bool fail_write = false;
    int writes = 0;

    explicit fake_text(std::string initial) : text(std::move(initial)) {}
    status read_text(std::string& out) override {
        if (fail_read) {
            return status::failed;
        }
        out = text;
        return status::ok;
    }
    status write_text(std::string_view t) override {
        ++writes;
        if (fail_write) {
            return status::failed;
        }
        text.assign(t);
        return status::ok;
    }
};

}  // namespace glyph8::testing_support
