// The nonlinear temporal decay: the branch-free all-band step against a
// direct per-band transcription, and its behaviour after a sound stops.
#include "loudness/temporal_decay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <vector>

#include "core/wide_vectors.h"
#include "support/compare.h"
#include "support/signals.h"

namespace varnholt {
namespace {

// One band's decay written with branches, exactly as the model reads.
struct ReferenceDecay {
  double uo = 0.0;
  double u2 = 0.0;

  double step(double x, const TemporalDecayCoefficients& c) {
    if (x < uo) {
      if (u2 < uo) {
        const double new_uo = std::max(x, uo * c.b2 - u2 * c.b3);
        u2 = std::min(uo * c.b0 - u2 * c.b1, new_uo);
        uo = new_uo;
      } else {
        uo = std::max(x, uo * c.b4);
        u2 = uo;
      }
    } else {
      u2 = x > u2 ? x + (u2 - x) * c.b5 : x;
      uo = x;
    }
    return uo;
  }
};

TEST(TemporalDecay, AllBandsAtOnceMatchTheBranchingTranscription) {
  // Bursts of random height and length exercise every branch in every lane.
  const TemporalDecayCoefficients c = temporal_decay_coefficients();
  test::Prng prng(42);
  TemporalDecayState lanes;
  std::vector<ReferenceDecay> reference(TEMPORAL_DECAY_LANES);
  std::vector<double> held(TEMPORAL_DECAY_LANES, 0.0);
  for (int step = 0; step < 20000; ++step) {
    double x[TEMPORAL_DECAY_LANES];
    for (std::size_t v = 0; v < TEMPORAL_DECAY_LANES; ++v) {
      if (prng.next_uniform() > 0.995) held[v] = prng.next_uniform() > 0.0 ? 5.0 * (prng.next_uniform() + 1.0) : 0.0;
      x[v] = held[v];
    }
    lanes.step(x, c);
    std::vector<double> got(lanes.uo, lanes.uo + TEMPORAL_DECAY_LANES);
    std::vector<double> got_u2(lanes.u2, lanes.u2 + TEMPORAL_DECAY_LANES);
    std::vector<double> want;
    std::vector<double> want_u2;
    for (std::size_t v = 0; v < TEMPORAL_DECAY_LANES; ++v) {
      want.push_back(reference[v].step(x[v], c));
      want_u2.push_back(reference[v].u2);
    }
    ASSERT_TRUE(test::arrays_identical(got, want)) << "step " << step;
    ASSERT_TRUE(test::arrays_identical(got_u2, want_u2)) << "step " << step;
  }
}

// step_along and both of its compiled copies.
using StepAlong = void (TemporalDecayState::*)(const double*, const double*,
                                               std::span<const double>,
                                               const TemporalDecayCoefficients&) noexcept;

class TemporalDecayAlong : public ::testing::TestWithParam<StepAlong> {};

TEST_P(TemporalDecayAlong, StepsAlongALineMatchSingleSteps) {
  // Lanes run all steps of a line in registers, lane block by lane block;
  // they must see the inputs from + w (to - from) and then `to` in order,
  // as single steps over all lanes would. Random jumps up and down, holds and
  // silences between updates reach every case of the decay. The two- and
  // four-lane copies must both give these values bit for bit.
  const StepAlong step_along = GetParam();
  if (step_along == &TemporalDecayState::step_along_wide && !wide_vectors_available()) {
    GTEST_SKIP() << "this processor has no AVX2";
  }
  const TemporalDecayCoefficients c = temporal_decay_coefficients();
  const std::vector<double> weights = {0.25, 0.5, 0.75};
  test::Prng prng(7);
  TemporalDecayState along;
  TemporalDecayState single;
  double from[TEMPORAL_DECAY_LANES] = {};
  for (int update = 0; update < 3000; ++update) {
    double to[TEMPORAL_DECAY_LANES];
    for (std::size_t v = 0; v < TEMPORAL_DECAY_LANES; ++v) {
      const double u = prng.next_uniform();
      to[v] = u > 0.6 ? 10.0 * prng.next_uniform() + 10.0 : (u > -0.3 ? from[v] : 0.0);
    }
    (along.*step_along)(from, to, weights, c);
    for (const double w : weights) {
      double x[TEMPORAL_DECAY_LANES];
      for (std::size_t v = 0; v < TEMPORAL_DECAY_LANES; ++v) x[v] = from[v] + w * (to[v] - from[v]);
      single.step(x, c);
    }
    single.step(to, c);
    const std::vector<double> got(along.uo, along.uo + TEMPORAL_DECAY_LANES);
    const std::vector<double> want(single.uo, single.uo + TEMPORAL_DECAY_LANES);
    const std::vector<double> got_u2(along.u2, along.u2 + TEMPORAL_DECAY_LANES);
    const std::vector<double> want_u2(single.u2, single.u2 + TEMPORAL_DECAY_LANES);
    ASSERT_TRUE(test::arrays_identical(got, want)) << "update " << update;
    ASSERT_TRUE(test::arrays_identical(got_u2, want_u2)) << "update " << update;
    std::copy(to, to + TEMPORAL_DECAY_LANES, from);
  }
}

INSTANTIATE_TEST_SUITE_P(EachCopy, TemporalDecayAlong,
                         ::testing::Values(&TemporalDecayState::step_along,
                                           &TemporalDecayState::step_along_baseline,
                                           &TemporalDecayState::step_along_wide));

// Samples (at 48 kHz) until a band held at 1 falls below `fraction` after
// its input drops to 0.
int samples_to_fall(int hold_samples, double fraction) {
  const TemporalDecayCoefficients c = temporal_decay_coefficients();
  ReferenceDecay band;
  for (int i = 0; i < hold_samples; ++i) band.step(1.0, c);
  for (int i = 1; i < 48000; ++i) {
    if (band.step(0.0, c) < fraction) return i;
  }
  return 48000;
}

TEST(TemporalDecay, FallsGraduallyAndSlowerAfterLongerSounds) {
  // After a 10 ms and a 1 s sound the loudness falls to half over
  // milliseconds, not at once, and more slowly after the long one.
  const int after_short = samples_to_fall(480, 0.5);
  const int after_long = samples_to_fall(48000, 0.5);
  EXPECT_GT(after_short, 48);      // more than 1 ms
  EXPECT_GT(after_long, after_short);
  EXPECT_LT(after_long, 48 * 200); // well within 200 ms
}

TEST(TemporalDecay, FollowsARiseAtOnce) {
  const TemporalDecayCoefficients c = temporal_decay_coefficients();
  TemporalDecayState lanes;
  double x[TEMPORAL_DECAY_LANES] = {};
  x[3] = 2.0;
  lanes.step(x, c);
  EXPECT_EQ(lanes.uo[3], 2.0);
  EXPECT_EQ(lanes.uo[4], 0.0);
}

}  // namespace
}  // namespace varnholt
