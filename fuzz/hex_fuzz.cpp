// Arbitrary text as Intel HEX: the reader refuses it with a reason or reads
// an image that writes back and reads again as the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "glyph8/intel_hex.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace glyph8::output;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    flash_image image;
    std::string why;
    if (!read_intel_hex(text, image, why)) {
        if (why.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    if (image.bytes.size() > most_hex_span ||
        std::uint64_t{image.address} + image.bytes.size() > std::uint64_t{1} << 32) {
        __builtin_trap();
    }
    std::string again;
    write_intel_hex(again, image.address, image.bytes);
    flash_image back;
    if (!read_intel_hex(again, back, why) || back.address != image.address ||
        back.bytes != image.bytes) {
        __builtin_trap();
    }
    return 0;
}
