// The hearing model: band scale, signal preparation, auditory filter and
// band loudness.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

#include "ecma/auditory_filter.h"
#include "ecma/band_loudness.h"
#include "ecma/band_scale.h"
#include "ecma/signal_preparation.h"
#include "support/compare.h"
#include "support/signals.h"

namespace {

using namespace varnholt;
using varnholt::test::arrays_near;

// The published band-scale rows are rounded to three decimals.
constexpr double PUBLISHED_ROUNDING_HZ = 5e-4;
// Two cascades of the same biquads in different order and form: round-off
// of a few ulps per sample, growing slowly through the recursions.
constexpr double CASCADE_ROUNDOFF = 1e-11;
// Five coincident poles in direct form: rounding the coefficients splits the
// pole cluster by about (1e-16)^(1/5) of its distance to the unit circle, so
// the impulse response departs from the exact gamma tone by ~1e-5 of its peak
// in the narrowest (lowest) bands and less above.
constexpr double LOW_BAND_FILTER_TOLERANCE = 3e-5;
constexpr double FILTER_TOLERANCE = 5e-6;

constexpr std::uint64_t LEAD = 8192;
constexpr std::uint64_t HOP = 2048;

std::vector<double> prepare(const std::vector<double>& x, vh_sound_field field,
                            bool pad = true) {
  std::vector<double> out;
  EXPECT_EQ(ecma_prepare_signal(x.data(), x.size(), LEAD, HOP, pad, field, out), VH_OK);
  return out;
}

// --- band scale --------------------------------------------------------------

TEST(EcmaBandScale, TellingRows) {
  struct Row {
    std::size_t band;
    double centre_hz, bandwidth_hz;
  };
  // Validation: the rounded centre frequencies and bandwidths of the scale.
  const Row rows[] = {{0, 41.009, 82.197},
                      {3, 166.733, 86.256},
                      {16, 937.650, 172.420},
                      {25, 2043.650, 340.661},
                      {52, 18427.699, 2982.727}};
  for (const Row& r : rows) {
    EXPECT_NEAR(ecma_band_centre_hz(r.band), r.centre_hz, PUBLISHED_ROUNDING_HZ) << r.band;
    EXPECT_NEAR(ecma_bandwidth_hz(r.band), r.bandwidth_hz, PUBLISHED_ROUNDING_HZ) << r.band;
  }
}

// --- signal preparation ------------------------------------------------------

TEST(EcmaSignalPreparation, RefusesInOrder) {
  const std::vector<double> x(1000, 0.01);
  std::vector<double> nan_x = x;
  nan_x[500] = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    const double* signal;
    std::uint64_t n, lead, hop;
    vh_sound_field field;
    vh_status expected;
  };
  const Case cases[] = {
      {"sound field 2", x.data(), 1000, LEAD, HOP, 2, VH_ERR_INVALID_ARGUMENT},
      {"sound field -1", x.data(), 1000, LEAD, HOP, -1, VH_ERR_INVALID_ARGUMENT},
      {"lead 1", x.data(), 1000, 1, 1, 0, VH_ERR_INVALID_ARGUMENT},
      {"hop 0", x.data(), 1000, LEAD, 0, 0, VH_ERR_INVALID_ARGUMENT},
      {"hop above lead", x.data(), 1000, LEAD, LEAD + 1, 0, VH_ERR_INVALID_ARGUMENT},
      {"bad field before short input", x.data(), 10, LEAD, HOP, 7, VH_ERR_INVALID_ARGUMENT},
      {"239 samples", x.data(), 239, LEAD, HOP, 0, VH_ERR_INPUT_TOO_SHORT},
      {"short null signal", nullptr, 239, LEAD, HOP, 0, VH_ERR_INPUT_TOO_SHORT},
      {"n + lead wraps", x.data(), UINT64_MAX - 100, LEAD, HOP, 0, VH_ERR_SIZE_OVERFLOW},
      {"padding wraps", x.data(), UINT64_MAX - LEAD - 1, LEAD, HOP, 0, VH_ERR_SIZE_OVERFLOW},
      {"too long", x.data(), 0x0FFFFFFFFFFFFFFFULL, LEAD, HOP, 0, VH_ERR_SIZE_OVERFLOW},
      {"null signal", nullptr, 1000, LEAD, HOP, 0, VH_ERR_NULL_POINTER},
      {"NaN sample", nan_x.data(), 1000, LEAD, HOP, 1, VH_ERR_NON_FINITE_INPUT},
  };
  for (const Case& c : cases) {
    std::vector<double> out(5, 1.0);
    EXPECT_EQ(ecma_prepare_signal(c.signal, c.n, c.lead, c.hop, true, c.field, out), c.expected)
        << c.what;
    EXPECT_TRUE(out.empty()) << c.what;
  }
}

