#include "cli.hpp"

#include <algorithm>
#include <memory>
#include <ostream>

#include "board_upload.hpp"
#include "fonts.hpp"
#include "glyph8/capture.hpp"
#include "glyph8/message.hpp"
#include "glyph8/utf8.hpp"
#include "options.hpp"
#include "text_input.hpp"

namespace glyph8::cli {

namespace {

// Output is handed to the sink in pieces of about this size.
constexpr std::size_t write_chunk = 64u << 10;

// Collects output and hands it on in large pieces; the first failure ends
// the run.
class output_buffer : public output::stream {
  public:
    explicit output_buffer(sink& out) : out_(out) {}
    problem maybe_flush() { return text().size() < write_chunk ? problem{} : flush_problem(); }
    problem flush_problem() {
        flush();
        return failure_;
    }
    bool flush() override {
        std::string why;
        if (failure_) {
            return false;
        }
        if (!text().empty() && !out_.write(text(), why)) {
            failure_ = {exit_write, "cannot write the output: " + why};
            return false;
        }
        text().clear();
        return true;
    }

  private:
    sink& out_;
    problem failure_;
};

// Draws texts on a surface like the window's and reads their glyphs back,
// warning once of each character no font has and of each damaged font.
class capturer {
  public:
    // The first `user_fonts` faces are the user's files, named in warnings.
    capturer(std::vector<face_source> faces, std::size_t user_fonts, std::ostream& err)
        : names_(names_of(faces, user_fonts)),
          face_(std::make_shared<typeface>(std::move(faces))),
          pic_(picture_width, picture_height, face_),
          box_(pic_),
          err_(err) {}

    // Characters past this many (not counting controls) never reach the
    // surface, so the rest of a long text need not be kept.
    std::size_t reach() const { return pic_.glyph_limit(); }

    problem capture(std::string text, glyph& window) {
        string_box input(std::move(text));
        string_box output;
        if (const capture_result result = run_capture(box_, input, output, &window)) {
            return {exit_failure, result->message()};
        }
        warn_missing(pic_.missing());
        const auto& failures = face_->load_failures();
        for (; failures_reported_ < failures.size(); ++failures_reported_) {
            const auto& f = failures[failures_reported_];
            if (f.face < names_.size()) {
                warn(shown_path(names_[f.face]) + ": damaged font (the glyph of " +
                         output::describe_character(f.code) +
                         " cannot be loaded; it is drawn from the next font)",
                     err_);
            }
        }
        return {};
    }

    // The whole text in one line, for a message on LED matrices.
    problem draw_message(const std::string& text, output::message_strip& strip) {
        std::vector<char32_t> missing;
        if (!glyph8::draw_message(face_, text, strip, missing)) {
            return input_problem("the message is too long (more than " +
                                 std::to_string(longest_message_columns) + " columns)");
        }
        warn_missing(missing);
        return {};
    }

    // Says how many more characters no font has than were named.
    void finish() {
        if (unlisted_ > 0) {
            warn("... and " + std::to_string(unlisted_) + " more character" +
                     (unlisted_ > 1 ? "s" : "") + " no font has",
                 err_);
        }
    }

  private:
    // The first few characters no font has are named; the rest counted.
    void warn_missing(const std::vector<char32_t>& missing) {
        for (const char32_t c : missing) {
            // Allocated at the first one: most runs never need it.
            if (warned_.empty()) {
                warned_.resize(0x110000);
            }
            if (warned_[c]) {
                continue;
            }
            warned_[c] = true;
            if (listed_ < listed_limit) {
                warn("no font has " + output::describe_character(c) + "; drawn as a box", err_);
                ++listed_;
            } else {
                ++unlisted_;
            }
        }
    }

    static std::vector<std::string> names_of(const std::vector<face_source>& faces,
                                             std::size_t count) {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < count; ++i) {
            names.push_back(faces[i].name);
        }
        return names;
    }

