// Roughness after Daniel and Weber through the public interface: the entry
// points' contract and the model's response to modulated tones and noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

#include "support/compare.h"
#include "support/signals.h"
#include "varnholt.h"

namespace {

using varnholt::test::SENTINEL;
using varnholt::test::untouched;

constexpr std::size_t FRAME = 9600;
constexpr std::size_t HOP = 4800;
constexpr std::size_t UNTOUCHED_COUNT = 987654321;
constexpr std::size_t TOO_MANY = 2147483648ULL;
// Every frame of a stationary modulated tone sees the same envelope up to its
// phase within the frame; the reading varies by well under 0.5 %.
constexpr double FRAME_SPREAD = 0.005;
// The model's upper bound: 0.5 * calibration * sum of the critical-band
// weights of the 47 channels, a little above 6.60 asper.
constexpr double ROUGHNESS_CEILING = 0.5 * 0.4969205831462427 * 26.565 + 1e-9;

// A 1 kHz tone amplitude-modulated at fm with the given depth, scaled so the
// whole signal has an RMS of 60 dB SPL.
std::vector<double> am_tone_at_60_db(double fm, double depth, std::size_t count) {
  std::vector<double> x = varnholt::test::am_tone(1000.0, 60.0, fm, depth, count);
  const double scale = 1.0 / std::sqrt(1.0 + 0.5 * depth * depth);
  for (double& v : x) v *= scale;
  return x;
}

std::vector<double> roughness_of(const std::vector<double>& x) {
  std::size_t frames = 0;
  std::vector<double> out(x.size() / HOP + 1, SENTINEL);
  EXPECT_EQ(vh_roughness_dw(x.data(), x.size(), 48000, out.data(), out.size(), &frames), VH_OK);
  out.resize(frames);
  return out;
}

double mean_roughness(const std::vector<double>& x) {
  const std::vector<double> r = roughness_of(x);
  double sum = 0.0;
  for (double v : r) sum += v;
  return sum / static_cast<double>(r.size());
}

TEST(RoughnessDw, ComputingEntryChecksInOrder) {
  std::vector<double> ok(48000, 0.01);
  std::vector<double> with_nan = ok;
  with_nan[30000] = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    const std::vector<double>* signal;
    std::size_t n;
    std::int32_t rate;
    std::size_t capacity;
    vh_status expected;
    std::size_t expected_count;
  };
  const Case cases[] = {
      {"rate before length", &ok, 10, 44100, 0, VH_ERR_INVALID_SAMPLE_RATE, UNTOUCHED_COUNT},
      {"rate zero", &ok, 48000, 0, 9, VH_ERR_INVALID_SAMPLE_RATE, UNTOUCHED_COUNT},
      {"size before length", &ok, TOO_MANY, 48000, 0, VH_ERR_SIZE_OVERFLOW, UNTOUCHED_COUNT},
      {"largest size_t", &ok, SIZE_MAX, 48000, 0, VH_ERR_SIZE_OVERFLOW, UNTOUCHED_COUNT},
      {"one sample short", &ok, FRAME - 1, 48000, 0, VH_ERR_INPUT_TOO_SHORT, UNTOUCHED_COUNT},
      {"empty", &ok, 0, 48000, 0, VH_ERR_INPUT_TOO_SHORT, UNTOUCHED_COUNT},
      {"capacity before samples", &with_nan, 48000, 48000, 8, VH_ERR_OUTPUT_TOO_SMALL, 9},
      {"capacity zero", &ok, 48000, 48000, 0, VH_ERR_OUTPUT_TOO_SMALL, 9},
      {"samples", &with_nan, 48000, 48000, 9, VH_ERR_NON_FINITE_INPUT, UNTOUCHED_COUNT},
  };
  for (const Case& c : cases) {
    std::vector<double> out(12, SENTINEL);
    std::size_t count = UNTOUCHED_COUNT;
    EXPECT_EQ(vh_roughness_dw(c.signal->data(), c.n, c.rate, out.data(), c.capacity, &count),
              c.expected)
        << c.what;
    EXPECT_EQ(count, c.expected_count) << c.what;
    EXPECT_TRUE(untouched(out)) << c.what;
  }
}

TEST(RoughnessDw, NullPointersComeFirst) {
  std::vector<double> signal(FRAME, 0.0);
  std::vector<double> out(2, SENTINEL);
  std::size_t count = UNTOUCHED_COUNT;
  EXPECT_EQ(vh_roughness_dw(nullptr, 0, 1, out.data(), 0, &count), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_roughness_dw(signal.data(), 0, 1, nullptr, 0, &count), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_roughness_dw(signal.data(), 0, 1, out.data(), 0, nullptr), VH_ERR_NULL_POINTER);
  EXPECT_EQ(count, UNTOUCHED_COUNT);
  EXPECT_TRUE(untouched(out));
}

