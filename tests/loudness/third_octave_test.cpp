// The third-octave filter bank and its band levels.
#include "loudness/third_octave.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "loudness/third_octave_bank.h"
#include "support/compare.h"
#include "support/signals.h"

namespace varnholt {
namespace {

using test::SENTINEL;
using test::untouched;

// 10 * (log10(1e-12) - log10(4e-10)) = -10 * log10(400).
const double SILENT_BAND_DB = -10.0 * std::log10(400.0);
// Levels near the pass-band centre are governed by the rounded coefficients
// and the passband ripple of a sixth-order band-pass: a few tenths of a dB.
constexpr double PASSBAND_TOLERANCE_DB = 0.5;
// Two roundings of a logarithm: far below any physical meaning.
constexpr double LOG_ROUNDOFF_DB = 1e-12;

// One band of the bank on its own, written directly from the cascade of three
// biquads (direct form II): the reference the bank's joint step must match.
struct ThirdOctaveFilterState {
  double w1[THIRD_OCTAVE_SECTIONS] = {0.0, 0.0, 0.0};
  double w2[THIRD_OCTAVE_SECTIONS] = {0.0, 0.0, 0.0};
};

double third_octave_filter_step(ThirdOctaveFilterState& state, std::size_t band, double x) {
  double u = x;
  for (std::size_t s = 0; s < THIRD_OCTAVE_SECTIONS; ++s) {
    const double gain = s == 0 ? THIRD_OCTAVE_BANK.gain[band] : 1.0;
    const double w1 = state.w1[s];
    const double w2 = state.w2[s];
    const double w0 = gain * u - THIRD_OCTAVE_BANK.a1[s][band] * w1 -
                      THIRD_OCTAVE_BANK.a2[s][band] * w2;
    u = SECTION_B0[s] * w0 + SECTION_B1[s] * w1 + SECTION_B2[s] * w2;
    state.w2[s] = w1;
    state.w1[s] = w0;
  }
  return u;
}

std::vector<double> levels_of(const std::vector<double>& x) {
  std::vector<double> out(THIRD_OCTAVE_BAND_COUNT, SENTINEL);
  EXPECT_EQ(third_octave_signal_levels(x.data(), x.size(), out.data()), VH_OK);
  return out;
}

TEST(ThirdOctaveLevels, EqualBandAfterBandPassesBitForBit) {
  // The library advances all bands together; one pass per band from a zero
  // state, summing squares in sample order, must give the very same levels.
  const std::vector<double> x = test::pink_noise(75.0, 4000, 12);
  const std::vector<double> levels = levels_of(x);
  std::vector<double> expected;
  for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
    ThirdOctaveFilterState state;
    double sum = 0.0;
    for (double sample : x) {
      const double y = third_octave_filter_step(state, k, sample);
      sum += y * y;
    }
    expected.push_back(third_octave_level_from_mean_square(sum / static_cast<double>(x.size())));
  }
  EXPECT_TRUE(test::arrays_identical(levels, expected));
}

TEST(ThirdOctaveBank, GainFromTheInputToAnyStateStaysBelowTheBoundOfTheTimeLoudness) {
  // The time-varying loudness writes straight into the caller's arrays for
  // peaks up to 1e10 Pa, relying on every filter state and output staying
  // below 1e20 times the peak: the sum of the magnitudes of each one's
  // impulse response bounds its gain. The slowest poles lie 1.5e-4 inside
  // the unit circle, so 2^20 samples leave the tails below 1e-60 of the peak.
  constexpr double GAIN_BOUND = 1e20;
  ThirdOctaveBankState bank;
  double sums[2 * THIRD_OCTAVE_SECTIONS + 1][THIRD_OCTAVE_BAND_COUNT] = {};
  for (std::size_t j = 0; j < (1U << 20); ++j) {
    double y[THIRD_OCTAVE_BAND_COUNT];
    bank.step(j == 0 ? 1.0 : 0.0, y);
    for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
      for (std::size_t s = 0; s < THIRD_OCTAVE_SECTIONS; ++s) {
        sums[s][k] += std::fabs(bank.w1[s][k]);
        // A section's input is its predecessor's numerator output, at most
        // 4 times its largest state (numerator taps 1, 2, 1).
        sums[THIRD_OCTAVE_SECTIONS + s][k] += 4.0 * std::fabs(bank.w1[s][k]);
      }
      sums[2 * THIRD_OCTAVE_SECTIONS][k] += std::fabs(y[k]);
    }
  }
  for (const auto& row : sums) {
    for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) EXPECT_LT(row[k], GAIN_BOUND) << k;
  }
  EXPECT_LT(std::fabs(bank.w1[0][0]), 1e-60);
}

TEST(ThirdOctaveLevels, SilenceGivesTheFloorInEveryBand) {
  const std::vector<double> expected(THIRD_OCTAVE_BAND_COUNT, SILENT_BAND_DB);
  EXPECT_TRUE(test::arrays_near(levels_of(test::silence(256)), expected, LOG_ROUNDOFF_DB, 0.0));
  EXPECT_NEAR(SILENT_BAND_DB, -26.0206, 1e-4);
}

TEST(ThirdOctaveLevels, ASineLandsInItsOwnBandAtItsLevel) {
  // Tones at the centres of a few bands, 60 dB SPL, 0.5 s: the band holds
  // the tone's level, bands two thirds of an octave away are far below it.
  for (std::size_t band : {5U, 10U, 16U, 22U, 26U}) {
    const double f = THIRD_OCTAVE_CENTRES_HZ[band];
    const std::vector<double> levels = levels_of(test::sine(f, 60.0, 24000));
    EXPECT_NEAR(levels[band], 60.0, PASSBAND_TOLERANCE_DB) << f << " Hz";
    EXPECT_LT(levels[band - 2], 40.0) << f << " Hz";
    if (band + 2 < THIRD_OCTAVE_BAND_COUNT) {
      EXPECT_LT(levels[band + 2], 40.0) << f << " Hz";
    }
  }
}