TEST(EcmaSignalPreparation, Lengths) {
  const std::vector<double> x(14592, 0.0);
  struct Case {
    std::uint64_t n, lead, hop;
    bool pad;
    std::size_t expected;
  };
  const Case cases[] = {
      {14592, 8192, 2048, true, 32768},           // 22784 rounds up to 24576, plus the lead
      {8192, 8192, 2048, true, 8192 + 2 * 8192},  // already a multiple of the hop
      {14592, 16384, 4096, false, 14592 + 16384},
      {240, 2, 1, true, 244},
  };
  for (const Case& c : cases) {
    std::vector<double> out;
    ASSERT_EQ(ecma_prepare_signal(x.data(), c.n, c.lead, c.hop, c.pad, 0, out), VH_OK);
    EXPECT_EQ(out.size(), c.expected) << c.n << " " << c.lead;
  }
}

TEST(EcmaSignalPreparation, LeadStaysZeroAndTheFadeStartsAtZero) {
  // A step without filters to watch: the diffuse and free fields both leave
  // the leading zeros alone, and the first faded sample is 0 so the first
  // filtered sample is 0 too.
  const std::vector<double> step(240, 1.0);
  for (vh_sound_field field : {0, 1}) {
    const std::vector<double> out = prepare(step, field);
    for (std::size_t i = 0; i < LEAD; ++i) ASSERT_EQ(out[i], 0.0) << i;
    EXPECT_EQ(out[LEAD], 0.0);
    EXPECT_NE(out[LEAD + 1], 0.0);
  }
}

// Second-order section in direct form I, written independently of the
// library's transposed form.
void direct_form_1(double b0, double b1, double b2, double a1, double a2, std::vector<double>& x) {
  double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
  for (double& v : x) {
    const double y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = v;
    y2 = y1;
    y1 = y;
    v = y;
  }
}

TEST(EcmaSignalPreparation, FreeFieldIsDiffuseFieldThroughTheTwoHeadSections) {
  // Linear sections commute: running the two free-field sections after the
  // diffuse-field cascade must give the free-field result.
  const std::vector<double> x = test::two_tones(300.0, 70.0, 3100.0, 60.0, 4800);
  std::vector<double> diffuse = prepare(x, VH_SOUND_FIELD_DIFFUSE);
  const std::vector<double> free = prepare(x, VH_SOUND_FIELD_FREE);
  direct_form_1(1.015896020255593, -1.925298877776079, 0.922118060364679, -1.925298877776079,
                0.938014080620272, diffuse);
  direct_form_1(0.958943219304445, -1.806088011849494, 0.876438777856084, -1.806088011849494,
                0.83538199716053, diffuse);
  EXPECT_TRUE(arrays_near(free, diffuse, CASCADE_ROUNDOFF, 0.0));
}

// --- auditory filter ---------------------------------------------------------

TEST(EcmaAuditoryFilter, Refuses) {
  std::vector<double> x(10, 0.0), y(10, test::SENTINEL);
  EXPECT_EQ(ecma_auditory_filter(nullptr, 10, 0, y.data()), VH_ERR_NULL_POINTER);
  EXPECT_EQ(ecma_auditory_filter(x.data(), 10, 0, nullptr), VH_ERR_NULL_POINTER);
  EXPECT_EQ(ecma_auditory_filter(x.data(), 10, 53, y.data()), VH_ERR_INVALID_ARGUMENT);
  EXPECT_TRUE(test::untouched(y));
  x[3] = std::numeric_limits<double>::infinity();
  EXPECT_EQ(ecma_auditory_filter(x.data(), 10, 5, y.data()), VH_ERR_NUMERICAL);
  EXPECT_EQ(y[3], 0.0);  // the values up to the input step are written
}

