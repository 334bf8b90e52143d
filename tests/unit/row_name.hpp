// Names parameterised test rows after their `name` field.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace glyph8::testing_support {

struct row_name {
    template <class Row>
    std::string operator()(const testing::TestParamInfo<Row>& row) const {
        return row.param.name;
    }
};

}  // namespace glyph8::testing_support
