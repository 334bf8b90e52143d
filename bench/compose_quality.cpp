// The composed face's quality harness (not a timed test).
//
// Leave-one-out: every ideograph that Misaki Gothic draws by hand is composed
// with its own glyph withheld from the pieces and compared with the hand-drawn
// glyph pixel by pixel, no shifting. The views' compositions are made one by
// the pixel model, learned 5-fold: each glyph by a model learned from the
// other four fifths, so that no glyph is scored by a model that saw it; the
// plain majority of the views is scored beside it. Today's outline rendering (Droid Sans
// Fallback at 8 px) is scored on the same characters for comparison.
//
// Pixels off count every pixel alike; a reader cares whether the character
// can still be told apart from the others. So each glyph is also looked up
// among the references of all the hand-drawn characters: cwTeX Q Hei Bold,
// a face that neither the composer nor its learning sees, in a heavy sans
// style close to the hand-drawn one, at 8 px. A glyph is recognised when its
// own character's reference is the nearest. The composed glyphs' rate over
// the hand-drawn glyphs' rate says how much legibility composing costs.
//
// Then docs/composed.png shows 100 frequent characters outside the
// hand-drawn face: each as the outline at 24 px, at 8 px from Droid, and
// composed; and docs/composed_frequent.png the 48 composed characters that
// Debian's Traditional Chinese message catalogues use most: the outline at
// 24 px, the face given by --before (default: the one built in) and the one
// built in.
//
//   glyph8_compose_quality [--before FACE.pcf] [--frequent N] [SHEET.png]
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "glyph8/capture.hpp"
#include "glyph8/compose.hpp"
#include "glyph8/default_face.hpp"
#include "glyph8/surface.hpp"
#include "glyph8/utf8.hpp"

namespace {

using namespace glyph8;

// The 29 most frequent Traditional characters that Misaki Gothic lacks, then
// 71 more: Big5 characters outside it by Unihan's kFrequency, then code point.
constexpr const char* sheet_text =
    "說你她產內德步每辦呢擊增嗎查吧歷另眾黑夠黃絕值狀晚哪卡您沉"
    "份啊啦喔妳幫檔貓錄吳唉啟啥嗯嘻嘿囉徵懂搞歲溫碟緣腳趕跑丌丟么伙佈佔俠俱偷傢傻厲吵咖咦咧咪咱"
    "哎唬唷啡啪喂喵嗨圾垃壢奶妮姊寬彥悅戶扯拋拖拼挖撐撿擋";

std::string utf8(char32_t c) {
    std::string s;
    append_utf8(s, c);
    return s;
}

// The sampling window of `c` drawn alone on `pic`.
glyph drawn(surface& pic, char32_t c) {
    pic.clear();
    pic.Print(utf8(c));
    glyph out;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            std::int32_t colour = 0;
            pic.Point(static_cast<float>(x), static_cast<float>(y + 1), colour);
            if (colour == surface::ink) {
                out = out.with_ink(x, y);
            }
        }
    }
    return out;
}

void report(const char* name, std::vector<int> errors) {
    std::sort(errors.begin(), errors.end());
    double sum = 0;
    std::size_t within6 = 0, within10 = 0;
    for (int e : errors) {
        sum += e;
        within6 += e <= 6 ? 1 : 0;
        within10 += e <= 10 ? 1 : 0;
    }
    const double n = static_cast<double>(errors.size());
    std::printf(
        "%-28s %5zu characters  mean %5.2f  median %2d  within 6: %5.1f%%  within 10: %5.1f%%\n",
        name, errors.size(), sum / n, errors[errors.size() / 2], 100.0 * within6 / n,
        100.0 * within10 / n);
}

