// Array comparison for tests: one assertion that reports the worst element.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace varnholt::test {

// Passes when |actual[i] - expected[i]| <= abs_tol + rel_tol * |expected[i]|
// for every i; otherwise names the worst index, both values and the error.
::testing::AssertionResult arrays_near(const double* actual, const double* expected,
                                       std::size_t count, double abs_tol, double rel_tol);

inline ::testing::AssertionResult arrays_near(const std::vector<double>& actual,
                                              const std::vector<double>& expected,
                                              double abs_tol, double rel_tol) {
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << "sizes differ: " << actual.size() << " vs " << expected.size();
  }
  return arrays_near(actual.data(), expected.data(), actual.size(), abs_tol, rel_tol);
}

// Bit-for-bit equality of two arrays (NaN payloads and signed zeros included).
::testing::AssertionResult arrays_identical(const std::vector<double>& a,
                                            const std::vector<double>& b);

// A value no computation produces, for filling outputs that must stay untouched.
inline constexpr double SENTINEL = -12345.678;

// True when every element still holds SENTINEL.
::testing::AssertionResult untouched(const std::vector<double>& x);

}  // namespace varnholt::test
