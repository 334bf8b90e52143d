// Process-wide set-up shared by the program and its GUI tests: names, the
// program's languages and the faces its captions and text boxes are drawn in.
#pragma once

#include <QApplication>
#include <QList>
#include <QLocale>
#include <QString>

namespace glyph8::window {

void setUpApplication(QApplication& app);

// The program's languages, first choice first: Chinese (Taiwan), then
// English (United States).
QList<QLocale> programLocales();

// Installs Qt's own translations (message box buttons, editing menus) for
// the first of the program's languages found in `dir`; English, the
// language Qt is written in, needs none. Returns the language used, as
// "zh_TW" or "en_US".
QString installTranslations(QApplication& app, const QString& dir);

// The face the window draws Chinese text in: the first Traditional Chinese
// screen face the system has, else the embedded outline face, registered
// with Qt. Never one of the 8-pixel faces, which are for `pic` only. Empty
// when none can be had.
QString chineseUiFamily();

// Registers the embedded outline face with Qt. Returns its family, or an
// empty string on failure.
QString registerEmbeddedCjkFont();

}  // namespace glyph8::window
