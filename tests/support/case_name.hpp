// SPDX-License-Identifier: MIT
#pragma once

#include <cctype>
#include <string>

#include <gtest/gtest.h>

namespace corvalen::test {

// Names a parameterised case after its `name` field, in the characters that
// GoogleTest allows.
struct CaseName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& param) const {
        std::string name = param.param.name;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    }
};

} // namespace corvalen::test
