// What went wrong, as the command line reports it: an exit code and a
// message. The program's name is added where the message is written, in one
// place (report()).
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace glyph8::cli {

// Exit codes: 0 done, 1 the capture failed, 2 bad usage or bad input,
// 3 the output could not be written; an upload: 4 the port cannot be used,
// 5 no bootloader answered (or it stopped), 6 another board than the one
// chosen, 7 the board's flash read back differs from what was written.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;
inline constexpr int exit_write = 3;
inline constexpr int exit_port = 4;
inline constexpr int exit_no_answer = 5;
inline constexpr int exit_wrong_board = 6;
inline constexpr int exit_verify = 7;

struct problem {
    int exit_code = exit_ok;
    std::string message;
    bool suggest_help = false;  // bad usage: point at --help

    explicit operator bool() const noexcept { return exit_code != exit_ok; }
};

inline problem usage_problem(std::string message) {
    return {exit_usage, std::move(message), true};
}
inline problem input_problem(std::string message) {
    return {exit_usage, std::move(message), false};
}

// Writes "glyph8-cli: MESSAGE" (and the pointer to --help) to `err`; returns
// the exit code.
int report(const problem& p, std::ostream& err);
// Writes "glyph8-cli: warning: MESSAGE".
void warn(std::string_view message, std::ostream& err);

// A value the user gave, fit to be shown in a message: control and
// invisible characters and bytes that are not UTF-8 escaped (\e, \x9B,
// \u{202E}), and anything past 60 characters cut, with the length said.
std::string shown(std::string_view value);
// A file name the user gave, shown as shown() does but with its backslashes
// as typed: on Windows they separate its folders.
std::string shown_path(std::string_view path);

}  // namespace glyph8::cli
