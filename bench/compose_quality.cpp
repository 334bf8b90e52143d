// The composed face's quality harness (not a timed test).
//
// Leave-one-out: every ideograph that Misaki Gothic draws by hand is composed
// with its own glyph withheld from the pieces and compared with the hand-drawn
// glyph pixel by pixel, no shifting. Today's outline rendering (Droid Sans
// Fallback at 8 px) is scored on the same characters for comparison. Then
// docs/composed.png shows 100 frequent characters outside the hand-drawn face:
// each as the outline at 24 px, at 8 px from Droid, and composed.
//
//   glyph8_compose_quality [SHEET.png]
#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
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

constexpr const char* usage =
    "usage: glyph8_compose_quality [SHEET.png]\n"
    "Scores the composed face against Misaki Gothic's hand-drawn ideographs (leave-one-out)\n"
    "and writes the comparison sheet to SHEET.png (default docs/composed.png).\n";

}  // namespace

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h") {
        std::fputs(usage, stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    // A name starting with - is an option mistyped, not a sheet to write.
    if (argc > 2 || first.starts_with('-')) {
        std::fprintf(stderr, "glyph8_compose_quality: %s\n%s",
                     argc > 2 ? "one sheet at most" : ("unknown option " + first).c_str(), usage);
        return 2;
    }
    const std::string sheet = argc > 1 ? first : "docs/composed.png";
    const auto r = compose::default_recipe();
    const auto strike = compose::load_strike(r.bitmap_font);
    const auto tried = compose::leave_one_out(r, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<compose::bitmap_glyph> drawn_by_hand;
    std::vector<int> composed;
    for (const auto& g : tried) {
        const auto it =
            std::lower_bound(strike.begin(), strike.end(), g.code,
                             [](const compose::bitmap_glyph& s, char32_t c) { return s.code < c; });
        drawn_by_hand.push_back(*it);
        composed.push_back(distance(g.bitmap, it->bitmap));
    }
    const auto sources = default_face_sources();
    surface droid =
        capture_surface(std::make_shared<typeface>(std::vector{sources[default_outline_face]}));
    std::vector<int> outline;
    for (const auto& d : drawn_by_hand) {
        outline.push_back(distance(drawn(droid, d.code), d.bitmap));
    }
    std::printf("Leave-one-out over Misaki Gothic's ideographs (pixels of 64 that differ):\n");
    report("composed", composed);
    report("Droid Sans Fallback at 8 px", outline);

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
    return 0;
}