// A PNG of 8-bit grey pixels, with stored (uncompressed) deflate blocks.
void write_png(const std::string& path, int width, int height,
               const std::vector<unsigned char>& grey) {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[i] = c;
    }
    std::vector<unsigned char> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto be32 = [](std::vector<unsigned char>& v, std::uint32_t x) {
        for (int s = 24; s >= 0; s -= 8) {
            v.push_back(static_cast<unsigned char>(x >> s));
        }
    };
    auto chunk = [&](const char* type, const std::vector<unsigned char>& data) {
        be32(file, static_cast<std::uint32_t>(data.size()));
        std::vector<unsigned char> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        std::uint32_t crc = 0xFFFFFFFFu;
        for (unsigned char b : body) {
            crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
        }
        file.insert(file.end(), body.begin(), body.end());
        be32(file, crc ^ 0xFFFFFFFFu);
    };
    std::vector<unsigned char> header;
    be32(header, static_cast<std::uint32_t>(width));
    be32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 0, 0, 0, 0});  // 8-bit grey
    chunk("IHDR", header);
    std::vector<unsigned char> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        raw.insert(raw.end(), grey.begin() + static_cast<std::ptrdiff_t>(y) * width,
                   grey.begin() + static_cast<std::ptrdiff_t>(y + 1) * width);
    }
    std::vector<unsigned char> z = {0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t pos = 0; pos < raw.size() || pos == 0;) {
        const std::size_t len = std::min<std::size_t>(65535, raw.size() - pos);
        z.push_back(pos + len == raw.size() ? 1 : 0);
        z.push_back(static_cast<unsigned char>(len & 0xFF));
        z.push_back(static_cast<unsigned char>(len >> 8));
        z.push_back(static_cast<unsigned char>(~len & 0xFF));
        z.push_back(static_cast<unsigned char>((~len >> 8) & 0xFF));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                 raw.begin() + static_cast<std::ptrdiff_t>(pos + len));
        pos += len;
        if (len == 0) {
            break;
        }
    }
    be32(z, (b << 16) | a);
    chunk("IDAT", z);
    chunk("IEND", {});
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

// Recognition: the reference face, unseen by the composer.
// Folds of the pixel model's held-out test.
constexpr std::size_t folds = 5;

constexpr const char* reference_font = "/usr/share/fonts/truetype/cwtex/cwheib.ttf";

// A shape to compare: each pixel with some of its neighbours' weight (so a
// stroke one pixel off still counts), less the mean, scaled to a fixed length.
using shape = std::array<std::int32_t, 64>;

shape make_shape(const std::array<int, 64>& level) {
    std::array<double, 64> b{};
    double mean = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            double sum = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    if (x + dx >= 0 && x + dx < 8 && y + dy >= 0 && y + dy < 8) {
                        sum += (dx == 0 ? 2 : 1) * (dy == 0 ? 2 : 1) *
                               level[static_cast<std::size_t>((y + dy) * 8 + x + dx)];
                    }
                }
            }
            b[static_cast<std::size_t>(y * 8 + x)] = sum;
            mean += sum / 64;
        }
    }
    double norm = 0;
    for (double& v : b) {
        v -= mean;
        norm += v * v;
    }
    norm = std::sqrt(norm);
    shape out{};
    for (std::size_t i = 0; i < 64; ++i) {
        out[i] = norm > 0 ? static_cast<std::int32_t>(std::lround(b[i] / norm * 4096)) : 0;
    }
    return out;
}

shape make_shape(glyph8::glyph g) {
    std::array<int, 64> level{};
    for (int i = 0; i < 64; ++i) {
        level[static_cast<std::size_t>(i)] = g.ink(i % 8, i / 8) ? 15 : 0;
    }
    return make_shape(level);
}

// How many of `glyphs` have their own reference (same index) nearest, and
// how many have it among the `near` nearest.
std::pair<std::size_t, std::size_t> recognised(const std::vector<glyph8::glyph>& glyphs,
                                               const std::vector<shape>& refs, std::size_t near) {
    std::size_t first = 0, among = 0;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const shape s = make_shape(glyphs[i]);
        auto score = [&](std::size_t j) {
            std::int64_t dot = 0;
            for (std::size_t k = 0; k < 64; ++k) {
                dot += s[k] * refs[j][k];
            }
            return dot;
        };
        const std::int64_t own = score(i);
        std::size_t closer = 0;
        for (std::size_t j = 0; j < refs.size() && closer < near; ++j) {
            closer += j != i && score(j) > own ? 1 : 0;
        }
        first += closer == 0 ? 1 : 0;
        among += closer < near ? 1 : 0;
    }
    return {first, among};
}

