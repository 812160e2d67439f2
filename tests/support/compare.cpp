// Array comparison helpers for tests.
#include "support/compare.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace varnholt::test {

::testing::AssertionResult arrays_near(const double* actual, const double* expected,
                                       std::size_t count, double abs_tol, double rel_tol) {
  std::size_t worst = 0;
  double worst_excess = 0.0;
  bool failed = false;
  for (std::size_t i = 0; i < count; ++i) {
    const double error = std::fabs(actual[i] - expected[i]);
    const double allowed = abs_tol + rel_tol * std::fabs(expected[i]);
    const double excess = std::isnan(error) ? std::numeric_limits<double>::infinity() : error - allowed;
    if (excess > 0.0 && (!failed || excess > worst_excess)) {
      failed = true;
      worst = i;
      worst_excess = excess;
    }
  }
  if (!failed) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "worst element " << worst << " of " << count << ": actual " << actual[worst]
         << ", expected " << expected[worst] << ", error "
         << std::fabs(actual[worst] - expected[worst]) << " (abs_tol " << abs_tol
         << ", rel_tol " << rel_tol << ")";
}

::testing::AssertionResult arrays_identical(const std::vector<double>& a,
                                            const std::vector<double>& b) {
  if (a.size() != b.size()) {
    return ::testing::AssertionFailure() << "sizes differ: " << a.size() << " vs " << b.size();
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) {
      return ::testing::AssertionFailure()
             << "first difference at " << i << ": " << a[i] << " vs " << b[i];
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult untouched(const std::vector<double>& x) {
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (std::memcmp(&x[i], &SENTINEL, sizeof(double)) != 0) {
      return ::testing::AssertionFailure() << "element " << i << " was written: " << x[i];
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace varnholt::test
