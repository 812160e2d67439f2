// Stationary loudness from band levels and from signals, through the public
// interface.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "support/compare.h"
#include "support/signals.h"
#include "varnholt.h"

namespace {

using varnholt::test::SENTINEL;
using varnholt::test::untouched;

constexpr std::size_t BANDS = 28;
constexpr std::size_t PATTERN = 240;
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

// ISO 532-1 defines 1 sone as the loudness of a 1 kHz tone at 40 dB in a free
// field; the filter bank's passband and the rounded tables allow about 2 %.
constexpr double ONE_SONE_TOLERANCE = 0.02;

double stationary(const std::vector<double>& x, vh_sound_field field,
                  std::vector<double>* pattern = nullptr) {
  double n = SENTINEL;
  if (pattern != nullptr) pattern->assign(PATTERN, SENTINEL);
  EXPECT_EQ(vh_loudness_stationary(x.data(), x.size(), VH_SAMPLE_RATE, field, &n,
                                   pattern != nullptr ? pattern->data() : nullptr,
                                   pattern != nullptr ? PATTERN : 0),
            VH_OK);
  return n;
}

double tone_loudness(double level_db, vh_sound_field field = VH_SOUND_FIELD_FREE) {
  return stationary(varnholt::test::sine(1000.0, level_db, 24000), field);
}

TEST(LoudnessStationary, OneKilohertzAtFortyDecibelsIsOneSone) {
  EXPECT_NEAR(tone_loudness(40.0), 1.0, ONE_SONE_TOLERANCE);
}

TEST(LoudnessStationary, TenDecibelsMoreRoughlyDoublesLoudness) {
  for (double level = 40.0; level < 90.0; level += 10.0) {
    const double ratio = tone_loudness(level + 10.0) / tone_loudness(level);
    EXPECT_GT(ratio, 1.8) << level << " dB";
    EXPECT_LT(ratio, 2.25) << level << " dB";
  }
}

TEST(LoudnessStationary, DiffuseFieldIsLouderForAKilohertzTone) {
  // The 1 kHz band lies where the diffuse-field correction is +3 dB.
  for (double level : {40.0, 60.0, 80.0}) {
    EXPECT_GT(tone_loudness(level, VH_SOUND_FIELD_DIFFUSE), tone_loudness(level)) << level;
  }
}

TEST(LoudnessStationary, SilenceIsZeroWithAnEmptyPattern) {
  std::vector<double> pattern;
  EXPECT_EQ(stationary(varnholt::test::silence(4800), VH_SOUND_FIELD_FREE, &pattern), 0.0);
  EXPECT_TRUE(varnholt::test::arrays_identical(pattern, std::vector<double>(PATTERN, 0.0)));
}

TEST(LoudnessStationary, SharpnessOfAKilohertzToneMatchesItsPatternCentroid) {
  // Below 15.8 Bark sharpness is 0.11 acum per Bark of the pattern's
  // centroid. A 1 kHz tone at 60 dB lies at 8.5 Bark and its slope ends
  // below 15.8 Bark, so sharpness and centroid agree; the unit acum is
  // defined near this very sound.
  std::vector<double> pattern;
  stationary(varnholt::test::sine(1000.0, 60.0, 24000), VH_SOUND_FIELD_FREE, &pattern);
  double moment = 0.0;
  double area = 0.0;
  for (std::size_t n = 0; n < PATTERN; ++n) {
    moment += vh_bark_axis()[n] * pattern[n];
    area += pattern[n];
  }
  double sharpness = SENTINEL;
  ASSERT_EQ(vh_sharpness_din(pattern.data(), PATTERN, &sharpness), VH_OK);
  EXPECT_NEAR(sharpness, 0.11 * moment / area, 0.01 * sharpness);
  EXPECT_NEAR(sharpness, 1.0, 0.15);
}

TEST(LoudnessStationary, SameCallTwiceIsBitIdentical) {
  const std::vector<double> x = varnholt::test::pink_noise(65.0, 9600, 4);
  std::vector<double> a;
  std::vector<double> b;
  const double na = stationary(x, VH_SOUND_FIELD_DIFFUSE, &a);
  const double nb = stationary(x, VH_SOUND_FIELD_DIFFUSE, &b);
  EXPECT_EQ(std::memcmp(&na, &nb, sizeof na), 0);
  EXPECT_TRUE(varnholt::test::arrays_identical(a, b));
}

TEST(LoudnessFromLevels, QuietLevelsGiveZero) {
  const std::vector<double> levels(BANDS, -30.0);
  double n = SENTINEL;
  std::vector<double> pattern(PATTERN, SENTINEL);
  ASSERT_EQ(vh_loudness_from_levels(levels.data(), BANDS, 0, &n, pattern.data(), PATTERN), VH_OK);
  EXPECT_EQ(n, 0.0);
  EXPECT_TRUE(varnholt::test::arrays_identical(pattern, std::vector<double>(PATTERN, 0.0)));
}

TEST(LoudnessFromLevels, OptionalPatternMayBeLeftOutOrLonger) {
  const std::vector<double> levels(BANDS, 60.0);
  double with = SENTINEL;
  double without = SENTINEL;
  std::vector<double> pattern(PATTERN + 5, SENTINEL);
  ASSERT_EQ(vh_loudness_from_levels(levels.data(), BANDS, 0, &with, pattern.data(), pattern.size()), VH_OK);
  ASSERT_EQ(vh_loudness_from_levels(levels.data(), BANDS, 0, &without, nullptr, 0), VH_OK);
  EXPECT_EQ(with, without);
  EXPECT_GT(with, 0.0);
  for (std::size_t n = PATTERN; n < pattern.size(); ++n) EXPECT_EQ(pattern[n], SENTINEL) << n;
}

TEST(LoudnessFromLevels, TheLowBandLimitIsOneHundredTwentyDecibels) {
  for (std::size_t band = 0; band < 11; ++band) {
    std::vector<double> levels(BANDS, 40.0);
    levels[band] = 120.0;
    double n = SENTINEL;
    EXPECT_EQ(vh_loudness_from_levels(levels.data(), BANDS, 0, &n, nullptr, 0), VH_OK) << band;
    levels[band] = 120.0001;
    n = SENTINEL;
    EXPECT_EQ(vh_loudness_from_levels(levels.data(), BANDS, 0, &n, nullptr, 0), VH_ERR_INVALID_ARGUMENT) << band;
    EXPECT_EQ(n, SENTINEL);
  }
  // Above 250 Hz there is no such limit.
  std::vector<double> levels(BANDS, 40.0);
  levels[11] = 140.0;
  double n = SENTINEL;
  EXPECT_EQ(vh_loudness_from_levels(levels.data(), BANDS, 0, &n, nullptr, 0), VH_OK);
}

struct LevelsCase {
  const char* what;
  bool null_levels;
  std::size_t level_count;
  vh_sound_field field;
  bool null_loudness;
  bool null_specific;
  std::size_t specific_len;
  std::size_t first_band;
  double first_value;
  std::size_t second_band;
  double second_value;
  vh_status expected;
};

TEST(LoudnessFromLevels, ChecksRunInOrderAndLeaveOutputsAlone) {
  const LevelsCase cases[] = {
      {"null levels", true, 28, 0, false, false, 240, 0, 40, 0, 40, VH_ERR_NULL_POINTER},
      {"null loudness", false, 28, 0, true, false, 240, 0, 40, 0, 40, VH_ERR_NULL_POINTER},
      {"null before count", true, 27, 2, false, false, 0, 0, 40, 0, 40, VH_ERR_NULL_POINTER},
      {"27 levels", false, 27, 0, false, false, 240, 0, 40, 0, 40, VH_ERR_INVALID_ARGUMENT},
      {"count before field", false, 27, 2, false, false, 240, 0, 40, 0, 40, VH_ERR_INVALID_ARGUMENT},
      {"29 levels", false, 29, 0, false, false, 240, 0, 40, 0, 40, VH_ERR_INVALID_ARGUMENT},
      {"field 2", false, 28, 2, false, false, 240, 0, 40, 0, 40, VH_ERR_INVALID_SOUND_FIELD},
      {"field -1", false, 28, -1, false, false, 240, 0, 40, 0, 40, VH_ERR_INVALID_SOUND_FIELD},
      {"field before buffer", false, 28, 2, false, false, 3, 0, 40, 0, 40, VH_ERR_INVALID_SOUND_FIELD},
      {"specific 239", false, 28, 0, false, false, 239, 0, 40, 0, 40, VH_ERR_OUTPUT_TOO_SMALL},
      {"null specific 240", false, 28, 0, false, true, 240, 0, 40, 0, 40, VH_ERR_OUTPUT_TOO_SMALL},
      {"buffer before levels", false, 28, 0, false, false, 239, 0, NaN, 0, NaN, VH_ERR_OUTPUT_TOO_SMALL},
      {"NaN band 2 then 130 dB band 5", false, 28, 0, false, false, 240, 2, NaN, 5, 130, VH_ERR_NON_FINITE_INPUT},
      {"130 dB band 2 then NaN band 5", false, 28, 0, false, false, 240, 2, 130, 5, NaN, VH_ERR_INVALID_ARGUMENT},
      {"inf band 27", false, 28, 1, false, false, 240, 27, INF, 27, INF, VH_ERR_NON_FINITE_INPUT},
      {"-inf band 0", false, 28, 0, false, true, 0, 0, -INF, 0, -INF, VH_ERR_NON_FINITE_INPUT},
      {"core overflows", false, 28, 0, false, false, 240, 27, 1e5, 27, 1e5, VH_ERR_NUMERICAL},
  };
  for (const LevelsCase& c : cases) {
    std::vector<double> levels(BANDS, 40.0);
    levels[c.first_band] = c.first_value;
    levels[c.second_band] = c.second_value;
    std::vector<double> loudness(1, SENTINEL);
    std::vector<double> specific(PATTERN, SENTINEL);
    EXPECT_EQ(vh_loudness_from_levels(c.null_levels ? nullptr : levels.data(), c.level_count, c.field,
                                      c.null_loudness ? nullptr : loudness.data(),
                                      c.null_specific ? nullptr : specific.data(), c.specific_len),
              c.expected)
        << c.what;
    EXPECT_TRUE(untouched(loudness)) << c.what;
    EXPECT_TRUE(untouched(specific)) << c.what;
  }
}

TEST(LoudnessStationary, ChecksRunInOrderAndLeaveOutputsAlone) {
  const std::vector<double> ok = varnholt::test::sine(1000.0, 60.0, 4800);
  std::vector<double> nan_early(100, 0.0);  // shorter than the minimum
  nan_early[50] = NaN;
  std::vector<double> extreme(4800, 0.0);
  extreme[100] = 1e300;  // finite, but its filtered square is not
  // 130 dB at 50 Hz exceeds the range of the low-band weighting (the narrow
  // low bands need a few hundred milliseconds to reach the full level).
  const std::vector<double> loud_bass = varnholt::test::sine(50.0, 130.0, 24000);
  struct Case {
    const char* what;
    const double* samples;
    std::uint64_t count;
    std::int32_t rate;
    vh_sound_field field;
    bool null_loudness;
    bool null_specific;
    std::size_t specific_len;
    vh_status expected;
  };
  const Case cases[] = {
      {"null loudness", ok.data(), 4800, 48000, 0, true, false, 240, VH_ERR_NULL_POINTER},
      {"null loudness first", nullptr, 0, 1, 2, true, false, 0, VH_ERR_NULL_POINTER},
      {"field", nullptr, 0, 1, 2, false, false, 0, VH_ERR_INVALID_SOUND_FIELD},
      {"buffer", nullptr, 0, 1, 0, false, false, 239, VH_ERR_OUTPUT_TOO_SMALL},
      {"null specific with length", ok.data(), 4800, 48000, 0, false, true, 240, VH_ERR_OUTPUT_TOO_SMALL},
      {"null samples", nullptr, 4800, 48000, 0, false, false, 240, VH_ERR_NULL_POINTER},
      {"count 0", ok.data(), 0, 44100, 0, false, false, 240, VH_ERR_INPUT_TOO_SHORT},
      {"rate", ok.data(), 4800, 44100, 0, false, false, 240, VH_ERR_INVALID_SAMPLE_RATE},
      {"size", ok.data(), 0x1000000000000000ULL, 48000, 0, false, false, 240, VH_ERR_SIZE_OVERFLOW},
      {"NaN before the minimum length", nan_early.data(), 100, 48000, 0, false, false, 240,
       VH_ERR_NON_FINITE_INPUT},
      {"255 samples", ok.data(), 255, 48000, 0, false, false, 240, VH_ERR_INPUT_TOO_SHORT},
      {"loud bass", loud_bass.data(), 24000, 48000, 0, false, false, 240, VH_ERR_INVALID_ARGUMENT},
      {"overflowing sums", extreme.data(), 4800, 48000, 1, false, false, 240, VH_ERR_NUMERICAL},
  };
  for (const Case& c : cases) {
    std::vector<double> loudness(1, SENTINEL);
    std::vector<double> specific(PATTERN, SENTINEL);
    EXPECT_EQ(vh_loudness_stationary(c.samples, c.count, c.rate, c.field,
                                     c.null_loudness ? nullptr : loudness.data(),
                                     c.null_specific ? nullptr : specific.data(), c.specific_len),
              c.expected)
        << c.what;
    EXPECT_TRUE(untouched(loudness)) << c.what;
    EXPECT_TRUE(untouched(specific)) << c.what;
  }
  double n = SENTINEL;
  EXPECT_EQ(vh_loudness_stationary(ok.data(), 256, 48000, 0, &n, nullptr, 0), VH_OK);
}

}  // namespace
