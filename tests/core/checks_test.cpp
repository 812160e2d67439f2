// The shared argument checks: every branch and the order of validate_signal.
#include "core/checks.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace varnholt {
namespace {

TEST(IsFiniteValue, AcceptsTheWholeFiniteRangeAndNothingElse) {
  EXPECT_TRUE(is_finite_value(0.0));
  EXPECT_TRUE(is_finite_value(-0.0));
  EXPECT_TRUE(is_finite_value(DBL_MAX));
  EXPECT_TRUE(is_finite_value(-DBL_MAX));
  EXPECT_TRUE(is_finite_value(std::numeric_limits<double>::denorm_min()));
  EXPECT_FALSE(is_finite_value(std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(is_finite_value(-std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(is_finite_value(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(is_finite_value(-std::numeric_limits<double>::quiet_NaN()));
}

TEST(IsValidSoundField, OnlyZeroAndOne) {
  EXPECT_TRUE(is_valid_sound_field(VH_SOUND_FIELD_FREE));
  EXPECT_TRUE(is_valid_sound_field(VH_SOUND_FIELD_DIFFUSE));
  EXPECT_FALSE(is_valid_sound_field(2));
  EXPECT_FALSE(is_valid_sound_field(-1));
  EXPECT_FALSE(is_valid_sound_field(std::numeric_limits<std::int32_t>::min()));
  EXPECT_FALSE(is_valid_sound_field(std::numeric_limits<std::int32_t>::max()));
}

TEST(CheckedMul, DetectsOverflowAndLeavesTheOutputAlone) {
  std::uint64_t out = 77;
  EXPECT_FALSE(checked_mul(1ULL << 32, 1ULL << 32, &out));
  EXPECT_EQ(out, 77U);
  EXPECT_TRUE(checked_mul(UINT64_MAX, 0, &out));
  EXPECT_EQ(out, 0U);
  EXPECT_TRUE(checked_mul(0, UINT64_MAX, &out));
  EXPECT_EQ(out, 0U);
  EXPECT_TRUE(checked_mul(UINT64_MAX, 1, &out));
  EXPECT_EQ(out, UINT64_MAX);
  // The largest exact product just fits; one more does not.
  EXPECT_TRUE(checked_mul(UINT64_MAX / 3, 3, &out));
  EXPECT_EQ(out, UINT64_MAX);
  EXPECT_FALSE(checked_mul(UINT64_MAX / 3 + 1, 3, &out));
  EXPECT_FALSE(checked_mul(2, 3, nullptr));
}

TEST(ValidateSignal, ChecksInTheDocumentedOrder) {
  const std::vector<double> ok(4, 0.5);
  // Null pointer first, even with a zero count and a wrong rate.
  EXPECT_EQ(validate_signal(nullptr, 0, 44100), VH_ERR_NULL_POINTER);
  // Zero count before the rate.
  EXPECT_EQ(validate_signal(ok.data(), 0, 44100), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_EQ(validate_signal(ok.data(), 1, 44100), VH_ERR_INVALID_SAMPLE_RATE);
  // A count whose byte size would overflow is refused before any sample is read.
  EXPECT_EQ(validate_signal(ok.data(), MAX_SIGNAL_COUNT + 1, 48000), VH_ERR_SIZE_OVERFLOW);
  EXPECT_EQ(validate_signal(ok.data(), UINT64_MAX, 48000), VH_ERR_SIZE_OVERFLOW);
  EXPECT_EQ(validate_signal(ok.data(), ok.size(), 48000), VH_OK);
}

TEST(ValidateSignal, FindsNonFiniteSamplesAnywhere) {
  for (double bad : {std::nan(""), static_cast<double>(INFINITY), -static_cast<double>(INFINITY)}) {
    for (std::size_t at : {std::size_t{0}, std::size_t{5}, std::size_t{9}}) {
      std::vector<double> x(10, 0.1);
      x[at] = bad;
      EXPECT_EQ(validate_signal(x.data(), x.size(), 48000), VH_ERR_NON_FINITE_INPUT)
          << "bad value at " << at;
      // A count that stops before the bad sample never sees it.
      EXPECT_EQ(validate_signal(x.data(), at, 48000), at == 0 ? VH_ERR_INPUT_TOO_SHORT : VH_OK);
    }
  }
}

TEST(OptionalOutput, NullNeedsZeroLengthAndDataNeedsEnough) {
  double buffer[4] = {};
  EXPECT_TRUE(optional_output_fits(nullptr, 0, 240));
  EXPECT_FALSE(optional_output_fits(nullptr, 240, 240));
  EXPECT_FALSE(optional_output_fits(buffer, 239, 240));
  EXPECT_TRUE(optional_output_fits(buffer, 240, 240));
  EXPECT_TRUE(optional_output_fits(buffer, 1000, 240));
}

TEST(CompareAscending, SortsWithQsort) {
  std::vector<double> x = {3.0, -1.0, 2.5, -0.0, 0.0, 1e300, -1e-300};
  std::qsort(x.data(), x.size(), sizeof(double), compare_ascending);
  for (std::size_t i = 1; i < x.size(); ++i) EXPECT_LE(x[i - 1], x[i]);
  const double a = 1.0, b = 2.0;
  EXPECT_EQ(compare_ascending(&a, &b), -1);
  EXPECT_EQ(compare_ascending(&b, &a), 1);
  EXPECT_EQ(compare_ascending(&a, &a), 0);
}

}  // namespace
}  // namespace varnholt
