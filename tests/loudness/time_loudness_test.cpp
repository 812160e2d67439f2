// Time-varying loudness through the public interface.
#include <gtest/gtest.h>

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

constexpr std::size_t PATTERN = 240;
constexpr std::size_t NOT_WRITTEN = 777777;

struct TimeLoudness {
  std::vector<double> loudness;
  std::vector<double> specific;
  std::size_t frames = NOT_WRITTEN;
};

TimeLoudness time_loudness(const std::vector<double>& x, vh_sound_field field = VH_SOUND_FIELD_FREE) {
  std::size_t count = NOT_WRITTEN;
  EXPECT_EQ(vh_loudness_time_frame_count(x.size(), VH_SAMPLE_RATE, &count), VH_OK);
  TimeLoudness r;
  r.loudness.assign(count, SENTINEL);
  r.specific.assign(count * PATTERN, SENTINEL);
  EXPECT_EQ(vh_loudness_time(x.data(), x.size(), VH_SAMPLE_RATE, field, r.loudness.data(), count,
                             r.specific.data(), count * PATTERN, &r.frames),
            VH_OK);
  EXPECT_EQ(r.frames, count);
  return r;
}

double stationary(const std::vector<double>& x) {
  double n = SENTINEL;
  EXPECT_EQ(vh_loudness_stationary(x.data(), x.size(), VH_SAMPLE_RATE, 0, &n, nullptr, 0), VH_OK);
  return n;
}

TEST(LoudnessTimeFrameCount, OneFrameEveryNinetySixSamples) {
  const std::pair<std::uint64_t, std::size_t> cases[] = {
      {1, 1}, {95, 1}, {96, 1}, {97, 2}, {192, 2}, {193, 3}, {48000, 500}, {48001, 501}};
  for (const auto& [count, expected] : cases) {
    std::size_t frames = NOT_WRITTEN;
    EXPECT_EQ(vh_loudness_time_frame_count(count, 48000, &frames), VH_OK);
    EXPECT_EQ(frames, expected) << count;
  }
}

