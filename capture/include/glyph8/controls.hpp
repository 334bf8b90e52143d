// The controls that a capture works on, as small interfaces.
//
// The capture command never sees a concrete control: the window plugs in
// adapters over its widgets, the command line and the tests plug in their
// own. Every operation returns a status that the caller tests at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "glyph8/status.hpp"

namespace glyph8 {

// A text box: its whole text, read and written as UTF-8.
class text_box {
  public:
    virtual ~text_box() = default;
    virtual status read_text(std::string& out) = 0;
    virtual status write_text(std::string_view text) = 0;
};

// A picture box: the drawing-surface operations a capture uses. Print
// returns nothing; a failure inside it is thrown.
class picture_box {
  public:
    virtual ~picture_box() = default;
    virtual status ScaleMode(std::int16_t mode) = 0;
    virtual status FontSize(float points) = 0;
    virtual status clear() = 0;
    virtual status CurrentX(float x) = 0;
    virtual status CurrentY(float y) = 0;
    virtual void Print(std::string_view text) = 0;
    virtual status Point(float x, float y, std::int32_t& colour) = 0;
};

}  // namespace glyph8
