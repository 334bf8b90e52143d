// One whole capture (prepare, draw, 64 pixel queries, format) per iteration.
#include <benchmark/benchmark.h>

#include <string>

#include "glyph8/capture.hpp"
#include "glyph8/default_face.hpp"

namespace {

void capture(benchmark::State& state, std::string text) {
    glyph8::surface pic = glyph8::capture_surface(glyph8::make_default_typeface());
    glyph8::surface_box box(pic);
    glyph8::string_box input(std::move(text));
    glyph8::string_box output;
    for (auto _ : state) {
        if (glyph8::run_capture(box, input, output)) {
            state.SkipWithError("capture failed");
            break;
        }
        benchmark::DoNotOptimize(output.text().data());
    }
}

std::string megabyte_of_text() {
    // Latin and Chinese mixed, as a pasted document would be.
    const std::string piece = "6 glyphs \xE5\x9C\x8B\xE8\xAA\xAA ";
    std::string text;
    while (text.size() < (1u << 20)) {
        text += piece;
    }
    text.resize(1u << 20);
    return text;
}

BENCHMARK_CAPTURE(capture, digit_six, std::string("6"));
BENCHMARK_CAPTURE(capture, guo_bitmap_face, std::string("\xE5\x9C\x8B"));
BENCHMARK_CAPTURE(capture, shuo_composed_face, std::string("\xE8\xAA\xAA"));
BENCHMARK_CAPTURE(capture, ni_composed_face, std::string("\xE4\xBD\xA0"));
BENCHMARK_CAPTURE(capture, parenthesized_one_outline_face, std::string("\xE3\x88\xA0"));
BENCHMARK_CAPTURE(capture, one_mebibyte, megabyte_of_text());

}  // namespace

BENCHMARK_MAIN();
