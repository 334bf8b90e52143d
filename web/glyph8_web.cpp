// The page's way into glyph8: the window's capture, the command line's run
// for everything else, and the uploader's client for the page to drive over
// Web Serial, called from JavaScript with UTF-8 strings. The page keeps no
// state here but the surface, the last results and the upload under way. No C++
// exception leaves this file: each entry point that can throw answers with
// a failure code instead, and the page then starts a fresh instance, the
// only way to give a grown WebAssembly memory back.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "glyph8/capture.hpp"
#include "glyph8/default_face.hpp"
#include "glyph8/display.hpp"
#include "glyph8/form1.hpp"
#include "glyph8/image.hpp"
#include "glyph8/intel_hex.hpp"
#include "glyph8/output.hpp"
#include "glyph8/upload.hpp"

// The licence texts, linked in from licences.S (web/CMakeLists.txt).
extern "C" const char glyph8_licence_texts[];

namespace {

// An upload: the client reads its bytes from `image`, which must outlive it.
struct upload_session {
    glyph8::output::flash_image image;
    std::optional<glyph8::upload::client> client;
    glyph8::upload::action next;
    glyph8::upload::problem refused;  // why it never started
};

struct page_state {
    glyph8::surface pic = glyph8::capture_surface(glyph8::make_default_typeface());
    glyph8::glyph window;
    std::string line;
    std::string out;
    std::string err;
    std::string form;
    upload_session upload;
};

page_state& state() {
    static page_state s;
    return s;
}

// What an entry point returns when it could not finish at all; the page
// knows these numbers (shell.html, failureTexts).
enum page_failure : int {
    failed_out_of_memory = -1,
    failed_exception = -2,
};

// The one place where C++ exceptions stop on their way to JavaScript.
template <typename Call>
int guarded(Call&& call) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return failed_out_of_memory;
    } catch (...) {
        return failed_exception;
    }
}

void append_json_string(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
}

// The displays and boards, for the batch panel's choices: the same table
// the command line's help and checks come from.
std::string displays_json() {
    namespace out = glyph8::output;
    std::string json = "\"displays\":[";
    for (const out::display& d : out::displays()) {
        json += json.back() == '[' ? "{" : ",{";
        json += "\"name\":";
        append_json_string(json, d.name);
        json += ",\"help\":";
        append_json_string(json, d.help);
        json += ",\"variants\":[";
        for (const out::display_variant& v : d.variants) {
            json += json.back() == '[' ? "" : ",";
            append_json_string(json, v.name);
        }
        json += "],\"modules\":" +
                std::to_string((d.options & out::takes_modules) != 0 ? d.most_modules : 0) +
                ",\"defaultModules\":" + std::to_string(d.default_modules) + ",\"motion\":" +
                (d.default_motion == out::motion::scroll ? "\"scroll\"" : "\"page\"") +
                ",\"step\":" + std::to_string(d.default_step_ms) +
                ",\"colour\":" + ((d.options & out::takes_colour) != 0 ? "true" : "false") +
                ",\"level\":";
        append_json_string(json, d.level.option);
        json += ",\"levelMost\":" + std::to_string(d.level.most) + ",\"addresses\":[";
        for (int a = d.address.first; !d.address.macro.empty() && a <= d.address.last; ++a) {
            json += (json.back() == '[' ? "" : ",") + std::to_string(a);
        }
        json += "]}";
    }
    json += "],\"arduinos\":[";
    for (const out::arduino_board& b : out::arduino_boards()) {
        json += json.back() == '[' ? "{" : ",{";
        json += "\"name\":";
        append_json_string(json, b.name);
        json += ",\"title\":";
        append_json_string(json, b.title);
        json += "}";
    }
    return json + "]";
}

const glyph8::upload::problem& upload_problem() {
    const upload_session& u = state().upload;
    return u.client ? u.client->problem() : u.refused;
}

