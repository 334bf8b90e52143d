// glyph8-cli: the capture without a window, for scripts and batch work.
//
// `run` is the whole program over an explicit input, output and way to read
// font files, so tests and the fuzz target drive it in-process; main() only
// wires it to the process's file descriptors. Standard input is read, checked
// and decoded as a stream, so memory stays bounded whatever its size.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace glyph8::cli {

// Exit codes: 0 done, 1 the capture failed, 2 bad usage or bad input,
// 3 the output could not be written.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;
inline constexpr int exit_write = 3;

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

// Reads a whole font file into `data`; on failure returns false with the
// reason in `why` ("No such file or directory"). Only regular files are
// read, so a FIFO or a device never blocks the program.
using file_reader = std::function<bool(const std::string& path, std::vector<unsigned char>& data,
                                       std::string& why)>;

bool read_file(const std::string& path, std::vector<unsigned char>& data, std::string& why);

// `args` excludes the program name. Standard input is read only when the
// text is to come from it. Messages go to `err`.
int run(const std::vector<std::string>& args, source& in, sink& out, std::ostream& err,
        const file_reader& read = read_file);

}  // namespace glyph8::cli
