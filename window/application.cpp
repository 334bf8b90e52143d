#include "application.hpp"

#include <QFontDatabase>
#include <QFontInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "glyph8/default_face.hpp"

namespace glyph8::window {

namespace {

// Traditional Chinese faces drawn for screens, best first. fontconfig may
// rank an 8-pixel face first for Chinese, so the window names its own.
constexpr const char* screenFaces[] = {
    "Noto Sans CJK TC", "Noto Sans TC",      "Source Han Sans TC", "AR PL UMing TW",
    "AR PL UKai TW",    "WenQuanYi Zen Hei", "Microsoft JhengHei", "PMingLiU",
};

}  // namespace

QList<QLocale> programLocales() {
    return {QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan),
            QLocale(QLocale::English, QLocale::UnitedStates)};
}

QString installTranslations(QApplication& app, const QString& dir) {
    for (const QLocale& locale : programLocales()) {
        if (locale.language() == QLocale::English) {
            return locale.name();
        }
        auto* translator = new QTranslator(&app);
        if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), dir)) {
            QApplication::installTranslator(translator);
            return locale.name();
        }
        delete translator;
    }
    return {};
}

QString registerEmbeddedCjkFont() {
    const face_source outline = default_face_sources()[default_outline_face];
    // The data live in the binary for the life of the process.
    const QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(outline.data.data()),
                                static_cast<qsizetype>(outline.data.size()));
    const int id = QFontDatabase::addApplicationFontFromData(data);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    return families.isEmpty() ? QString() : families.first();
}

QString chineseUiFamily() {
    static const QString family = [] {
        for (const char* name : screenFaces) {
            const QString candidate = QString::fromLatin1(name);
            if (QFontDatabase::hasFamily(candidate) &&
                QFontDatabase::isSmoothlyScalable(candidate)) {
                return candidate;
            }
        }
        return registerEmbeddedCjkFont();
    }();
    return family;
}

void setUpApplication(QApplication& app) {
    QLocale::setDefault(programLocales().first());
    installTranslations(app, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    // No display name: Qt would add it to a title that already starts with it.
    app.setApplicationName(QStringLiteral("glyph8"));
    app.setDesktopFileName(QStringLiteral("glyph8"));
    app.setWindowIcon(QIcon(QStringLiteral(":/glyph8/glyph8.png")));
    // Latin from the desktop's own face, Chinese from a screen face behind
    // it. The desktop face is named as resolved: an alias such as "Sans
    // Serif" would be skipped in a list of families.
    if (const QString chinese = chineseUiFamily(); !chinese.isEmpty()) {
        QFont font = QApplication::font();
        const QString desktop = QFontInfo(font).family();
        font.setFamilies(desktop == chinese ? QStringList{chinese} : QStringList{desktop, chinese});
        QApplication::setFont(font);
    }
}

}  // namespace glyph8::window