std::string form_json() {
    namespace form = glyph8::form;
    std::string json = "{\"title\":";
    append_json_string(json, form::title);
    json += ",\"width\":" + std::to_string(form::client_width) +
            ",\"height\":" + std::to_string(form::client_height) +
            ",\"matrix\":{\"left\":" + std::to_string(form::matrix_left) +
            ",\"top\":" + std::to_string(form::matrix_top) +
            ",\"cell\":" + std::to_string(form::matrix_cell) + ",\"tooltip\":";
    append_json_string(json, form::matrix_tooltip);
    json += "},\"inputLimit\":" + std::to_string(form::input_limit) + ",\"cutNotice\":";
    append_json_string(json, form::input_cut_notice);
    json += ",\"led\":[" + std::to_string(glyph8::led_lit) + "," +
            std::to_string(glyph8::led_dark) + "," + std::to_string(glyph8::led_board) +
            "],\"controls\":[";
    for (const form::control& c : form::form1_controls) {
        json += json.back() == '[' ? "{" : ",{";
        json += "\"name\":";
        append_json_string(json, c.name);
        json += ",\"kind\":" + std::to_string(static_cast<int>(c.kind)) +
                ",\"left\":" + std::to_string(c.place.left) +
                ",\"top\":" + std::to_string(c.place.top) +
                ",\"width\":" + std::to_string(c.place.width) +
                ",\"height\":" + std::to_string(c.place.height) +
                ",\"tab\":" + std::to_string(c.tab_index) + ",\"text\":";
        append_json_string(json, c.text);
        json += std::string(",\"multiLine\":") + (c.multi_line ? "true" : "false") + "}";
    }
    return json + "]," + displays_json() + "}";
}

}  // namespace

