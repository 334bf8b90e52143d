// Where the command line's bytes come from and go to. The classes over file
// descriptors and the few calls that differ by system live in io_posix.cpp
// and io_win32.cpp; everything else is the same everywhere.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace glyph8::cli {

// Where the text comes from when it is not an argument.
class source {
  public:
    virtual ~source() = default;
    // Up to buffer.size() bytes; 0 at the end; -1 on failure, with the reason
    // in `why` ("Is a directory").
    virtual std::ptrdiff_t read(std::span<char> buffer, std::string& why) = 0;
};

// Where the output goes.
class sink {
  public:
    virtual ~sink() = default;
    // Writes all of `bytes`, or returns false with the reason in `why`.
    virtual bool write(std::string_view bytes, std::string& why) = 0;
};

// A file descriptor as source or sink (standard input and output).
class fd_source : public source {
  public:
    explicit fd_source(int fd) : fd_(fd) {}
    std::ptrdiff_t read(std::span<char> buffer, std::string& why) override;

  private:
    int fd_;
};
class fd_sink : public sink {
  public:
    explicit fd_sink(int fd) : fd_(fd) {}
    bool write(std::string_view bytes, std::string& why) override;

  private:
    int fd_;
};

// In memory, for tests.
class string_source : public source {
  public:
    explicit string_source(std::string text) : text_(std::move(text)) {}
    std::ptrdiff_t read(std::span<char> buffer, std::string& why) override;

  private:
    std::string text_;
    std::size_t pos_ = 0;
};
class string_sink : public sink {
  public:
    bool write(std::string_view bytes, std::string& why) override;
    std::string text;
};

// Far beyond any font file; stops a mistaken path from eating memory.
inline constexpr std::size_t largest_font_file = 64u << 20;

// Reads a whole font file into `data`; on failure returns false with the
// reason in `why` ("No such file or directory"). Only regular files are
// read, so a FIFO or a device never blocks the program.
using file_reader = std::function<bool(const std::string& path, std::vector<unsigned char>& data,
                                       std::string& why)>;
bool read_file(const std::string& path, std::vector<unsigned char>& data, std::string& why);

// For read_file on each system: all that `read_some` gives (a count, 0 at
// the end, -1 with errno set), refused past largest_font_file.
bool read_whole(const std::function<std::ptrdiff_t(unsigned char*, std::size_t)>& read_some,
                std::vector<unsigned char>& data, std::string& why);

// The running program's own file, as UTF-8; empty when it cannot be told.
std::string program_path();

// The arguments as UTF-8, without the program's name, and standard input
// and output set to pass bytes unchanged.
std::vector<std::string> arguments(int argc, char** argv);

#if defined(_WIN32)
// A UTF-16 argument as UTF-8; a lone surrogate keeps its three bytes, which
// are not UTF-8, so that it is refused as invalid text is elsewhere.
std::string argument_from_wide(std::wstring_view text);
#endif

}  // namespace glyph8::cli