// Characters of the translations in every message catalogue in `dir`, counted.
std::map<char32_t, long> catalogue_counts(const std::string& dir) {
    std::map<char32_t, long> counts;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.path().extension() != ".mo") {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string mo((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
        auto word = [&](std::size_t at) -> std::uint32_t {
            if (at + 4 > mo.size()) {
                return 0;
            }
            std::uint32_t v = 0;
            for (int k = 3; k >= 0; --k) {
                v = (v << 8) | static_cast<unsigned char>(mo[at + static_cast<std::size_t>(k)]);
            }
            return v;
        };
        if (word(0) != 0x950412deu) {
            continue;  // not a little-endian catalogue; Debian's all are
        }
        const std::uint32_t n = word(8);
        const std::uint32_t table = word(16);
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t len = word(table + 8 * i);
            const std::uint32_t at = word(table + 8 * i + 4);
            if (std::size_t{at} + len > mo.size()) {
                break;
            }
            const std::string_view text(mo.data() + at, len);
            for (std::size_t pos = 0; pos < text.size();) {
                ++counts[decode_utf8(text, pos)];
            }
        }
    }
    return counts;
}

constexpr const char* usage =
    "usage: glyph8_compose_quality [--before FACE.pcf] [--frequent N] [SHEET.png]\n"
    "Scores the composed face against Misaki Gothic's hand-drawn ideographs (leave-one-out),\n"
    "in pixels and in how often cwTeX Q Hei recognises them, and writes the comparison sheet\n"
    "to SHEET.png (default docs/composed.png) and the 48 composed characters most used by\n"
    "Debian's zh_TW messages (N of them with --frequent) to SHEET_frequent.png: outline,\n"
    "FACE.pcf (default: the face built in) and the face built in.\n";

}  // namespace

