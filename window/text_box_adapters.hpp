// The capture's text boxes over Qt's editors. Qt keeps text as UTF-16; the
// capture takes UTF-8, and a lone surrogate arrives as U+FFFD.
#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>
#include <string>
#include <string_view>

#include "glyph8/controls.hpp"

namespace glyph8::window {

// A text box over any editor with a whole-text getter and setter.
template <class Edit, QString (Edit::*Get)() const, void (Edit::*Set)(const QString&)>
class EditorAdapter : public text_box {
  public:
    explicit EditorAdapter(Edit& edit) : edit_(edit) {}

    status read_text(std::string& out) override {
        const QByteArray bytes = (edit_.*Get)().toUtf8();
        out.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        return status::ok;
    }

    status write_text(std::string_view text) override {
        (edit_.*Set)(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        return status::ok;
    }

  private:
    Edit& edit_;
};

using LineEditAdapter = EditorAdapter<QLineEdit, &QLineEdit::text, &QLineEdit::setText>;
using PlainTextAdapter =
    EditorAdapter<QPlainTextEdit, &QPlainTextEdit::toPlainText, &QPlainTextEdit::setPlainText>;

}  // namespace glyph8::window
