// Specific roughness on the hearing model through the public interface:
// frame counts, every check in order, and the physics of amplitude-modulated
// tones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/compare.h"
#include "support/signals.h"
#include "varnholt.h"

namespace {

using varnholt::test::am_tone;
using varnholt::test::arrays_identical;
using varnholt::test::SENTINEL;
using varnholt::test::sine;
using varnholt::test::untouched;

constexpr std::size_t BANDS = 53;
constexpr std::size_t MIN_SAMPLES = 15360;
constexpr std::size_t MAX_SAMPLES = 0x0FFFFFFFFFFFBFFFULL;
constexpr std::size_t ONE_SECOND = 48000;
constexpr std::size_t UNTOUCHED_FRAMES = 999;

// Frames from 0.5 s on: the 341 ms analysis blocks and the smoothing have
// settled there.
constexpr std::size_t SETTLED_FRAME = 25;

std::size_t frames_for(std::size_t n) { return n / 960 + 1; }

TEST(EcmaRoughnessFrameCount, ChecksInOrderAndCountsFrames) {
  struct Case {
    std::size_t count;
    std::int32_t rate;
    vh_status status;
    std::size_t frames;
  };
  const Case cases[] = {
      {0, 44100, VH_ERR_INVALID_SAMPLE_RATE, 0},  // the rate before the length
      {MIN_SAMPLES, 44100, VH_ERR_INVALID_SAMPLE_RATE, 0},
      {MIN_SAMPLES - 1, 48000, VH_ERR_INPUT_TOO_SHORT, 0},
      {MAX_SAMPLES + 1, 48000, VH_ERR_SIZE_OVERFLOW, 0},
      {MIN_SAMPLES, 48000, VH_OK, 17},
      {ONE_SECOND, 48000, VH_OK, 51},
      {ONE_SECOND + 959, 48000, VH_OK, 51},
      {ONE_SECOND + 960, 48000, VH_OK, 52},
      {MAX_SAMPLES, 48000, VH_OK, MAX_SAMPLES / 960 + 1},
  };
  for (const Case& c : cases) {
    std::size_t frames = UNTOUCHED_FRAMES;
    EXPECT_EQ(vh_ecma_roughness_frame_count(c.count, c.rate, &frames), c.status) << c.count;
    EXPECT_EQ(frames, c.frames) << c.count;
  }
  EXPECT_EQ(vh_ecma_roughness_frame_count(MIN_SAMPLES, 48000, nullptr), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_ecma_roughness_frame_count(0, 44100, nullptr), VH_ERR_NULL_POINTER);
}

TEST(EcmaRoughness, ChecksRunInTheDocumentedOrder) {
  const std::vector<double> ok = sine(1000.0, 60.0, MIN_SAMPLES);
  std::vector<double> nan_last = ok;
  nan_last.back() = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> inf_first = ok;
  inf_first.front() = -std::numeric_limits<double>::infinity();
  // Finite, but its energy overflows inside the analysis.
  const std::vector<double> huge(MIN_SAMPLES, 1e200);
  const std::size_t h = frames_for(MIN_SAMPLES);
  // The largest block count whose spectra still fit: B * 53 * 257 <= 2^60 - 1,
  // B = ceil(n / 4096) + 1.
  const std::size_t largest_blocks = ((std::size_t{1} << 60) - 1) / 13621;
  const std::size_t largest_n = (largest_blocks - 1) * 4096;
  const std::size_t any_capacity = std::numeric_limits<std::size_t>::max();

  struct Case {
    const char* what;
    const double* samples;
    std::size_t count;
    std::int32_t rate;
    std::int32_t field;
    bool out_given;
    std::size_t capacity;
    vh_status status;
    std::size_t frames;
  };
  const Case cases[] = {
      {"rate before field and out", ok.data(), MIN_SAMPLES, 44100, 2, false, 0,
       VH_ERR_INVALID_SAMPLE_RATE, 0},
      {"field 2 before out", ok.data(), MIN_SAMPLES, 48000, 2, false, 0, VH_ERR_INVALID_SOUND_FIELD,
       0},
      {"field -1", ok.data(), MIN_SAMPLES, 48000, -1, true, BANDS * h, VH_ERR_INVALID_SOUND_FIELD,
       0},
      {"out null before length", ok.data(), 0, 48000, 0, false, 0, VH_ERR_NULL_POINTER, 0},
      {"too short", ok.data(), MIN_SAMPLES - 1, 48000, 0, true, any_capacity,
       VH_ERR_INPUT_TOO_SHORT, 0},
      {"too long", nullptr, MAX_SAMPLES + 1, 48000, 0, true, any_capacity, VH_ERR_SIZE_OVERFLOW, 0},
      {"capacity before samples", nullptr, MIN_SAMPLES, 48000, 0, true, BANDS * h - 1,
       VH_ERR_OUTPUT_TOO_SMALL, h},
      {"spectra too large", nullptr, MAX_SAMPLES, 48000, 0, true, any_capacity,
       VH_ERR_SIZE_OVERFLOW, frames_for(MAX_SAMPLES)},
      {"one block more than fits", nullptr, largest_n + 1, 48000, 0, true, any_capacity,
       VH_ERR_SIZE_OVERFLOW, frames_for(largest_n + 1)},
      {"largest size reaches the samples", nullptr, largest_n, 48000, 0, true, any_capacity,
       VH_ERR_NULL_POINTER, frames_for(largest_n)},
      {"samples null", nullptr, MIN_SAMPLES, 48000, 1, true, BANDS * h, VH_ERR_NULL_POINTER, h},
      {"NaN at the end", nan_last.data(), MIN_SAMPLES, 48000, 0, true, BANDS * h,
       VH_ERR_NON_FINITE_INPUT, h},
      {"infinity first", inf_first.data(), MIN_SAMPLES, 48000, 1, true, BANDS * h,
       VH_ERR_NON_FINITE_INPUT, h},
      {"overflow inside", huge.data(), MIN_SAMPLES, 48000, 0, true, BANDS * h, VH_ERR_NUMERICAL, h},
  };
  for (const Case& c : cases) {
    std::vector<double> out(BANDS * h + 5, SENTINEL);
    std::size_t frames = UNTOUCHED_FRAMES;
    EXPECT_EQ(vh_roughness_ecma(c.samples, c.count, c.rate, c.field,
                                c.out_given ? out.data() : nullptr, c.capacity, &frames),
              c.status)
        << c.what;
    EXPECT_EQ(frames, c.frames) << c.what;
    EXPECT_TRUE(untouched(out)) << c.what;
  }
  // A null frame count comes first of all and writes nothing.
  std::vector<double> out(BANDS * h, SENTINEL);
  EXPECT_EQ(vh_roughness_ecma(nullptr, 0, 44100, 7, out.data(), 0, nullptr), VH_ERR_NULL_POINTER);
  EXPECT_TRUE(untouched(out));
}

// Specific roughness of a signal, frame-major; the call must succeed and
// report the documented frame count.
std::vector<double> roughness_of(const std::vector<double>& x, std::int32_t field = 0) {
  const std::size_t h = frames_for(x.size());
  std::vector<double> out(BANDS * h, SENTINEL);
  std::size_t frames = 0;
  EXPECT_EQ(vh_roughness_ecma(x.data(), x.size(), 48000, field, out.data(), out.size(), &frames),
            VH_OK);
  EXPECT_EQ(frames, h);
  return out;
}

// Roughness in asper of frame k: the band values are per half Bark.
double total_roughness(const std::vector<double>& r, std::size_t k) {
  double sum = 0.0;
  for (std::size_t b = 0; b < BANDS; ++b) sum += r[k * BANDS + b];
  return 0.5 * sum;
}

// The settled roughness of a signal: the mean over the frames from 0.5 s on.
double settled_roughness(const std::vector<double>& r) {
  const std::size_t h = r.size() / BANDS;
  double sum = 0.0;
  for (std::size_t k = SETTLED_FRAME; k < h; ++k) sum += total_roughness(r, k);
  return sum / static_cast<double>(h - SETTLED_FRAME);
}

// One-second test signals, each analysed at most once per test program (CTest
// runs every test in a process of its own, so only what a test uses is made).
class EcmaRoughnessPhysics : public ::testing::Test {
 protected:
  static void TearDownTestSuite() { results().clear(); }

