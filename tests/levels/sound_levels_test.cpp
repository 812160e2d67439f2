// Sound levels after IEC 61672-1 through the public interface: weightings
// against the published table, the 94 dB calibration tone, the F and S
// tone-burst responses, and every status in check order.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "levels/iec_weighting_table.h"
#include "support/compare.h"
#include "support/signals.h"
#include "varnholt.h"

namespace {

using varnholt::test::SENTINEL;
using varnholt::test::untouched;

// Design deviation of the digital weightings (0.02 dB to 12.5 kHz, 0.18 dB
// at 16 kHz) plus the table's rounding and the filters' start-up transient.
constexpr double TABLE_TOLERANCE_DB = 0.1;
constexpr double TABLE_TOLERANCE_16K_DB = 0.25;
// Ripple of the F and S averages at twice the tone frequency and rounding.
constexpr double LEVEL_ROUNDOFF_DB = 0.01;

std::array<double, VH_SOUND_LEVEL_COUNT> levels_of(const std::vector<double>& x) {
  std::array<double, VH_SOUND_LEVEL_COUNT> out{};
  EXPECT_EQ(vh_sound_levels(x.data(), x.size(), VH_SAMPLE_RATE, out.data(), out.size()), VH_OK);
  return out;
}

// Raised-cosine fades of `fade` samples at both ends. An abrupt start would
// ring the weighting filters' low-frequency poles: at 10 Hz that transient
// carries more energy than 2 s of the A-weighted tone.
std::vector<double> faded(std::vector<double> x, std::size_t fade) {
  for (std::size_t i = 0; i < fade; ++i) {
    const double g =
        0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / static_cast<double>(fade));
    x[i] *= g;
    x[x.size() - 1 - i] *= g;
  }
  return x;
}

// Sines at 94 dB at every tabulated frequency (the exact base-ten one),
// faded in and out over 1 s each of 4 s: LAeq - LZeq and LCeq - LZeq are the
// weightings (the fades narrow the tone's spectrum to about +-1 Hz).
TEST(SoundLevels, SinesAtTheTabulatedFrequenciesReadTheWeightings) {
  for (const auto& row : varnholt::test::IEC_61672_WEIGHTINGS) {
    const double f = varnholt::test::exact_frequency_hz(row.frequency_hz);
    const auto l = levels_of(faded(varnholt::test::sine(f, 94.0, 4 * 48000), 48000));
    const double tolerance =
        row.frequency_hz > 12500.0 ? TABLE_TOLERANCE_16K_DB : TABLE_TOLERANCE_DB;
    const double a = l[VH_LEVEL_LAEQ] - l[VH_LEVEL_LZEQ];
    const double c = l[VH_LEVEL_LCEQ] - l[VH_LEVEL_LZEQ];
    EXPECT_NEAR(a, row.a_db, tolerance) << row.frequency_hz << " Hz";
    EXPECT_NEAR(c, row.c_db, tolerance) << row.frequency_hz << " Hz";
    for (double deviation : {a - row.a_db, c - row.c_db}) {
      EXPECT_LE(deviation, row.upper_db) << row.frequency_hz << " Hz: class 1";
      EXPECT_GE(deviation, -row.lower_db) << row.frequency_hz << " Hz: class 1";
    }
  }
}

// The calibration tone: every weighting reads 94.0 dB at 1 kHz (10 s, so the
// S average has settled to 1 - e^-10; 10 ms fades as a calibrator is
// switched on); the peak of a sine lies 3.01 dB above its RMS level.
TEST(SoundLevels, ACalibratorToneReads94Decibels) {
  const auto l = levels_of(faded(varnholt::test::sine(1000.0, 94.0, 480000), 480));
  for (int i : {VH_LEVEL_LAEQ, VH_LEVEL_LCEQ, VH_LEVEL_LZEQ, VH_LEVEL_LAFMAX, VH_LEVEL_LASMAX}) {
    EXPECT_NEAR(l[static_cast<std::size_t>(i)], 94.0, LEVEL_ROUNDOFF_DB) << i;
  }
  // The peak is the largest sample: up to half a sample from the crest, at
  // 1 kHz that is cos(pi / 48), 0.019 dB.
  constexpr double SAMPLED_PEAK_DB = 0.02;
  EXPECT_NEAR(l[VH_LEVEL_LCPEAK], 94.0 + 10.0 * std::log10(2.0), SAMPLED_PEAK_DB);
}

