#include "application.hpp"

#include <QFontDatabase>
#include <QIcon>
#include <QLocale>

#include "glyph8/default_face.hpp"

namespace glyph8::window {

QString useEmbeddedCjkFont() {
    const face_source outline = default_face_sources()[default_outline_face];
    // The data live in the binary for the life of the process.
    const QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(outline.data.data()),
                                static_cast<qsizetype>(outline.data.size()));
    const int id = QFontDatabase::addApplicationFontFromData(data);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty()) {
        return {};
    }
    QFont font = QApplication::font();
    QStringList chain = font.families();
    if (chain.isEmpty()) {
        chain << font.family();
    }
    chain << families.first();
    font.setFamilies(chain);
    QApplication::setFont(font);
    return families.first();
}

void setUpApplication(QApplication& app) {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::Taiwan));
    app.setApplicationName(QStringLiteral("glyph8"));
    app.setApplicationDisplayName(QStringLiteral("glyph8"));
    app.setDesktopFileName(QStringLiteral("glyph8"));
    app.setWindowIcon(QIcon(QStringLiteral(":/glyph8/glyph8.png")));
    if (QFontDatabase::families(QFontDatabase::TraditionalChinese).isEmpty()) {
        useEmbeddedCjkFont();
    }
}

}  // namespace glyph8::window