extern "C" {

// Builds the surface and Form1 as JSON, for the page to build itself from:
// 0, or a page_failure.
EMSCRIPTEN_KEEPALIVE int glyph8_start() {
    return guarded([] {
        state().form = form_json();
        return 0;
    });
}
EMSCRIPTEN_KEEPALIVE const char* glyph8_form() {
    return state().form.c_str();
}

// glyph8's licence and those of the embedded fonts: a name, NUL, the text,
// NUL, and so on; an empty name ends the list.
EMSCRIPTEN_KEEPALIVE const char* glyph8_licences() {
    return glyph8_licence_texts;
}

// The click of Command1 on `text`: 0 and the line, 1 and what failed, or a
// page_failure.
EMSCRIPTEN_KEEPALIVE int glyph8_capture(const char* text) {
    return guarded([text] {
        page_state& s = state();
        glyph8::surface_box box(s.pic);
        glyph8::string_box input(text);
        glyph8::string_box output;
        if (const auto error = glyph8::run_capture(box, input, output, &s.window)) {
            s.line = glyph8::form::describe_failure(*error) + "\n" + error->message();
            return 1;
        }
        s.line = output.text();
        return 0;
    });
}
EMSCRIPTEN_KEEPALIVE const char* glyph8_line() {
    return state().line.c_str();
}
// The picture box's raster, 0xRRGGBB a pixel, row by row.
EMSCRIPTEN_KEEPALIVE const std::int32_t* glyph8_pixels() {
    return state().pic.pixels().data();
}
// The window as read: bit y * 8 + x, in two halves.
EMSCRIPTEN_KEEPALIVE std::uint32_t glyph8_window(int half) {
    return static_cast<std::uint32_t>(state().window.bits >> (half == 0 ? 0 : 32));
}

// glyph8-cli with `count` NUL-terminated arguments one after another and
// `input` as its standard input; the exit code, and the output and the
// messages after it; or a page_failure.
EMSCRIPTEN_KEEPALIVE int glyph8_run(const char* args, int count, const char* input,
                                    int input_size) {
    return guarded([=] {
        page_state& s = state();
        // The last run's results go first, so that they cannot be taken for
        // this one's, and their memory is there for this run.
        std::string().swap(s.out);
        std::string().swap(s.err);
        std::vector<std::string> list;
        const char* arg = args;
        for (int i = 0; i < count; ++i) {
            list.emplace_back(arg);
            arg += list.back().size() + 1;
        }
        glyph8::cli::string_source in(std::string(input, static_cast<std::size_t>(input_size)));
        glyph8::cli::string_sink out;
        std::ostringstream err;
        const int code = glyph8::cli::run(list, in, out, err);
        s.out = std::move(out.text);
        s.err = err.str();
        return code;
    });
}
EMSCRIPTEN_KEEPALIVE const char* glyph8_output() {
    return state().out.data();
}
EMSCRIPTEN_KEEPALIVE int glyph8_output_size() {
    return static_cast<int>(state().out.size());
}
EMSCRIPTEN_KEEPALIVE const char* glyph8_messages() {
    return state().err.c_str();
}

// How long the page holds DTR and RTS down to reset a board.
EMSCRIPTEN_KEEPALIVE int glyph8_upload_reset_pulse_ms() {
    return static_cast<int>(glyph8::upload::reset_pulse_ms);
}

// An upload of `hex` (Intel HEX, as glyph8-cli --intel-hex writes it) to
// the board `arduino` names (--arduino): 0 when the client is ready for
// glyph8_upload_advance, 1 when it cannot start (glyph8_upload_problem
// says why), or a page_failure. The last upload's state goes first.
EMSCRIPTEN_KEEPALIVE int glyph8_upload_start(const char* hex, int hex_size, const char* arduino,
                                             const char* display) {
    return guarded([=] {
        upload_session& u = state().upload;
        u = upload_session{};
        const glyph8::upload::board* board = glyph8::upload::board_named(arduino);
        if (board == nullptr) {
            u.refused = {glyph8::upload::error::bad_request,
                         "glyph8 cannot upload to the board " + std::string(arduino)};
            return 1;
        }
        std::string why;
        if (!glyph8::output::read_intel_hex(
                std::string_view(hex, static_cast<std::size_t>(hex_size)), u.image, why)) {
            u.refused = {glyph8::upload::error::bad_request, "the Intel HEX does not read: " + why};
            return 1;
        }
        glyph8::upload::request what;
        what.target = *board;
        what.address = u.image.address;
        what.bytes = u.image.bytes;
        // As --upload: the message alone when the board holds the program.
        const glyph8::output::display* d = glyph8::output::find_display(display);
        const glyph8::output::arduino_board* b = glyph8::output::find_arduino(arduino);
        const glyph8::output::board_image* program =
            d != nullptr && b != nullptr ? glyph8::output::find_board_image(*d, *b) : nullptr;
        if (program != nullptr && u.image.address == 0) {
            what.what = glyph8::upload::mode::update;
            what.keep_below = program->block_address();
        }
        u.client.emplace(what);
        return 0;
    });
}

// One step of the upload, with the clock and the bytes that came since the
// last: 1 once finished, else 0 and what to do next (glyph8_upload_reset,
// _send, _wait_ms); or a page_failure.
EMSCRIPTEN_KEEPALIVE int glyph8_upload_advance(double now_ms, const std::uint8_t* received,
                                               int size) {
    return guarded([=] {
        upload_session& u = state().upload;
        if (!u.client) {
            return 1;
        }
        u.next = u.client->advance(static_cast<std::uint64_t>(now_ms),
                                   {received, static_cast<std::size_t>(size)});
        return u.next.finished ? 1 : 0;
    });
}
EMSCRIPTEN_KEEPALIVE int glyph8_upload_reset() {
    return state().upload.next.reset ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE const std::uint8_t* glyph8_upload_send() {
    return state().upload.next.send.data();
}
EMSCRIPTEN_KEEPALIVE int glyph8_upload_send_size() {
    return static_cast<int>(state().upload.next.send.size());
}
EMSCRIPTEN_KEEPALIVE int glyph8_upload_wait_ms() {
    return static_cast<int>(state().upload.next.wait_ms);
}
EMSCRIPTEN_KEEPALIVE int glyph8_upload_pages_done() {
    const upload_session& u = state().upload;
    return u.client ? static_cast<int>(u.client->pages_done()) : 0;
}
EMSCRIPTEN_KEEPALIVE int glyph8_upload_pages() {
    const upload_session& u = state().upload;
    return u.client ? static_cast<int>(u.client->pages()) : 0;
}
// The problem: its kind ("" for none, else as upload.hpp names it) and its
// message.
EMSCRIPTEN_KEEPALIVE const char* glyph8_upload_problem() {
    // The page's table of texts (shell.html, uploadTexts) is keyed by these.
    const auto kind = upload_problem().kind;
    return kind == glyph8::upload::error::none ? "" : glyph8::upload::error_name(kind);
}
EMSCRIPTEN_KEEPALIVE const char* glyph8_upload_message() {
    return upload_problem().message.c_str();
}

}  // extern "C"
