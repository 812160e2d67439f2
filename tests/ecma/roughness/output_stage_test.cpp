// The block and frame grids, the monotone cubic resampling onto 50 Hz and the
// output transformation with its rise and fall smoothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "ecma/band_scale.h"
#include "ecma/roughness/pchip.h"
#include "ecma/roughness/roughness_grid.h"
#include "ecma/roughness/roughness_output.h"
#include "support/compare.h"

namespace varnholt {
namespace {

using test::arrays_near;

constexpr std::size_t BANDS = ECMA_BAND_COUNT;

// Cubic Hermite evaluation of a handful of terms of order 1: a few ulps.
constexpr double ROUNDOFF = 1e-12;

// Across a flat stretch the two Hermite weights of the equal end values sum
// to 1 only to within an ulp or two of values up to 60.
constexpr double FLAT_ROUNDOFF = 1e-13;

// Calibration factor of the output: the value of a resampled roughness of 1.
constexpr double CALIBRATION = 0.0180685;

TEST(RoughnessGrid, BlocksAndFramesOfTheShortestSignal) {
  EXPECT_EQ(ecma_roughness_frame_total(15360), 17U);
  const std::uint64_t blocks = ecma_roughness_block_total(15360);
  ASSERT_EQ(blocks, 5U);
  const double times[] = {0.0, 4096.0 / 48000.0, 8192.0 / 48000.0, 12288.0 / 48000.0, 0.32};
  const std::uint64_t starts[] = {0, 4096, 8192, 12288, 15360};
  for (std::uint64_t v = 0; v < blocks; ++v) {
    EXPECT_EQ(ecma_roughness_block_time(v, blocks, 15360), times[v]) << "block " << v;
    EXPECT_EQ(ecma_roughness_block_start(v, blocks, 15360), starts[v]) << "block " << v;
  }
  // The last frame (16 / 50 s) lies exactly at the last block time, so the
  // resampling never reaches beyond the blocks.
  const std::uint64_t last_frame = ecma_roughness_frame_total(15360) - 1;
  EXPECT_EQ(static_cast<double>(last_frame) / ECMA_ROUGHNESS_FRAME_RATE_HZ,
            ecma_roughness_block_time(blocks - 1, blocks, 15360));
}

TEST(RoughnessGrid, OneSecondAndExactMultiplesOfTheHop) {
  EXPECT_EQ(ecma_roughness_frame_total(48000), 51U);
  ASSERT_EQ(ecma_roughness_block_total(48000), 13U);
  EXPECT_EQ(ecma_roughness_block_time(12, 13, 48000), 1.0);
  EXPECT_EQ(ecma_roughness_block_time(11, 13, 48000), 11.0 * 4096.0 / 48000.0);
  // A length of whole hops: the last block starts one hop after the one
  // before, so block times stay strictly increasing.
  ASSERT_EQ(ecma_roughness_block_total(16384), 5U);
  EXPECT_EQ(ecma_roughness_block_start(3, 5, 16384), 12288U);
  EXPECT_EQ(ecma_roughness_block_start(4, 5, 16384), 16384U);
}

// Block roughness with the same series in every band, shifted per band so a
// mixed-up stride shows.
std::vector<double> block_series(const std::vector<double>& y) {
  std::vector<double> values(y.size() * BANDS);
  for (std::size_t v = 0; v < y.size(); ++v) {
    for (std::size_t b = 0; b < BANDS; ++b) values[v * BANDS + b] = y[v] + static_cast<double>(b);
  }
  return values;
}

std::vector<double> resample(const std::vector<double>& values, const std::vector<double>& times,
                             std::uint64_t frames) {
  std::vector<double> slopes(times.size());
  std::vector<double> out(frames * BANDS, -1.0);
  pchip_resample(values.data(), times.data(), times.size(), frames, slopes.data(), out.data());
  return out;
}

// Block times of a 1 s signal and its 51 frames.
std::vector<double> one_second_times() {
  std::vector<double> t(13);
  for (std::uint64_t v = 0; v < t.size(); ++v) t[v] = ecma_roughness_block_time(v, 13, 48000);
  return t;
}

TEST(PchipResample, ReproducesAStraightLine) {
  // Both end slopes and every inner slope equal the common secant, so the
  // cubic is the line itself, also across the shorter last interval.
  const std::vector<double> t = one_second_times();
  std::vector<double> y(t.size());
  for (std::size_t v = 0; v < y.size(); ++v) y[v] = 0.5 + 2.0 * t[v];
  const std::vector<double> out = resample(block_series(y), t, 51);
  std::vector<double> expected(51 * BANDS);
  for (std::size_t k = 0; k < 51; ++k) {
    for (std::size_t b = 0; b < BANDS; ++b) {
      expected[k * BANDS + b] =
          0.5 + 2.0 * (static_cast<double>(k) / 50.0) + static_cast<double>(b);
    }
  }
  EXPECT_TRUE(arrays_near(out, expected, ROUNDOFF, ROUNDOFF));
}

TEST(PchipResample, MonotoneDataGiveMonotoneFrames) {
  const std::vector<double> t = one_second_times();
  // Steps of very different size: a plain cubic spline would overshoot.
  const std::vector<double> y = {0.0, 0.0, 0.01, 0.02, 1.0, 1.01, 1.02,
                                 3.0, 3.0, 3.0,  3.1,  5.0, 5.0};
  const std::vector<double> out = resample(block_series(y), t, 51);
  for (std::size_t b = 0; b < BANDS; ++b) {
    for (std::size_t k = 1; k < 51; ++k) {
      EXPECT_GE(out[k * BANDS + b], out[(k - 1) * BANDS + b] - FLAT_ROUNDOFF)
          << "band " << b << " frame " << k;
    }
    EXPECT_LE(out[50 * BANDS + b], 5.0 + static_cast<double>(b));
  }
}

TEST(PchipResample, ALocalExtremumStaysTheExtremum) {
  // A lopsided peak at t = 0.2 s: with slope 0 there, the curve neither
  // overshoots on the steep side nor on the shallow side.
  const std::vector<double> t = {0.0, 0.1, 0.2, 0.3, 0.4};
  const std::vector<double> y = {0.0, 1.0, 3.0, 2.9, 0.0};
  const std::vector<double> out = resample(block_series(y), t, 21);
  for (std::size_t b = 0; b < BANDS; ++b) {
    const double peak = 3.0 + static_cast<double>(b);
    EXPECT_EQ(out[10 * BANDS + b], peak);
    for (std::size_t k = 0; k < 21; ++k) {
      if (k == 10) continue;
      EXPECT_LT(out[k * BANDS + b], peak) << "band " << b << " frame " << k;
    }
  }
}

TEST(PchipResample, FrameZeroTakesTheFirstBlockExactly) {
  const std::vector<double> t = one_second_times();
  std::vector<double> y(t.size());
  for (std::size_t v = 0; v < y.size(); ++v)
    y[v] = 0.523456789 + 0.37 * std::sin(3.0 * static_cast<double>(v));
  const std::vector<double> values = block_series(y);
  const std::vector<double> out = resample(values, t, 51);
  for (std::size_t b = 0; b < BANDS; ++b) EXPECT_EQ(out[b], values[b]) << "band " << b;
  // The last frame lies on the last block time.
  for (std::size_t b = 0; b < BANDS; ++b) {
    EXPECT_NEAR(out[50 * BANDS + b], values[12 * BANDS + b], ROUNDOFF) << "band " << b;
  }
}

TEST(PchipResample, NegativeValuesAreClippedToZero) {
  const std::vector<double> t = one_second_times();
  std::vector<double> values(t.size() * BANDS, -0.5);
  const std::vector<double> out = resample(values, t, 51);
  EXPECT_TRUE(arrays_near(out, std::vector<double>(out.size(), 0.0), 0.0, 0.0));
}

TEST(PchipEndSlope, ThreePointEstimateWithItsTwoLimits) {
  // Equal widths: s = (3 d0 - d1) / 2.
  EXPECT_EQ(pchip_end_slope(1.0, 1.0, 2.0, 1.0), 2.5);
  // Pointing against the first secant: 0.
  EXPECT_EQ(pchip_end_slope(1.0, 1.0, 1.0, 4.0), 0.0);
  EXPECT_EQ(pchip_end_slope(1.0, 1.0, 0.0, 1.0), 0.0);
  // The data turn and the estimate exceeds three secants: limited to 3 d0.
  EXPECT_EQ(pchip_end_slope(1.0, 1.0, 1.0, -4.0), 3.0);
  // The data turn but the estimate stays below 3 d0: kept.
  EXPECT_EQ(pchip_end_slope(1.0, 1.0, 1.0, -1.0), 2.0);
}

std::vector<double> transformed(std::vector<double> frames) {
  EXPECT_EQ(transform_roughness_frames(frames.data(), frames.size() / BANDS), VH_OK);
  return frames;
}

TEST(TransformRoughnessFrames, SilenceStaysZero) {
  const std::vector<double> zeros(20 * BANDS, 0.0);
  EXPECT_TRUE(arrays_near(transformed(zeros), zeros, 0.0, 0.0));
}

TEST(TransformRoughnessFrames, RisesQuicklyAndFallsSlowly) {
  // 1 in every band gives 1^gamma = 1 whatever the exponent, so each frame's
  // target is the calibration factor. Frame 0 is not smoothed.
  std::vector<double> frames(30 * BANDS, 0.0);
  for (std::size_t k = 0; k < 30; ++k) {
    const double value = (k == 0 || (k >= 5 && k < 15)) ? 1.0 : 0.0;
    for (std::size_t b = 0; b < BANDS; ++b) frames[k * BANDS + b] = value;
  }
  const std::vector<double> out = transformed(frames);
  const double rise = std::exp(-0.32);  // 62.5 ms at 50 Hz
  const double fall = std::exp(-0.04);  // 500 ms at 50 Hz
  std::vector<double> expected(out.size());
  double state = CALIBRATION;
  for (std::size_t k = 0; k < 30; ++k) {
    if (k > 0) {
      const double target = (k >= 5 && k < 15) ? CALIBRATION : 0.0;
      const double alpha = target >= state ? rise : fall;
      state = target * (1.0 - alpha) + alpha * state;
    }
    for (std::size_t b = 0; b < BANDS; ++b) expected[k * BANDS + b] = state;
  }
  EXPECT_TRUE(arrays_near(out, expected, 0.0, ROUNDOFF));
  EXPECT_EQ(out[0], CALIBRATION);
  // Ten frames after the rise the output is within 5 % of its target; ten
  // frames after the fall it still holds two thirds of it.
  EXPECT_GT(out[14 * BANDS], 0.95 * CALIBRATION);
  EXPECT_GT(out[24 * BANDS], 0.6 * out[14 * BANDS]);
}

TEST(TransformRoughnessFrames, ConcentratedRoughnessIsCompressedLess) {
  // Roughness 4 in one band against 4 in every band: the exponent runs from
  // about 0.587 (even spread) to about 0.956 (one band).
  constexpr double EXPONENT_TOLERANCE = 1e-6;  // tanh saturates to within 1e-6 for one band
  std::vector<double> single(BANDS, 0.0);
  single[17] = 4.0;
  const std::vector<double> even(BANDS, 4.0);
  const double one_band = transformed(single)[17];
  const double spread = transformed(even)[17];
  const double gamma_single = std::log(one_band / CALIBRATION) / std::log(4.0);
  const double gamma_even = std::log(spread / CALIBRATION) / std::log(4.0);
  EXPECT_NEAR(gamma_single, 0.37106 + 0.58449, EXPONENT_TOLERANCE);
  const double x = std::tanh((1.0 - 2.5804) * 1.6407);
  EXPECT_NEAR(gamma_even, (x + 1.0) * 0.37106 * 0.5 + 0.58449, ROUNDOFF);
  EXPECT_GT(one_band, spread);
}

TEST(TransformRoughnessFrames, NonFiniteValuesAreReported) {
  std::vector<double> frames(3 * BANDS, 1.0);
  frames[2 * BANDS + 5] = std::numeric_limits<double>::infinity();
  EXPECT_EQ(transform_roughness_frames(frames.data(), 3), VH_ERR_NUMERICAL);
}

}  // namespace
}  // namespace varnholt
