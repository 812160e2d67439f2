// The tonality core's own check order and result codes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "shorttime/tonality_aures/aures_tonality.h"
#include "support/compare.h"
#include "support/signals.h"

namespace varnholt {
namespace {

using test::SENTINEL;
using test::sine;
using test::untouched;

constexpr int UNTOUCHED_SLOT = -77;

TEST(AuresTonalityCompute, ChecksRunInOrderWithTheirOwnCodes) {
  const std::vector<double> tone = sine(1000.0, 60.0, 12000);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    bool null_signal;
    int n;
    double fs;
    int field;
    bool null_out;
    bool null_slot;
    int slot;
    int expected;
    int slot_after;
  };
  const Case cases[] = {
      {"null signal", true, 12000, 0.0, 5, false, false, 1, AURES_ERR_ARGUMENT, 1},
      {"null output", false, 12000, 0.0, 5, true, false, 1, AURES_ERR_ARGUMENT, 1},
      {"null slot", false, 12000, 0.0, 5, false, true, 1, AURES_ERR_ARGUMENT, UNTOUCHED_SLOT},
      {"no samples", false, 0, 0.0, 5, false, false, 1, AURES_ERR_ARGUMENT, 1},
      {"rate zero before sound field", false, 12000, 0.0, 5, false, false, 1,
       AURES_ERR_SAMPLE_RATE, 1},
      {"rate NaN", false, 12000, nan, 0, false, false, 1, AURES_ERR_SAMPLE_RATE, 1},
      {"rate infinite", false, 12000, inf, 0, false, false, 1, AURES_ERR_SAMPLE_RATE, 1},
      {"sound field before rate 44100", false, 12000, 44100.0, 2, false, false, 1,
       AURES_ERR_ARGUMENT, 1},
      {"negative sound field", false, 12000, 48000.0, -1, false, false, 1, AURES_ERR_ARGUMENT, 1},
      {"rate 44100", false, 12000, 44100.0, 1, false, false, 1, AURES_ERR_SAMPLE_RATE, 1},
      {"no whole frame", false, 11999, 48000.0, 0, false, false, 1, AURES_ERR_FRAMING, 1},
      {"capacity writes the count", false, 12000, 48000.0, 0, false, false, 0,
       AURES_ERR_CAPACITY, 1},
  };
  for (const Case& c : cases) {
    std::vector<double> out(2, SENTINEL);
    int slot = c.null_slot ? UNTOUCHED_SLOT : c.slot;
    const int r = aures_tonality_compute(c.null_signal ? nullptr : tone.data(), c.n, c.fs, c.field,
                                         c.null_out ? nullptr : out.data(),
                                         c.null_slot ? nullptr : &slot);
    EXPECT_EQ(r, c.expected) << c.what;
    EXPECT_EQ(slot, c.slot_after) << c.what;
    EXPECT_TRUE(untouched(out)) << c.what;
  }
}

TEST(AuresTonalityCompute, ReturnsTheFrameCountAndFillsNoMore) {
  const std::vector<double> tone = sine(1000.0, 60.0, 18000);
  std::vector<double> out(3, SENTINEL);
  int slot = 3;
  EXPECT_EQ(aures_tonality_compute(tone.data(), 18000, 48000.0, 0, out.data(), &slot), 2);
  EXPECT_EQ(slot, 2);
  EXPECT_NEAR(out[0], 1.0, 0.02);
  EXPECT_NEAR(out[1], 1.0, 0.02);
  EXPECT_EQ(out[2], SENTINEL);
}

TEST(AuresTonalityCompute, AFrameTheLoudnessModelRefusesIsALoudnessFailure) {
  const std::vector<double> loud = sine(100.0, 130.0, 12000);
  double out = SENTINEL;
  int slot = 1;
  EXPECT_EQ(aures_tonality_compute(loud.data(), 12000, 48000.0, 0, &out, &slot),
            AURES_ERR_LOUDNESS);
  EXPECT_EQ(slot, 1);
}

}  // namespace
}  // namespace varnholt
