// Status codes returned by every surface and control operation.
//
// The core never throws for an expected failure: each operation returns a
// status that the caller tests right after the call.
#pragma once

#include <cstdint>
#include <string_view>

namespace glyph8 {

enum class status : std::uint8_t {
    ok = 0,
    invalid_value,  // a value the property cannot take (NaN, negative size, ...)
    unsupported,    // a value the property could take elsewhere but not here
    out_of_memory,
    failed,  // any other failure of the control
};

// A short English phrase for messages ("invalid value").
std::string_view describe(status s) noexcept;

}  // namespace glyph8
