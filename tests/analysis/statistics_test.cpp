// Summaries of frame series: mean, maximum, percentiles, N5, loudness level.
#include "analysis/statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/loudness_level.h"

namespace {

using namespace varnholt::analysis;

// A few roundings of short sums and one interpolation.
constexpr double ROUNDOFF = 1e-12;

TEST(Statistics, EmptySeriesGiveZero) {
  const std::vector<double> none;
  EXPECT_EQ(mean(none), 0.0);
  EXPECT_EQ(maximum(none), 0.0);
  EXPECT_EQ(percentile(none, 90.0), 0.0);
  EXPECT_EQ(index_of_maximum(none), 0u);
}

TEST(Statistics, MeanAndMaximumOfAKnownSeries) {
  const std::vector<double> x = {3.0, -1.0, 7.0, 7.0, 2.0};
  EXPECT_NEAR(mean(x), 3.6, ROUNDOFF);
  EXPECT_EQ(maximum(x), 7.0);
  EXPECT_EQ(index_of_maximum(x), 2u);  // the first of equal maxima
}

TEST(Statistics, PercentilesInterpolateBetweenOrderStatistics) {
  // 1 ... 100 in scrambled order: rank p/100 * 99 lands between two values.
  std::vector<double> x;
  for (int i = 0; i < 100; ++i) x.push_back(static_cast<double>((i * 37) % 100 + 1));
  EXPECT_NEAR(percentile(x, 0.0), 1.0, ROUNDOFF);
  EXPECT_NEAR(percentile(x, 100.0), 100.0, ROUNDOFF);
  EXPECT_NEAR(percentile(x, 50.0), 50.5, ROUNDOFF);
  EXPECT_NEAR(percentile(x, 90.0), 90.1, ROUNDOFF);
  EXPECT_NEAR(percent_exceeded(x, 5.0), 95.05, ROUNDOFF);
  EXPECT_EQ(percentile(std::vector<double>{4.25}, 90.0), 4.25);
}

TEST(Statistics, N5IsExceededInFivePercentOfTheFrames) {
  // 1000 frames: 950 quiet ones at 1 sone and 50 loud ones at 9 sone. The
  // value exceeded 5 % of the time lies between the two groups.
  std::vector<double> loudness(1000, 1.0);
  for (std::size_t i = 0; i < 50; ++i) loudness[i * 20 + 3] = 9.0;
  const double n5 = percent_exceeded(loudness, 5.0);
  std::size_t above = 0;
  for (double v : loudness) above += v > n5;
  EXPECT_LE(above, 50u);
  EXPECT_GE(n5, 1.0);
  EXPECT_LE(n5, 9.0);
}

TEST(Statistics, FirstFrameFromATime) {
  const std::vector<double> t = {0.0, 0.1, 0.2, 0.3, 0.4};
  EXPECT_EQ(first_frame_from(t, 0.0), 0u);
  EXPECT_EQ(first_frame_from(t, 0.25), 3u);
  EXPECT_EQ(first_frame_from(t, 0.3), 3u);
  EXPECT_EQ(first_frame_from(t, 9.0), 5u);
}

TEST(LoudnessLevel, FortyPhonIsOneSoneAndEachDoublingAddsTen) {
  EXPECT_EQ(loudness_level_phon(1.0), 40.0);
  EXPECT_NEAR(loudness_level_phon(2.0), 50.0, ROUNDOFF);
  EXPECT_NEAR(loudness_level_phon(16.0), 80.0, ROUNDOFF);
  EXPECT_NEAR(loudness_level_phon(0.5), 40.0 * std::pow(0.5005, 0.35), ROUNDOFF);
  // Near threshold: 0 sone is not minus infinity phon.
  EXPECT_NEAR(loudness_level_phon(0.0), 40.0 * std::pow(0.0005, 0.35), ROUNDOFF);
}

TEST(LoudnessLevel, RisesWithLoudnessAndIsNearlyContinuousAtOneSone) {
  double previous = -1.0;
  for (double n = 0.0; n < 100.0; n = n * 1.3 + 0.01) {
    const double level = loudness_level_phon(n);
    EXPECT_GT(level, previous) << n << " sone";
    previous = level;
  }
  // The two branches meet within 0.01 phon (40 * 1.0005^0.35 = 40.007).
  EXPECT_NEAR(loudness_level_phon(std::nextafter(1.0, 0.0)), loudness_level_phon(1.0), 0.01);
}

}  // namespace
