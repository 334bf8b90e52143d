// The capture's text boxes over Qt's editors. Qt keeps text as UTF-16; the
// capture takes UTF-8, and a lone surrogate arrives as U+FFFD.
#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>

#include "glyph8/controls.hpp"

namespace glyph8::window {

class LineEditAdapter : public text_box {
  public:
    explicit LineEditAdapter(QLineEdit& edit) : edit_(edit) {}
    status read_text(std::string& out) override;
    status write_text(std::string_view text) override;

  private:
    QLineEdit& edit_;
};

class PlainTextAdapter : public text_box {
  public:
    explicit PlainTextAdapter(QPlainTextEdit& edit) : edit_(edit) {}
    status read_text(std::string& out) override;
    status write_text(std::string_view text) override;

  private:
    QPlainTextEdit& edit_;
};

}  // namespace glyph8::window
