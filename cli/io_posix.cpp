// Standard input and output, font files and the program's path on POSIX
// systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "io.hpp"

namespace glyph8::cli {

std::ptrdiff_t fd_source::read(std::span<char> buffer, std::string& why) {
    for (;;) {
        const auto n = ::read(fd_, buffer.data(), buffer.size());
        if (n >= 0) {
            return n;
        }
        if (errno != EINTR) {
            why = std::strerror(errno);
            return -1;
        }
    }
}

bool fd_sink::write(std::string_view bytes, std::string& why) {
    while (!bytes.empty()) {
        const auto n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            why = n < 0 ? std::strerror(errno) : "nothing was written";
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool read_file(const std::string& path, std::vector<unsigned char>& data, std::string& why) {
    // Non-blocking, so that opening a FIFO returns at once; it is then refused.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        ::close(fd);
        return false;
    }
    const bool read = read_whole(
        [fd](unsigned char* buffer, std::size_t size) {
            for (;;) {
                const auto n = ::read(fd, buffer, size);
                if (n >= 0 || errno != EINTR) {
                    return static_cast<std::ptrdiff_t>(n);
                }
            }
        },
        data, why);
    ::close(fd);
    return read;
}

std::string program_path() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::vector<std::string> arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace glyph8::cli