    std::vector<std::string> names_;
    std::shared_ptr<typeface> face_;
    surface pic_;
    surface_box box_;
    std::ostream& err_;
    static constexpr std::size_t listed_limit = 20;
    std::vector<bool> warned_;  // by code point
    std::size_t listed_ = 0;
    std::size_t unlisted_ = 0;
    std::size_t failures_reported_ = 0;
};

// What the format draws: the whole text once, or each distinct character.
problem draw(const request& r, const text_keeper& keep, capturer& cap, output_buffer& buffer,
             std::ostream& err) {
    const output::format& format = *r.format;
    const output::settings& settings = r.settings;
    std::string& out = buffer.text();
    glyph window;
    if (format.draws == output::input::message) {
        output::message_strip strip;
        if (keep.cut()) {
            return input_problem("the message is too long (more than " +
                                 std::to_string(longest_message_columns) + " characters)");
        }
        if (problem p = cap.draw_message(keep.text(), strip)) {
            return p;
        }
        if (strip.columns.empty()) {
            return input_problem("the text has no character to draw");
        }
        if (!r.upload_port.empty()) {
            return upload_message(r.upload_port, strip, settings.matrix, err);
        }
        const auto writer = format.make_message(settings);
        if (const std::string why = writer->write(buffer, strip, keep.text()); !why.empty()) {
            return input_problem(why);
        }
        return buffer.flush_problem();
    }
    const auto writer = format.make_glyphs(settings);
    if (format.draws == output::input::whole_text) {
        if (problem p = cap.capture(keep.text(), window)) {
            return p;
        }
        writer->add(out, 0, window);
        return buffer.flush_problem();
    }
    std::vector<char32_t> characters = keep.characters();
    if (characters.empty()) {
        return input_problem("the text has no character to draw");
    }
    if (format.always_adds != 0 &&
        std::find(characters.begin(), characters.end(), format.always_adds) == characters.end()) {
        characters.push_back(format.always_adds);
    }
    if (format.most_characters != 0 && characters.size() > format.most_characters) {
        return input_problem("--" + std::string(format.name) + " holds at most " +
                             std::to_string(format.most_characters) + " characters; the text has " +
                             std::to_string(characters.size()));
    }
    writer->begin(out, characters.size());
    std::string one;
    for (const char32_t c : characters) {
        one.clear();
        append_utf8(one, c);
        if (problem p = cap.capture(one, window)) {
            return p;
        }
        writer->add(out, c, window);
        if (problem p = buffer.maybe_flush()) {
            return p;
        }
    }
    writer->end(out);
    return buffer.flush_problem();
}

problem run_request(request& r, source& in, sink& out, std::ostream& err, const file_reader& read) {
    output_buffer buffer(out);
    if (r.help || r.version) {
        buffer.text() = r.help ? usage_text() : version_text();
        return buffer.flush_problem();
    }
    std::vector<face_source> faces;
    if (problem p = load_fonts(r.fonts, read, faces)) {
        return p;
    }
    const std::size_t user_fonts = faces.size();
    for (auto& source : default_face_sources(r.composed)) {
        faces.push_back(std::move(source));
    }
    // Faces open only when a glyph needs them, so this costs nothing yet.
    capturer cap(std::move(faces), user_fonts, err);
    // A message is kept whole: it is drawn in one line however long.
    const bool message = r.format->draws == output::input::message;
    text_keeper keep(r.format->draws == output::input::each_character,
                     message ? longest_message_columns : cap.reach(), message);
    string_source argument(std::move(r.text));
    if (problem p = read_text(r.from_stdin ? in : argument, keep)) {
        return p;
    }
    problem p = draw(r, keep, cap, buffer, err);
    cap.finish();
    return p;
}

}  // namespace

int run(const std::vector<std::string>& args, source& in, sink& out, std::ostream& err,
        const file_reader& read) {
    request r;
    problem p = parse_options(args, r);
    if (!p) {
        p = run_request(r, in, out, err, read);
    }
    return p ? report(p, err) : exit_ok;
}

}  // namespace glyph8::cli
