// The tonality exports: frame count, check order, and the physics of tones,
// noise and silence.
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

constexpr std::size_t BANDS = 53;
constexpr std::size_t FRAME_SIZE_SENTINEL = 777;

// Band nearest 1 kHz: 0.5 * 18 = 9 Bark, centre 1027 Hz.
constexpr std::size_t BAND_OF_1KHZ = 17;
// Frames from which a tone that starts at time 0 has settled: the longest
// blocks (8192 samples) and the smoother need about 0.35 s.
constexpr std::size_t SETTLED_FRAME = 70;

struct Result {
  vh_status status;
  std::size_t frames;
  std::vector<double> out;
  double at(std::size_t plane, std::size_t frame, std::size_t band) const {
    return out[plane * BANDS * frames + BANDS * frame + band];
  }
};

Result analyse(const std::vector<double>& x, vh_sound_field field = VH_SOUND_FIELD_FREE) {
  Result r{VH_OK, 0, {}};
  EXPECT_EQ(vh_ecma_tonal_frame_count(x.size(), VH_SAMPLE_RATE, &r.frames), VH_OK);
  r.out.assign(265 * r.frames, SENTINEL);
  std::size_t frames = 0;
  r.status = vh_ecma_tonal_analysis(x.data(), x.size(), VH_SAMPLE_RATE, field, r.out.data(),
                                    r.out.size(), &frames);
  EXPECT_EQ(frames, r.frames);
  return r;
}

// --- frame count -------------------------------------------------------------

TEST(EcmaTonalFrameCount, Rules) {
  struct Case {
    std::size_t n;
    std::int32_t rate;
    vh_status status;
    std::size_t frames;
  };
  const Case cases[] = {
      {14592, 48000, VH_OK, 58},  // ceil(14592 / 256) + 1
      {48000, 48000, VH_OK, 189},
      {14593, 48000, VH_OK, 59},
      {14591, 48000, VH_ERR_INPUT_TOO_SHORT, 0},
      {48000, 44100, VH_ERR_INVALID_SAMPLE_RATE, 0},
      {10, 0, VH_ERR_INVALID_SAMPLE_RATE, 0},
      // The largest count whose 265 c doubles fit in 2^63 - 1 bytes.
      {4350647187195647ULL * 256, 48000, VH_OK, 4350647187195648ULL},
      {4350647187195647ULL * 256 + 1, 48000, VH_ERR_SIZE_OVERFLOW, 0},
      {0x0FFFFFFFFFFF7FFFULL, 48000, VH_ERR_SIZE_OVERFLOW, 0},
      {SIZE_MAX, 48000, VH_ERR_SIZE_OVERFLOW, 0},
  };
  for (const Case& c : cases) {
    std::size_t frames = FRAME_SIZE_SENTINEL;
    EXPECT_EQ(vh_ecma_tonal_frame_count(c.n, c.rate, &frames), c.status) << c.n;
    EXPECT_EQ(frames, c.frames) << c.n;
  }
  EXPECT_EQ(vh_ecma_tonal_frame_count(14592, 48000, nullptr), VH_ERR_NULL_POINTER);
}

// --- check order of the analysis ---------------------------------------------

