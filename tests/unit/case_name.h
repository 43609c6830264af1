// Names a parameterised test after its case's `name` field.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& test) const {
        return test.param.name;
    }
};

