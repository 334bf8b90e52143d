// Reads Form1 from outside, as assistive tools do, for the window's tests:
//   glyph8_probe text NAME    the control's text, UTF-8
//   glyph8_probe rect NAME    its place on the screen: left top width height
//   glyph8_probe focus        the name of the control with the keyboard focus
//   glyph8_probe list         every child window: id, class and text
//   glyph8_probe limit NAME   how many characters the edit control takes
// Waits up to five seconds for the window. Exit 1 when it cannot answer.
#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "form1_win32.hpp"
#include "glyph8/form1.hpp"
#include "glyph8/utf8.hpp"

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    HWND form = nullptr;
    for (int i = 0; i < 50 && form == nullptr; ++i) {
        form = FindWindowW(glyph8::win32::form1_class, nullptr);
        if (form == nullptr) {
            Sleep(100);
        }
    }
    if (form == nullptr || argc < 2) {
        return 1;
    }
    const std::string command = glyph8::utf8_from_wide(argv[1]);
    if (command == "focus") {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &info)) {
            return 1;
        }
        const int id = GetDlgCtrlID(info.hwndFocus);
        for (const auto& c : glyph8::form::form1_controls) {
            if (c.id == id) {
                std::printf("%.*s\n", static_cast<int>(c.name.size()), c.name.data());
                return 0;
            }
        }
        std::printf("?\n");
        return 0;
    }
    if (command == "list") {
        EnumChildWindows(
            form,
            [](HWND child, LPARAM) -> BOOL {
                wchar_t cls[64];
                GetClassNameW(child, cls, 64);
                wchar_t text[256] = {};
                SendMessageW(child, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
                std::printf("%d %s [%s]\n", GetDlgCtrlID(child),
                            glyph8::utf8_from_wide(cls).c_str(),
                            glyph8::utf8_from_wide(text).c_str());
                return TRUE;
            },
            0);
        return 0;
    }
    if (argc < 3) {
        return 1;
    }
    HWND control = GetDlgItem(form, glyph8::form::find(glyph8::utf8_from_wide(argv[2])).id);
    if (control == nullptr) {
        return 1;
    }
    if (command == "text") {
        const auto length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        const auto got = SendMessageW(control, WM_GETTEXT, static_cast<WPARAM>(length + 1),
                                      reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(got));
        std::fputs((glyph8::utf8_from_wide(text) + "\n").c_str(), stdout);
        return 0;
    }
    if (command == "limit") {
        std::printf("%u\n", static_cast<unsigned>(SendMessageW(control, EM_GETLIMITTEXT, 0, 0)));
        return 0;
    }
    if (command == "rect") {
        RECT r;
        GetWindowRect(control, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    return 1;
}