TEST(EcmaAuditoryFilter, SilenceGivesSilence) {
  const std::vector<double> prepared = prepare(test::silence(14592), 0);
  std::vector<double> band(prepared.size(), test::SENTINEL);
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    ASSERT_EQ(ecma_auditory_filter(prepared.data(), prepared.size(), b, band.data()), VH_OK);
    for (double v : band) ASSERT_EQ(v, 0.0) << b;
  }
}

TEST(EcmaAuditoryFilter, ImpulseResponseIsASampledGammaTone) {
  // Five coincident poles with the Eulerian numerator have the impulse
  // response g n^4 (d e^{j w})^n; its first sample is 0, hence the lag.
  constexpr std::size_t length = 6000;
  std::vector<double> impulse(length, 0.0), band(length);
  impulse[0] = 1.0;
  for (std::size_t b : {0UL, 2UL, 4UL, 5UL, 16UL, 30UL, 52UL}) {
    ASSERT_EQ(ecma_auditory_filter(impulse.data(), length, b, band.data()), VH_OK);
    const long double d = std::exp(-static_cast<long double>(ecma_bandwidth_hz(b)) * 512 / 3360000);
    const long double w = static_cast<long double>(ecma_band_centre_hz(b)) * 2 *
                          3.14159265358979323846264338L / 48000;
    const long double g = std::pow(1 - d, 5) / (d + 11 * d * d + 11 * d * d * d + d * d * d * d);
    std::vector<double> expected(length, 0.0);
    double peak = 0.0;
    for (std::size_t n = 1; n < length; ++n) {
      const long double k = static_cast<long double>(n);
      expected[n] = static_cast<double>(2 * g * k * k * k * k * std::pow(d, k) * std::cos(w * k));
      peak = std::max(peak, std::fabs(expected[n]));
    }
    const double tol = (b < 5 ? LOW_BAND_FILTER_TOLERANCE : FILTER_TOLERANCE) * peak;
    EXPECT_TRUE(arrays_near(band, expected, tol, 0.0)) << "band " << b;
  }
}

TEST(EcmaAuditoryFilter, PassesItsCentreFrequencyAtUnitGain) {
  // A tone at the centre frequency comes out with its own amplitude; the same
  // tone is far down in a band eight Bark above.
  for (std::size_t b : {8UL, 16UL, 30UL, 45UL}) {
    const std::vector<double> x = test::sine(ecma_band_centre_hz(b), 60.0, 24000);
    std::vector<double> band(x.size());
    ASSERT_EQ(ecma_auditory_filter(x.data(), x.size(), b, band.data()), VH_OK);
    const std::vector<double> settled(band.begin() + 12000, band.end());
    EXPECT_NEAR(test::rms(settled) / test::rms_from_spl(60.0), 1.0, 0.01) << b;
    if (b + 16 < ECMA_BAND_COUNT) {
      ASSERT_EQ(ecma_auditory_filter(x.data(), x.size(), b + 16, band.data()), VH_OK);
      const std::vector<double> far(band.begin() + 12000, band.end());
      EXPECT_LT(test::rms(far) / test::rms_from_spl(60.0), 0.01) << b;
    }
  }
}

TEST(EcmaAuditoryFilter, APairRunsBitIdenticalToTwoSingleBands) {
  // Noise in two pieces, so the carried state is checked too; then an
  // infinite sample, which either band of the pair must report.
  std::vector<double> x = test::white_noise(70.0, 3000, 5);
  for (std::size_t b : {0UL, 17UL, 51UL}) {
    AuditoryFilter single_first(b), single_second(b + 1), first(b), second(b + 1);
    std::vector<double> expect_first(x.size()), expect_second(x.size());
    std::vector<double> got_first(x.size()), got_second(x.size());
    for (std::size_t start : {0UL, 1234UL}) {
      const std::size_t count = start == 0 ? 1234 : x.size() - 1234;
      ASSERT_TRUE(single_first.run(x.data() + start, count, expect_first.data() + start));
      ASSERT_TRUE(single_second.run(x.data() + start, count, expect_second.data() + start));
      ASSERT_TRUE(AuditoryFilter::run_pair(first, second, x.data() + start, count,
                                           got_first.data() + start, got_second.data() + start));
    }
    EXPECT_TRUE(test::arrays_identical(got_first, expect_first)) << "band " << b;
    EXPECT_TRUE(test::arrays_identical(got_second, expect_second)) << "band " << b + 1;
  }
  x[100] = std::numeric_limits<double>::infinity();
  AuditoryFilter first(3), second(40);
  std::vector<double> out_first(x.size()), out_second(x.size());
  EXPECT_FALSE(AuditoryFilter::run_pair(first, second, x.data(), x.size(), out_first.data(),
                                        out_second.data()));
}

