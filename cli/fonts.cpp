#include "fonts.hpp"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

#include "glyph8/capture.hpp"
#include "glyph8/default_face.hpp"
#include "glyph8/version.hpp"

namespace glyph8::cli {

namespace {

// Where the licence texts are, if they are installed beside this program.
std::string installed_licence_dir() {
    const std::string program = program_path();
    if (program.empty()) {
        return {};
    }
    const std::filesystem::path exe(std::u8string(program.begin(), program.end()));
    const std::filesystem::path dir =
        (exe.parent_path() / font_licence_dir_from_program).lexically_normal();
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        return {};
    }
    const auto text = dir.u8string();
    return std::string(text.begin(), text.end());
}

problem check_font(const std::string& path, const face_source& source) {
    face_info info;
    const status probed = probe_face(source, info);
    if (!info.damage.empty()) {
        return input_problem(shown_path(path) + ": damaged font (" + info.damage + ")");
    }
    if (probed != status::ok) {
        return input_problem(shown_path(path) +
                             ": not a font file that can be read (TrueType, OpenType, BDF or PCF)");
    }
    if (!info.charset.empty()) {
        return input_problem(shown_path(path) + ": its characters are not Unicode (" +
                             shown(info.charset) +
                             "), and glyph8 looks characters up by Unicode; none could be drawn");
    }
    const bool has_strike = std::find(info.strike_sizes.begin(), info.strike_sizes.end(),
                                      font_size_points) != info.strike_sizes.end();
    const bool unreadable_size = std::any_of(info.strike_sizes.begin(), info.strike_sizes.end(),
                                             [](int px) { return px <= 0; });
    if (!info.scalable && unreadable_size) {
        return input_problem(shown_path(path) +
                             ": bitmap font whose pixel size cannot be read (its PIXEL_SIZE, "
                             "FONT_ASCENT or FONT_DESCENT is out of range)");
    }
    if (!info.scalable && !has_strike) {
        std::string sizes;
        for (const int s : info.strike_sizes) {
            sizes += (sizes.empty() ? "" : ", ") + std::to_string(s);
        }
        return input_problem(shown_path(path) + ": bitmap font without an 8 px size (it has " +
                             sizes + " px); glyphs are drawn at 8 pt, 8 px");
    }
    return {};
}

}  // namespace

problem load_fonts(const std::vector<std::string>& paths, const file_reader& read,
                   std::vector<face_source>& faces) {
    std::set<std::string> loaded;
    for (const std::string& path : paths) {
        // A file given again adds nothing: the first copy already answers
        // for every character it has.
        if (!loaded.insert(path).second) {
            continue;
        }
        auto data = std::make_shared<std::vector<unsigned char>>();
        std::string why;
        if (!read(path, *data, why)) {
            return input_problem(shown_path(path) + ": " + why);
        }
        face_source source{path, "", std::span<const unsigned char>(*data), data};
        if (problem p = check_font(path, source)) {
            return p;
        }
        faces.push_back(std::move(source));
    }
    return {};
}

std::string version_text() {
    std::string text = "glyph8-cli ";
    text += version;
    text += "\nCopyright 2026 The glyph8 developers; released under the MIT licence.";
    text += "\nDefault face, embedded (glyphs come from the first face that has them):\n";
    const auto faces = default_face_sources();
    for (std::size_t i = 0; i < faces.size(); ++i) {
        text +=
            "  " + std::to_string(i + 1) + ". " + faces[i].name + " (" + faces[i].licence + ")\n";
    }
    if (const std::string dir = installed_licence_dir(); !dir.empty()) {
        text += "The fonts' licence texts are in " + dir + "\n";
    } else {
        text += "The fonts' licence texts are not installed beside this copy of glyph8-cli.\n";
    }
    return text;
}

}  // namespace glyph8::cli
