// The F and S time weightings: after a steady sound stops, the level falls
// at 10 lg(e) / tau dB per second.
#include "levels/time_weighting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double RATE_HZ = 48000.0;
// The exponential decay is exact per sample; only rounding of the running
// mean remains.
constexpr double DECAY_RATE_TOLERANCE = 1e-6;

double decay_rate_db_per_s(double tau_s) {
  varnholt::TimeWeighting w(tau_s, RATE_HZ);
  for (int i = 0; i < 10 * 48000; ++i) w.step(1.0);
  double at_100ms = 0.0, at_600ms = 0.0;
  for (int i = 1; i <= 28800; ++i) {
    const double y = w.step(0.0);
    if (i == 4800) at_100ms = y;
    if (i == 28800) at_600ms = y;
  }
  return 10.0 * std::log10(at_100ms / at_600ms) / 0.5;
}

TEST(TimeWeighting, DecayRatesOfFastAndSlow) {
  const double ten_lg_e = 10.0 * std::numbers::log10e;
  EXPECT_NEAR(decay_rate_db_per_s(varnholt::TIME_CONSTANT_F_S), ten_lg_e / 0.125,
              DECAY_RATE_TOLERANCE);
  EXPECT_NEAR(decay_rate_db_per_s(varnholt::TIME_CONSTANT_S_S), ten_lg_e / 1.0,
              DECAY_RATE_TOLERANCE);
  EXPECT_NEAR(ten_lg_e / 0.125, 34.7, 0.05);  // the rates sound level meters quote
  EXPECT_NEAR(ten_lg_e, 4.3, 0.05);
}

TEST(TimeWeighting, RisesTowardsASteadySquare) {
  varnholt::TimeWeighting w(varnholt::TIME_CONSTANT_F_S, RATE_HZ);
  double y = 0.0;
  for (int i = 0; i < 6000; ++i) y = w.step(2.0);  // one time constant
  EXPECT_NEAR(y, 2.0 * (1.0 - std::exp(-1.0)), 1e-9);
}

}  // namespace