TEST(EcmaTonalAnalysis, RefusesInOrder) {
  const std::vector<double> x = varnholt::test::sine(1000.0, 60.0, 14592);
  std::vector<double> nan_x = x;
  nan_x[9000] = std::numeric_limits<double>::infinity();
  constexpr std::size_t need = 265 * 58;
  std::vector<double> out(need, SENTINEL);
  struct Case {
    const char* what;
    const double* signal;
    std::size_t n;
    std::int32_t rate;
    vh_sound_field field;
    double* out;
    std::size_t capacity;
    vh_status status;
    std::size_t frames;
  };
  const Case cases[] = {
      {"rate", x.data(), 14592, 44100, 0, out.data(), need, VH_ERR_INVALID_SAMPLE_RATE, 0},
      {"rate before field", x.data(), 14592, 1, 9, nullptr, 0, VH_ERR_INVALID_SAMPLE_RATE, 0},
      {"field 2, out null", x.data(), 14592, 48000, 2, nullptr, 0, VH_ERR_INVALID_SOUND_FIELD, 0},
      {"field -1", x.data(), 14592, 48000, -1, out.data(), need, VH_ERR_INVALID_SOUND_FIELD, 0},
      {"out null", x.data(), 14592, 48000, 1, nullptr, need, VH_ERR_NULL_POINTER, 0},
      {"out null before short", x.data(), 100, 48000, 0, nullptr, need, VH_ERR_NULL_POINTER, 0},
      {"short", x.data(), 14591, 48000, 0, out.data(), need, VH_ERR_INPUT_TOO_SHORT, 0},
      {"short null signal", nullptr, 14591, 48000, 0, out.data(), need, VH_ERR_INPUT_TOO_SHORT, 0},
      {"too long", x.data(), SIZE_MAX, 48000, 0, out.data(), need, VH_ERR_SIZE_OVERFLOW, 0},
      {"capacity one short", x.data(), 14592, 48000, 0, out.data(), need - 1,
       VH_ERR_OUTPUT_TOO_SMALL, 58},
      {"capacity of a huge count", x.data(), 4350647187195647ULL * 256, 48000, 0, out.data(), need,
       VH_ERR_OUTPUT_TOO_SMALL, 4350647187195648ULL},
      {"null signal after the sizes", nullptr, 14592, 48000, 0, out.data(), need,
       VH_ERR_NULL_POINTER, 58},
      {"infinite sample", nan_x.data(), 14592, 48000, 1, out.data(), need,
       VH_ERR_NON_FINITE_INPUT, 58},
  };
  for (const Case& c : cases) {
    std::size_t frames = FRAME_SIZE_SENTINEL;
    EXPECT_EQ(vh_ecma_tonal_analysis(c.signal, c.n, c.rate, c.field, c.out, c.capacity, &frames),
              c.status)
        << c.what;
    EXPECT_EQ(frames, c.frames) << c.what;
    EXPECT_TRUE(untouched(out)) << c.what;
  }
  EXPECT_EQ(vh_ecma_tonal_analysis(x.data(), 14592, 48000, 0, out.data(), need, nullptr),
            VH_ERR_NULL_POINTER);
  EXPECT_TRUE(untouched(out));
}

TEST(EcmaTonalAnalysis, AFailedComputationLeavesTheOutputUntouched) {
  // An 18 kHz tone of 2e153 Pa: the low groups see it far down their filter
  // skirts and finish, the top bands' block energies overflow. The planes of
  // the finished groups must not reach the caller.
  std::vector<double> x = varnholt::test::sine(18000.0, 0.0, 14592);
  for (double& v : x) v *= 2e153 / varnholt::test::rms_from_spl(0.0);
  std::vector<double> out(265 * 58, SENTINEL);
  std::size_t frames = FRAME_SIZE_SENTINEL;
  EXPECT_EQ(vh_ecma_tonal_analysis(x.data(), x.size(), 48000, 0, out.data(), out.size(), &frames),
            VH_ERR_NUMERICAL);
  EXPECT_EQ(frames, 58U);
  EXPECT_TRUE(untouched(out));
}

// --- physics -----------------------------------------------------------------

TEST(EcmaTonalAnalysis, SilenceGivesZeroEverywhere) {
  const Result r = analyse(varnholt::test::silence(14592));
  ASSERT_EQ(r.status, VH_OK);
  for (double v : r.out) ASSERT_EQ(v, 0.0);
}

TEST(EcmaTonalAnalysis, ToneAt1kHz40dBHasUnitTonalityInItsBand) {
  const Result r = analyse(varnholt::test::sine(1000.0, 40.0, 24000));
  ASSERT_EQ(r.status, VH_OK);
  for (std::size_t p : {0U, 1U, 3U, 4U}) {
    for (std::size_t b = 0; b < BANDS; ++b) ASSERT_EQ(r.at(p, 0, b), 0.0) << p << " " << b;
  }
  for (std::size_t k = SETTLED_FRAME; k + 1 < r.frames; ++k) {
    std::size_t loudest = 0;
    double sum = 0.0;
    for (std::size_t b = 0; b < BANDS; ++b) {
      sum += r.at(3, k, b);
      if (r.at(3, k, b) > r.at(3, k, loudest)) loudest = b;
    }
    ASSERT_EQ(loudest, BAND_OF_1KHZ) << k;
    // Calibration: a 1 kHz tone at 40 dB has a specific tonality of 1 in its
    // band (regression pin of our own output: 1.0000, 0.5 * sum 2.876).
    EXPECT_NEAR(r.at(3, k, loudest), 1.0, 0.01) << k;
    EXPECT_NEAR(0.5 * sum, 2.876, 0.01) << k;
    // The tonal frequency: bin 341 of the lag spectrum, 999.02 Hz.
    EXPECT_NEAR(r.at(2, k, loudest), 1000.0, 3.0) << k;
    // Nearly all of the band's loudness is tonal.
    EXPECT_LT(r.at(1, k, loudest), 0.01 * r.at(0, k, loudest)) << k;
  }
}

