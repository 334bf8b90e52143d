// Process-wide set-up shared by the program and its GUI tests: names, the
// Chinese (Taiwan) locale and a font for the Chinese captions.
#pragma once

#include <QApplication>

namespace glyph8::window {

void setUpApplication(QApplication& app);

// Registers the embedded CJK face with Qt and puts it behind the default
// font; used when the system has no Traditional Chinese font. Returns the
// registered family, or an empty string on failure.
QString useEmbeddedCjkFont();

}  // namespace glyph8::window