TEST(RoughnessDw, FrameCountEntryChecksInOrder) {
  std::size_t count = UNTOUCHED_COUNT;
  EXPECT_EQ(vh_roughness_frame_count(0, 44100, nullptr), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_roughness_frame_count(0, 44100, &count), VH_ERR_INVALID_SAMPLE_RATE);
  EXPECT_EQ(vh_roughness_frame_count(TOO_MANY, 48000, &count), VH_ERR_SIZE_OVERFLOW);
  EXPECT_EQ(vh_roughness_frame_count(FRAME - 1, 48000, &count), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_EQ(count, UNTOUCHED_COUNT);
  EXPECT_EQ(vh_roughness_frame_count(TOO_MANY - 1, 48000, &count), VH_OK);
  EXPECT_EQ(count, (TOO_MANY - 1 - FRAME) / HOP + 1);
}

TEST(RoughnessDw, FrameCountAgreesWithTheValuesReturned) {
  // Silence is cheap to analyse, so every length around the first frame
  // boundaries can be run.
  const std::vector<double> signal(4 * HOP + FRAME + 2, 0.0);
  for (std::size_t boundary = FRAME; boundary <= FRAME + 4 * HOP; boundary += HOP) {
    for (std::size_t n = boundary - 1; n <= boundary + 1; ++n) {
      std::size_t expected = 0;
      const vh_status counted = vh_roughness_frame_count(n, 48000, &expected);
      std::vector<double> out(8, SENTINEL);
      std::size_t frames = UNTOUCHED_COUNT;
      const vh_status computed = vh_roughness_dw(signal.data(), n, 48000, out.data(), 8, &frames);
      ASSERT_EQ(computed, counted) << n;
      if (computed != VH_OK) continue;
      EXPECT_EQ(frames, expected) << n;
      EXPECT_EQ((n - FRAME) / HOP + 1, expected) << n;
      EXPECT_TRUE(untouched(
          std::vector<double>(out.begin() + static_cast<std::ptrdiff_t>(frames), out.end())))
          << n;
    }
  }
}

TEST(RoughnessDw, FramesCoverTheirOwnSamplesOnly) {
  // A rough burst filling samples 9600 ... 19199 (frame 2) of 28800.
  const std::vector<double> burst = am_tone_at_60_db(70.0, 1.0, 28800);
  std::vector<double> x(28800, 0.0);
  std::copy(burst.begin() + 9600, burst.begin() + 19200, x.begin() + 9600);
  const std::vector<double> r = roughness_of(x);
  ASSERT_EQ(r.size(), 5U);
  EXPECT_EQ(r[0], 0.0);  // samples 0 ... 9599: silence
  EXPECT_GT(r[1], 0.1);
  EXPECT_NEAR(r[2], 1.0, 0.01);
  EXPECT_GT(r[3], 0.1);
  EXPECT_EQ(r[4], 0.0);  // samples 19200 ... 28799
  // Samples after the last whole frame are never analysed.
  std::vector<double> tail(FRAME + HOP - 1, 0.0);
  std::copy(burst.begin(), burst.begin() + HOP - 1, tail.begin() + FRAME);
  const std::vector<double> only = roughness_of(tail);
  ASSERT_EQ(only.size(), 1U);
  EXPECT_EQ(only[0], 0.0);
}

TEST(RoughnessDw, ReferenceToneReadsOneAsper) {
  // Validation: the unit of roughness, a 1 kHz tone of 60 dB SPL fully
  // modulated at 70 Hz, is 1 asper.
  const std::vector<double> r = roughness_of(am_tone_at_60_db(70.0, 1.0, 48000));
  ASSERT_EQ(r.size(), 9U);
  const std::vector<double> one(r.size(), 1.0);
  EXPECT_TRUE(varnholt::test::arrays_near(r, one, 0.0, FRAME_SPREAD));
  // Regression pin: with the carrier (rather than the whole signal) at 60 dB
  // the signal is 1.76 dB louder and reads about 1.044 asper.
  EXPECT_NEAR(mean_roughness(varnholt::test::am_tone(1000.0, 60.0, 70.0, 1.0, 48000)), 1.0446,
              0.002);
}

TEST(RoughnessDw, TonesReadTheirExactArithmeticValues) {
  // Regression pins from exact arithmetic: channels reached by a single
  // spectral line have flat envelopes, and what the transforms leave of them
  // is rounding noise that must not correlate with a modulated neighbour
  // (it used to add up to 1.3e-3 of the roughness, varying with the FFT).
  // Every frame of these stationary 1.5 s signals reads the same.
  constexpr std::size_t COUNT = 72000;
  // A few hundred roundings of the FFTs per frame separate any two correct
  // evaluations; the noise it guards against was 1e-6 to 1e-3 relative.
  constexpr double EXACT_TOLERANCE = 1e-9;
  std::vector<double> am = varnholt::test::am_tone(1000.0, 60.0, 70.0, 1.0, COUNT);
  const double to_60_db = varnholt::test::rms_from_spl(60.0) / varnholt::test::rms(am);
  for (double& v : am) v *= to_60_db;
  const struct {
    const char* what;
    std::vector<double> signal;
    double asper;
  } cases[] = {
      {"1 kHz tone, 40 dB", varnholt::test::sine(1000.0, 40.0, COUNT), 1.4839658797520e-4},
      {"1 kHz tone, 60 dB", varnholt::test::sine(1000.0, 60.0, COUNT), 5.6171446695570e-4},
      {"1 kHz tone at 60 dB, 100 % modulated at 70 Hz", am, 1.0000012363695},
  };
  for (const auto& c : cases) {
    const std::vector<double> r = roughness_of(c.signal);
    ASSERT_EQ(r.size(), 14U) << c.what;
    EXPECT_TRUE(varnholt::test::arrays_near(r, std::vector<double>(r.size(), c.asper), 0.0,
                                            EXACT_TOLERANCE))
        << c.what;
  }
}

TEST(RoughnessDw, GrowsWithModulationDepth) {
  double previous = -1.0;
  for (double depth : {0.0, 0.25, 0.5, 1.0}) {
    const double r = mean_roughness(am_tone_at_60_db(70.0, depth, 19200));
    EXPECT_GT(r, previous) << depth;
    previous = r;
  }
  // An unmodulated tone is smooth.
  EXPECT_LT(mean_roughness(am_tone_at_60_db(70.0, 0.0, 19200)), 0.01);
}

TEST(RoughnessDw, PeaksAtModulationFrequenciesNearSeventyHertz) {
  const double fm[] = {10.0, 20.0, 30.0, 50.0, 70.0, 90.0, 150.0, 300.0};
  std::vector<double> r;
  for (double f : fm) r.push_back(mean_roughness(am_tone_at_60_db(f, 1.0, 19200)));
  const auto peak = static_cast<std::size_t>(std::max_element(r.begin(), r.end()) - r.begin());
  EXPECT_GE(fm[peak], 50.0);
  EXPECT_LE(fm[peak], 90.0);
  for (std::size_t i = 1; i <= peak; ++i) EXPECT_GT(r[i], r[i - 1]) << fm[i];
  for (std::size_t i = peak + 1; i < r.size(); ++i) EXPECT_LT(r[i], r[i - 1]) << fm[i];
  EXPECT_LT(r.front(), 0.1 * r[peak]);
  EXPECT_LT(r.back(), 0.1 * r[peak]);
}

TEST(RoughnessDw, SilenceIsZeroInEveryFrame) {
  const std::vector<double> r = roughness_of(varnholt::test::silence(48000));
  EXPECT_TRUE(varnholt::test::arrays_identical(r, std::vector<double>(9, 0.0)));
}

TEST(RoughnessDw, NeverAboveTheModelsCeiling) {
  // Clicks at 70 Hz excite every channel fully modulated and in phase: close
  // to the ceiling. Loud modulated noise and a loud square wave stay below.
  std::vector<double> clicks(19200, 0.0);
  for (std::size_t i = 0; i < clicks.size(); i += 686) clicks[i] = 1000.0;
  std::vector<double> noise = varnholt::test::white_noise(100.0, 19200, 7);
  for (std::size_t i = 0; i < noise.size(); ++i) {
    noise[i] *= 1.0 + std::sin(2.0 * 3.141592653589793 * 70.0 * static_cast<double>(i) / 48000.0);
  }
  std::vector<double> square(19200);
  for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 343) % 2 ? 200.0 : -200.0;
  for (const auto* x : {&clicks, &noise, &square}) {
    for (double v : roughness_of(*x)) {
      EXPECT_GE(v, 0.0);
      EXPECT_LE(v, ROUGHNESS_CEILING);
    }
  }
  EXPECT_GT(roughness_of(clicks)[1], 6.0);
}