int main(int argc, char** argv) {
    std::string sheet = "docs/composed.png";
    std::string before;
    std::size_t most = 48;
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
        const char* problem = nullptr;
        if (arg == "--before") {
            if (i + 1 < argc) {
                before = argv[++i];
                continue;
            }
            problem = "--before needs a face";
        } else if (arg == "--frequent") {
            if (i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
                most = static_cast<std::size_t>(std::atoi(argv[++i]));
                continue;
            }
            problem = "--frequent needs a count";
        } else if (arg.starts_with('-')) {
            // A name starting with - is an option mistyped, not a sheet to write.
            problem = "unknown option";
        } else if (named) {
            problem = "one sheet at most";
        }
        if (problem != nullptr) {
            std::fprintf(stderr, "glyph8_compose_quality: %s%s\n%s", problem,
                         arg.starts_with('-') && arg != "--before" && arg != "--frequent"
                             ? (" " + arg).c_str()
                             : "",
                         usage);
            return 2;
        }
        sheet = arg;
        named = true;
    }
    const auto r = compose::default_recipe();
    const auto strike = compose::load_strike(r.bitmap_font);
    const auto seen =
        compose::leave_one_out_views(r, std::max(1u, std::thread::hardware_concurrency()));
    const auto truth = compose::drawn_by_hand(seen, strike);
    // The pixel model is scored k-fold: each glyph by a model learned
    // without it, so that no glyph is scored by a model that saw it.
    std::vector<glyph8::glyph> learned(seen.size());
    for (std::size_t k = 0; k < folds; ++k) {
        std::vector<compose::seen_glyph> train;
        std::vector<glyph8::glyph> train_truth;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            if (i % folds != k) {
                train.push_back(seen[i]);
                train_truth.push_back(truth[i]);
            }
        }
        const auto m = compose::train_pixel_model(train, train_truth, compose::pixel_ridge);
        for (std::size_t i = k; i < seen.size(); i += folds) {
            learned[i] = m.draw(seen[i]);
        }
    }
    std::vector<compose::bitmap_glyph> drawn_by_hand;
    std::vector<int> composed, majority;
    std::vector<output::font_glyph> tried;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        drawn_by_hand.push_back({seen[i].code, 0, truth[i]});
        tried.push_back({seen[i].code, learned[i]});
        composed.push_back(distance(learned[i], truth[i]));
        majority.push_back(distance(compose::blend(seen[i].parts), truth[i]));
    }
    const auto sources = default_face_sources();
    surface droid =
        capture_surface(std::make_shared<typeface>(std::vector{sources[default_outline_face]}));
    std::vector<int> outline;
    for (const auto& d : drawn_by_hand) {
        outline.push_back(distance(drawn(droid, d.code), d.bitmap));
    }
    std::printf("Leave-one-out over Misaki Gothic's ideographs (pixels of 64 that differ):\n");
    report("composed, learned (5-fold)", composed);
    report("composed, majority", majority);
    report("Droid Sans Fallback at 8 px", outline);

    // Recognition among the characters the reference face has.
    compose::settings plain;
    plain.blur = 0;
    const compose::outline_face reference(reference_font, 0, strike, plain);
    std::vector<shape> refs;
    std::vector<glyph8::glyph> by_hand, by_composer;
    std::vector<std::uint8_t> f(reference.feature_size());
    const std::size_t block = f.size() / 64;
    for (std::size_t i = 0; i < tried.size(); ++i) {
        if (!reference.features(tried[i].code, f)) {
            continue;
        }
        std::array<int, 64> level{};
        for (std::size_t k = 0; k < f.size(); ++k) {
            level[k / block] += f[k];
        }
        refs.push_back(make_shape(level));
        by_hand.push_back(drawn_by_hand[i].bitmap);
        by_composer.push_back(tried[i].bitmap);
    }
    constexpr std::size_t near = 10;
    const auto hand_hits = recognised(by_hand, refs, near);
    const auto composed_hits = recognised(by_composer, refs, near);
    const auto total = static_cast<double>(refs.size());
    std::printf("Recognised by cwTeX Q Hei Bold at 8 px among %zu characters:\n", refs.size());
    std::printf("  nearest:          hand-drawn %5.1f%%  composed %5.1f%%  ratio %.3f\n",
                100.0 * static_cast<double>(hand_hits.first) / total,
                100.0 * static_cast<double>(composed_hits.first) / total,
                static_cast<double>(composed_hits.first) / static_cast<double>(hand_hits.first));
    std::printf("  among %2zu nearest: hand-drawn %5.1f%%  composed %5.1f%%  ratio %.3f\n", near,
                100.0 * static_cast<double>(hand_hits.second) / total,
                100.0 * static_cast<double>(composed_hits.second) / total,
                static_cast<double>(composed_hits.second) / static_cast<double>(hand_hits.second));

    // The sheet: 10 x 10 entries of outline at 24 px | Droid 8 px | composed.
    surface full = capture_surface(make_default_typeface());
    surface big =
        capture_surface(std::make_shared<typeface>(std::vector{sources[default_outline_face]}));
    big.FontSize(24.0f);
    constexpr int scale = 3, glyph = 8 * scale, gap = 6, entry = 3 * glyph + 4 * gap;
    const int width = 10 * entry, height = 10 * (glyph + 2 * gap);
    std::vector<unsigned char> grey(static_cast<std::size_t>(width * height), 255);
    std::vector<char32_t> chars;
    for (std::size_t pos = 0; pos < std::char_traits<char>::length(sheet_text);) {
        chars.push_back(decode_utf8(sheet_text, pos));
    }
    for (std::size_t i = 0; i < chars.size() && i < 100; ++i) {
        const int ox = static_cast<int>(i % 10) * entry + gap;
        const int oy = static_cast<int>(i / 10) * (glyph + 2 * gap) + gap;
        auto plot = [&](int x, int y, unsigned char v) {
            grey[static_cast<std::size_t>(y * width + x)] = v;
        };
        big.clear();
        big.Print(utf8(chars[i]));
        for (int y = 0; y < glyph; ++y) {
            for (int x = 0; x < glyph; ++x) {
                std::int32_t colour = 0;
                big.Point(static_cast<float>(x), static_cast<float>(y + 3), colour);
                plot(ox + x, oy + y, colour == surface::ink ? 0 : 255);
            }
        }
        const glyph8::glyph glyphs[2] = {drawn(droid, chars[i]), drawn(full, chars[i])};
        for (int k = 0; k < 2; ++k) {
            const int gx = ox + (k + 1) * (glyph + gap);
            for (int y = 0; y < glyph; ++y) {
                for (int x = 0; x < glyph; ++x) {
                    const bool on = glyphs[k].ink(x / scale, y / scale);
                    plot(gx + x, oy + y, on ? (k == 0 ? 110 : 0) : 232);
                }
            }
        }
    }
    write_png(sheet, width, height, grey);
    std::printf("wrote %s\n", sheet.c_str());

    // The composed characters that Debian's Traditional Chinese messages use
    // most, by count, then code point.
    std::vector<std::pair<long, char32_t>> ranked;
    for (const auto& [c, n] : catalogue_counts("/usr/share/locale/zh_TW/LC_MESSAGES")) {
        const auto at =
            std::lower_bound(strike.begin(), strike.end(), c,
                             [](const compose::bitmap_glyph& s, char32_t k) { return s.code < k; });
        const bool hand = at != strike.end() && at->code == c;
        if (compose::is_composable(c) && !hand) {
            ranked.emplace_back(-n, c);
        }
    }
    std::sort(ranked.begin(), ranked.end());
    ranked.resize(std::min(ranked.size(), most));
    std::string listed;
    for (const auto& [n, c] : ranked) {
        listed += utf8(c) + " " + std::to_string(-n) + "  ";
    }
    std::printf("Most used composed characters in zh_TW messages: %s\n", listed.c_str());
    auto chain = default_face_sources();
    if (!before.empty()) {
        std::ifstream in(before, std::ios::binary);
        auto data = std::make_shared<std::vector<unsigned char>>(
            (std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "glyph8_compose_quality: cannot read %s\n", before.c_str());
            return 1;
        }
        chain[default_composed_face] = {before, "", std::span<const unsigned char>(*data), data};
    }
    surface old = capture_surface(std::make_shared<typeface>(chain));
    const int columns = most > 48 ? 12 : 8;
    const int fwidth = columns * entry;
    const int rows = (static_cast<int>(ranked.size()) + columns - 1) / columns;
    const int fheight = rows * (glyph + 2 * gap);
    std::vector<unsigned char> fgrey(static_cast<std::size_t>(fwidth * fheight), 255);
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        const char32_t c = ranked[i].second;
        const int ox = static_cast<int>(i % columns) * entry + gap;
        const int oy = static_cast<int>(i / columns) * (glyph + 2 * gap) + gap;
        auto plot = [&](int x, int y, unsigned char v) {
            fgrey[static_cast<std::size_t>(y * fwidth + x)] = v;
        };
        big.clear();
        big.Print(utf8(c));
        for (int y = 0; y < glyph; ++y) {
            for (int x = 0; x < glyph; ++x) {
                std::int32_t colour = 0;
                big.Point(static_cast<float>(x), static_cast<float>(y + 3), colour);
                plot(ox + x, oy + y, colour == surface::ink ? 0 : 255);
            }
        }
        const glyph8::glyph glyphs[2] = {drawn(old, c), drawn(full, c)};
        for (int k = 0; k < 2; ++k) {
            const int gx = ox + (k + 1) * (glyph + gap);
            for (int y = 0; y < glyph; ++y) {
                for (int x = 0; x < glyph; ++x) {
                    const bool on = glyphs[k].ink(x / scale, y / scale);
                    plot(gx + x, oy + y, on ? (k == 0 ? 110 : 0) : 232);
                }
            }
        }
    }
    std::string frequent = sheet;
    if (frequent.ends_with(".png")) {
        frequent.resize(frequent.size() - 4);
    }
    frequent += "_frequent.png";
    write_png(frequent, fwidth, fheight, fgrey);
    std::printf("wrote %s\n", frequent.c_str());
    return 0;
}