// --- band loudness -----------------------------------------------------------

TEST(EcmaBandLoudness, EdgeCases) {
  EXPECT_EQ(ecma_band_loudness(0.0, 0), 0.0);
  EXPECT_EQ(ecma_band_loudness(0.0, 52), 0.0);
  EXPECT_TRUE(std::isnan(ecma_band_loudness(-1e-9, 10)));
  EXPECT_TRUE(std::isnan(ecma_band_loudness(std::numeric_limits<double>::infinity(), 10)));
  EXPECT_TRUE(std::isnan(ecma_band_loudness(std::numeric_limits<double>::quiet_NaN(), 10)));
  EXPECT_TRUE(std::isnan(ecma_band_loudness(0.1, 53)));
  EXPECT_TRUE(std::isnan(ecma_band_loudness(1e300, 10)));  // the power laws overflow
}

TEST(EcmaBandLoudness, ThresholdInQuietGivesExactlyZero) {
  // Bisect for the pressure where the loudness leaves 0: on the low side it
  // is exactly 0, never negative, and it rises continuously from there.
  for (std::size_t b : {0UL, 22UL, 52UL}) {
    double lo = 0.0, hi = 1.0;
    ASSERT_GT(ecma_band_loudness(hi, b), 0.0);
    for (int i = 0; i < 200; ++i) {
      const double mid = 0.5 * (lo + hi);
      (ecma_band_loudness(mid, b) > 0.0 ? hi : lo) = mid;
    }
    EXPECT_EQ(ecma_band_loudness(lo, b), 0.0) << b;
    EXPECT_LT(ecma_band_loudness(hi, b), 1e-15) << b;
    EXPECT_EQ(ecma_band_loudness(0.5 * lo, b), 0.0) << b;
  }
}

// Local log-log slope; far above threshold the subtracted threshold is negligible.
double log_log_slope(double p, std::size_t b) {
  const double n1 = ecma_band_loudness(p, b);
  const double n2 = ecma_band_loudness(p * 1.001, b);
  return (std::log(n2) - std::log(n1)) / std::log(1.001);
}

TEST(EcmaBandLoudness, SlopesAtLowAndHighPressure) {
  // Band 22 has the lowest threshold in quiet: at -6 dB SPL the loudness is
  // just above it and grows almost in proportion to the pressure.
  const double p_low = test::rms_from_spl(-6.0);
  const double d_low = (ecma_band_loudness(p_low * 1.001, 22) - ecma_band_loudness(p_low, 22)) /
                       (p_low * 0.001);
  // Slope of the linear part: 0.0211668 * 1.00132 / 20 uPa; the first two
  // power laws bend it by about 2 % at -6 dB.
  EXPECT_NEAR(d_low / (0.0211668 * 1.00132 / 2e-5), 1.0, 0.025);
  // Far above 85 dB the log-log slope is that of the last segment.
  EXPECT_NEAR(log_log_slope(test::rms_from_spl(120.0), 30), 0.6434, 2e-3);
}

TEST(EcmaBandLoudness, GrowsWithPressure) {
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; b += 4) {
    double previous = 0.0;
    for (double level = 0.0; level <= 130.0; level += 5.0) {
      const double n = ecma_band_loudness(test::rms_from_spl(level), b);
      ASSERT_GE(n, previous) << b << " " << level;
      previous = n;
    }
    EXPECT_GT(previous, 10.0);
  }
}

}  // namespace
