#include <windows.h>

#include <exception>

#include "form1_win32.hpp"
#include "glyph8/utf8.hpp"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    try {
        glyph8::win32::form1 form(instance, show);
        return form.run();
    } catch (const std::exception& e) {
        MessageBoxW(nullptr, glyph8::wide_from_utf8(e.what()).c_str(), L"glyph8",
                    MB_ICONERROR | MB_OK);
        return 1;
    }
}
