// Compares two parameter sets one field at a time, so that a failure names the parameter that differs.
#pragma once

#include <gtest/gtest.h>

#include "model/parameter_table.h"
#include "model/state.h"

namespace pelarin::testing {

inline void ExpectSameParameters(const Parameters& actual, const Parameters& expected) {
  for (const ParameterRow& row : kParameterRows)
    EXPECT_EQ(actual.*row.member, expected.*row.member) << "parameter " << row.name;
  EXPECT_EQ(actual.JsdMax1, expected.JsdMax1) << "JsdMax1";
  EXPECT_EQ(actual.JsdMax2, expected.JsdMax2) << "JsdMax2";
  EXPECT_EQ(actual.JsdMax3, expected.JsdMax3) << "JsdMax3";
}

}  // namespace pelarin::testing
