// Standard input and output, font files, the program's path and the
// command line on Windows.
#include <windows.h>
// After windows.h, which they need.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "glyph8/utf8.hpp"
#include "io.hpp"

namespace glyph8::cli {

namespace {

// The count type of read() and write() is unsigned int here.
unsigned io_size(std::size_t n) {
    return static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30));
}

}  // namespace

std::ptrdiff_t fd_source::read(std::span<char> buffer, std::string& why) {
    for (;;) {
        const auto n = ::_read(fd_, buffer.data(), io_size(buffer.size()));
        if (n >= 0) {
            return n;
        }
        if (errno != EINTR) {
            why = std::strerror(errno);
            return -1;
        }
    }
}

// What a failed WriteFile means, in the C library's words.
int errno_of(DWORD error) {
    switch (error) {
        case ERROR_NO_DATA:  // the reading end of a pipe has gone
        case ERROR_BROKEN_PIPE:
        case ERROR_PIPE_NOT_CONNECTED:
            return EPIPE;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        default:
            return EIO;
    }
}

// WriteFile itself, not the C library's write, whose errno says EINVAL for
// a pipe that was closed.
bool fd_sink::write(std::string_view bytes, std::string& why) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    if (handle == INVALID_HANDLE_VALUE) {
        why = std::strerror(EBADF);
        return false;
    }
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), io_size(bytes.size()), &written, nullptr)) {
            why = std::strerror(errno_of(GetLastError()));
            return false;
        }
        if (written == 0) {
            why = "nothing was written";
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool read_file(const std::string& path, std::vector<unsigned char>& data, std::string& why) {
    // Wide names, so that any file name opens; binary, so that no byte is
    // translated. A folder cannot be opened at all here, so ask first.
    const std::wstring name = wide_from_utf8(path);
    struct _stat64 info {};
    if (_wstat64(name.c_str(), &info) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if ((info.st_mode & _S_IFMT) != _S_IFREG) {
        why = (info.st_mode & _S_IFMT) == _S_IFDIR ? std::strerror(EISDIR) : "not a regular file";
        return false;
    }
    const int fd = ::_wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    const bool read = read_whole(
        [fd](unsigned char* buffer, std::size_t size) {
            return static_cast<std::ptrdiff_t>(::_read(fd, buffer, io_size(size)));
        },
        data, why);
    ::_close(fd);
    return read;
}

std::string program_path() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) {
            return {};
        }
        if (n < name.size()) {
            name.resize(n);
            return utf8_from_wide(name);
        }
        name.resize(name.size() * 2);
    }
}

std::string argument_from_wide(std::wstring_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<char32_t>(text[i]);
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out += utf8_from_wide(text.substr(i, 2));
            ++i;
        } else if (high || low) {
            // Kept as the three bytes it would have been, which are not
            // UTF-8: the text is refused as on every other system.
            out += static_cast<char>(0xE0 | (unit >> 12));
            out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            out += utf8_from_wide(text.substr(i, 1));
        }
    }
    return out;
}

std::vector<std::string> arguments(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // argv comes through the ANSI code page, which turns 國 into '?'; the
    // wide command line has every character.
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        args.clear();
        for (int i = 1; i < count; ++i) {
            args.push_back(argument_from_wide(wide[i]));
        }
        LocalFree(wide);
    }
    // The same bytes as everywhere else: no CRLF, no end at a Ctrl+Z.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    return args;
}

}  // namespace glyph8::cli