// A tone burst of length T after rest reads 10 lg(1 - exp(-T / tau)) below
// the steady tone: -0.98 dB for 200 ms with F, -4.05 dB for 500 ms with S
// (the tone-burst responses of IEC 61672-1, -1.0 and -4.1 dB).
TEST(SoundLevels, ToneBurstsFollowTheTimeConstants) {
  const struct {
    double burst_s;
    int index;
    double tau_s;
  } cases[] = {{0.2, VH_LEVEL_LAFMAX, 0.125},
               {0.5, VH_LEVEL_LASMAX, 1.0},
               {0.05, VH_LEVEL_LAFMAX, 0.125},
               {2.0, VH_LEVEL_LASMAX, 1.0}};
  for (const auto& c : cases) {
    std::vector<double> x(3 * 48000, 0.0);
    const auto burst =
        varnholt::test::sine(1000.0, 80.0, static_cast<std::size_t>(c.burst_s * 48000));
    std::copy(burst.begin(), burst.end(), x.begin() + 24000);
    const double expected = 80.0 + 10.0 * std::log10(1.0 - std::exp(-c.burst_s / c.tau_s));
    EXPECT_NEAR(levels_of(x)[static_cast<std::size_t>(c.index)], expected, 0.02) << c.burst_s;
  }
}

TEST(SoundLevels, SilenceReadsTheFloorAndLevelsScaleWithPressure) {
  const auto quiet = levels_of(varnholt::test::silence(1000));
  for (double l : quiet) EXPECT_NEAR(l, 10.0 * std::log10(1e-12 / 4e-10), 1e-12);
  std::vector<double> x = varnholt::test::pink_noise(60.0, 48000);
  const auto base = levels_of(x);
  for (double& v : x) v *= 10.0;  // +20 dB
  const auto louder = levels_of(x);
  for (std::size_t i = 0; i < base.size(); ++i) EXPECT_NEAR(louder[i] - base[i], 20.0, 1e-6) << i;
}

TEST(SoundLevels, ChecksInOrderAndWritesNothingOnFailure) {
  const std::vector<double> ok(100, 0.1);
  std::vector<double> bad = ok;
  bad[50] = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> huge(10, 1e200);  // squares overflow
  std::vector<double> out;
  const struct {
    const char* what;
    const double* x;
    std::size_t n;
    int32_t rate;
    bool out_null;
    std::size_t len;
    vh_status expected;
  } cases[] = {
      {"levels null", nullptr, 0, 0, true, 6, VH_ERR_NULL_POINTER},
      {"levels too short", nullptr, 0, 0, false, 5, VH_ERR_OUTPUT_TOO_SMALL},
      {"samples null", nullptr, 100, VH_SAMPLE_RATE, false, 6, VH_ERR_NULL_POINTER},
      {"count 0", ok.data(), 0, 44100, false, 6, VH_ERR_INPUT_TOO_SHORT},
      {"rate", ok.data(), 100, 44100, false, 6, VH_ERR_INVALID_SAMPLE_RATE},
      {"size", ok.data(), std::size_t{1} << 61, VH_SAMPLE_RATE, false, 6, VH_ERR_SIZE_OVERFLOW},
      {"NaN", bad.data(), 100, VH_SAMPLE_RATE, false, 6, VH_ERR_NON_FINITE_INPUT},
      {"overflow", huge.data(), huge.size(), VH_SAMPLE_RATE, false, 6, VH_ERR_NUMERICAL},
  };
  for (const auto& c : cases) {
    out.assign(8, SENTINEL);
    EXPECT_EQ(vh_sound_levels(c.x, c.n, c.rate, c.out_null ? nullptr : out.data(), c.len),
              c.expected)
        << c.what;
    EXPECT_TRUE(untouched(out)) << c.what;
  }
}

}  // namespace
