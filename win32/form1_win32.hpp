// Form1 in the Win32 API: the same five controls as the Qt window, built
// from the same description, over the same capture and surface.
//
// Controls are created in tab order, so that IsDialogMessage in the message
// loop walks them with Tab and Shift+Tab and sends Enter to Command1, the
// default button. Captions and boxes use the embedded outline face,
// registered in memory, so Chinese shows on a system without Chinese fonts.
#pragma once

#include <windows.h>

#include <memory>

#include "glyph8/capture.hpp"

namespace glyph8::win32 {

inline constexpr wchar_t form1_class[] = L"glyph8.Form1";

class form1 {
  public:
    // Registers the window classes and the embedded face; creates and shows
    // the window. Throws std::runtime_error when Windows refuses.
    form1(HINSTANCE instance, int show);
    ~form1();
    form1(const form1&) = delete;
    form1& operator=(const form1&) = delete;

    HWND handle() const noexcept;
    // Runs the message loop until the window is closed; returns the exit code.
    int run();

  private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

}  // namespace glyph8::win32