TEST(RoughnessDw, OverflowInTheSpectrumIsANumericalFailure) {
  std::vector<double> x(FRAME, 0.0);
  for (std::size_t i = 0; i < x.size(); i += 7) x[i] = 1e300;
  std::vector<double> out(2, SENTINEL);
  std::size_t count = UNTOUCHED_COUNT;
  EXPECT_EQ(vh_roughness_dw(x.data(), x.size(), 48000, out.data(), 2, &count), VH_ERR_NUMERICAL);
  EXPECT_EQ(count, UNTOUCHED_COUNT);
  EXPECT_TRUE(untouched(out));
}

TEST(RoughnessDw, SameCallGivesIdenticalBitsOnEveryThread) {
  std::vector<double> x = varnholt::test::pink_noise(70.0, 14400, 3);
  const std::vector<double> once = roughness_of(x);
  EXPECT_TRUE(varnholt::test::arrays_identical(roughness_of(x), once));
  std::vector<std::vector<double>> results(8);
  std::vector<std::thread> threads;
  for (auto& r : results) threads.emplace_back([&x, &r] { r = roughness_of(x); });
  for (auto& t : threads) t.join();
  for (const auto& r : results) EXPECT_TRUE(varnholt::test::arrays_identical(r, once));
}

}  // namespace
