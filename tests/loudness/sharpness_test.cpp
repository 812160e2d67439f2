// Sharpness after DIN 45692 through the public interface.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/compare.h"
#include "varnholt.h"

namespace {

using varnholt::test::SENTINEL;
using varnholt::test::untouched;

// Sums of 240 terms of order 1: a few hundred ulps at the very most.
constexpr double SUM_ROUNDOFF = 1e-12;

double weight(double z) { return z <= 15.8 ? 1.0 : 0.15 * std::exp(0.42 * (z - 15.8)) + 0.85; }

double sharpness_of(const std::vector<double>& specific) {
  double s = SENTINEL;
  EXPECT_EQ(vh_sharpness_din(specific.data(), specific.size(), &s), VH_OK);
  return s;
}

TEST(Sharpness, SilenceIsZero) { EXPECT_EQ(sharpness_of(std::vector<double>(240, 0.0)), 0.0); }

TEST(Sharpness, ASingleEntryGivesItsWeightedBarkPosition) {
  for (std::size_t n = 0; n < 240; ++n) {
    std::vector<double> specific(240, 0.0);
    specific[n] = 0.37 + static_cast<double>(n);  // the height does not matter
    const double z = 0.1 * static_cast<double>(n + 1);
    EXPECT_NEAR(sharpness_of(specific), 0.11 * z * weight(z), SUM_ROUNDOFF) << "entry " << n;
  }
  std::vector<double> at_10_bark(240, 0.0);
  at_10_bark[99] = 2.0;
  EXPECT_NEAR(sharpness_of(at_10_bark), 1.1, SUM_ROUNDOFF);
}

TEST(Sharpness, IsIndependentOfTheOverallScale) {
  std::vector<double> specific(240);
  for (std::size_t n = 0; n < 240; ++n) specific[n] = 1.0 + std::sin(0.05 * static_cast<double>(n));
  const double reference = sharpness_of(specific);
  for (double factor : {1e-200, 1e-6, 0.3, 7.0, 1e6, 1e200}) {
    std::vector<double> scaled = specific;
    for (double& v : scaled) v *= factor;
    // Division by the peak brings both sums to the same scale: only the
    // rounding of the products differs, a few ulps.
    EXPECT_NEAR(sharpness_of(scaled), reference, 8 * std::numeric_limits<double>::epsilon() * reference)
        << "factor " << factor;
  }
}

TEST(Sharpness, GrowsWhenThePatternMovesUp) {
  double previous = 0.0;
  for (std::size_t shift = 0; shift <= 200; shift += 20) {
    std::vector<double> specific(240, 0.0);
    for (std::size_t n = shift; n < shift + 30 && n < 240; ++n) specific[n] = 1.0;
    const double s = sharpness_of(specific);
    EXPECT_GT(s, previous) << "shift " << shift;
    previous = s;
  }
}

TEST(Sharpness, WhiteNoiseLikePatternIsAboutTwoAcum) {
  // A flat pattern over the whole axis: the first moment alone gives
  // 0.11 * 12.05 = 1.33 acum, the high-band weighting lifts it further.
  const double s = sharpness_of(std::vector<double>(240, 1.0));
  EXPECT_GT(s, 1.33);
  EXPECT_LT(s, 3.0);
}

TEST(Sharpness, ChecksRunInTheDocumentedOrder) {
  std::vector<double> ok(240, 1.0);
  double out = SENTINEL;
  EXPECT_EQ(vh_sharpness_din(nullptr, 240, &out), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_sharpness_din(ok.data(), 240, nullptr), VH_ERR_NULL_POINTER);
  // A null pointer is reported before a wrong length.
  EXPECT_EQ(vh_sharpness_din(nullptr, 239, &out), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_sharpness_din(ok.data(), 239, &out), VH_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(vh_sharpness_din(ok.data(), 241, &out), VH_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(out, SENTINEL);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::size_t first;
    double first_value;
    std::size_t second;
    double second_value;
    vh_status expected;
  };
  const Case cases[] = {
      {10, nan, 20, -1.0, VH_ERR_NON_FINITE_INPUT},   // the NaN comes first
      {10, -1.0, 20, nan, VH_ERR_INVALID_ARGUMENT},   // the negative comes first
      {0, inf, 239, -1.0, VH_ERR_NON_FINITE_INPUT},
      {239, -inf, 0, 1.0, VH_ERR_NON_FINITE_INPUT},
      {5, -1e-300, 6, 1.0, VH_ERR_INVALID_ARGUMENT},
  };
  for (const auto& c : cases) {
    std::vector<double> specific(240, 1.0);
    specific[c.first] = c.first_value;
    specific[c.second] = c.second_value;
    double s = SENTINEL;
    EXPECT_EQ(vh_sharpness_din(specific.data(), 240, &s), c.expected) << "entry " << c.first;
    EXPECT_EQ(s, SENTINEL);
  }
}

TEST(Sharpness, NegativeZeroIsNotNegative) {
  std::vector<double> specific(240, -0.0);
  specific[50] = 1.0;
  EXPECT_NEAR(sharpness_of(specific), 0.11 * 5.1, SUM_ROUNDOFF);
}

}  // namespace