TEST(LoudnessTimeFrameCount, ChecksRunInOrder) {
  std::size_t frames = NOT_WRITTEN;
  EXPECT_EQ(vh_loudness_time_frame_count(0, 44100, nullptr), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_loudness_time_frame_count(0, 44100, &frames), VH_ERR_INVALID_SAMPLE_RATE);
  EXPECT_EQ(vh_loudness_time_frame_count(0x1000000000000000ULL, 48000, &frames), VH_ERR_SIZE_OVERFLOW);
  EXPECT_EQ(vh_loudness_time_frame_count(0, 48000, &frames), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_EQ(frames, NOT_WRITTEN);
  EXPECT_EQ(vh_loudness_time_frame_count(0x0FFFFFFFFFFFFFFFULL, 48000, &frames), VH_OK);
  EXPECT_EQ(frames, (0x0FFFFFFFFFFFFFFFULL - 1) / 96 + 1);
}

TEST(LoudnessTime, ShortSignalsGiveTheAnnouncedFrames) {
  for (std::size_t count : {1U, 96U, 97U}) {
    const TimeLoudness r = time_loudness(varnholt::test::sine(1000.0, 60.0, count, 0.5));
    EXPECT_EQ(r.frames, count == 97 ? 2U : 1U);
    for (double v : r.loudness) EXPECT_GE(v, 0.0);
    for (double v : r.specific) EXPECT_GE(v, 0.0);
  }
}

TEST(LoudnessTime, SilenceIsZeroInEveryFrame) {
  const TimeLoudness r = time_loudness(varnholt::test::silence(4800));
  EXPECT_TRUE(varnholt::test::arrays_identical(r.loudness, std::vector<double>(r.frames, 0.0)));
  EXPECT_TRUE(varnholt::test::arrays_identical(r.specific, std::vector<double>(r.frames * PATTERN, 0.0)));
}

TEST(LoudnessTime, ASteadyToneSettlesNearItsStationaryLoudness) {
  // After 0.5 s the 70 ms weighting has settled. What remains is the ripple
  // of the smoothed band power (a 1 kHz tone's power beats at 2 kHz), which
  // the compressive loudness law averages to a little less: 0.05 % at 40 dB,
  // 1.1 % at 60 dB.
  constexpr double SETTLED_TOLERANCE = 0.02;
  for (double level : {40.0, 60.0}) {
    const std::vector<double> x = varnholt::test::sine(1000.0, level, 48000);
    const TimeLoudness r = time_loudness(x);
    const double reference = stationary(x);
    for (std::size_t f = 250; f < r.frames; ++f) {
      EXPECT_NEAR(r.loudness[f], reference, SETTLED_TOLERANCE * reference) << level << " dB frame " << f;
    }
  }
}

TEST(LoudnessTime, LoudnessDecaysGraduallyAfterABurst) {
  // 100 ms of a 70 dB tone, then 200 ms of silence.
  std::vector<double> x = varnholt::test::sine(1000.0, 70.0, 4800);
  x.resize(14400, 0.0);
  const TimeLoudness r = time_loudness(x);
  std::size_t peak = 0;
  for (std::size_t f = 0; f < r.frames; ++f) {
    if (r.loudness[f] > r.loudness[peak]) peak = f;
  }
  EXPECT_GE(peak, 45U);  // the end of the burst, not its onset
  // After the peak the loudness falls frame by frame, by a few percent per
  // 2 ms at most, and is still audible 20 ms later.
  for (std::size_t f = peak + 1; f < r.frames; ++f) {
    EXPECT_LE(r.loudness[f], r.loudness[f - 1]) << f;
    EXPECT_GT(r.loudness[f], 0.85 * r.loudness[f - 1]) << f;
  }
  EXPECT_GT(r.loudness[peak + 10], 0.5 * r.loudness[peak]);
  EXPECT_LT(r.loudness[peak + 50], 0.3 * r.loudness[peak]);
}

TEST(LoudnessTime, OnsetFramesRegressionPin) {
  // Regression pins (our own output, changed only deliberately): the first
  // frames of a 1 kHz tone at 60 dB switched on at t = 0. They depend on the
  // interpolation between updates and on every time constant.
  constexpr double PIN_TOLERANCE = 1e-9;
  const TimeLoudness r = time_loudness(varnholt::test::sine(1000.0, 60.0, 4800));
  const std::pair<std::size_t, double> pins[] = {{1, 0.20664593207247661}, {5, 2.3767208402727049}, {10, 2.6985713804082829}, {40, 3.3762844077365712}};
  for (const auto& [frame, value] : pins) EXPECT_NEAR(r.loudness[frame], value, PIN_TOLERANCE) << frame;
}

TEST(LoudnessTime, AnEarlierPieceGivesTheEarlierFrames) {
  // Each frame depends only on the samples up to it, so the frames of a
  // prefix are those of the whole signal, bit for bit.
  const std::vector<double> x = varnholt::test::pink_noise(70.0, 4800, 8);
  const std::vector<double> prefix(x.begin(), x.begin() + 2000);
  const TimeLoudness whole = time_loudness(x);
  const TimeLoudness part = time_loudness(prefix);
  const std::vector<double> head(whole.loudness.begin(), whole.loudness.begin() + static_cast<std::ptrdiff_t>(part.frames));
  const std::vector<double> head_specific(whole.specific.begin(),
                                          whole.specific.begin() + static_cast<std::ptrdiff_t>(part.frames * PATTERN));
  EXPECT_TRUE(varnholt::test::arrays_identical(part.loudness, head));
  EXPECT_TRUE(varnholt::test::arrays_identical(part.specific, head_specific));
}

TEST(LoudnessTime, FramePatternsAreValidSharpnessInput) {
  const TimeLoudness r = time_loudness(varnholt::test::sine(3000.0, 70.0, 9600));
  const std::size_t last = r.frames - 1;
  double sharpness = SENTINEL;
  EXPECT_EQ(vh_sharpness_din(r.specific.data() + last * PATTERN, PATTERN, &sharpness), VH_OK);
  EXPECT_GT(sharpness, 1.0);  // 3 kHz lies above the 1 acum reference at 1 kHz
}

TEST(LoudnessTime, RepeatedAndConcurrentCallsAreBitIdentical) {
  const std::vector<double> x = varnholt::test::pink_noise(60.0, 4800, 6);
  const TimeLoudness reference = time_loudness(x);
  std::vector<TimeLoudness> results(8);
  std::vector<std::thread> threads;
  for (TimeLoudness& r : results) threads.emplace_back([&x, &r] { r = time_loudness(x); });
  for (std::thread& t : threads) t.join();
  for (const TimeLoudness& r : results) {
    EXPECT_TRUE(varnholt::test::arrays_identical(r.loudness, reference.loudness));
    EXPECT_TRUE(varnholt::test::arrays_identical(r.specific, reference.specific));
  }
}

TEST(LoudnessTime, ChecksRunInOrderWithTheFrameCountAsDocumented) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> ok = varnholt::test::sine(1000.0, 60.0, 960);  // 10 frames
  std::vector<double> with_nan = ok;
  with_nan[900] = nan;
  std::vector<double> extreme = ok;
  extreme[500] = 1e300;  // finite, but its filtered square is not
  constexpr std::uint64_t MAX_COUNT = 0x0FFFFFFFFFFFFFFFULL;
  struct Case {
    const char* what;
    const double* samples;
    std::uint64_t count;
    std::int32_t rate;
    vh_sound_field field;
    bool null_loudness;
    std::size_t loudness_len;
    bool null_specific;
    std::size_t specific_len;
    vh_status expected;
    std::size_t frames_after;
  };
  const Case cases[] = {
      {"rate before field", ok.data(), 960, 44100, 2, false, 10, false, 2400, VH_ERR_INVALID_SAMPLE_RATE, 0},
      {"size", ok.data(), MAX_COUNT + 1, 48000, 2, false, 10, false, 2400, VH_ERR_SIZE_OVERFLOW, 0},
      {"count 0 before field", ok.data(), 0, 48000, 2, false, 10, false, 2400, VH_ERR_INPUT_TOO_SHORT, 0},
      {"field 2", ok.data(), 960, 48000, 2, false, 10, false, 2400, VH_ERR_INVALID_SOUND_FIELD, 0},
      {"field -1", nullptr, 960, 48000, -1, true, 0, true, 0, VH_ERR_INVALID_SOUND_FIELD, 0},
      {"null loudness", ok.data(), 960, 48000, 0, true, 10, false, 2400, VH_ERR_NULL_POINTER, 0},
      {"null specific of length 0", ok.data(), 960, 48000, 0, false, 10, true, 0, VH_ERR_NULL_POINTER, 0},
      {"frame sizes overflow", ok.data(), MAX_COUNT, 48000, 0, false, 0, false, 0, VH_ERR_SIZE_OVERFLOW, 0},
      {"loudness F - 1", ok.data(), 960, 48000, 0, false, 9, false, 2400, VH_ERR_OUTPUT_TOO_SMALL, 10},
      {"specific 240 F - 1", ok.data(), 960, 48000, 0, false, 10, false, 2399, VH_ERR_OUTPUT_TOO_SMALL, 10},
      {"sizes asked with zero lengths", nullptr, 960, 48000, 0, false, 0, false, 0, VH_ERR_OUTPUT_TOO_SMALL, 10},
      {"null samples", nullptr, 960, 48000, 0, false, 10, false, 2400, VH_ERR_NULL_POINTER, 0},
      {"NaN sample", with_nan.data(), 960, 48000, 0, false, 10, false, 2400, VH_ERR_NON_FINITE_INPUT, 0},
      {"overflowing power", extreme.data(), 960, 48000, 1, false, 10, false, 2400, VH_ERR_NUMERICAL, 0},
  };
  for (const Case& c : cases) {
    std::vector<double> loudness(10, SENTINEL);
    std::vector<double> specific(2400, SENTINEL);
    std::size_t frames = NOT_WRITTEN;
    EXPECT_EQ(vh_loudness_time(c.samples, c.count, c.rate, c.field, c.null_loudness ? nullptr : loudness.data(),
                               c.loudness_len, c.null_specific ? nullptr : specific.data(), c.specific_len,
                               &frames),
              c.expected)
        << c.what;
    EXPECT_EQ(frames, c.frames_after) << c.what;
    EXPECT_TRUE(untouched(loudness)) << c.what;
    EXPECT_TRUE(untouched(specific)) << c.what;
  }
  std::vector<double> loudness(10, SENTINEL);
  std::vector<double> specific(2400, SENTINEL);
  EXPECT_EQ(vh_loudness_time(ok.data(), 960, 44100, 2, loudness.data(), 10, specific.data(), 2400, nullptr),
            VH_ERR_NULL_POINTER);
  EXPECT_TRUE(untouched(loudness));
}

}  // namespace
