#include <unistd.h>

#include <iostream>

#include "cli.hpp"
#include "glyph8/utf8.hpp"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
#if defined(_WIN32)
    // argv comes through the ANSI code page, which turns 國 into '?'; the
    // wide command line has every character.
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        args.clear();
        for (int i = 1; i < count; ++i) {
            args.push_back(glyph8::utf8_from_wide(wide[i]));
        }
        LocalFree(wide);
    }
    // The same bytes as everywhere else: no CRLF, no end at a Ctrl+Z.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
#endif
    glyph8::cli::fd_source in(STDIN_FILENO);
    glyph8::cli::fd_sink out(STDOUT_FILENO);
    return glyph8::cli::run(args, in, out, std::cerr);
}
