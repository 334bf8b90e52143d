#include "text_box_adapters.hpp"

namespace glyph8::window {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void toUtf8(const QString& text, std::string& out) {
    const QByteArray bytes = text.toUtf8();
    out.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

status LineEditAdapter::read_text(std::string& out) {
    toUtf8(edit_.text(), out);
    return status::ok;
}

status LineEditAdapter::write_text(std::string_view text) {
    edit_.setText(fromUtf8(text));
    return status::ok;
}

status PlainTextAdapter::read_text(std::string& out) {
    toUtf8(edit_.toPlainText(), out);
    return status::ok;
}

status PlainTextAdapter::write_text(std::string_view text) {
    edit_.setPlainText(fromUtf8(text));
    return status::ok;
}

}  // namespace glyph8::window
