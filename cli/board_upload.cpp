#include "board_upload.hpp"

#include <chrono>
#include <cstdio>
#include <functional>
#include <ostream>

#include "glyph8/image.hpp"
#include "serial.hpp"

namespace glyph8::cli {

namespace {

int exit_code_of(upload::error e) {
    switch (e) {
        case upload::error::no_such_port:
        case upload::error::no_permission:
        case upload::error::not_a_serial_port:
        case upload::error::port_failed:
            return exit_port;
        case upload::error::signature_mismatch:
            return exit_wrong_board;
        case upload::error::verify_mismatch:
            return exit_verify;
        case upload::error::bad_request:
            return exit_failure;
        default:
            return exit_no_answer;
    }
}

std::string seconds_since(std::chrono::steady_clock::time_point start) {
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", s);
    return text;
}

// Says how far the writing is, a line every quarter.
class progress_lines {
  public:
    explicit progress_lines(std::ostream& err) : err_(err) {}
    void operator()(std::uint32_t done, std::uint32_t total) {
        const std::uint32_t quarter = total == 0 ? 4 : done * 4 / total;
        if (quarter > told_) {
            told_ = quarter;
            warn_free("  " + std::to_string(done) + " of " + std::to_string(total) +
                      " pages read or written");
        }
    }

  private:
    void warn_free(const std::string& line) {
        err_ << "glyph8-cli: " << line << '\n' << std::flush;
    }
    std::ostream& err_;
    std::uint32_t told_ = 0;
};

void say(std::ostream& err, const std::string& line) {
    err << "glyph8-cli: " << line << '\n' << std::flush;
}

std::span<const std::uint8_t> padded(std::vector<std::uint8_t>& bytes, std::uint32_t page) {
    bytes.resize((bytes.size() + page - 1) / page * page, 0xFF);
    return bytes;
}

}  // namespace

problem upload_message(const std::string& port, const output::message_strip& strip,
                       const output::matrix_settings& m, std::ostream& err) {
    output::upload_image image;
    if (const std::string why = output::make_upload_image(strip, m, image); !why.empty()) {
        return input_problem(why);
    }
    const upload::board* target = upload::board_named(m.arduino->name);
    if (target == nullptr) {
        return input_problem("glyph8 uploads to an Uno or a Mega 2560, not to --arduino " +
                             std::string(m.arduino->name));
    }
    const upload::board& board = *target;
    const auto start = std::chrono::steady_clock::now();
    const std::size_t block_size = image.bytes.size() - image.block_address;
    // The program is the same for every message: when the board holds it,
    // only the block is written. The Mega's bootloader writes whole images.
    std::vector<std::uint8_t> bytes = image.bytes;
    const upload::request what{board, 0, padded(bytes, board.page_size), upload::mode::update,
                               image.block_address};
    say(err, "writing the message (" + std::to_string(block_size) + " bytes) and, unless the " +
                 std::string(board.name) + " holds it already, glyph8's program for " +
                 std::string(m.shown_on->name) + " (" + std::to_string(image.code_size) +
                 " bytes), to " + port);
    upload::outcome outcome;
    progress_lines progress(err);
    if (upload::problem p = upload_to_port(port, what, std::ref(progress), outcome)) {
        return {exit_code_of(p.kind), p.message};
    }
    say(err, std::string(outcome.same ? "the message alone was written (the board held the "
                                        "program)"
                                      : "the program and the message were written") +
                 ", in " + seconds_since(start) + ": the board shows the message now");
    return {};
}

}  // namespace glyph8::cli
