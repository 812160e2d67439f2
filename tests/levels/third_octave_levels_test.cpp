// The third-octave band levels export: the levels the stationary loudness is
// formed from, and its checks in order.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/compare.h"
#include "support/signals.h"
#include "varnholt.h"

namespace {

using varnholt::test::SENTINEL;
using varnholt::test::untouched;

constexpr std::size_t BANDS = 28;
constexpr std::size_t BAND_1KHZ = 16;
// The bank's passband ripple at a band's centre.
constexpr double CENTRE_GAIN_TOLERANCE_DB = 0.5;

std::vector<double> band_levels(const std::vector<double>& x) {
  std::vector<double> out(BANDS, SENTINEL);
  EXPECT_EQ(vh_third_octave_levels(x.data(), x.size(), VH_SAMPLE_RATE, out.data(), out.size()),
            VH_OK);
  return out;
}

TEST(ThirdOctaveLevels, AToneFillsItsOwnBand) {
  const std::vector<double> l = band_levels(varnholt::test::sine(1000.0, 94.0, 48000));
  EXPECT_EQ(vh_third_octave_centres_hz()[BAND_1KHZ], 1000.0);
  EXPECT_NEAR(l[BAND_1KHZ], 94.0, CENTRE_GAIN_TOLERANCE_DB);
  for (std::size_t b = 0; b < BANDS; ++b) {
    if (b + 2 < BAND_1KHZ || b > BAND_1KHZ + 2) {
      EXPECT_LT(l[b], 74.0) << b;
    }
  }
}

// Differential check: the loudness of the exported levels is, bit for bit,
// the stationary loudness of the signal.
TEST(ThirdOctaveLevels, AreTheLevelsOfTheStationaryLoudness) {
  const std::vector<double> x = varnholt::test::pink_noise(65.0, 24000);
  const std::vector<double> l = band_levels(x);
  double from_levels = 0.0, from_signal = 0.0;
  ASSERT_EQ(vh_loudness_from_levels(l.data(), BANDS, VH_SOUND_FIELD_FREE, &from_levels, nullptr, 0),
            VH_OK);
  ASSERT_EQ(vh_loudness_stationary(x.data(), x.size(), VH_SAMPLE_RATE, VH_SOUND_FIELD_FREE,
                                   &from_signal, nullptr, 0),
            VH_OK);
  EXPECT_EQ(from_levels, from_signal);
}

TEST(ThirdOctaveLevels, ChecksInOrderAndWritesNothingOnFailure) {
  const std::vector<double> ok(300, 0.1);
  std::vector<double> bad = ok;
  bad[7] = std::numeric_limits<double>::infinity();
  const struct {
    const char* what;
    const double* x;
    std::size_t n;
    int32_t rate;
    bool out_null;
    std::size_t len;
    vh_status expected;
  } cases[] = {
      {"levels null", nullptr, 0, 0, true, 28, VH_ERR_NULL_POINTER},
      {"levels too short", nullptr, 0, 0, false, 27, VH_ERR_OUTPUT_TOO_SMALL},
      {"samples null", nullptr, 300, VH_SAMPLE_RATE, false, 28, VH_ERR_NULL_POINTER},
      {"count 0", ok.data(), 0, 44100, false, 28, VH_ERR_INPUT_TOO_SHORT},
      {"rate", ok.data(), 300, 44100, false, 28, VH_ERR_INVALID_SAMPLE_RATE},
      {"size", ok.data(), std::size_t{1} << 61, VH_SAMPLE_RATE, false, 28, VH_ERR_SIZE_OVERFLOW},
      {"infinite", bad.data(), 300, VH_SAMPLE_RATE, false, 28, VH_ERR_NON_FINITE_INPUT},
      {"short", ok.data(), 255, VH_SAMPLE_RATE, false, 28, VH_ERR_INPUT_TOO_SHORT},
  };
  for (const auto& c : cases) {
    std::vector<double> out(30, SENTINEL);
    EXPECT_EQ(vh_third_octave_levels(c.x, c.n, c.rate, c.out_null ? nullptr : out.data(), c.len),
              c.expected)
        << c.what;
    EXPECT_TRUE(untouched(out)) << c.what;
  }
  const std::vector<double> huge(300, 1e200);
  std::vector<double> out(28, SENTINEL);
  EXPECT_EQ(vh_third_octave_levels(huge.data(), huge.size(), VH_SAMPLE_RATE, out.data(), 28),
            VH_ERR_NUMERICAL);
  EXPECT_TRUE(untouched(out));
}

}  // namespace