  static const std::vector<double>& result(const std::string& name) {
    auto& cache = results();
    auto found = cache.find(name);
    if (found == cache.end()) found = cache.emplace(name, roughness_of(signal(name))).first;
    return found->second;
  }

 private:
  static std::map<std::string, std::vector<double>>& results() {
    static std::map<std::string, std::vector<double>> cache;
    return cache;
  }

  static std::vector<double> signal(const std::string& name) {
    if (name == "tone") return sine(1000.0, 60.0, ONE_SECOND);
    if (name == "depth 0.5") return am_tone(1000.0, 60.0, 70.0, 0.5, ONE_SECOND);
    if (name == "depth 0.25") return am_tone(1000.0, 60.0, 70.0, 0.25, ONE_SECOND);
    if (name == "20 Hz") return am_tone(1000.0, 60.0, 20.0, 1.0, ONE_SECOND);
    if (name == "140 Hz") return am_tone(1000.0, 60.0, 140.0, 1.0, ONE_SECOND);
    return am_tone(1000.0, 60.0, 70.0, 1.0, ONE_SECOND);  // the reference
  }
};

TEST_F(EcmaRoughnessPhysics, ReferenceToneIsAboutOneAsper) {
  // Validation: a 1 kHz tone of 60 dB SPL, 100 % amplitude-modulated at
  // 70 Hz, is the unit of roughness, 1 asper. We measure 1.04.
  constexpr double CALIBRATION_TOLERANCE = 0.1;
  const std::vector<double>& r = result("reference");
  EXPECT_NEAR(settled_roughness(r), 1.0, CALIBRATION_TOLERANCE);
  for (double v : r) {
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_GE(v, 0.0);
  }
  // Nothing before the signal has reached any block.
  EXPECT_EQ(total_roughness(r, 0), 0.0);
}

TEST_F(EcmaRoughnessPhysics, RoughnessSitsInTheBandsAroundTheCarrier) {
  // 1 kHz lies at 8.5 Bark, between bands 16 (938 Hz) and 17 (1023 Hz).
  const std::vector<double>& r = result("reference");
  for (std::size_t k = SETTLED_FRAME; k < r.size() / BANDS; ++k) {
    double near_carrier = 0.0;
    double all = 0.0;
    std::size_t loudest = 0;
    for (std::size_t b = 0; b < BANDS; ++b) {
      const double v = r[k * BANDS + b];
      all += v;
      if (b >= 12 && b <= 21) near_carrier += v;
      if (v > r[k * BANDS + loudest]) loudest = b;
    }
    EXPECT_GT(near_carrier, 0.9 * all) << "frame " << k;
    EXPECT_GE(loudest, 16U) << "frame " << k;
    EXPECT_LE(loudest, 17U) << "frame " << k;
  }
}

TEST_F(EcmaRoughnessPhysics, AnUnmodulatedToneIsNotRough) {
  const std::vector<double>& r = result("tone");
  double largest = 0.0;
  for (double v : r) largest = std::max(largest, v);
  EXPECT_LT(largest, 0.01);
}

TEST_F(EcmaRoughnessPhysics, RoughnessGrowsWithModulationDepth) {
  const double quarter = settled_roughness(result("depth 0.25"));
  const double half = settled_roughness(result("depth 0.5"));
  const double full = settled_roughness(result("reference"));
  EXPECT_GT(quarter, 0.05);
  EXPECT_GT(half, quarter);
  EXPECT_GT(full, half);
}

TEST_F(EcmaRoughnessPhysics, SeventyHertzIsRougherThanSlowerOrFasterModulation) {
  // Roughness is a band-pass function of the modulation rate, greatest near
  // 70 Hz for a 1 kHz carrier.
  const double best = settled_roughness(result("reference"));
  EXPECT_GT(best, 2.0 * settled_roughness(result("20 Hz")));
  EXPECT_GT(best, 2.0 * settled_roughness(result("140 Hz")));
  EXPECT_GT(settled_roughness(result("20 Hz")), 0.0);
  EXPECT_GT(settled_roughness(result("140 Hz")), 0.0);
}

TEST_F(EcmaRoughnessPhysics, SameCallTwiceIsBitIdentical) {
  EXPECT_TRUE(arrays_identical(roughness_of(am_tone(1000.0, 60.0, 70.0, 1.0, ONE_SECOND)),
                               result("reference")));
}

TEST(EcmaRoughness, SilenceGivesZeroEverywhere) {
  for (std::int32_t field : {0, 1}) {
    const std::vector<double> r = roughness_of(std::vector<double>(MIN_SAMPLES, 0.0), field);
    EXPECT_TRUE(arrays_identical(r, std::vector<double>(r.size(), 0.0))) << "field " << field;
  }
}

TEST(EcmaRoughness, WritesExactlyTheFramesItReports) {
  const std::vector<double> x = am_tone(1000.0, 60.0, 70.0, 1.0, MIN_SAMPLES);
  const std::size_t h = frames_for(x.size());
  std::vector<double> out(BANDS * h + 7, SENTINEL);
  std::size_t frames = 0;
  ASSERT_EQ(vh_roughness_ecma(x.data(), x.size(), 48000, 1, out.data(), out.size(), &frames),
            VH_OK);
  ASSERT_EQ(frames, h);
  std::size_t counted = 0;
  ASSERT_EQ(vh_ecma_roughness_frame_count(x.size(), 48000, &counted), VH_OK);
  EXPECT_EQ(counted, frames);
  for (std::size_t i = 0; i < BANDS * h; ++i) EXPECT_NE(out[i], SENTINEL) << i;
  EXPECT_TRUE(untouched(
      std::vector<double>(out.begin() + static_cast<std::ptrdiff_t>(BANDS * h), out.end())));
}

TEST(EcmaRoughness, TheSoundFieldChangesOnlyTheEarFilter) {
  // The diffuse field leaves out two ear-filter sections; the modulation is
  // the same, so the roughness changes, but not its order.
  const std::vector<double> x = am_tone(1000.0, 60.0, 70.0, 1.0, MIN_SAMPLES);
  const std::vector<double> free_field = roughness_of(x, 0);
  const std::vector<double> diffuse = roughness_of(x, 1);
  const std::size_t last = free_field.size() / BANDS - 1;
  EXPECT_FALSE(arrays_identical(free_field, diffuse));
  EXPECT_GT(total_roughness(diffuse, last), 0.5 * total_roughness(free_field, last));
  EXPECT_LT(total_roughness(diffuse, last), 2.0 * total_roughness(free_field, last));
}

TEST(EcmaRoughness, ConcurrentCallsGiveTheSameResult) {
  const std::vector<double> x = am_tone(1000.0, 60.0, 70.0, 1.0, MIN_SAMPLES);
  const std::vector<double> reference = roughness_of(x);
  constexpr std::size_t THREADS = 4;
  std::vector<std::vector<double>> results(THREADS);
  std::vector<vh_status> statuses(THREADS, VH_ERR_NUMERICAL);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < THREADS; ++t) {
    threads.emplace_back([&, t] {
      results[t].assign(reference.size(), SENTINEL);
      std::size_t frames = 0;
      statuses[t] = vh_roughness_ecma(x.data(), x.size(), 48000, 0, results[t].data(),
                                      results[t].size(), &frames);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < THREADS; ++t) {
    EXPECT_EQ(statuses[t], VH_OK) << "thread " << t;
    EXPECT_TRUE(arrays_identical(results[t], reference)) << "thread " << t;
  }
}

}  // namespace
