// Core loudness of the critical bands, the specific-loudness pattern and the
// total loudness, tested on the internals.
#include "loudness/loudness_pattern.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/axes.h"
#include "loudness/core_loudness.h"
#include "support/compare.h"

namespace varnholt {
namespace {

// Slopes and steps are short decimal numbers; interpolating between them
// costs a few ulps of values near 1.
constexpr double PATTERN_ROUNDOFF = 1e-12;

std::vector<double> pattern_of(const std::vector<double>& core, double* total) {
  std::vector<double> out(SPECIFIC_LOUDNESS_LENGTH, test::SENTINEL);
  *total = specific_loudness_from_core(core.data(), out.data());
  return out;
}

TEST(SpecificLoudness, ZeroCoreGivesZeroPatternAndTotal) {
  double total = -1.0;
  const std::vector<double> pattern = pattern_of(std::vector<double>(CORE_LOUDNESS_LENGTH, 0.0), &total);
  EXPECT_EQ(total, 0.0);
  EXPECT_TRUE(test::arrays_identical(pattern, std::vector<double>(SPECIFIC_LOUDNESS_LENGTH, 0.0)));
}

TEST(SpecificLoudness, OneSoneInTheLowestBandFallsAlongTheUpperSlopes) {
  std::vector<double> core(CORE_LOUDNESS_LENGTH, 0.0);
  core[0] = 1.0;
  double total = 0.0;
  const std::vector<double> pattern = pattern_of(core, &total);
  // Flat at 1 up to 0.9 Bark.
  for (std::size_t n = 0; n <= 8; ++n) EXPECT_EQ(pattern[n], 1.0) << n;
  // Slope 0.72 from (0.9, 1) to (1.15, 0.82), then slope 0.59 towards 0.42,
  // cut at the band edge 1.8 Bark with 0.82 - 0.65 * 0.59 = 0.4365.
  EXPECT_NEAR(pattern[9], 1.0 - 0.1 * 0.72, PATTERN_ROUNDOFF);            // 1.0 Bark
  EXPECT_NEAR(pattern[10], 1.0 - 0.2 * 0.72, PATTERN_ROUNDOFF);           // 1.1 Bark
  EXPECT_NEAR(pattern[11], 0.82 - 0.05 * 0.59, PATTERN_ROUNDOFF);         // 1.2 Bark
  EXPECT_NEAR(pattern[17], 0.4365, PATTERN_ROUNDOFF);                     // 1.8 Bark
  // Area: 0.9 flat, two trapezoids in band 1, then the tail above 1.8 Bark,
  // which the sampled pattern must also show to be positive and falling.
  const double band_0_and_1 = 0.9 + 0.25 * (1.0 + 0.82) / 2.0 + 0.65 * (0.82 + 0.4365) / 2.0;
  EXPECT_GT(total, band_0_and_1);
  for (std::size_t n = 18; n < SPECIFIC_LOUDNESS_LENGTH; ++n) {
    EXPECT_LE(pattern[n], pattern[n - 1]) << n;
    EXPECT_GE(pattern[n], 0.0) << n;
  }
}

TEST(SpecificLoudness, FlatCoreGivesAFlatPatternUpToTheLastBand) {
  const double value = 2.5;
  std::vector<double> core(CORE_LOUDNESS_LENGTH, value);
  core[20] = 0.0;
  double total = 0.0;
  const std::vector<double> pattern = pattern_of(core, &total);
  for (std::size_t n = 0; n < 236; ++n) EXPECT_EQ(pattern[n], value) << n;  // up to 23.6 Bark
  for (std::size_t n = 236; n < SPECIFIC_LOUDNESS_LENGTH; ++n) {
    EXPECT_LT(pattern[n], pattern[n - 1]) << n;
    EXPECT_GE(pattern[n], 0.0) << n;
  }
  // 23.6 Bark at 2.5 sone/Bark, and a little more for the fall above.
  EXPECT_GT(total, 23.6 * value);
  EXPECT_LT(total, 24.0 * value);
}

TEST(SpecificLoudness, TotalIsTheAreaUnderThePattern) {
  // Differential check: the exact trapezoid integral of the segments against
  // a Riemann sum of the 0.1 Bark samples. The two agree to the curvature of
  // the pattern between samples.
  std::vector<double> core(CORE_LOUDNESS_LENGTH, 0.0);
  const double shape[20] = {0.1, 0.3, 0.2, 1.5, 0.4, 3.0, 0.2, 0.0, 0.9, 2.2,
                            0.1, 0.1, 6.0, 0.3, 0.5, 0.0, 1.1, 0.2, 0.7, 0.05};
  for (std::size_t k = 0; k < 20; ++k) core[k] = shape[k];
  double total = 0.0;
  const std::vector<double> pattern = pattern_of(core, &total);
  double riemann = 0.0;
  for (double v : pattern) riemann += 0.1 * v;
  EXPECT_NEAR(total, riemann, 0.02 * total);
}

TEST(SpecificLoudness, GrowsWithEveryCoreValue) {
  std::vector<double> core(CORE_LOUDNESS_LENGTH, 0.5);
  core[20] = 0.0;
  double base = 0.0;
  pattern_of(core, &base);
  for (std::size_t k = 0; k < 20; ++k) {
    std::vector<double> raised = core;
    raised[k] += 1.0;
    double total = 0.0;
    pattern_of(raised, &total);
    EXPECT_GT(total, base) << "band " << k;
  }
}

std::vector<double> core_of(const std::vector<double>& levels, vh_sound_field field) {
  std::vector<double> core(CORE_LOUDNESS_LENGTH, test::SENTINEL);
  core_loudness(levels.data(), field, core.data());
  return core;
}

TEST(CoreLoudness, NothingAboveTheThresholdGivesZero) {
  const std::vector<double> core = core_of(std::vector<double>(THIRD_OCTAVE_BAND_COUNT, -30.0), 0);
  EXPECT_TRUE(test::arrays_identical(core, std::vector<double>(CORE_LOUDNESS_LENGTH, 0.0)));
}

TEST(CoreLoudness, DiffuseFieldIsLouderWhereItsCorrectionIsPositive) {
  const double positive[] = {0, 0, 0.5, 0.9, 1.2, 1.6, 2.3, 2.8, 3.0, 2.0,
                             0, -1.4, -2.0, -1.9, -1.0, 0.5, 3.0, 4.0, 4.3, 4.0};
  for (double level : {30.0, 60.0, 90.0}) {
    const std::vector<double> levels(THIRD_OCTAVE_BAND_COUNT, level);
    const std::vector<double> free_field = core_of(levels, VH_SOUND_FIELD_FREE);
    const std::vector<double> diffuse = core_of(levels, VH_SOUND_FIELD_DIFFUSE);
    for (std::size_t k = 0; k < 20; ++k) {
      if (positive[k] > 0.0) {
        EXPECT_GE(diffuse[k], free_field[k]) << level << " dB band " << k;
      }
      if (positive[k] < 0.0) {
        EXPECT_LE(diffuse[k], free_field[k]) << level << " dB band " << k;
      }
      if (positive[k] == 0.0) {
        EXPECT_EQ(diffuse[k], free_field[k]) << level << " dB band " << k;
      }
    }
    EXPECT_EQ(diffuse[20], 0.0);
  }
}

TEST(CoreLoudness, RisesWithTheLevelOfEveryBand) {
  for (std::size_t band = 0; band < THIRD_OCTAVE_BAND_COUNT; ++band) {
    double previous = -1.0;
    for (double level = 20.0; level <= 120.0; level += 5.0) {
      std::vector<double> levels(THIRD_OCTAVE_BAND_COUNT, -30.0);
      levels[band] = level;
      const std::vector<double> core = core_of(levels, VH_SOUND_FIELD_FREE);
      double sum = 0.0;
      for (double v : core) sum += v;
      EXPECT_GE(sum, previous) << "band " << band << " at " << level << " dB";
      previous = sum;
    }
    EXPECT_GT(previous, 0.0) << "band " << band;
  }
}

TEST(CoreLoudness, FollowsZwickersLawWrittenWithGeneralPowers) {
  // Two bands alone, read from the law with std::pow: the highest band
  // (12.5 kHz: threshold 3 dB, ear transmission 12 dB, band-width correction
  // -0.5 dB) in a free field, and critical band 3 (315 Hz: threshold 8 dB,
  // diffuse-field correction 0.9 dB, band-width correction -0.8 dB) in a
  // diffuse field, from just above the threshold to 120 dB. Exponentials and
  // square roots agree with the powers to a few units in the last place; the
  // law's difference of two numbers near 1 turns that into at most some
  // 1e-16 sone/Bark, hence the mixed tolerance.
  struct Case {
    std::size_t third_octave_band;
    std::size_t critical_band;
    vh_sound_field field;
    double excitation_offset_db;  // excitation minus level
    double threshold_db;
    double band_width_db;
  };
  const Case cases[] = {{27, 19, VH_SOUND_FIELD_FREE, -12.0, 3.0, -0.5},
                        {11, 3, VH_SOUND_FIELD_DIFFUSE, 0.9, 8.0, -0.8}};
  for (const Case& c : cases) {
    std::vector<double> got;
    std::vector<double> want;
    for (double step = 0.0; step <= 120.0; step += 0.37) {
      const double level = c.threshold_db - c.excitation_offset_db + 1e-9 + step;
      std::vector<double> levels(THIRD_OCTAVE_BAND_COUNT, -30.0);
      levels[c.third_octave_band] = level;
      got.push_back(core_of(levels, c.field)[c.critical_band]);
      const double excitation = level + c.excitation_offset_db;
      const double n = 0.0635 * std::pow(10.0, 0.025 * c.threshold_db) *
                       (std::pow(0.75 + 0.25 * std::pow(10.0, (excitation - c.band_width_db - c.threshold_db) / 10.0),
                                 0.25) -
                        1.0);
      want.push_back(n < 0.0 ? 0.0 : n);
    }
    EXPECT_TRUE(test::arrays_near(got, want, 1e-15, 1e-14)) << "critical band " << c.critical_band;
  }
}

}  // namespace
}  // namespace varnholt