TEST(EcmaTonalAnalysis, WhiteNoiseHasNoTonality) {
  const Result r = analyse(varnholt::test::white_noise(60.0, 24000, 11));
  ASSERT_EQ(r.status, VH_OK);
  double largest = 0.0;
  double noise = 0.0;
  for (std::size_t k = SETTLED_FRAME; k < r.frames; ++k) {
    for (std::size_t b = 0; b < BANDS; ++b) {
      largest = std::max(largest, r.at(3, k, b));
      noise = std::max(noise, r.at(1, k, b));
    }
  }
  EXPECT_LT(largest, 0.05);
  EXPECT_GT(noise, 0.1);  // the noise is heard, as noise
  // In frames without tonal loudness the specific tonality is 0 and the
  // combined loudness is the weighted noise loudness: the p-norm of (W, 0)
  // is W, up to the rounding of pow.
  std::size_t checked = 0;
  for (std::size_t k = 0; k < r.frames; ++k) {
    bool tonal = false;
    for (std::size_t b = 0; b < BANDS; ++b) tonal = tonal || r.at(0, k, b) > 0.0;
    if (tonal) continue;
    ++checked;
    for (std::size_t b = 0; b < BANDS; ++b) {
      ASSERT_EQ(r.at(3, k, b), 0.0);
      ASSERT_NEAR(r.at(4, k, b), 0.5331 * r.at(1, k, b), 1e-14 + 1e-12 * r.at(4, k, b));
    }
  }
  EXPECT_GT(checked, 0U);
}

TEST(EcmaTonalAnalysis, SoundFieldActsAndCallsRepeatExactly) {
  const std::vector<double> x = varnholt::test::two_tones(250.0, 55.0, 4000.0, 50.0, 14592);
  const Result free1 = analyse(x, VH_SOUND_FIELD_FREE);
  const Result free2 = analyse(x, VH_SOUND_FIELD_FREE);
  const Result diffuse = analyse(x, VH_SOUND_FIELD_DIFFUSE);
  ASSERT_EQ(free1.status, VH_OK);
  ASSERT_EQ(diffuse.status, VH_OK);
  EXPECT_TRUE(varnholt::test::arrays_identical(free1.out, free2.out));
  EXPECT_NE(free1.out, diffuse.out);
  for (double v : free1.out) ASSERT_GE(v, 0.0);
  // Tonal frequencies are multiples of the lag-spectrum bin, 48000 / 16384 Hz,
  // or interpolations between two; in the last group (one frame per block)
  // they are multiples.
  for (std::size_t k = 0; k < free1.frames; ++k) {
    for (std::size_t b = 25; b < BANDS; ++b) {
      const double bins = free1.at(2, k, b) / 2.9296875;
      ASSERT_EQ(bins, std::round(bins)) << k << " " << b;
    }
  }
}

TEST(EcmaTonalAnalysis, LouderToneMoreTonalLoudness) {
  const Result soft = analyse(varnholt::test::sine(2000.0, 40.0, 14592));
  const Result loud = analyse(varnholt::test::sine(2000.0, 60.0, 14592));
  ASSERT_EQ(soft.status, VH_OK);
  ASSERT_EQ(loud.status, VH_OK);
  const std::size_t k = soft.frames - 2;
  double soft_max = 0.0, loud_max = 0.0;
  for (std::size_t b = 0; b < BANDS; ++b) {
    soft_max = std::max(soft_max, soft.at(0, k, b));
    loud_max = std::max(loud_max, loud.at(0, k, b));
  }
  EXPECT_GT(loud_max, 2.0 * soft_max);
  EXPECT_GT(soft_max, 0.0);
}

TEST(EcmaTonalAnalysis, ConcurrentCallsMatchOneCall) {
  const std::vector<double> x = varnholt::test::two_tones(700.0, 50.0, 5000.0, 45.0, 14592);
  const Result alone = analyse(x);
  std::vector<Result> results(4);
  std::vector<std::thread> threads;
  for (Result& r : results) threads.emplace_back([&x, &r] { r = analyse(x); });
  for (std::thread& t : threads) t.join();
  for (const Result& r : results) {
    EXPECT_EQ(r.status, VH_OK);
    EXPECT_TRUE(varnholt::test::arrays_identical(r.out, alone.out));
  }
}

}  // namespace
