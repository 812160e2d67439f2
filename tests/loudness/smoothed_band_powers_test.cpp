// The smoothed third-octave band powers: the two compiled copies of the
// per-sample loop agree bit for bit, and the finiteness verdict sees every
// sample that is not finite or whose square overflows.
#include "loudness/smoothed_band_powers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "core/wide_vectors.h"
#include "support/compare.h"
#include "support/signals.h"

namespace varnholt {
namespace {

std::vector<double> smoothed(const SmoothedBandPowers& powers) {
  return std::vector<double>(powers.smoothed(), powers.smoothed() + THIRD_OCTAVE_BAND_COUNT);
}

TEST(SmoothedBandPowers, TheFourLaneCopyMatchesTheTwoLaneCopy) {
  if (!wide_vectors_available()) GTEST_SKIP() << "this processor has no AVX2";
  // Noise reaches every band, the tone drives one hard; the uneven chunk
  // lengths cross the vector loops' ends at different places.
  std::vector<double> x = test::white_noise(70.0, 4800, 3);
  const std::vector<double> tone = test::sine(1000.0, 90.0, 4800);
  x.insert(x.end(), tone.begin(), tone.end());
  SmoothedBandPowers two;
  SmoothedBandPowers four;
  std::size_t at = 0;
  for (std::size_t chunk = 1; at < x.size(); chunk = chunk % 37 + 5) {
    const std::size_t n = std::min(chunk, x.size() - at);
    two.push_baseline(x.data() + at, n);
    four.push_wide(x.data() + at, n);
    at += n;
    ASSERT_TRUE(test::arrays_identical(smoothed(two), smoothed(four))) << "after sample " << at;
  }
}

TEST(SmoothedBandPowers, EveryNonFiniteSquareIsSeen) {
  // A sample that is NaN, infinite, or finite with an overflowing square,
  // early or just before the verdict is read, leaves the verdict false for
  // good; ordinary samples keep it true.
  const double bad_samples[] = {std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(), 1e300};
  for (const double bad : bad_samples) {
    for (const std::size_t position : {std::size_t{0}, std::size_t{95}}) {
      std::vector<double> x = test::white_noise(60.0, 96, 5);
      x[position] = bad;
      SmoothedBandPowers powers;
      powers.push(x.data(), x.size());
      EXPECT_FALSE(powers.all_finite()) << bad << " at " << position;
      const std::vector<double> quiet(960, 0.0);
      powers.push(quiet.data(), quiet.size());
      EXPECT_FALSE(powers.all_finite()) << bad << " at " << position << ", later";
    }
  }
  SmoothedBandPowers loud;
  const std::vector<double> x = test::sine(1000.0, 140.0, 4800);
  loud.push(x.data(), x.size());
  EXPECT_TRUE(loud.all_finite());
}

}  // namespace
}  // namespace varnholt