TEST(ThirdOctaveLevels, OnePascalAtOneKilohertzPeaksInTheKilohertzBand) {
  std::vector<double> x(4800);
  for (std::size_t i = 0; i < x.size(); ++i) {
    x[i] = std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(i) / 48000.0);
  }
  const std::vector<double> levels = levels_of(x);
  std::size_t loudest = 0;
  for (std::size_t k = 1; k < levels.size(); ++k) {
    if (levels[k] > levels[loudest]) loudest = k;
  }
  EXPECT_EQ(loudest, 16U);
  // Mean square 0.5 Pa^2 is 90.97 dB; the start-up transient of 0.1 s costs
  // a little.
  EXPECT_NEAR(levels[16], 10.0 * std::log10(0.5 / 4e-10), PASSBAND_TOLERANCE_DB);
}

TEST(ThirdOctaveBlockLevels, WithoutSettlingEqualsTheWholeSignal) {
  const std::vector<double> x = test::white_noise(65.0, 3000, 11);
  std::vector<double> block(THIRD_OCTAVE_BAND_COUNT, SENTINEL);
  ASSERT_EQ(third_octave_block_levels(x.data(), x.size(), 0, block.data()), VH_OK);
  EXPECT_TRUE(test::arrays_identical(block, levels_of(x)));
}

TEST(ThirdOctaveBlockLevels, SettlingLeavesTheStartOutButStillRunsTheFilters) {
  // The average over samples 1000..2999 equals the whole-signal sums of the
  // full signal minus those of its first 1000 samples.
  const std::vector<double> x = test::white_noise(65.0, 3000, 5);
  std::vector<double> block(THIRD_OCTAVE_BAND_COUNT);
  ASSERT_EQ(third_octave_block_levels(x.data(), 3000, 1000, block.data()), VH_OK);
  const std::vector<double> head(x.begin(), x.begin() + 1000);
  const std::vector<double> whole_levels = levels_of(x);
  const std::vector<double> head_levels = levels_of(head);
  for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
    const double whole = 3000.0 * (std::pow(10.0, whole_levels[k] / 10.0) * 4e-10 - 1e-12);
    const double first = 1000.0 * (std::pow(10.0, head_levels[k] / 10.0) * 4e-10 - 1e-12);
    const double expected = 10.0 * std::log10((whole - first) / 2000.0 / 4e-10 + 1e-12 / 4e-10);
    // The round trip through two logarithms loses a few digits when the
    // bands' sums are close: a millidecibel is ample.
    EXPECT_NEAR(block[k], expected, 1e-3) << "band " << k;
  }
}

TEST(ThirdOctaveBlockLevels, SettlingToTheLastSampleAveragesOneSquare) {
  const std::vector<double> x = test::white_noise(80.0, 300, 9);
  std::vector<double> block(THIRD_OCTAVE_BAND_COUNT);
  ASSERT_EQ(third_octave_block_levels(x.data(), 300, 299, block.data()), VH_OK);
  for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
    ThirdOctaveFilterState state;
    double y = 0.0;
    for (double sample : x) y = third_octave_filter_step(state, k, sample);
    EXPECT_EQ(block[k], third_octave_level_from_mean_square(y * y)) << "band " << k;
  }
}

TEST(ThirdOctaveBlockLevels, ChecksRunInOrderAndLeaveTheOutputAlone) {
  const std::vector<double> x(300, 0.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> with_overflow(300, 0.0);
  with_overflow[10] = 1e300;  // its square overflows the sums
  std::vector<double> with_nan(300, 0.0);
  with_nan[3] = nan;  // not checked here: the sums become NaN
  struct Case {
    const double* samples;
    std::uint64_t count;
    std::uint64_t settle;
    bool null_out;
    vh_status expected;
  };
  const Case cases[] = {
      {nullptr, 300, 0, false, VH_ERR_NULL_POINTER},
      {x.data(), 300, 0, true, VH_ERR_NULL_POINTER},
      {nullptr, 10, 20, true, VH_ERR_NULL_POINTER},      // pointers before lengths
      {x.data(), 255, 0, false, VH_ERR_INPUT_TOO_SHORT},
      {x.data(), 255, 300, false, VH_ERR_INPUT_TOO_SHORT},  // length before settling
      {x.data(), 256, 256, false, VH_ERR_INVALID_ARGUMENT},
      {x.data(), 300, UINT64_MAX, false, VH_ERR_INVALID_ARGUMENT},
      {with_overflow.data(), 300, 0, false, VH_ERR_NUMERICAL},
      {with_overflow.data(), 300, 200, false, VH_ERR_NUMERICAL},  // the filter still rings
      {with_nan.data(), 300, 0, false, VH_ERR_NUMERICAL},
  };
  for (const Case& c : cases) {
    std::vector<double> out(THIRD_OCTAVE_BAND_COUNT, SENTINEL);
    EXPECT_EQ(third_octave_block_levels(c.samples, c.count, c.settle, c.null_out ? nullptr : out.data()),
              c.expected)
        << "count " << c.count << " settle " << c.settle;
    EXPECT_TRUE(untouched(out));
  }
  std::vector<double> out(THIRD_OCTAVE_BAND_COUNT, SENTINEL);
  EXPECT_EQ(third_octave_signal_levels(with_overflow.data(), 300, out.data()), VH_ERR_NUMERICAL);
  EXPECT_TRUE(untouched(out));
}

}  // namespace
}  // namespace varnholt
